#pragma once
// A graph's axes and curves as the graph exports see them.

#include "app/sheet/ExportTables.h"

namespace quillmar {

class TAxes;
class TCurves;

// The title lines of axes, then every curve of curves in list order: its
// name, the caption and units of the x axis and of the curve's own y axis
// (the right one when YAxis is 2, else the left one) and its series, which
// the result only points to: it is valid while the curves keep their series.
GraphExport GraphExportFromCurves(const TAxes& axes, const TCurves& curves);

} // namespace quillmar
