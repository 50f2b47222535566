#include "graph/draw/CurvesDraw.h"

#include "graph/draw/Canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quillmar {

void DrawCurve(const TCurve& curve, const TAxes& axes, TCanvas& canvas, bool everyPoint) {
    if (!curve.Enabled) return;
    const TCurvePlot plot = curve.PlotPoints(axes, everyPoint);
    canvas.SetClipRect(plot.Clip);
    if (curve.ShowMarkers) {
        canvas.Pen = curve.MarkerPen;
        for (const TPixelPoint& p : plot.Points)
            DrawCurveMarker(curve, canvas, p.X, p.Y);
    }
    if (curve.ShowLine) {
        canvas.Pen = curve.LinePen;
        if (plot.Breaks.empty()) {
            canvas.Polyline(plot.Points);
        } else {
            // One line per stretch between the gaps.
            std::size_t start = 0;
            for (std::size_t k = 0; k <= plot.Breaks.size(); ++k) {
                const std::size_t end = k < plot.Breaks.size() ? plot.Breaks[k] : plot.Points.size();
                if (end > start)
                    canvas.Polyline(
                        std::vector<TPixelPoint>(plot.Points.begin() + static_cast<std::ptrdiff_t>(start),
                                                 plot.Points.begin() + static_cast<std::ptrdiff_t>(end)));
                start = end;
            }
        }
    }
    canvas.RestoreClip();
}

void DrawCurveMarker(const TCurve& curve, TCanvas& canvas, int32_t px, int32_t py) {
    if (!(curve.MarkerDivisor > 0)) return;
    const int32_t W = roundEven32(canvas.ClipRect().Bottom / static_cast<long double>(curve.MarkerDivisor));
    const int32_t H = roundEven32(static_cast<long double>(W) * canvas.PixelsPerInchX() /
                                  std::max(canvas.PixelsPerInchY(), 1));
    const int32_t w = W / 2, h = H / 2;
    std::array<TPixelPoint, 4> p;
    int count = 0;
    switch (curve.MarkerKind) {
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

void DrawCurves(TCurves& curves, TCanvas& canvas, bool everyPoint) {
    for (int i = 0; i < curves.Count(); ++i)
        DrawCurve(curves.GetCurve(i), curves.Axes, canvas, everyPoint);
}

} // namespace quillmar
