// quillmar-cli as a user runs it: the built program against the simulated
// engine computer on a pseudo-terminal, its files read back, and its exit
// statuses.

#include "CliTestSupport.h"

namespace quillmar {
namespace {

using namespace clitest;

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

    const CliRun log = run({"log", "--port", "COM7", "--out", out, "--rows", "5", "--period", "40", "--ini",
                            ini, "--comment", "Warm-up 20°C"});
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

    // Bookmarks beside the log follow the other lines; a line that is not
    // one is said on stderr with the file and its line.
    std::ofstream(out + ".bookmarks") << "0.120\t1\tLaunch\n2.500\t2\t\nrubbish\n3.000\t3\tShift 2\xC2\xBD\n";
    const CliRun marked = run({"info", out, "--ini", ini});
    ASSERT_EQ(marked.status, 0) << marked.err;
    const size_t comment = marked.out.find("Comment: ");
    ASSERT_NE(comment, std::string::npos);
    EXPECT_EQ(
        marked.out.substr(marked.out.find('\n', comment) + 1),
        "Bookmark 1 at 0.120 s: Launch\nBookmark 2 at 2.500 s\nBookmark 3 at 3.000 s: Shift 2\xC2\xBD\n");
    EXPECT_EQ(marked.err,
              "Warning: " + out + ".bookmarks line 3: not a bookmark (time, tab, number, tab, note)\n");
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
        {{"log", "--test-mode", "--out", "x.ecu", "--ini", (dir / "bad.ini").string()},
         2,
         "error: Total parameters byte length incorrect"},
        {{"dump-prom", "--test-mode", "--out", (dir / "no" / "p.bin").string(), "--ini", ini},
         1,
         "Error: Exception occurred, PROM dump failed"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        EXPECT_EQ(r.status, c.status) << line << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << line << "\n" << r.err;
    }
    // A recording whose file cannot be written is not lost: its folder goes
    // away while it records.
    fs::create_directories(dir / "gone");
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Child recording({"log", "--port", sim.DevicePath(), "--period", "10", "--out",
                     (dir / "gone" / "taken.ecu").string(), "--ini", ini},
                    dir);
    ASSERT_TRUE(recording.waitForErr("Logging to"));
    waitForRequests(sim, 3);
    fs::remove_all(dir / "gone");
    recording.signal(SIGINT);
    const CliRun rescued = recording.wait();
    EXPECT_EQ(rescued.status, 1) << rescued.err;
    EXPECT_NE(rescued.err.find("taken.ecu"), std::string::npos) << rescued.err;
    EXPECT_NE(rescued.err.find("the recording was saved to " + dir.string() + "/quillmar-recording-"),
              std::string::npos)
        << rescued.err;

    for (const char* command : {"log", "watch", "table", "info", "dump-prom", "create-ini"}) {
        const CliRun r = run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: quillmar-cli ") + command, 0), 0u) << r.out;
    }
}

TEST_F(CliTest, OutputsThatAreNotRegularFilesAreRefused) {
    const std::string fifo = (dir / "fifo.ecu").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string toNull = (dir / "null.bin").string();
    fs::create_symlink("/dev/null", toNull);
    const std::string folder = (dir / "folder.ini").string();
    fs::create_directories(folder);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"log", "--test-mode", "--out", fifo, "--rows", "2", "--ini", ini},
         fifo + ": it is a FIFO (named pipe), not a regular file"},
        {{"dump-prom", "--test-mode", "--out", toNull, "--ini", ini},
         toNull + ": it points to /dev/null, a character device, not a regular file"},
        {{"create-ini", "--ini", folder}, folder + ": it is a folder, not a regular file"},
    };
    for (const auto& [args, says] : cases) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[0] << "\n" << r.err;
        EXPECT_NE(r.err.find("Cannot write file " + says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Logging to"), std::string::npos) << r.err; // refused before recording
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_symlink(toNull));

    // A link to a file not made yet gets its target made.
    const std::string link = (dir / "link.ecu").string();
    fs::create_symlink("made.ecu", link);
    const CliRun log =
        run({"log", "--test-mode", "--out", link, "--rows", "2", "--period", "10", "--ini", ini});
    EXPECT_EQ(log.status, 0) << log.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_regular_file(dir / "made.ecu"));

    // A link into a folder that does not exist is refused before recording,
    // naming the folder it leads to.
    const std::string dangling = (dir / "dangling.ecu").string();
    fs::create_symlink("gone/run.ecu", dangling);
    const CliRun refused =
        run({"log", "--test-mode", "--out", dangling, "--rows", "2", "--period", "10", "--ini", ini});
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("cannot write into folder " + (dir / "gone").string() + " (where " + dangling +
                               " points): No such file or directory"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("Logging to"), std::string::npos) << refused.err;
}

TEST_F(CliTest, InputsOfEveryKindNeitherHangNorCrash) {
    const std::string log = recordLog("run.ecu");
    // Piped logs are read to their end.
    CliRun piped = shell("cat '" + log + "' | \"$CLI\" table /dev/stdin --ini '" + ini + "'");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(tableRows(piped.out).size(), 5u);
    piped = shell("\"$CLI\" info <(cat '" + log + "') --ini '" + ini + "'");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(piped.out.find("Rows: 5\n"), std::string::npos) << piped.out;

    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"info", log, "--ini", "/dev/zero"}, "/dev/zero"},
        {{"info", "/dev/zero", "--ini", ini}, "/dev/zero"},
        {{"info", dir.string(), "--ini", ini}, "it is a folder"},
        {{"table", log, "--ini", dir.string()}, "it is a folder"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args[1] << " " << c.args[3] << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
    }
    // A FIFO nobody writes to is an empty input, not a hang.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", fifo, "--ini", ini}, {"info", log, "--ini", fifo}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(fs::is_fifo(fifo)); // and nothing was written over it
}

TEST_F(CliTest, ReadingCommandsCreateNoProtocolFile) {
    const std::string log = recordLog("run.ecu");
    const std::string mistyped = (dir / "nonexistent" / "dir" / "x.ini").string();
    for (const char* command : {"table", "info"}) {
        const CliRun r = run({command, log, "--ini", mistyped});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("Warning: the protocol file " + mistyped +
                             " does not exist; using the built-in table"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "nonexistent"));
    // Without --ini and without the default file: the built-in table, quietly,
    // and still nothing made.
    fs::remove_all(dir / "Quillmar");
    const CliRun quiet = run({"info", log});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    EXPECT_FALSE(fs::exists(dir / "Quillmar"));
    // create-ini says once that a file is no protocol file, and leaves it.
    const CliRun proc = run({"create-ini", "--ini", "/proc/version"});
    EXPECT_EQ(proc.status, 2);
    EXPECT_EQ(
        split(proc.err, "Cannot use \"/proc/version\" as the protocol file: line 1 is not INI text").size(),
        2u)
        << proc.err;
}

TEST_F(CliTest, TheSummarySaysWhatWasDroppedAndWhatWasOnlyAWarning) {
    // Every reply carries ten data bytes: nothing is recorded, and the end says why.
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    for (int i = 0; i < 400; ++i)
        sim.QueueRawReply(TFrame(1, TBytes(10, 7)).AsBytes());
    const CliRun dropped = run({"log", "--port", sim.DevicePath(), "--out", (dir / "x.ecu").string(),
                                "--seconds", "0.3", "--period", "20", "--ini", ini});
    EXPECT_EQ(dropped.status, 1);
    EXPECT_NE(dropped.err.find("no rows were recorded ("), std::string::npos) << dropped.err;
    EXPECT_NE(dropped.err.find(" replies were dropped for their length: not 63 data bytes); nothing saved"),
              std::string::npos)
        << dropped.err;

    // A protocol file that cannot be written is a warning, not a link error.
    std::ofstream(dir / "plain") << "a file, not a folder";
    const CliRun warned = run({"log", "--test-mode", "--out", (dir / "y.ecu").string(), "--rows", "2",
                               "--period", "10", "--ini", (dir / "plain" / "x.ini").string()});
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_EQ(warned.err.rfind("Warning: ", 0), 0u) << warned.err;
    EXPECT_NE(warned.out.find("Errors: 0\nDropped: 0 (replies not 63 data bytes long)\n"), std::string::npos)
        << warned.out;
}

TEST_F(CliTest, OneRuleForNumbersAndOneMessageForOneError) {
    for (const auto& [option, value] :
         std::vector<std::pair<std::string, std::string>>{{"--period", "-5"},
                                                          {"--period", " 100"},
                                                          {"--rows", " 3"},
                                                          {"--period", "+100"},
                                                          {"--seconds", "1e3"},
                                                          {"--seconds", " 1"},
                                                          {"--message", " 1"}}) {
        const CliRun r = run({"log", "--test-mode", "--out", "x.ecu", option, value, "--ini", ini});
        EXPECT_EQ(r.status, 2) << option << " '" << value << "'";
        const auto lines = split(r.err, "\n");
        ASSERT_EQ(lines.size(), 3u) << r.err; // the message, the hint, the end
        EXPECT_EQ(lines[0].rfind("quillmar-cli log: " + option + " must be", 0), 0u) << r.err;
    }
    // Text Windows-1252 cannot hold is replaced, and the user is told.
    const CliRun r = run({"log", "--test-mode", "--out", (dir / "c.ecu").string(), "--rows", "1", "--ini",
                          ini, "--comment",
                          "\xE6\xB8\xA9\xE5\xBA\xA6 20\xC2\xB0"
                          "C \xF0\x9F\x9A\x97"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.err.find("Warning: 3 characters of the comment cannot be held in Windows-1252 and became '?'"),
        std::string::npos)
        << r.err;
    const CliRun info = run({"info", (dir / "c.ecu").string(), "--ini", ini});
    EXPECT_NE(info.out.find("Comment: ?? 20\xC2\xB0"
                            "C ?\n"),
              std::string::npos)
        << info.out;
}

TEST_F(CliTest, HangUpEndsARecordingUnlessIgnoredAtStart) {
    const std::string out = (dir / "hup.ecu").string();
    SimulatedEcu sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    for (const bool nohup : {true, false}) {
        Child child({"log", "--port", sim.DevicePath(), "--out", out, "--period", "20", "--ini", ini}, dir,
                    {.ignoreHangUp = nohup});
        ASSERT_TRUE(child.waitForErr("Logging to"));
        waitForRequests(sim, sim.RequestCount() + 3);
        child.signal(SIGHUP);
        if (nohup) {
            // Ignored: still recording a while later, until SIGTERM.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_TRUE(child.running());
            child.signal(SIGTERM);
        }
        const CliRun log = child.wait();
        EXPECT_EQ(log.status, 0) << log.err;
        EXPECT_NE(log.out.find("Saved: " + out), std::string::npos);
    }
    const CliRun help = run({"log", "--help"});
    EXPECT_NE(help.out.find("SIGHUP"), std::string::npos);
    EXPECT_NE(help.out.find("nohup"), std::string::npos);
}

} // namespace
} // namespace quillmar
