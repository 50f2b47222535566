// quillmar-cli as a user runs it: the built program against the simulated
// engine computer on a pseudo-terminal, its files read back, and its exit
// statuses.

#include "acquisition/Parameters.h"
#include "sim/SimulatedEcu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillmar {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;      // exit status, or -signal when killed
    std::string out, err;
};

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A running quillmar-cli with its stdout and stderr going to files in dir,
// and its settings, home and temporary files there too.
class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& dir)
        : out_(dir / ("out" + std::to_string(++count_))), err_(dir / ("err" + std::to_string(count_))) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> words{QUILLMAR_CLI};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.string(), "HOME=" + dir.string(),
                                     "TMPDIR=" + dir.string(), "LC_ALL=C"};
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("XDG_CONFIG_HOME=", 0) && v.rfind("HOME=", 0) && v.rfind("TMPDIR=", 0) &&
                v.rfind("LC_ALL=", 0))
                env.push_back(v);
        }
        auto pointers = [](std::vector<std::string>& v) {
            std::vector<char*> p;
            for (auto& w : v) p.push_back(w.data());
            p.push_back(nullptr);
            return p;
        };
        auto argv = pointers(words), envp = pointers(env);
        EXPECT_EQ(::posix_spawn(&pid_, QUILLMAR_CLI, &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ > 0) wait();
    }
    // Polls (bounded) until stderr holds text.
    bool waitForErr(const std::string& text) {
        for (int i = 0; i < 2000; ++i) {
            if (readText(err_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    void signal(int sig) { ::kill(pid_, sig); }
    CliRun wait() {
        int st = 0;
        ::waitpid(pid_, &st, 0);
        pid_ = -1;
        return {WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st), readText(out_), readText(err_)};
    }

private:
    static inline int count_ = 0;
    pid_t pid_ = -1;
    fs::path out_, err_;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quillmar-cli-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ini = (dir / "protocol.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    CliRun run(const std::vector<std::string>& args) {
        Child c(args, dir);
        return c.wait();
    }

    fs::path dir;
    std::string ini;
};

std::vector<std::string> split(const std::string& text, const std::string& by) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(by, start);
        if (at == std::string::npos) {
            out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, at - start));
        start = at + by.size();
    }
}

std::vector<uint8_t> fromHex(const std::string& line) {
    std::vector<uint8_t> out;
    std::istringstream in(line);
    std::string pair;
    while (in >> pair) out.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return out;
}

// The table text's data cells, row by row, without the two heading lines.
std::vector<std::vector<std::string>> tableRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    auto lines = split(text, "\r\n");
    EXPECT_EQ(lines.back(), "");  // the last line ends in CR LF too
    lines.pop_back();
    for (size_t i = 2; i < lines.size(); ++i) {
        auto cells = split(lines[i], "\t");
        EXPECT_EQ(cells.back(), "");  // every cell is followed by a tab
        cells.pop_back();
        rows.push_back(cells);
    }
    return rows;
}

// Every table row equals the decoded bytes of a reply the simulator sent, in
// the order sent. Returns the number of rows matched.
size_t matchRowsToRecord(const std::string& tableText, const fs::path& record) {
    const TParameterArray& table = BuiltInParameters();
    std::vector<std::vector<uint8_t>> replies;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
        auto frame = fromHex(line);
        if (frame.size() == 67 && frame[2] == 1) replies.emplace_back(frame.begin() + 3, frame.end() - 1);
    }
    const auto rows = tableRows(tableText);
    size_t next = 0;
    double lastTime = -1;
    for (const auto& cells : rows) {
        EXPECT_EQ(cells.size(), table.size()); // time + every entry but the last
        const double t = std::stod(cells[0]);
        EXPECT_GT(t, lastTime);
        lastTime = t;
        bool found = false;
        for (; next < replies.size() && !found; ++next) {
            found = true;
            for (size_t k = 1; k < table.size() && found; ++k) {
                const TParameter& p = table[k - 1];
                if (p.Size == 0) continue;
                const std::string want = FormatGeneral(
                    static_cast<double>(DecodeValue(p, replies[next].data(), replies[next].size())));
                found = cells[k] == want;
            }
        }
        EXPECT_TRUE(found) << "row with time " << cells[0] << " is not among the replies sent";
    }
    return rows.size();
}

TEST_F(CliTest, LogsFromTheSimulatorAndReadsTheFileBack) {
    SimOptions options;
    options.RecordPath = (dir / "record.txt").string();
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const std::string out = (dir / "run.ecu").string();

    // The port by name: COM7 points at the simulator in the user's settings.
    fs::create_directories(dir / "Quillmar");
    std::ofstream(dir / "Quillmar" / "Quillmar.ini")
        << "[Software]\nQuillmar\\Ports\\COM7=" << sim.DevicePath() << "\n";

    const CliRun log = run({"log", "--port", "COM7", "--out", out, "--rows", "5", "--period", "40",
                         "--ini", ini, "--comment", "Warm-up 20°C"});
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_NE(log.out.find("Rows: 5\n"), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("Errors: "), std::string::npos) << log.out;
    EXPECT_TRUE(fs::exists(ini)); // the built-in table was written on first start

    const CliRun table = run({"table", out, "--ini", ini});
    ASSERT_EQ(table.status, 0) << table.err;
    const auto lines = split(table.out, "\r\n");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Time\tProm id\tFaults\xC2\xA6VSS\xC2\xA6", 0), 0u);
    EXPECT_EQ(lines[1].rfind("s\t\t\ts\ts\tmiles\tV\t%\t\tRPM\t", 0), 0u);
    EXPECT_EQ(matchRowsToRecord(table.out, dir / "record.txt"), 5u);

    const CliRun info = run({"info", out, "--ini", ini});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Rows: 5\n"), std::string::npos);
    EXPECT_NE(info.out.find("Columns: 71\n"), std::string::npos);
    EXPECT_NE(info.out.find("Comment: Warm-up 20°C\n"), std::string::npos) << info.out;
    EXPECT_TRUE(info.err.empty()) << info.err;

    // A file cut short loads what is complete, with a warning.
    const auto size = fs::file_size(out);
    fs::copy_file(out, dir / "cut.ecu");
    fs::resize_file(dir / "cut.ecu", size - 100);
    const CliRun cut = run({"info", (dir / "cut.ecu").string(), "--ini", ini});
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.out.find("Rows: 3\n"), std::string::npos) << cut.out;
    EXPECT_NE(cut.err.find("Warning: "), std::string::npos);
    EXPECT_NE(cut.err.find("cut.ecu"), std::string::npos) << cut.err;
}

TEST_F(CliTest, InterruptStopsAndSavesEvenWhenRepeated) {
    SimOptions options;
    options.RecordPath = (dir / "record.txt").string();
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const std::string out = (dir / "run.ecu").string();
    Child child({"log", "--port", sim.DevicePath(), "--out", out, "--period", "20", "--ini", ini}, dir);
    ASSERT_TRUE(child.waitForErr("Logging to"));
    // Let a few replies through, then Ctrl-C twice in quick succession.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim.RequestCount() < 4 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    child.signal(SIGINT);
    child.signal(SIGINT);
    const CliRun log = child.wait();
    ASSERT_EQ(log.status, 0) << log.err;
    EXPECT_NE(log.out.find("Saved: " + out), std::string::npos);

    const CliRun table = run({"table", out, "--ini", ini});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_GE(matchRowsToRecord(table.out, dir / "record.txt"), 1u);
}

TEST_F(CliTest, DumpsTheProm) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const std::string image = (dir / "prom.bin").string();
    const CliRun dump = run({"dump-prom", "--port", sim.DevicePath(), "--out", image, "--ini", ini});
    ASSERT_EQ(dump.status, 0) << dump.err;
    EXPECT_EQ(fs::file_size(image), 32768u);
    EXPECT_EQ(dump.err.rfind("Reading addr: $8000\nBytes returned: 64\n", 0), 0u);
    EXPECT_NE(dump.err.find("Reading addr: $FFC0\nBytes returned: 64\n"), std::string::npos);
}

TEST_F(CliTest, ExitStatusesSayWhatWasWrong) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    std::ofstream(dir / "bad.ini") << "[Parameter 1]\r\nName=Only\r\nPosition=1\r\nSize=1\r\n";
    std::ofstream(dir / "junk.ecu") << "not a log file at all";
    const std::string missing = (dir / "missing.ecu").string();
    const std::vector<Case> cases = {
        {{}, 2, "Usage"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"log", "--test-mode"}, 2, "--out"},
        {{"log", "--port", "COM21", "--out", "x.ecu"}, 2, "COM21"},
        {{"log", "--test-mode", "--out", "x.ecu", "--period", "0"}, 2, "--period"},
        {{"log", "--port", (dir / "no-such-tty").string(), "--out", "x.ecu", "--ini", ini}, 1, "no-such-tty"},
        {{"table", missing, "--ini", ini}, 2, "missing.ecu"},
        {{"info", (dir / "junk.ecu").string(), "--ini", ini}, 2, "junk.ecu"},
        {{"log", "--test-mode", "--out", "x.ecu", "--ini", (dir / "bad.ini").string()}, 2,
         "error: Total parameters byte length incorrect"},
        {{"dump-prom", "--test-mode", "--out", (dir / "no" / "p.bin").string(), "--ini", ini}, 1,
         "Error: Exception occurred, PROM dump failed"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << line << "\n" << r.err;
    }
    // A recording whose file cannot be written is not lost.
    fs::create_directories(dir / "taken.ecu");
    const CliRun rescued = run({"log", "--test-mode", "--rows", "2", "--period", "10", "--out",
                                (dir / "taken.ecu").string(), "--ini", ini});
    EXPECT_EQ(rescued.status, 1) << rescued.err;
    EXPECT_NE(rescued.err.find("taken.ecu"), std::string::npos) << rescued.err;
    EXPECT_NE(rescued.err.find("the recording was saved to " + dir.string() + "/quillmar-recording-"),
              std::string::npos) << rescued.err;

    for (const char* command : {"log", "watch", "table", "info", "dump-prom", "create-ini"}) {
        const CliRun r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: quillmar-cli ") + command, 0), 0u) << r.out;
    }
}

} // namespace
} // namespace quillmar
