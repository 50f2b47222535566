#pragma once
// One complete graph drawing onto any surface: the window's cached image, a
// picture file, an SVG or PDF page and the printer all paint through
// PaintGraph.

#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"

#include <QImage>
#include <QRect>

#include <functional>

namespace quillmar {

struct TDrawOptions {
    // Marker sizes follow the surface (the window and picture files); a
    // printout keeps the sizes of the last screen drawing.
    bool SetMarkerSizes = true;
    // Put every point through the axes instead of the per-column reduction.
    bool EveryPoint = false;
    // Drawn after the curves.
    std::function<void(TCanvas&)> DrawOthers;
    // PaintGraph fills its area white first; a printed page keeps the paper.
    bool FillBackground = true;
};

// The graph painted into area of painter's device (the painter must be
// active): the area filled white unless options say not, then DrawGraph on
// a canvas of the area's size at its top-left corner. False, and only the
// background painted, when there is nothing to draw.
bool PaintGraph(QPainter& painter, const QRect& area, TAxes& axes, TCurves& curves,
                const TDrawOptions& options = {});

// Scales the axes from the curves; false, and nothing drawn, when there is
// nothing to draw. Otherwise marker sizes, axes, curves, then DrawOthers.
bool DrawGraph(TAxes& axes, TCurves& curves, TCanvas& canvas, const TDrawOptions& options = {});

// A white image of size with the graph painted on it (blank when there is
// nothing to draw; drawn tells which). A null image when it cannot be made.
QImage RenderGraph(TAxes& axes, TCurves& curves, QSize size, const TDrawOptions& options = {},
                   bool* drawn = nullptr);

} // namespace quillmar
