// The bookmarks file beside a log: its exact lines, the round trip, and
// hostile text that is read without failing and said line by line.

#include "StoreTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "store/Bookmarks.h"
#include "store/Journal.h"
#include "store/base/FileError.h"

#include <gtest/gtest.h>

#include <clocale>
#include <random>
#include <sys/stat.h>

namespace quillmar {
namespace {

using test::ScratchDir;

std::string fileText(const std::string& name) {
    const std::vector<uint8_t> bytes = test::readFile(name);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& name, const std::string& text) {
    test::writeFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(Bookmarks, LinesHoldTimeNumberAndNoteSeparatedByTabs) {
    ScratchDir dir;
    const std::string log = dir.file("run.ecu");
    EXPECT_EQ(BookmarksFileName(log), log + ".bookmarks");
    const std::vector<Bookmark> marks = {
        {12.3456, 1, "Full throttle"},
        {0, 2, ""},
        {3600.5, 3, "tab\there, lines\r\nbroken\nand\rmore \u2028 end"},
        {7.0004, 4, "Schlupf über 10 %"},
    };
    SaveBookmarksBeside(log, marks);
    EXPECT_EQ(fileText(log + ".bookmarks"), "12.346\t1\tFull throttle\n"
                                            "0.000\t2\t\n"
                                            "3600.500\t3\ttab here, lines broken and more   end\n"
                                            "7.000\t4\tSchlupf über 10 %\n");
    const std::optional<BookmarkRead> read = ReadBookmarks(log + ".bookmarks");
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->Warnings.empty());
    ASSERT_EQ(read->Bookmarks.size(), 4u);
    EXPECT_EQ(read->Bookmarks[0], (Bookmark{12.346, 1, "Full throttle"}));
    EXPECT_EQ(read->Bookmarks[1], (Bookmark{0, 2, ""}));
    EXPECT_EQ(read->Bookmarks[2].Note, "tab here, lines broken and more   end");
    EXPECT_EQ(read->Bookmarks[3].Note, "Schlupf über 10 %");

    // Written again from what was read: the same bytes.
    const std::string again = dir.file("again.bookmarks");
    WriteBookmarks(again, read->Bookmarks);
    EXPECT_EQ(fileText(again), fileText(log + ".bookmarks"));

    // No bookmarks: a file left by an earlier log of that name goes.
    SaveBookmarksBeside(log, {});
    EXPECT_FALSE(std::filesystem::exists(log + ".bookmarks"));
    EXPECT_FALSE(ReadBookmarks(log + ".bookmarks").has_value());
    SaveBookmarksBeside(log, {}); // nothing there: nothing to do
}

TEST(Bookmarks, TimesUseAPointWhateverTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    // A locale with a decimal comma, where the machine has one.
    const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    EXPECT_EQ(FormatBookmarkTime(1.5), "1.500");
    EXPECT_EQ(FormatBookmarkTime(-0.0), "0.000");
    EXPECT_EQ(FormatBookmarkTime(std::nan("")), "0.000");
    const BookmarkRead r = ParseBookmarks("2.250\t1\tx\n", "f");
    ASSERT_EQ(r.Bookmarks.size(), 1u);
    EXPECT_EQ(r.Bookmarks[0].Time, 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!comma) GTEST_LOG_(INFO) << "no de_DE locale here; checked in the C locale only";
}

TEST(Bookmarks, HostileLinesAreSkippedWithFileAndLine) {
    const std::string text = "\xEF\xBB\xBF"
                             "1.000\t1\tgood\r\n"
                             "\n"
                             "   \n"
                             "no tabs at all\n"
                             "2.000\t2\n"
                             "abc\t3\tnote\n"
                             "-1.000\t4\tnote\n"
                             "1e3\t5\tnote\n"
                             "4.000\t0\tnote\n"
                             "4.000\t-2\tnote\n"
                             "4.000\t99999999999\tnote\n"
                             "5.000\t6\tbad \xFF\xFE bytes\n"
                             "6.000\t7\tnote\twith\ttabs\n"
                             " 7.5 \t 8 \tspaced";
    const BookmarkRead r = ParseBookmarks(text, "run.ecu.bookmarks");
    ASSERT_EQ(r.Bookmarks.size(), 4u);
    EXPECT_EQ(r.Bookmarks[0], (Bookmark{1, 1, "good"}));
    EXPECT_EQ(r.Bookmarks[1], (Bookmark{5, 6, "bad \xEF\xBF\xBD\xEF\xBF\xBD bytes"}));
    EXPECT_EQ(r.Bookmarks[2], (Bookmark{6, 7, "note with tabs"}));
    EXPECT_EQ(r.Bookmarks[3], (Bookmark{7.5, 8, "spaced"}));
    const std::vector<std::string> expected = {
        "run.ecu.bookmarks line 4: not a bookmark (time, tab, number, tab, note)",
        "run.ecu.bookmarks line 5: not a bookmark (time, tab, number, tab, note)",
        "run.ecu.bookmarks line 6: 'abc' is not a time in seconds",
        "run.ecu.bookmarks line 7: '-1.000' is not a time in seconds",
        "run.ecu.bookmarks line 8: '1e3' is not a time in seconds",
        "run.ecu.bookmarks line 9: '0' is not a bookmark number",
        "run.ecu.bookmarks line 10: '-2' is not a bookmark number",
        "run.ecu.bookmarks line 11: '99999999999' is not a bookmark number",
        "run.ecu.bookmarks line 12: the note is not UTF-8; its odd bytes are shown as \xEF\xBF\xBD",
    };
    EXPECT_EQ(r.Warnings, expected);

    // Thousands of bad lines: a bounded list of warnings and a count.
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "junk\n";
    const BookmarkRead m = ParseBookmarks(many, "f");
    EXPECT_TRUE(m.Bookmarks.empty());
    ASSERT_EQ(m.Warnings.size(), 21u);
    EXPECT_EQ(m.Warnings.back(), "f: 4980 more lines with problems");

    // A long field is shortened in the message.
    const BookmarkRead longField = ParseBookmarks(std::string(500, 'x') + "\t1\tn", "f");
    ASSERT_EQ(longField.Warnings.size(), 1u);
    EXPECT_LT(longField.Warnings[0].size(), 100u);

    // Random bytes never crash and every note read is one clean line.
    std::mt19937 rng(9);
    for (int round = 0; round < 300; ++round) {
        std::string junk(size_t(rng() % 400), '\0');
        for (char& c : junk) {
            const uint32_t pick = rng() % 10;
            c = pick == 0 ? '\t' : pick == 1 ? '\n' : pick < 5 ? char('0' + rng() % 10) : char(rng());
        }
        for (const Bookmark& b : ParseBookmarks(junk, "f").Bookmarks) {
            EXPECT_EQ(b.Note.find_first_of("\t\n\r"), std::string::npos);
            EXPECT_EQ(CleanBookmarkNote(b.Note), b.Note);
        }
    }
}

TEST(Bookmarks, FilesThatCannotBeReadSayWhy) {
    ScratchDir dir;
    EXPECT_FALSE(ReadBookmarks(dir.file("none.ecu.bookmarks")).has_value());
    // A folder by that name is no bookmarks file.
    std::filesystem::create_directory(dir.file("folder.ecu.bookmarks"));
    try {
        ReadBookmarks(dir.file("folder.ecu.bookmarks"));
        ADD_FAILURE() << "a folder was read";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("folder.ecu.bookmarks"), std::string::npos) << e.what();
    }
    // Nor is it removed or replaced by a save without bookmarks.
    SaveBookmarksBeside(dir.file("folder.ecu"), {});
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.ecu.bookmarks")));
    EXPECT_THROW(SaveBookmarksBeside(dir.file("folder.ecu"), {{1, 1, "x"}}), FileError);
    // An empty file holds no bookmarks and no complaint.
    writeText(dir.file("empty.bookmarks"), "");
    const auto empty = ReadBookmarks(dir.file("empty.bookmarks"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->Bookmarks.empty());
    EXPECT_TRUE(empty->Warnings.empty());
}

TEST(Bookmarks, AJournalKeepsThemBesideItAndTakesThemWhenItGoes) {
    ScratchDir dir;
    const std::string folder = dir.file("journals");
    std::unique_ptr<TJournal> journal = TJournal::Create(folder, BuiltInParameters(), 45000.0);
    const std::string side = JournalBookmarksFileName(journal->Path());
    EXPECT_EQ(side, journal->Path() + ".bookmarks");
    std::vector<std::string> warnings;
    EXPECT_TRUE(ReadJournalBookmarks(journal->Path(), warnings).empty()); // none yet: no file
    EXPECT_TRUE(warnings.empty());

    // Each change rewrites them all.
    std::vector<Bookmark> marks{{1.5, 1, "Launch"}};
    journal->KeepBookmarks(marks);
    marks.push_back({2.25, 2, ""});
    journal->KeepBookmarks(marks);
    EXPECT_EQ(ReadJournalBookmarks(journal->Path(), warnings), marks);
    EXPECT_TRUE(warnings.empty());
    // The folder's journals are not taken for bookmarks, nor the other way round.
    size_t journals = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        journals += entry.path().string().ends_with(JournalSuffix);
    EXPECT_EQ(journals, 1u);

    // A damaged line is a warning; the others are read.
    writeText(side, "1.500\t1\tLaunch\nnonsense\n");
    EXPECT_EQ(ReadJournalBookmarks(journal->Path(), warnings), std::vector<Bookmark>{marks[0]});
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(side + " line 2: "), std::string::npos) << warnings[0];

    // Removed with the journal, whichever way it goes.
    journal->Remove();
    EXPECT_FALSE(std::filesystem::exists(side));
    journal = TJournal::Create(folder, BuiltInParameters(), 45000.0);
    journal->KeepBookmarks(marks);
    const std::string path = journal->Path();
    journal.reset(); // the process ends: both stay for recovery
    ASSERT_TRUE(std::filesystem::exists(JournalBookmarksFileName(path)));
    EXPECT_TRUE(DeleteJournal(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(JournalBookmarksFileName(path)));
}

} // namespace
} // namespace quillmar
