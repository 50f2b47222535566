// The graph window of the logged datasets inside the frame: the commands it
// lends the frame, the curves the acquisition window's selectors choose, the
// time-shift bar, the tree's "Plot as" commands and the cursor that writes
// the tree as the mouse moves.

#include "tests/agraph/AgraphTestSupport.h"
#include "tests/app/AppTestSupport.h"
#include "tests/cli/CliTestSupport.h"

#include "graph/acquisition/window/ALDLGraph.h"

#include <QComboBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using namespace agraphtest;

class AgraphFrame : public ::testing::Test, public testing::FrameFixture {
protected:
    void SetUp() override {
        writeSettings();
        open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        graph = frame->ALDLGraph();
        comms = frame->CommsForm();
        ASSERT_NE(graph, nullptr);
        ASSERT_NE(comms, nullptr);
    }
    // Writes a log file of rows in the private folder and opens it.
    void openLog(const std::string& name, const std::vector<Row>& rows) {
        const std::string file = config.file(name);
        writeLogFile(file, rows);
        frame->FileOpen1Accept({QString::fromStdString(file)});
    }
    // Chooses text in a selector as the user would.
    static void choose(QComboBox* combo, const QString& text) {
        const int index = combo->findText(text, Qt::MatchExactly);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    QTreeWidgetItem* treeLine(const std::string& name) {
        for (int i = 0; i < comms->ParameterTree->topLevelItemCount(); ++i)
            if (DisplayName(acq().parameters()[static_cast<std::size_t>(i)]) == name)
                return comms->ParameterTree->topLevelItem(i);
        return nullptr;
    }
    // The window position over the x value (the picture starts at the top left).
    QPoint at(double x) {
        graph->DrawScreen();
        return QPoint(graph->Axes().Axis(0).GetPixel(x), graph->contentsRect().height() / 2);
    }

    TALDLGraph* graph = nullptr;
    TCommsForm* comms = nullptr;
};

TEST_F(AgraphFrame, TheFrameHostsTheGraphWithItsStatusBarAndCommands) {
    EXPECT_EQ(frame->GraphForm(), graph);
    EXPECT_EQ(frame->graphWindow()->widget(), graph);
    EXPECT_EQ(frame->Graph.Axes, graph->AxesAction);
    EXPECT_EQ(frame->Graph.Curve, graph->CurveAction);
    EXPECT_EQ(frame->Graph.PrintSetup, graph->PrintSetupAction);
    EXPECT_EQ(frame->Graph.PrintGraph, graph->PrintGraphAction);
    EXPECT_EQ(frame->Graph.ExportDataToExcel, graph->ExportDataToExcelAction);
    EXPECT_EQ(frame->Graph.ExportGraphData, graph->ExportGraphDataAction);
    EXPECT_EQ(frame->Graph.SaveBMP, graph->SaveBMPAction);
    EXPECT_EQ(frame->Graph.CopyGraph, graph->CopyGraphAction);
    EXPECT_EQ(frame->Graph.Zoom, graph->ZoomAction);
    EXPECT_EQ(frame->Graph.UnZoom, graph->UnZoomAction);
    QStringList menu;
    for (const QAction* a : frame->GraphMenu->actions())
        menu << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(menu, QStringList({"&Axes ", "&Curves", "-", "Print &Setup", "&Print Graph", "-",
                                 "Export data to &Excel", "Export Data to &ASCII file", "&Save as BMP"}));

    // The read-out along the bottom, below the picture; it takes no clicks.
    QStatusBar* bar = graph->GraphStatusBar;
    EXPECT_EQ(graph->statusBar(), bar);
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().bottom(), graph->rect().bottom());
    EXPECT_EQ(bar->width(), graph->width());
    EXPECT_LE(graph->contentsRect().bottom(), bar->geometry().top());
    for (int axis : {0, 1}) {
        EXPECT_TRUE(graph->Axes().Axis(axis).AutoScaleMin);
        EXPECT_EQ(graph->Axes().Axis(axis).Info.RangeMin.ScaleValue, 0);
    }
    EXPECT_TRUE(comms->ActivateCursorAction->isEnabled());
}

TEST_F(AgraphFrame, TheTimeShiftMovesOnlyTheCurrentDatasetAndOnlyAlongTimeOrDistance) {
    openLog("a.ecu", run(50, 0));
    EXPECT_EQ(graph->Curves().Count(), 1); // "Smoothed speed", no curve 2
    EXPECT_FALSE(comms->dlgTimeShift->isEnabled());
    openLog("b.ecu", run(100, 1));
    ASSERT_EQ(graph->Curves().Count(), 2);
    EXPECT_TRUE(comms->dlgTimeShift->isEnabled());
    EXPECT_NEAR(graph->TimeShiftRange, 9.9, 1e-9);
    EXPECT_EQ(graph->CurrentCurve(), 1); // b.ecu, opened last, is current

    comms->dlgTimeShift->setValue(500);
    EXPECT_EQ(graph->Curves().GetCurve(0).Series->XYScaling.XOffset, 0);
    EXPECT_NEAR(static_cast<double>(graph->Curves().GetCurve(1).Series->XYScaling.XOffset), 4.95, 1e-9);
    // Another dataset for the table keeps the offsets.
    emit comms->dlgDataSet->activated(0);
    EXPECT_EQ(graph->CurrentCurve(), 0);
    EXPECT_NEAR(static_cast<double>(graph->Curves().GetCurve(1).Series->XYScaling.XOffset), 4.95, 1e-9);

    // Against engine speed the curves are sorted and the bar goes back to 0.
    choose(comms->dlgxAxis, "Engine speed");
    const TCurve& c = graph->Curves().GetCurve(0);
    for (uint32_t i = 2; i <= c.Series->Points; ++i)
        ASSERT_LE(c.Series->GetX(i - 1), c.Series->GetX(i));
    EXPECT_EQ(comms->dlgTimeShift->value(), 0);
    comms->dlgTimeShift->setValue(300);
    EXPECT_EQ(comms->dlgTimeShift->value(), 0);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(graph->Curves().GetCurve(i).Series->XYScaling.XOffset, 0);
    EXPECT_EQ(graph->Axes().Axis(0).Label, "Engine speed");

    // Closing one of the two leaves a single dataset: the bar is off again.
    frame->CloseDataSetActionExecute();
    EXPECT_EQ(graph->Curves().Count(), 1);
    EXPECT_FALSE(comms->dlgTimeShift->isEnabled());
}

TEST_F(AgraphFrame, PlotAsCurve2OnABitOnlySelectsItUntilTheNextRebuild) {
    openLog("a.ecu", run(50, 0));
    QTreeWidgetItem* flags = treeLine("Flags 30");
    ASSERT_NE(flags, nullptr);
    comms->ParameterTree->setCurrentItem(flags->child(0));
    comms->TreePopUpPopup();
    EXPECT_FALSE(comms->PlotAsxAction->isEnabled()); // a bit cannot be x
    EXPECT_TRUE(comms->PlotAsCurve1Action->isEnabled());
    EXPECT_TRUE(comms->PlotAsCurve2Action->isEnabled());
    const TxyDataStruct* before = graph->Curves().GetCurve(0).Series.get();
    comms->PlotAsCurve2Action->trigger();
    EXPECT_EQ(comms->dlgCurve2->currentText(), "Throttle>0");
    const int data = comms->dlgCurve2->currentData(SelectorFlagDefRole).toInt();
    ASSERT_GT(data, 0);
    EXPECT_EQ(comms->FlagDefs[static_cast<std::size_t>(data - 1)].ParamName, "Flags 30");
    EXPECT_EQ(comms->FlagDefs[static_cast<std::size_t>(data - 1)].Mask, 1);
    // Nothing was rebuilt.
    ASSERT_EQ(graph->Curves().Count(), 1);
    EXPECT_EQ(graph->Curves().GetCurve(0).Series.get(), before);

    // The next rebuild plots it on the right, dotted.
    graph->SetupCurve();
    ASSERT_EQ(graph->Curves().Count(), 2);
    EXPECT_EQ(graph->Axes().Axis(2).Label, "Flags 30 - Throttle>0");
    EXPECT_EQ(graph->Curves().GetCurve(1).LinePen.Style, TPenStyle::Dot);
    EXPECT_EQ(graph->CurveParameterIndexes[2], IndexOfName(acq().parameterNames(), "Flags 30"));

    // A top-level line that is no flag entry can be x.
    comms->ParameterTree->setCurrentItem(treeLine("Engine speed"));
    comms->TreePopUpPopup();
    ASSERT_TRUE(comms->PlotAsxAction->isEnabled());
    comms->PlotAsxAction->trigger();
    EXPECT_EQ(comms->dlgxAxis->currentText(), "Engine speed");
}

TEST_F(AgraphFrame, TheCursorWritesTheTreeForThePointUnderTheMouse) {
    // Engine speed falls row by row: against it the points run backwards.
    const auto rows = agraphtest::rows(60, [](uint32_t r) {
        Row row;
        row.EngineSpeed = static_cast<uint8_t>(200 - r);
        row.Throttle = static_cast<uint8_t>(r);
        return row;
    });
    openLog("a.ecu", rows);
    choose(comms->dlgCurve1, "Engine speed");
    ASSERT_EQ(graph->Curves().Count(), 1);
    const TParameter& engine = *std::find_if(acq().parameters().begin(), acq().parameters().end(),
                                             [](const TParameter& p) { return p.Name == "Engine speed"; });

    struct Seen {
        QString prompt, point, engineLine, readout;
        bool commandsOff = false;
    };
    Seen time, speed;
    // The cursor is a state of the graph: it runs once triggered, until the click.
    auto follow = [&](Seen& seen, double x) {
        comms->ActivateCursorAction->trigger();
        seen.prompt = frame->statusBar()->currentMessage();
        seen.commandsOff = !comms->ActivateCursorAction->isEnabled();
        const QPoint p = at(x);
        QTest::mouseMove(graph, p + QPoint(40, 0));
        QTest::mouseMove(graph, p);
        seen.point = comms->dlgPointNo->text();
        seen.engineLine = treeLine("Engine speed")->text(0);
        seen.readout = graph->GraphStatusBar->currentMessage();
        QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, p);
    };

    // Against time, row 30 lies at 2.9 s.
    follow(time, 2.9);
    EXPECT_EQ(time.prompt, "Click on curve to select a point & clear cursor mode.");
    EXPECT_TRUE(time.commandsOff); // a second cursor cannot start
    EXPECT_EQ(time.point, "30");
    EXPECT_EQ(time.engineLine.toStdString(), ParameterLine(engine, (200 - 30) * 25.0));
    EXPECT_TRUE(time.readout.startsWith("x: ")) << time.readout.toStdString();
    EXPECT_EQ(frame->statusBar()->currentMessage(), "");
    EXPECT_EQ(graph->CurrentMouseActivity(), maNormal);
    EXPECT_TRUE(comms->ActivateCursorAction->isEnabled());

    // Against engine speed the tree shows the row of the point, not its place.
    choose(comms->dlgxAxis, "Engine speed");
    follow(speed, (200 - 10) * 25.0);
    EXPECT_EQ(speed.point, "10");
    EXPECT_EQ(speed.engineLine.toStdString(), ParameterLine(engine, (200 - 10) * 25.0));
}

TEST_F(AgraphFrame, TheCommandLineDrawsWhatTheWindowSaves) {
    openLog("a.ecu", run(80, 0));
    openLog("b.ecu", run(120, 1));
    choose(comms->dlgCurve1, "Engine speed");
    choose(comms->dlgCurve2, "At idle");
    ASSERT_EQ(graph->Curves().Count(), 4);
    const QString saved = config.path("window.png");
    ASSERT_TRUE(graph->SavePicture(saved, "PNG"));

    const std::filesystem::path dir = config.dir.path().toStdString();
    const clitest::CliRun cli =
        clitest::Child({"plot", config.file("a.ecu"), config.file("b.ecu"), "--x", "Time", "--y",
                        "Engine speed", "--y2", "Flags 30/At idle", "--out", config.file("cli.png")},
                       dir, {.headless = true})
            .wait();
    ASSERT_EQ(cli.status, 0) << cli.err;
    const QImage window(saved), line(config.path("cli.png"));
    ASSERT_EQ(window.size(), line.size());
    EXPECT_TRUE(window.convertToFormat(QImage::Format_RGB32) == line.convertToFormat(QImage::Format_RGB32));
}

} // namespace
} // namespace quillmar
