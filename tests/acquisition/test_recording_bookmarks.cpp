// Bookmarks set while logging: numbered moments of the recording on its own
// clock, kept beside its journal while it runs, written beside the log by
// Save and Save As, read back with the log and with a recovered journal. A
// save whose bookmarks cannot be written is a failed save.

#include "AcquisitionTestSupport.h"

#include "acquisition/Acquisition.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/JournalRecovery.h"
#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmar {
namespace {

namespace fs = std::filesystem;

std::vector<Bookmark> besideJournal(const TALDLLog& log) {
    std::vector<std::string> warnings;
    std::vector<Bookmark> marks = ReadJournalBookmarks(log.Journal()->Path(), warnings);
    EXPECT_TRUE(warnings.empty());
    return marks;
}

class RecordingBookmarksTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-marks-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        journals = (dir / "journals").string();
        SimOptions options;
        options.LinkPath = (dir / "adapter").string();
        sim = std::make_unique<SimulatedEcu>(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
        start(acq);
    }
    void TearDown() override {
        acq.shutdown();
        sim.reset();
        fs::remove_all(dir);
    }
    void start(Acquisition& cycle) {
        cycle.setClock([this] { return clock.days; });
        cycle.setJournalFolder(journals);
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.Port = (dir / "adapter").string();
        ASSERT_TRUE(cycle.start(setup));
        ASSERT_TRUE(cycle.comms()->IsOpen()) << cycle.connectError();
        cycle.comms()->SetWaitLimit(1000); // no spurious "No reply" on a busy machine
    }
    void tick(Acquisition& cycle, double seconds = 0.2) {
        clock.advanceSeconds(seconds);
        cycle.acquisitionTick();
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
    std::string journals;
    testing::RecordingMessenger messenger;
    testing::ManualClock clock;
    std::unique_ptr<SimulatedEcu> sim;
    TLogCollection collection;
    Acquisition acq{collection};
};

TEST_F(RecordingBookmarksTest, SetWhileLoggingKeptBesideTheJournalSavedBesideTheLogAndReadBack) {
    // Only a recording has moments to mark.
    EXPECT_FALSE(acq.addBookmark("too early"));
    ASSERT_TRUE(acq.startTalking());
    EXPECT_FALSE(acq.addBookmark("still too early"));
    EXPECT_FALSE(acq.recordingSeconds());

    ASSERT_TRUE(acq.startLogging());
    tick(acq);
    tick(acq);
    clock.advanceSeconds(0.05); // between two rows: the moment, not the row
    const std::optional<Bookmark> first = acq.addBookmark("Launch");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Number, 1u);
    EXPECT_EQ(first->Time, 0.45); // to the millisecond, as the file holds it
    // A moment taken earlier (a key pressed before the note was typed), a
    // dashboard's warning, a note of several lines.
    const double pressed = *acq.recordingSeconds();
    tick(acq);
    EXPECT_EQ(acq.addBookmark("", pressed)->Time, 0.45);
    EXPECT_EQ(acq.addBookmark("Danger: Coolant temp above 110")->Number, 3u);
    EXPECT_DOUBLE_EQ(acq.addBookmark("two\nlines", 99.0)->Time, 0.65); // never after now
    EXPECT_EQ(acq.addBookmark("before the start", -5.0)->Time, 0.0);

    TALDLLog* log = acq.currentLog();
    ASSERT_NE(log->Journal(), nullptr);
    ASSERT_EQ(log->Bookmarks.size(), 5u);
    EXPECT_EQ(log->Bookmarks[3].Note, "two lines");
    EXPECT_EQ(besideJournal(*log), log->Bookmarks);
    const std::string journal = log->Journal()->Path();

    acq.stopLogging();
    ASSERT_EQ(collection.Count(), 1);
    ASSERT_EQ(log->Bookmarks.size(), 5u); // the recording's, after its end too
    ASSERT_TRUE(collection.saveDatasetAs(path("run.ecu")));
    EXPECT_TRUE(log->Saved);
    std::ifstream written(path("run.ecu.bookmarks"));
    std::string firstLine;
    std::getline(written, firstLine);
    EXPECT_EQ(firstLine, "0.450\t1\tLaunch");
    // The journal went with its bookmarks.
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_FALSE(fs::exists(JournalBookmarksFileName(journal)));

    // Opened again: the dataset has them.
    TLogCollection other;
    ASSERT_TRUE(other.openLogs({path("run.ecu")}, acq.sharedParameters()));
    ASSERT_EQ(other.Count(), 1);
    const std::vector<Bookmark>& read = other.ReadLog(0)->Bookmarks;
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[2], (Bookmark{0.65, 3, "Danger: Coolant temp above 110"}));
    EXPECT_TRUE(messenger.shown.empty());

    // A recording without bookmarks saved under that name leaves no stale
    // bookmarks beside it.
    ASSERT_TRUE(acq.startLogging());
    tick(acq);
    acq.stopLogging();
    ASSERT_TRUE(collection.saveDatasetAs(path("run.ecu")));
    EXPECT_FALSE(fs::exists(path("run.ecu.bookmarks")));
}

TEST_F(RecordingBookmarksTest, ASaveWhoseBookmarksCannotBeWrittenFails) {
    ASSERT_TRUE(acq.startLogging());
    tick(acq);
    ASSERT_TRUE(acq.addBookmark("Shift"));
    // A journal that cannot keep one more is a warning; the recording has it.
    const std::string side = JournalBookmarksFileName(acq.currentLog()->Journal()->Path());
    fs::remove(side);
    fs::create_directories(side);
    ASSERT_TRUE(acq.addBookmark("Lost from the journal"));
    EXPECT_EQ(acq.currentLog()->Bookmarks.size(), 2u);
    ASSERT_FALSE(acq.errorLog().empty());
    EXPECT_EQ(acq.errorLog().back().rfind("Warning: the journal keeps no bookmarks: ", 0), 0u)
        << acq.errorLog().back();
    fs::remove(side);
    acq.addBookmark("Kept again");
    acq.stopLogging();
    TALDLLog* log = collection.ReadLog(0);
    ASSERT_NE(log, nullptr);
    // Where the bookmarks would go there is a folder, which no save replaces.
    fs::create_directories(path("bad.ecu.bookmarks"));
    EXPECT_FALSE(collection.saveDatasetAs(path("bad.ecu")));
    EXPECT_FALSE(log->Saved);
    EXPECT_TRUE(log->FileName.empty());
    ASSERT_NE(log->Journal(), nullptr); // the rows' safe copy stays
    EXPECT_EQ(besideJournal(*log).size(), 3u);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].first, "Error");
    EXPECT_NE(messenger.shown[0].second.find("bad.ecu.bookmarks"), std::string::npos)
        << messenger.shown[0].second;

    // Once the way is clear the same save writes both.
    fs::remove(path("bad.ecu.bookmarks"));
    EXPECT_TRUE(collection.saveDatasetAs(path("bad.ecu")));
    EXPECT_TRUE(log->Saved);
    EXPECT_TRUE(fs::is_regular_file(path("bad.ecu.bookmarks")));
}

TEST_F(RecordingBookmarksTest, ARecoveredRecordingBringsItsBookmarks) {
    acq.shutdown(); // the port is the other program's
    std::string journal;
    std::vector<Bookmark> marks;
    {
        // A program of its own, which ends without saving.
        TLogCollection datasets;
        Acquisition cycle(datasets);
        start(cycle);
        ASSERT_TRUE(cycle.startLogging());
        tick(cycle);
        cycle.addBookmark("Wide open");
        tick(cycle);
        cycle.addBookmark("Lift");
        marks = cycle.currentLog()->Bookmarks;
        journal = cycle.currentLog()->Journal()->Path();
    }
    ASSERT_TRUE(fs::exists(JournalBookmarksFileName(journal)));
    TLogCollection other;
    const RecoveredJournal r = RecoverJournal(other, journal);
    ASSERT_NE(r.Dataset, nullptr);
    EXPECT_EQ(r.Dataset->Bookmarks, marks);
    ASSERT_TRUE(other.saveDatasetAs(path("recovered.ecu")));
    EXPECT_TRUE(fs::exists(path("recovered.ecu.bookmarks")));
    EXPECT_FALSE(fs::exists(JournalBookmarksFileName(journal)));
}

} // namespace
} // namespace quillmar
