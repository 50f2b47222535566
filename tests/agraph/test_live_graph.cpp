// The live graph inside the frame: the recording's rows drawn as they come,
// the redraws coalesced, Follow scrolling like a strip chart, a zoom holding
// the view, Stop logging drawing the finished recording, and the choice kept
// in the settings.

#include "tests/agraph/AgraphTestSupport.h"
#include "tests/app/AppTestSupport.h"
#include "tests/graph/GraphTestSupport.h"

#include "graph/acquisition/window/ALDLGraph.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using namespace agraphtest;

class LiveGraph : public ::testing::Test, public testing::FrameFixture {
protected:
    void SetUp() override {
        writeSettings();
        openFrame();
    }
    void openFrame() {
        open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        graph = frame->ALDLGraph();
        comms = frame->CommsForm();
        ASSERT_NE(graph, nullptr);
        // Rows half a second apart on a clock of the test's own.
        acq().setClock([this] { return days; });
    }
    // Logging with the rows the test makes alone (the acquisition timer stopped).
    void startLogging() {
        comms->StartLoggingAction->trigger();
        acq().setAcquisitionTimerRunning(false);
    }
    // n test-mode rows, the clock moving on before each.
    void rows(int n) {
        for (int i = 0; i < n; ++i) {
            days += 0.5 / 86400;
            acq().acquisitionTick();
        }
    }
    bool waitForRows(uint32_t n) {
        return QTest::qWaitFor([&] { return graph->LiveRows() == n; }, 2000);
    }
    const TAxis& x() { return graph->Axes().Axis(0); }
    // The recording's first curve.
    const TCurve& recorded() { return graph->Curves().GetCurve(graph->Curves().Count() - 1); }

    double days = 46000;
    TALDLGraph* graph = nullptr;
    TCommsForm* comms = nullptr;
};

TEST_F(LiveGraph, OffByDefaultTheGraphStaysStillUntilStopLogging) {
    EXPECT_TRUE(graph->LiveGraphAction->isCheckable());
    EXPECT_FALSE(graph->LiveGraphAction->isChecked());
    EXPECT_EQ(graph->LiveGraphAction->text(), "Live graph");
    EXPECT_EQ(graph->LiveGraphAction->shortcut(), QKeySequence("Ctrl+L"));
    EXPECT_EQ(graph->FollowAction->text(), "Follow");
    EXPECT_TRUE(graph->FollowAction->isCheckable());
    EXPECT_FALSE(graph->FollowAction->isEnabled()); // only with the live graph
    for (QAction* a : {graph->LiveGraphAction, graph->FollowAction})
        EXPECT_FALSE(a->icon().pixmap(24, 24).toImage().isNull());

    startLogging();
    rows(30);
    QTest::qWait(3 * TALDLGraph::LiveRedrawInterval);
    EXPECT_EQ(graph->Curves().Count(), 0);
    EXPECT_EQ(graph->LiveRedraws(), 0);
    comms->StopLoggingAction->trigger();
    ASSERT_EQ(graph->Curves().Count(), 1);
    EXPECT_EQ(recorded().Series->Points, 30u);
    EXPECT_EQ(comms->dlgxAxis->currentText(), "Time");
}

TEST_F(LiveGraph, RowsAppearWithoutStopBesideTheOpenDatasets) {
    const std::string file = config.file("earlier.ecu");
    writeLogFile(file, run(200, 0));
    frame->FileOpen1Accept({QString::fromStdString(file)});
    ASSERT_EQ(graph->Curves().Count(), 1);
    graph->LiveGraphAction->trigger();
    EXPECT_TRUE(graph->FollowAction->isEnabled());

    startLogging();
    const TCurve* earlier = &graph->Curves().GetCurve(0);
    rows(12);
    ASSERT_TRUE(waitForRows(12));
    ASSERT_EQ(graph->Curves().Count(), 2);
    // The open dataset's curve stays as it was, whole; the recording's
    // joins it in the second dataset's colour.
    EXPECT_EQ(&graph->Curves().GetCurve(0), earlier);
    EXPECT_EQ(graph->Curves().GetCurve(0).Series->Points, 200u);
    EXPECT_EQ(recorded().Series->Points, 12u);
    EXPECT_EQ(recorded().LinePen.Color, CurveColors[1]);
    EXPECT_TRUE(comms->dlgTimeShift->isEnabled());
    EXPECT_EQ(comms->dlgxAxis->currentText(), "Time");
    // Its points are the rows as recorded: half a second apart.
    EXPECT_NEAR(static_cast<double>(recorded().Series->GetX(12) - recorded().Series->GetX(1)), 5.5, 1e-4);
    const TCurve* first = &recorded();
    rows(5);
    ASSERT_TRUE(waitForRows(17));
    EXPECT_EQ(&recorded(), first); // grown in place, not built again
    EXPECT_EQ(recorded().Series->Points, 17u);
    EXPECT_GT(testing::nonWhitePixels(graph->CachedImage()), 1000);

    comms->StopLoggingAction->trigger();
    ASSERT_EQ(graph->Curves().Count(), 2);
    EXPECT_EQ(recorded().Series->Points, 17u);
    EXPECT_EQ(recorded().LinePen.Color, CurveColors[1]);
    EXPECT_TRUE(x().AutoScaleMin); // the whole of both again
    EXPECT_TRUE(x().AutoScaleMax);
}

TEST_F(LiveGraph, AtMostTenRedrawsASecondHoweverFastRowsCome) {
    graph->LiveGraphAction->trigger();
    ASSERT_EQ(acq().setAcquisitionPeriod("2"), PeriodEntry::Applied);
    acq().setClock(SystemClockDays);
    comms->StartLoggingAction->trigger();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1500);
    const double seconds = clock.elapsed() / 1000.0;
    const int rowsSeen = acq().rowCounter();
    const int redraws = graph->LiveRedraws();
    comms->StopLoggingAction->trigger();
    EXPECT_GT(rowsSeen, 100);
    EXPECT_GE(redraws, 3);
    EXPECT_LE(redraws, 10 * seconds + 1) << redraws << " redraws in " << seconds << " s";
}

TEST_F(LiveGraph, FollowScrollsAndAZoomHoldsTheViewUntilFollowAgain) {
    graph->LiveGraphAction->trigger();
    ASSERT_TRUE(graph->FollowAction->isChecked());
    EXPECT_EQ(graph->FollowSeconds(), 60);
    startLogging();
    // 20 s of rows: the window starts at the first row, 60 s wide.
    rows(40);
    ASSERT_TRUE(waitForRows(40));
    const double t0 = static_cast<double>(recorded().Series->GetX(1));
    EXPECT_FALSE(x().AutoScaleMin);
    EXPECT_NEAR(x().Info.RangeMin.LiteralValue, t0, 1e-6);
    EXPECT_NEAR(x().Info.RangeMax.LiteralValue, t0 + 60, 1e-6);
    // 100 s: the last 60 s, scrolled on with every redraw.
    rows(160);
    ASSERT_TRUE(waitForRows(200));
    const double last = static_cast<double>(recorded().Series->GetX(200));
    EXPECT_NEAR(x().Info.RangeMax.LiteralValue, last, 1e-6);
    EXPECT_NEAR(x().Info.RangeMin.LiteralValue, last - 60, 1e-6);
    rows(20);
    ASSERT_TRUE(waitForRows(220));
    EXPECT_NEAR(x().Info.RangeMax.LiteralValue, last + 10, 1e-4);

    // A zoom to a mark: the view holds while rows keep coming.
    const int from = x().GetPixel(last - 40), to = x().GetPixel(last - 20);
    const int y = graph->contentsRect().height() / 2;
    QTest::mousePress(graph, Qt::LeftButton, Qt::NoModifier, QPoint(from, y));
    QTest::mouseRelease(graph, Qt::LeftButton, Qt::NoModifier, QPoint(to, y));
    graph->ZoomAction->trigger();
    EXPECT_FALSE(graph->FollowAction->isChecked());
    const double zoomMin = x().Info.RangeMin.LiteralValue, zoomMax = x().Info.RangeMax.LiteralValue;
    EXPECT_NEAR(zoomMax - zoomMin, 20, 1);
    rows(20);
    ASSERT_TRUE(waitForRows(240));
    EXPECT_EQ(recorded().Series->Points, 240u);
    EXPECT_EQ(x().Info.RangeMin.LiteralValue, zoomMin);
    EXPECT_EQ(x().Info.RangeMax.LiteralValue, zoomMax);

    // Follow again: the newest 60 s.
    graph->FollowAction->trigger();
    EXPECT_TRUE(graph->FollowAction->isChecked());
    const double newest = static_cast<double>(recorded().Series->GetX(240));
    EXPECT_NEAR(x().Info.RangeMax.LiteralValue, newest, 1e-6);
    EXPECT_NEAR(x().Info.RangeMin.LiteralValue, newest - 60, 1e-6);
    // Follow off by hand: the whole recording.
    graph->FollowAction->trigger();
    EXPECT_TRUE(x().AutoScaleMin);
    EXPECT_NEAR(x().Info.RangeMax.LiteralValue, newest, 1e-6);
    comms->StopLoggingAction->trigger();
}

TEST_F(LiveGraph, TheViewHoldsWhileAZoomWaitsForItsMark) {
    graph->LiveGraphAction->trigger();
    startLogging();
    rows(10);
    ASSERT_TRUE(waitForRows(10));
    const int redraws = graph->LiveRedraws();
    graph->ZoomAction->trigger();
    ASSERT_FALSE(graph->Idle());
    rows(10);
    QTest::qWait(3 * TALDLGraph::LiveRedrawInterval);
    EXPECT_EQ(graph->LiveRedraws(), redraws);
    EXPECT_EQ(graph->LiveRows(), 10u);
    QTest::keyClick(graph, Qt::Key_Escape);
    ASSERT_TRUE(waitForRows(20));
    comms->StopLoggingAction->trigger();
}

TEST_F(LiveGraph, CtrlLAndTheToolBarButtonsWorkFromTheFrame) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    QTest::keyClick(frame.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(graph->LiveGraphAction->isChecked());
    EXPECT_TRUE(frame->ToolBar->actions().contains(graph->LiveGraphAction));
    ASSERT_TRUE(frame->ToolBar->actions().contains(graph->FollowAction));
    auto* follow = qobject_cast<QToolButton*>(frame->ToolBar->widgetForAction(graph->FollowAction));
    ASSERT_NE(follow, nullptr);
    EXPECT_TRUE(follow->isCheckable());
    EXPECT_TRUE(follow->isChecked());
    follow->click();
    EXPECT_FALSE(graph->FollowAction->isChecked());
    QTest::keyClick(frame.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(graph->LiveGraphAction->isChecked());
    EXPECT_FALSE(follow->isEnabled());
}

TEST_F(LiveGraph, TheChoiceIsKeptInTheSettings) {
    graph->LiveGraphAction->trigger();
    {
        const std::unique_ptr<QSettings> s = OpenSettings();
        EXPECT_TRUE(s->value("Software/Quillmar/Graph/LiveGraph").toBool());
        EXPECT_EQ(s->value("Software/Quillmar/Graph/FollowSeconds").toDouble(), 60);
        s->setValue("Software/Quillmar/Graph/FollowSeconds", 15);
    }
    frame.reset();
    openFrame();
    EXPECT_TRUE(graph->LiveGraphAction->isChecked());
    EXPECT_TRUE(graph->FollowAction->isEnabled());
    EXPECT_EQ(graph->FollowSeconds(), 15);
    graph->LiveGraphAction->trigger();
    EXPECT_FALSE(OpenSettings()->value("Software/Quillmar/Graph/LiveGraph").toBool());

    // A run that keeps no settings leaves them as they are.
    graph->setWritesSettings(false);
    graph->LiveGraphAction->trigger();
    EXPECT_FALSE(OpenSettings()->value("Software/Quillmar/Graph/LiveGraph").toBool());
}

} // namespace
} // namespace quillmar
