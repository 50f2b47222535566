// The derived entries of the live table while talking and logging: values
// of the rows so far, Time from the first reply or the recording's start,
// and the finished recording's derivation replacing them at Stop logging.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillmar {
namespace {

using testing::ManualClock;
using testing::RecordingMessenger;

class LiveValuesTest : public ::testing::Test {
protected:
    void SetUp() override {
        acq.setClock([this] { return clock.days; });
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        ASSERT_TRUE(acq.start(setup));
        acq.setTestMode(true);
    }
    double value(const std::string& name) const {
        for (const TParameter& p : const_cast<Acquisition&>(acq).parameters())
            if (p.Name == name) return p.Value;
        ADD_FAILURE() << "no " << name;
        return 0;
    }
    void tick(double seconds) {
        clock.advanceSeconds(seconds);
        acq.acquisitionTick();
    }

    RecordingMessenger messenger;
    ManualClock clock;
    TLogCollection collection;
    Acquisition acq{collection};
};

const char* const DerivedNames[DerivedChannelCount] = {"Time",           "Distance", "Acceleration",
                                                       "Power",          "Gear",     "Calc. speed",
                                                       "Smoothed speed", "Boost",    "Injector duty"};

TEST_F(LiveValuesTest, TalkingCountsTimeFromTheFirstReplyAndDerivesEveryChannel) {
    clock.advanceSeconds(100); // the clock's own reading must not show
    ASSERT_TRUE(acq.startTalking());
    tick(0.2);
    EXPECT_EQ(value("Time"), 0);
    for (int i = 0; i < 30; ++i)
        tick(0.2);
    EXPECT_NEAR(value("Time"), 6.0, 1e-4);
    ASSERT_NE(acq.liveDerivation(), nullptr);
    EXPECT_EQ(acq.liveDerivation()->rows(), 31u);
    // Every derived entry holds the live derivation's value, and the
    // pseudo-random replies give some that are not 0.
    const DerivedValues& v = acq.liveDerivation()->values();
    for (int slot = 0; slot < DerivedChannelCount; ++slot)
        EXPECT_EQ(value(DerivedNames[slot]), v[size_t(slot)]) << DerivedNames[slot];
    EXPECT_GT(value("Distance"), 0);
    EXPECT_GT(value("Smoothed speed"), 0);
    EXPECT_GT(value("Injector duty"), 0);

    // Talking again starts from the next reply.
    acq.stopTalking();
    ASSERT_TRUE(acq.startTalking());
    tick(5);
    EXPECT_EQ(value("Time"), 0);
    EXPECT_EQ(value("Distance"), 0);
}

TEST_F(LiveValuesTest, LoggingDerivesTheRowsSoFarAndStopGivesTheFinalValues) {
    ASSERT_TRUE(acq.startTalking());
    for (int i = 0; i < 10; ++i)
        tick(0.2);
    ASSERT_TRUE(acq.startLogging());
    for (int i = 0; i < 120; ++i)
        tick(0.2);
    TALDLLog* log = acq.currentLog();
    ASSERT_NE(log, nullptr);
    const uint32_t rows = uint32_t(acq.rowCounter());
    ASSERT_EQ(rows, 120u);
    // Time from the recording's start; the talking before it does not count.
    EXPECT_NEAR(value("Time"), 24.0, 1e-4);

    // The rows so far, derived as a finished recording: its last row is
    // what the table shows, and the recorded rows hold their live values.
    TALDLLog copy(log->Parameters);
    copy.SetRows(rows);
    for (uint32_t r = 1; r <= rows; ++r)
        copy.WriteRow(r, log->RowData(r), log->TimeStamp(r));
    copy.DeriveChannels();
    for (int slot = 0; slot < DerivedChannelCount; ++slot) {
        EXPECT_EQ(value(DerivedNames[slot]), copy.Derived[size_t(slot)][rows]) << DerivedNames[slot];
        EXPECT_EQ(log->Derived[size_t(slot)][rows], copy.Derived[size_t(slot)][rows]) << DerivedNames[slot];
    }
    const double liveSmooth = log->Derived[SmoothedSpeedSlot][60];

    acq.stopLogging();
    ASSERT_EQ(collection.Count(), 1);
    TALDLLog* finished = collection.ReadLog(0);
    ASSERT_NE(finished, nullptr);
    for (int slot = 0; slot < DerivedChannelCount; ++slot)
        for (uint32_t r = 1; r <= rows; ++r)
            ASSERT_EQ(finished->Derived[size_t(slot)][r], copy.Derived[size_t(slot)][r])
                << DerivedNames[slot] << " row " << r;
    // Row 60's smoothed speed was provisional: the rows after it changed it.
    EXPECT_NE(finished->Derived[SmoothedSpeedSlot][60], liveSmooth);
}

} // namespace
} // namespace quillmar
