// The acquisition's one state: which changes the machine allows, that its
// hook hears of each change once, and how the cycle moves through it while
// talking, logging, dumping and while the adapter is away (reconnecting wins
// over talking, a recording goes on through a loss).

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/AcquisitionState.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <unistd.h>
#include <utility>

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using S = AcquisitionState;

constexpr S AllStates[] = {S::Idle, S::Talking, S::Logging, S::Dumping, S::Reconnecting, S::NoAnswer};

TEST(AcquisitionStateMachine, AllowsExactlyTheChangesThatMakeSense) {
    const std::set<std::pair<S, S>> allowed{
        {S::Idle, S::Talking},         {S::Idle, S::Reconnecting},    {S::Idle, S::Dumping},
        {S::Talking, S::Idle},         {S::Talking, S::Logging},      {S::Talking, S::Reconnecting},
        {S::Logging, S::Talking},      {S::Logging, S::Reconnecting}, {S::Reconnecting, S::Idle},
        {S::Reconnecting, S::Talking}, {S::Reconnecting, S::Logging}, {S::Dumping, S::Idle},
        {S::Talking, S::NoAnswer},     {S::Logging, S::NoAnswer},     {S::NoAnswer, S::Idle},
        {S::NoAnswer, S::Talking},     {S::NoAnswer, S::Logging},     {S::NoAnswer, S::Reconnecting},
    };
    for (const S from : AllStates)
        for (const S to : AllStates) {
            const bool expected = from == to || allowed.count({from, to}) > 0;
            EXPECT_EQ(AcquisitionStateMachine::allowed(from, to), expected)
                << StateName(from) << " -> " << StateName(to);
        }
    // In particular: a recording never ends without passing through talking,
    // a dump never runs beside talking, silence is only heard while talking,
    // and a lost device is tried again afresh, not as silent.
    EXPECT_FALSE(AcquisitionStateMachine::allowed(S::Logging, S::Idle));
    EXPECT_FALSE(AcquisitionStateMachine::allowed(S::Talking, S::Dumping));
    EXPECT_FALSE(AcquisitionStateMachine::allowed(S::Dumping, S::Talking));
    EXPECT_FALSE(AcquisitionStateMachine::allowed(S::Idle, S::NoAnswer));
    EXPECT_FALSE(AcquisitionStateMachine::allowed(S::Reconnecting, S::NoAnswer));
    EXPECT_TRUE(IsTalkingState(S::Reconnecting));
    EXPECT_TRUE(IsTalkingState(S::NoAnswer));
    EXPECT_FALSE(IsTalkingState(S::Dumping));
}

TEST(AcquisitionStateMachine, TheHookHearsOfEachChangeOnce) {
    AcquisitionStateMachine machine;
    std::vector<std::pair<S, S>> heard;
    machine.StateChanged = [&](S from, S to) { heard.emplace_back(from, to); };

    EXPECT_TRUE(machine.transition(S::Talking));
    EXPECT_TRUE(machine.transition(S::Talking));  // no change: nothing heard
    EXPECT_FALSE(machine.transition(S::Dumping)); // refused: nothing heard, nothing changed
    EXPECT_EQ(machine.state(), S::Talking);
    EXPECT_TRUE(machine.transition(S::Logging));
    EXPECT_FALSE(machine.transition(S::Idle));
    EXPECT_TRUE(machine.transition(S::Talking));
    EXPECT_TRUE(machine.transition(S::Idle));
    EXPECT_EQ(heard, (std::vector<std::pair<S, S>>{{S::Idle, S::Talking},
                                                   {S::Talking, S::Logging},
                                                   {S::Logging, S::Talking},
                                                   {S::Talking, S::Idle}}));
}

class StateListener : public AcquisitionListener {
public:
    void stateChanged(AcquisitionState state) override { states.push_back(state); }
    void promDumpFinished(PromDumpResult result) override { dumps.push_back(result); }
    std::vector<S> states;
    std::vector<PromDumpResult> dumps;
};

class AcquisitionStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-state-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        acq.setListener(&listener);
        acq.setClock([this] { return clock.days; });
        acq.setJournalFolder((dir / "journals").string());
    }
    void TearDown() override {
        acq.shutdown();
        sim.reset();
        fs::remove_all(dir);
    }
    void create(const std::string& port = {}) {
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = port;
        ASSERT_TRUE(acq.start(setup));
    }
    void startSim() {
        SimOptions options;
        options.LinkPath = (dir / "adapter").string();
        sim = std::make_unique<SimulatedEcu>(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    void tick(double seconds = 0.2) {
        clock.advanceSeconds(seconds);
        acq.acquisitionTick();
    }

    fs::path dir;
    testing::RecordingMessenger messenger;
    TLogCollection collection;
    StateListener listener;
    Acquisition acq{collection};
    testing::ManualClock clock;
    std::unique_ptr<SimulatedEcu> sim;
};

TEST_F(AcquisitionStateTest, CommandsMoveTheStateAndListenersHearEachChangeOnce) {
    // Nothing runs before the table is loaded.
    EXPECT_FALSE(acq.startTalking());
    EXPECT_EQ(acq.state(), S::Idle);
    create();
    acq.setTestMode(true);

    ASSERT_TRUE(acq.startTalking());
    EXPECT_TRUE(acq.startTalking()); // already talking: no change
    EXPECT_TRUE(acq.talking());
    EXPECT_FALSE(acq.logging());
    ASSERT_TRUE(acq.startLogging());
    EXPECT_FALSE(acq.startLogging()); // refused: already logging
    tick();
    EXPECT_EQ(collection.recording(), acq.currentLog());
    acq.stopTalking(); // stops logging first
    EXPECT_EQ(collection.recording(), nullptr);
    acq.stopTalking(); // idle: nothing happens
    acq.stopLogging();
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Logging, S::Talking, S::Idle}));

    // Logging from Idle passes through talking.
    listener.states.clear();
    ASSERT_TRUE(acq.startLogging());
    acq.stopLogging();
    acq.stopTalking();
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Logging, S::Talking, S::Idle}));

    // A pause around a suspend is no change of state.
    listener.states.clear();
    ASSERT_TRUE(acq.startTalking());
    acq.setAcquisitionTimerRunning(false);
    EXPECT_FALSE(acq.acquisitionRunning());
    EXPECT_EQ(acq.state(), S::Talking);
    acq.setAcquisitionTimerRunning(true);
    acq.stopTalking();
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Idle}));
}

TEST_F(AcquisitionStateTest, ADumpIsAStateOfItsOwnThatShutsTalkingOut) {
    create();
    acq.setTestMode(true);
    ASSERT_TRUE(acq.startPromDump((dir / "prom.bin").string()));
    EXPECT_EQ(acq.state(), S::Dumping);
    EXPECT_FALSE(acq.talking());
    EXPECT_FALSE(acq.startTalking());
    EXPECT_FALSE(acq.startLogging());
    EXPECT_FALSE(acq.startPromDump((dir / "other.bin").string()));
    acq.stopTalking(); // not talking: the dump goes on
    EXPECT_EQ(acq.state(), S::Dumping);
    EXPECT_EQ(messenger.shown.size(), 3u);
    EXPECT_EQ(messenger.shown[2],
              (std::pair<std::string, std::string>{"Error", "A PROM dump is already in progress"}));
    while (acq.promDumpRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(listener.states, (std::vector<S>{S::Dumping, S::Idle}));
    EXPECT_EQ(listener.dumps, std::vector<PromDumpResult>{PromDumpResult::Written});
    EXPECT_EQ(fs::file_size(dir / "prom.bin"), 32768u);
    EXPECT_FALSE(fs::exists(dir / "other.bin"));

    // While talking a dump is refused, with the reason.
    ASSERT_TRUE(acq.startTalking());
    EXPECT_FALSE(acq.startPromDump((dir / "other.bin").string()));
    EXPECT_EQ(messenger.shown.back(),
              (std::pair<std::string, std::string>{"Error", "Data acquisition is in progress"}));
    EXPECT_EQ(acq.state(), S::Talking);
}

TEST_F(AcquisitionStateTest, ReconnectingWinsOverTalkingAndARecordingGoesOnThroughALoss) {
    startSim();
    create((dir / "adapter").string());
    acq.comms()->SetWaitLimit(1000); // no spurious "No reply" on a busy machine
    ASSERT_TRUE(acq.startTalking());
    tick();
    EXPECT_EQ(acq.state(), S::Talking);

    // Unplugged while talking: Reconnecting, still talking.
    sim.reset();
    tick();
    ASSERT_TRUE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Reconnecting);
    EXPECT_TRUE(acq.talking());

    // Stopped and started again while it is still gone: Reconnecting again,
    // not Talking.
    acq.stopTalking();
    EXPECT_EQ(acq.state(), S::Idle);
    ASSERT_TRUE(acq.startTalking());
    EXPECT_EQ(acq.state(), S::Reconnecting);

    // Logging through a loss stays Logging; stopping it while the device is
    // gone goes back to Reconnecting.
    ASSERT_TRUE(acq.startLogging());
    EXPECT_EQ(acq.state(), S::Logging);
    tick(1.0);
    EXPECT_EQ(acq.state(), S::Logging);
    acq.stopLogging();
    EXPECT_EQ(acq.state(), S::Reconnecting);

    // Back: the next try finds it, and the state is Talking.
    startSim();
    tick(10);
    EXPECT_FALSE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Talking);
    acq.stopTalking();
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Reconnecting, S::Idle, S::Reconnecting,
                                               S::Logging, S::Reconnecting, S::Talking, S::Idle}));

    // A device lost while logging comes back into the same recording, and
    // the state stays Logging throughout.
    listener.states.clear();
    ASSERT_TRUE(acq.startLogging());
    tick();
    sim.reset();
    tick();
    ASSERT_TRUE(acq.linkLost());
    EXPECT_EQ(acq.state(), S::Logging);
    startSim();
    tick(1.0);
    EXPECT_FALSE(acq.linkLost());
    tick();
    EXPECT_EQ(acq.rowCounter(), 2);
    EXPECT_EQ(listener.states, (std::vector<S>{S::Talking, S::Logging}));
}

TEST_F(AcquisitionStateTest, ChoosingAPortEndsTheWaitForALostOne) {
    startSim();
    create((dir / "adapter").string());
    acq.comms()->SetWaitLimit(1000);
    ASSERT_TRUE(acq.startTalking());
    sim.reset();
    tick();
    ASSERT_EQ(acq.state(), S::Reconnecting);
    startSim();
    EXPECT_TRUE(acq.reconnect((dir / "adapter").string()));
    EXPECT_EQ(acq.state(), S::Talking);
}

} // namespace
} // namespace quillmar
