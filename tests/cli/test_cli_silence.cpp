// quillmar-cli against a simulated engine computer that goes silent for a
// while behind a live adapter (it echoes, nothing answers): watch prints the
// line in place of the table, stderr says "No reply" once and then counts,
// and log's summary counts the silent spans and their seconds. These run in
// real time, as a user's program does.

#include "CliTestSupport.h"

#include <cstdlib>
#include <regex>

using namespace quillmar;
using namespace clitest;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines = split(text, "\n");
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

size_t countLines(const std::vector<std::string>& lines, const std::regex& pattern) {
    size_t n = 0;
    for (const std::string& line : lines)
        n += std::regex_match(line, pattern);
    return n;
}

} // namespace

TEST_F(CliTest, LogSaysNoReplyOnceThenCountsAndSumsUpTheSilence) {
    SimOptions options;
    options.SilentAfterSeconds = 0.6;
    options.SilentForSeconds = 1.6;
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const CliRun log = run({"log", "--port", sim.DevicePath(), "--out", (dir / "quiet.ecu").string(),
                            "--seconds", "3.5", "--period", "50", "--ini", ini});
    ASSERT_EQ(log.status, 0) << log.err;

    // One span, from the last reply before it to the first after it.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log.out, m, std::regex("\nSilent: 1 span, ([0-9]+\\.[0-9]) s\n")))
        << log.out;
    const double seconds = std::stod(m[1]);
    EXPECT_GE(seconds, 1.5) << log.out;
    EXPECT_LE(seconds, 2.5) << log.out;

    // stderr: the line once (or twice, should a busy machine miss a reply
    // outside the silence), then counts, not a line a poll.
    const std::vector<std::string> err = linesOf(log.err);
    const size_t plain = countLines(err, std::regex("No reply"));
    const size_t counts =
        countLines(err, std::regex("No reply \\([0-9]+ more( in the last (second|[0-9.]+ s))?\\)"));
    EXPECT_GE(plain, 1u) << log.err;
    EXPECT_LE(plain, 2u) << log.err;
    EXPECT_GE(counts, 1u) << log.err;
    EXPECT_LE(plain + counts, 6u) << log.err;
    EXPECT_NE(log.err.find("No answer from the engine computer. Check that the ignition is on"),
              std::string::npos)
        << log.err;
    EXPECT_NE(log.err.find("\nThe engine computer answers again\n"), std::string::npos) << log.err;

    // The summary's error count holds every failed poll, the ones counted too.
    ASSERT_TRUE(std::regex_search(log.out, m, std::regex("\nErrors: ([0-9]+)\n"))) << log.out;
    EXPECT_GE(std::stoul(m[1]), 8u) << log.out; // 1.6 s of polls, at most one each 150 ms
    // Logging went on through it and after it.
    ASSERT_TRUE(std::regex_search(log.out, m, std::regex("Rows: ([0-9]+)\n"))) << log.out;
    EXPECT_GE(std::stoul(m[1]), 10u) << log.out;
}

TEST_F(CliTest, WatchPrintsTheNoAnswerLineInPlaceOfTheTableWhileTheSilenceLasts) {
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    sim.SetSilent(true);
    Child watch({"watch", "--port", sim.DevicePath(), "--period", "50", "--update", "200", "--ini", ini},
                dir);
    // A line each update period while it lasts, the table nowhere after the first.
    const std::string line = "No answer from the engine computer\n";
    ASSERT_TRUE(watch.waitForOut(line, 3)) << watch.outSoFar();
    const std::string silent = watch.outSoFar();
    EXPECT_EQ(silent.find("Prom id: ", silent.find(line)), std::string::npos) << silent;

    // Answering again: the table comes back.
    sim.SetSilent(false);
    const size_t tablesBefore = split(silent, "Prom id: ").size() - 1;
    ASSERT_TRUE(watch.waitForOut("Prom id: ", tablesBefore + 1)) << watch.outSoFar();
    watch.signal(SIGINT);
    const CliRun done = watch.wait();
    EXPECT_EQ(done.status, 0) << done.err;
    const std::string after = done.out.substr(done.out.rfind(line) + line.size());
    EXPECT_NE(after.find("Prom id: "), std::string::npos) << done.out;

    // stderr: "No reply" once, then counts; what to check; the end of it.
    const std::vector<std::string> err = linesOf(done.err);
    EXPECT_EQ(countLines(err, std::regex("No reply")), 1u) << done.err;
    EXPECT_NE(
        done.err.find("No answer from the engine computer. Check that the ignition is on, that the cable is "
                      "plugged in at both ends, and that --port names the adapter's port"),
        std::string::npos)
        << done.err;
    EXPECT_NE(done.err.find("\nThe engine computer answers again\n"), std::string::npos) << done.err;
}
