// quillmar-cli and the protocol file it is given: files that are not one are
// refused and left as they were, values that do not convert are warned
// about, and a table of the wrong size says which file and what sum.

#include "CliTestSupport.h"

namespace quillmar {
namespace {

using namespace clitest;

// Every file under folder, with its size.
std::vector<std::pair<std::string, uintmax_t>> filesUnder(const fs::path& folder) {
    std::vector<std::pair<std::string, uintmax_t>> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.emplace_back(entry.path().string(), entry.file_size());
    std::sort(files.begin(), files.end());
    return files;
}

class CliProtocolTest : public CliTest {
protected:
    // Runs the program, ending it if it has not ended within ten seconds (a
    // refused start must not run on).
    CliRun runBounded(const std::vector<std::string>& args) {
        Child child(args, dir);
        bool running = child.running();
        for (int i = 0; i < 1000 && running; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            running = child.running();
        }
        if (running) {
            ADD_FAILURE() << args[0] << " still runs";
            child.signal(SIGKILL);
        }
        return child.wait();
    }

    void writeBytes(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

TEST_F(CliProtocolTest, FilesThatAreNoProtocolFileAreRefusedAndLeftAsTheyAre) {
    const std::string log = recordLog("run.ecu");
    // A copy of a log, notes in UTF-16, a program, and notes in plain text.
    const std::string copy = (dir / "copy.ecu").string();
    fs::copy_file(log, copy);
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("Engine notes\r\nidle 850\r\n"))
        utf16 += {c, '\0'};
    writeBytes(dir / "notes16.txt", utf16);
    std::string program("\x7F"
                        "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0",
                        20);
    for (int i = 0; i < 300; ++i)
        program += char(i * 13);
    writeBytes(dir / "program", program);
    writeBytes(dir / "notes.txt", "[Car]\r\nModel = M100\r\nChanged the plugs on Sunday.\r\n");
    const std::vector<std::pair<std::string, std::string>> files = {
        {copy, "it holds NUL bytes, as binary data does, not text"},
        {(dir / "notes16.txt").string(), "it is UTF-16 text; save it as UTF-8 or Windows-1252 text"},
        {(dir / "program").string(), "it holds NUL bytes, as binary data does, not text"},
        {(dir / "notes.txt").string(), "line 3 is not INI text: \"Changed the plugs on Sunday.\""},
    };
    const std::string out = (dir / "out.ecu").string(), prom = (dir / "prom.bin").string(),
                      csv = (dir / "out.csv").string(), png = (dir / "out.png").string();
    const auto journals = filesUnder(dir / "state");
    for (const auto& [file, why] : files) {
        const std::string before = readText(file);
        const std::vector<std::vector<std::string>> commands = {
            {"log", "--test-mode", "--out", out, "--rows", "2", "--period", "10", "--ini", file},
            {"watch", "--test-mode", "--period", "10", "--ini", file},
            {"dump-prom", "--test-mode", "--out", prom, "--ini", file},
            {"create-ini", "--ini", file},
            // The reading commands never write it either.
            {"table", log, "--ini", file},
            {"info", log, "--ini", file},
            {"export", log, "--out", csv, "--ini", file},
            {"plot", log, "--x", "Time", "--y", "Engine speed", "--out", png, "--ini", file},
        };
        for (const auto& args : commands) {
            const CliRun r = runBounded(args);
            EXPECT_EQ(r.status, 2) << args[0] << " " << file << "\n" << r.err;
            EXPECT_NE(r.err.find("error: Cannot use \"" + file + "\" as the protocol file: " + why +
                                 "; it was left unchanged\n"),
                      std::string::npos)
                << args[0] << "\n"
                << r.err;
            EXPECT_EQ(split(r.err, "Cannot use").size(), 2u) << r.err; // said once
            EXPECT_EQ(readText(file), before) << args[0] << " changed " << file;
        }
        // Nothing was recorded, dumped or exported.
        for (const std::string& made : {out, prom, csv, png})
            EXPECT_FALSE(fs::exists(made)) << made;
        EXPECT_EQ(filesUnder(dir / "state"), journals);
    }
}

TEST_F(CliProtocolTest, EmptyFilesAndIniTextWithoutATableAreStillWritten) {
    const fs::path empty = dir / "empty.ini", mine = dir / "mine.ini";
    writeBytes(empty, "");
    const std::string settings = "; my settings\r\n\r\n[Window]\r\nWidth=800\r\n";
    writeBytes(mine, settings);
    const CliRun log = run({"log", "--test-mode", "--out", (dir / "x.ecu").string(), "--rows", "1",
                            "--period", "10", "--ini", empty.string()});
    EXPECT_EQ(log.status, 0) << log.err;
    EXPECT_EQ(readText(empty).rfind("[Parameter 1]\r\nName=Prom id\r\n", 0), 0u);
    const CliRun create = run({"create-ini", "--ini", mine.string()});
    EXPECT_EQ(create.status, 0) << create.err;
    EXPECT_EQ(readText(mine).rfind(settings + "[Parameter 1]\r\n", 0), 0u);
    EXPECT_NE(readText(mine).find("[Parameter 65]"), std::string::npos);

    // A reading command uses the built-in table for such a file, says so and
    // writes nothing.
    writeBytes(mine, settings);
    const CliRun info = run({"info", (dir / "x.ecu").string(), "--ini", mine.string()});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.err.find("Warning: the protocol file " + mine.string() +
                            " holds no section [Parameter 1]; using the built-in table"),
              std::string::npos)
        << info.err;
    EXPECT_EQ(readText(mine), settings);
}

TEST_F(CliProtocolTest, ValuesThatDoNotConvertAreWarnedAboutWithTheirLine) {
    const std::string log = recordLog("run.ecu"); // writes the built-in table to ini
    std::string text = readText(ini);
    const size_t at = text.find("Factor=25\r\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "Factor=0,0l9\r\n");
    writeBytes(ini, text);
    const size_t line = size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n')) + 1;
    const std::string warning =
        "Warning: " + ini + ", line " + std::to_string(line) +
        ", section [Parameter 9], key Factor: \"0,0l9\" is not a number; Factor stays 0\n";

    const CliRun info = run({"info", log, "--ini", ini});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.err.find(warning), std::string::npos) << info.err;
    const CliRun logged = run({"log", "--test-mode", "--out", (dir / "y.ecu").string(), "--rows", "1",
                               "--period", "10", "--ini", ini});
    EXPECT_EQ(logged.status, 0) << logged.err;
    EXPECT_EQ(logged.err.rfind(warning, 0), 0u) << logged.err;
    EXPECT_NE(logged.out.find("Errors: 0\n"), std::string::npos) << logged.out; // a warning is no link error
    const CliRun create = run({"create-ini", "--ini", ini});
    EXPECT_EQ(create.status, 0) << create.err;
    EXPECT_NE(create.err.find(warning), std::string::npos) << create.err;
    EXPECT_NE(readText(ini).find("Factor=0\r\n"), std::string::npos); // the table in force
}

TEST_F(CliProtocolTest, AWrongByteLengthSaysWhichFileAndWhatSum) {
    const fs::path bad = dir / "bad.ini";
    writeBytes(bad, "[Parameter 1]\r\nName=Only\r\nPosition=1\r\nSize=1\r\n[Parameter 2]\r\nName=Two\r\n"
                    "Position=2\r\nSize=2\r\n");
    const std::string says =
        "error: Total parameters byte length incorrect\n" + bad.string() +
        ": the sizes of its 2 parameters add up to 3 bytes; a reply holds 63 data bytes\n";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"log", "--test-mode", "--out", (dir / "x.ecu").string(), "--ini",
                                   bad.string()},
          {"create-ini", "--ini", bad.string()}}) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

} // namespace
} // namespace quillmar
