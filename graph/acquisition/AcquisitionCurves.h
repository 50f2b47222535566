#pragma once
// The curves of the acquisition graph, built from the open datasets and the
// three parameter selectors of the acquisition window: for every dataset in
// collection order the curve of curve selector 1 and, unless it shows
// "No curve", the curve of selector 2, each against the x-axis parameter. All
// curves of one dataset share its colour; selector 1 draws solid on the left
// axis, selector 2 dotted on the right. A flag bit is plotted as 0 or 2^bit.
//
// No widgets here: the graph window and 'quillmar-cli plot' build the very
// same curves, axes captions and time shift through these functions.

#include "acquisition/params/ParameterTypes.h"
#include "acquisition/params/PlotSelection.h"
#include "graph/core/Curves.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

class TALDLLog;

// The table in force and the lists the selectors were filled from.
struct TPlotTable {
    const TParameterArray& Parameters;
    const std::vector<std::string>& ParameterNames; // "blank", then every display name
    const std::vector<TFlagDef>& FlagDefs;
    int32_t SpeedIndex = -1; // position of "Speed" in ParameterNames
};

// The lists of a TPlotTable made from a table, for a front end that has no
// acquisition window to take them from.
struct TPlotLists {
    explicit TPlotLists(const TParameterArray& parameters);
    TPlotTable Table() const { return {*Parameters, ParameterNames, FlagDefs, SpeedIndex}; }

    const TParameterArray* Parameters;
    std::vector<std::string> ParameterNames;
    std::vector<TFlagDef> FlagDefs;
    int32_t SpeedIndex = -1;
};

// A curve of the acquisition graph remembers which dataset row each of its
// points shows (sorting by x reorders the points) and what it plots, so that
// the curve of a dataset still being recorded can grow.
class TDatasetCurve : public TCurve {
public:
    using TCurve::TCurve;
    // Dataset row of point i at [i - 1]; empty when point i is row i.
    std::vector<uint32_t> PointRows;
    // Positions in ParameterNames of x and y, and the bit mask of a flag
    // curve (0 otherwise).
    int32_t XIndex = -1;
    int32_t YIndex = -1;
    int32_t Mask = 0;
};

// A dataset as a graph plots it: its first Rows rows (a recording still
// running holds room for more rows than it has recorded).
struct TPlotDataset {
    const TALDLLog* Log = nullptr;
    uint32_t Rows = 0;
};

// The dataset row point (1-based) of curve shows: through the curve's point
// rows for a curve of the acquisition graph, otherwise the point itself.
uint32_t DatasetRowOf(const TCurve& curve, uint32_t point);

// What a build chose.
struct TCurveSetup {
    // Position in ParameterNames of the x parameter (-1 when the text names none).
    int32_t XParameterIndex = -1;
    // Elements 1 and 2: position in ParameterNames of each selector's
    // parameter (for a bit, of its flag entry); -1 for a selector without a curve.
    std::array<int32_t, 3> CurveParameterIndexes{0, -1, -1};
    // Curves each dataset got (0, 1 or 2); dataset d's first is curve d times this.
    int CurvesPerDataset = 0;
};

// True for the x parameters whose values already ascend ("Time",
// "Distance"): their series are not sorted and the time shift applies.
bool XAxisAscends(const std::string& xText);

// Appends the curves of every dataset (collection order) to curves and sets
// the captions of the axes curves draws through: every used y axis visible
// with the parameter's label ("Flags 30 - At idle" for a bit) and units, the
// x axis with the x parameter's display name and units. Unless x is "Time"
// or "Distance" each series is sorted by x, as SortByX orders it, and its
// curve keeps the rows its points came from. The curves already
// there stay (the graph clears them first). A selector whose text names no
// parameter (no selection) gets no curve, like "No curve".
TCurveSetup AddAcquisitionCurves(TCurves& curves, const std::vector<const TALDLLog*>& datasets,
                                 const TPlotTable& table, const TPlotSelection& selection);
// The same with each dataset's rows limited to its Rows.
TCurveSetup AddAcquisitionCurves(TCurves& curves, const std::vector<TPlotDataset>& datasets,
                                 const TPlotTable& table, const TPlotSelection& selection);

// ---- a recording plotted while it runs ----------------------------------------

// Appends the rows after curve's last point up to row rows of log, the
// dataset it was built from, to a curve built against an ascending x (its
// points are the rows in order; a time shift stays applied). False, and
// nothing changed, for a curve sorted by x or when rows adds nothing.
bool ExtendDatasetCurve(TDatasetCurve& curve, const TALDLLog& log, uint32_t rows);

// The x range a strip chart shows of a curve whose x runs from firstX to
// lastX: the last span of x up to lastX, or, until that much has come, the
// span from firstX (the curve grows from the left edge).
struct TXRangeShown {
    long double Min = 0;
    long double Max = 0;
};
TXRangeShown FollowRange(long double firstX, long double lastX, double span);

// The full travel of the time-shift bar: the largest x of all enabled curves
// minus the smallest, from the curves' extreme search on the x axis.
long double FindTimeShiftRange(TCurves& curves);

// Moves curves first .. first + count - 1 (those that exist) along x by
// position / 1000 of range; position is the bar's, -1000..1000.
void ApplyTimeShift(TCurves& curves, int first, int count, int position, long double range);

// The acquisition graph's axes as the program starts them: the x axis and
// the left y axis scale automatically from 0 up.
void PrepareAcquisitionAxes(TAxes& axes);

// ---- names, for the command line --------------------------------------------

// The x-axis selector's texts: "Time", then every entry's display name
// (flag entries too, their bits never), each once.
std::vector<std::string> XAxisNames(const TParameterArray& parameters);
// The curve selectors' choices as a command line names them: every display
// name and, for every named bit of a flag entry, the entry's display name,
// "/" and the bit's name ("Flags 30/At idle").
std::vector<std::string> CurveNames(const TParameterArray& parameters);

// The x-axis selector text name stands for; nullopt when there is none.
std::optional<std::string> FindXAxisItem(const TParameterArray& parameters, const std::string& name);
// The curve selector item name stands for: a display name, or a flag entry's
// display name and one of its bit names joined by "/"; "No curve" is none.
// nullopt when no item has that name.
std::optional<TSelectorItem> FindCurveItem(const TPlotTable& table, const std::string& name);

} // namespace quillmar
