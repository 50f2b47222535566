// Drawing of the curves: markers first, the polyline over them, clipped to
// the plot area widened by 2.5 % on each side.
#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quillmar {

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
        canvas.Polyline(plot.Points);
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
