#include "StoreTestSupport.h"

#include "store/Store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quillmar;
using namespace quillmar::test;

TEST(StoreValues, IntegerElementsRangeTestThenRoundHalvesToEven) {
    TNumberStore b;
    ASSERT_TRUE(b.Make(1, 1));
    auto stored = [&](TNumberStore& s, long double x) {
        s.SetValueAt(1, 77);
        s.SetValueAt(1, x);
        return s.GetValueAt(1);
    };
    EXPECT_EQ(stored(b, 255), 255);
    EXPECT_EQ(stored(b, 254.6L), 255);
    EXPECT_EQ(stored(b, 255.4L), 77);
    EXPECT_EQ(stored(b, 256), 77);
    EXPECT_EQ(stored(b, -0.5L), 77);
    EXPECT_EQ(stored(b, 2.5L), 2);
    EXPECT_EQ(stored(b, 3.5L), 4);
    EXPECT_EQ(stored(b, std::numeric_limits<long double>::quiet_NaN()), 77);

    TNumberStore s2;
    s2.Signed = true;
    ASSERT_TRUE(s2.Make(1, 2));
    EXPECT_EQ(stored(s2, -32768), 77);
    EXPECT_EQ(stored(s2, -32767), -32767);
    EXPECT_EQ(stored(s2, -2.5L), -2);
    TNumberStore s4;
    s4.Signed = true;
    ASSERT_TRUE(s4.Make(1, 4));
    EXPECT_EQ(stored(s4, -2147483647.0L), -2147483647.0L);
    EXPECT_EQ(stored(s4, 2147483647.0L), 77);
    // Unsigned 4-byte and signed 1-byte elements get their own ranges.
    TNumberStore u4, s1;
    s1.Signed = true;
    ASSERT_TRUE(u4.Make(1, 4) && s1.Make(1, 1));
    EXPECT_EQ(stored(u4, 4294967295.0L), 4294967295.0L);
    EXPECT_EQ(stored(s1, -128), -128);

    // Real elements keep what their format can hold.
    TNumberStore r6, r8, r10;
    ASSERT_TRUE(r6.Make(1, 6) && r8.Make(1, 8) && r10.Make(1, 10));
    EXPECT_EQ(stored(r8, 0.1L), static_cast<double>(0.1L));
    EXPECT_EQ(stored(r10, 0.1L), 0.1L);
    EXPECT_NEAR(static_cast<double>(stored(r6, 0.1L)), 0.1, 1e-12);
    EXPECT_FALSE(r6.Make(1, 3)); // not an element size
}

TEST(StoreValues, IndexChecksAndTheirMessages) {
    RecordingMessenger messages;
    TNumber2DArrayStore s;
    ASSERT_TRUE(s.Make2D(2, 3, 1));
    s.SetValueAt(7, 5); // beyond the records: nothing, silently
    EXPECT_EQ(s.GetValueAt(0), 0);
    EXPECT_EQ(s.GetValueAt(s.RecordCount + 1), 0);
    EXPECT_TRUE(messages.seen.empty());
    EXPECT_EQ(s.RecordPointer(0), nullptr);
    ASSERT_EQ(messages.seen.size(), 1u);
    EXPECT_EQ(messages.seen[0], "Error|Record out of range");
    EXPECT_FALSE(s.SeekElement(1, 4));
    EXPECT_EQ(messages.seen.size(), 2u);
    s.ShowErrors = false;
    EXPECT_EQ(s.ElementPointer(3, 3), nullptr);
    EXPECT_EQ(messages.seen.size(), 2u);
    // Element (column, row) is record column + (row - 1) * Columns.
    s.SetElement(2, 3, 42);
    EXPECT_EQ(s.GetValueAt(6), 42);
    EXPECT_EQ(s.ElementPointer(2, 3), s.RecordPointer(6));
    EXPECT_EQ(s.RowData(3), s.RecordPointer(5));
    EXPECT_EQ(s.RowData(4), nullptr);
}

TEST(StoreValues, GrowingByRowsKeepsEarlierRows) {
    TNumber2DArrayStore s;
    ASSERT_TRUE(s.Make2D(71, 0, 1));
    for (uint32_t r = 1; r <= 5000; ++r) {
        if (r > s.Rows) {
            ASSERT_TRUE(s.SetRows(s.Rows + 100));
        }
        s.SetElement(1, r, r % 251);
    }
    EXPECT_EQ(s.Rows, 5000u);
    EXPECT_EQ(s.RecordCount, 5000u * 71u);
    EXPECT_EQ(s.capacity() % MemoryStream::BlockSize, 0u);
    EXPECT_GE(s.capacity(), s.size());
    for (uint32_t r = 1; r <= 5000; r += 97)
        ASSERT_EQ(s.GetElement(1, r), r % 251);
    ASSERT_TRUE(s.SetRows(10)); // trimming keeps the first rows
    EXPECT_EQ(s.GetElement(1, 10), 10);
}

TEST(StoreRows, FindNearestBisectsAndTiesKeepTheLowerRow) {
    TNumber2DArrayStore s;
    ASSERT_TRUE(s.Make2D(1, 4, 8));
    const double v[] = {1, 2, 4, 8};
    for (uint32_t r = 1; r <= 4; ++r)
        s.SetElement(1, r, v[r - 1]);
    EXPECT_EQ(s.FindNearest(1, 5), 3u);
    EXPECT_EQ(s.FindNearest(1, 6), 3u);
    EXPECT_EQ(s.FindNearest(1, 7), 4u);
    EXPECT_EQ(s.FindNearest(1, 100), 4u);
    EXPECT_EQ(s.FindNearest(1, -3), 1u);
    EXPECT_EQ(s.FindNearest(1, std::nan("")), 1u);
    // NaN in the column does not stop the search from ending.
    s.SetElement(1, 2, std::nan(""));
    uint32_t r = s.FindNearest(1, 3);
    EXPECT_GE(r, 1u);
    EXPECT_LE(r, 4u);
    TNumber2DArrayStore empty;
    EXPECT_EQ(empty.FindNearest(1, 3), 0u);
}

TEST(StoreRows, SortIsStableAndDeleteRowMovesLaterRowsUp) {
    TNumber2DArrayStore s;
    ASSERT_TRUE(s.Make2D(2, 6, 2));
    const int key[] = {3, 1, 3, 2, 1, 3};
    for (uint32_t r = 1; r <= 6; ++r) {
        s.SetElement(1, r, key[r - 1]);
        s.SetElement(2, r, r); // the original row number
    }
    s.SortRows(1);
    const int order[] = {2, 5, 4, 1, 3, 6};
    for (uint32_t r = 1; r <= 6; ++r)
        EXPECT_EQ(s.GetElement(2, r), order[r - 1]) << "row " << r;

    ASSERT_TRUE(s.DeleteRow(6)); // the last row only shrinks
    EXPECT_EQ(s.Rows, 5u);
    EXPECT_EQ(s.RecordCount, 10u);
    ASSERT_TRUE(s.DeleteRow(1));
    EXPECT_EQ(s.Rows, 4u);
    EXPECT_EQ(s.GetElement(2, 1), 5);
    EXPECT_EQ(s.GetElement(2, 4), 3);
    EXPECT_FALSE(s.DeleteRow(0));
    EXPECT_FALSE(s.DeleteRow(5));

    // Sorting moves the bytes themselves: values SetValueAt would refuse survive.
    TNumber2DArrayStore signedRows;
    signedRows.Signed = true;
    ASSERT_TRUE(signedRows.Make2D(2, 2, 2));
    signedRows.SetElement(1, 1, 5);
    signedRows.SetElement(1, 2, 1);
    uint8_t* p = signedRows.ElementPointer(2, 1);
    p[0] = 0x00;
    p[1] = 0x80; // -32768
    signedRows.SortRows(1);
    EXPECT_EQ(signedRows.GetElement(2, 2), -32768);
}

TEST(StoreSeries, RegularAndScaledSeries) {
    TxyDataStruct xy;
    ASSERT_TRUE(xy.MakeRegular(5, 8, {10, 0.5}));
    ASSERT_TRUE(xy.SetPoints(5));
    EXPECT_EQ(xy.GetX(3), 11);
    xy.SetX(3, 99);
    EXPECT_EQ(xy.GetX(3), 11);
    xy.SetY(3, 4);
    EXPECT_EQ(xy.GetY(3), 4);
    EXPECT_EQ(xy.FindX(11.2), 3u);
    EXPECT_EQ(xy.FindX(-50), 1u);
    EXPECT_EQ(xy.FindX(50), 5u);

    TxyDataStruct scaled;
    ASSERT_TRUE(scaled.MakeXY(3, 8));
    scaled.XYScaling = {100, 1, 2, 0.5};
    scaled.SetX(1, 104); // stored (104 - 100) / 2
    scaled.SetY(1, 3);   // stored (3 - 1) / 0.5
    EXPECT_EQ(scaled.GetElement(1, 1), 2);
    EXPECT_EQ(scaled.GetElement(2, 1), 4);
    EXPECT_EQ(scaled.GetX(1), 104);
    EXPECT_EQ(scaled.GetY(1), 3);
    scaled.SetX(2, 110);
    // Resizing a series through the store's own operations keeps Points in step.
    ASSERT_TRUE(scaled.SetRows(2));
    EXPECT_EQ(scaled.Points, 2u);
    ASSERT_TRUE(scaled.DeleteRow(1));
    EXPECT_EQ(scaled.Points, 1u);
    EXPECT_EQ(scaled.GetX(1), 110);
}

TEST(StoreCopy, AppendTransferAndTransferFrom) {
    RecordingMessenger messages;
    TNumber2DArrayStore source;
    ASSERT_TRUE(source.Make2D(2, 3, 1));
    for (uint32_t i = 1; i <= 6; ++i)
        source.SetValueAt(i, i);
    source.StoreName = "src";

    TStore target;
    EXPECT_EQ(target.AppendFrom(source, 2, 4), 3u);
    EXPECT_EQ(target.RecordSize, 1u);
    EXPECT_EQ(target.StoreName, "src");
    EXPECT_EQ(target.RecordPointer(1)[0], 2);
    EXPECT_EQ(target.AppendFrom(source, 0, 0), 6u);
    EXPECT_EQ(target.RecordCount, 9u);
    EXPECT_EQ(target.AppendFrom(source, 5, 9), 0u); // beyond the source
    EXPECT_EQ(target.AppendFrom(target, 0, 0), 9u); // itself
    EXPECT_EQ(target.RecordPointer(18)[0], 6);

    TNumberStore words;
    EXPECT_TRUE(words.Transfer(source, 2));
    EXPECT_EQ(words.RecordCount, 3u);
    EXPECT_EQ(words.GetValueAt(1), 1 + 2 * 256);
    EXPECT_FALSE(words.Transfer(source, 4)); // 6 bytes are not whole 4-byte records
    MemoryStream plain;
    plain.write("ab", 2);
    EXPECT_FALSE(words.Transfer(plain, 1));
    ASSERT_EQ(messages.seen.size(), 1u);
    EXPECT_EQ(messages.seen[0], "Error|Transfer failed");
    EXPECT_TRUE(words.Transfer(words, 1)); // reinterpret its own bytes
    EXPECT_EQ(words.RecordCount, 6u);
    EXPECT_EQ(words.GetValueAt(6), 6);

    TNumber2DArrayStore table;
    TStore rawSource;
    ASSERT_TRUE(rawSource.Make(6, 1));
    EXPECT_TRUE(table.TransferFrom(rawSource, 3, 1));
    EXPECT_EQ(table.Rows, 2u);
    EXPECT_FALSE(table.TransferFrom(rawSource, 4, 1));
    EXPECT_FALSE(table.TransferFrom(rawSource, 0, 1));
}

TEST(StoreRegistryTest, TracksLiveStoresAndFreesOnlyAdoptedOnes) {
    StoreRegistry& registry = storeRegistry();
    const std::size_t before = registry.count();
    {
        TStore a;
        auto b = std::make_unique<TNumberStore>();
        EXPECT_EQ(registry.count(), before + 2);
        EXPECT_TRUE(registry.contains(&a));
        EXPECT_EQ(a.RegistryItem->Store, &a);
        TStore* raw = b.get();
        registry.adopt(std::move(b));
        EXPECT_TRUE(raw->RegistryItem->Owned);
        EXPECT_EQ(registry.shutdown(), before + 1); // a is still alive, owned here
        EXPECT_FALSE(registry.contains(raw));
    }
    EXPECT_EQ(registry.count(), before);
}
