#pragma once
// Drawing of the axes: title, ticks, labels, captions and the zero line.

#include "graph/core/Axes.h"

namespace quillmar {

class TCanvas;

// Layout, SetupScale of all three axes, then the title, the axes, their
// labels and captions and the zero line.
void DrawAxes(TAxes& axes, TCanvas& canvas);

} // namespace quillmar
