// The PROM dump: test mode, the two failure limits, long replies, refusals,
// and the file written only when complete; plus ticks over a real link to the
// simulated engine computer.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "link/Frame.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace quillmar {
namespace {

namespace fs = std::filesystem;
using testing::RecordingMessenger;

std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Listener : public AcquisitionListener {
public:
    void errorLines(const std::vector<std::string>& lines) override {
        errors.insert(errors.end(), lines.begin(), lines.end());
    }
    void promProgress(uint32_t next, size_t) override {
        ++progress;
        if (onProgress) onProgress(next);
    }
    std::vector<std::string> errors;
    int progress = 0;
    std::function<void(uint32_t)> onProgress;
};

class PromDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-prom-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        acq.setListener(&listener);
        acq.setJournalFolder((dir / "journals").string());
    }
    void TearDown() override { fs::remove_all(dir); }
    void create(const std::string& port = {}) {
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = port;
        ASSERT_TRUE(acq.start(setup));
        if (!port.empty()) {
            ASSERT_TRUE(acq.comms()->IsOpen()) << acq.connectError();
        }
    }
    // The "Reading addr"/"Bytes returned" lines, without the link's own.
    std::vector<std::string> dumpLines() const {
        std::vector<std::string> out;
        for (const auto& l : listener.errors)
            if (l.rfind("Reading addr: ", 0) == 0 || l.rfind("Bytes returned: ", 0) == 0) out.push_back(l);
        return out;
    }

    RecordingMessenger messenger;
    TLogCollection collection;
    Listener listener;
    Acquisition acq{collection};
    fs::path dir;
};

TEST_F(PromDumpTest, TestModeDumpsWithoutALink) {
    create();
    acq.setTestMode(true);
    const fs::path file = dir / "prom.bin";
    EXPECT_EQ(testing::RunPromDump(acq, file.string()), PromDumpResult::Written);
    const auto image = readFile(file);
    ASSERT_EQ(image.size(), 32768u);
    for (uint8_t b : image)
        ASSERT_LE(b, 254);
    const auto lines = dumpLines();
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines.size(), listener.errors.size());
    EXPECT_EQ(lines[0], "Reading addr: $8000");
    EXPECT_EQ(lines[1], "Bytes returned: 64");
    EXPECT_EQ(lines[2], "Reading addr: $8040");
    EXPECT_EQ(lines[1022], "Reading addr: $FFC0");
    EXPECT_EQ(lines[1023], "Bytes returned: 64");
    EXPECT_EQ(listener.progress, 512);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_FALSE(acq.promDumpRunning());
    // Nothing else was left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(PromDumpTest, RefusalsAndUnwritableFile) {
    create();
    acq.setTestMode(true);
    // While talking: refused, nothing read.
    acq.startTalking();
    EXPECT_EQ(testing::RunPromDump(acq, (dir / "a.bin").string()), PromDumpResult::Busy);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0],
              (std::pair<std::string, std::string>{"Error", "Data acquisition is in progress"}));
    EXPECT_TRUE(listener.errors.empty());
    acq.stopTalking();

    // Starting to talk or to log during a dump is refused with the reason.
    listener.onProgress = [this](uint32_t next) {
        if (next == 0x8040) {
            EXPECT_FALSE(acq.startTalking());
            EXPECT_FALSE(acq.startLogging());
        }
    };
    EXPECT_EQ(testing::RunPromDump(acq, (dir / "b.bin").string()), PromDumpResult::Written);
    ASSERT_EQ(messenger.shown.size(), 3u);
    EXPECT_NE(messenger.shown[1].second.find("PROM dump is in progress"), std::string::npos);
    EXPECT_FALSE(acq.acquisitionRunning());
    EXPECT_EQ(collection.Count(), 0);
    listener.onProgress = nullptr;

    // A file that cannot be written: the message, and no file.
    const fs::path bad = dir / "missing" / "c.bin";
    EXPECT_EQ(testing::RunPromDump(acq, bad.string()), PromDumpResult::Failed);
    EXPECT_EQ(messenger.shown.back(),
              (std::pair<std::string, std::string>{"Error", "Exception occurred, PROM dump failed"}));
    EXPECT_FALSE(fs::exists(bad));

    // An existing image survives a cancelled dump untouched.
    const fs::path keep = dir / "b.bin";
    const auto before = readFile(keep);
    listener.onProgress = [this](uint32_t next) {
        if (next == 0x9000) acq.cancelPromDump();
    };
    EXPECT_EQ(testing::RunPromDump(acq, keep.string()), PromDumpResult::Cancelled);
    EXPECT_EQ(readFile(keep), before);
}

TEST_F(PromDumpTest, RunsFromTheEventLoopAndStopsWhereItIsCancelled) {
    create();
    acq.setTestMode(true);
    std::vector<PromDumpResult> finished;
    struct : Listener {
        std::vector<PromDumpResult>* finished = nullptr;
        void promDumpFinished(PromDumpResult result) override { finished->push_back(result); }
    } watcher;
    watcher.finished = &finished;
    acq.setListener(&watcher);

    // Started, it has read nothing yet: the steps come from the event loop.
    const fs::path file = dir / "prom.bin";
    ASSERT_TRUE(acq.startPromDump(file.string()));
    EXPECT_TRUE(acq.promDumpRunning());
    EXPECT_EQ(watcher.progress, 0);

    // Cancelled from outside a step half-way: the step under way is the
    // last, nothing is written, the log says so, and the end is told once.
    while (watcher.progress < 256)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    acq.cancelPromDump();
    EXPECT_TRUE(acq.promDumpRunning()); // until its next step
    while (acq.promDumpRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(watcher.progress, 256);
    EXPECT_EQ(acq.promDumpResult(), PromDumpResult::Cancelled);
    EXPECT_EQ(finished, std::vector<PromDumpResult>{PromDumpResult::Cancelled});
    EXPECT_EQ(watcher.errors.back(), "PROM dump cancelled");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(messenger.shown.empty());
    // Nothing more happens afterwards.
    QCoreApplication::processEvents();
    EXPECT_EQ(watcher.progress, 256);
    EXPECT_EQ(finished.size(), 1u);

    // A cancel with no dump running is forgotten: the next one runs through.
    acq.cancelPromDump();
    EXPECT_EQ(testing::RunPromDump(acq, file.string()), PromDumpResult::Written);
    EXPECT_EQ(fs::file_size(file), 32768u);

    // Shutting down ends a running dump at once, as cancelled.
    finished.clear();
    ASSERT_TRUE(acq.startPromDump((dir / "gone.bin").string()));
    QCoreApplication::processEvents();
    acq.shutdown();
    EXPECT_FALSE(acq.promDumpRunning());
    EXPECT_EQ(finished, std::vector<PromDumpResult>{PromDumpResult::Cancelled});
    EXPECT_FALSE(fs::exists(dir / "gone.bin"));
}

TEST_F(PromDumpTest, RetriesFailuresAndCutsTheLastReply) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    create(sim.DevicePath());
    // A busy machine must not turn a late reply into one more failure.
    acq.comms()->SetWaitLimit(250);
    // Address 0x8000 goes unanswered four times before it is read; the
    // reply at 0xFFC0 carries 100 bytes, of which 64 belong to the image.
    for (int i = 0; i < 4; ++i)
        sim.QueueRawReply({});
    const PromImage prom = PromImage::Generated(SimOptions{}.Seed);
    listener.onProgress = [&](uint32_t next) {
        if (next != 0xFFC0) return;
        TBytes data = prom.Read(0xFFC0, 64);
        data.resize(100, 0x5A);
        sim.QueueRawReply(TFrame(2, data).AsBytes());
    };
    const fs::path file = dir / "prom.bin";
    EXPECT_EQ(testing::RunPromDump(acq, file.string()), PromDumpResult::Written);
    EXPECT_TRUE(messenger.shown.empty());
    const auto image = readFile(file);
    ASSERT_EQ(image.size(), 32768u);
    for (uint32_t a = 0x8000; a < 0x10000; ++a)
        ASSERT_EQ(image[a - 0x8000], prom.At(static_cast<uint16_t>(a))) << a;
    // Each failure left the link's line before the address was read.
    const auto firstRead = std::find(listener.errors.begin(), listener.errors.end(), "Reading addr: $8000");
    EXPECT_EQ(std::count(listener.errors.begin(), firstRead, "No reply"), 4);
    const auto lines = dumpLines();
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines[1022], "Reading addr: $FFC0");
    EXPECT_EQ(lines[1023], "Bytes returned: 100");
}

TEST_F(PromDumpTest, FailureLimits) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    create(sim.DevicePath());
    // Five failed transactions for one address abort without a file.
    for (int i = 0; i < 5; ++i)
        sim.QueueRawReply({});
    EXPECT_EQ(testing::RunPromDump(acq, (dir / "a.bin").string()), PromDumpResult::LinkFailed);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0],
              (std::pair<std::string, std::string>{"Aborting", "Five consecutive mode 2 command failures"}));
    EXPECT_FALSE(fs::exists(dir / "a.bin"));
    EXPECT_EQ(sim.RequestCount(), 5u);

    // Five empty replies in a row: "ALDL error"; an empty reply between good
    // ones resets the count (four at 0x8000, then five at 0x8040).
    listener.errors.clear();
    const TBytes empty = TFrame(2, {}).AsBytes();
    for (int i = 0; i < 4; ++i)
        sim.QueueRawReply(empty);
    listener.onProgress = [&](uint32_t next) {
        if (next == 0x8040)
            for (int i = 0; i < 5; ++i)
                sim.QueueRawReply(empty);
    };
    EXPECT_EQ(testing::RunPromDump(acq, (dir / "b.bin").string()), PromDumpResult::NoData);
    EXPECT_EQ(messenger.shown.back(), (std::pair<std::string, std::string>{"Error", "ALDL error"}));
    EXPECT_FALSE(fs::exists(dir / "b.bin"));
    const auto lines = dumpLines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[4], "Reading addr: $8000");
    EXPECT_EQ(lines[5], "Bytes returned: 64");
    EXPECT_EQ(lines[10], "Reading addr: $8040");
}

TEST_F(PromDumpTest, TicksOverThePseudoTerminal) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    create(sim.DevicePath());
    acq.comms()->SetWaitLimit(1000); // no spurious "No reply" on a busy machine
    testing::ManualClock clock;
    acq.setClock([&] { return clock.days; });

    acq.startLogging();
    clock.advanceSeconds(0.2);
    acq.acquisitionTick();
    // The simulator notes what it sent just after sending it.
    TBytes reply;
    for (int i = 0; i < 1000 && reply.empty(); ++i) {
        reply = sim.LastReply();
        if (reply.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(reply.size(), 67u);
    const auto engineSpeed = sim.LastValues().at("Engine speed");
    acq.stopLogging();
    ASSERT_EQ(collection.Count(), 1);
    const TALDLLog* log = collection.ReadLog(0);
    ASSERT_EQ(log->Rows, 1u);
    for (uint32_t c = 1; c <= 63; ++c)
        EXPECT_EQ(log->GetElement(c, 1), reply[c + 2]);
    EXPECT_NEAR(log->TimeStamp(1), 0.2, 1e-6);
    EXPECT_NEAR(acq.parameters()[8].Value, engineSpeed, 25.0); // within one step of 25 RPM
    EXPECT_TRUE(listener.errors.empty());

    // A reply of the wrong length is dropped without a word, but counted.
    EXPECT_EQ(acq.wrongLengthReplies(), 0u);
    sim.QueueRawReply(TFrame(1, TBytes(62, 1)).AsBytes());
    sim.QueueRawReply(TFrame(1, TBytes(64, 1)).AsBytes());
    acq.parameters()[8].Value = -1;
    acq.acquisitionTick();
    acq.acquisitionTick();
    EXPECT_DOUBLE_EQ(acq.parameters()[8].Value, -1);
    EXPECT_TRUE(listener.errors.empty());
    EXPECT_EQ(acq.wrongLengthReplies(), 2u);

    // The far end goes away (adapter unplugged): one line says so, naming
    // the device, not passed over in silence.
    const std::string device = acq.comms()->DevicePath();
    sim.Stop();
    acq.acquisitionTick();
    ASSERT_EQ(listener.errors.size(), 1u);
    EXPECT_EQ(listener.errors[0], "Comm port " + device + " disconnected, retrying (Input/output error)");
}

} // namespace
} // namespace quillmar
