// The derived channels while rows arrive: each new row's values against the
// derivation of every row so far, and the finished recording's derivation.

#include "tests/dataset/DatasetTestSupport.h"

#include "store/dataset/DeriveChannels.h"
#include "store/dataset/LiveDerivation.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

// The data bytes of row (1-based) of log.
const uint8_t* dataOf(const TALDLLog& log, uint32_t row) {
    return log.RowData(row);
}

const char* slotName(size_t slot) {
    static const char* names[] = {"Time",        "Distance",       "Acceleration", "Power",        "Gear",
                                  "Calc. speed", "Smoothed speed", "Boost",        "Injector duty"};
    return names[slot];
}

} // namespace

TEST(LiveDerivation, EachRowGetsWhatDerivingEveryRowSoFarGives) {
    // 0.1 s steps: a window of 31 rows, so the 8 s span keeps far more rows
    // than the newest row's values depend on.
    const auto drive = syntheticDrive(700, 5);
    auto whole = makeLog(drive);
    TLiveDerivation live(builtInTable());
    uint32_t mismatches = 0;
    for (uint32_t i = 1; i <= whole->Rows; ++i) {
        const DerivedValues& v = live.addRow(dataOf(*whole, i), whole->TimeStamp(i));
        // Deriving the first i rows (every ninth row, to keep the test quick,
        // and every row of the first hundred, where the span still holds
        // them all).
        if (i > 100 && i % 9 != 0 && i != whole->Rows) continue;
        auto prefix = makeLog(std::vector<RowSpec>(drive.begin(), drive.begin() + i));
        prefix->DeriveChannels();
        for (size_t slot = 0; slot < v.size(); ++slot) {
            const double expected = prefix->Derived[slot][i];
            if (v[slot] != expected && ++mismatches < 10)
                ADD_FAILURE() << "row " << i << " " << slotName(slot) << ": live " << v[slot] << ", derived "
                              << expected;
        }
    }
    EXPECT_EQ(mismatches, 0u);
    // Later rows were derived from the trailing seconds alone.
    EXPECT_LT(live.windowRows(), 100u);
    EXPECT_EQ(live.rows(), 700u);

    // The finished recording's last row is the newest live row.
    whole->DeriveChannels();
    for (size_t slot = 0; slot < live.values().size(); ++slot)
        EXPECT_EQ(live.values()[slot], whole->Derived[slot][whole->Rows]) << slotName(slot);
}

TEST(LiveDerivation, ProvisionalValuesChangeOnceLaterRowsCome) {
    // Pulling away: the smoothed speed of a row while it is the newest
    // averages only the rows before it, so it lags the final value.
    std::vector<RowSpec> rows;
    for (int i = 0; i < 200; ++i)
        rows.push_back({i * 0.1, uint8_t(i / 3), uint8_t(40 + i / 4), 0x400, 100, 125});
    auto log = makeLog(rows);
    TLiveDerivation live(builtInTable());
    double liveSmooth = 0, liveDistance = 0, liveBoost = 0;
    for (uint32_t i = 1; i <= log->Rows; ++i) {
        live.addRow(dataOf(*log, i), log->TimeStamp(i));
        if (i == 100) {
            liveSmooth = live.values()[SmoothedSpeedSlot];
            liveDistance = live.values()[DistanceSlot];
            liveBoost = live.values()[BoostSlot];
        }
    }
    log->DeriveChannels();
    EXPECT_LT(liveSmooth, log->Derived[SmoothedSpeedSlot][100] - 0.5);
    // What needs no later row is final at once.
    EXPECT_EQ(liveDistance, log->Derived[DistanceSlot][100]);
    EXPECT_EQ(liveBoost, log->Derived[BoostSlot][100]);
    EXPECT_TRUE(NeedsLaterRows(SmoothedSpeedSlot));
    EXPECT_FALSE(NeedsLaterRows(DistanceSlot));
    EXPECT_FALSE(LiveValueNote("Gear").empty());
    EXPECT_FALSE(LiveValueNote("Calc. speed").empty());
    EXPECT_TRUE(LiveValueNote("Time").empty());
    EXPECT_TRUE(LiveValueNote("Boost").empty());
    EXPECT_TRUE(LiveValueNote("Speed").empty());
}

TEST(LiveDerivation, SpanAndRowCapBoundTheWork) {
    TLiveDerivation live(builtInTable(), DefaultVehicleConstants(), 2.0);
    uint8_t data[ReplyLength] = {};
    data[17 - 1] = 60;
    data[11 - 1] = 140;
    // 0.1 s steps: 2 s hold about 21 rows.
    for (int i = 0; i < 300; ++i)
        live.addRow(data, i * 0.1);
    EXPECT_LE(live.windowRows(), 22u);
    EXPECT_GE(live.windowRows(), 20u);
    // 60 mph for 29.9 s.
    EXPECT_NEAR(live.values()[DistanceSlot], 60 * 29.9 / 3600, 1e-9);
    EXPECT_DOUBLE_EQ(live.values()[TimeSlot], 29.9);
    // Rows a millisecond apart: the row cap holds.
    TLiveDerivation fast(builtInTable());
    for (int i = 0; i < 600; ++i)
        fast.addRow(data, i * 0.001);
    EXPECT_EQ(fast.windowRows(), TLiveDerivation::MaxWindowRows);
}

TEST(LiveDerivation, ResetStartsANewRecordingAndOddInputStaysFinite) {
    TLiveDerivation live(builtInTable());
    uint8_t data[ReplyLength] = {};
    data[17 - 1] = 50;
    live.addRow(data, 0);
    live.addRow(data, 1);
    EXPECT_GT(live.values()[DistanceSlot], 0);
    live.reset();
    EXPECT_EQ(live.rows(), 0u);
    EXPECT_EQ(live.values()[DistanceSlot], 0);
    live.addRow(data, 5);
    EXPECT_EQ(live.values()[DistanceSlot], 0);
    EXPECT_EQ(live.values()[TimeSlot], 5);

    // Repeated, backward and non-number time stamps and random bytes never
    // crash; the values stay numbers for ordinary time stamps.
    TLiveDerivation odd(builtInTable());
    uint32_t seed = 1;
    for (int i = 0; i < 400; ++i) {
        for (uint8_t& b : data)
            b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
        const double t = i % 50 == 7 ? std::nan("") : i % 13 == 0 ? (i - 30) * 0.2 : (i / 2) * 0.2;
        odd.addRow(data, t);
    }
    EXPECT_LE(odd.windowRows(), TLiveDerivation::MaxWindowRows);
    odd.reset();
    for (int i = 0; i < 50; ++i)
        odd.addRow(data, i * 0.2);
    for (double v : odd.values())
        EXPECT_TRUE(std::isfinite(v));

    // A table without "Speed": the channels it feeds are 0.
    TLiveDerivation bare(tableWithout("Speed"));
    data[17 - 1] = 80;
    for (int i = 0; i < 20; ++i)
        bare.addRow(data, i * 0.2);
    EXPECT_EQ(bare.values()[DistanceSlot], 0);
    EXPECT_EQ(bare.values()[SmoothedSpeedSlot], 0);
}
