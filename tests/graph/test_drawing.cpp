// The drawing layer: the per-column reduction draws the picture of every
// point, markers where they can be told apart, and the rotated and raised text.
#include "GraphTestSupport.h"
#include "graph/draw/GraphDraw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

struct Picture {
    TAxes axes;
    TCurves curves{axes};

    // The same picture through the reduction and through every point.
    std::pair<QImage, QImage> both(QSize size = QSize(1200, 800)) {
        TDrawOptions every;
        every.EveryPoint = true;
        QImage reduced = RenderGraph(axes, curves, size);
        QImage all = RenderGraph(axes, curves, size, every);
        return {reduced, all};
    }
};

} // namespace

TEST(FastDrawing, NoisySeriesLooksLikeEveryPointDrawn) {
    Picture p;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0, 40);
    addSeries(p.curves, 300000, 0.2,
              [&](uint32_t i) { return 3000 + 1500 * std::sin(i * 2e-5) + noise(random); });
    addSeries(
        p.curves, 300000, 0.2, [&](uint32_t i) { return 60 + 30 * std::cos(i * 7e-5) + noise(random) / 20; },
        2);
    auto [reduced, all] = p.both();
    EXPECT_GT(nonWhitePixels(all), 100000);
    EXPECT_LE(differingPixels(reduced, all), 12);
}

TEST(FastDrawing, StepSeriesAndPointsOutsideTheYRange) {
    Picture p;
    addSeries(p.curves, 100000, 0.01, [](uint32_t i) { return static_cast<double>((i / 7000) % 5) * 10; });
    std::mt19937 random(9);
    std::uniform_real_distribution<double> spread(-100, 100);
    addSeries(p.curves, 100000, 0.01, [&](uint32_t) { return spread(random); });
    // A y range that leaves out much of the second curve.
    TAxis& y = p.axes.Axis(1);
    y.AutoScaleMin = y.AutoScaleMax = false;
    y.Info.RangeMin.SetLiteralValue(-20);
    y.Info.RangeMax.SetLiteralValue(45);
    auto [reduced, all] = p.both();
    EXPECT_LE(differingPixels(reduced, all), 12);

    // Zoomed into a part of x as well.
    TAxis& x = p.axes.Axis(0);
    x.AutoScaleMin = x.AutoScaleMax = false;
    x.Info.RangeMin.SetLiteralValue(200);
    x.Info.RangeMax.SetLiteralValue(430);
    auto [zoomedReduced, zoomedAll] = p.both(QSize(800, 600));
    EXPECT_LE(differingPixels(zoomedReduced, zoomedAll), 12);
}

TEST(FastDrawing, SparseMarkersAreAllDrawn) {
    Picture p;
    TCurve& c = addSeries(p.curves, 60, 1, [](uint32_t i) { return std::sin(i * 0.3); });
    c.ShowMarkers = true;
    c.MarkerKind = 1;
    addSeries(p.curves, 40, 1.5, [](uint32_t i) { return std::cos(i * 0.2); }).ShowMarkers = true;
    auto [reduced, all] = p.both(QSize(800, 600));
    EXPECT_EQ(differingPixels(reduced, all), 0);
}

TEST(Drawing, NothingToDrawLeavesTheSurfaceWhite) {
    TAxes axes;
    TCurves curves(axes);
    bool drawn = true;
    QImage image = RenderGraph(axes, curves, QSize(300, 200), {}, &drawn);
    EXPECT_FALSE(drawn);
    EXPECT_EQ(nonWhitePixels(image), 0);
    // A curve without points: the axes have nothing to show either.
    curves.Add().Enabled = true;
    image = RenderGraph(axes, curves, QSize(300, 200), {}, &drawn);
    EXPECT_EQ(nonWhitePixels(image), 0);
}

TEST(Drawing, MarkersScaleWithTheSurface) {
    TAxes axes;
    TCurves curves(axes);
    TCurve& c = addSeries(curves, 3, 1, [](uint32_t i) { return i; });
    c.ShowMarkers = true;
    c.ShowLine = false;
    QImage small = RenderGraph(axes, curves, QSize(400, 300));
    EXPECT_EQ(c.MarkerSize, 2); // Round(300 / 100 x 72 / 96)
    QImage large = RenderGraph(axes, curves, QSize(1600, 1200));
    EXPECT_EQ(c.MarkerSize, 9);
    EXPECT_GT(nonWhitePixels(large), nonWhitePixels(small));
}

TEST(Text, RotatedTextLeavesThePenAtItsEnd) {
    QImage image(400, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TCanvas canvas(painter);
    canvas.Font.Height = 20;
    const int width = canvas.TextWidth("Engine speed");
    RotatedTextOut(canvas, 100, 300, 90, "Engine speed");
    EXPECT_EQ(canvas.PenPos.X, 100);
    EXPECT_EQ(canvas.PenPos.Y, 300 - width);
    RotatedTextOut(canvas, 10, 20, 0, "rpm");
    EXPECT_EQ(canvas.PenPos.Y, 20);
    // A superscript is raised a quarter height and comes back to the line.
    canvas.MoveTo(50, 100);
    SuperscriptTextOut(canvas, "3", 0);
    EXPECT_EQ(canvas.PenPos.Y, 100);
    EXPECT_GT(canvas.PenPos.X, 50);
    EXPECT_EQ(canvas.Font.Height, 20);
    painter.end();
    EXPECT_GT(nonWhitePixels(image), 50);
}

TEST(Text, DefaultFontMeasuresAsArial) {
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    TCanvas canvas(painter);
    canvas.Font.Height = 17;
    // Liberation Sans has Arial's widths: the digits are 0.556 em wide.
    const int w = canvas.TextWidth("0000000000");
    EXPECT_NEAR(w, 10 * 0.556 * 17 / 1.149, 4);
    EXPECT_EQ(canvas.TextHeight("0"), 17);
}
