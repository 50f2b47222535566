// Derived channels of a logged dataset.

#include "tests/dataset/DatasetTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "store/dataset/DeriveChannels.h"
#include "tests/dataset/DeriveChannelsStepByStep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

std::vector<RowSpec> steady(uint32_t n, double step, uint8_t speed, uint8_t engineSpeed) {
    std::vector<RowSpec> rows(n);
    for (uint32_t i = 0; i < n; ++i) {
        rows[i].time = i * step;
        rows[i].speed = speed;
        rows[i].engineSpeed = engineSpeed;
    }
    return rows;
}

double channel(const TALDLLog& log, int slot, uint32_t row) {
    return log.Derived[size_t(slot)][row];
}

} // namespace

TEST(DeriveChannels, StandingStillGivesNoMotion) {
    auto log = makeLog(steady(60, 0.1, 0, 34));
    log->DeriveChannels();
    for (uint32_t i = 1; i <= log->Rows; ++i) {
        for (int slot :
             {DistanceSlot, AccelerationSlot, PowerSlot, GearSlot, SmoothedSpeedSlot, CalcSpeedSlot})
            EXPECT_EQ(channel(*log, slot, i), 0) << "slot " << slot << " row " << i;
        EXPECT_DOUBLE_EQ(channel(*log, TimeSlot, i), (i - 1) * 0.1);
    }
    // Every channel has one element per row plus the unused element 0.
    for (const TDoubleArray& d : log->Derived)
        EXPECT_EQ(d.size(), log->Rows + 1u);
}

TEST(DeriveChannels, InjectorDutyAndBoost) {
    // Pulse width in 0.01 ms steps so the values are exact.
    auto table = tableWithFactor("Injector pulse width", 0.01);
    auto rows = steady(4, 0.1, 0, 120); // 3000 rpm: 40 ms for two revolutions
    rows[0].injector = 1000;            // 10 ms
    rows[1].engineSpeed = 240;          // 6000 rpm: 20 ms
    rows[1].injector = 2000;            // 20 ms
    rows[2].engineSpeed = 240;
    rows[2].injector = 2500; // 25 ms: over 100 % is shown as 101
    rows[3].engineSpeed = 0;
    rows[3].injector = 2500; // no engine speed
    rows[0].map = 118;       // 1.00 bar against 1.05: boost 0, not -0.05
    rows[0].barometer = 124;
    rows[1].map = 150;
    rows[1].barometer = 124;
    auto log = makeLog(rows, table);
    log->DeriveChannels();
    EXPECT_DOUBLE_EQ(channel(*log, InjectorDutySlot, 1), 25);
    EXPECT_EQ(channel(*log, InjectorDutySlot, 2), 100);
    EXPECT_EQ(channel(*log, InjectorDutySlot, 3), 101);
    EXPECT_EQ(channel(*log, InjectorDutySlot, 4), 0);
    EXPECT_EQ(channel(*log, BoostSlot, 1), 0);
    EXPECT_NEAR(channel(*log, BoostSlot, 2), (150 - 124) * 0.00781, 1e-12);
}

TEST(DeriveChannels, GearFromSmoothedSpeedAndEngineSpeed) {
    // 52 mph at 4000 rpm: 0.01299 * 4000 = 51.96, within 3 mph of third.
    auto log = makeLog(steady(40, 0.1, 52, 160));
    log->DeriveChannels();
    for (uint32_t i = 1; i <= log->Rows; ++i) {
        EXPECT_EQ(channel(*log, GearSlot, i), 3);
        EXPECT_NEAR(channel(*log, CalcSpeedSlot, i), 51.96, 1e-9);
        EXPECT_NEAR(channel(*log, SmoothedSpeedSlot, i), 52, 1e-12);
    }
    const VehicleConstants& v = DefaultVehicleConstants();
    EXPECT_EQ(DetectGear(2.4L, 4000, v), 0); // too slow for any gear
    EXPECT_EQ(DetectGear(30, 4000, v), -2);  // no ratio within 3 mph
    // A tie keeps the lower gear: 10 mph is 2 mph from both 8 and 12.
    VehicleConstants tie = v;
    tie.SpeedPerEngineSpeedTable = {0.002, 0, 0.0078125, 0.01171875, 1, 1, 1};
    EXPECT_EQ(DetectGear(10, 1024, tie), 1);
}

TEST(DeriveChannels, WindowFollowsTheMeanTimeStep) {
    // 0.125 s steps: k = 12; 25 points, 24 after the first steady row, 12 for smoothing.
    auto rows = steady(100, 0.125, 0, 34);
    for (uint32_t i = 49; i < 100; ++i)
        rows[i].speed = 60;
    auto log = makeLog(rows);
    log->DeriveChannels();
    EXPECT_EQ(log->LastDerive().K, 12);
    EXPECT_EQ(log->LastDerive().StartWindow, 25);
    EXPECT_EQ(log->LastDerive().SteadyWindow, 24);
    EXPECT_EQ(log->LastDerive().SmoothWindow, 12);
    // Row 50 averages rows 44..55, six of which are at 60 mph.
    EXPECT_NEAR(channel(*log, SmoothedSpeedSlot, 50), 30, 1e-12);
    EXPECT_NEAR(channel(*log, SmoothedSpeedSlot, 44), 0, 1e-12);

    // Steady 0.1 s steps: 1.5 over the mean step is just below 15 in
    // extended precision, though double arithmetic would give 15.
    std::vector<RowSpec> tenths(10);
    for (uint32_t i = 0; i < tenths.size(); ++i)
        tenths[i].time = i * 0.1;
    const double step = (tenths.back().time - tenths.front().time) / 9.0;
    ASSERT_EQ(std::trunc(1.5 / step), 15);
    auto log2 = makeLog(tenths);
    log2->DeriveChannels();
    EXPECT_EQ(log2->LastDerive().K, 14);
    EXPECT_EQ(log2->LastDerive().StartWindow, 29);
}

TEST(DeriveChannels, DistanceAccelerationAndPower) {
    // An hour at 60 mph, one row a second.
    auto log = makeLog(steady(3601, 1.0, 60, 120));
    log->DeriveChannels();
    EXPECT_EQ(channel(*log, DistanceSlot, 1), 0);
    EXPECT_NEAR(channel(*log, DistanceSlot, 3601), 60, 1e-9);
    EXPECT_NEAR(channel(*log, DistanceSlot, 1801), 30, 1e-9);
    EXPECT_NEAR(channel(*log, AccelerationSlot, 2000), 0, 1e-12);

    // Speeding up by 1 mph per row of 0.1 s: the first row is always 0,
    // later rows follow the smoothed speed.
    std::vector<RowSpec> rows(200);
    for (uint32_t i = 0; i < rows.size(); ++i) {
        rows[i].time = i * 0.1;
        rows[i].speed = uint8_t(i);
    }
    auto accel = makeLog(rows);
    accel->DeriveChannels();
    EXPECT_EQ(channel(*accel, AccelerationSlot, 1), 0);
    EXPECT_EQ(channel(*accel, PowerSlot, 1), 0);
    EXPECT_EQ(channel(*accel, DistanceSlot, 1), 0);
    // Mid-run: 10 mph/s = 4.47 m/s^2 = 0.4557 g.
    EXPECT_NEAR(channel(*accel, AccelerationSlot, 100), 0.447 * 10 / 9.81, 1e-9);
    EXPECT_GT(channel(*accel, PowerSlot, 100), channel(*accel, PowerSlot, 50));
}

TEST(DeriveChannels, DatasetsTooShortOrTooSparseForTheWindow) {
    // One row: windows of 1, no spline.
    auto one = makeLog(steady(1, 0, 40, 120));
    one->DeriveChannels();
    EXPECT_FALSE(one->LastDerive().SplineUsed);
    EXPECT_EQ(one->LastDerive().SmoothWindow, 1);
    EXPECT_EQ(channel(*one, SmoothedSpeedSlot, 1), 40);
    EXPECT_EQ(channel(*one, CalcSpeedSlot, 1), 0);
    EXPECT_EQ(channel(*one, DistanceSlot, 1), 0);

    // Equal time stamps: nothing moves in time.
    auto rows = steady(20, 0, 40, 120);
    for (auto& r : rows)
        r.time = 5;
    auto same = makeLog(rows);
    same->DeriveChannels();
    EXPECT_FALSE(same->LastDerive().SplineUsed);
    EXPECT_EQ(channel(*same, CalcSpeedSlot, 20), 0);
    EXPECT_EQ(channel(*same, DistanceSlot, 20), 0);
    EXPECT_EQ(channel(*same, AccelerationSlot, 20), 0);
    EXPECT_EQ(channel(*same, SmoothedSpeedSlot, 20), 40);

    // A row every 2 s: k = 0, every window 1; the spline still runs.
    auto sparse = makeLog(steady(30, 2.0, 40, 120));
    sparse->DeriveChannels();
    EXPECT_EQ(sparse->LastDerive().K, 0);
    EXPECT_EQ(sparse->LastDerive().StartWindow, 1);
    EXPECT_EQ(sparse->LastDerive().SteadyWindow, 1);
    EXPECT_EQ(sparse->LastDerive().SmoothWindow, 1);
    EXPECT_TRUE(sparse->LastDerive().SplineUsed);
    EXPECT_NEAR(channel(*sparse, DistanceSlot, 30), 40 * 58 / 3600.0, 1e-12);

    // A row every millisecond: 2k + 1 would be 3001; capped at 255.
    auto dense = makeLog(steady(400, 0.001, 40, 120));
    dense->DeriveChannels();
    EXPECT_GE(dense->LastDerive().K, 1499);
    EXPECT_EQ(dense->LastDerive().StartWindow, 255);
    EXPECT_EQ(dense->LastDerive().SteadyWindow, 254);
    EXPECT_EQ(dense->LastDerive().SmoothWindow, 127);

    // Time stamps that are not numbers derive without fault.
    auto odd = steady(10, 0.1, 40, 120);
    odd[3].time = std::numeric_limits<double>::quiet_NaN();
    odd[7].time = std::numeric_limits<double>::infinity();
    auto nan = makeLog(odd);
    nan->DeriveChannels();
    EXPECT_EQ(nan->Derived[GearSlot].size(), 11u);
}

TEST(DeriveChannels, LastRowAtTheTimeOfTheRowBeforeKeepsCalculatedSpeed) {
    // 30 mph at 2300 rpm (raw 92) is third gear; the last reply came within
    // the same time stamp as the one before it.
    auto rows = steady(200, 0.1, 30, 92);
    rows[199].time = rows[198].time;
    auto fast = makeLog(rows);
    auto literal = makeLog(rows);
    fast->DeriveChannels();
    DeriveChannelsStepByStep(*literal);
    for (uint32_t i : {1u, 100u, 199u, 200u}) {
        EXPECT_TRUE(std::isfinite(channel(*fast, CalcSpeedSlot, i))) << "row " << i;
        EXPECT_EQ(channel(*fast, CalcSpeedSlot, i), channel(*literal, CalcSpeedSlot, i)) << "row " << i;
    }
    EXPECT_NEAR(channel(*fast, CalcSpeedSlot, 100), 0.01299 * 2300, 1e-9);
}

TEST(DeriveChannels, MissingParametersZeroWhatDependsOnThem) {
    auto rows = steady(50, 0.1, 52, 160);
    for (auto& r : rows) {
        r.map = 150;
        r.barometer = 124;
        r.injector = 1311;
    }
    auto noSpeed = makeLog(rows, tableWithout("Speed"));
    noSpeed->DeriveChannels();
    ASSERT_EQ(noSpeed->DeriveWarnings().size(), 1u);
    EXPECT_NE(noSpeed->DeriveWarnings()[0].find("\"Speed\""), std::string::npos);
    for (uint32_t i = 1; i <= 50; ++i) {
        for (int slot : {DistanceSlot, GearSlot, CalcSpeedSlot, SmoothedSpeedSlot})
            EXPECT_EQ(channel(*noSpeed, slot, i), 0);
        EXPECT_GT(channel(*noSpeed, BoostSlot, i), 0.2);
        EXPECT_GT(channel(*noSpeed, InjectorDutySlot, i), 0);
    }

    auto noBaro = makeLog(rows, tableWithout("Barometer"));
    noBaro->DeriveChannels();
    ASSERT_EQ(noBaro->DeriveWarnings().size(), 1u);
    EXPECT_NE(noBaro->DeriveWarnings()[0].find("Barometer"), std::string::npos);
    EXPECT_EQ(channel(*noBaro, BoostSlot, 10), 0);
    EXPECT_EQ(channel(*noBaro, GearSlot, 10), 3);

    auto noEngine = makeLog(rows, tableWithout("Engine speed"));
    noEngine->DeriveChannels();
    EXPECT_EQ(channel(*noEngine, GearSlot, 10), 0);
    EXPECT_EQ(channel(*noEngine, CalcSpeedSlot, 50), 0);
    EXPECT_EQ(channel(*noEngine, InjectorDutySlot, 10), 0);
    EXPECT_NEAR(channel(*noEngine, SmoothedSpeedSlot, 10), 52, 1e-12);

    auto full = makeLog(rows);
    full->DeriveChannels();
    EXPECT_TRUE(full->DeriveWarnings().empty());
}

TEST(DeriveChannels, ParameterValueReadsRowsAndDerivedChannels) {
    auto rows = steady(30, 0.1, 52, 160);
    auto log = makeLog(rows);
    log->DeriveChannels();
    const auto names = MakeParameterNames(*log->Parameters);
    const int gear = IndexOfName(names, "Gear"), time = IndexOfName(names, "Time");
    const int engine = IndexOfName(names, "Engine speed");
    EXPECT_EQ(log->ParameterValue(gear, 5), 3);
    EXPECT_DOUBLE_EQ(double(log->ParameterValue(time, 30)), 29 * 0.1);
    EXPECT_EQ(log->ParameterValue(engine, 1), 4000);
    EXPECT_EQ(log->ParameterValue(engine, 0), 0);
    EXPECT_EQ(log->ParameterValue(engine, 31), 0);
    EXPECT_EQ(log->ParameterValue(int(names.size()), 1), 0);
}

namespace {

void expectSameBits(const TALDLLog& fast, const TALDLLog& literal) {
    for (int slot = 0; slot < DerivedChannelCount; ++slot) {
        const TDoubleArray& a = fast.Derived[size_t(slot)];
        const TDoubleArray& b = literal.Derived[size_t(slot)];
        ASSERT_EQ(a.size(), b.size());
        size_t firstDiff = a.size();
        for (size_t i = 0; i < a.size() && firstDiff == a.size(); ++i)
            if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) firstDiff = i;
        EXPECT_EQ(firstDiff, a.size()) << "slot " << slot << ": " << a[firstDiff] << " vs " << b[firstDiff];
    }
}

} // namespace

TEST(DeriveChannels, LinearDerivationMatchesTheLiteralOneBitForBit) {
    auto drive = syntheticDrive(4000, 7);
    auto fast = makeLog(drive);
    auto literal = makeLog(drive);
    fast->DeriveChannels();
    DeriveChannelsStepByStep(*literal);
    expectSameBits(*fast, *literal);
    // Time stamps out of order (a clock step back) take the searching path.
    auto shuffled = syntheticDrive(3000, 11);
    for (uint32_t i = 1000; i < 1040; ++i)
        shuffled[i].time -= 3.05;
    shuffled[2500].time = 1.0;
    auto fast2 = makeLog(shuffled);
    auto literal2 = makeLog(shuffled);
    fast2->DeriveChannels();
    DeriveChannelsStepByStep(*literal2);
    expectSameBits(*fast2, *literal2);
    EXPECT_TRUE(fast2->LastDerive().SplineUsed);

    // The drive exercised what it is meant to: several gears, points left
    // out of the spline, repeated time stamps.
    const TDoubleArray& gears = fast->Derived[GearSlot];
    EXPECT_NE(std::find(gears.begin(), gears.end(), 4.0), gears.end());
    EXPECT_NE(std::find(gears.begin(), gears.end(), 1.0), gears.end());
    EXPECT_LT(fast->LastDerive().SplinePoints, fast->Rows * 9 / 10);
    EXPECT_GT(fast->LastDerive().SplinePoints, fast->Rows / 3);
    EXPECT_EQ(fast->LastDerive().K, 14);
}
