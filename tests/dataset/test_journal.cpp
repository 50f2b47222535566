// Journals of recordings: what a cut-off or damaged journal gives back (a
// flipped bit in the header included), journals of the first version, which
// journals are offered, when a journal goes, and saves that fail.

#include "tests/common/PrivateMounts.h"
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

void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        bytes[at + size_t(k)] = uint8_t(v >> (8 * k));
}

// The size of one copy of the header, as the first copy states it.
size_t copySize(const std::vector<uint8_t>& bytes) {
    return bytes[20] | bytes[21] << 8 | bytes[22] << 16 | size_t(bytes[23]) << 24;
}

// The bytes of a journal of rows rows, recorded with table, synced.
std::vector<uint8_t> journalOf(const std::string& folder, const TParameterArray& table, uint32_t rows) {
    auto source = makeLog(drive(rows));
    auto journal = TJournal::Create(folder, table, 45000.5);
    for (uint32_t r = 1; r <= rows; ++r)
        journal->Append(source->RowData(r));
    EXPECT_TRUE(journal->Sync());
    return readBytes(journal->Path());
}

// What is wrong with the contents of bytes when all of good's rows are to
// come back but the one at index lost (none when -1); empty when nothing.
std::string lostOnly(const std::vector<uint8_t>& bytes, const JournalContents& good, long lost) {
    JournalContents got;
    try {
        got = ParseJournal(bytes, "flipped");
    } catch (const FileError& e) {
        return e.what();
    }
    const auto& a = got.Header;
    const auto& b = good.Header;
    if (a.StartTime != b.StartTime || a.ProcessId != b.ProcessId || a.Table.size() != b.Table.size())
        return "another header";
    for (size_t i = 0; i < a.Table.size(); ++i) {
        const TParameter &p = a.Table[i], &q = b.Table[i];
        if (p.Name != q.Name || p.Position != q.Position || p.Size != q.Size || p.Offset != q.Offset ||
            p.Factor != q.Factor || p.FormatAs != q.FormatAs || p.Units != q.Units || p.Signed != q.Signed ||
            p.Flags != q.Flags || p.Icon != q.Icon)
            return "another table entry " + std::to_string(i);
    }
    std::vector<uint8_t> expected = good.Rows;
    if (lost >= 0)
        expected.erase(expected.begin() + lost * JournalRowBytes,
                       expected.begin() + (lost + 1) * JournalRowBytes);
    if (got.Rows != expected || got.RowCount != good.RowCount - (lost >= 0) ||
        got.Dropped != uint32_t(lost >= 0))
        return std::to_string(got.RowCount) + " rows, " + std::to_string(got.Dropped) + " dropped";
    return {};
}

// A journal's header as version 1 wrote it, its one copy: "QUILLMAR-JOURNAL",
// version 1, the header's size, start time, row size, data bytes, process
// id, the table, and a CRC-32 of the bytes before it.
std::vector<uint8_t> versionOneHeader(const TParameterArray& table, double start, int32_t pid) {
    std::vector<uint8_t> out;
    const auto u32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            out.push_back(uint8_t(v >> (8 * k)));
    };
    const auto f64 = [&](double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        u32(uint32_t(bits));
        u32(uint32_t(bits >> 32));
    };
    const auto text = [&](const std::string& t) {
        u32(uint32_t(t.size()));
        out.insert(out.end(), t.begin(), t.end());
    };
    const std::string magic = "QUILLMAR-JOURNAL";
    out.assign(magic.begin(), magic.end());
    u32(1);
    u32(0);
    f64(start);
    u32(71);
    u32(63);
    u32(uint32_t(pid));
    u32(uint32_t(table.size()));
    for (const TParameter& p : table) {
        out.push_back(p.Position);
        out.push_back(p.Size);
        out.push_back(p.Signed);
        out.push_back(p.Flags);
        u32(uint32_t(p.Icon));
        f64(p.Offset);
        f64(p.Factor);
        text(p.Name);
        text(p.FormatAs);
        text(p.Units);
    }
    put32(out, 20, uint32_t(out.size() + 4));
    u32(Crc32(out));
    return out;
}

// Row number's record as version 1 (and 2) write it.
void appendVersionOneRecord(std::vector<uint8_t>& out, const uint8_t* row, uint32_t number) {
    const uint8_t n[4] = {uint8_t(number), uint8_t(number >> 8), uint8_t(number >> 16),
                          uint8_t(number >> 24)};
    out.insert(out.end(), row, row + JournalRowBytes);
    const size_t at = out.size();
    out.resize(at + 4);
    put32(out, at, Crc32(std::span(row, JournalRowBytes), Crc32(n)));
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
    const size_t copy = copySize(good);
    fs::create_directories(folder);
    // A later version's journal, its checks intact; and one damaged in both
    // copies of its header.
    std::vector<uint8_t> newer = good, broken = good;
    for (const size_t at : {size_t(0), copy}) {
        put32(newer, at + 16, 3);
        put32(newer, at + copy - 4, Crc32(std::span(newer).subspan(at, copy - 4)));
        broken[at + 40] ^= 0xFF;
    }
    writeBytes(folder + "/a.journal", {'h', 'e', 'l', 'l', 'o'}, 5);
    writeBytes(folder + "/b.journal", newer, newer.size());
    writeBytes(folder + "/c.journal", broken, broken.size());
    writeBytes(folder + "/d.journal", good, 30); // cut inside the header
    writeBytes(folder + "/e.txt", good, good.size());

    const std::vector<JournalInfo> listed = ListJournals(folder);
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].Problem, folder + "/a.journal is not a journal");
    EXPECT_EQ(listed[1].Problem,
              folder + "/b.journal was written by a newer version of Quillmar (journal version 3)");
    EXPECT_EQ(listed[2].Problem, folder + "/c.journal has a damaged header");
    EXPECT_EQ(listed[3].Problem, folder + "/d.journal has a damaged header");

    // The start-up offer names them all, with the reasons, in one message,
    // and leaves them where they are.
    TLogCollection c;
    EXPECT_TRUE(OfferJournals(c, builtInTable(), folder).empty());
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_EQ(ms.m.seen[0].caption, "Warning");
    EXPECT_EQ(ms.m.seen[0].buttons, Buttons::Ok);
    EXPECT_EQ(ms.m.seen[0].text, "4 recordings' journals cannot be read:\n- " + listed[0].Problem + "\n- " +
                                     listed[1].Problem + "\n- " + listed[2].Problem + "\n- " +
                                     listed[3].Problem +
                                     "\nThey are left as they are, and named again at each start until "
                                     "they are moved or deleted.");
    EXPECT_EQ(filesIn(folder), 5u);
    EXPECT_THROW(RecoverJournal(c, folder + "/c.journal"), FileError);

    // The kinds, as a program tells them apart.
    const auto kindOf = [&](const std::string& name) {
        bool held = false;
        try {
            InspectJournal(folder + "/" + name, held);
        } catch (const FileError& e) {
            EXPECT_EQ(e.error().place.file, folder + "/" + name);
            return e.error().kind;
        }
        return ErrorKind::Other;
    };
    EXPECT_EQ(kindOf("a.journal"), ErrorKind::BadContent);
    EXPECT_EQ(kindOf("b.journal"), ErrorKind::NewerVersion);
    EXPECT_EQ(kindOf("c.journal"), ErrorKind::BadContent);
    EXPECT_EQ(kindOf("missing.journal"), ErrorKind::CannotOpen);
    EXPECT_EQ(c.Count(), 0);

    // One alone is named as one, beside the question about a readable one.
    fs::remove_all(folder);
    fs::create_directories(folder);
    writeBytes(folder + "/c.journal", broken, broken.size());
    leftBehind(folder, 2);
    ms.m.seen.clear();
    ms.m.script = {Answer::No, Answer::No};
    EXPECT_TRUE(OfferJournals(c, builtInTable(), folder).empty());
    ASSERT_EQ(ms.m.seen.size(), 3u);
    EXPECT_EQ(ms.m.seen[0].text, "A recording's journal cannot be read:\n- " + folder +
                                     "/c.journal has a damaged header\nIt is left as it is, and named "
                                     "again at each start until it is moved or deleted.");
    EXPECT_EQ(ms.m.seen[1].caption, "Query");
    EXPECT_EQ(filesIn(folder), 2u);
}

TEST(Journal, OneFlippedBitInTheHeaderCostsNoRowAndOneInARecordOnlyItsRow) {
    TempDir dir;
    // A small table keeps the header short enough to flip every bit of it.
    const TParameterArray small(builtInTable()->begin(), builtInTable()->begin() + 3);
    const uint32_t n = 4;
    const std::vector<uint8_t> bytes = journalOf(dir.file("state"), small, n);
    const JournalContents good = ParseJournal(bytes, "good");
    ASSERT_EQ(good.RowCount, n);
    const size_t copy = copySize(bytes);
    const size_t header = 2 * copy;
    ASSERT_EQ(bytes.size(), header + n * JournalRecordBytes);
    // The two copies, byte for byte the same.
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + long(copy), bytes.begin() + long(copy)));

    std::vector<std::string> failures;
    std::vector<uint8_t> flipped = bytes;
    for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
        flipped[bit / 8] ^= uint8_t(1u << (bit % 8));
        const long hit = bit / 8 < header ? -1 : long((bit / 8 - header) / JournalRecordBytes);
        const std::string problem = lostOnly(flipped, good, hit);
        if (!problem.empty() && failures.size() < 10)
            failures.push_back("bit " + std::to_string(bit) + ": " + problem);
        flipped[bit / 8] ^= uint8_t(1u << (bit % 8));
    }
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);

    // The built-in table's header, every 97th bit; and through the files.
    const std::vector<uint8_t> full = journalOf(dir.file("full"), *builtInTable(), n);
    const JournalContents fullGood = ParseJournal(full, "good");
    const size_t fullHeader = 2 * copySize(full);
    flipped = full;
    for (size_t bit = 0; bit < fullHeader * 8; bit += 97) {
        flipped[bit / 8] ^= uint8_t(1u << (bit % 8));
        const std::string problem = lostOnly(flipped, fullGood, -1);
        if (!problem.empty() && failures.size() < 10)
            failures.push_back("bit " + std::to_string(bit) + ": " + problem);
        flipped[bit / 8] ^= uint8_t(1u << (bit % 8));
    }
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);

    const std::string folder = dir.file("flipped");
    fs::create_directories(folder);
    for (const size_t at : {size_t(3), size_t(17), size_t(21), size_t(copy - 1), copy + 5}) {
        flipped = bytes;
        flipped[at] ^= 0x10;
        writeBytes(folder + "/recording-1-flipped.journal", flipped, flipped.size());
        const std::vector<JournalInfo> listed = ListJournals(folder);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].Problem, "") << at;
        EXPECT_EQ(listed[0].Rows, n) << at;
        TLogCollection c;
        const RecoveredJournal r = RecoverJournal(c, listed[0].Path);
        ASSERT_NE(r.Dataset, nullptr) << at;
        EXPECT_EQ(r.Dataset->Parameters->size(), 3u);
        EXPECT_EQ(std::memcmp(r.Dataset->RowData(1), good.Rows.data(), good.Rows.size()), 0) << at;
        c.FreeDataset(r.Dataset); // let go: no question without a messenger, the journal goes
    }
}

TEST(Journal, AJournalOfVersionOneIsStillRecovered) {
    MessengerScope ms;
    TempDir dir;
    const std::string folder = dir.file("state");
    fs::create_directories(folder);
    auto source = makeLog(drive(6));
    std::vector<uint8_t> v1 = versionOneHeader(*builtInTable(), 45000.25, 4242);
    const size_t header = v1.size();
    for (uint32_t r = 1; r <= 6; ++r)
        appendVersionOneRecord(v1, source->RowData(r), r);
    v1[header + 3 * JournalRecordBytes + 7] ^= 0x04; // the fourth row damaged
    const std::string path = folder + "/recording-4242-0123456789abcdef.journal";
    writeBytes(path, v1, v1.size());

    const JournalContents contents = ParseJournal(v1, path);
    EXPECT_EQ(contents.Header.ProcessId, 4242);
    EXPECT_EQ(contents.RowCount, 5u);
    EXPECT_EQ(contents.Dropped, 1u);
    const std::vector<JournalInfo> listed = ListJournals(folder);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Problem, "");
    EXPECT_EQ(listed[0].StartTime, 45000.25);

    ms.m.script = {Answer::Yes};
    TLogCollection c;
    const std::vector<TALDLLog*> got = OfferJournals(c, builtInTable(), folder);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0]->Parameters, builtInTable()); // the same table: shared
    ASSERT_EQ(got[0]->Rows, 5u);
    EXPECT_EQ(std::memcmp(got[0]->RowData(1), source->RowData(1), 3 * JournalRowBytes), 0);
    EXPECT_EQ(std::memcmp(got[0]->RowData(4), source->RowData(5), 2 * JournalRowBytes), 0);
    EXPECT_TRUE(c.saveDatasetAs(dir.file("v1.ecu")));
    EXPECT_FALSE(fs::exists(path));
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
    c.selectDataset(&failed);
    const std::string nowhere = dir.file("no/such/folder/run.ecu");
    EXPECT_FALSE(c.saveDatasetAs(nowhere));
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_EQ(ms.m.seen[0].caption, "Error");
    EXPECT_NE(ms.m.seen[0].text.find(nowhere), std::string::npos) << ms.m.seen[0].text;
    EXPECT_FALSE(failed.Saved);
    EXPECT_NE(failed.Journal(), nullptr);

    c.selectDataset(&saved);
    EXPECT_TRUE(c.saveDatasetAs(dir.file("run.ecu")));
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
    // Recover? defaults to Yes; Delete? to No, the answer that loses nothing.
    EXPECT_EQ(ms.m.seen[0].byDefault, Answer::Yes);
    EXPECT_EQ(ms.m.seen[1].byDefault, Answer::Yes);
    EXPECT_EQ(ms.m.seen[2].byDefault, Answer::No);
    EXPECT_EQ(ms.m.seen[4].byDefault, Answer::No);
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
    EXPECT_TRUE(c.saveDatasetAs(dir.file("recovered.ecu")));
    EXPECT_FALSE(fs::exists(recover));
    TALDLLog reread(builtInTable());
    LoadLogFile(reread, dir.file("recovered.ecu"));
    EXPECT_EQ(reread.Rows, 7u);
}

namespace {

// The previous file, the failed save's message, the dataset and the journal
// after saving a large recording to file.
void expectFailedSaveKeepsEverything(const std::string& file, const std::string& journals) {
    TLogCollection c;
    ASSERT_TRUE(fs::exists(file));
    const std::vector<uint8_t> before = readBytes(file);
    MessengerScope ms;
    TALDLLog& big = record(c, journals, 2000); // 142,000 bytes: more than the file system holds
    const std::string journal = big.Journal()->Path();
    EXPECT_FALSE(c.saveDatasetAs(file));
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
    if (!mounts::MountSmallTmpfs(small)) GTEST_SKIP() << "no private mount namespace for a small tmpfs here";
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
    EXPECT_FALSE(c.saveDatasetAs(folder + "/run.ecu"));
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_NE(ms.m.seen[0].text.find(folder + "/run.ecu"), std::string::npos);
    EXPECT_FALSE(log.Saved);
    EXPECT_NE(log.Journal(), nullptr);
}
