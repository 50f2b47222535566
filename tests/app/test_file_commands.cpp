// The file commands with their dialogs and questions answered by the test:
// open, save, save as, close dataset, bad files, and the way out with
// unsaved recordings.

#include "tests/app/AppTestSupport.h"

#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using testing::answerNextModal;
using testing::FrameFixture;

// Types a file name into a file dialog, as a user would.
void typeFileName(QFileDialog* d, const std::string& file) {
    const QFileInfo info(QString::fromStdString(file));
    d->setDirectory(info.absolutePath());
    if (auto* edit = d->findChild<QLineEdit*>("fileNameEdit")) edit->setText(info.fileName());
}

class FileCommandsTest : public ::testing::Test, public FrameFixture {
protected:
    void SetUp() override {
        writeSettings();
        open();
    }
    // Answers the next file dialog with this file name.
    void chooseFile(const std::string& file) {
        answerNextModal<QFileDialog>([file](QFileDialog* d) {
            typeFileName(d, file);
            static_cast<QDialog*>(d)->accept();
        });
    }
    uint32_t rowsIn(const std::string& file) {
        TALDLLog log(acq().sharedParameters());
        log.LoadFromFile(file);
        return log.Rows;
    }
    TCommsForm& comms() { return *frame->CommsForm(); }
};

TEST_F(FileCommandsTest, DialogsCarryTheirFiltersAndExtensions) {
    std::unique_ptr<QFileDialog> open(frame->makeLogOpenDialog());
    EXPECT_EQ(open->nameFilters(), QStringList{"ECU log files (*.ecu)"});
    EXPECT_EQ(open->defaultSuffix(), "ecu");
    EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFiles);
    std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->nameFilters(), QStringList{"ECU log files (*.ecu)"});
    EXPECT_EQ(save->defaultSuffix(), "ecu");
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
    std::unique_ptr<QFileDialog> prom(frame->makePromSaveDialog());
    EXPECT_EQ(prom->nameFilters(), QStringList{"PROM binary (*.bin)"});
    EXPECT_EQ(prom->defaultSuffix(), "bin");
    EXPECT_FALSE(prom->testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(FileCommandsTest, SaveAsAddsTheExtensionAndAsksBeforeReplacing) {
    record(3);
    chooseFile(config.file("run"));
    frame->FileSaveAs1->trigger();
    const std::string run = config.file("run.ecu");
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(run)));
    EXPECT_EQ(frame->Datasets().LogFileName, run);
    EXPECT_TRUE(frame->Datasets().ReadLog(0)->Saved);
    EXPECT_EQ(rowsIn(run), 3u);

    // Another recording: Save As onto run.ecu, "replace?" No, then Cancel.
    record(5);
    bool asked = false;
    answerNextModal<QFileDialog>([&](QFileDialog* d) {
        answerNextModal<QMessageBox>([&, d](QMessageBox* box) {
            asked = box->text().contains("already exists");
            box->button(QMessageBox::No)->click();
            QTimer::singleShot(50, d, &QDialog::reject);
        });
        typeFileName(d, run);
        static_cast<QDialog*>(d)->accept();
    });
    frame->FileSaveAs1->trigger();
    EXPECT_TRUE(asked);
    EXPECT_EQ(rowsIn(run), 3u);
    EXPECT_FALSE(frame->Datasets().ReadLog(1)->Saved);
}

TEST_F(FileCommandsTest, SaveWithoutAFileNameRunsSaveAsThenKeepsThatFile) {
    record(2);
    const std::string file = config.file("a.ecu");
    chooseFile(file);
    frame->FileSaveAction->trigger();
    EXPECT_EQ(rowsIn(file), 2u);
    record(6);                        // Dataset 1, now current
    frame->FileSaveAction->trigger(); // no dialog: the same file
    EXPECT_EQ(rowsIn(file), 6u);
    EXPECT_TRUE(frame->Datasets().ReadLog(1)->Saved);
}

TEST_F(FileCommandsTest, OpeningOneFileAsksNothingAndShowsItsLastRow) {
    const std::string f1 = config.file("f1.ecu");
    testing::WriteTestLog(f1, 5, 0.2, "first drive");
    chooseFile(f1);
    frame->FileOpen1->trigger();
    ASSERT_EQ(frame->Datasets().Count(), 1);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(comms().dlgDataSet->currentText(), "f1.ecu");
    EXPECT_EQ(comms().dlgPointNo->text(), "5");
    EXPECT_EQ(comms().dlgNoPoints->text(), "5");
    EXPECT_EQ(comms().dlgDescription->text(), "first drive");
    EXPECT_FALSE(comms().dlgTimeShift->isEnabled());
}

TEST_F(FileCommandsTest, OpeningOverAnUnsavedRecordingAsksOverlayCloseAndSave) {
    record(3);
    const std::string f1 = config.file("f1.ecu");
    testing::WriteTestLog(f1, 4);
    messenger.answers = {false, true, false}; // Overlay? No. Close current? Yes. Save now? No.
    frame->FileOpen1Accept({QString::fromStdString(f1)});
    ASSERT_EQ(messenger.shown.size(), 3u);
    EXPECT_EQ(messenger.shown[0], std::make_pair(std::string("Query"), std::string("Overlay data?")));
    EXPECT_EQ(messenger.shown[1],
              std::make_pair(std::string("Query"), std::string("Close current dataset?")));
    EXPECT_EQ(messenger.shown[2],
              std::make_pair(std::string("Warning"), std::string("Dataset 0 not saved. Save now?")));
    ASSERT_EQ(frame->Datasets().Count(), 1);
    EXPECT_EQ(comms().dlgDataSet->count(), 1);
    EXPECT_EQ(comms().dlgDataSet->currentText(), "f1.ecu");
}

TEST_F(FileCommandsTest, OpeningThreeFilesAsksOnceAndListsThemByName) {
    const std::string f0 = config.file("f0.ecu");
    testing::WriteTestLog(f0, 3);
    frame->FileOpen1Accept({QString::fromStdString(f0)});
    QStringList files;
    for (const char* name : {"f1.ecu", "f2.ecu", "f3.ecu"}) {
        testing::WriteTestLog(config.file(name), 4);
        files << QString::fromStdString(config.file(name));
    }
    messenger.answers = {true}; // overlay
    frame->FileOpen1Accept(files);
    EXPECT_EQ(messenger.texts("Query"), std::vector<std::string>{"Overlay data?"});
    ASSERT_EQ(comms().dlgDataSet->count(), 4);
    EXPECT_EQ(comms().dlgDataSet->itemText(3), "f3.ecu");
    EXPECT_EQ(comms().dlgDataSet->currentText(), "f3.ecu");
    EXPECT_TRUE(comms().dlgTimeShift->isEnabled());
}

TEST_F(FileCommandsTest, AFileThatIsNoLogIsNamedAndLosesNothing) {
    const std::string good = config.file("good.ecu");
    testing::WriteTestLog(good, 4);
    frame->FileOpen1Accept({QString::fromStdString(good)});
    const std::string bad = config.file("notes.ecu");
    QFile f(QString::fromStdString(bad));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a log file at all, just some words typed in");
    f.close();
    frame->FileOpen1Accept({QString::fromStdString(bad)});
    ASSERT_EQ(messenger.texts("Error").size(), 1u);
    EXPECT_NE(messenger.texts("Error")[0].find("notes.ecu"), std::string::npos);
    ASSERT_EQ(frame->Datasets().Count(), 1);
    EXPECT_EQ(comms().dlgDataSet->count(), 1);
    EXPECT_EQ(comms().dlgDataSet->itemText(0), "good.ecu");
}

TEST_F(FileCommandsTest, ClosingTheLastDatasetLeavesNoData) {
    const std::string f1 = config.file("f1.ecu");
    testing::WriteTestLog(f1, 4);
    frame->FileOpen1Accept({QString::fromStdString(f1)});
    EXPECT_TRUE(frame->CloseDataSetAction->isEnabled());
    frame->CloseDataSetAction->trigger();
    EXPECT_TRUE(messenger.shown.empty()); // a loaded dataset is saved
    EXPECT_EQ(frame->Datasets().Count(), 0);
    EXPECT_EQ(comms().dlgDataSet->placeholderText(), "No data");
    EXPECT_FALSE(frame->CloseDataSetAction->isEnabled());
    EXPECT_FALSE(frame->FileSaveAs1->isEnabled());
}

TEST_F(FileCommandsTest, LeavingAsksForEveryRecordingAndACancelledSaveKeepsTheProgram) {
    record(3);
    comms().StartLoggingActionExecute(); // still logging when the user leaves
    acq().AcquisitionTimer();
    acq().AcquisitionTimer();

    messenger.answers = {true}; // Dataset 0: save now? Yes, then the dialog is cancelled
    answerNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(acq().state(), AcquisitionState::Idle); // logging stopped first
    ASSERT_EQ(frame->Datasets().Count(), 2);
    EXPECT_EQ(frame->Datasets().ReadLog(1)->Rows, 2u);

    messenger.shown.clear();
    messenger.answers = {false, true}; // Dataset 0: No; Dataset 1: Yes, saved
    const std::string file = config.file("last.ecu");
    chooseFile(file);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(messenger.texts("Warning"),
              std::vector<std::string>({"Dataset 0 not saved. Save now?", "Dataset 1 not saved. Save now?"}));
    EXPECT_EQ(frame->Datasets().Count(), 0);
    EXPECT_EQ(rowsIn(file), 2u);
}

TEST_F(FileCommandsTest, FilesNamedOnTheCommandLineOpenAtStart) {
    frame.reset();
    const std::string f1 = config.file("cmdline.ecu");
    testing::WriteTestLog(f1, 7);
    options.App.Files = {f1};
    open();
    QTest::qWait(50);
    ASSERT_EQ(frame->Datasets().Count(), 1);
    EXPECT_EQ(comms().dlgDataSet->currentText(), "cmdline.ecu");
    EXPECT_EQ(comms().dlgPointNo->text(), "7");
}

// A recording a crash left in its journal is offered at the next start.
class JournalAtStartUpTest : public ::testing::Test, public FrameFixture {};

TEST_F(JournalAtStartUpTest, ARecordingLeftInItsJournalComesBackAsAnUnsavedDataset) {
    writeSettings();
    {
        auto journal = TJournal::Create(DefaultJournalFolder(), BuiltInParameters(), 45000.5);
        TALDLLog rows(std::make_shared<TParameterArray>(BuiltInParameters()));
        rows.Make2D(LogColumns, 4, 1);
        for (uint32_t r = 1; r <= 4; ++r) {
            rows.WriteRow(r, testing::TestLogRow(r).data(), (r - 1) * 0.2);
            journal->Append(rows.RowData(r));
        }
    } // its program died
    messenger.answers = {true};
    open();
    QTest::qWait(20);
    const std::vector<std::string> asked = messenger.texts("Query");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("holds 4 rows"), std::string::npos) << asked[0];
    ASSERT_EQ(frame->Datasets().Count(), 1);
    const TALDLLog* log = frame->Datasets().ReadLog(0);
    EXPECT_EQ(log->Rows, 4u);
    EXPECT_FALSE(log->Saved);
    EXPECT_NE(log->Journal(), nullptr);
    EXPECT_EQ(frame->CommsForm()->dlgDataSet->count(), 1);
}

} // namespace
} // namespace quillmar
