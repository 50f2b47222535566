// Replaying a recorded log: the simulated engine computer answers mode 1 with
// the log's rows, byte for byte, at their recorded pace, looping at the end.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/dataset/ALDLLog.h"
#include "tests/sim/EcuSimChild.h"

using namespace quillmar;
using quillmar::test::Child;

namespace {

namespace fs = std::filesystem;

// The data bytes of row r (1-based) of the test logs: different in every row.
TBytes rowBytes(uint32_t r) {
    TBytes b(63);
    for (size_t k = 0; k < b.size(); ++k)
        b[k] = uint8_t(r * 37 + k * 11);
    return b;
}

// A log of rows recorded every period seconds from start on, each stamp off
// by its share of jitter (seconds, repeating).
std::string writeLog(const std::string& name, uint32_t rows, double period, double start = 0.2,
                     const std::vector<double>& jitter = {0}) {
    TALDLLog log(std::make_shared<const TParameterArray>(BuiltInParameters()));
    log.SetRows(rows);
    for (uint32_t r = 1; r <= rows; ++r)
        log.WriteRow(r, rowBytes(r).data(), start + (r - 1) * period + jitter[(r - 1) % jitter.size()]);
    const std::string path = ::testing::TempDir() + name;
    log.SaveToFile(path);
    return path;
}

// The rows the next n mode 1 replies carry (1-based; 0 for a reply no row has).
std::vector<uint32_t> replayedRows(TALDLComms& comms, uint32_t logRows, int n) {
    std::vector<uint32_t> rows;
    for (int i = 0; i < n; ++i) {
        TBytes reply;
        if (!comms.Request(1, reply)) {
            rows.push_back(0);
            continue;
        }
        uint32_t found = 0;
        for (uint32_t r = 1; r <= logRows && !found; ++r)
            if (reply == rowBytes(r)) found = r;
        rows.push_back(found);
    }
    return rows;
}

// Starts the in-process simulator and connects comms to it.
::testing::AssertionResult connect(SimulatedEcu& sim, TALDLComms& comms, std::vector<std::string>& errors) {
    if (!sim.Start()) return ::testing::AssertionFailure() << sim.Error();
    comms.ErrorLog = &errors;
    if (!comms.ConnectDevice(sim.DevicePath())) return ::testing::AssertionFailure() << comms.LastErrorText;
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Replay, TheProgramPlaysALogBackByteForByteAndLoops) {
    // Recorded at 200 ms, played with the default step of 0.2 s: row by row.
    const std::string log = writeLog("quillmar_replay_200ms.ecu", 5, 0.2);
    Child sim({"--replay", log});
    ASSERT_GT(sim.pid, 0);
    const std::string device = sim.firstLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << sim.errText();

    TALDLComms comms;
    std::vector<std::string> errors;
    comms.ErrorLog = &errors;
    ASSERT_TRUE(comms.ConnectDevice(device)) << comms.LastErrorText;
    EXPECT_EQ(replayedRows(comms, 5, 12), (std::vector<uint32_t>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2}));
    // Message-number requests are mode 1 too.
    TBytes reply;
    ASSERT_TRUE(comms.Transact(1, {0}, reply));
    EXPECT_EQ(reply, rowBytes(3));
    comms.ClosePort();
    EXPECT_EQ(sim.finish(SIGTERM), 0);
    std::remove(log.c_str());
}

TEST(Replay, ARecordingsJitterDoesNotRepeatRows) {
    // Stamps a few milliseconds late or early, as a timer leaves them.
    const std::string log = writeLog("quillmar_replay_jitter.ecu", 6, 0.2, 0.2, {0.011, 0.038, -0.02, 0.004});
    SimOptions options;
    options.ReplayPath = log;
    SimulatedEcu sim(options);
    TALDLComms comms;
    std::vector<std::string> errors;
    ASSERT_TRUE(connect(sim, comms, errors));
    EXPECT_EQ(replayedRows(comms, 6, 8), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 1, 2}));
    std::remove(log.c_str());
}

TEST(Replay, TheReplayClockRunsOnModelTime) {
    // A log recorded at 200 ms and played with a step of 0.1 s sends every row
    // twice (the clock reads half a row ahead); at 0.4 s every other row.
    const std::string log = writeLog("quillmar_replay_pace.ecu", 4, 0.2, 12.5);
    for (const auto& [step, expected] : std::vector<std::pair<double, std::vector<uint32_t>>>{
             {0.1, {1, 2, 2, 3, 3, 4, 4, 1, 1, 2}}, {0.4, {1, 3, 1, 3, 1}}}) {
        SimOptions options;
        options.ReplayPath = log;
        options.StepSeconds = step;
        SimulatedEcu sim(options);
        TALDLComms comms;
        std::vector<std::string> errors;
        ASSERT_TRUE(connect(sim, comms, errors));
        EXPECT_EQ(replayedRows(comms, 4, int(expected.size())), expected) << "step " << step;

        // The values reported are those of the row sent (a name the table
        // gives twice reports its last entry).
        const TBytes last = rowBytes(expected.back());
        std::map<std::string, double> decoded;
        for (const TParameter& p : BuiltInParameters())
            if (p.Size > 0) decoded[DisplayName(p)] = double(DecodeValue(p, last.data(), last.size()));
        EXPECT_EQ(sim.LastValues(), decoded);
    }
    std::remove(log.c_str());
}

TEST(Replay, LogsThatCannotBePlayedAreRefused) {
    const std::string dir = ::testing::TempDir() + "quillmar_replay_refused";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir + "/junk.ecu") << "not a log file at all";
    std::ofstream(dir + "/empty.ecu");
    TNumber2DArrayStore series;
    series.Make2D(2, 3, 8);
    series.SaveToFile(dir + "/series.ecu");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir + "/missing.ecu", "missing.ecu"},
        {dir + "/junk.ecu", "junk.ecu"},
        {dir + "/empty.ecu", "holds no rows"},
        {dir + "/series.ecu", "not a log file"},
    };
    for (const auto& [file, says] : cases) {
        Child sim({"--replay", file});
        EXPECT_TRUE(sim.firstLine().empty()) << file;
        const std::string err = sim.errText();
        EXPECT_EQ(sim.finish(0), 2) << file;
        EXPECT_NE(err.find(says), std::string::npos) << err;
    }
    fs::remove_all(dir);
}
