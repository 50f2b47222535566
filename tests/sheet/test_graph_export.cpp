#include "app/sheet/ExportTables.h"
#include "app/sheet/Spreadsheet.h"
#include "app/sheet/graph/GraphExportFromCurves.h"
#include "graph/core/Curves.h"

#include <gtest/gtest.h>

using namespace quillmar;

namespace {

// A curve of n points, x = i / 2, y = base + i.
TCurve& addCurve(TCurves& curves, const std::string& name, uint32_t n, double base, uint8_t yAxis) {
    TCurve& c = curves.Add();
    c.Name = name;
    c.YAxis = yAxis;
    c.Series->MakeXY(n, 8);
    for (uint32_t i = 1; i <= n; ++i) {
        c.Series->SetX(i, 0.5 * i);
        c.Series->SetY(i, base + i);
    }
    return c;
}

struct TwoCurveGraph {
    TAxes axes;
    TCurves curves{axes};
    TwoCurveGraph() {
        axes.Title.Line1 = "Dataset 0";
        axes.Title.Line2 = "Speed and engine speed";
        axes.Axis(0).Label = "Time";
        axes.Axis(0).Units = "s";
        axes.Axis(1).Label = "Speed";
        axes.Axis(1).Units = "mph";
        axes.Axis(2).Label = "Engine speed";
        axes.Axis(2).Units = "RPM";
        addCurve(curves, "Speed", 3, 10, 1);
        addCurve(curves, "Engine speed", 5, 700, 2);
    }
};

} // namespace

TEST(GraphExportFromCurves, TitlesNamesAndEachCurvesOwnAxis) {
    TwoCurveGraph g;
    const GraphExport e = GraphExportFromCurves(g.axes, g.curves);
    EXPECT_EQ(e.Line1, "Dataset 0");
    EXPECT_EQ(e.Line2, "Speed and engine speed");
    ASSERT_EQ(e.Curves.size(), 2u);
    const GraphCurveExport& speed = e.Curves[0];
    const GraphCurveExport& rpm = e.Curves[1];
    EXPECT_EQ(speed.CurveName, "Speed");
    EXPECT_EQ(speed.XLabel + "|" + speed.XUnits, "Time|s");
    EXPECT_EQ(speed.YLabel + "|" + speed.YUnits, "Speed|mph"); // left axis
    EXPECT_EQ(rpm.CurveName, "Engine speed");
    EXPECT_EQ(rpm.XLabel + "|" + rpm.XUnits, "Time|s");
    EXPECT_EQ(rpm.YLabel + "|" + rpm.YUnits, "Engine speed|RPM"); // right axis
    EXPECT_EQ(speed.PointCount(), 3u);
    EXPECT_EQ(rpm.PointCount(), 5u);
    EXPECT_EQ(e.MaxPoints(), 5u);
    EXPECT_DOUBLE_EQ(rpm.X(5), 2.5);
    EXPECT_DOUBLE_EQ(rpm.Y(5), 705);
}

TEST(GraphExportFromCurves, ThreeAndFivePointsInTheWorkbookAndTheText) {
    TwoCurveGraph g;
    const GraphExport e = GraphExportFromCurves(g.axes, g.curves);
    TWorksheet sheet;
    EXPECT_EQ(FillGraphSheet(sheet, e), 5u);
    EXPECT_EQ(sheet.Find(4, 4)->Text(), "Engine speed");
    EXPECT_EQ(sheet.Find(6, 5)->Text(), "RPM");
    for (uint32_t row = 7; row <= 11; ++row) {
        const uint32_t i = row - 6;
        const TCell* x1 = sheet.Find(row, 1);
        if (i <= 3) {
            ASSERT_TRUE(x1 && x1->IsNumber()) << row;
            EXPECT_DOUBLE_EQ(sheet.Find(row, 2)->Number(), 10 + i);
        } else {
            EXPECT_TRUE(!x1 || x1->IsEmpty()) << row; // past the first curve's end
            const TCell* y1 = sheet.Find(row, 2);
            EXPECT_TRUE(!y1 || y1->IsEmpty()) << row;
        }
        ASSERT_TRUE(sheet.Find(row, 5)) << row; // the second curve stays in its columns
        EXPECT_DOUBLE_EQ(sheet.Find(row, 4)->Number(), 0.5 * i);
        EXPECT_DOUBLE_EQ(sheet.Find(row, 5)->Number(), 700 + i);
    }
    const std::string text = GraphTableText(e, ".");
    EXPECT_NE(text.find("\r\nTime\tSpeed\t\tTime\tEngine speed\r\ns\tmph\t\ts\tRPM\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n1.5\t13\t\t1.5\t703\r\n\t\t\t2\t704\r\n\t\t\t2.5\t705\r\n"), std::string::npos);
}

TEST(GraphExportFromCurves, ACurveWithoutSeriesHasNoPoints) {
    TAxes axes;
    TCurves curves(axes);
    curves.Add().Series.reset();
    const GraphExport e = GraphExportFromCurves(axes, curves);
    ASSERT_EQ(e.Curves.size(), 1u);
    EXPECT_EQ(e.Curves[0].CurveName, "Curve 0");
    EXPECT_EQ(e.MaxPoints(), 0u);
}
