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

bool PaintGraph(QPainter& painter, const QRect& area, TAxes& axes, TCurves& curves,
                const TDrawOptions& options) {
    // The layout counts from the canvas' top-left corner: an area elsewhere
    // moves the painter there for the drawing.
    const bool moved = area.topLeft() != QPoint(0, 0);
    if (moved) {
        painter.save();
        painter.translate(area.topLeft());
    }
    bool ok = false;
    {
        TCanvas canvas(painter, area.size());
        if (options.FillBackground) painter.fillRect(QRect(QPoint(0, 0), area.size()), Qt::white);
        ok = DrawGraph(axes, curves, canvas, options);
    }
    if (moved) painter.restore();
    return ok;
}

QImage RenderGraph(TAxes& axes, TCurves& curves, QSize size, const TDrawOptions& options, bool* drawn) {
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        if (drawn) *drawn = false;
        return image;
    }
    QPainter painter(&image);
    const bool ok = PaintGraph(painter, image.rect(), axes, curves, options);
    painter.end();
    if (drawn) *drawn = ok;
    return image;
}

} // namespace quillmar
