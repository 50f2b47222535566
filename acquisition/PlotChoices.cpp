#include "acquisition/PlotChoices.h"

#include "store/dataset/LogCollection.h"

#include <utility>

namespace quillmar {

PlotChoices::PlotChoices(TLogCollection& datasets) : datasets_(datasets) {}

PlotChoices::~PlotChoices() {
    if (graph_.Detached) graph_.Detached();
}

void PlotChoices::setupCurve() {
    if (graph_.SetupCurve) graph_.SetupCurve();
}

void PlotChoices::timeShiftMoved(int position) {
    TimeShift = position;
    if (graph_.TimeShiftChanged) graph_.TimeShiftChanged();
}

void PlotChoices::activateCursor() {
    if (graph_.ActivateCursor) graph_.ActivateCursor();
}

void PlotChoices::datasetChosen() {
    if (graph_.DatasetChosen) graph_.DatasetChosen();
}

void PlotChoices::attachGraph(PlotGraphHooks hooks) {
    graph_ = std::move(hooks);
    if (Panel.GraphAttached) Panel.GraphAttached();
}

void PlotChoices::detachGraph() {
    graph_ = {};
}

void PlotChoices::showXText(const std::string& text) {
    Selection.XText = text;
    if (Panel.ShowXText) Panel.ShowXText(text);
}

void PlotChoices::enableTimeShift(bool enabled) {
    if (Panel.EnableTimeShift) Panel.EnableTimeShift(enabled);
}

void PlotChoices::setTimeShift(int position) {
    if (Panel.ShowTimeShift)
        Panel.ShowTimeShift(position);
    else if (position != TimeShift)
        timeShiftMoved(position);
}

TALDLLog* PlotChoices::currentDataset() {
    TALDLLog* log = datasets_.CurrentDataset();
    if (Panel.DatasetChosen) Panel.DatasetChosen();
    return log;
}

void PlotChoices::showRow(uint32_t row) {
    if (Panel.ShowRow) Panel.ShowRow(row);
}

} // namespace quillmar
