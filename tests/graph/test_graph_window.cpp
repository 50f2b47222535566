// The graph window through its mouse and commands: marks, zoom, point
// selection, the commands disabled while a tool runs, pictures.
#include "GraphTestSupport.h"
#include "graph/window/EnableCommands.h"
#include "graph/window/Graph.h"
#include "graph/window/InformationDlg.h"
#include "graph/window/SelectCurveDlg.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

// A shown 800 x 600 graph of x 1..100 with two curves.
struct ShownGraph {
    TGraph graph;
    ShownGraph(bool withCurves = true) {
        if (withCurves) {
            addSeries(graph.Curves(), 100, 1, [](uint32_t i) { return std::sin(i * 0.1) * 50; });
            addSeries(
                graph.Curves(), 100, 1, [](uint32_t i) { return i * 2.0; }, 2);
        }
        graph.resize(800, 600);
        graph.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&graph));
        graph.DrawScreen();
    }
    int px(double x) { return graph.Axes().Axis(0).GetPixel(x); }
    QPoint at(double x) { return QPoint(px(x), 300); }
    void drag(double from, double to, Qt::KeyboardModifiers shift = Qt::NoModifier) {
        QTest::mousePress(&graph, Qt::LeftButton, shift, at(from));
        QTest::mouseMove(&graph, at((from + to) / 2));
        QTest::mouseMove(&graph, at(to));
        QTest::mouseRelease(&graph, Qt::LeftButton, shift, at(to));
    }
    double value(double x) { return static_cast<double>(graph.Axes().Axis(0).GetValue(px(x))); }
    // Pixels the marks and the crosshair turn over.
    long inverted() { return differingPixels(graph.ShownImage(), graph.CachedImage()); }
};

} // namespace

TEST(GraphWindow, CommandsCarryTheirCaptionsCategoriesAndTags) {
    TGraph graph;
    EXPECT_EQ(graph.windowTitle(), "Graph");
    EXPECT_EQ(graph.ZoomAction->text(), "&Zoom");
    EXPECT_EQ(graph.UnZoomAction->text(), "&Reset Zoom");
    EXPECT_EQ(graph.SaveBMPAction->text(), "&Save as BMP");
    EXPECT_EQ(graph.AxesAction->text(), "&Axes ");
    EXPECT_EQ(graph.CurveAction->text(), "&Curves");
    EXPECT_EQ(graph.PrintGraphAction->text(), "&Print Graph");
    EXPECT_EQ(graph.CopyGraphAction->text(), "Copy");
    EXPECT_EQ(graph.ExitAction->text(), "E&xit");
    EXPECT_EQ(graph.PrintSetupAction->text(), "Print &Setup");
    EXPECT_EQ(graph.ExportGraphDataAction->text(), "Export Data to &ASCII file");
    EXPECT_EQ(graph.ExportDataToExcelAction->text(), "Export data to &Excel");
    EXPECT_EQ(graph.ZoomAction->property("category").toString(), "Tools");
    EXPECT_EQ(graph.AxesAction->property("category").toString(), "Setup");
    EXPECT_EQ(graph.CopyGraphAction->property("category").toString(), "Edit");
    EXPECT_EQ(actionTag(graph.AxesAction), 1);
    EXPECT_EQ(actionTag(graph.CurveAction), 1);
    EXPECT_EQ(actionTag(graph.ZoomAction), 0);
    for (QAction* a : {graph.ZoomAction, graph.UnZoomAction, graph.SaveBMPAction, graph.PrintGraphAction,
                       graph.CopyGraphAction})
        EXPECT_FALSE(a->icon().pixmap(16, 16).toImage().isNull()) << a->objectName().toStdString();
}

TEST(GraphWindow, TheExportActionsRunTheCommandsHandedIn) {
    TGraph graph;
    // Nothing is handed in yet: the actions do nothing.
    graph.ExportGraphDataAction->trigger();
    graph.ExportDataToExcelAction->trigger();
    std::vector<std::string> ran;
    graph.setExportCommands([&] { ran.push_back("ascii"); }, [&] { ran.push_back("excel"); });
    graph.ExportDataToExcelAction->trigger();
    graph.ExportGraphDataAction->trigger();
    EXPECT_EQ(ran, (std::vector<std::string>{"excel", "ascii"}));
}

TEST(GraphWindow, WithoutCurvesThePaintIsBlankWhite) {
    ShownGraph g(false);
    EXPECT_FALSE(g.graph.CurveIsPresent());
    EXPECT_EQ(nonWhitePixels(g.graph.grab().toImage()), 0);
    // A click without a curve only beeps.
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
    EXPECT_EQ(g.graph.MarkCount(), 0);
}

TEST(Marks, ClickLeavesNoMarkAndADragMarksInEitherDirection) {
    ShownGraph g;
    EXPECT_GT(nonWhitePixels(g.graph.grab().toImage()), 1000);
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(30));
    EXPECT_EQ(g.graph.MarkCount(), 0);
    EXPECT_EQ(g.inverted(), 0);

    g.drag(60, 20); // right to left
    ASSERT_EQ(g.graph.MarkCount(), 1);
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
    const TMark& m = g.graph.Mark(1);
    EXPECT_LT(m.Start.Value, m.End.Value);
    EXPECT_NEAR(m.Start.Value, g.value(20), 1e-9);
    EXPECT_NEAR(m.End.Value, g.value(60), 1e-9);
    const TAxis& y = g.graph.Axes().Axis(1);
    const long band =
        static_cast<long>(g.px(60) - g.px(20)) * (y.Info.AxisStart.Pixel - y.Info.AxisEnd.Pixel);
    EXPECT_EQ(g.inverted(), band);

    // Shift adds a second mark; a third is refused.
    g.drag(70, 80, Qt::ShiftModifier);
    EXPECT_EQ(g.graph.MarkCount(), 2);
    const long two = g.inverted();
    EXPECT_GT(two, band);
    QTest::mousePress(&g.graph, Qt::LeftButton, Qt::ShiftModifier, g.at(85));
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
    QTest::mouseRelease(&g.graph, Qt::LeftButton, Qt::ShiftModifier, g.at(90));
    EXPECT_EQ(g.graph.MarkCount(), 2);
    EXPECT_EQ(g.inverted(), two);

    // A click without Shift starts over.
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(50));
    EXPECT_EQ(g.graph.MarkCount(), 0);
    EXPECT_EQ(g.inverted(), 0);
}

TEST(Marks, ShiftClickKeepsTheFirstMark) {
    ShownGraph g;
    g.drag(20, 40);
    const long band = g.inverted();
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::ShiftModifier, g.at(70));
    EXPECT_EQ(g.graph.MarkCount(), 1);
    EXPECT_EQ(g.inverted(), band);
}

TEST(Marks, OutsideTheAxisNothingAndPartlyOutsideClipped) {
    ShownGraph g;
    const TAxis& x = g.graph.Axes().Axis(0);
    const TAxis& y = g.graph.Axes().Axis(1);
    const double end = x.Info.AxisEnd.ScaleValue;
    g.graph.MarkRegion({0, end + 10}, {0, end + 20});
    EXPECT_EQ(g.inverted(), 0);
    g.graph.MarkRegion({0, 50}, {0, end + 50});
    const long height = y.Info.AxisStart.Pixel - y.Info.AxisEnd.Pixel;
    EXPECT_EQ(g.inverted(), (x.Info.AxisEnd.Pixel - x.GetPixel(50)) * height);
    g.graph.MarkRegion({0, end + 50}, {0, 50}); // the same call hides it
    EXPECT_EQ(g.inverted(), 0);
}

TEST(Zoom, OneMarkIsUsedAtOnceAndResetReturnsToTheData) {
    ShownGraph g;
    g.drag(20, 60);
    const TMark m = g.graph.Mark(1);
    g.graph.Zoom1Click();
    const TAxis& x = g.graph.Axes().Axis(0);
    EXPECT_EQ(g.graph.MarkCount(), 0);
    EXPECT_FALSE(x.AutoScaleMin);
    EXPECT_FALSE(x.AutoScaleMax);
    EXPECT_DOUBLE_EQ(x.Info.RangeMin.LiteralValue, m.Start.Value);
    EXPECT_DOUBLE_EQ(x.Info.RangeMax.LiteralValue, m.End.Value);
    EXPECT_TRUE(g.graph.Idle());

    g.graph.UnZoom1Click();
    EXPECT_TRUE(x.AutoScaleMin);
    EXPECT_EQ(x.Info.RangeMin.LiteralValue, 1);
    EXPECT_EQ(x.Info.RangeMax.LiteralValue, 100);
}

TEST(Zoom, TwoMarksAreClearedAndADragIsAwaitedWithCommandsDisabled) {
    ShownGraph g;
    QAction other("Start logging");
    g.graph.addAction(&other);
    QAction unavailable("Stop logging");
    unavailable.setEnabled(false);
    g.graph.addAction(&unavailable);
    g.drag(10, 20);
    g.drag(30, 40, Qt::ShiftModifier);
    ASSERT_EQ(g.graph.MarkCount(), 2);

    // The zoom waits as a state of the window: the call returns at once.
    g.graph.Zoom1Click();
    EXPECT_EQ(g.graph.MarkCount(), 0);
    EXPECT_FALSE(g.graph.Idle());
    ASSERT_NE(g.graph.InformationWindow(), nullptr);
    EXPECT_EQ(g.graph.InformationWindow()->dlgInfoText->text(),
              "Click and drag with the mouse to select area to zoom into");
    EXPECT_FALSE(g.graph.ZoomAction->isEnabled());
    EXPECT_FALSE(other.isEnabled());
    EXPECT_TRUE(g.graph.AxesAction->isEnabled());
    EXPECT_TRUE(g.graph.CurveAction->isEnabled());
    EXPECT_FALSE(g.graph.close()); // refused while the tool runs
    // Timers keep running while it waits.
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }));
    EXPECT_FALSE(g.graph.Idle());

    g.drag(50, 70);
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_EQ(g.graph.InformationWindow(), nullptr);
    EXPECT_TRUE(g.graph.ZoomAction->isEnabled());
    EXPECT_TRUE(other.isEnabled());
    EXPECT_FALSE(unavailable.isEnabled()); // stays as it was before the tool
    const TAxis& x = g.graph.Axes().Axis(0);
    EXPECT_FALSE(x.AutoScaleMin);
    EXPECT_LT(x.Info.RangeMax.LiteralValue - x.Info.RangeMin.LiteralValue, 25);
    EXPECT_EQ(g.graph.MarkCount(), 0);
}

TEST(Zoom, AbortAndEscapeEndTheWaitAndChangeNothing) {
    ShownGraph g;
    QSignalSpy zoomed(&g.graph, &TGraph::zoomed);
    g.graph.Zoom1Click();
    ASSERT_NE(g.graph.InformationWindow(), nullptr);
    EXPECT_EQ(g.graph.InformationWindow()->windowTitle(), "Information");
    g.graph.ZoomAction->trigger(); // off while it waits
    g.graph.InformationWindow()->dlgAbort->click();
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_EQ(g.graph.InformationWindow(), nullptr);
    EXPECT_TRUE(g.graph.Axes().Axis(0).AutoScaleMin);
    EXPECT_TRUE(g.graph.ZoomAction->isEnabled());
    EXPECT_TRUE(g.graph.close());
    g.graph.show();

    // Escape, in the information window or over the graph, does the same.
    g.graph.Zoom1Click();
    QTest::keyClick(g.graph.InformationWindow(), Qt::Key_Escape);
    EXPECT_TRUE(g.graph.Idle());
    g.graph.Zoom1Click();
    QTest::keyClick(&g.graph, Qt::Key_Escape);
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_TRUE(g.graph.ZoomAction->isEnabled());
    EXPECT_TRUE(g.graph.Axes().Axis(0).AutoScaleMin);
    EXPECT_EQ(zoomed.count(), 0);
    // A drag after it is a mark again, no zoom.
    g.drag(20, 40);
    EXPECT_EQ(g.graph.MarkCount(), 1);
    EXPECT_TRUE(g.graph.Axes().Axis(0).AutoScaleMin);
}

TEST(Zoom, TheWindowGoingWhileAZoomWaitsLeavesTheCommandsOn) {
    QWidget frame; // another window's command
    QAction other("Start logging");
    frame.addAction(&other);
    {
        ShownGraph g;
        g.graph.Zoom1Click();
        EXPECT_FALSE(other.isEnabled());
        ASSERT_NE(g.graph.InformationWindow(), nullptr);
    }
    EXPECT_TRUE(other.isEnabled());
}

TEST(SelectPoint, CancelInTheCurveChooserEndsWithNothingPicked) {
    ShownGraph g;
    int calls = 0;
    bool picked = true;
    g.graph.SelectPoint(-1, QString(), [&](bool p, QPointF) {
        ++calls;
        picked = p;
    });
    // The chooser is open; the window waits for its answer.
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(g.graph.Idle());
    TSelectCurveDlg* chooser = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* c = qobject_cast<TSelectCurveDlg*>(w); c && c->isVisible()) chooser = c;
    ASSERT_NE(chooser, nullptr) << "no curve chooser shown";
    EXPECT_EQ(chooser->windowTitle(), "Select curve");
    EXPECT_TRUE(chooser->isModal());
    chooser->CancelBtn->click();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(picked);
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
    EXPECT_EQ(g.inverted(), 0);
}

TEST(SelectPoint, TheCurveChosenIsTheOneFollowed) {
    ShownGraph g;
    QPointF point;
    g.graph.SelectPoint(-1, QString(), [&](bool, QPointF p) { point = p; });
    TSelectCurveDlg* chooser = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* c = qobject_cast<TSelectCurveDlg*>(w); c && c->isVisible()) chooser = c;
    ASSERT_NE(chooser, nullptr);
    chooser->dlgCurveNumber->setValue(1);
    chooser->OKBtn->click();
    EXPECT_EQ(g.graph.SelectedCurve(), 1);
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maSelecting);
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(30));
    EXPECT_EQ(point, QPointF(30, 60));
}

TEST(SelectPoint, ClickPicksTheNearestPointWithACrosshairAndReadout) {
    ShownGraph g;
    QStatusBar status;
    g.graph.setStatusBar(&status);
    int calls = 0;
    bool picked = false;
    QPointF point;
    g.graph.SelectPoint(1, "Click on curve", [&](bool p, QPointF at) {
        ++calls;
        picked = p;
        point = at;
    });
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maSelecting);
    EXPECT_FALSE(g.graph.SaveBMPAction->isEnabled());
    ASSERT_NE(g.graph.InformationWindow(), nullptr);
    EXPECT_EQ(g.graph.InformationWindow()->dlgInfoText->text(), "Click on curve");
    QTest::mouseMove(&g.graph, g.at(42.2));
    EXPECT_GT(g.inverted(), 500);
    const QString readout = status.currentMessage();
    EXPECT_TRUE(readout.startsWith("x: ")) << readout.toStdString();
    EXPECT_TRUE(readout.contains(" y: "));
    EXPECT_EQ(calls, 0);
    QTest::mousePress(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(42.2));
    QTest::mouseRelease(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(42.2));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(picked);
    EXPECT_EQ(point.x(), 42);
    EXPECT_DOUBLE_EQ(point.y(), 84);
    EXPECT_EQ(status.currentMessage(), ""); // cleared with the crosshair
    EXPECT_EQ(g.inverted(), 0);
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_EQ(g.graph.InformationWindow(), nullptr);
    EXPECT_TRUE(g.graph.SaveBMPAction->isEnabled());
}

TEST(SelectPoint, AbortOrEscapeEndsWithNothingPicked) {
    ShownGraph g;
    for (bool escape : {false, true}) {
        std::vector<bool> answers;
        g.graph.SelectPoint(0, "Pick a point", [&](bool p, QPointF) { answers.push_back(p); });
        EXPECT_GT(g.inverted(), 0);
        if (escape)
            QTest::keyClick(&g.graph, Qt::Key_Escape);
        else
            g.graph.InformationWindow()->reject();
        EXPECT_EQ(answers, std::vector<bool>{false});
        EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
        EXPECT_EQ(g.inverted(), 0);
        EXPECT_TRUE(g.graph.Idle());
        EXPECT_TRUE(g.graph.ZoomAction->isEnabled());
    }
}

TEST(SelectPoint, AZoomDuringTheSelectionRunsOnTopAndTheSelectionGoesOn) {
    ShownGraph g;
    std::vector<QPointF> picked;
    g.graph.SelectPoint(0, QString(), [&](bool p, QPointF at) {
        if (p) picked.push_back(at);
    });
    g.graph.Zoom1Click();
    // The zoom waits for its mark; the selection waits below it, the
    // crosshair hidden meanwhile.
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maNormal);
    ASSERT_NE(g.graph.InformationWindow(), nullptr);
    EXPECT_EQ(g.inverted(), 0);
    g.drag(20, 60);
    EXPECT_FALSE(g.graph.Axes().Axis(0).AutoScaleMin);
    EXPECT_TRUE(picked.empty());
    EXPECT_FALSE(g.graph.Idle());
    EXPECT_EQ(g.graph.CurrentMouseActivity(), maSelecting);
    EXPECT_FALSE(g.graph.ZoomAction->isEnabled()); // the selection keeps them off
    QTest::mouseClick(&g.graph, Qt::LeftButton, Qt::NoModifier, g.at(30));
    ASSERT_EQ(picked.size(), 1u);
    EXPECT_NEAR(picked[0].x(), 30, 0.5);
    EXPECT_TRUE(g.graph.Idle());
    EXPECT_TRUE(g.graph.ZoomAction->isEnabled());
}

TEST(SelectPoint, NothingToPickAnswersAtOnce) {
    ShownGraph g(false);
    int calls = 0;
    g.graph.SelectPoint(0, "Pick", [&](bool p, QPointF) { calls += p ? 10 : 1; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(g.graph.Idle());
}

TEST(Pictures, SavedAt1024By768AndTheWindowConvertsWithItsOwnLayout) {
    ShownGraph g;
    QTemporaryDir dir;
    const TAxis& x = g.graph.Axes().Axis(0);
    const int screenEnd = x.Info.AxisEnd.Pixel;
    const QPoint at20 = g.at(20), at60 = g.at(60);
    const double value20 = g.value(20);
    const QString bmp = dir.filePath("graph.bmp");
    ASSERT_TRUE(g.graph.SavePicture(bmp, "BMP"));
    QImage saved(bmp);
    EXPECT_EQ(saved.size(), QSize(1024, 768));
    EXPECT_GT(nonWhitePixels(saved), 1000);
    EXPECT_NE(x.Info.AxisEnd.Pixel, screenEnd); // the axes hold the picture's layout
    // A drag now converts through the window's layout, not the picture's.
    QTest::mousePress(&g.graph, Qt::LeftButton, Qt::NoModifier, at20);
    QTest::mouseRelease(&g.graph, Qt::LeftButton, Qt::NoModifier, at60);
    EXPECT_EQ(x.Info.AxisEnd.Pixel, screenEnd);
    EXPECT_DOUBLE_EQ(g.graph.Mark(1).Start.Value, value20);

    ASSERT_TRUE(g.graph.SavePicture(dir.filePath("graph.png"), "PNG"));
    EXPECT_EQ(QImage(dir.filePath("graph.png")).size(), QSize(1024, 768));
    ASSERT_TRUE(g.graph.SavePicture(dir.filePath("graph.svg"), "SVG"));
    QFile svg(dir.filePath("graph.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("1024"));
    ASSERT_TRUE(g.graph.SavePicture(dir.filePath("graph.pdf"), "PDF"));
    QFile pdf(dir.filePath("graph.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
}

TEST(Pictures, SaveAsBmpAsksForTheFileWithoutBlockingAndWritesTheFormatChosen) {
    ShownGraph g;
    QTemporaryDir dir;
    g.graph.SaveBMPAction->trigger();
    auto* dialog = g.graph.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Export Bitmap");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    dialog->selectNameFilter("PNG pictures (*.png)");
    dialog->selectFile(dir.filePath("saved.png"));
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_EQ(QImage(dir.filePath("saved.png")).size(), QSize(1024, 768));
    EXPECT_TRUE(QTest::qWaitFor([&] { return g.graph.findChild<QFileDialog*>() == nullptr; }));
}

TEST(Pictures, WriteFailureIsReported) {
    ShownGraph g;
    RecordingMessenger messages;
    EXPECT_FALSE(g.graph.SavePicture("/nonexistent-folder/graph.bmp", "BMP"));
    EXPECT_FALSE(g.graph.SavePicture("/nonexistent-folder/graph.svg", "SVG"));
    ASSERT_EQ(messages.Seen.size(), 2u);
    EXPECT_EQ(messages.Seen[0], "Error|Error writing file, check sufficient disc space is available");
}

TEST(Pictures, PrintGoesToThePrinterAndTheScreenLayoutReturns) {
    ShownGraph g;
    QTemporaryDir dir;
    QPrinter* printer = g.graph.Printer();
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(dir.filePath("print.pdf"));
    const int screenEnd = g.graph.Axes().Axis(0).Info.AxisEnd.Pixel;
    g.graph.PrinttF81Click();
    EXPECT_GT(QFileInfo(dir.filePath("print.pdf")).size(), 1000);
    EXPECT_EQ(g.graph.Axes().Axis(0).Info.AxisEnd.Pixel, screenEnd);
}

TEST(Clipboard, CopyPutsTheShownPicture) {
    ShownGraph g;
    g.drag(20, 40);
    g.graph.CopyToClipboard();
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), g.graph.CachedImage().size());
    EXPECT_EQ(differingPixels(copied, g.graph.ShownImage()), 0);
}

TEST(GraphWindow, ContentsMarginsKeepRoomForADerivedWindowsControls) {
    TGraph graph;
    addSeries(graph.Curves(), 100, 1, [](uint32_t i) { return i; });
    graph.setContentsMargins(10, 0, 0, 30);
    graph.resize(800, 600);
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    graph.DrawScreen();
    EXPECT_EQ(graph.CachedImage().size(), QSize(790, 570));
    const TAxis& x = graph.Axes().Axis(0);
    const int p20 = x.GetPixel(20), p60 = x.GetPixel(60);
    QTest::mousePress(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(p20 + 10, 200));
    QTest::mouseRelease(&graph, Qt::LeftButton, Qt::NoModifier, QPoint(p60 + 10, 200));
    ASSERT_EQ(graph.MarkCount(), 1);
    EXPECT_DOUBLE_EQ(graph.Mark(1).Start.Value, static_cast<double>(x.GetValue(p20)));
    // The strip below stays the window's background.
    const QImage shown = graph.grab().toImage();
    EXPECT_EQ(nonWhitePixels(shown.copy(0, 570, 800, 30)), 0);
}

TEST(EnableCommands, ReachesMenusToolBarsAndMdiChildrenByTag) {
    QMainWindow main;
    auto* area = new QMdiArea(&main);
    main.setCentralWidget(area);
    auto* graph = new TGraph;
    area->addSubWindow(graph);
    QMenu* menu = main.menuBar()->addMenu("&Graph");
    QAction* untagged = menu->addAction("Start talking");
    QAction* setup = menu->addAction("Comm port");
    setActionTag(setup, 1);
    QToolBar* bar = main.addToolBar("Tools");
    bar->addAction(graph->ZoomAction);
    QAction* off = bar->addAction("Stop logging");
    off->setEnabled(false);
    QMenu popup;
    QAction* popupItem = popup.addAction("Plot as x");

    EnableCommands(false, {0});
    EXPECT_FALSE(untagged->isEnabled());
    EXPECT_FALSE(graph->ZoomAction->isEnabled());
    EXPECT_FALSE(graph->PrintGraphAction->isEnabled());
    EXPECT_FALSE(popupItem->isEnabled());
    EXPECT_TRUE(setup->isEnabled());
    EXPECT_TRUE(graph->AxesAction->isEnabled());
    EnableCommands(true, {0});
    EXPECT_TRUE(untagged->isEnabled());
    EXPECT_TRUE(graph->ZoomAction->isEnabled());
    EXPECT_TRUE(popupItem->isEnabled());
    EXPECT_FALSE(off->isEnabled());
}
