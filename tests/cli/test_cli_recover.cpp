// Recordings that survive what happens in a car: quillmar-cli log killed
// outright and its journal recovered, two recordings at once, and an adapter
// that goes away and comes back on the same link.

#include "CliTestSupport.h"

#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

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

// The journal a running log names on stderr.
std::string journalOf(const std::string& err) {
    const auto at = err.find("Journal: ");
    if (at == std::string::npos) return {};
    return err.substr(at + 9, err.find('\n', at) - at - 9);
}

class RecoverTest : public CliTest {
protected:
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
    waitForRequests(sim, 120);
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
    // At most about a second of rows (50 at this period) is missing.
    EXPECT_GE(synced.RowCount + 100, replies.size());

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
    options.HangUpAfterSeconds = 1.5;
    options.RecordPath = (dir / "first.txt").string();
    auto sim = std::make_unique<SimulatedEcu>(options);
    ASSERT_TRUE(sim->Start()) << sim->Error();
    const std::string out = (dir / "run.ecu").string();
    Child child({"log", "--port", link, "--out", out, "--period", "20", "--ini", ini}, dir);
    ASSERT_TRUE(child.waitForErr("Comm port " + link + " disconnected, retrying ("));
    sim.reset(); // the node goes too

    // Back on the same name a while later.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
    EXPECT_GT(gap, 1.0);
    EXPECT_EQ(journalCount(), 0u);
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

} // namespace
} // namespace quillmar
