// The acquisition cycle and the PROM dump when the adapter goes away and
// comes back, and the journal recordings keep: against the simulator on a
// pseudo-terminal reached through a symbolic link, as an adapter's stable
// name would be.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/demo/PromImage.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/JournalRecovery.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <unistd.h>

namespace quillmar {
namespace {

namespace fs = std::filesystem;

class LinkListener : public AcquisitionListener {
public:
    void errorLines(const std::vector<std::string>& lines) override {
        errors.insert(errors.end(), lines.begin(), lines.end());
    }
    void linkStateChanged(bool connected, const std::string& text) override {
        states.emplace_back(connected, text);
    }
    std::vector<std::string> errors;
    std::vector<std::pair<bool, std::string>> states;
};

class LinkLossTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-linkloss-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        link = (dir / "adapter").string();
        journals = (dir / "journals").string();
        acq.setListener(&listener);
        acq.setClock([this] { return clock.days; });
        acq.setJournalFolder(journals);
    }
    void TearDown() override {
        acq.shutdown();
        sim.reset();
        fs::remove_all(dir);
    }
    void startSim() {
        SimOptions options;
        options.LinkPath = link;
        options.Seed = ++seed;
        sim = std::make_unique<SimulatedEcu>(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    void create() {
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = link;
        ASSERT_TRUE(acq.start(setup));
        ASSERT_TRUE(acq.comms()->IsOpen()) << acq.connectError();
        acq.comms()->SetWaitLimit(1000); // no spurious "No reply" on a busy machine
    }
    void tick(double seconds = 0.2) {
        clock.advanceSeconds(seconds);
        acq.acquisitionTick();
    }
    std::vector<fs::path> journalFiles() const {
        std::vector<fs::path> files;
        if (fs::exists(journals))
            for (const auto& e : fs::directory_iterator(journals))
                files.push_back(e.path());
        return files;
    }

    fs::path dir;
    std::string link, journals;
    TLogCollection collection;
    Acquisition acq{collection};
    LinkListener listener;
    testing::ManualClock clock;
    testing::RecordingMessenger messenger;
    std::unique_ptr<SimulatedEcu> sim;
    uint32_t seed = 0;
};

TEST_F(LinkLossTest, AnUnpluggedAdapterIsToldOnceRetriedAndItsRowsGoOnIntoTheSameRecording) {
    startSim();
    create();
    ASSERT_TRUE(acq.startLogging());
    for (int i = 0; i < 3; ++i)
        tick();
    ASSERT_EQ(acq.rowCounter(), 3);
    ASSERT_TRUE(listener.errors.empty()) << listener.errors[0];

    // Unplugged: one line naming the device, then silence while it is gone.
    sim.reset();
    tick();
    const std::string lost = "Comm port " + link + " disconnected, retrying (Input/output error)";
    ASSERT_EQ(listener.errors, std::vector<std::string>{lost});
    ASSERT_EQ(listener.states.size(), 1u);
    EXPECT_EQ(listener.states[0], std::make_pair(false, lost));
    EXPECT_TRUE(acq.linkLost());
    EXPECT_NEAR(acq.nextReconnectIn(), 1.0, 1e-4);

    // Tries after 1, 2, 5 and then every 10 seconds, each failing quietly.
    const double waits[] = {1, 2, 5, 10, 10};
    for (const double wait : waits) {
        EXPECT_NEAR(acq.nextReconnectIn(), wait, 1e-4);
        tick(wait - 0.01);
        EXPECT_TRUE(acq.linkLost());
        EXPECT_NEAR(acq.nextReconnectIn(), 0.01, 1e-4); // not tried before its time
        tick(0.01);
    }
    EXPECT_EQ(listener.errors.size(), 1u);
    EXPECT_EQ(acq.rowCounter(), 3);

    // Back on the same name: the next try finds it, one line says so, and
    // polling goes on into the same recording.
    startSim();
    tick(10);
    EXPECT_FALSE(acq.linkLost());
    ASSERT_EQ(listener.errors.size(), 2u);
    EXPECT_EQ(listener.errors[1], "Comm port " + link + " connected again after 38.0 s");
    ASSERT_EQ(listener.states.size(), 2u);
    EXPECT_EQ(listener.states[1], std::make_pair(true, listener.errors[1]));
    tick();
    tick();
    EXPECT_EQ(listener.errors.size(), 2u) << listener.errors.back();
    EXPECT_EQ(acq.rowCounter(), 5);

    acq.stopLogging();
    ASSERT_EQ(collection.Count(), 1);
    const TALDLLog* log = collection.ReadLog(0);
    ASSERT_EQ(log->Rows, 5u);
    // The time stamps show the gap.
    EXPECT_NEAR(log->TimeStamp(3), 0.6, 1e-6);
    EXPECT_NEAR(log->TimeStamp(4), 0.8 + 38.0 + 0.2, 1e-4);
}

TEST_F(LinkLossTest, StoppingWhileDisconnectedKeepsWhatWasRecordedAndItsJournal) {
    startSim();
    create();
    ASSERT_TRUE(acq.startLogging());
    tick();
    tick();
    sim.reset();
    tick();
    ASSERT_TRUE(acq.linkLost());
    tick(1.5);
    acq.stopTalking();
    ASSERT_EQ(collection.Count(), 1);
    TALDLLog* log = collection.ReadLog(0);
    EXPECT_EQ(log->Rows, 2u);
    EXPECT_FALSE(log->Saved);
    // The rows are on disk until saved; then the journal goes.
    ASSERT_NE(log->Journal(), nullptr);
    EXPECT_EQ(log->Journal()->Buffered(), 0u);
    EXPECT_EQ(journalFiles().size(), 1u);
    ASSERT_TRUE(collection.saveDatasetAs((dir / "run.ecu").string()));
    EXPECT_TRUE(log->Saved);
    EXPECT_EQ(log->Journal(), nullptr);
    EXPECT_TRUE(journalFiles().empty());

    // Talking again later tries the lost device at once.
    startSim();
    ASSERT_TRUE(acq.startTalking());
    tick();
    EXPECT_FALSE(acq.linkLost());
}

TEST_F(LinkLossTest, TheJournalHoldsEveryRowAndIsSyncedAboutOnceASecondNotEveryTick) {
    startSim();
    std::string path;
    std::vector<uint8_t> rows;
    {
        // A program of its own, which ends without saving.
        TLogCollection datasets;
        Acquisition cycle(datasets);
        cycle.setClock([this] { return clock.days; });
        cycle.setJournalFolder(journals);
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = link;
        ASSERT_TRUE(cycle.start(setup));
        cycle.comms()->SetWaitLimit(1000);
        ASSERT_EQ(cycle.setAcquisitionPeriod("100"), PeriodEntry::Applied);
        ASSERT_TRUE(cycle.startLogging());
        const TALDLLog* log = cycle.currentLog();
        ASSERT_NE(log->Journal(), nullptr);
        path = log->Journal()->Path();
        EXPECT_EQ(fs::path(path).parent_path(), fs::path(journals));
        EXPECT_EQ(
            fs::path(path).filename().string().rfind("recording-" + std::to_string(::getpid()) + "-", 0), 0u);

        for (int i = 0; i < 30; ++i) {
            clock.advanceSeconds(0.1);
            cycle.acquisitionTick();
        }
        ASSERT_EQ(cycle.rowCounter(), 30);
        // A row waits at most a second less one period before it is synced.
        const uint64_t syncs = log->Journal()->Syncs();
        EXPECT_GE(syncs, 2u);
        EXPECT_LE(syncs, 4u);
        EXPECT_LE(log->Journal()->Buffered(), 10u);
        // The file holds every row but those still waiting.
        EXPECT_EQ(log->Journal()->RowsInFile(), 30u - log->Journal()->Buffered());

        // Meanwhile nobody else may take it over, and it is not offered.
        size_t inUse = 0;
        EXPECT_TRUE(ListJournals(journals, &inUse).empty());
        EXPECT_EQ(inUse, 1u);
        bool held = false;
        InspectJournal(path, held);
        EXPECT_TRUE(held);
        TLogCollection thief;
        EXPECT_THROW(RecoverJournal(thief, path), FileError);

        cycle.stopLogging();
        const TALDLLog* done = datasets.ReadLog(0);
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(done->Journal()->RowsInFile(), 30u);
        rows.assign(done->RowData(1), done->RowData(1) + 30 * 71);
        // The program ends: the unsaved recording is freed without asking.
    }
    // Kept for recovery, byte for byte the dataset's rows.
    TLogCollection other;
    const RecoveredJournal r = RecoverJournal(other, path);
    ASSERT_NE(r.Dataset, nullptr);
    EXPECT_EQ(r.Rows, 30u);
    EXPECT_EQ(r.Dropped, 0u);
    EXPECT_EQ(std::memcmp(r.Dataset->RowData(1), rows.data(), rows.size()), 0);
    EXPECT_EQ(r.StartTime, 45000.0);
    EXPECT_FALSE(r.Dataset->Saved);
    EXPECT_EQ(journalFiles().size(), 1u);
}

TEST_F(LinkLossTest, TestModeAndEmptyRecordingsLeaveNoJournal) {
    AcquisitionSetup setup;
    setup.Table = BuiltInParameters();
    ASSERT_TRUE(acq.start(setup));
    acq.setTestMode(true);
    ASSERT_TRUE(acq.startLogging());
    tick();
    EXPECT_EQ(acq.currentLog()->Journal(), nullptr);
    acq.stopLogging();
    EXPECT_TRUE(journalFiles().empty());

    startSim();
    acq.setTestMode(false);
    ASSERT_TRUE(acq.reconnect(link));
    ASSERT_TRUE(acq.startLogging());
    EXPECT_EQ(journalFiles().size(), 1u);
    acq.stopLogging(); // no rows: the dataset and its journal go
    EXPECT_EQ(collection.Count(), 1);
    EXPECT_TRUE(journalFiles().empty());
}

TEST_F(LinkLossTest, APromDumpOpensAPortAgainWhoseAdapterWasReplugged) {
    startSim();
    create();
    acq.comms()->SetWaitLimit(250);
    const std::string image = (dir / "prom.bin").string();

    // Unplugged and plugged back in while idle: the dump finds the port
    // dead, opens it again at once and reads everything.
    sim.reset();
    startSim();
    EXPECT_EQ(testing::RunPromDump(acq, image), PromDumpResult::Written);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_FALSE(acq.linkLost());
    ASSERT_GE(listener.errors.size(), 3u);
    EXPECT_EQ(listener.errors[0], "Comm port " + link + " disconnected, retrying (Input/output error)");
    EXPECT_EQ(listener.errors[1], "Comm port " + link + " connected again after 0.0 s");
    EXPECT_EQ(listener.errors[2], "Reading addr: $8000");
    const PromImage prom = PromImage::Generated(seed);
    std::ifstream in(image, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 32768u);
    for (uint32_t a = 0x8000; a < 0x10000; ++a)
        ASSERT_EQ(bytes[a - 0x8000], prom.At(static_cast<uint16_t>(a))) << a;

    // Unplugged for good: one line for the loss, the five failures, no file;
    // the port is waited for as when talking.
    sim.reset();
    listener.errors.clear();
    const std::string other = (dir / "other.bin").string();
    EXPECT_EQ(testing::RunPromDump(acq, other), PromDumpResult::LinkFailed);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0],
              (std::pair<std::string, std::string>{"Aborting", "Five consecutive mode 2 command failures"}));
    EXPECT_EQ(listener.errors,
              std::vector<std::string>{"Comm port " + link + " disconnected, retrying (Input/output error)"});
    EXPECT_TRUE(acq.linkLost());
    EXPECT_FALSE(fs::exists(other));

    // Back again: the next dump does not wait for the talking schedule.
    startSim();
    EXPECT_EQ(testing::RunPromDump(acq, other), PromDumpResult::Written);
    EXPECT_FALSE(acq.linkLost());
    EXPECT_EQ(fs::file_size(other), 32768u);
}

} // namespace
} // namespace quillmar
