#include "store/Fits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace quillmar;

namespace {

// The row-by-row reference: exchange neighbouring rows through
// GetElement/SetElement while the later key is strictly smaller.
void referenceSort(TNumber2DArrayStore& s, uint32_t column) {
    std::vector<long double> tmp(s.Columns);
    for (uint32_t r = 2; r <= s.Rows; ++r)
        for (uint32_t j = r; j > 1 && s.GetElement(column, j) < s.GetElement(column, j - 1); --j) {
            for (uint32_t c = 1; c <= s.Columns; ++c)
                tmp[c - 1] = s.GetElement(c, j);
            for (uint32_t c = 1; c <= s.Columns; ++c)
                s.SetElement(c, j, s.GetElement(c, j - 1));
            for (uint32_t c = 1; c <= s.Columns; ++c)
                s.SetElement(c, j - 1, tmp[c - 1]);
        }
}

std::vector<uint8_t> content(const TStore& s) {
    return {s.memory(), s.memory() + s.size()};
}

} // namespace

TEST(BulkRows, DeleteRowsEqualsDeletingOneByOne) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 20; ++trial) {
        const uint32_t n = 1 + rng() % 300;
        TCubicSpline a, b;
        ASSERT_TRUE(a.MakeXY(n, 8));
        ASSERT_TRUE(b.MakeXY(n, 8));
        for (uint32_t i = 1; i <= n; ++i) {
            double x = i + (rng() % 1000) / 1000.0, y = static_cast<double>(rng() % 10000);
            a.SetX(i, x);
            a.SetY(i, y);
            b.SetX(i, x);
            b.SetY(i, y);
        }
        // Delete a random share, often including the first and last rows.
        std::vector<uint32_t> doomed;
        const uint32_t share = rng() % 100;
        for (uint32_t i = 1; i <= n; ++i)
            if (rng() % 100 < share || (trial % 3 == 0 && (i == 1 || i == n))) doomed.push_back(i);
        for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
            ASSERT_TRUE(a.DeleteRow(*it));
        std::vector<uint32_t> shuffled = doomed;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        if (!shuffled.empty()) shuffled.push_back(shuffled.front()); // a repeat counts once
        ASSERT_TRUE(b.DeleteRows(shuffled));
        ASSERT_EQ(a.Rows, b.Rows);
        ASSERT_EQ(a.Points, b.Points);
        ASSERT_EQ(a.RecordCount, b.RecordCount);
        ASSERT_EQ(content(a), content(b));
        ASSERT_EQ(a.SecondDerivs->RecordCount, b.SecondDerivs->RecordCount);
    }
    TNumber2DArrayStore s;
    ASSERT_TRUE(s.Make2D(3, 4, 1));
    const uint32_t bad[] = {2, 5};
    EXPECT_FALSE(s.DeleteRows(bad));
    const uint32_t zero[] = {0};
    EXPECT_FALSE(s.DeleteRows(zero));
    EXPECT_EQ(s.Rows, 4u);
    EXPECT_TRUE(s.DeleteRows({}));
    EXPECT_EQ(s.Rows, 4u);
}

TEST(BulkRows, SortRowsEqualsTheStepwiseInsertionSort) {
    std::mt19937 rng(9);
    auto check = [&](uint32_t elementSize, uint32_t rows, int pattern) {
        SCOPED_TRACE(testing::Message()
                     << "size " << elementSize << " rows " << rows << " pattern " << pattern);
        TNumber2DArrayStore a, b;
        ASSERT_TRUE(a.Make2D(3, rows, elementSize));
        ASSERT_TRUE(b.Make2D(3, rows, elementSize));
        for (uint32_t r = 1; r <= rows; ++r) {
            long double key;
            switch (pattern) {
            case 0:
                key = rng() % 7;
                break; // many equal keys
            case 1:
                key = r + static_cast<int>(rng() % 5) - 2;
                break; // nearly in order
            case 2:
                key = rows - r;
                break; // reversed
            default:
                key = (rng() % 10 == 0) ? NAN : rng() % 50;
                break;
            }
            for (TNumber2DArrayStore* s : {&a, &b}) {
                s->SetElement(1, r, r % 200);
                s->SetElement(2, r, key);
                s->SetElement(3, r, (r * 31) % 200);
            }
        }
        referenceSort(a, 2);
        b.SortRows(2);
        ASSERT_EQ(content(a), content(b));
    };
    for (int pattern = 0; pattern < 3; ++pattern) {
        check(8, 500, pattern);
        check(1, 300, pattern);
        check(10, 200, pattern);
    }
    check(8, 400, 3); // NaN keys
    check(8, 1, 0);
    TNumber2DArrayStore empty;
    empty.SortRows(1);
}
