// An engine computer that stops answering while the adapter stays: the
// simulator on a pseudo-terminal goes quiet (it still echoes), the cycle
// runs on a settable clock. The state goes to NoAnswer within the bound and
// back with the next good reply, a recording goes on through it, a lost
// adapter wins over it, and the error log says "No reply" once and then
// counts.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/RepeatedLines.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using S = AcquisitionState;

TEST(RepeatedLines, TheFirstLineThenACountOnceASecondThenForgotten) {
    RepeatedLines lines;
    EXPECT_TRUE(lines.admit("No reply", 0.0));
    EXPECT_TRUE(lines.admit("Check byte failure", 0.1)); // another kind is written
    for (double t : {0.2, 0.4, 0.6, 0.8})
        EXPECT_FALSE(lines.admit("No reply", t));
    EXPECT_TRUE(lines.due(0.8).empty()); // not a second yet
    // A millisecond early is on time; the quiet kind is forgotten.
    EXPECT_EQ(lines.due(0.999), (std::vector<std::string>{"No reply (4 more in the last second)"}));
    EXPECT_FALSE(lines.admit("No reply", 1.2));
    EXPECT_EQ(lines.due(1.6), std::vector<std::string>{});
    // Ticks rarely come exactly a second apart: a little more is still a
    // second, ticks further apart say how long the count is for.
    EXPECT_EQ(lines.due(2.3), (std::vector<std::string>{"No reply (1 more in the last second)"}));
    EXPECT_FALSE(lines.admit("No reply", 2.4));
    EXPECT_EQ(lines.due(4.0), (std::vector<std::string>{"No reply (1 more in the last 1.7 s)"}));
    // A second with none: forgotten, so the next one is written again.
    EXPECT_TRUE(lines.due(5.1).empty());
    EXPECT_TRUE(lines.admit("No reply", 5.2));
    EXPECT_TRUE(lines.admit("Check byte failure", 5.2));
    // The end of talking tells what is pending, however recent.
    EXPECT_FALSE(lines.admit("No reply", 5.3));
    EXPECT_FALSE(lines.admit("No reply", 5.4));
    EXPECT_EQ(lines.flush(), (std::vector<std::string>{"No reply (2 more)"}));
    EXPECT_TRUE(lines.admit("No reply", 5.5));
    EXPECT_EQ(lines.leftOut(), 8u);
    EXPECT_EQ(lines.reports(), 4u);
}

class StateListener : public AcquisitionListener {
public:
    void stateChanged(AcquisitionState state) override { states.push_back(state); }
    void errorLines(const std::vector<std::string>& lines) override {
        errors.insert(errors.end(), lines.begin(), lines.end());
    }
    std::vector<S> states;
    std::vector<std::string> errors;
};

class NoAnswerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-noanswer-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        acq.setListener(&listener);
        acq.setClock([this] { return clock.days; });
        acq.setJournalFolder((dir / "journals").string());
        startSim();
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = (dir / "adapter").string();
        ASSERT_TRUE(acq.start(setup));
        ASSERT_TRUE(acq.comms()->IsOpen()) << acq.connectError();
        answering();
    }
    void TearDown() override {
        acq.shutdown();
        sim.reset();
        fs::remove_all(dir);
    }
    void startSim() {
        SimOptions options;
        options.LinkPath = (dir / "adapter").string();
        sim = std::make_unique<SimulatedEcu>(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    // A reply gets a second, so a busy machine makes no spurious "No reply";
    // a silent engine computer gets a short wait, so the test stays quick.
    void answering() {
        sim->SetSilent(false);
        acq.comms()->SetWaitLimit(1000);
    }
    void silent() {
        sim->SetSilent(true);
        acq.comms()->SetWaitLimit(20);
    }
    void tick(double seconds = 0.2) {
        clock.advanceSeconds(seconds);
        acq.acquisitionTick();
    }
    size_t noReplyLines() const {
        return std::count(listener.errors.begin(), listener.errors.end(), "No reply");
    }

    fs::path dir;
    testing::RecordingMessenger messenger;
    TLogCollection collection;
    StateListener listener;
    Acquisition acq{collection};
    testing::ManualClock clock;
    std::unique_ptr<SimulatedEcu> sim;
};

TEST_F(NoAnswerTest, ASecondWithoutAReplyIsNoAnswerAndTheNextReplyEndsIt) {
    ASSERT_TRUE(acq.startTalking());
    tick();
    tick();
    ASSERT_EQ(acq.state(), S::Talking);

    // The default 200 ms period: four silent polls are 0.8 s, not yet a second.
    silent();
    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_EQ(acq.state(), S::Talking);
    tick();
    EXPECT_EQ(acq.state(), S::NoAnswer);
    EXPECT_TRUE(acq.talking());
    EXPECT_FALSE(acq.logging());
    // "No reply" once, then counted: a line a second, not one a poll.
    EXPECT_EQ(noReplyLines(), 1u);
    EXPECT_EQ(listener.errors.size(), 1u);
    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_EQ(listener.errors,
              (std::vector<std::string>{"No reply", "No reply (4 more in the last second)"}));
    EXPECT_EQ(acq.silence().Spans, 1u);
    EXPECT_NEAR(acq.silence().Seconds, 2.0, 1e-4); // still going: up to now

    // The next good reply: Talking again (after the count that was due),
    // and the span is closed.
    answering();
    tick();
    EXPECT_EQ(acq.state(), S::Talking);
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::NoAnswer, S::Talking}));
    EXPECT_EQ(listener.errors.back(), "No reply (5 more in the last second)");
    tick(5);
    EXPECT_EQ(acq.silence().Spans, 1u);
    EXPECT_NEAR(acq.silence().Seconds, 2.2, 1e-4); // last good reply to the next

    // Quiet for a second, the line was forgotten: a new silence writes it
    // again, and the counts pending come out at the end of talking.
    silent();
    tick();
    tick();
    tick();
    acq.stopTalking();
    EXPECT_EQ(std::vector<std::string>(listener.errors.end() - 2, listener.errors.end()),
              (std::vector<std::string>{"No reply", "No reply (2 more)"}));
    EXPECT_EQ(acq.repeatedLinesLeftOut(), 11u);
    EXPECT_EQ(acq.repeatReports(), 3u);
    EXPECT_EQ(acq.silence().Spans, 1u); // 0.6 s is no span
}

TEST_F(NoAnswerTest, WithALongPeriodThreePollsAreNeeded) {
    ASSERT_TRUE(acq.setAcquisitionPeriod("2000") == PeriodEntry::Applied);
    ASSERT_TRUE(acq.startTalking());
    tick(2);
    silent();
    tick(2);
    tick(2);
    EXPECT_EQ(acq.state(), S::Talking); // four seconds, but two polls
    tick(2);
    EXPECT_EQ(acq.state(), S::NoAnswer);
    // A line every two seconds is no flood: each is written.
    tick(2);
    EXPECT_EQ(listener.errors, std::vector<std::string>(4, "No reply"));
}

TEST_F(NoAnswerTest, ARecordingGoesOnThroughTheSilenceAndLosesNothing) {
    ASSERT_TRUE(acq.startLogging());
    tick();
    tick();
    ASSERT_EQ(acq.rowCounter(), 2);
    silent();
    for (int i = 0; i < 7; ++i)
        tick();
    EXPECT_EQ(acq.state(), S::NoAnswer);
    EXPECT_TRUE(acq.logging());
    EXPECT_EQ(collection.recording(), acq.currentLog());
    EXPECT_EQ(acq.rowCounter(), 2);
    answering();
    tick();
    tick();
    EXPECT_EQ(acq.state(), S::Logging);
    EXPECT_EQ(acq.rowCounter(), 4);
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Logging, S::NoAnswer, S::Logging}));

    // Logging stopped and started while silent: the state stays NoAnswer,
    // and listeners hear of each all the same.
    silent();
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_EQ(acq.state(), S::NoAnswer);
    listener.states.clear();
    acq.stopLogging();
    EXPECT_FALSE(acq.logging());
    EXPECT_EQ(acq.state(), S::NoAnswer);
    ASSERT_TRUE(acq.startLogging());
    EXPECT_TRUE(acq.logging());
    EXPECT_EQ(listener.states, (std::vector<S>{S::NoAnswer, S::NoAnswer}));
    answering();
    tick();
    EXPECT_EQ(acq.state(), S::Logging);
    acq.stopTalking();
    EXPECT_EQ(acq.state(), S::Idle);

    // The first recording kept every row, and its time stamps show the gap.
    ASSERT_EQ(collection.Count(), 2);
    const TALDLLog* first = collection.ReadLog(0);
    ASSERT_EQ(first->Rows, 4u);
    EXPECT_NEAR(first->TimeStamp(2), 0.4, 1e-4);
    EXPECT_NEAR(first->TimeStamp(3), 2.0, 1e-4);
    EXPECT_EQ(collection.ReadLog(1)->Rows, 1u);
    EXPECT_EQ(acq.silence().Spans, 2u);
}

TEST_F(NoAnswerTest, ALostAdapterWinsOverSilence) {
    ASSERT_TRUE(acq.startTalking());
    tick();
    silent();
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_EQ(acq.state(), S::NoAnswer);

    // Unplugged: Reconnecting, and the silence ends there.
    sim.reset();
    tick();
    ASSERT_TRUE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Reconnecting);
    EXPECT_NEAR(acq.silence().Seconds, 1.2, 1e-4);
    // However long it stays away, it is not NoAnswer.
    for (int i = 0; i < 10; ++i)
        tick(0.5);
    EXPECT_EQ(acq.state(), S::Reconnecting);
    EXPECT_EQ(acq.silence().Spans, 1u);

    // Back and answering: Talking; back and silent: NoAnswer only after a
    // second of its own.
    startSim();
    sim->SetSilent(true);
    tick(10);
    ASSERT_FALSE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Talking);
    acq.comms()->SetWaitLimit(20);
    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_EQ(acq.state(), S::Talking);
    tick();
    EXPECT_EQ(acq.state(), S::NoAnswer);
    EXPECT_EQ(listener.states,
              (std::vector<S>{S::Talking, S::NoAnswer, S::Reconnecting, S::Talking, S::NoAnswer}));

    // While recording, a loss during the silence leaves Logging (the rows
    // resume when the device is back), not NoAnswer.
    ASSERT_TRUE(acq.startLogging());
    EXPECT_EQ(acq.state(), S::NoAnswer);
    sim.reset();
    tick();
    ASSERT_TRUE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Logging);
}

} // namespace
} // namespace quillmar
