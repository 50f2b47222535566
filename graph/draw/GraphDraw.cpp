#include "graph/draw/GraphDraw.h"

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
    axes.Draw(canvas);
    curves.Draw(canvas, options.EveryPoint);
    if (options.DrawOthers) options.DrawOthers(canvas);
    // The canvas ends with this drawing.
    axes.Canvas = nullptr;
    curves.Canvas = nullptr;
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
