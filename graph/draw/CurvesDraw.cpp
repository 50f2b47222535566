// Drawing of the curves: markers first, the polyline over them, clipped to
// the plot area widened by 2.5 % on each side.
#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quillmar {

namespace {

// A solid polyline drawn as few pixels as it covers: in each pixel column
// the vertical stretch from its lowest to its highest point, and the lines
// from one column's last point to the next column's first.
std::vector<TPixelPoint> columnSegments(const std::vector<TPixelPoint>& points) {
    std::vector<TPixelPoint> lines;
    lines.reserve(points.size() * 2);
    std::size_t i = 0;
    const TPixelPoint* previousLast = nullptr;
    while (i < points.size()) {
        std::size_t j = i;
        int32_t low = points[i].Y, high = points[i].Y;
        while (j + 1 < points.size() && points[j + 1].X == points[i].X) {
            ++j;
            low = std::min(low, points[j].Y);
            high = std::max(high, points[j].Y);
        }
        if (previousLast) {
            lines.push_back(*previousLast);
            lines.push_back(points[i]);
        }
        if (low != high || !previousLast) {
            // A line leaves out its last pixel: end one beyond the highest.
            lines.push_back({points[i].X, low});
            lines.push_back({points[i].X, high + 1});
        }
        previousLast = &points[j];
        i = j + 1;
    }
    return lines;
}

} // namespace

void TCurve::Draw(TAxes& axes, bool everyPoint) {
    if (!Enabled || !axes.Canvas) return;
    TCanvas& canvas = *axes.Canvas;
    const TCurvePlot plot = PlotPoints(axes, everyPoint);
    canvas.SetClipRect(plot.Clip);
    if (ShowMarkers) {
        canvas.Pen = MarkerPen;
        for (const TPixelPoint& p : plot.Points)
            DrawMarker(axes, p.X, p.Y);
    }
    if (ShowLine) {
        canvas.Pen = LinePen;
        if (!everyPoint && LinePen.Style == TPenStyle::Solid && plot.Points.size() > 1)
            canvas.Lines(columnSegments(plot.Points));
        else
            canvas.Polyline(plot.Points); // a dash pattern runs on along the whole line
    }
    canvas.RestoreClip();
}

void TCurve::DrawMarker(TAxes& axes, int32_t px, int32_t py) {
    if (!axes.Canvas) return;
    TCanvas& canvas = *axes.Canvas;
    if (!(MarkerDivisor > 0)) return;
    const int32_t W = roundEven32(canvas.ClipRect().Bottom / static_cast<long double>(MarkerDivisor));
    const int32_t H = roundEven32(static_cast<long double>(W) * canvas.PixelsPerInchX() /
                                  std::max(canvas.PixelsPerInchY(), 1));
    const int32_t w = W / 2, h = H / 2;
    std::array<TPixelPoint, 4> p;
    int count = 0;
    switch (MarkerKind) {
    case 0:
        p = {TPixelPoint{px - w, py - h}, {px + w, py - h}, {px + w, py + h}, {px - w, py + h}};
        count = 4;
        break;
    case 1:
        p = {TPixelPoint{px, py - h}, {px + w, py + h}, {px - w, py + h}, {}};
        count = 3;
        break;
    case 2:
        p = {TPixelPoint{px, py - h}, {px + w, py}, {px, py + h}, {px - w, py}};
        count = 4;
        break;
    default:
        break;
    }
    canvas.Polygon(p.data(), count);
    canvas.MoveTo(px, py);
}

void TCurves::Draw(TCanvas& canvas, bool everyPoint) {
    Canvas = &canvas;
    Axes.Canvas = &canvas;
    for (const auto& curve : items_)
        curve->Draw(Axes, everyPoint);
}

} // namespace quillmar
