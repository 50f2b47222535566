// Curves: defaults, the extreme search, the axis ranges it sets, and the
// points a curve puts through the axes.
#include "FakeMetrics.h"
#include "graph/core/Curves.h"
#include "graph/core/SeriesIndex.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>

using namespace quillmar;
using quillmar::testing::FakeMetrics;

namespace {

TCurve& addCurve(TCurves& curves, std::initializer_list<std::pair<double, double>> points, int yAxis = 1) {
    TCurve& c = curves.Add();
    c.Enabled = true;
    c.YAxis = static_cast<uint8_t>(yAxis);
    c.Series->MakeXY(static_cast<uint32_t>(points.size()), 8);
    uint32_t i = 1;
    for (auto [x, y] : points) {
        c.Series->SetX(i, x);
        c.Series->SetY(i, y);
        ++i;
    }
    return c;
}

// Axis ranges from the data, then the layout and scales on an 800 x 600 surface.
void layOut(TAxes& axes, TCurves& curves) {
    ASSERT_TRUE(curves.SetupAxesInfo());
    FakeMetrics canvas;
    axes.GetClientAreaInfo(canvas);
    for (int i = 0; i < 3; ++i)
        axes.Axis(i).SetupScale(canvas);
}

} // namespace

TEST(Curve, DefaultsFollowThePositionInTheCollection) {
    TAxes axes;
    TCurves curves(axes);
    for (int i = 0; i < 4; ++i)
        curves.Add();
    const TCurve& fourth = curves.GetCurve(3);
    EXPECT_EQ(fourth.Name, "Curve 3");
    EXPECT_EQ(fourth.MarkerKind, 0);
    EXPECT_EQ(fourth.LinePen.Color, 0x008000u);
    EXPECT_EQ(fourth.MarkerPen.Color, 0x008000u);
    EXPECT_EQ(curves.GetCurve(0).Name, "Curve 0");
    EXPECT_EQ(curves.GetCurve(2).MarkerKind, 2);
    EXPECT_FALSE(fourth.Enabled);
    EXPECT_TRUE(fourth.ShowLine);
    EXPECT_EQ(fourth.YAxis, 1);
    EXPECT_EQ(fourth.MarkerDivisor, 100.0);
    EXPECT_THROW(curves.GetCurve(4), std::out_of_range);
}

TEST(Extreme, FirstOfEqualExtremesAndTheLogSentinels) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = addCurve(curves, {{1, 4}, {2, -1}, {3, 4}, {4, -1}, {5, 0}});
    const TAxis& y = axes.Axis(1);
    EXPECT_EQ(c.Extreme(y, 1, 1, 0).Point, 1);
    EXPECT_EQ(c.Extreme(y, 0, 1, 0).Point, 2);
    EXPECT_EQ(c.Extreme(y, 0, 1, 0).Value, -1);
    // From x 2.6 to 4.4: points 3 and 4.
    EXPECT_EQ(c.Extreme(y, 1, 2.6, 4.4).Point, 3);
    EXPECT_EQ(c.Extreme(axes.Axis(0), 1, 1, 0).Value, 5);
    // Not this curve's axis.
    EXPECT_EQ(c.Extreme(axes.Axis(2), 1, 1, 0).Point, 0);

    axes.Axis(1).SetScaleType(LogScale);
    EXPECT_EQ(c.Extreme(axes.Axis(1), 0, 1, 0).Point, 1); // only the positive values
    EXPECT_DOUBLE_EQ(static_cast<double>(c.Extreme(axes.Axis(1), 0, 1, 0).Value), std::log10(4.0));
    TCurve& nothingPositive = addCurve(curves, {{1, 0}, {2, -3}});
    EXPECT_EQ(nothingPositive.Extreme(axes.Axis(1), 0, 1, 0).Value, 324.0L);
    EXPECT_EQ(nothingPositive.Extreme(axes.Axis(1), 1, 1, 0).Value, -324.0L);
    EXPECT_EQ(nothingPositive.Extreme(axes.Axis(1), 1, 1, 0).Point, 1);
}

TEST(Extreme, NaNValuesTakeNoPart) {
    TAxes axes;
    TCurves curves(axes);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TCurve& c = addCurve(curves, {{1, nan}, {2, 3}, {3, nan}, {4, -2}});
    EXPECT_EQ(c.Extreme(axes.Axis(1), 1, 1, 0).Value, 3);
    EXPECT_EQ(c.Extreme(axes.Axis(1), 0, 1, 0).Value, -2);
}

TEST(SetupAxesInfo, RangesCoverTheEnabledCurvesOfEachAxis) {
    TAxes axes;
    TCurves curves(axes);
    EXPECT_FALSE(curves.SetupAxesInfo()); // no curves
    addCurve(curves, {{0, 1}, {10, 3}});
    addCurve(curves, {{2, -4}, {8, 2}});
    addCurve(curves, {{1, 500}, {12, 900}}, 2);
    TCurve& off = addCurve(curves, {{-50, -1000}, {50, 1000}});
    off.Enabled = false;
    ASSERT_TRUE(curves.SetupAxesInfo());
    EXPECT_EQ(axes.Axis(0).Info.RangeMin.ScaleValue, 0);
    EXPECT_EQ(axes.Axis(0).Info.RangeMax.ScaleValue, 12);
    EXPECT_EQ(axes.Axis(1).Info.RangeMin.ScaleValue, -4);
    EXPECT_EQ(axes.Axis(1).Info.RangeMax.ScaleValue, 3); // the right axis' curve does not widen it
    EXPECT_EQ(axes.Axis(2).Info.RangeMin.ScaleValue, 500);
    EXPECT_TRUE(axes.Axis(0).Visible);
    EXPECT_TRUE(axes.Axis(1).Visible);
    EXPECT_TRUE(axes.Axis(2).Visible);

    // Zoomed in x: y follows the points inside the x range (nearest ends).
    axes.Axis(0).AutoScaleMin = axes.Axis(0).AutoScaleMax = false;
    axes.Axis(0).Info.RangeMin.SetLiteralValue(7);
    axes.Axis(0).Info.RangeMax.SetLiteralValue(9);
    ASSERT_TRUE(curves.SetupAxesInfo());
    EXPECT_EQ(axes.Axis(1).Info.RangeMin.ScaleValue, 2);
    EXPECT_EQ(axes.Axis(1).Info.RangeMax.ScaleValue, 3);
    EXPECT_TRUE(axes.Axis(0).Visible); // typed ranges keep the axis shown

    curves.GetCurve(2).Enabled = false;
    ASSERT_TRUE(curves.SetupAxesInfo());
    EXPECT_FALSE(axes.Axis(2).Visible);
}

TEST(SetupAxesInfo, TypedRangesTheWrongWayRoundAreSwapped) {
    TAxes axes;
    TCurves curves(axes);
    addCurve(curves, {{0, 1}, {10, 3}});
    TAxis& y = axes.Axis(1);
    y.AutoScaleMax = false;
    y.Info.RangeMax.SetLiteralValue(-5); // below the data minimum 1
    ASSERT_TRUE(curves.SetupAxesInfo());
    EXPECT_EQ(y.Info.RangeMin.ScaleValue, -5);
    EXPECT_EQ(y.Info.RangeMax.ScaleValue, 1);
}

TEST(PlotPoints, PointsOutsideTheVisibleYRangeAreDroppedAndTheirNeighboursJoined) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = addCurve(curves, {{0, 1}, {1, 5}, {2, 2}});
    TAxis& y = axes.Axis(1);
    y.AutoScaleMin = y.AutoScaleMax = false;
    y.Info.RangeMin.SetLiteralValue(0);
    y.Info.RangeMax.SetLiteralValue(3);
    layOut(axes, curves);
    const TCurvePlot plot = c.PlotPoints(axes, true);
    ASSERT_EQ(plot.Points.size(), 2u);
    EXPECT_EQ(plot.Points[0].X, axes.Axis(0).GetPixel(0));
    EXPECT_EQ(plot.Points[1].X, axes.Axis(0).GetPixel(2));
    EXPECT_EQ(plot.Points[1].Y, y.GetPixel(2));
    // The clip: the plot area widened by 2.5 % each side.
    const int xs = axes.Axis(0).Info.AxisStart.Pixel, xe = axes.Axis(0).Info.AxisEnd.Pixel;
    EXPECT_EQ(plot.Clip.Left, xs - static_cast<int>(roundEven(0.025L * (xe - xs))));

    // Every point above the range: nothing to draw.
    TCurve& high = addCurve(curves, {{0, 10}, {1, 11}, {2, 12}});
    layOut(axes, curves);
    EXPECT_TRUE(high.PlotPoints(axes).Points.empty());
    high.Enabled = false;
    EXPECT_TRUE(high.PlotPoints(axes).Points.empty());
}

TEST(PlotPoints, APointWithoutAYValueLeavesAGapWhereAnOutOfRangeOneDoesNot) {
    TAxes axes;
    TCurves curves(axes);
    // x 0..5; y NaN at x 2 and x 4, and out of the range at x 1.
    TCurve& c = addCurve(curves, {{0, 1}, {1, 50}, {2, NAN}, {3, 2}, {4, NAN}, {5, 1}});
    TAxis& y = axes.Axis(1);
    y.AutoScaleMin = y.AutoScaleMax = false;
    y.Info.RangeMin.SetLiteralValue(0);
    y.Info.RangeMax.SetLiteralValue(3);
    layOut(axes, curves);
    for (bool everyPoint : {true, false}) {
        const TCurvePlot plot = c.PlotPoints(axes, everyPoint);
        ASSERT_EQ(plot.Points.size(), 3u) << everyPoint; // x 0, 3, 5
        EXPECT_EQ(plot.Points[1].X, axes.Axis(0).GetPixel(3));
        EXPECT_EQ(plot.Breaks, (std::vector<std::size_t>{1, 2})) << everyPoint;
    }
    // Without a NaN the line is one.
    TCurve& whole = addCurve(curves, {{0, 1}, {1, 50}, {2, 2}});
    layOut(axes, curves);
    EXPECT_TRUE(whole.PlotPoints(axes, true).Breaks.empty());
    EXPECT_TRUE(whole.PlotPoints(axes).Breaks.empty());

    // x not in order: the gaps follow the order of the points.
    TCurve& unordered = addCurve(curves, {{3, 1}, {1, NAN}, {0, 2}, {2, 1}});
    layOut(axes, curves);
    EXPECT_EQ(unordered.PlotPoints(axes, true).Breaks, (std::vector<std::size_t>{1}));
}

TEST(PlotPoints, ZoomedXRangeKeepsThePointsInsideIt) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = addCurve(curves, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}});
    TAxis& x = axes.Axis(0);
    x.AutoScaleMin = x.AutoScaleMax = false;
    x.Info.RangeMin.SetLiteralValue(0.5);
    x.Info.RangeMax.SetLiteralValue(3);
    layOut(axes, curves);
    const TCurvePlot plot = c.PlotPoints(axes, true);
    ASSERT_EQ(plot.Points.size(), 3u); // x 1, 2, 3
    EXPECT_EQ(plot.Points.front().X, x.GetPixel(1));
    EXPECT_EQ(plot.Points.back().X, x.GetPixel(3));

    // On a logarithmic x axis the points at the ends of the range stay.
    TAxes logAxes;
    TCurves logCurves(logAxes);
    TCurve& l = addCurve(logCurves, {{1.5, 1}, {7.3, 2}, {123.7, 3}});
    logAxes.Axis(0).SetScaleType(LogScale);
    layOut(logAxes, logCurves);
    EXPECT_EQ(l.PlotPoints(logAxes, true).Points.size(), 3u);
}

TEST(PlotPoints, ReducedPointsAreEachColumnsFirstLowestHighestAndLast) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = curves.Add();
    c.Enabled = true;
    const uint32_t n = 200000;
    c.Series->MakeXY(n, 8);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(-1, 1);
    for (uint32_t i = 1; i <= n; ++i) {
        c.Series->SetX(i, i * 0.01);
        c.Series->SetY(i, std::sin(i * 1e-4) * 10 + noise(random));
    }
    layOut(axes, curves);
    const TCurvePlot every = c.PlotPoints(axes, true);
    const TCurvePlot reduced = c.PlotPoints(axes);
    EXPECT_EQ(every.Points.size(), n);
    EXPECT_LT(reduced.Points.size(), 4u * 800);
    // Column by column the same first, last, lowest and highest pixels.
    auto columns = [](const std::vector<TPixelPoint>& points) {
        std::map<int, std::array<int, 4>> out; // first, last, min, max
        for (const TPixelPoint& p : points) {
            auto [it, fresh] = out.try_emplace(p.X, std::array<int, 4>{p.Y, p.Y, p.Y, p.Y});
            auto& a = it->second;
            a[1] = p.Y;
            a[2] = std::min(a[2], p.Y);
            a[3] = std::max(a[3], p.Y);
        }
        return out;
    };
    EXPECT_EQ(columns(every.Points), columns(reduced.Points));
}

TEST(PlotPoints, RefilledSeriesIsNoticed) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = addCurve(curves, {{0, 1}, {1, 2}, {2, 3}});
    layOut(axes, curves);
    const int before = c.PlotPoints(axes).Points[1].Y;
    c.Series->SetY(2, 1.5); // the sample of values sees the middle point change
    layOut(axes, curves);
    EXPECT_NE(c.PlotPoints(axes).Points[1].Y, before);
    EXPECT_EQ(c.PlotPoints(axes).Points[1].Y, axes.Axis(1).GetPixel(1.5));
}

TEST(MinMaxTree, AnswersAsAScanWould) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(-20, 20);
    for (uint32_t n : {1u, 5u, 64u, 65u, 1000u, 5003u}) {
        std::vector<double> v(n);
        for (double& x : v)
            x = value(random) == 20 ? std::numeric_limits<double>::quiet_NaN() : value(random);
        TMinMaxTree tree;
        tree.Build(v);
        std::uniform_int_distribution<uint32_t> index(0, n - 1);
        for (int round = 0; round < 300; ++round) {
            uint32_t a = index(random), b = index(random);
            if (a > b) std::swap(a, b);
            TKeepRange keep;
            if (round % 3 == 1) {
                keep.Lo = value(random);
                keep.Hi = keep.Lo + value(random) + 20;
            } else if (round % 3 == 2) {
                keep.Lo = 0;
                keep.LoOpen = true;
            }
            uint32_t mn = TMinMaxTree::npos, mx = TMinMaxTree::npos, first = TMinMaxTree::npos,
                     last = TMinMaxTree::npos;
            for (uint32_t i = a; i <= b; ++i) {
                if (!keep.keeps(v[i])) continue;
                if (first == TMinMaxTree::npos) first = i;
                last = i;
                if (mn == TMinMaxTree::npos || v[i] < v[mn]) mn = i;
                if (mx == TMinMaxTree::npos || v[i] > v[mx]) mx = i;
            }
            const auto e = tree.Extremes(a, b, keep);
            ASSERT_EQ(e.MinIndex, mn) << n << " " << a << ".." << b;
            ASSERT_EQ(e.MaxIndex, mx) << n << " " << a << ".." << b;
            ASSERT_EQ(tree.FirstKept(a, b, keep), first);
            ASSERT_EQ(tree.LastKept(a, b, keep), last);
        }
    }
}
