#include "acquisition/params/Parameters.h"
#include "store/Store.h"
#include "store/dataset/ParameterValue.h"

#include <gtest/gtest.h>

using namespace quillmar;

namespace {

// A log of `rows` rows: 63 data bytes and an 8-byte time stamp per row.
struct Log {
    explicit Log(uint32_t rows) {
        store.ShowErrors = false;
        store.Make2D(ReplyLength + 8, rows, 1);
    }
    void set(uint32_t row, uint32_t dataByte, uint8_t value) { store.SetElement(dataByte, row, value); }
    TNumber2DArrayStore store;
};

} // namespace

TEST(ParameterValue, DecodesLoggedRows) {
    const TParameterArray& t = BuiltInParameters();
    Log log(2);
    log.set(1, 11, 34); // engine speed
    log.set(2, 11, 40);
    log.set(2, 15, 0xFF); // spark advance, signed, high byte first
    log.set(2, 16, 0x38);
    log.set(2, 3, 0x01); // faults, low byte first
    log.set(2, 5, 0x80);

    EXPECT_EQ(ParameterValue(t, log.store, 9, 1, nullptr), 850);
    EXPECT_EQ(ParameterValue(t, log.store, 9, 2, nullptr), 1000);
    EXPECT_EQ(ParameterValue(t, log.store, 20, 2, nullptr), -70.3125);
    EXPECT_EQ(ParameterValue(t, log.store, 2, 2, nullptr), 8388609);

    // Outside the table or the rows: 0.
    EXPECT_EQ(ParameterValue(t, log.store, 9, 0, nullptr), 0);
    EXPECT_EQ(ParameterValue(t, log.store, 9, 3, nullptr), 0);
    EXPECT_EQ(ParameterValue(t, log.store, 66, 1, nullptr), 0);
    EXPECT_EQ(ParameterValue(t, log.store, 0, 1, nullptr), 0);
    EXPECT_EQ(ParameterValue(t, log.store, -5, 1, nullptr), 0);
}

TEST(ParameterValue, DerivedEntriesAnswerFromTheirSlot) {
    const TParameterArray& t = BuiltInParameters();
    Log log(2);
    std::array<TDoubleArray, DerivedChannelCount> derived;
    for (int s = 0; s < DerivedChannelCount; ++s)
        derived[size_t(s)] = {0, 10.0 + s, 20.0 + s};

    EXPECT_EQ(ParameterValue(t, log.store, 3, 2, &derived), 20);  // Time, slot 0
    EXPECT_EQ(ParameterValue(t, log.store, 8, 1, &derived), 14);  // Gear
    EXPECT_EQ(ParameterValue(t, log.store, 11, 2, &derived), 26); // Smoothed speed
    EXPECT_EQ(ParameterValue(t, log.store, 3, 2, nullptr), 0);

    TParameterArray renamed = t;
    renamed[2].Name = "Elapsed";
    EXPECT_EQ(ParameterValue(renamed, log.store, 3, 2, &derived), 0);
    derived[0].resize(2); // row 2 missing
    EXPECT_EQ(ParameterValue(t, log.store, 3, 2, &derived), 0);
}
