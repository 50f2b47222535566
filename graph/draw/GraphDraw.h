#pragma once
// One complete graph drawing onto any surface: the window's cached image, a
// picture file, an SVG or PDF page or the printer all go through here.

#include "graph/core/Curves.h"
#include "graph/draw/Canvas.h"

#include <QImage>

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
};

// Scales the axes from the curves; false, and nothing drawn, when there is
// nothing to draw. Otherwise marker sizes, axes, curves, then DrawOthers.
bool DrawGraph(TAxes& axes, TCurves& curves, TCanvas& canvas, const TDrawOptions& options = {});

// A white image of size with the graph drawn on it (blank when there is
// nothing to draw; drawn tells which). A null image when it cannot be made.
QImage RenderGraph(TAxes& axes, TCurves& curves, QSize size, const TDrawOptions& options = {},
                   bool* drawn = nullptr);

} // namespace quillmar
