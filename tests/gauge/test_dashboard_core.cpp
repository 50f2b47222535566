// The dashboard's layout without Qt: levels past the thresholds, the bands
// they draw, the layout as settings entries and back, and the monitor that
// follows the parameters and tells of the first danger of a recording.

#include "app/gauge/core/DashboardLayout.h"
#include "app/gauge/core/DashboardMonitor.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmar {
namespace {

GaugeSpec coolant() {
    GaugeSpec g;
    g.Parameter = "Coolant temp.";
    g.Minimum = -40;
    g.Maximum = 140;
    g.Warning = {true, 105, ThresholdSide::Above};
    g.Danger = {true, 115, ThresholdSide::Above};
    return g;
}

GaugeSpec battery() {
    GaugeSpec g;
    g.Parameter = "Battery volts";
    g.Kind = GaugeKind::Digital;
    g.Minimum = 8;
    g.Maximum = 16;
    g.Decimals = 1;
    g.Warning = {true, 12.0, ThresholdSide::Below};
    g.Danger = {true, 11.0, ThresholdSide::Below};
    return g;
}

TEST(DashboardLevels, PastAThresholdOnEitherSide) {
    const GaugeSpec hot = coolant();
    EXPECT_EQ(hot.levelOf(90), GaugeLevel::Normal);
    EXPECT_EQ(hot.levelOf(105), GaugeLevel::Warning); // on the threshold counts
    EXPECT_EQ(hot.levelOf(114.9), GaugeLevel::Warning);
    EXPECT_EQ(hot.levelOf(130), GaugeLevel::Danger);
    const GaugeSpec low = battery();
    EXPECT_EQ(low.levelOf(13.8), GaugeLevel::Normal);
    EXPECT_EQ(low.levelOf(11.5), GaugeLevel::Warning);
    EXPECT_EQ(low.levelOf(10), GaugeLevel::Danger);
    // A threshold switched off keeps its value and says nothing.
    GaugeSpec off = hot;
    off.Danger.Enabled = false;
    EXPECT_EQ(off.levelOf(130), GaugeLevel::Warning);
    off.Warning.Enabled = false;
    EXPECT_EQ(off.levelOf(130), GaugeLevel::Normal);
}

TEST(DashboardLevels, BandsRunFromTheThresholdToTheEndItPointsAt) {
    EXPECT_EQ(ThresholdBands(coolant()),
              (std::vector<ScaleBand>{{105, 140, GaugeLevel::Warning}, {115, 140, GaugeLevel::Danger}}));
    EXPECT_EQ(ThresholdBands(battery()),
              (std::vector<ScaleBand>{{8, 12, GaugeLevel::Warning}, {8, 11, GaugeLevel::Danger}}));
    // Clamped to the scale; a threshold beyond the scale's end draws nothing.
    GaugeSpec g = coolant();
    g.Warning.Value = -100;
    g.Danger.Value = 200;
    EXPECT_EQ(ThresholdBands(g), (std::vector<ScaleBand>{{-40, 140, GaugeLevel::Warning}}));
    EXPECT_TRUE(ThresholdBands(DefaultDashboard().Gauges[0]).empty());
}

TEST(DashboardLayoutCheck, SaysWhatIsWrong) {
    EXPECT_EQ(CheckGauge(coolant()), "");
    EXPECT_EQ(CheckGauge(battery()), ""); // a read-out may have fractional ends
    for (const GaugeSpec& g : DefaultDashboard().Gauges)
        EXPECT_EQ(CheckGauge(g), "");
    GaugeSpec g = coolant();
    g.Maximum = g.Minimum;
    EXPECT_NE(CheckGauge(g), "");
    g = coolant();
    g.Maximum = 140.5; // a dial's numbers are whole
    EXPECT_NE(CheckGauge(g), "");
    g = coolant();
    g.Danger.Value = 100; // danger before warning
    EXPECT_NE(CheckGauge(g), "");
    g = battery();
    g.Danger.Value = 12.5;
    EXPECT_NE(CheckGauge(g), "");
    g = coolant();
    g.Parameter.clear();
    EXPECT_NE(CheckGauge(g), "");
}

TEST(DashboardEntries, RoundTripEveryField) {
    DashboardLayout layout;
    layout.Columns = 3;
    layout.GaugeSize = 220;
    GaugeSpec odd = coolant();
    odd.Caption = "Water, \xC2\xB0"
                  "C";
    odd.Unit = "\xC2\xB0"
               "C";
    odd.Multiplier = 0.1; // not exact in binary: must read back the same
    odd.Style = DialStyle::Left;
    odd.Sweep = 90;
    odd.MainTicks = 9;
    odd.Warning.Value = 104.7;
    layout.Gauges = {odd, battery(), DefaultDashboard().Gauges[1]};
    const auto entries = DashboardEntries(layout);
    EXPECT_EQ(entries.at("Gauge 2/Kind"), "digital");
    EXPECT_EQ(entries.at("Gauge 1/Warning Side"), "above");
    const std::optional<DashboardLayout> back = DashboardFromEntries(entries);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, layout);
    EXPECT_EQ(DashboardFromEntries(DashboardEntries(DefaultDashboard())), DefaultDashboard());
}

TEST(DashboardEntries, DamagedEntriesFallBackToDefaults) {
    EXPECT_FALSE(DashboardFromEntries({}));
    EXPECT_FALSE(DashboardFromEntries({{"Gauges", "2"}})); // gauges without parameters
    const auto layout = DashboardFromEntries({{"Columns", "99"},
                                              {"Gauge size", "big"},
                                              {"Gauges", "2"},
                                              {"Gauge 1/Parameter", "Engine speed"},
                                              {"Gauge 1/Kind", "hologram"},
                                              {"Gauge 1/Maximum", "-5"},
                                              {"Gauge 1/Sweep", "720"},
                                              {"Gauge 1/Danger On", "true"},
                                              {"Gauge 1/Danger Value", "6500x"},
                                              {"Gauge 2/Caption", "no parameter"}});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->Columns, 2);
    EXPECT_EQ(layout->GaugeSize, 305);
    ASSERT_EQ(layout->Gauges.size(), 1u);
    const GaugeSpec& g = layout->Gauges[0];
    EXPECT_EQ(g.Kind, GaugeKind::Dial);
    EXPECT_GT(g.Maximum, g.Minimum);
    EXPECT_EQ(g.Sweep, 270);
    EXPECT_TRUE(g.Danger.Enabled);
    EXPECT_EQ(g.Danger.Value, 0);
}

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        DashboardLayout layout;
        GaugeSpec missing;
        missing.Parameter = "Boost gauge pressure";
        layout.Gauges = {coolant(), battery(), missing};
        monitor = DashboardMonitor(layout);
        monitor.bind({"Time", "Battery volts", "Coolant temp.", "Coolant temp."});
        monitor.OnDangerCrossed = [this](const DangerCrossing& c) { crossings.push_back(c); };
    }
    bool tick(double coolantValue, double volts, std::optional<double> time) {
        values = {time.value_or(0), volts, coolantValue, -1};
        return monitor.update([this](int i) { return values[size_t(i)]; }, time);
    }
    DashboardMonitor monitor;
    std::vector<double> values;
    std::vector<DangerCrossing> crossings;
};

TEST_F(MonitorTest, FindsTheParametersAndShowsTheirValues) {
    EXPECT_EQ(monitor.parameterIndex(0), 2); // the first of that name
    EXPECT_EQ(monitor.parameterIndex(1), 1);
    EXPECT_EQ(monitor.parameterIndex(2), -1);
    EXPECT_FALSE(monitor.shown(0)); // before the first tick
    EXPECT_FALSE(tick(90, 13.8, std::nullopt));
    EXPECT_EQ(monitor.shown(0), 90.0);
    EXPECT_EQ(monitor.shown(1), 13.8);
    EXPECT_FALSE(monitor.shown(2)); // not in the table
    EXPECT_EQ(monitor.level(2), GaugeLevel::Normal);

    DashboardLayout scaled = DefaultDashboard();
    DashboardMonitor pressure(scaled);
    pressure.bind({"Engine speed", "Manifold press (abs)."});
    const std::vector<double> v = {4000, 1.2};
    pressure.update([&](int i) { return v[size_t(i)]; }, std::nullopt);
    EXPECT_DOUBLE_EQ(*pressure.shown(0), 120); // bar x 100
    EXPECT_DOUBLE_EQ(*pressure.shown(1), 4000);
}

TEST_F(MonitorTest, LevelsFollowTheValuesAndSayWhenTheyChange) {
    EXPECT_FALSE(tick(90, 13.8, std::nullopt));
    EXPECT_TRUE(tick(108, 13.8, std::nullopt));
    EXPECT_EQ(monitor.level(0), GaugeLevel::Warning);
    EXPECT_FALSE(tick(109, 13.8, std::nullopt)); // still a warning: no change
    EXPECT_TRUE(tick(109, 10.5, std::nullopt));
    EXPECT_EQ(monitor.level(1), GaugeLevel::Danger);
    EXPECT_TRUE(tick(90, 13.8, std::nullopt));
    EXPECT_EQ(monitor.level(0), GaugeLevel::Normal);
    EXPECT_EQ(monitor.level(1), GaugeLevel::Normal);
    // Not recording: no crossing is told.
    EXPECT_TRUE(crossings.empty());
}

TEST_F(MonitorTest, TheFirstDangerOfEachGaugeInARecordingIsTold) {
    tick(90, 13.8, 0.0);
    tick(120, 13.8, 0.1); // coolant into danger
    tick(90, 13.8, 0.2);
    tick(121, 13.8, 0.3); // again: already told in this recording
    tick(121, 10.9, 0.4); // the battery's first
    ASSERT_EQ(crossings.size(), 2u);
    EXPECT_EQ(crossings[0].Gauge, 0u);
    EXPECT_EQ(crossings[0].Parameter, "Coolant temp.");
    EXPECT_EQ(crossings[0].Crossed, coolant().Danger);
    EXPECT_EQ(crossings[0].Shown, 120);
    EXPECT_EQ(crossings[0].Time, 0.1);
    EXPECT_EQ(crossings[1].Parameter, "Battery volts");
    EXPECT_EQ(crossings[1].Time, 0.4);

    // Logging stops and starts again: a new recording, told again, also
    // when it starts in danger.
    tick(121, 10.9, std::nullopt);
    tick(121, 13.8, 0.0);
    ASSERT_EQ(crossings.size(), 3u);
    EXPECT_EQ(crossings[2].Parameter, "Coolant temp.");
    EXPECT_EQ(crossings[2].Time, 0.0);
    // A time that goes back also begins a new recording.
    tick(121, 13.8, 5.0);
    tick(121, 13.8, 0.1);
    EXPECT_EQ(crossings.size(), 4u);
    // Stopped and started again between two ticks, a recording may begin
    // later than the last one ended: its first row says it is new.
    const auto rowTick = [this](double time, uint32_t row) {
        values = {time, 13.8, 121, -1};
        monitor.update([this](int i) { return values[size_t(i)]; }, time, row);
    };
    tick(121, 13.8, std::nullopt);
    rowTick(0.2, 1);
    rowTick(0.3, 2);
    EXPECT_EQ(crossings.size(), 5u);
    rowTick(0.9, 1);
    EXPECT_EQ(crossings.size(), 6u);
    EXPECT_EQ(crossings[5].Time, 0.9);
}

} // namespace
} // namespace quillmar
