// quillmar-cli watch on a terminal redraws in place; into a pipe it prints
// one table after the other, as plain text. An engine computer that says
// nothing is one line in place of the table.

#include "acquisition/demo/SimulatedEcu.h"
#include "cli/CliTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace quillmar;

namespace {

size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size()))
        ++n;
    return n;
}

struct Child {
    pid_t pid = -1;
    int fd = -1; // the pty's master or the pipe's reading end
    std::string output;
    int status = -1;

    // Reads until `enough` holds for the output or the time runs out.
    template <class Enough> void readUntil(Enough enough, std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!enough(output) && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break; // EIO on a pty once the child has gone
            output.append(buffer, static_cast<size_t>(n));
        }
    }
    // Ctrl-C, then everything it writes until it ends.
    void interrupt() {
        ::kill(pid, SIGINT);
        readUntil([](const std::string&) { return false; }, std::chrono::seconds(10));
        ::waitpid(pid, &status, 0);
        ::close(fd);
    }
};

std::vector<const char*> watchArgs() {
    return {QUILLMAR_CLI, "watch", "--test-mode", "--period", "50", "--update", "200", nullptr};
}

void childEnvironment(const std::string& config) {
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_STATE_HOME", config.c_str(), 1);
    ::setenv("TERM", "xterm", 1);
}

std::string scratchFolder() {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillmar-watch-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

} // namespace

TEST(WatchTerminal, FramesFitTheWindowInColumns) {
    std::vector<std::string> lines;
    for (int i = 0; i < 30; ++i)
        lines.push_back("Parameter " + std::to_string(i) +
                        ": 1.0 \xC2\xB0"
                        "C");
    // Wide enough for three columns of 21 characters, tall enough for all.
    auto frame = LayOutFrame("title", lines, 70, 20);
    ASSERT_EQ(frame.size(), 11u); // the title and ten rows
    EXPECT_EQ(frame[0], "title");
    EXPECT_EQ(frame[1].rfind("Parameter 0: 1.0 \xC2\xB0"
                             "C",
                             0),
              0u);
    // The degree sign counts as one character: the columns stay aligned.
    EXPECT_EQ(frame[1].find("Parameter 10:"), 23u);
    EXPECT_EQ(frame[1].find("Parameter 20:"), 46u);

    // Too short a window: cut to its height, and the last place says so.
    frame = LayOutFrame("title", lines, 32, 8);
    ASSERT_EQ(frame.size(), 7u); // one line stays free for the cursor
    EXPECT_EQ(frame.back(), "... 25 more: enlarge the window");
    for (const std::string& line : frame)
        EXPECT_LE(line.size(), 33u) << line; // 32 characters, one of 2 bytes
}

TEST(WatchTerminal, RedrawsInPlaceOnATerminalAndGivesItBackOnCtrlC) {
    const std::string config = scratchFolder();
    Child child;
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 30;
    child.pid = ::forkpty(&child.fd, nullptr, nullptr, &size);
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        childEnvironment(config);
        auto args = watchArgs();
        ::execv(args[0], const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    child.readUntil([](const std::string& out) { return count(out, TerminalCodes::Home) >= 3; },
                    std::chrono::seconds(20));
    child.interrupt();
    std::filesystem::remove_all(config);
    const std::string& out = child.output;

    ASSERT_TRUE(WIFEXITED(child.status)) << out;
    EXPECT_EQ(WEXITSTATUS(child.status), 0) << out;
    ASSERT_GE(count(out, TerminalCodes::Home), 3u) << out;
    EXPECT_EQ(count(out, TerminalCodes::Enter), 1u);
    // Every frame starts at home and clears what the one before left below it.
    EXPECT_EQ(count(out, TerminalCodes::ClearScreenEnd), count(out, TerminalCodes::Home));
    EXPECT_NE(out.find("Engine speed:"), std::string::npos);
    // The terminal is given back after the last frame.
    const size_t leave = out.rfind(TerminalCodes::Leave);
    ASSERT_NE(leave, std::string::npos) << out;
    EXPECT_GT(leave, out.rfind(TerminalCodes::ClearScreenEnd));
    // No frame is taller than the window, so the home position stays put.
    for (size_t at = out.find(TerminalCodes::Home); at != std::string::npos;
         at = out.find(TerminalCodes::Home, at + 1)) {
        const size_t end = out.find(TerminalCodes::ClearScreenEnd, at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LT(count(out.substr(at, end - at), "\n"), 30u);
    }
}

TEST(WatchTerminal, PrintsPlainTablesIntoAPipe) {
    const std::string config = scratchFolder();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    Child child;
    child.pid = ::fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        childEnvironment(config);
        auto args = watchArgs();
        ::execv(args[0], const_cast<char* const*>(args.data()));
        ::_exit(127);
    }
    ::close(fds[1]);
    child.fd = fds[0];
    child.readUntil([](const std::string& out) { return count(out, "Engine speed:") >= 2; },
                    std::chrono::seconds(20));
    child.interrupt();
    std::filesystem::remove_all(config);
    const std::string& out = child.output;

    ASSERT_TRUE(WIFEXITED(child.status));
    EXPECT_EQ(WEXITSTATUS(child.status), 0);
    EXPECT_GE(count(out, "Engine speed:"), 2u) << out;
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << "escape sequences in a pipe";
    // One line per parameter, each table ended by a blank line.
    EXPECT_NE(out.find("\n\n"), std::string::npos);
    EXPECT_EQ(out.rfind("\n\n"), out.size() - 2);
}

TEST(WatchTerminal, ASilentEngineComputerIsOneLineInPlaceOfTheTable) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    sim.SetSilent(true);
    const std::string config = scratchFolder();
    Child child;
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 30;
    child.pid = ::forkpty(&child.fd, nullptr, nullptr, &size);
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
        childEnvironment(config);
        const char* args[] = {QUILLMAR_CLI, "watch", "--port", sim.DevicePath().c_str(), "--period", "50",
                              "--update",   "200",   nullptr};
        ::execv(args[0], const_cast<char* const*>(args));
        ::_exit(127);
    }
    const std::string line = "No answer from the engine computer";
    child.readUntil(
        [&](const std::string& out) { return count(out, line + TerminalCodes::ClearLineEnd) >= 2; },
        std::chrono::seconds(20));
    child.interrupt();
    std::filesystem::remove_all(config);
    const std::string& out = child.output;
    ASSERT_GE(count(out, line + TerminalCodes::ClearLineEnd), 2u) << out;

    // The frame holds the title and that line, no table; what to check and
    // the first "No reply" stay under it.
    const size_t at = out.rfind(line + TerminalCodes::ClearLineEnd);
    const size_t home = out.rfind(TerminalCodes::Home, at);
    const size_t end = out.find(TerminalCodes::ClearScreenEnd, at);
    ASSERT_NE(home, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string frame = out.substr(home, end - home);
    EXPECT_EQ(frame.find("Engine speed:"), std::string::npos) << frame;
    EXPECT_NE(frame.find("No reply"), std::string::npos) << frame;
    EXPECT_NE(frame.find(line + ". Check that the ignition is on"), std::string::npos) << frame;
}
