// The file commands with their dialogs and questions answered by the test:
// open, save, save as (each dataset to its own file, the folder and name
// offered, nothing while logging, a full or read-only disk), close dataset,
// bad files, and the way out with unsaved recordings.

#include "tests/app/AppTestSupport.h"

#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"
#include "tests/common/PrivateMounts.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>

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

// The file name a file dialog offers.
QString fileNameIn(QFileDialog* d) {
    auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
    return edit ? edit->text() : QString();
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

TEST_F(FileCommandsTest, RecordSaveRecordSaveAndLeaveLosesNoRecording) {
    record(2);
    const std::string one = config.file("one.ecu");
    chooseFile(one);
    frame->FileSaveAction->trigger();
    EXPECT_EQ(rowsIn(one), 2u);
    EXPECT_EQ(frame->Datasets().ReadLog(0)->FileName, one);
    EXPECT_EQ(frame->StatusText().toStdString(), "Saved Dataset 0 to " + one);

    // A second recording has no file of its own: Save asks for one, offered
    // its own name, and writes nothing over one.ecu when the dialog is cancelled.
    record(6);
    QString offered;
    answerNextModal<QFileDialog>([&](QFileDialog* d) {
        offered = fileNameIn(d);
        d->reject();
    });
    frame->FileSaveAction->trigger();
    EXPECT_EQ(offered.toStdString(), StartTimeFileName(frame->Datasets().ReadLog(1)->StartTime));
    EXPECT_EQ(rowsIn(one), 2u);
    EXPECT_FALSE(frame->Datasets().ReadLog(1)->Saved);
    EXPECT_TRUE(frame->Datasets().ReadLog(1)->FileName.empty());

    // Leaving asks about the second recording (and only that one): Yes, saved.
    messenger.answers = {true};
    const std::string two = config.file("two.ecu");
    chooseFile(two);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(messenger.texts("Warning"), std::vector<std::string>{"Dataset 1 not saved. Save now?"});
    EXPECT_EQ(rowsIn(one), 2u);
    EXPECT_EQ(rowsIn(two), 6u);
}

TEST_F(FileCommandsTest, AFailedOrCancelledSaveAsLeavesTheDatasetsFileAsItWas) {
    record(3);
    const std::string own = config.file("own.ecu");
    chooseFile(own);
    frame->FileSaveAs1->trigger();
    TALDLLog* log = frame->Datasets().ReadLog(0);
    ASSERT_EQ(log->FileName, own);

    // Cancelled: still its file, and Save goes there without a dialog.
    answerNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    frame->FileSaveAs1->trigger();
    EXPECT_EQ(log->FileName, own);
    // Failed: the error names the file; still its old file.
    frame->FileSaveAs1Accept(QString::fromStdString(config.file("missing/elsewhere.ecu")));
    ASSERT_EQ(messenger.texts("Error").size(), 1u);
    EXPECT_NE(messenger.texts("Error")[0].find("elsewhere.ecu"), std::string::npos);
    EXPECT_EQ(log->FileName, own);
    EXPECT_TRUE(log->Saved); // its rows are still in own.ecu

    bool dialog = false;
    answerNextModal<QFileDialog>(
        [&](QFileDialog* d) {
            dialog = true;
            d->reject();
        },
        300);
    frame->FileSaveAction->trigger();
    QTest::qWait(350);
    EXPECT_FALSE(dialog);
    EXPECT_EQ(rowsIn(own), 3u);
}

TEST_F(FileCommandsTest, SaveAndSaveAsAreDisabledWhileLoggingAndSayWhy) {
    record(2);
    EXPECT_TRUE(frame->FileSaveAction->isEnabled());
    EXPECT_TRUE(frame->FileSaveAs1->isEnabled());
    comms().StartLoggingAction->trigger();
    acq().acquisitionTick();
    EXPECT_FALSE(frame->FileSaveAction->isEnabled());
    EXPECT_FALSE(frame->FileSaveAs1->isEnabled());
    const QString tip = frame->FileSaveAction->toolTip();
    EXPECT_TRUE(tip.contains("logging stops")) << tip.toStdString();
    EXPECT_EQ(frame->FileSaveAs1->toolTip(), tip);
    EXPECT_EQ(frame->FileSaveAction->statusTip(), tip);

    // The File menu and the tool bar show the tip over the disabled commands.
    frame->FileMenu->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame->FileMenu));
    for (QAction* action : {frame->FileSaveAction, frame->FileSaveAs1}) {
        const QPoint at = frame->FileMenu->actionGeometry(action).center();
        QHelpEvent help(QEvent::ToolTip, at, frame->FileMenu->mapToGlobal(at));
        QApplication::sendEvent(frame->FileMenu, &help);
        EXPECT_EQ(QToolTip::text(), tip) << action->text().toStdString();
        QToolTip::hideText();
    }
    frame->FileMenu->hide();
    QWidget* button = frame->ToolBar->widgetForAction(frame->FileSaveAction);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    QHelpEvent help(QEvent::ToolTip, button->rect().center(), button->mapToGlobal(button->rect().center()));
    QApplication::sendEvent(button, &help);
    EXPECT_EQ(QToolTip::text(), tip);
    QToolTip::hideText();

    // Reached some other way, they do nothing and say nothing, also for a
    // dataset that is not being recorded.
    frame->Datasets().selectDataset(0);
    bool dialog = false;
    answerNextModal<QFileDialog>(
        [&](QFileDialog* d) {
            dialog = true;
            d->reject();
        },
        300);
    frame->FileSaveActionExecute();
    frame->FileSaveAs1Execute();
    frame->FileSaveAs1Accept(QString::fromStdString(config.file("now.ecu")));
    QTest::qWait(350);
    EXPECT_FALSE(dialog);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(config.file("now.ecu"))));
    EXPECT_FALSE(frame->Datasets().ReadLog(0)->Saved);

    comms().StopLoggingAction->trigger();
    EXPECT_TRUE(frame->FileSaveAction->isEnabled());
    EXPECT_TRUE(frame->FileSaveAs1->isEnabled());
    EXPECT_EQ(frame->FileSaveAction->toolTip(), "Save");
    EXPECT_EQ(frame->FileSaveAs1->toolTip(), "Save As");
}

TEST_F(FileCommandsTest, TheSaveDialogStartsInTheFolderLastUsedAndOffersAName) {
    // The folder a previous run used is kept in the settings.
    const QString logs = config.path("logs");
    const QString other = config.path("other");
    ASSERT_TRUE(QDir().mkpath(logs));
    ASSERT_TRUE(QDir().mkpath(other));
    frame.reset();
    {
        std::unique_ptr<QSettings> s = OpenSettings();
        StoreLogFolder(*s, logs.toStdString());
        s->sync();
    }
    open();
    {
        std::unique_ptr<QFileDialog> openDialog(frame->makeLogOpenDialog());
        EXPECT_EQ(openDialog->directory().absolutePath(), logs);
    }

    // A recording: the folder last used, and a name made from its start.
    record(2);
    const TALDLLog* first = frame->Datasets().ReadLog(0);
    ASSERT_GT(first->StartTime, 0.0);
    const std::string startName = StartTimeFileName(first->StartTime);
    ASSERT_EQ(startName.size(), std::string("2026-12-09_1412.ecu").size()) << startName;
    {
        std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
        EXPECT_EQ(save->directory().absolutePath(), logs);
        EXPECT_EQ(fileNameIn(save.get()).toStdString(), startName);
    }

    // Saved into another folder: that folder is the one kept now, and the
    // dataset is offered its own file from then on.
    const std::string run = (other + "/run.ecu").toStdString();
    chooseFile(run);
    frame->FileSaveAs1->trigger();
    ASSERT_EQ(rowsIn(run), 2u);
    EXPECT_EQ(LogFolder(*OpenSettings()), other.toStdString());
    {
        std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
        EXPECT_EQ(save->directory().absolutePath(), other);
        EXPECT_EQ(fileNameIn(save.get()), "run.ecu");
    }
    // A dataset opened from a file is offered that file.
    const std::string elsewhere = (logs + "/drive.ecu").toStdString();
    testing::WriteTestLog(elsewhere, 4);
    messenger.answers = {true}; // overlay
    frame->FileOpen1Accept({QString::fromStdString(elsewhere)});
    {
        std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
        EXPECT_EQ(save->directory().absolutePath(), logs);
        EXPECT_EQ(fileNameIn(save.get()), "drive.ecu");
    }

    // The next run starts where this one saved.
    frame.reset();
    open();
    std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
    EXPECT_EQ(save->directory().absolutePath(), other);
}

TEST_F(FileCommandsTest, ARunThatKeepsNoSettingsDoesNotMoveTheFolderLastUsed) {
    const QString other = config.path("other");
    ASSERT_TRUE(QDir().mkpath(other));
    frame.reset();
    options.App.Port = "COM3"; // a port for this run only: its settings stay as they are
    open();
    record(1);
    const std::string run = (other + "/run.ecu").toStdString();
    chooseFile(run);
    frame->FileSaveAs1->trigger();
    ASSERT_EQ(rowsIn(run), 1u);
    EXPECT_EQ(LogFolder(*OpenSettings()), "");
    // This run still remembers it.
    record(1);
    std::unique_ptr<QFileDialog> save(frame->makeLogSaveDialog());
    EXPECT_EQ(save->directory().absolutePath(), other);
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

TEST_F(FileCommandsTest, OpenRecentListsTheLastEightLogsAndOpensThemAsOpenDoes) {
    std::vector<QString> logs;
    for (int i = 0; i < 9; ++i) {
        const std::string f = config.file("drive" + std::to_string(i) + ".ecu");
        testing::WriteTestLog(f, 3);
        logs.push_back(QFileInfo(QString::fromStdString(f)).absoluteFilePath());
        frame->FileOpen1Accept({logs.back()});
        frame->CloseDataSetActionExecute();
    }
    // A file that did not open is not listed.
    const std::string bad = config.file("notes.ecu");
    std::ofstream(bad) << "no log in here";
    frame->FileOpen1Accept({QString::fromStdString(bad)});
    frame->CloseDataSetActionExecute();

    const QStringList expected{logs[8], logs[7], logs[6], logs[5], logs[4], logs[3], logs[2], logs[1]};
    EXPECT_EQ(frame->RecentFiles(), expected);
    ASSERT_EQ(frame->RecentMenu->actions().size(), 8);
    EXPECT_EQ(frame->RecentMenu->actions()[0]->text(), "&1 drive8.ecu");
    EXPECT_EQ(frame->RecentMenu->actions()[7]->text(), "&8 drive1.ecu");
    EXPECT_TRUE(frame->RecentMenu->isEnabled());

    // Kept in the settings for the next start.
    frame.reset();
    open();
    EXPECT_EQ(frame->RecentFiles(), expected);
    frame->RecentMenu->actions()[2]->trigger();
    ASSERT_EQ(frame->Datasets().Count(), 1);
    EXPECT_EQ(comms().dlgDataSet->currentText(), "drive6.ecu");
    EXPECT_EQ(frame->RecentFiles().front(), logs[6]);
    EXPECT_EQ(frame->RecentFiles().size(), 8);

    // Not while logging, as File > Open.
    frame->CloseDataSetActionExecute();
    comms().StartLoggingAction->trigger();
    EXPECT_FALSE(frame->RecentMenu->isEnabled());
    frame->OpenRecentFile(logs[5]);
    EXPECT_EQ(frame->Datasets().Count(), 1); // the recording only
    comms().StopTalkingAction->trigger();
}

TEST_F(FileCommandsTest, DroppedLogFilesOpenAsOpenDoesNotWhileLogging) {
    const std::string f1 = config.file("one.ecu"), f2 = config.file("two.ECU");
    testing::WriteTestLog(f1, 4);
    testing::WriteTestLog(f2, 6);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(f1)),
                  QUrl::fromLocalFile(config.file("a.txt").c_str()),
                  QUrl::fromLocalFile(QString::fromStdString(f2)), QUrl("https://example.org/x.ecu")});
    EXPECT_EQ(TMainForm::droppedLogFiles(&mime).size(), 2);

    auto drop = [&] {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &dropped);
        QTest::qWait(0);
        return enter.isAccepted();
    };
    EXPECT_TRUE(frame->acceptDrops());
    EXPECT_TRUE(drop());
    ASSERT_EQ(frame->Datasets().Count(), 2);
    EXPECT_EQ(comms().dlgDataSet->itemText(0), "one.ecu");
    EXPECT_EQ(comms().dlgDataSet->itemText(1), "two.ECU");
    EXPECT_EQ(frame->RecentFiles().size(), 2);

    frame->CloseDataSetActionExecute();
    frame->CloseDataSetActionExecute();
    ASSERT_EQ(frame->Datasets().Count(), 0);
    comms().StartLoggingAction->trigger();
    EXPECT_FALSE(drop());
    EXPECT_EQ(frame->Datasets().Count(), 1); // the recording only
    comms().StopTalkingAction->trigger();
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
    acq().acquisitionTick();
    acq().acquisitionTick();

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

TEST_F(FileCommandsTest, ASaveOntoAFullOrReadOnlyDiskKeepsTheDatasetOpenUnsavedAndSaysWhy) {
    const std::string small = config.file("small");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(small)));
    if (!mounts::MountSmallTmpfs(small)) GTEST_SKIP() << "no private mount namespace for a small tmpfs here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};

    record(1000); // 71,000 bytes: more than the disk holds
    TALDLLog* log = frame->Datasets().ReadLog(0);
    // Test mode keeps no journal; a recording from the engine computer has one.
    ASSERT_EQ(log->Journal(), nullptr);
    log->AttachJournal(TJournal::Create(DefaultJournalFolder(), *log->Parameters, log->StartTime));
    const std::string journal = log->Journal()->Path();
    const std::string file = small + "/run.ecu";
    const auto expectKept = [&](size_t errors) {
        ASSERT_EQ(messenger.texts("Error").size(), errors);
        EXPECT_EQ(frame->Datasets().Count(), 1);
        EXPECT_EQ(comms().dlgDataSet->count(), 1);
        EXPECT_EQ(frame->Datasets().ReadLog(0), log);
        EXPECT_EQ(log->Rows, 1000u);
        EXPECT_FALSE(log->Saved);
        EXPECT_TRUE(log->FileName.empty());
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(journal)));
        EXPECT_TRUE(QDir(QString::fromStdString(small)).entryList(QDir::Files | QDir::Hidden).isEmpty());
        EXPECT_FALSE(frame->StatusText().startsWith("Saved"));
    };

    // File > Save: the message names the file and the system's reason.
    chooseFile(file);
    frame->FileSaveAction->trigger();
    expectKept(1);
    const std::string error = messenger.texts("Error")[0];
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;

    // Exit: "Save now?" Yes, and the save fails again: the program stays, with it.
    messenger.answers = {true};
    chooseFile(file);
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    expectKept(2);
    EXPECT_EQ(messenger.texts("Warning"), std::vector<std::string>{"Dataset 0 not saved. Save now?"});

    // The same on a disk mounted read-only.
    ASSERT_TRUE(mounts::RemountReadOnly(small, "64k"));
    chooseFile(file);
    frame->FileSaveAs1->trigger();
    expectKept(3);
    EXPECT_NE(messenger.texts("Error")[2].find(file), std::string::npos) << messenger.texts("Error")[2];
    EXPECT_NE(messenger.texts("Error")[2].find(std::strerror(EROFS)), std::string::npos)
        << messenger.texts("Error")[2];

    // Saved somewhere with room at last: the journal goes.
    const std::string roomy = config.file("roomy.ecu");
    chooseFile(roomy);
    frame->FileSaveAs1->trigger();
    EXPECT_EQ(rowsIn(roomy), 1000u);
    EXPECT_TRUE(log->Saved);
    EXPECT_EQ(log->FileName, roomy);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(journal)));
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
    // Its Save As offers a name made from the time the recording started.
    EXPECT_EQ(log->StartTime, 45000.5);
    EXPECT_TRUE(log->FileName.empty());
    EXPECT_EQ(SuggestedFileName(*log), StartTimeFileName(45000.5));
    EXPECT_EQ(frame->CommsForm()->dlgDataSet->count(), 1);
}

TEST_F(JournalAtStartUpTest, JournalsThatCannotBeReadAreNamedAndKeptAndNoIsTheDefaultForDeleting) {
    writeSettings();
    const std::string folder = DefaultJournalFolder();
    std::string readable;
    {
        auto journal = TJournal::Create(folder, BuiltInParameters(), 45000.5);
        readable = journal->Path();
        const std::vector<uint8_t> row = testing::TestLogRow(1);
        std::vector<uint8_t> bytes(row.begin(), row.end());
        bytes.resize(JournalRowBytes);
        journal->Append(bytes.data());
    }
    const std::string garbage = folder + "/recording-1-0000000000000000.journal";
    {
        std::ofstream out(garbage, std::ios::binary);
        out << "not what a journal holds";
    }
    messenger.answers = {false, false}; // neither recover nor delete
    open();
    QTest::qWait(20);
    ASSERT_EQ(messenger.shown.size(), 3u);
    EXPECT_EQ(messenger.shown[0].first, "Warning");
    EXPECT_EQ(messenger.shown[0].second,
              "A recording's journal cannot be read:\n- " + garbage +
                  " is not a journal\nIt is left as it is, and named again at each "
                  "start until it is moved or deleted.");
    EXPECT_EQ(messenger.shown[1].first, "Query");
    EXPECT_EQ(messenger.defaults[1], Answer::Yes); // Recover it?
    EXPECT_EQ(messenger.shown[2].second.rfind("Delete the journal of the recording started ", 0), 0u);
    EXPECT_EQ(messenger.defaults[2], Answer::No);
    EXPECT_EQ(frame->Datasets().Count(), 0);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(garbage)));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(readable)));
}

} // namespace
} // namespace quillmar
