#pragma once
// The acquisition window's graph panel as the acquisition graph sees it,
// without either window knowing the other: what the three parameter
// selectors show, the flag bits their bit items stand for, where the
// time-shift bar stands, and the cursor command.
//
// The acquisition window keeps the choices in step with its controls and,
// through them, asks for the curves to be built again or moved, or for the
// cursor (Graph hooks, set by the graph). What the graph decides comes back
// the same way (Panel hooks, set by the window): x back to "Time" while a
// recording runs, the time-shift bar on or off or back at 0, the dataset row
// under the cursor.

#include "acquisition/params/ParameterTypes.h"
#include "acquisition/params/PlotSelection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillmar {

class TALDLLog;
class TLogCollection;

// What the graph that plots the choices is told.
struct PlotGraphHooks {
    // The curves must be built again: a selector was chosen, or datasets
    // came, went or changed.
    std::function<void()> SetupCurve;
    // The time-shift bar moved.
    std::function<void()> TimeShiftChanged;
    // "Cursor": follow the current dataset's curve.
    std::function<void()> ActivateCursor;
    // Another dataset was chosen for the table: a running cursor goes over
    // to its curve.
    std::function<void()> DatasetChosen;
    // The choices go away with their acquisition window.
    std::function<void()> Detached;
};

// What the acquisition window is told.
struct PlotPanelHooks {
    // Show text in the x-axis selector; it does not count as a choice.
    std::function<void(const std::string& text)> ShowXText;
    std::function<void(bool enabled)> EnableTimeShift;
    // Put the time-shift bar at position (-1000..1000); the window reports
    // the bar's new position back through timeShiftMoved.
    std::function<void(int position)> ShowTimeShift;
    // Asking for the current dataset may have chosen one: show the selection.
    std::function<void()> DatasetChosen;
    // Show this row of the current dataset in the live table, at once.
    std::function<void(uint32_t row)> ShowRow;
    // A graph now plots the choices: the cursor command can be used.
    std::function<void()> GraphAttached;
};

class PlotChoices {
public:
    // datasets: the open datasets; must outlive this object.
    explicit PlotChoices(TLogCollection& datasets);
    ~PlotChoices();
    PlotChoices(const PlotChoices&) = delete;
    PlotChoices& operator=(const PlotChoices&) = delete;

    TLogCollection& datasets() { return datasets_; }

    // ---- kept by the acquisition window ----

    // What the selectors show, and the flag bits behind their bit items.
    TPlotSelection Selection;
    std::vector<TFlagDef> FlagDefs;
    // The time-shift bar's position, -1000..1000.
    int TimeShift = 0;

    PlotPanelHooks Panel;

    // The curves must be built again.
    void setupCurve();
    // The bar moved to position.
    void timeShiftMoved(int position);
    // "Cursor".
    void activateCursor();
    // The user chose another dataset for the table.
    void datasetChosen();

    // ---- used by the graph ----

    // The graph that plots the choices from now on (one at a time).
    void attachGraph(PlotGraphHooks hooks);
    void detachGraph();

    // Puts text in the x-axis selector (Selection follows what it shows).
    void showXText(const std::string& text);
    void enableTimeShift(bool enabled);
    // Puts the bar at position; the graph hears of it as of any move.
    void setTimeShift(int position);
    // The dataset the table and the cursor show (the collection's current
    // one, chosen first when none is); the window shows the choice.
    TALDLLog* currentDataset();
    // The live table shows row of the current dataset.
    void showRow(uint32_t row);

private:
    TLogCollection& datasets_;
    PlotGraphHooks graph_;
};

} // namespace quillmar
