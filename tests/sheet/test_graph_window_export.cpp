// The graph window's two export commands, handed to its actions.

#include "app/sheet/Spreadsheet.h"
#include "app/sheet/window/GraphExports.h"
#include "app/sheet/window/SheetCommands.h"
#include "graph/window/Graph.h"
#include "tests/sheet/SheetTestSupport.h"

#include <QAction>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

struct ShownGraph {
    TGraph graph;
    QStatusBar status;
    TempDir dir;
    FakeDesktop desktop;
    explicit ShownGraph(bool withCurves = true) {
        desktop.folder = dir.file("Quillmar");
        SetExcelApp(graph, std::make_unique<TExcelApp>(desktop.environment()));
        InstallGraphExports(graph);
        graph.setStatusBar(&status);
        graph.Axes().Title.Line1 = "Dataset 0";
        graph.Axes().Axis(0).Label = "Time";
        graph.Axes().Axis(0).Units = "s";
        graph.Axes().Axis(1).Label = "Engine speed";
        graph.Axes().Axis(1).Units = "RPM";
        if (withCurves) {
            TCurve& c = graph.Curves().Add();
            c.Enabled = true;
            c.Name = "Engine speed";
            c.Series->MakeXY(3, 8);
            for (uint32_t i = 1; i <= 3; ++i) {
                c.Series->SetX(i, 0.25 * i);
                c.Series->SetY(i, 800 + 100 * i);
            }
        }
        graph.resize(600, 400);
        graph.show();
        graph.DrawScreen();
    }
};

} // namespace

TEST(GraphWindowExport, ExcelActionWritesTheWorkbookAndSaysWhere) {
    ShownGraph g;
    ASSERT_TRUE(g.graph.CurveIsPresent());
    ScriptedMessenger messages;
    g.graph.ExportDataToExcelAction->trigger();
    const std::string path = g.desktop.folder + "/Dataset 0.xlsx";
    EXPECT_TRUE(messages.lines().empty()) << messages.lines()[0];
    EXPECT_EQ(g.desktop.opened, std::vector<std::string>{path});
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(g.status.currentMessage().toStdString(), "Workbook saved as " + path);
    EXPECT_FALSE(ExcelAppOf(g.graph).Connected());
    // A second export never replaces the first workbook.
    EXPECT_EQ(ExportGraphToExcel(g.graph), g.desktop.folder + "/Dataset 0 (2).xlsx");
}

TEST(GraphWindowExport, WithoutCurvesNeitherCommandDoesAnything) {
    ShownGraph g(false);
    ScriptedMessenger messages;
    int asked = 0;
    EXPECT_FALSE(ExportGraphToExcel(g.graph));
    EXPECT_FALSE(ExportGraphToAsciiFile(g.graph, [&](QWidget*) {
        ++asked;
        return std::optional<std::string>(g.dir.file("graph.txt"));
    }));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(messages.lines().empty());
    EXPECT_TRUE(g.desktop.opened.empty());
}

TEST(GraphWindowExport, WithoutASpreadsheetTheUserIsTold) {
    ShownGraph g;
    g.desktop.hasProgram = false;
    ScriptedMessenger messages;
    g.graph.ExportDataToExcelAction->trigger();
    EXPECT_EQ(messages.lines(), std::vector<std::string>{"Error|Excel not installed"});
    EXPECT_FALSE(std::filesystem::exists(g.desktop.folder));
}

TEST(GraphWindowExport, AsciiFileHoldsTheGraphTable) {
    ShownGraph g;
    const std::string file = g.dir.file("graph.txt");
    EXPECT_TRUE(ExportGraphToAsciiFile(g.graph, [&](QWidget*) { return std::optional<std::string>(file); }));
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "Dataset 0\r\n\r\n\r\nEngine speed\t\t\t\r\nTime\tEngine speed\r\ns\tRPM\r\n"
                          "0.25\t900\r\n0.5\t1000\r\n0.75\t1100\r\n");
}
