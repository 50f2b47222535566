// The acquisition cycle driven tick by tick: decoding shares, test mode,
// recording rows, the state rules and the period boxes.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <unistd.h>

namespace quillmar {
namespace {

using testing::ManualClock;
using testing::RecordingMessenger;

// count entries whose sizes add up to 63: the first 63 - count take two bytes.
TParameterArray MakeTable(int count, int mapAt, int rpmAt) {
    TParameterArray table;
    int position = 1;
    for (int i = 0; i < count; ++i) {
        TParameter p;
        p.Name = i == mapAt ? "Manifold press (abs)." : i == rpmAt ? "Engine speed" : "P" + std::to_string(i);
        p.Position = static_cast<uint8_t>(position);
        p.Size = static_cast<uint8_t>(i < 63 - count ? 2 : 1);
        p.Factor = 1;
        p.FormatAs = "%5.1f";
        position += p.Size;
        table.push_back(p);
    }
    return table;
}

class RecordingListener : public AcquisitionListener {
public:
    void errorLines(const std::vector<std::string>& lines) override {
        errors.insert(errors.end(), lines.begin(), lines.end());
    }
    void refreshLiveTable() override { ++refreshes; }
    void showRow(uint32_t row) override { rowsShown.push_back(row); }
    void stateChanged(AcquisitionState s) override { states.push_back(s); }
    void dialsChanged(float boost, float rpm) override { dials.emplace_back(boost, rpm); }
    void rowRecorded(uint32_t row) override { lastRow = row; }
    void setupCurves() override { ++curveSetups; }

    std::vector<std::string> errors;
    int refreshes = 0;
    std::vector<uint32_t> rowsShown;
    std::vector<AcquisitionState> states;
    std::vector<std::pair<float, float>> dials;
    uint32_t lastRow = 0;
    int curveSetups = 0;
};

class CycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        acq.setListener(&listener);
        acq.setClock([this] { return clock.days; });
    }
    void create(TParameterArray table) {
        AcquisitionSetup setup;
        setup.Table = std::move(table);
        ASSERT_TRUE(acq.start(setup));
    }
    // Marks every value as not decoded.
    void clearValues() {
        for (auto& p : acq.parameters())
            p.Value = std::numeric_limits<double>::quiet_NaN();
    }
    std::set<int> decodedEntries() {
        std::set<int> out;
        for (size_t i = 0; i < acq.parameters().size(); ++i)
            if (!std::isnan(acq.parameters()[i].Value)) out.insert(static_cast<int>(i));
        return out;
    }

    RecordingMessenger messenger;
    ManualClock clock;
    TLogCollection collection;
    RecordingListener listener;
    Acquisition acq{collection};
};

TEST_F(CycleTest, EveryTickDecodesMapAndEngineSpeedAndAShareInRoundRobin) {
    create(MakeTable(50, 10, 20));
    acq.setTestMode(true);
    ASSERT_TRUE(acq.startTalking());
    // 49 * 200 / 2000 + 2 = 6 steps: MAP, engine speed and four more.
    EXPECT_EQ(acq.decodeSteps(), 6);
    clearValues();
    acq.acquisitionTick();
    EXPECT_EQ(decodedEntries(), (std::set<int>{10, 20, 0, 1, 2, 3}));
    EXPECT_EQ(acq.decodePosition(), 4);
    clearValues();
    acq.acquisitionTick();
    EXPECT_EQ(decodedEntries(), (std::set<int>{10, 20, 4, 5, 6, 7}));

    // The round robin wraps from the last entry to the first.
    ASSERT_EQ(acq.setAcquisitionPeriod("1000"), PeriodEntry::Applied); // 49*1000/2000+2 = 26
    for (int i = 0; i < 2; ++i)
        acq.acquisitionTick(); // 8 + 24 + 24 = 56 -> 6
    EXPECT_EQ(acq.decodePosition(), 6);

    // A period far above the update period never decodes more than the
    // table, yet the position moves as far as the count says.
    ASSERT_EQ(acq.setAcquisitionPeriod("4294967295"), PeriodEntry::Applied);
    ASSERT_EQ(acq.setUpdatePeriod("1"), PeriodEntry::Applied);
    const int64_t steps = acq.decodeSteps() - 2;
    EXPECT_EQ(steps, int64_t{49} * 4294967295LL);
    clearValues();
    acq.acquisitionTick();
    EXPECT_EQ(decodedEntries().size(), 50u);
    EXPECT_EQ(acq.decodePosition(), static_cast<int32_t>((6 + steps % 50) % 50));
}

TEST_F(CycleTest, RoundRobinStepsOverTimeAndDerivedEntries) {
    create(BuiltInParameters());
    acq.setTestMode(true);
    // 64 * 200 / 2000 + 2 = 8: MAP, engine speed, then entries 0..5 of
    // which "Time" (2) and "Distance" (4, derived) are stepped over. The
    // derived entries get their values from the live derivation instead.
    clearValues();
    acq.acquisitionTick();
    std::set<int> derived;
    for (size_t i = 0; i < acq.parameters().size(); ++i)
        if (acq.parameters()[i].Size == 0) derived.insert(static_cast<int>(i));
    EXPECT_EQ(derived.size(), 9u);
    std::set<int> expected{16, 8, 0, 1, 3, 5};
    expected.insert(derived.begin(), derived.end());
    EXPECT_EQ(decodedEntries(), expected);
    EXPECT_EQ(acq.decodePosition(), 6);
}

TEST_F(CycleTest, ShortOrSlowPeriodsStillRefreshEveryValue) {
    // 64 * 20 / 2000 + 2 = 2 and 64 * 100 / 10000 + 2 = 2 leave no share for
    // the round robin; one step a tick still reaches every entry.
    create(BuiltInParameters());
    acq.setTestMode(true);
    for (const auto& [period, update] :
         std::vector<std::pair<const char*, const char*>>{{"20", "2000"}, {"100", "10000"}}) {
        ASSERT_EQ(acq.setAcquisitionPeriod(period), PeriodEntry::Applied);
        ASSERT_EQ(acq.setUpdatePeriod(update), PeriodEntry::Applied);
        EXPECT_EQ(acq.decodeSteps(), 2);
        EXPECT_EQ(acq.roundRobinSteps(), 1);
        clearValues();
        for (int tick = 0; tick < acq.parameterCount(); ++tick)
            acq.acquisitionTick();
        std::set<int> expected;
        for (int i = 0; i < acq.parameterCount(); ++i)
            if (acq.parameters()[size_t(i)].Size > 0) expected.insert(i);
        for (int i : decodedEntries())
            expected.erase(i);
        EXPECT_TRUE(expected.empty()) << period << " ms: " << expected.size() << " entries never decoded";
    }
}

TEST_F(CycleTest, TestModeRecordsRowsWithoutTheLink) {
    create(BuiltInParameters());
    acq.setTestMode(true);
    acq.setEnableDials(true);
    ASSERT_TRUE(acq.startLogging());
    EXPECT_EQ(acq.state(), AcquisitionState::Logging);
    for (int i = 1; i <= 3; ++i) {
        clock.advanceSeconds(0.25);
        acq.acquisitionTick();
    }
    EXPECT_TRUE(listener.errors.empty()); // no "Comm port inactive" in test mode
    EXPECT_EQ(acq.rowCounter(), 3);
    EXPECT_EQ(listener.lastRow, 3u);
    TALDLLog* log = acq.currentLog();
    ASSERT_NE(log, nullptr);
    for (uint32_t r = 1; r <= 3; ++r) {
        for (uint32_t c = 1; c <= 63; ++c)
            EXPECT_LE(log->GetElement(c, r), 254.0L);
        EXPECT_NEAR(log->TimeStamp(r), 0.25 * r, 1e-6);
    }
    const auto& p = acq.parameters();
    EXPECT_NEAR(p[2].Value, 0.75, 1e-6); // "Time"
    // The engine speed is what row 3's data byte 11 says, and reaches the dials.
    EXPECT_DOUBLE_EQ(p[8].Value, static_cast<double>(log->GetElement(11, 3)) * 25.0);
    ASSERT_EQ(listener.dials.size(), 3u);
    EXPECT_FLOAT_EQ(listener.dials.back().second, static_cast<float>(p[8].Value));
    EXPECT_FLOAT_EQ(listener.dials.back().first, static_cast<float>(p[16].Value * 100.0));

    // Test mode off with no port: the first tick says so, the next ones are
    // counted once a second, and nothing is recorded. With no port there is
    // no engine computer to be silent.
    acq.setTestMode(false);
    acq.acquisitionTick();
    acq.acquisitionTick();
    EXPECT_EQ(listener.errors, (std::vector<std::string>{"Comm port inactive"}));
    clock.advanceSeconds(1.0);
    acq.acquisitionTick();
    EXPECT_EQ(listener.errors, (std::vector<std::string>{"Comm port inactive",
                                                         "Comm port inactive (1 more in the last second)"}));
    EXPECT_EQ(acq.rowCounter(), 3);
    EXPECT_EQ(acq.state(), AcquisitionState::Logging);
}

TEST_F(CycleTest, RecordingGrowsByHundredsAndIsTrimmedAtStop) {
    create(BuiltInParameters());
    acq.setTestMode(true);
    acq.startLogging();
    TALDLLog* log = acq.currentLog();
    ASSERT_NE(log, nullptr);
    std::vector<uint32_t> capacities;
    for (int i = 1; i <= 250; ++i) {
        clock.advanceSeconds(0.1);
        acq.acquisitionTick();
        if (capacities.empty() || capacities.back() != log->Rows) capacities.push_back(log->Rows);
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{100, 200, 300}));
    acq.stopLogging();
    EXPECT_EQ(acq.state(), AcquisitionState::Talking);
    EXPECT_EQ(acq.currentLog(), nullptr);
    ASSERT_EQ(collection.Count(), 1);
    TALDLLog* done = collection.ReadLog(0);
    EXPECT_EQ(done->Rows, 250u);
    EXPECT_FALSE(done->Saved);
    EXPECT_EQ(collection.selectedIndex(), 0);
    EXPECT_EQ(done->Derived[TimeSlot].size(), 251u);
    EXPECT_NEAR(done->Derived[TimeSlot][250], 25.0, 1e-4);
    EXPECT_EQ(listener.rowsShown.back(), 250u);
    EXPECT_EQ(collection.recording(), nullptr);
    // The graph's curves are set up at the start and again at the end.
    EXPECT_EQ(listener.curveSetups, 2);

    // Stop talking shows the current dataset's last row.
    acq.stopTalking();
    EXPECT_EQ(acq.state(), AcquisitionState::Idle);
    EXPECT_EQ(listener.rowsShown.back(), 250u);
}

TEST_F(CycleTest, StateRules) {
    create(BuiltInParameters());
    acq.setTestMode(true);
    // Start logging from Idle starts talking first; stop right away leaves
    // no dataset behind.
    ASSERT_TRUE(acq.startLogging());
    EXPECT_TRUE(acq.acquisitionRunning());
    EXPECT_TRUE(acq.redrawRunning());
    EXPECT_EQ(collection.Count(), 1);
    EXPECT_EQ(collection.datasetNames().at(0), "Dataset 0");
    ASSERT_NE(acq.currentLog(), nullptr);
    EXPECT_EQ(collection.recording(), acq.currentLog());
    acq.stopLogging();
    EXPECT_EQ(collection.Count(), 0);
    EXPECT_EQ(listener.rowsShown.back(), 1u);

    // Stop talking while logging stops logging first.
    acq.startLogging();
    acq.acquisitionTick();
    acq.stopTalking();
    EXPECT_FALSE(acq.acquisitionRunning());
    EXPECT_EQ(collection.Count(), 1);
    EXPECT_EQ(collection.ReadLog(0)->Rows, 1u);
    EXPECT_EQ(listener.states.back(), AcquisitionState::Idle);

    // The mode item is taken at Start talking only.
    EXPECT_EQ(acq.messageNumber(), 0);
    acq.setCheckedModeItem(0);
    EXPECT_EQ(acq.messageNumber(), 0);
    acq.startTalking();
    EXPECT_EQ(acq.messageNumber(), -1);
    acq.stopTalking();
    acq.setCheckedModeItem(5);
    acq.startTalking();
    EXPECT_EQ(acq.messageNumber(), 4);

    // The update tick refreshes the live table only while acquiring.
    const int before = listener.refreshes;
    acq.updateTick();
    acq.stopTalking();
    acq.updateTick();
    EXPECT_EQ(listener.refreshes, before + 1);
}

TEST_F(CycleTest, ErrorLogKeepsItsNewestHundredLines) {
    create(BuiltInParameters());
    for (int i = 0; i < 150; ++i)
        acq.errorLog().push_back("line " + std::to_string(i));
    acq.updateTick();
    ASSERT_EQ(acq.errorLog().size(), 100u);
    EXPECT_EQ(acq.errorLog().front(), "line 50");
    EXPECT_EQ(acq.errorLog().back(), "line 149");
    // New lines after a trim are still reported once each.
    acq.acquisitionTick(); // not in test mode, no port
    ASSERT_FALSE(listener.errors.empty());
    EXPECT_EQ(listener.errors.back(), "Comm port inactive");
    EXPECT_EQ(acq.errorLog().size(), 101u);
}

TEST_F(CycleTest, PeriodBoxes) {
    create(BuiltInParameters());
    EXPECT_EQ(acq.acqPeriodText(), "200");
    EXPECT_EQ(acq.redrawPeriodText(), "2000");
    // Not a number, or 0: focus back, nothing changes, nothing shown.
    for (const char* text : {"0", "", "abc", "12ms", "1.5", "99999999999999999999", " - 3"})
        EXPECT_EQ(acq.setAcquisitionPeriod(text), PeriodEntry::FocusBack) << text;
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(acq.acquisitionInterval(), 200u);
    // Negative or beyond 32 bits: refused with an error box.
    EXPECT_EQ(acq.setAcquisitionPeriod("-5"), PeriodEntry::Refused);
    EXPECT_EQ(acq.setUpdatePeriod("4294967296"), PeriodEntry::Refused);
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(messenger.shown[0].first, "Error");
    EXPECT_EQ(acq.acquisitionInterval(), 200u);
    EXPECT_EQ(acq.redrawInterval(), 2000u);
    // Accepted at once, also while running.
    acq.setTestMode(true);
    acq.startTalking();
    EXPECT_EQ(acq.setAcquisitionPeriod(" 250 "), PeriodEntry::Applied);
    EXPECT_EQ(acq.setUpdatePeriod("4294967295"), PeriodEntry::Applied);
    EXPECT_EQ(acq.acquisitionInterval(), 250u);
    EXPECT_EQ(acq.redrawPeriodText(), "4294967295");
    EXPECT_TRUE(acq.acquisitionRunning());

    EXPECT_EQ(ParsePeriodText("-9223372036854775808"), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(ParsePeriodText("9223372036854775808"), std::nullopt);
}

TEST_F(CycleTest, BrokenTableStopsStartUp) {
    TParameterArray table = MakeTable(50, 10, 20);
    table.back().Size = 0; // 62 bytes
    AcquisitionSetup setup;
    setup.Table = table;
    EXPECT_FALSE(acq.start(setup));
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].first, "error");
    EXPECT_EQ(messenger.shown[0].second.rfind("Total parameters byte length incorrect\n", 0), 0u);
    // Nothing runs with it.
    EXPECT_FALSE(acq.startTalking());
    EXPECT_FALSE(acq.acquisitionRunning());
}

TEST_F(CycleTest, AProtocolFileThatCannotBeWrittenIsAWarning) {
    // A first start whose protocol file cannot be created still runs on the
    // built-in table; the error log says so as a warning.
    const std::string plain = ::testing::TempDir() + "quillmar-cycle-plain-" + std::to_string(::getpid());
    { std::ofstream(plain) << "a file, not a folder"; }
    AcquisitionSetup setup;
    setup.IniPath = plain + "/M100 ALDL protocol.ini";
    ASSERT_TRUE(acq.start(setup));
    EXPECT_EQ(acq.parameterCount(), 65);
    ASSERT_EQ(listener.errors.size(), 1u);
    EXPECT_EQ(listener.errors[0].rfind("Warning: ", 0), 0u) << listener.errors[0];
    EXPECT_NE(listener.errors[0].find(setup.IniPath), std::string::npos) << listener.errors[0];
    std::remove(plain.c_str());
}

} // namespace
} // namespace quillmar
