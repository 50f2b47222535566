#pragma once
// quillmar-cli as a user runs it: the built program as a child process with
// its own home, settings, state and temporary folders, and the helpers that
// read its output and files back. QUILLMAR_CLI names the program.

#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/Frame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillmar::clitest {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1; // exit status, or -signal when killed
    std::string out, err;
};

inline std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A running quillmar-cli with its stdout and stderr going to files in dir,
// and its settings, home, journals (dir/state/Quillmar) and temporary files
// there too.
// How a child is started: the program itself, or a bash command line in
// which "$CLI" names it; with SIGHUP ignored, as nohup starts a program;
// headless, as on a box without a display (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM in its environment).
struct Start {
    bool shell = false;
    bool ignoreHangUp = false;
    bool headless = false;
};

class Child {
public:
    Child(const std::vector<std::string>& args, const fs::path& dir, Start start = {})
        : out_(dir / ("out" + std::to_string(++count_))), err_(dir / ("err" + std::to_string(count_))) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> words{QUILLMAR_CLI};
        if (start.shell) words = {"/bin/bash", "-c"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.string(),
                                     "HOME=" + dir.string(),
                                     "TMPDIR=" + dir.string(),
                                     "LC_ALL=C",
                                     "XDG_STATE_HOME=" + (dir / "state").string(),
                                     std::string("CLI=") + QUILLMAR_CLI};
        std::vector<std::string> replaced{
            "XDG_CONFIG_HOME=", "HOME=", "TMPDIR=", "LC_ALL=", "XDG_STATE_HOME="};
        if (start.headless)
            replaced.insert(replaced.end(), {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            bool keep = true;
            for (const std::string& name : replaced)
                keep = keep && v.rfind(name, 0) != 0;
            if (keep) env.push_back(v);
        }
        auto pointers = [](std::vector<std::string>& v) {
            std::vector<char*> p;
            for (auto& w : v)
                p.push_back(w.data());
            p.push_back(nullptr);
            return p;
        };
        auto argv = pointers(words), envp = pointers(env);
        // An ignored signal stays ignored across exec.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = SIG_IGN;
        if (start.ignoreHangUp) ::sigaction(SIGHUP, &ignore, &previous);
        EXPECT_EQ(::posix_spawn(&pid_, words[0].c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        if (start.ignoreHangUp) ::sigaction(SIGHUP, &previous, nullptr);
        posix_spawn_file_actions_destroy(&actions);
    }
    // True while the program runs.
    bool running() {
        int st = 0;
        const pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == 0) return true;
        if (r == pid_) {
            exited_ = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
            pid_ = -1;
        }
        return false;
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
    // Polls (bounded) until stdout holds text count times.
    bool waitForOut(const std::string& text, size_t count = 1) {
        for (int i = 0; i < 2000; ++i) {
            const std::string out = readText(out_);
            size_t found = 0;
            for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + text.size()))
                ++found;
            if (found >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::string outSoFar() const { return readText(out_); }
    void signal(int sig) { ::kill(pid_, sig); }
    CliRun wait() {
        if (pid_ < 0) return {exited_, readText(out_), readText(err_)};
        int st = 0;
        ::waitpid(pid_, &st, 0);
        pid_ = -1;
        return {WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st), readText(out_), readText(err_)};
    }

private:
    static inline int count_ = 0;
    pid_t pid_ = -1;
    int exited_ = -1;
    fs::path out_, err_;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-cli-" + std::to_string(::getpid()) + "-" +
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
    // A bash command line; "$CLI" is the program.
    CliRun shell(const std::string& line) {
        Child c({line}, dir, {.shell = true});
        return c.wait();
    }
    // A log of n rows recorded in test mode; its path.
    std::string recordLog(const std::string& name, int rows = 5) {
        const std::string out = (dir / name).string();
        const CliRun log = run({"log", "--test-mode", "--out", out, "--rows", std::to_string(rows),
                                "--period", "10", "--ini", ini});
        EXPECT_EQ(log.status, 0) << log.err;
        return out;
    }

    fs::path dir;
    std::string ini;
};

// Until the simulator has seen n requests (bounded).
inline void waitForRequests(const SimulatedEcu& sim, uint64_t n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim.RequestCount() < n && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

inline std::vector<std::string> split(const std::string& text, const std::string& by) {
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

inline std::vector<uint8_t> fromHex(const std::string& line) {
    std::vector<uint8_t> out;
    std::istringstream in(line);
    std::string pair;
    while (in >> pair)
        out.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    return out;
}

// The table text's data cells, row by row, without the two heading lines.
inline std::vector<std::vector<std::string>> tableRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    auto lines = split(text, "\r\n");
    EXPECT_EQ(lines.back(), ""); // the last line ends in CR LF too
    lines.pop_back();
    for (size_t i = 2; i < lines.size(); ++i) {
        auto cells = split(lines[i], "\t");
        EXPECT_EQ(cells.back(), ""); // every cell is followed by a tab
        cells.pop_back();
        rows.push_back(cells);
    }
    return rows;
}

// Every table row equals the decoded bytes of a reply the simulator sent, in
// the order sent. Returns the number of rows matched.
inline size_t matchRowsToRecord(const std::string& tableText, const fs::path& record) {
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

} // namespace quillmar::clitest
