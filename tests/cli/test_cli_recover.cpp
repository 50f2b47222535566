// Recordings that survive what happens in a car: quillmar-cli log killed
// outright and its journal recovered, two recordings at once, an adapter
// that goes away and comes back on the same link, and a disk that fills up.

#include "CliTestSupport.h"

#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/JournalRecovery.h"
#include "store/dataset/LogCollection.h"
#include "tests/common/PrivateMounts.h"

#include <cstring>
#include <memory>
#include <optional>
#include <span>

namespace quillmar {
namespace {

using namespace clitest;

using Reply = std::vector<uint8_t>;

// The data bytes of the mode 1 replies the simulator recorded, in order,
// without those a fault touched.
std::vector<Reply> goodReplies(const fs::path& record) {
    std::vector<Reply> replies;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) {
        if (line.find('#') != std::string::npos) continue;
        const auto frame = fromHex(line);
        if (frame.size() == 67 && frame[2] == 1) replies.emplace_back(frame.begin() + 3, frame.end() - 1);
    }
    return replies;
}

// Every row of the log file is byte for byte one of the replies, in the
// order they were sent. The rows, or nothing when one is not.
std::optional<uint32_t> rowsAreReplies(const std::string& file, const std::vector<Reply>& replies,
                                       size_t* lastMatched = nullptr) {
    TALDLLog log(std::make_shared<TParameterArray>(BuiltInParameters()));
    LoadLogFile(log, file);
    size_t next = 0;
    for (uint32_t r = 1; r <= log.Rows; ++r) {
        const uint8_t* row = log.RowData(r);
        while (next < replies.size() && std::memcmp(replies[next].data(), row, 63) != 0)
            ++next;
        if (next == replies.size()) {
            ADD_FAILURE() << "row " << r << " of " << file << " is not among the replies sent";
            return std::nullopt;
        }
        if (lastMatched) *lastMatched = next;
        ++next;
    }
    return log.Rows;
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The journal a running log names on stderr.
std::string journalOf(const std::string& err) {
    const auto at = err.find("Journal: ");
    if (at == std::string::npos) return {};
    return err.substr(at + 9, err.find('\n', at) - at - 9);
}

// The recordings here run with a tenth of the program's waits (reconnect
// delays, journal age), so that a lost adapter is tried again within a
// second and journals are written ten times a second.
class RecoverTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ::setenv("QUILLMAR_WAIT_SCALE", "0.1", 1);
    }
    void TearDown() override {
        ::unsetenv("QUILLMAR_WAIT_SCALE");
        CliTest::TearDown();
    }
    fs::path journals() const { return dir / "state" / "Quillmar"; }
    size_t journalCount() const {
        if (!fs::exists(journals())) return 0;
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(journals()))
            n += e.path().extension() == ".journal";
        return n;
    }
};

TEST_F(RecoverTest, ARecordingKilledOutrightComesBackFromItsJournal) {
    SimOptions options;
    options.RecordPath = (dir / "record.txt").string();
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const std::string out = (dir / "run.ecu").string();
    Child child({"log", "--port", sim.DevicePath(), "--out", out, "--period", "20", "--ini", ini}, dir);
    ASSERT_TRUE(child.waitForErr("Journal: "));
    waitForRequests(sim, 40);
    child.signal(SIGKILL);
    const CliRun killed = child.wait();
    ASSERT_EQ(killed.status, -SIGKILL);
    sim.Stop();
    EXPECT_FALSE(fs::exists(out));
    const std::string journal = journalOf(killed.err);
    ASSERT_TRUE(fs::exists(journal)) << killed.err;
    EXPECT_EQ(fs::path(journal).parent_path(), journals());

    // What the journal had on disk when the program died.
    const std::string text = readText(journal);
    const JournalContents synced =
        ParseJournal(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), journal);
    EXPECT_EQ(synced.Dropped, 0u);
    const std::vector<Reply> replies = goodReplies(dir / "record.txt");
    // At most about a tenth of a second of rows (5 at this period) is
    // missing; more slack for a busy machine.
    EXPECT_GE(synced.RowCount + 25, replies.size());
    EXPECT_GT(synced.RowCount, 0u);

    const CliRun list = run({"recover", "--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find(journal + "\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\t" + std::to_string(synced.RowCount) + " rows\n"), std::string::npos)
        << list.out;

    const std::string back = (dir / "back.ecu").string();
    const CliRun recovered = run({"recover", "--out", back});
    ASSERT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(
        recovered.out.rfind("Recovered " + std::to_string(synced.RowCount) + " rows (recording started ", 0),
        0u)
        << recovered.out;
    EXPECT_FALSE(fs::exists(journal)); // only once the file was saved
    EXPECT_EQ(rowsAreReplies(back, replies), synced.RowCount);

    // Nothing more to recover.
    const CliRun again = run({"recover"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.err.find("No journals to recover in " + journals().string()), std::string::npos)
        << again.err;
}

TEST_F(RecoverTest, TwoRecordingsAtOnceKeepSeparateJournalsAndSavedOnesLeaveNone) {
    SimulatedEcu simA, simB;
    ASSERT_TRUE(simA.Start()) << simA.Error();
    ASSERT_TRUE(simB.Start()) << simB.Error();
    Child a({"log", "--port", simA.DevicePath(), "--out", (dir / "a.ecu").string(), "--period", "20", "--ini",
             ini},
            dir);
    Child b({"log", "--port", simB.DevicePath(), "--out", (dir / "b.ecu").string(), "--period", "20", "--ini",
             ini},
            dir);
    ASSERT_TRUE(a.waitForErr("Journal: "));
    ASSERT_TRUE(b.waitForErr("Journal: "));
    waitForRequests(simA, 5);
    waitForRequests(simB, 5);
    EXPECT_EQ(journalCount(), 2u);

    // Live journals are not offered, not even for a look.
    const CliRun list = run({"recover", "--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.empty()) << list.out;
    EXPECT_NE(list.err.find("2 journals belong to a recording still running"), std::string::npos) << list.err;
    const CliRun none = run({"recover"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(journalCount(), 2u);

    a.signal(SIGINT);
    b.signal(SIGINT);
    const CliRun ra = a.wait(), rb = b.wait();
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    EXPECT_NE(journalOf(ra.err), journalOf(rb.err));
    EXPECT_EQ(journalCount(), 0u);
}

TEST_F(RecoverTest, AnAdapterThatGoesAwayIsWaitedForAndItsRowsGoOnIntoTheSameFile) {
    const std::string link = (dir / "adapter").string();
    SimOptions options;
    options.LinkPath = link;
    options.HangUpAfterSeconds = 0.3;
    options.RecordPath = (dir / "first.txt").string();
    auto sim = std::make_unique<SimulatedEcu>(options);
    ASSERT_TRUE(sim->Start()) << sim->Error();
    const std::string out = (dir / "run.ecu").string();
    Child child({"log", "--port", link, "--out", out, "--period", "20", "--ini", ini}, dir);
    ASSERT_TRUE(child.waitForErr("Comm port " + link + " disconnected, retrying ("));
    sim.reset(); // the node goes too

    // Back on the same name a while later.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    options.HangUpAfterSeconds = 0;
    options.RecordPath = (dir / "second.txt").string();
    options.Seed = 2;
    sim = std::make_unique<SimulatedEcu>(options);
    ASSERT_TRUE(sim->Start()) << sim->Error();
    ASSERT_TRUE(child.waitForErr("Comm port " + link + " connected again after "));
    waitForRequests(*sim, 10);
    child.signal(SIGINT);
    const CliRun log = child.wait();
    ASSERT_EQ(log.status, 0) << log.err;
    sim->Stop();

    // One line for the loss, one for the return, nothing in between.
    EXPECT_EQ(split(log.err, "disconnected, retrying").size(), 2u) << log.err;
    EXPECT_EQ(split(log.err, "connected again").size(), 2u) << log.err;
    EXPECT_EQ(log.err.find("Comm port inactive"), std::string::npos) << log.err;
    EXPECT_EQ(log.err.find("Cannot write"), std::string::npos) << log.err;

    // Rows of both, in order, in one recording, the gap in its time stamps.
    std::vector<Reply> replies = goodReplies(dir / "first.txt");
    const size_t first = replies.size();
    const std::vector<Reply> second = goodReplies(dir / "second.txt");
    replies.insert(replies.end(), second.begin(), second.end());
    ASSERT_GT(first, 0u);
    size_t last = 0;
    const auto rows = rowsAreReplies(out, replies, &last);
    ASSERT_TRUE(rows);
    EXPECT_GE(last, first);
    TALDLLog saved(std::make_shared<TParameterArray>(BuiltInParameters()));
    LoadLogFile(saved, out);
    double gap = 0;
    for (uint32_t r = 2; r <= saved.Rows; ++r)
        gap = std::max(gap, saved.TimeStamp(r) - saved.TimeStamp(r - 1));
    EXPECT_GT(gap, 0.25);
    EXPECT_EQ(journalCount(), 0u);
}

TEST_F(RecoverTest, AFlippedBitInAJournalsHeaderCostsNothingAndOneItCannotReadIsNamedAndKept) {
    // A journal of 5 rows, a bit flipped in its version; one damaged in both
    // copies of its header.
    std::string flipped, broken;
    {
        TALDLLog rows(std::make_shared<TParameterArray>(BuiltInParameters()));
        rows.Make2D(LogColumns, 5, 1);
        auto a = TJournal::Create(journals().string(), BuiltInParameters(), 45000.5);
        auto b = TJournal::Create(journals().string(), BuiltInParameters(), 45000.75);
        for (uint32_t r = 1; r <= 5; ++r) {
            std::vector<uint8_t> data(63, uint8_t(r));
            rows.WriteRow(r, data.data(), r * 0.2);
            a->Append(rows.RowData(r));
            b->Append(rows.RowData(r));
        }
        flipped = a->Path();
        broken = b->Path();
    }
    std::string bytes = readText(flipped);
    bytes[17] ^= 0x10; // journal version 4098, were it believed
    writeText(flipped, bytes);
    bytes = readText(broken);
    // One copy's size, as the first states it.
    const size_t copy = uint8_t(bytes[20]) | uint8_t(bytes[21]) << 8 | uint8_t(bytes[22]) << 16;
    ASSERT_LT(2 * copy, bytes.size());
    bytes[40] ^= 0x01;
    bytes[copy + 40] ^= 0x01;
    writeText(broken, bytes);

    const CliRun list = run({"recover", "--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find(flipped + "\t" + DateTimeText(45000.5) + "\t5 rows\n"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find(broken + "\t\t\tcannot be read: " + broken + " has a damaged header\n"),
              std::string::npos)
        << list.out;

    const std::string back = (dir / "back.ecu").string();
    const CliRun recovered = run({"recover", "--out", back});
    EXPECT_EQ(recovered.status, 0) << recovered.err;
    EXPECT_EQ(recovered.out.rfind("Recovered 5 rows (recording started " + DateTimeText(45000.5) + ") into " +
                                      back + "\n",
                                  0),
              0u)
        << recovered.out;
    EXPECT_NE(recovered.err.find("Warning: " + broken + " has a damaged header; left alone"),
              std::string::npos)
        << recovered.err;
    EXPECT_FALSE(fs::exists(flipped));
    EXPECT_TRUE(fs::exists(broken));
    TALDLLog saved(std::make_shared<TParameterArray>(BuiltInParameters()));
    LoadLogFile(saved, back);
    ASSERT_EQ(saved.Rows, 5u);
    EXPECT_EQ(saved.RowData(5)[62], 5);
}

TEST_F(RecoverTest, BadArgumentsAndHelp) {
    EXPECT_EQ(run({"recover", "--list", "--out", "x.ecu"}).status, 2);
    const CliRun missing = run({"recover", "no-such.journal"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no journal no-such.journal"), std::string::npos) << missing.err;
    const CliRun help = run({"recover", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: quillmar-cli recover", 0), 0u);
    EXPECT_NE(run({"--help"}).out.find("  recover "), std::string::npos);
}

// The log file, the journal and $TMPDIR on one file system too small for the
// recording, /tmp and /var/tmp read-only; the home folder either there too or
// on a roomy file system. Everything the summary claims is checked against
// the files.
class FullDiskTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        small = (dir / "small").string();
        roomy = (dir / "roomy").string();
        fs::create_directories(small);
        fs::create_directories(roomy);
        if (!mounts::EnterPrivateNamespace() || !mounts::MountTmpfs(small, "40k"))
            GTEST_SKIP() << "no private mount namespace for a small tmpfs here";
        unmounts.add(small);
        ASSERT_TRUE(mounts::MountTmpfs(roomy, "4m"));
        unmounts.add(roomy);
        // The program's own output and the protocol file go to the roomy one.
        ini = roomy + "/protocol.ini";
        ASSERT_EQ(run({"create-ini", "--ini", ini}).status, 0);
        for (const char* folder : {"/tmp", "/var/tmp"}) {
            if (!fs::is_directory(folder) || !mounts::MakeFolderReadOnly(folder))
                GTEST_SKIP() << "cannot make " << folder << " read-only here";
            unmounts.add(folder);
        }
    }
    void TearDown() override {
        unmounts.unmountAll();
        CliTest::TearDown();
    }
    // Records rows from the simulator into small/run.ecu, the journal in
    // state (default small/state), with $TMPDIR small and $HOME home.
    CliRun record(SimulatedEcu& sim, const std::string& home, int rows, std::string state = {}) {
        fs::create_directories(home);
        if (state.empty()) state = small + "/state";
        const std::string line = "HOME='" + home + "' TMPDIR='" + small + "' XDG_STATE_HOME='" + state +
                                 "' exec \"$CLI\" log --port '" + sim.DevicePath() + "' --out '" + small +
                                 "/run.ecu' --rows " + std::to_string(rows) + " --period 2 --ini '" + ini +
                                 "'";
        Child child({line}, roomy, {.shell = true});
        return child.wait();
    }
    // The value of a summary line "Name: value".
    static std::string summary(const std::string& out, const std::string& name) {
        const auto at = out.find("\n" + name + ": ");
        if (at == std::string::npos) return {};
        const auto start = at + name.size() + 3;
        return out.substr(start, out.find('\n', start) - start);
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(small))
            if (e.path().filename().string().rfind(".quillmar-save-", 0) == 0) found.push_back(e.path());
        return found;
    }

    std::string small, roomy;
    mounts::Unmounts unmounts;
};

TEST_F(FullDiskTest, WhenNothingCanBeWrittenTheSummaryCountsTheRowsLostAndThoseTheJournalHolds) {
    SimOptions options;
    options.RecordPath = roomy + "/record.txt";
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const CliRun log = record(sim, small + "/home", 600);
    sim.Stop();
    EXPECT_EQ(log.status, 1) << log.err;
    // Told at once that the journal could not be written.
    EXPECT_NE(log.err.find("Warning: Cannot write the journal "), std::string::npos) << log.err;
    // Every file tried, with the system's reason.
    for (const std::string& tried :
         {small + "/run.ecu", small + "/quillmar-recording-", std::string("/tmp/quillmar-recording-"),
          std::string("/var/tmp/quillmar-recording-"), small + "/home/quillmar-recording-"})
        EXPECT_NE(log.err.find(tried), std::string::npos) << tried << "\n" << log.err;
    EXPECT_NE(log.err.find("(No space left on device)"), std::string::npos) << log.err;
    EXPECT_NE(log.err.find("(Read-only file system)"), std::string::npos) << log.err;
    EXPECT_EQ(log.err.find("stays in its journal"), std::string::npos) << log.err;

    // What the summary claims: 600 rows, none saved, so many in the journal.
    EXPECT_EQ(summary("\n" + log.out, "Rows"), "600") << log.out;
    EXPECT_EQ(summary("\n" + log.out, "Saved"), "nothing") << log.out;
    const std::string journalLine = summary("\n" + log.out, "Journal");
    const auto open = journalLine.rfind(" (");
    ASSERT_NE(open, std::string::npos) << log.out;
    const std::string journal = journalLine.substr(0, open);
    const uint32_t kept = uint32_t(std::stoul(journalLine.substr(open + 2)));
    const uint32_t lost = uint32_t(std::stoul(summary("\n" + log.out, "Lost")));
    EXPECT_EQ(kept + lost, 600u) << log.out;
    EXPECT_GT(lost, 0u);
    EXPECT_NE(log.err.find("no file could be written: " + std::to_string(lost) +
                           " of the 600 rows are lost; the "
                           "journal " +
                           journal + " holds the other " + std::to_string(kept)),
              std::string::npos)
        << log.err;

    // ... and what the files hold: the journal exactly those rows, the first
    // replies sent, and nothing else was left behind.
    const std::string text = readText(journal);
    const JournalContents contents =
        ParseJournal(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), journal);
    EXPECT_EQ(contents.RowCount, kept);
    const std::vector<Reply> replies = goodReplies(roomy + "/record.txt");
    ASSERT_GE(replies.size(), contents.RowCount);
    for (uint32_t r = 0; r < contents.RowCount; ++r)
        ASSERT_EQ(std::memcmp(contents.Rows.data() + size_t(r) * JournalRowBytes, replies[r].data(), 63), 0)
            << r;
    EXPECT_FALSE(fs::exists(small + "/run.ecu"));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(FullDiskTest, TheRecordingGoesToTheFirstFolderThatTakesItWithEveryRow) {
    SimOptions options;
    options.RecordPath = roomy + "/record.txt";
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const std::string home = roomy + "/home";
    const CliRun log = record(sim, home, 600);
    sim.Stop();
    EXPECT_EQ(log.status, 1) << log.err;
    EXPECT_NE(log.err.find("Warning: Cannot write the journal "), std::string::npos) << log.err;

    // $TMPDIR (full), /tmp and /var/tmp (read-only) were tried first.
    const std::string saved = summary("\n" + log.out, "Saved");
    const std::string rescue = saved.substr(0, saved.find(' '));
    EXPECT_EQ(saved, rescue + " (instead of " + small + "/run.ecu)") << log.out;
    EXPECT_EQ(fs::path(rescue).parent_path(), fs::path(home)) << log.out;
    EXPECT_EQ(fs::path(rescue).filename().string().rfind("quillmar-recording-", 0), 0u) << rescue;
    EXPECT_EQ(summary("\n" + log.out, "Lost"), "0 rows") << log.out;
    EXPECT_NE(log.err.find("the recording was saved to " + rescue + " instead (all 600 rows)"),
              std::string::npos)
        << log.err;
    EXPECT_NE(log.err.find("/var/tmp/quillmar-recording-"), std::string::npos) << log.err;

    // Every row recorded is in it, and the journal went once it was.
    EXPECT_EQ(rowsAreReplies(rescue, goodReplies(roomy + "/record.txt")), 600u);
    EXPECT_FALSE(fs::exists(small + "/run.ecu"));
    for (const auto& e : fs::recursive_directory_iterator(small))
        EXPECT_NE(e.path().extension(), ".journal") << e.path();
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(FullDiskTest, AJournalThatHoldsEveryRowIsSaidToWhenNoFileCanBeWritten) {
    SimOptions options;
    options.RecordPath = roomy + "/record.txt";
    SimulatedEcu sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    // A full disk everywhere but in the state folder, and a recording that
    // fits in none of the others: its file takes more than is left.
    std::ofstream(small + "/filler") << std::string(36 * 1024, 'x');
    const CliRun log = record(sim, small + "/home", 100, roomy + "/state");
    sim.Stop();
    EXPECT_EQ(log.status, 1) << log.err;
    EXPECT_EQ(log.err.find("Warning: Cannot write the journal "), std::string::npos) << log.err;
    EXPECT_EQ(summary("\n" + log.out, "Saved"), "nothing") << log.out;
    const std::string journalLine = summary("\n" + log.out, "Journal");
    const std::string journal = journalLine.substr(0, journalLine.rfind(" ("));
    EXPECT_EQ(journalLine, journal + " (100 rows)") << log.out;
    EXPECT_EQ(summary("\n" + log.out, "Lost"), "0 rows") << log.out;
    EXPECT_NE(log.err.find("no file could be written; all 100 rows stay in the journal " + journal),
              std::string::npos)
        << log.err;
    const std::string text = readText(journal);
    EXPECT_EQ(
        ParseJournal(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), journal).RowCount,
        100u);
}

} // namespace
} // namespace quillmar
