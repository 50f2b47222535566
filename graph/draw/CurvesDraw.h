#pragma once
// Drawing of the curves: markers first, the polyline over them, clipped to
// the plot area widened by 2.5 % on each side.

#include "graph/core/Curves.h"

#include <cstdint>

namespace quillmar {

class TCanvas;

// One curve through axes (laid out for canvas); nothing when it is not enabled.
void DrawCurve(const TCurve& curve, const TAxes& axes, TCanvas& canvas, bool everyPoint = false);
// The curve's marker centred on pixel (px, py).
void DrawCurveMarker(const TCurve& curve, TCanvas& canvas, int32_t px, int32_t py);
// Every curve in order, through the curves' axes.
void DrawCurves(TCurves& curves, TCanvas& canvas, bool everyPoint = false);

} // namespace quillmar
