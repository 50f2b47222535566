// Journals of recordings: what a cut-off or damaged journal gives back, which
// journals are offered, when a journal goes, and saves that fail.

#include "tests/dataset/DatasetTestSupport.h"

#include "store/Journal.h"
#include "store/dataset/JournalRecovery.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes, size_t count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(count));
}

std::vector<RowSpec> drive(uint32_t n) {
    std::vector<RowSpec> rows(n);
    for (uint32_t i = 0; i < n; ++i) {
        rows[i].time = i * 0.2;
        rows[i].speed = uint8_t(20 + i % 50);
        rows[i].engineSpeed = uint8_t(60 + i % 100);
    }
    return rows;
}

// A recording as the acquisition cycle leaves it: rows, each also in its
// journal (synced), then finished (derived, unsaved).
TALDLLog& record(TLogCollection& c, const std::string& folder, uint32_t n, double startDays = 45000.5) {
    TALDLLog& log = c.NewDataset(builtInTable());
    log.AttachJournal(TJournal::Create(folder, *builtInTable(), startDays));
    appendRows(log, drive(n));
    for (uint32_t r = 1; r <= n; ++r)
        log.Journal()->Append(log.RowData(r));
    EXPECT_TRUE(log.Journal()->Sync());
    c.FinishRecording(log, n);
    return log;
}

// A journal of n rows left behind by a program that ended; its path.
std::string leftBehind(const std::string& folder, uint32_t n, double startDays = 45000.5) {
    TLogCollection c;
    return record(c, folder, n, startDays).Journal()->Path();
}

size_t filesIn(const std::string& folder) {
    if (!fs::exists(folder)) return 0;
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(Journal, CutAtEveryByteOfItsLastRowsItGivesBackExactlyTheWholeRows) {
    MessengerScope ms;
    TempDir dir;
    const std::string folder = dir.file("state");
    const std::string path = leftBehind(folder, 5);
    const std::vector<uint8_t> bytes = readBytes(path);
    ASSERT_EQ((bytes.size() - JournalParser(bytes, path).HeaderSize()) % JournalRecordBytes, 0u);
    const size_t header = JournalParser(bytes, path).HeaderSize();
    ASSERT_EQ(bytes.size(), header + 5 * JournalRecordBytes);
    auto full = makeLog(drive(5));

    const std::string cutFolder = dir.file("cut");
    fs::create_directories(cutFolder);
    const std::string cut = cutFolder + "/recording-1-cut.journal";
    for (size_t size = header + 2 * JournalRecordBytes; size <= bytes.size(); ++size) {
        writeBytes(cut, bytes, size);
        const uint32_t whole = uint32_t((size - header) / JournalRecordBytes);
        const uint32_t dropped = (size - header) % JournalRecordBytes ? 1 : 0;
        const std::vector<JournalInfo> listed = ListJournals(cutFolder);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].Rows, whole) << size;
        EXPECT_EQ(listed[0].Dropped, dropped) << size;

        TLogCollection c;
        const RecoveredJournal r = RecoverJournal(c, cut, builtInTable());
        ASSERT_NE(r.Dataset, nullptr);
        EXPECT_EQ(r.Rows, whole);
        EXPECT_EQ(r.Dropped, dropped);
        ASSERT_EQ(r.Dataset->Rows, whole);
        EXPECT_EQ(std::memcmp(r.Dataset->RowData(1), full->RowData(1), whole * JournalRowBytes), 0) << size;
    }

    // A damaged row in the middle is left out; the rows around it stay.
    std::vector<uint8_t> damaged = bytes;
    damaged[header + JournalRecordBytes + 10] ^= 0x01;
    writeBytes(cut, damaged, damaged.size());
    TLogCollection c;
    const RecoveredJournal r = RecoverJournal(c, cut);
    EXPECT_EQ(r.Rows, 4u);
    EXPECT_EQ(r.Dropped, 1u);
    EXPECT_EQ(std::memcmp(r.Dataset->RowData(2), full->RowData(3), 3 * JournalRowBytes), 0);
    // A record swapped with its neighbour fails its check too: the row
    // number is part of it.
    std::vector<uint8_t> swapped = bytes;
    std::swap_ranges(swapped.begin() + long(header), swapped.begin() + long(header + JournalRecordBytes),
                     swapped.begin() + long(header + JournalRecordBytes));
    EXPECT_EQ(ParseJournal(swapped, cut).Dropped, 2u);
}

TEST(Journal, HeadersThatAreNotAJournalsAreNamedAndLeftAlone) {
    MessengerScope ms;
    TempDir dir;
    const std::string folder = dir.file("state");
    const std::vector<uint8_t> good = readBytes(leftBehind(dir.file("good"), 1));
    fs::create_directories(folder);
    std::vector<uint8_t> newer = good, broken = good;
    newer[16] = 2;
    broken[40] ^= 0xFF;
    writeBytes(folder + "/a.journal", {'h', 'e', 'l', 'l', 'o'}, 5);
    writeBytes(folder + "/b.journal", newer, newer.size());
    writeBytes(folder + "/c.journal", broken, broken.size());
    writeBytes(folder + "/d.journal", good, 30); // cut inside the header
    writeBytes(folder + "/e.txt", good, good.size());

    const std::vector<JournalInfo> listed = ListJournals(folder);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].Problem, folder + "/a.journal is not a journal");
    EXPECT_EQ(listed[1].Problem,
              folder + "/b.journal was written by a newer version of Quillmar (journal version 2)");
    EXPECT_EQ(listed[2].Problem, folder + "/c.journal has a damaged header");
    EXPECT_EQ(listed[3].Problem, folder + "/d.journal has a damaged header");

    TLogCollection c;
    EXPECT_TRUE(OfferJournals(c, builtInTable(), folder).empty());
    EXPECT_TRUE(ms.m.seen.empty());
    EXPECT_EQ(filesIn(folder), 5u);
    EXPECT_THROW(RecoverJournal(c, folder + "/c.journal"), FileError);
    EXPECT_EQ(c.Count(), 0);
}

TEST(Journal, RecordingsAtOnceKeepTheirOwnLockedJournals) {
    MessengerScope ms;
    TempDir dir;
    const std::string folder = dir.file("state");
    auto a = TJournal::Create(folder, *builtInTable(), 45000);
    auto b = TJournal::Create(folder, *builtInTable(), 45000);
    EXPECT_NE(a->Path(), b->Path());
    const uint8_t row[JournalRowBytes] = {1, 2, 3};
    a->Append(row);
    a->Append(row);
    b->Append(row);
    ASSERT_TRUE(a->Sync());
    ASSERT_TRUE(b->Sync());
    size_t inUse = 0;
    EXPECT_TRUE(ListJournals(folder, &inUse).empty());
    EXPECT_EQ(inUse, 2u);
    EXPECT_FALSE(DeleteJournal(a->Path()));
    TLogCollection c;
    EXPECT_THROW(RecoverJournal(c, b->Path()), FileError);

    const std::string bPath = b->Path();
    b.reset(); // its program ended
    const std::vector<JournalInfo> listed = ListJournals(folder, &inUse);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(inUse, 1u);
    EXPECT_EQ(listed[0].Path, bPath);
    EXPECT_EQ(listed[0].Rows, 1u);
    EXPECT_EQ(listed[0].StartTime, 45000.0);
}

TEST(Journal, GoesWhenItsRowsAreSavedOrLetGoAndStaysWhenASaveFails) {
    TempDir dir;
    const std::string folder = dir.file("state");
    MessengerScope ms;
    TLogCollection c;
    TALDLLog& saved = record(c, folder, 3);
    TALDLLog& failed = record(c, folder, 4);
    TALDLLog& letGo = record(c, folder, 5);
    EXPECT_EQ(filesIn(folder), 3u);

    // A save into a folder that does not exist fails, named; the journal stays.
    c.SelectDataset(&failed);
    const std::string nowhere = dir.file("no/such/folder/run.ecu");
    EXPECT_FALSE(c.FileSaveAs1Accept(nowhere));
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_EQ(ms.m.seen[0].caption, "Error");
    EXPECT_NE(ms.m.seen[0].text.find(nowhere), std::string::npos) << ms.m.seen[0].text;
    EXPECT_FALSE(failed.Saved);
    EXPECT_NE(failed.Journal(), nullptr);

    c.SelectDataset(&saved);
    EXPECT_TRUE(c.FileSaveAs1Accept(dir.file("run.ecu")));
    EXPECT_EQ(saved.Journal(), nullptr);
    EXPECT_EQ(filesIn(folder), 2u);

    // "Save now?" No: the user lets it go, and its journal with it.
    ms.m.script = {Answer::No};
    EXPECT_TRUE(c.FreeDataset(&letGo));
    EXPECT_EQ(filesIn(folder), 1u);

    // The failed one is kept when the program ends without a question.
    const std::string kept = failed.Journal()->Path();
    {
        TLogCollection gone;
        record(gone, folder, 2);
        TALDLLog& empty = gone.NewDataset(builtInTable());
        empty.AttachJournal(TJournal::Create(folder, *builtInTable(), 45001));
        EXPECT_EQ(filesIn(folder), 3u);
        gone.FinishRecording(empty, 0); // no rows: removed with its journal
        EXPECT_EQ(filesIn(folder), 2u);
    }
    EXPECT_EQ(filesIn(folder), 2u);
    EXPECT_TRUE(fs::exists(kept));
}

TEST(Journal, TheStartUpQuestionRecoversDeletesOrKeepsEachJournal) {
    TempDir dir;
    const std::string folder = dir.file("state");
    MessengerScope ms;
    const std::string recover = leftBehind(folder, 7, 45000.25);
    const std::string remove = leftBehind(folder, 3, 45000.5);
    const std::string keep = leftBehind(folder, 1, 45000.75);
    auto empty = TJournal::Create(folder, *builtInTable(), 45001);
    const std::string emptyPath = empty->Path();
    empty.reset();

    ms.m.script = {Answer::Yes, Answer::No, Answer::Yes, Answer::No, Answer::No};
    TLogCollection c;
    const std::vector<TALDLLog*> got = OfferJournals(c, builtInTable(), folder);
    ASSERT_EQ(ms.m.seen.size(), 5u);
    for (const auto& s : ms.m.seen) {
        EXPECT_EQ(s.caption, "Query");
        EXPECT_EQ(s.buttons, Buttons::YesNo);
    }
    EXPECT_EQ(ms.m.seen[0].text, "A recording started " + DateTimeText(45000.25) +
                                     " was not saved. Its journal holds 7 rows.\nRecover it?");
    EXPECT_EQ(ms.m.seen[2].text, "Delete the journal of the recording started " + DateTimeText(45000.5) +
                                     " (3 rows)? No keeps it for the next start.");
    EXPECT_NE(ms.m.seen[3].text.find("holds 1 row."), std::string::npos);

    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(c.Count(), 1);
    TALDLLog* log = got[0];
    EXPECT_EQ(log->Rows, 7u);
    EXPECT_FALSE(log->Saved);
    EXPECT_EQ(c.CurrentDataset(), log);
    EXPECT_DOUBLE_EQ(log->Derived[TimeSlot][7], 6 * 0.2);
    EXPECT_EQ(log->Parameters, builtInTable()); // recorded with the table in force: shared
    EXPECT_EQ(log->StoreName, "Recovered recording of " + DateTimeText(45000.25));
    EXPECT_TRUE(fs::exists(recover)); // held by the dataset until saved
    EXPECT_FALSE(fs::exists(remove));
    EXPECT_TRUE(fs::exists(keep));
    EXPECT_FALSE(fs::exists(emptyPath)); // nothing in it: gone without a question
    EXPECT_EQ(DateTimeText(std::nan("")), "an unknown time");

    // Recorded with another table: the dataset decodes with its own.
    TLogCollection other;
    const RecoveredJournal r = RecoverJournal(other, keep, tableWithFactor("Engine speed", 50));
    ASSERT_NE(r.Dataset, nullptr);
    EXPECT_TRUE(r.OwnTable);
    EXPECT_EQ(r.Dataset->Parameters->size(), builtInTable()->size());
    EXPECT_DOUBLE_EQ(double(r.Dataset->ParameterValue(
                         IndexOfName(MakeParameterNames(*builtInTable()), "Engine speed"), 1)),
                     60 * 25.0);

    // Saved like any recording: the journal goes.
    EXPECT_TRUE(c.FileSaveAs1Accept(dir.file("recovered.ecu")));
    EXPECT_FALSE(fs::exists(recover));
    TALDLLog reread(builtInTable());
    LoadLogFile(reread, dir.file("recovered.ecu"));
    EXPECT_EQ(reread.Rows, 7u);
}

namespace {

// A tmpfs of 64 KiB mounted at path, in a mount namespace of this test's
// own; false when this process may not make one.
bool mountSmallTmpfs(const std::string& path) {
    if (::unshare(CLONE_NEWNS) != 0) return false;
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return ::mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") == 0;
}

// The previous file, the failed save's message, the dataset and the journal
// after saving a large recording to file.
void expectFailedSaveKeepsEverything(const std::string& file, const std::string& journals) {
    TLogCollection c;
    ASSERT_TRUE(fs::exists(file));
    const std::vector<uint8_t> before = readBytes(file);
    MessengerScope ms;
    TALDLLog& big = record(c, journals, 2000); // 142,000 bytes: more than the file system holds
    const std::string journal = big.Journal()->Path();
    EXPECT_FALSE(c.FileSaveAs1Accept(file));
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_EQ(ms.m.seen[0].caption, "Error");
    EXPECT_NE(ms.m.seen[0].text.find(file), std::string::npos) << ms.m.seen[0].text;
    EXPECT_EQ(readBytes(file), before);
    EXPECT_FALSE(big.Saved);
    ASSERT_NE(big.Journal(), nullptr);
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(filesIn(fs::path(file).parent_path().string()), 1u); // no temporary file left
}

} // namespace

TEST(Journal, SavesOntoAFullOrReadOnlyFileSystemLeaveEverythingAsItWas) {
    TempDir dir;
    const std::string small = dir.file("small");
    fs::create_directories(small);
    if (!mountSmallTmpfs(small)) GTEST_SKIP() << "no private mount namespace for a small tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};

    makeLog(drive(10))->SaveToFile(small + "/run.ecu");
    expectFailedSaveKeepsEverything(small + "/run.ecu", dir.file("state"));
    ASSERT_EQ(::mount(nullptr, small.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    expectFailedSaveKeepsEverything(small + "/run.ecu", dir.file("state2"));
}

TEST(Journal, SavingIntoAFolderThatIsNotWritableLeavesEverythingAsItWas) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into any folder (the read-only mount covers it)";
    TempDir dir;
    const std::string folder = dir.file("locked");
    fs::create_directories(folder);
    {
        auto previous = makeLog(drive(10));
        previous->SaveToFile(folder + "/run.ecu");
    }
    ::chmod(folder.c_str(), 0555);
    struct Unlock {
        std::string path;
        ~Unlock() { ::chmod(path.c_str(), 0755); }
    } unlock{folder};
    TLogCollection c;
    MessengerScope ms;
    TALDLLog& log = record(c, dir.file("state"), 20);
    EXPECT_FALSE(c.FileSaveAs1Accept(folder + "/run.ecu"));
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_NE(ms.m.seen[0].text.find(folder + "/run.ecu"), std::string::npos);
    EXPECT_FALSE(log.Saved);
    EXPECT_NE(log.Journal(), nullptr);
}
