// The frame window: settings and the first start, menus and tool bar, the
// function keys, tiling, test mode and the mode items, power events, the
// PROM dump's progress, and the demo engine computer.

#include "tests/app/AppTestSupport.h"

#include "app/gauge/DialDialog.h"
#include "app/main/FrameGeometry.h"
#include "link/ALDLComms.h"
#include "link/PortTable.h"
#include "store/dataset/ALDLLog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstring>

namespace quillmar {
namespace {

using testing::answerNextModal;
using testing::FrameFixture;

class MainFormTest : public ::testing::Test, public FrameFixture {};

// The captions of a menu's items, "-" for a separator.
QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (const QAction* a : actions)
        out << (a->isSeparator() ? QString("-") : a->text());
    return out;
}

TEST_F(MainFormTest, FirstStartAsksForThePortBeforeTheFrameAndOkWritesAllFive) {
    bool frameVisible = true;
    answerNextModal<TSetCommDlg>([&](TSetCommDlg* dialog) {
        frameVisible = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TMainForm*>(w) && w->isVisible()) frameVisible = true;
        EXPECT_EQ(dialog->dlgCommPort->currentText(), "COM1");
        emit dialog->dlgCommPort->activated(2);
        dialog->OKBtn->click();
    });
    open();
    EXPECT_FALSE(frameVisible);
    EXPECT_EQ(frame->CommPort, 3);
    std::unique_ptr<QSettings> s = OpenSettings();
    EXPECT_EQ(ReadInt32(*s, "Port"), 3);
    EXPECT_EQ(ReadInt32(*s, "Main x-pos"), 246);
    EXPECT_EQ(ReadInt32(*s, "Main y-pos"), 112);
    EXPECT_EQ(ReadInt32(*s, "Main height"), 598);
    EXPECT_EQ(ReadInt32(*s, "Main width"), 763);
}

TEST_F(MainFormTest, FirstStartCancelledWritesNothingUntilTheEnd) {
    answerNextModal<TSetCommDlg>([](TSetCommDlg* dialog) {
        emit dialog->dlgCommPort->activated(4);
        dialog->CancelBtn->click();
    });
    open();
    EXPECT_EQ(frame->CommPort, 1);
    EXPECT_FALSE(SettingsKeyExists(*OpenSettings()));
    frame.reset();
    std::unique_ptr<QSettings> s = OpenSettings();
    EXPECT_EQ(ReadInt32(*s, "Port"), 1);
    EXPECT_EQ(ReadInt32(*s, "Main width"), 763);
}

TEST_F(MainFormTest, SettingsAreReadUntilTheFirstBadValue) {
    {
        std::unique_ptr<QSettings> s = OpenSettings();
        WriteInt32(*s, "Port", 5);
        WriteInt32(*s, "Main x-pos", 100);
        s->setValue(QString(SettingsKey) + "/Main y-pos", "high up");
        WriteInt32(*s, "Main height", 700);
        WriteInt32(*s, "Main width", 900);
    }
    open();
    EXPECT_EQ(frame->CommPort, 5);
    EXPECT_EQ(frame->pos().x(), 100);
    EXPECT_EQ(frame->pos().y(), 112);
    EXPECT_EQ(frame->size(), QSize(763, 598));
}

TEST_F(MainFormTest, APlaceOffEveryScreenComesBackToTheDefault) {
    writeSettings(2);
    {
        std::unique_ptr<QSettings> s = OpenSettings();
        WriteInt32(*s, "Main x-pos", -20000);
        WriteInt32(*s, "Main y-pos", 30000);
    }
    open();
    EXPECT_EQ(frame->CommPort, 2);
    EXPECT_EQ(frame->pos(), QPoint(246, 112));
}

TEST(FrameGeometry, AFrameThatFitsStaysAndOneThatDoesNotIsMovedAndShrunk) {
    const FrameRect defaults{246, 112, 763, 598};
    // A desk screen less a panel at the bottom: the default stays.
    EXPECT_EQ(FitFrame(defaults, {0, 0, 1920, 1040}, 8, 32, 600, 400), defaults);
    EXPECT_EQ(FitFrame(defaults, {0, 0, 1024, 742}, 8, 32, 600, 400), defaults);
    // 800x600, and 1600x1000 at 200 % (800x500 logical): all of the window
    // with its title bar on the screen.
    EXPECT_EQ(FitFrame(defaults, {0, 0, 800, 600}, 8, 32, 600, 400), (FrameRect{29, 0, 763, 568}));
    EXPECT_EQ(FitFrame(defaults, {0, 0, 800, 500}, 8, 32, 600, 400), (FrameRect{29, 0, 763, 468}));
    EXPECT_EQ(FitFrame(defaults, {0, 24, 800, 476}, 0, 0, 600, 400), (FrameRect{37, 24, 763, 476}));
    // A size that fits at a place that does not: only moved.
    EXPECT_EQ(FitFrame({1700, 900, 400, 300}, {0, 0, 1920, 1040}, 8, 32, 0, 0),
              (FrameRect{1512, 708, 400, 300}));
    EXPECT_EQ(FitFrame({-50, -10, 400, 300}, {0, 0, 1920, 1040}, 8, 32, 0, 0), (FrameRect{0, 0, 400, 300}));
    // A second screen to the right; a saved size larger than it.
    EXPECT_EQ(FitFrame({2000, 50, 1200, 900}, {1920, 0, 800, 600}, 8, 32, 300, 200),
              (FrameRect{1920, 0, 792, 568}));
    // A minimum larger than the screen gives way to the screen.
    EXPECT_EQ(FitFrame({0, 0, 900, 700}, {0, 0, 640, 480}, 0, 0, 700, 500), (FrameRect{0, 0, 640, 480}));
    // A minimum is kept where there is room for it.
    EXPECT_EQ(FitFrame({0, 0, 100, 50}, {0, 0, 1920, 1040}, 0, 0, 300, 200), (FrameRect{0, 0, 300, 200}));
}

TEST_F(MainFormTest, ASavedPlaceOnASmallScreenIsFittedWithEverythingOnIt) {
    QScreen* small = nullptr;
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == "Small") small = s;
    if (!small) GTEST_SKIP() << "the test screens are not there";
    writeSettings();
    {
        std::unique_ptr<QSettings> s = OpenSettings();
        WriteInt32(*s, "Main x-pos", 2000);
        WriteInt32(*s, "Main y-pos", 50);
        WriteInt32(*s, "Main height", 900);
        WriteInt32(*s, "Main width", 1200);
    }
    open();
    const QRect room = small->availableGeometry();
    const QRect outer(frame->pos(), frame->size() + QSize(8, 32));
    EXPECT_TRUE(room.contains(outer))
        << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height();
    // Nothing inside needs more than 800x500 (a 1600x1000 screen at 200 %).
    EXPECT_LE(frame->minimumSizeHint().width(), 792);
    EXPECT_LE(frame->minimumSizeHint().height(), 468);
    // Both panels inside the frame's area, side by side.
    QTest::qWait(0);
    const QRect area = frame->mdiArea()->viewport()->rect();
    EXPECT_TRUE(area.contains(frame->commsWindow()->geometry()));
    EXPECT_TRUE(area.contains(frame->graphWindow()->geometry()));
    EXPECT_TRUE(frame->statusBar()->isVisible());

    // 800x500 (1600x1000 at 200 %): the acquisition window stays inside the
    // frame and scrolls to its buttons.
    frame->resize(763, 468);
    QTest::qWait(20);
    frame->TileVertically();
    const QRect shortArea = frame->mdiArea()->viewport()->rect();
    EXPECT_TRUE(shortArea.contains(frame->commsWindow()->geometry()));
    auto* scroll = frame->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    scroll->ensureWidgetVisible(frame->CommsForm()->StartTalkingBtn);
    const QPoint button = frame->CommsForm()->StartTalkingBtn->mapTo(scroll->viewport(), QPoint(0, 0));
    EXPECT_TRUE(scroll->viewport()->rect().contains(button));
}

TEST_F(MainFormTest, MenusToolBarAndShortcutsAsLaidDown) {
    writeSettings();
    open();
    QStringList bar;
    for (QAction* a : frame->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, QStringList({"&File", "&Graph", "&Setup", "&Dials", "&Tools", "&Window"}));
    EXPECT_EQ(captions(frame->DialsMenu->actions()), QStringList({"Enable dials", "-", "Layout..."}));
    EXPECT_EQ(captions(frame->FileMenu->actions()),
              QStringList({"&Open...", "Open &Recent", "Close dataset", "&Save", "Save &As...",
                           "Add &bookmark...", "-", "Export Data to Excel", "Export Data to CSV...", "-",
                           "Dump PROM to BIN...", "-", "E&xit"}));
    EXPECT_EQ(frame->FileOpen1->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(
        captions(frame->GraphMenu->actions()),
        QStringList({"&Axes ", "&Curves", "-", "Print &Setup", "&Print Graph", "-", "Export data to &Excel",
                     "Export Data to &ASCII file", "&Save as BMP", "-", "Live graph", "Follow"}));

    const QList<QAction*> setup = frame->SetupMenu->actions();
    EXPECT_EQ(captions(setup),
              QStringList({"Set comm port", "-", "Enable dials", "-", "Test mode", "Mode 1 (default)",
                           "Mode 1 (message 0)", "Mode 1 (message 1)", "Mode 1 (message 2)",
                           "Mode 1 (message 3)", "Mode 1 (message 4)"}));
    EXPECT_TRUE(setup[1]->isEnabled());
    EXPECT_FALSE(setup[3]->isEnabled()); // the disabled separator
    EXPECT_TRUE(frame->Enabledials1->isCheckable());
    EXPECT_TRUE(frame->TestMode1->isCheckable());
    for (size_t i = 0; i < frame->ModeItems.size(); ++i) {
        EXPECT_FALSE(frame->ModeItems[i]->isVisible());
        EXPECT_TRUE(frame->ModeItems[i]->isCheckable());
    }

    EXPECT_FALSE(frame->ToolsMenu->menuAction()->isVisible());
    EXPECT_FALSE(frame->ToolsMenu->menuAction()->isEnabled());
    ASSERT_EQ(frame->ToolsMenu->actions().size(), 1);
    EXPECT_EQ(frame->ToolsMenu->actions()[0]->text(), "FFT");
    EXPECT_FALSE(frame->ToolsMenu->actions()[0]->isVisible());
    EXPECT_EQ(captions(frame->WindowMenu->actions()),
              QStringList({"&Tile Vertically", "&Cascade", "&Arrange"}));

    QStringList tools;
    for (QAction* a : frame->ToolBar->actions()) {
        tools << (a->isSeparator() ? QString("-") : a->objectName());
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(tools,
              QStringList({"FileOpen1", "FileSaveAction", "-", "ExportDataToExcel", "AddBookmarkAction", "-",
                           "WindowCascade1", "WindowTileVertical1", "-", frame->Graph.CopyGraph->objectName(),
                           frame->Graph.Zoom->objectName(), frame->Graph.UnZoom->objectName(),
                           frame->Graph.SaveBMP->objectName(), "LiveGraphAction", "FollowAction"}));

    // "Create ini file" has a shortcut and no menu item.
    EXPECT_FALSE(frame->CreateIniFileAction->shortcut().isEmpty());
    for (QMenu* m :
         {frame->FileMenu, frame->GraphMenu, frame->SetupMenu, frame->ToolsMenu, frame->WindowMenu})
        EXPECT_FALSE(m->actions().contains(frame->CreateIniFileAction));
}

TEST_F(MainFormTest, TestModeAndTheModeItemsAreOneRadioGroup) {
    writeSettings();
    open(false);
    EXPECT_TRUE(frame->ModeItems[0]->isChecked());
    EXPECT_FALSE(frame->Mode());
    frame->TestMode1->trigger();
    EXPECT_TRUE(frame->Mode());
    EXPECT_TRUE(acq().testMode());
    for (QAction* item : frame->ModeItems)
        EXPECT_FALSE(item->isChecked());

    // A mode item unchecks test mode and takes effect at "Start talking".
    frame->ModeItems[3]->trigger();
    EXPECT_FALSE(frame->Mode());
    EXPECT_FALSE(acq().testMode());
    for (size_t i = 0; i < frame->ModeItems.size(); ++i)
        EXPECT_EQ(frame->ModeItems[i]->isChecked(), i == 3);
    frame->CommsForm()->StartTalkingActionExecute();
    EXPECT_EQ(acq().messageNumber(), 2);

    // While talking, clicks change nothing.
    frame->ModeItems[1]->trigger();
    for (size_t i = 0; i < frame->ModeItems.size(); ++i)
        EXPECT_EQ(frame->ModeItems[i]->isChecked(), i == 3);
    frame->ModeItems[3]->trigger();
    EXPECT_TRUE(frame->ModeItems[3]->isChecked());
    frame->CommsForm()->StopTalkingActionExecute();
}

TEST_F(MainFormTest, FunctionKeysDriveTalkingAndLogging) {
    writeSettings();
    open();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    TCommsForm* c = frame->CommsForm();
    frame->graphWindow()->setFocus(); // the keys work whichever child has the focus

    QTest::keyClick(frame.get(), Qt::Key_F1);
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_EQ(c->Panels->currentWidget(), c->AcqPanel);
    EXPECT_EQ(frame->StateLabel->text(), "Talking");
    QTest::keyClick(frame.get(), Qt::Key_F2);
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    EXPECT_FALSE(frame->FileOpen1->isEnabled());
    for (int i = 0; i < 4; ++i)
        acq().acquisitionTick();
    EXPECT_EQ(frame->StateLabel->text(), "Logging: 4 rows");
    QTest::keyClick(frame.get(), Qt::Key_F4);
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_EQ(c->dlgDataSet->currentText(), "Dataset 0");
    EXPECT_TRUE(frame->FileSaveAs1->isEnabled());
    QTest::keyClick(frame.get(), Qt::Key_F3);
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
    EXPECT_EQ(c->Panels->currentWidget(), c->GraphPanel);
    EXPECT_EQ(c->dlgPointNo->text(), "4");

    // Stop talking from logging stops logging first.
    QTest::keyClick(frame.get(), Qt::Key_F2);
    acq().acquisitionTick();
    QTest::keyClick(frame.get(), Qt::Key_F3);
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
    EXPECT_EQ(frame->Datasets().Count(), 2);
    EXPECT_EQ(c->dlgDataSet->currentText(), "Dataset 1");
}

TEST_F(MainFormTest, FunctionKeysWorkFromTheDialsWindowAndFireOnce) {
    writeSettings();
    open();
    frame->Enabledials1->trigger();
    TCommsForm* c = frame->CommsForm();
    int presses[4] = {};
    QAction* keys[4] = {c->StartTalkingAction, c->StartLoggingAction, c->StopTalkingAction,
                        c->StopLoggingAction};
    for (int i = 0; i < 4; ++i)
        QObject::connect(keys[i], &QAction::triggered, [&presses, i] { ++presses[i]; });

    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F1);
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    QWidget* dials = frame->DialsWindow();
    ASSERT_NE(dials, nullptr);
    ASSERT_TRUE(dials->isVisible());
    dials->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dials));

    QTest::keyClick(dials, Qt::Key_F2);
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    acq().acquisitionTick();
    QTest::keyClick(dials, Qt::Key_F4);
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_EQ(frame->Datasets().Count(), 1);
    QTest::keyClick(dials, Qt::Key_F3);
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
    // One press, one command: the frame, the acquisition window and the
    // dials window's buttons share the actions.
    EXPECT_EQ(presses[0], 1);
    EXPECT_EQ(presses[1], 1);
    EXPECT_EQ(presses[2], 1);
    EXPECT_EQ(presses[3], 1);
}

TEST_F(MainFormTest, KeyMBookmarksTheRecordingWithANoteOrWithout) {
    writeSettings();
    open();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->graphWindow()->setFocus();
    // Nothing to mark before a recording runs.
    EXPECT_FALSE(frame->AddBookmarkAction->isEnabled());
    QTest::keyClick(frame.get(), Qt::Key_M);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QTest::keyClick(frame.get(), Qt::Key_F2);
    acq().acquisitionTick();
    ASSERT_TRUE(frame->AddBookmarkAction->isEnabled());
    answerNextModal<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->objectName(), "BookmarkDialog");
        EXPECT_TRUE(d->labelText().startsWith("Bookmark at ")) << d->labelText().toStdString();
        d->setTextValue("Launch");
        d->accept();
    });
    QTest::keyClick(frame.get(), Qt::Key_M);
    // Escape: still a bookmark, without a note.
    answerNextModal<QInputDialog>([](QInputDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    frame->AddBookmarkAction->trigger();
    const std::vector<Bookmark>& marks = acq().currentLog()->Bookmarks;
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0].Note, "Launch");
    EXPECT_EQ(marks[1].Number, 2u);
    EXPECT_EQ(marks[1].Note, "");
    EXPECT_TRUE(frame->StatusText().startsWith("Bookmark 2 at ")) << frame->StatusText().toStdString();
    frame->activateWindow(); // back from the dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_F4);
    EXPECT_FALSE(frame->AddBookmarkAction->isEnabled());
    EXPECT_EQ(frame->Datasets().ReadLog(0)->Bookmarks.size(), 2u);
    frame->Datasets().ReadLog(0)->Saved = true;
}

TEST_F(MainFormTest, ASilentEngineComputerIsSaidInColourAndTheLiveValuesGreyed) {
    options.App.Demo = true;
    open(false);
    TCommsForm* c = frame->CommsForm();
    // The ticks by hand, on a clock of the test's own.
    double days = 45000;
    acq().setClock([&days] { return days; });
    auto tick = [&] {
        days += 0.2 / 86400;
        acq().acquisitionTick();
    };
    c->StartTalkingActionExecute();
    acq().setAcquisitionTimerRunning(false);
    tick();
    EXPECT_FALSE(frame->NoAnswerLabel->isVisible());
    const QColor normalText = c->ParameterTree->palette().color(QPalette::Active, QPalette::Text);

    frame->demoEngine()->SetSilent(true);
    acq().comms()->SetWaitLimit(20);
    for (int i = 0; i < 5; ++i)
        tick();
    ASSERT_EQ(acq().state(), AcquisitionState::NoAnswer);
    EXPECT_TRUE(frame->NoAnswerLabel->isVisible());
    EXPECT_EQ(frame->NoAnswerLabel->text(), "No answer from the engine computer");
    EXPECT_TRUE(frame->NoAnswerLabel->toolTip().contains("ignition is on"))
        << frame->NoAnswerLabel->toolTip().toStdString();
    EXPECT_TRUE(frame->NoAnswerLabel->styleSheet().contains("background"));
    EXPECT_TRUE(c->liveValuesStale());
    EXPECT_NE(c->ParameterTree->palette().color(QPalette::Active, QPalette::Text), normalText);
    EXPECT_EQ(frame->StateLabel->text(), "Talking");
    // A recording started in the silence is a recording all the same.
    c->StartLoggingActionExecute();
    EXPECT_EQ(acq().state(), AcquisitionState::NoAnswer);
    EXPECT_EQ(frame->StateLabel->text(), "Logging: 0 rows");
    EXPECT_TRUE(frame->AddBookmarkAction->isEnabled());
    EXPECT_FALSE(frame->FileSaveAction->isEnabled());
    EXPECT_TRUE(frame->powerHandler()->inhibitorHeld());

    // Answering again: the label goes, the values are live again.
    frame->demoEngine()->SetSilent(false);
    acq().comms()->SetWaitLimit(1000);
    tick();
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    EXPECT_FALSE(frame->NoAnswerLabel->isVisible());
    EXPECT_FALSE(c->liveValuesStale());
    EXPECT_EQ(c->ParameterTree->palette().color(QPalette::Active, QPalette::Text), normalText);
    c->StopTalkingActionExecute();
    acq().setClock(nullptr);
    frame->Datasets().ReadLog(0)->Saved = true;
}

TEST_F(MainFormTest, TileVerticallyPutsTheChildrenSideBySide) {
    writeSettings();
    open();
    frame->resize(1200, 800);
    QTest::qWait(20);
    frame->commsWindow()->move(300, 200);
    frame->WindowCascade1->trigger();
    frame->WindowTileVertical1->trigger();
    const QRect comms = frame->commsWindow()->geometry();
    const QRect graph = frame->graphWindow()->geometry();
    const QSize area = frame->mdiArea()->viewport()->size();
    EXPECT_EQ(comms.topLeft(), QPoint(0, 0));
    EXPECT_EQ(graph.left(), comms.right() + 1);
    EXPECT_EQ(graph.top(), 0);
    EXPECT_EQ(graph.right(), area.width() - 1);
    EXPECT_EQ(comms.height(), area.height());
    EXPECT_EQ(graph.height(), area.height());
    EXPECT_LE(frame->CommsForm()->width(), 450);
    EXPECT_GE(frame->CommsForm()->width(), 410);
}

TEST_F(MainFormTest, CascadeKeepsTheWindowsUsable) {
    writeSettings();
    open();
    for (const QSize frameSize : {QSize(1200, 800), QSize(763, 598)}) {
        frame->resize(frameSize);
        QTest::qWait(20);
        frame->TileVertically();
        frame->WindowCascade1->trigger();
        const QRect area = frame->mdiArea()->viewport()->rect();
        const QRect comms = frame->commsWindow()->geometry();
        const QRect graph = frame->graphWindow()->geometry();
        EXPECT_NE(comms.topLeft(), graph.topLeft());
        for (const QMdiSubWindow* w : {frame->commsWindow(), frame->graphWindow()}) {
            const QRect r = w->geometry();
            EXPECT_TRUE(area.contains(r)) << frameSize.width();
            EXPECT_GE(r.width(), std::min(area.width() * 2 / 3, w->maximumWidth())) << frameSize.width();
            EXPECT_GE(r.height(), std::min(area.height() * 2 / 3, w->maximumHeight())) << frameSize.width();
        }
        // The graph is far from its smallest size.
        EXPECT_GT(frame->GraphForm()->width(), 2 * frame->GraphForm()->minimumWidth());
        EXPECT_GT(frame->GraphForm()->height(), 2 * frame->GraphForm()->minimumHeight());
    }
    // A window that already fits keeps its size.
    frame->resize(1200, 800);
    QTest::qWait(20);
    const QRect area = frame->mdiArea()->viewport()->rect();
    frame->graphWindow()->resize(area.size() * 3 / 4);
    frame->WindowCascade1->trigger();
    EXPECT_EQ(frame->graphWindow()->size(), area.size() * 3 / 4);
}

TEST_F(MainFormTest, PowerEventsFollowTheTable) {
    writeSettings();
    open();
    TPowerHandler& power = *frame->powerHandler();
    TCommsForm* c = frame->CommsForm();

    EXPECT_EQ(power.PowerBroadcast(PBT_APMQUERYSUSPEND), BROADCAST_ALLOW);
    c->StartTalkingActionExecute();
    EXPECT_EQ(power.PowerBroadcast(PBT_APMQUERYSTANDBY), BROADCAST_ALLOW); // talking alone allows
    EXPECT_FALSE(inhibitor->held);
    c->StartLoggingActionExecute();
    EXPECT_TRUE(inhibitor->held);
    EXPECT_EQ(power.PowerBroadcast(PBT_APMQUERYSUSPEND), BROADCAST_QUERY_DENY);
    EXPECT_EQ(power.PowerBroadcast(PBT_APMQUERYSTANDBY), BROADCAST_QUERY_DENY);

    // Suspend and resume stop and restart the acquisition timer only.
    EXPECT_EQ(power.PowerBroadcast(PBT_APMSUSPEND), BROADCAST_ALLOW);
    EXPECT_FALSE(acq().acquisitionRunning());
    EXPECT_TRUE(acq().redrawRunning());
    EXPECT_TRUE(power.AcquisitionWasOn);
    EXPECT_EQ(power.PowerBroadcast(PBT_APMRESUMESUSPEND), std::nullopt);
    EXPECT_TRUE(acq().acquisitionRunning());
    EXPECT_EQ(power.PowerBroadcast(PBT_APMSTANDBY), BROADCAST_ALLOW);
    EXPECT_FALSE(acq().acquisitionRunning());
    power.PowerBroadcast(PBT_APMRESUMESTANDBY);
    EXPECT_TRUE(acq().acquisitionRunning());
    EXPECT_EQ(power.PowerBroadcast(0x12), std::nullopt);

    c->StopLoggingActionExecute();
    EXPECT_FALSE(inhibitor->held);
    EXPECT_EQ(inhibitor->acquired, 1);
    EXPECT_EQ(inhibitor->released, 1);
    c->StopTalkingActionExecute();

    // A suspend that found the timer off leaves it off after the resume.
    power.PowerBroadcast(PBT_APMSUSPEND);
    EXPECT_FALSE(power.AcquisitionWasOn);
    power.PowerBroadcast(PBT_APMRESUMESUSPEND);
    EXPECT_FALSE(acq().acquisitionRunning());
    EXPECT_EQ(acq().state(), AcquisitionState::Idle);
}

TEST_F(MainFormTest, EnableDialsWaitsForTalking) {
    writeSettings();
    open();
    frame->Enabledials1->trigger();
    EXPECT_TRUE(acq().enableDials());
    std::vector<bool> requests;
    QObject::connect(frame->CommsForm(), &TCommsForm::dialsWindowRequested,
                     [&](bool open) { requests.push_back(open); });
    frame->CommsForm()->StartTalkingActionExecute();
    frame->CommsForm()->StopTalkingActionExecute();
    EXPECT_EQ(requests, std::vector<bool>({true, false}));
}

TEST_F(MainFormTest, PromDumpShowsProgressAndHoldsTheLinkCommands) {
    writeSettings();
    open();
    TCommsForm* c = frame->CommsForm();
    bool sawProgress = false, linkCommandsOff = false;
    int progressCalls = 0;
    QObject::connect(c, &TCommsForm::promDumpProgress, [&](quint32, qulonglong bytes) {
        ++progressCalls;
        if (bytes == 0x4000) {
            sawProgress = frame->PromProgress->isVisible() && frame->PromProgressBar->value() == 0x4000;
            linkCommandsOff = !c->StartTalkingAction->isEnabled() && !c->StartLoggingAction->isEnabled() &&
                              !frame->SetCommPortAction->isEnabled() && !frame->PROMDumpAction->isEnabled();
        }
    });
    const QString file = QString::fromStdString(config.file("prom.bin"));
    dumpProm(file);
    EXPECT_EQ(progressCalls, 512);
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(linkCommandsOff);
    EXPECT_EQ(QFileInfo(file).size(), 32768);
    EXPECT_FALSE(frame->PromProgress->isVisible());
    EXPECT_TRUE(c->StartTalkingAction->isEnabled());
    EXPECT_TRUE(frame->SetCommPortAction->isEnabled());
    EXPECT_EQ(frame->StatusText(), "PROM image written to " + file);
}

TEST_F(MainFormTest, EscapeCancelsAPromDumpAndNothingIsWritten) {
    writeSettings();
    open();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    const QString file = QString::fromStdString(config.file("prom.bin"));
    frame->PROMDumpActionAccept(file);
    // The window stays responsive: the dump runs between other events.
    ASSERT_TRUE(acq().promDumpRunning());
    EXPECT_TRUE(frame->PromProgress->isVisible());
    EXPECT_EQ(frame->StateLabel->text(), "Idle");
    while (frame->PromProgressBar->value() < 0x1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QTest::keyClick(frame.get(), Qt::Key_Escape);
    while (acq().promDumpRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    EXPECT_LT(frame->PromProgressBar->value(), 0x8000);
    EXPECT_EQ(acq().promDumpResult(), PromDumpResult::Cancelled);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(frame->PromProgress->isVisible());
    EXPECT_EQ(frame->StatusText(), "PROM dump cancelled; no file written");
    EXPECT_TRUE(frame->CommsForm()->StartTalkingAction->isEnabled());
}

TEST_F(MainFormTest, CreateIniFileWritesTheTableInForce) {
    writeSettings();
    open();
    QFile::remove(QString::fromStdString(options.App.IniPath));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keySequence(frame.get(), frame->CreateIniFileAction->shortcut());
    QFile ini(QString::fromStdString(options.App.IniPath));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("[Parameter 65]"));
    EXPECT_TRUE(text.contains("Name=Engine speed"));
}

TEST_F(MainFormTest, DemoRecordsTheSimulatedEngineAndKeepsNoSettings) {
    options.App.Demo = true;
    open(false);
    ASSERT_NE(frame->demoEngine(), nullptr);
    EXPECT_TRUE(frame->DemoLabel->isVisible());
    EXPECT_EQ(frame->DemoLabel->text(), "Demo: the data are simulated");
    acq().setAcquisitionPeriod("40");
    frame->CommsForm()->StartLoggingActionExecute();
    for (int i = 0; i < 300 && acq().rowCounter() < 5; ++i)
        QTest::qWait(20);
    frame->CommsForm()->StopTalkingActionExecute();
    ASSERT_EQ(frame->Datasets().Count(), 1);
    TALDLLog* log = frame->Datasets().ReadLog(0);
    EXPECT_GE(log->Rows, 5u);
    // The simulated engine runs: its engine speed is not 0.
    const int32_t rpm = acq().indices().EngineSpeedIndex;
    EXPECT_GT(double(log->ParameterValue(rpm, log->Rows)), 0.0);
    EXPECT_GT(frame->demoEngine()->RequestCount(), 4u);

    messenger.answers = {false}; // not saved: no
    frame->close();
    frame.reset();
    EXPECT_FALSE(QFileInfo::exists(config.settingsFile()));
}

TEST_F(MainFormTest, ReplayPlaysALogBackByteForByte) {
    // One time stamp for every row: the replay plays one row per reply.
    const std::string replay = config.file("drive.ecu");
    testing::WriteTestLog(replay, 12, 0.0);
    options.App.Demo = true;
    options.App.ReplayPath = replay;
    options.DemoEngine.Pace = false;
    open(false);
    EXPECT_EQ(frame->DemoLabel->text(), "Demo: the data are simulated (replaying drive.ecu)");
    acq().setAcquisitionPeriod("10");
    frame->CommsForm()->StartLoggingActionExecute();
    for (int i = 0; i < 500 && acq().rowCounter() < 30; ++i)
        QTest::qWait(10);
    frame->CommsForm()->StopLoggingActionExecute();
    frame->CommsForm()->StopTalkingActionExecute();
    TALDLLog* log = frame->Datasets().ReadLog(0);
    ASSERT_NE(log, nullptr);
    ASSERT_GE(log->Rows, 30u);
    for (uint32_t r = 1; r <= log->Rows; ++r) {
        const std::vector<uint8_t> expected = testing::TestLogRow((r - 1) % 12 + 1);
        ASSERT_EQ(std::memcmp(log->ElementPointer(1, r), expected.data(), expected.size()), 0) << "row " << r;
    }
    frame->Datasets().ReadLog(0)->Saved = true;
}

TEST_F(MainFormTest, AReplayLogThatCannotBeReadEndsTheStart) {
    options.App.Demo = true;
    options.App.ReplayPath = config.file("missing.ecu");
    frame = std::make_unique<TMainForm>(options);
    EXPECT_EQ(frame->startStatus(), 2);
    ASSERT_EQ(messenger.texts("Error").size(), 1u);
    EXPECT_NE(messenger.texts("Error")[0].find("missing.ecu"), std::string::npos);
}

TEST_F(MainFormTest, ABrokenProtocolFileEndsTheStartWithItsMessage) {
    writeSettings();
    QFile ini(QString::fromStdString(options.App.IniPath));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Parameter 1]\nName=Only\nPosition=1\nSize=2\n");
    ini.close();
    open();
    EXPECT_EQ(frame->startStatus(), 2);
    EXPECT_EQ(frame->CommsForm(), nullptr);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].first, "error");
}

} // namespace
} // namespace quillmar
