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

#include "acquisition/Parameters.h"
#include "link/ALDLComms.h"
#include "sim/SimulatedEcu.h"
#include "store/ALDLLog.h"

using namespace quillmar;

extern char** environ;

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

// quillmar-ecusim as a child, its first output line read back.
struct Program {
    pid_t pid = -1;
    int out = -1, err = -1;
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), QUILLMAR_ECUSIM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int o[2], e[2];
        if (pipe(o) != 0 || pipe(e) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, o[1], 1);
        posix_spawn_file_actions_adddup2(&actions, e[1], 2);
        posix_spawn_file_actions_addclose(&actions, o[0]);
        posix_spawn_file_actions_addclose(&actions, e[0]);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(o[1]);
        ::close(e[1]);
        out = o[0];
        err = e[0];
    }
    ~Program() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        ::close(out);
        ::close(err);
    }
    std::string firstLine() const {
        std::string line;
        char c;
        while (::read(out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    std::string errText() const {
        std::string text;
        char buffer[256];
        for (ssize_t n; (n = ::read(err, buffer, sizeof buffer)) > 0;)
            text.append(buffer, size_t(n));
        return text;
    }
    int finish(int signal) {
        if (signal) kill(pid, signal);
        int status = -1;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

} // namespace

TEST(Replay, TheProgramPlaysALogBackByteForByteAndLoops) {
    // Recorded at 200 ms, played with the default step of 0.2 s: row by row.
    const std::string log = writeLog("quillmar_replay_200ms.ecu", 5, 0.2);
    Program sim({"--replay", log});
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
    ASSERT_TRUE(sim.Start()) << sim.Error();
    TALDLComms comms;
    std::vector<std::string> errors;
    comms.ErrorLog = &errors;
    ASSERT_TRUE(comms.ConnectDevice(sim.DevicePath())) << comms.LastErrorText;
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
        ASSERT_TRUE(sim.Start()) << sim.Error();
        TALDLComms comms;
        std::vector<std::string> errors;
        comms.ErrorLog = &errors;
        ASSERT_TRUE(comms.ConnectDevice(sim.DevicePath())) << comms.LastErrorText;
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
        Program sim({"--replay", file});
        EXPECT_TRUE(sim.firstLine().empty()) << file;
        const std::string err = sim.errText();
        EXPECT_EQ(sim.finish(0), 2) << file;
        EXPECT_NE(err.find(says), std::string::npos) << err;
    }
    fs::remove_all(dir);
}
