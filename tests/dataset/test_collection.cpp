// The collection of open datasets and the log-file commands.

#include "tests/dataset/DatasetTestSupport.h"

#include "store/dataset/LogCollection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

std::vector<RowSpec> drive(uint32_t n, uint8_t speed = 40) {
    std::vector<RowSpec> rows(n);
    for (uint32_t i = 0; i < n; ++i) {
        rows[i].time = i * 0.2;
        rows[i].speed = speed;
        rows[i].engineSpeed = 120;
    }
    return rows;
}

// Writes a log file of n rows and returns its path.
std::string writeLog(const TempDir& dir, const std::string& name, uint32_t n, uint8_t speed = 40) {
    auto log = makeLog(drive(n, speed));
    const std::string path = dir.file(name);
    log->SaveToFile(path);
    return path;
}

// Records what the windows are told.
struct Front {
    int curves = 0;
    std::vector<uint32_t> tableRows;
    std::vector<bool> timeShift;
    std::vector<std::optional<std::string>> saveAsAnswers;
    int saveAsShown = 0;
    std::vector<std::string> saveAsFor; // the dataset each dialog was for

    void attach(TLogCollection& c) {
        c.Hooks.DatasetsChanged = [this] { ++curves; };
        c.Hooks.ShowRow = [this](uint32_t row) { tableRows.push_back(row); };
        c.Hooks.OverlayChanged = [this](bool on) { timeShift.push_back(on); };
        c.Hooks.ChooseSaveFile = [this](const TALDLLog& dataset) -> std::optional<std::string> {
            ++saveAsShown;
            saveAsFor.push_back(dataset.DatasetName());
            if (saveAsAnswers.empty()) return std::nullopt;
            auto a = saveAsAnswers.front();
            saveAsAnswers.erase(saveAsAnswers.begin());
            return a;
        };
    }
};

// A dataset as a recording leaves it: rows, derived, not saved.
TALDLLog& record(TLogCollection& c, uint32_t n) {
    TALDLLog& log = c.NewDataset(builtInTable());
    appendRows(log, drive(n));
    c.FinishRecording(log, n);
    return log;
}

} // namespace

TEST(LogCollection, NamesByPositionAtCreationNeverRenumbered) {
    MessengerScope ms;
    TLogCollection c;
    EXPECT_EQ(c.selectionText(), "No data");
    EXPECT_EQ(c.CurrentDataset(), nullptr);
    TALDLLog& a = c.NewDataset(builtInTable());
    TALDLLog& b = c.NewDataset(builtInTable());
    EXPECT_EQ(a.DatasetName(), "Dataset 0");
    EXPECT_EQ(b.DatasetName(), "Dataset 1");
    EXPECT_EQ(c.ReadLog(1), &b);
    EXPECT_EQ(c.CurrentDataset(), &a); // none selected: item 0
    EXPECT_EQ(c.selectionText(), "Dataset 0");

    // Empty datasets close without a question; the next name repeats.
    c.closeDataset();
    TALDLLog& d = c.NewDataset(builtInTable());
    EXPECT_EQ(d.DatasetName(), "Dataset 1");
    EXPECT_EQ(b.DatasetName(), "Dataset 1");
    // Removal is by position: closing the second "Dataset 1" leaves the first.
    std::vector<uint32_t> shown;
    c.Hooks.ShowRow = [&](uint32_t row) { shown.push_back(row); };
    c.chooseDataset(1);
    EXPECT_EQ(c.CurrentDataset(), &d);
    EXPECT_EQ(shown, std::vector<uint32_t>{1});
    c.closeDataset();
    ASSERT_EQ(c.Count(), 1);
    EXPECT_EQ(c.ReadLog(0), &b);
    EXPECT_TRUE(ms.m.seen.empty());
    EXPECT_EQ(c.CurrentCurve(6), 0);
    c.closeDataset();
    EXPECT_EQ(c.selectionText(), "No data");
    EXPECT_EQ(c.CurrentCurve(6), 0);
}

TEST(LogCollection, OverlayAndCloseQuestions) {
    TempDir dir;
    const std::string first = writeLog(dir, "first.ecu", 20);
    const std::string second = writeLog(dir, "second.ecu", 30);
    {
        // No to "Overlay data?", Yes to "Close current dataset?": only the new one stays.
        MessengerScope ms;
        TLogCollection c;
        Front f;
        f.attach(c);
        // The first file: no question, selected, named after the file.
        ASSERT_TRUE(c.openLogs({first}, builtInTable()));
        TALDLLog* log = c.ReadLog(0);
        EXPECT_EQ(c.selectionText(), "first.ecu");
        EXPECT_EQ(c.selectedIndex(), 0);
        EXPECT_TRUE(log->Saved);
        EXPECT_DOUBLE_EQ(log->Derived[TimeSlot][20], 19 * 0.2);
        EXPECT_EQ(f.timeShift, std::vector<bool>{false});
        EXPECT_EQ(f.tableRows, std::vector<uint32_t>{20});
        EXPECT_TRUE(ms.m.seen.empty());
        ms.m.script = {Answer::No, Answer::Yes};
        ASSERT_TRUE(c.openLogs({second}, builtInTable()));
        EXPECT_EQ(ms.m.texts(),
                  (std::vector<std::string>{"Query|Overlay data?", "Query|Close current dataset?"}));
        ASSERT_EQ(c.Count(), 1);
        EXPECT_EQ(c.ReadLog(0)->DatasetName(), "second.ecu");
        EXPECT_EQ(c.CurrentDataset(), c.ReadLog(0));
        EXPECT_EQ(f.timeShift.back(), false);
        // Loaded from a file: closing asks nothing.
        ms.m.seen.clear();
        c.closeDataset();
        EXPECT_TRUE(ms.m.seen.empty());
        EXPECT_EQ(c.selectionText(), "No data");
    }
    {
        // Three files while one is open: asked once; all named after their files.
        MessengerScope ms;
        TLogCollection c;
        Front f;
        f.attach(c);
        ASSERT_TRUE(c.openLogs({first}, builtInTable()));
        const std::string third = writeLog(dir, "third.ecu", 5);
        ms.m.script = {Answer::Yes};
        ASSERT_TRUE(c.openLogs({second, third, first}, builtInTable()));
        EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Query|Overlay data?"});
        ASSERT_EQ(c.Count(), 4);
        EXPECT_EQ(c.ReadLog(1)->DatasetName(), "second.ecu");
        EXPECT_EQ(c.ReadLog(2)->DatasetName(), "third.ecu");
        EXPECT_EQ(c.ReadLog(3)->DatasetName(), "first.ecu");
        EXPECT_EQ(c.selectedIndex(), 3); // the last opened
        EXPECT_EQ(f.timeShift.back(), true);
        EXPECT_EQ(c.CurrentCurve(8), 6);
    }
}

TEST(LogCollection, EmptyTruncatedMissingAndForeignFiles) {
    TempDir dir;
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    // An empty file leaves an empty dataset under its name, with no update.
    const std::string empty = dir.file("empty.ecu");
    std::ofstream(empty).close();
    ASSERT_TRUE(c.openLogs({empty}, builtInTable()));
    ASSERT_EQ(c.Count(), 1);
    EXPECT_EQ(c.ReadLog(0)->DatasetName(), "empty.ecu");
    EXPECT_EQ(c.ReadLog(0)->Rows, 0u);
    EXPECT_EQ(f.curves, 0);

    // A log cut off in its last row loads the whole rows and warns, naming the file.
    const std::string cut = writeLog(dir, "cut.ecu", 10);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 30);
    ms.m.script = {Answer::Yes}; // overlay
    ASSERT_TRUE(c.openLogs({cut}, builtInTable()));
    ASSERT_EQ(c.Count(), 2);
    EXPECT_EQ(c.ReadLog(1)->Rows, 9u);
    bool warned = false;
    for (const auto& s : ms.m.seen)
        warned |= s.caption == "Warning" && s.text.find("cut.ecu") != std::string::npos &&
                  s.text.find("9 of 10") != std::string::npos;
    EXPECT_TRUE(warned) << (ms.m.seen.empty() ? "" : ms.m.seen.back().text);

    // A missing file: the error names it, its dataset goes, later files are skipped.
    ms.m.seen.clear();
    const std::string good = writeLog(dir, "good.ecu", 10);
    EXPECT_FALSE(c.openLogs({dir.file("missing.ecu"), good}, builtInTable()));
    EXPECT_EQ(c.Count(), 2);
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_EQ(ms.m.seen[0].caption, "Error");
    EXPECT_NE(ms.m.seen[0].text.find("missing.ecu"), std::string::npos);

    // A store that is not a log (3 columns) is refused.
    ms.m.seen.clear();
    TNumber2DArrayStore other;
    other.Make2D(3, 2, 1);
    other.SaveToFile(dir.file("other.ecu"));
    EXPECT_FALSE(c.openLogs({dir.file("other.ecu")}, builtInTable()));
    EXPECT_EQ(c.Count(), 2);
    ASSERT_EQ(ms.m.seen.size(), 1u);
    EXPECT_NE(ms.m.seen[0].text.find("not a log file"), std::string::npos);

    // Opening while logging does nothing at all.
    c.setRecording(c.ReadLog(0));
    ms.m.seen.clear();
    EXPECT_TRUE(c.openLogs({good}, builtInTable()));
    EXPECT_EQ(c.Count(), 2);
    EXPECT_TRUE(ms.m.seen.empty());
}

TEST(LogCollection, SaveAndSaveAs) {
    TempDir dir;
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    TALDLLog& a = record(c, 12);
    EXPECT_FALSE(a.Saved);
    EXPECT_TRUE(a.FileName.empty());
    EXPECT_EQ(c.CurrentDataset(), &a);

    // Save with no file of its own goes through Save As, offered for it.
    const std::string target = dir.file("saved.ecu");
    f.saveAsAnswers = {target};
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 1);
    EXPECT_EQ(f.saveAsFor, std::vector<std::string>{"Dataset 0"});
    EXPECT_EQ(c.LogFileName, target);
    EXPECT_EQ(a.FileName, target);
    EXPECT_TRUE(a.Saved);
    auto back = OpenLogFile(target, builtInTable());
    EXPECT_EQ(back.Log->Rows, 12u);
    EXPECT_EQ(back.Log->DatasetName(), "saved.ecu");
    EXPECT_EQ(back.Log->FileName, target);

    // Save on another dataset never writes over the first one's file: it has
    // no file yet, so it asks for one.
    TALDLLog& b = record(c, 7);
    EXPECT_EQ(c.CurrentDataset(), &b);
    const std::string second = dir.file("second.ecu");
    f.saveAsAnswers = {second};
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 2);
    EXPECT_EQ(f.saveAsFor.back(), "Dataset 1");
    EXPECT_EQ(OpenLogFile(target, builtInTable()).Log->Rows, 12u);
    EXPECT_EQ(OpenLogFile(second, builtInTable()).Log->Rows, 7u);
    EXPECT_EQ(b.FileName, second);
    EXPECT_EQ(a.FileName, target);
    // Each Save after that goes to the dataset's own file, without a dialog.
    c.selectDataset(&a);
    a.Saved = false;
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 2);
    EXPECT_TRUE(a.Saved);
    EXPECT_EQ(OpenLogFile(target, builtInTable()).Log->Rows, 12u);
    EXPECT_EQ(OpenLogFile(second, builtInTable()).Log->Rows, 7u);
    EXPECT_TRUE(ms.m.seen.empty());

    // While logging, Save and Save As do nothing and say nothing, for the
    // dataset being recorded and for every other one.
    TALDLLog& rec = c.NewDataset(builtInTable());
    appendRows(rec, drive(3));
    c.setRecording(&rec);
    c.selectDataset(&rec);
    const std::string other = dir.file("other.ecu");
    EXPECT_TRUE(c.saveDatasetAs(other));
    EXPECT_TRUE(c.saveDataset());
    c.selectDataset(&a);
    a.Saved = false;
    EXPECT_TRUE(c.saveDatasetAs(other));
    EXPECT_TRUE(c.saveDataset());
    EXPECT_FALSE(std::filesystem::exists(other));
    EXPECT_FALSE(a.Saved);
    EXPECT_EQ(a.FileName, target);
    EXPECT_EQ(c.LogFileName, second);
    EXPECT_EQ(f.saveAsShown, 2);
    EXPECT_TRUE(ms.m.seen.empty());
    c.setRecording(nullptr);
    c.RemoveDataset(&rec);

    // A dataset without rows: Save writes nothing and shows no dialog.
    TALDLLog& empty = c.NewDataset(builtInTable());
    c.selectDataset(&empty);
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 2);
    EXPECT_TRUE(empty.FileName.empty());

    // A file that cannot be created: the error names it, Saved stays clear
    // and the dataset keeps the file it had.
    c.selectDataset(&b);
    b.Saved = false;
    EXPECT_FALSE(c.saveDatasetAs(dir.file("no/such/folder.ecu")));
    ASSERT_FALSE(ms.m.seen.empty());
    EXPECT_EQ(ms.m.seen.back().caption, "Error");
    EXPECT_NE(ms.m.seen.back().text.find("folder.ecu"), std::string::npos);
    EXPECT_FALSE(b.Saved);
    EXPECT_EQ(b.FileName, second);
    // Its next Save still goes to its own file, not to the name that failed.
    EXPECT_TRUE(c.saveDataset());
    EXPECT_TRUE(b.Saved);
    EXPECT_EQ(f.saveAsShown, 2);
}

TEST(LogCollection, RecordSaveRecordSaveLeaveLosesNothing) {
    TempDir dir;
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    // Record a run and Save it as one.ecu.
    TALDLLog& first = record(c, 5);
    const std::string one = dir.file("one.ecu");
    f.saveAsAnswers = {one};
    EXPECT_TRUE(c.saveDataset());
    ASSERT_TRUE(first.Saved);
    // Record a second run, Save, and cancel the dialog: nothing is written,
    // and the second run is not counted as saved.
    TALDLLog& second = record(c, 9);
    f.saveAsAnswers = {std::nullopt};
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 2);
    EXPECT_FALSE(second.Saved);
    EXPECT_TRUE(second.FileName.empty());
    EXPECT_EQ(c.LogFileName, one); // the last name chosen
    EXPECT_EQ(OpenLogFile(one, builtInTable()).Log->Rows, 5u);

    // Leaving asks about the second run only, and saves it where the user says.
    const std::string two = dir.file("two.ecu");
    ms.m.script = {Answer::Yes};
    f.saveAsAnswers = {two};
    EXPECT_TRUE(c.FreeAll());
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|Dataset 1 not saved. Save now?"});
    EXPECT_EQ(f.saveAsFor.back(), "Dataset 1");
    EXPECT_EQ(OpenLogFile(one, builtInTable()).Log->Rows, 5u);
    EXPECT_EQ(OpenLogFile(two, builtInTable()).Log->Rows, 9u);
    EXPECT_EQ(c.LogFileName, two);
}

TEST(LogCollection, ADatasetWhoseFileIsWrittenOverByAnotherIsNoLongerSaved) {
    TempDir dir;
    const std::string drive1 = writeLog(dir, "drive.ecu", 8);
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    // Opened from a file: that is its own file, and Save writes it back there.
    ASSERT_TRUE(c.openLogs({drive1}, builtInTable()));
    TALDLLog* opened = c.ReadLog(0);
    EXPECT_EQ(opened->FileName, drive1);
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsShown, 0);

    // Another recording saved over it (the dialog asked before replacing):
    // the rows of the opened dataset are in no file any more.
    TALDLLog& rec = record(c, 3);
    EXPECT_TRUE(c.saveDatasetAs(dir.file("./drive.ecu")));
    EXPECT_EQ(OpenLogFile(drive1, builtInTable()).Log->Rows, 3u);
    EXPECT_TRUE(rec.Saved);
    EXPECT_FALSE(opened->Saved);
    EXPECT_TRUE(opened->FileName.empty());

    // Its Save asks for a file, and closing it asks first.
    c.selectDataset(opened);
    f.saveAsAnswers = {std::nullopt};
    EXPECT_TRUE(c.saveDataset());
    EXPECT_EQ(f.saveAsFor, std::vector<std::string>{"drive.ecu"});
    ms.m.script = {Answer::No};
    c.closeDataset();
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|drive.ecu not saved. Save now?"});
}

TEST(LogCollection, TheSaveAsDialogIsOfferedANameForItsDataset) {
    const char* oldTz = std::getenv("TZ");
    const std::string keptTz = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();

    // 2026-12-09 14:12:30 in days since 1899-12-30.
    const double started = 46365 + (14 * 3600 + 12 * 60 + 30) / 86400.0;
    EXPECT_EQ(StartTimeFileName(started), "2026-12-09_1412.ecu");
    EXPECT_EQ(StartTimeFileName(0), "");
    EXPECT_EQ(StartTimeFileName(std::nan("")), "");
    EXPECT_EQ(StartTimeFileName(1e300), "");

    MessengerScope ms;
    TLogCollection c;
    TALDLLog& a = c.NewDataset(builtInTable());
    EXPECT_EQ(SuggestedFileName(a), "Dataset 0.ecu"); // no start known
    a.StartTime = started;
    EXPECT_EQ(SuggestedFileName(a), "2026-12-09_1412.ecu");
    a.FileName = "/logs/run.ecu";
    EXPECT_EQ(SuggestedFileName(a), "/logs/run.ecu");

    // The unsaved-data question offers the dialog for the dataset being
    // freed, not for the current one.
    TLogCollection d;
    Front f;
    f.attach(d);
    record(d, 4);
    record(d, 4);
    ASSERT_EQ(d.CurrentDataset(), d.ReadLog(1));
    ms.m.script = {Answer::Yes};
    EXPECT_FALSE(d.FreeAll()); // the dialog is cancelled: it stays
    EXPECT_EQ(f.saveAsFor, std::vector<std::string>{"Dataset 0"});
    EXPECT_EQ(d.Count(), 2);

    if (oldTz)
        ::setenv("TZ", keptTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(LogCollection, UnsavedDataQuestion) {
    TempDir dir;
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    record(c, 5);
    record(c, 5);
    TALDLLog& third = record(c, 5);
    EXPECT_EQ(c.CurrentDataset(), &third);

    // No: freed without saving.
    c.closeDataset();
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|Dataset 2 not saved. Save now?"});
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(f.tableRows.back(), 1u);

    // Yes, and the save fails: the dataset stays open and listed.
    ms.m.seen.clear();
    TALDLLog* first = c.CurrentDataset();
    ms.m.script = {Answer::Yes};
    f.saveAsAnswers = {dir.file("missing/x.ecu")};
    c.closeDataset();
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(c.ReadLog(0), first);
    ASSERT_EQ(ms.m.seen.size(), 2u);
    EXPECT_EQ(ms.m.seen[1].caption, "Error");
    EXPECT_NE(ms.m.seen[1].text.find("x.ecu"), std::string::npos);

    // Yes, and the save works: written, named in LogFileName, freed.
    ms.m.script = {Answer::Yes};
    const std::string file = dir.file("kept.ecu");
    f.saveAsAnswers = {file};
    c.closeDataset();
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.LogFileName, file);
    EXPECT_EQ(OpenLogFile(file, builtInTable()).Log->Rows, 5u);

    // Yes, then the dialog is cancelled: the user asked to save, so it stays.
    ms.m.script = {Answer::Yes};
    c.closeDataset();
    EXPECT_EQ(c.Count(), 1);
    ms.m.script = {Answer::Yes};
    EXPECT_FALSE(c.FreeAll());
    EXPECT_EQ(c.Count(), 1);

    // No: freed at last.
    ms.m.script = {Answer::No};
    c.closeDataset();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(c.selectionText(), "No data");
}

TEST(LogCollection, RecordingDatasetIsNeverFreedWhileLogging) {
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    TALDLLog& rec = c.NewDataset(builtInTable());
    c.setRecording(&rec);
    appendRows(rec, drive(3));
    c.closeDataset();
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(ms.m.texts(),
              std::vector<std::string>{"Error|Dataset 0 is being recorded. Stop logging before closing it."});
    EXPECT_FALSE(c.FreeAll());
    EXPECT_FALSE(c.RemoveDataset(&rec));
    EXPECT_EQ(c.Count(), 1);

    // It cannot be finished while it is still being recorded.
    EXPECT_FALSE(c.FinishRecording(rec, 2));
    EXPECT_EQ(rec.Rows, 3u);

    // Once stopped, the recording is finished and can be closed.
    c.setRecording(nullptr);
    EXPECT_TRUE(c.FinishRecording(rec, 3));
    EXPECT_EQ(rec.Rows, 3u);
    EXPECT_FALSE(rec.Saved);
    EXPECT_EQ(c.CurrentDataset(), &rec);
    ms.m.seen.clear();
    EXPECT_TRUE(c.FreeAll()); // asked, answered No
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|Dataset 0 not saved. Save now?"});

    // A recording without rows goes away silently.
    TALDLLog& none = c.NewDataset(builtInTable());
    EXPECT_FALSE(c.FinishRecording(none, 0));
    EXPECT_EQ(c.Count(), 0);
}

TEST(LogCollection, DataTheUserAskedToSaveIsNeverLostWhileLogging) {
    TempDir dir;
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    // Dataset 0 recorded and stopped; logging starts again into Dataset 1.
    TALDLLog& first = record(c, 6);
    TALDLLog& second = c.NewDataset(builtInTable());
    appendRows(second, drive(4));
    c.setRecording(&second);

    // Close dataset on Dataset 0, "Yes" with a file name: written, then freed.
    c.selectDataset(&first);
    ms.m.script = {Answer::Yes};
    const std::string file = dir.file("first.ecu");
    f.saveAsAnswers = {file};
    c.closeDataset();
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|Dataset 0 not saved. Save now?"});
    EXPECT_EQ(OpenLogFile(file, builtInTable()).Log->Rows, 6u);
    ASSERT_EQ(c.Count(), 1);
    EXPECT_EQ(c.ReadLog(0), &second);

    // Leaving the program while logging: the recording is stopped first, then
    // asked about and saved like any other.
    int stops = 0;
    c.Hooks.StopTalking = [&] {
        ++stops;
        c.setRecording(nullptr);
        c.FinishRecording(second, 4);
    };
    ms.m.seen.clear();
    ms.m.script = {Answer::Yes};
    const std::string recording = dir.file("recording.ecu");
    f.saveAsAnswers = {recording};
    EXPECT_TRUE(c.FreeAll());
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(ms.m.texts(), std::vector<std::string>{"Warning|Dataset 1 not saved. Save now?"});
    EXPECT_EQ(OpenLogFile(recording, builtInTable()).Log->Rows, 4u);
    EXPECT_EQ(c.Count(), 0);
}

TEST(LogCollection, ClosingTheListWithoutAChoiceShowsRowOneOfTheCurrentDataset) {
    MessengerScope ms;
    TLogCollection c;
    Front f;
    f.attach(c);
    c.chooseDataset(-1); // no dataset at all: row 1 of nothing
    EXPECT_EQ(f.tableRows, std::vector<uint32_t>{1});
    TALDLLog& a = c.NewDataset(builtInTable());
    c.NewDataset(builtInTable());
    ASSERT_EQ(c.selectedIndex(), -1);
    c.chooseDataset(-1);
    EXPECT_EQ(c.selectedIndex(), 0);
    EXPECT_EQ(c.CurrentDataset(), &a);
    EXPECT_EQ(f.tableRows, (std::vector<uint32_t>{1, 1}));
    // An item picked is selected; nothing picked keeps the selection.
    c.chooseDataset(1);
    c.chooseDataset(7);
    EXPECT_EQ(c.selectedIndex(), 1);
    EXPECT_EQ(f.tableRows.size(), 4u);
}

TEST(LogCollection, OpenLogFileForFrontEnds) {
    TempDir dir;
    const std::string file = writeLog(dir, "drive.ecu", 40, 52);
    OpenedLog opened = OpenLogFile(file, tableWithout("Barometer"));
    ASSERT_TRUE(opened.Log);
    EXPECT_EQ(opened.Log->DatasetName(), "drive.ecu");
    EXPECT_EQ(opened.Log->Rows, 40u);
    EXPECT_TRUE(opened.Log->Saved);
    ASSERT_EQ(opened.Warnings.size(), 1u);
    EXPECT_NE(opened.Warnings[0].find("Barometer"), std::string::npos);
    EXPECT_THROW(OpenLogFile(dir.file("nothing.ecu"), builtInTable()), FileError);
}
