#include "graph/draw/GraphDraw.h"

#include "graph/draw/AxesDraw.h"
#include "graph/draw/CurvesDraw.h"

#include <QPainter>

namespace quillmar {

bool DrawGraph(TAxes& axes, TCurves& curves, TCanvas& canvas, const TDrawOptions& options) {
    if (!curves.SetupAxesInfo()) return false;
    if (options.SetMarkerSizes) {
        const long double bottom = canvas.ClipRect().Bottom;
        const long double ppi = std::max(canvas.PixelsPerInchY(), 1);
        for (int i = 0; i < curves.Count(); ++i) {
            TCurve& curve = curves.GetCurve(i);
            if (curve.MarkerDivisor > 0)
                curve.MarkerSize = roundEven32(bottom / curve.MarkerDivisor * 72 / ppi);
        }
    }
    DrawAxes(axes, canvas);
    DrawCurves(curves, canvas, options.EveryPoint);
    if (options.DrawOthers) options.DrawOthers(canvas);
    return true;
}

QImage RenderGraph(TAxes& axes, TCurves& curves, QSize size, const TDrawOptions& options, bool* drawn) {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        if (drawn) *drawn = false;
        return image;
    }
    image.fill(Qt::white);
    QPainter painter(&image);
    TCanvas canvas(painter);
    const bool ok = DrawGraph(axes, curves, canvas, options);
    painter.end();
    if (drawn) *drawn = ok;
    return image;
}

} // namespace quillmar
