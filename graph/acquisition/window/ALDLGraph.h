#pragma once
// The program's graph window: the XY graph of the logged datasets. What it
// shows is chosen on the acquisition window's graph panel and reaches the
// graph through the acquisition's PlotChoices: the x-axis parameter and up
// to two curve parameters, applied to every open dataset at once; the
// time-shift bar slides the current dataset's curves along x, and the
// "Cursor" command follows a curve with the crosshair while the live table
// shows every value of the row under it.
//
// The curves are built by AddAcquisitionCurves (AcquisitionCurves.h), the
// same code quillmar-cli plot draws through.

#include "acquisition/Acquisition.h"
#include "graph/acquisition/AcquisitionCurves.h"
#include "graph/window/Graph.h"

#include <QPointer>

#include <array>
#include <cstdint>

class QStatusBar;

namespace quillmar {

class TALDLGraph : public TGraph {
    Q_OBJECT

public:
    explicit TALDLGraph(QWidget* parent = nullptr);
    ~TALDLGraph() override;

    // The crosshair read-out: a status bar showing one text, disabled, along
    // the bottom of the window.
    QStatusBar* GraphStatusBar = nullptr;

    // Ties the graph to the acquisition cycle's choices (PlotChoices): a
    // choice of the three selectors rebuilds the curves, the time-shift bar
    // moves the current dataset's curves, "Cursor" runs the cursor, and the
    // datasets coming and going rebuild the curves. mainStatusBar (may be
    // null) shows the cursor's prompt. Either may go before the graph does.
    void attach(Acquisition* acquisition, QStatusBar* mainStatusBar);
    Acquisition* acquisition() const { return acquisition_; }

    // Frees every curve and builds them again from the open datasets.
    void SetupCurve();
    // Moves the current dataset's curves by the time-shift bar's position.
    void dlgTimeShiftChange();
    // "Cursor": follows the current dataset's first curve until a click.
    void ActivateCursorActionExecute();

    // What the last SetupCurve chose (positions in ParameterNames), and the
    // full travel of the time-shift bar.
    int32_t XParameterIndex = 0;
    std::array<int32_t, 3> CurveParameterIndexes{0, 0, 0};
    double TimeShiftRange = 0;
    int CurvesPerDataset() const { return curvesPerDataset_; }
    // Index of the current dataset's first curve.
    int CurrentCurve() const;

protected:
    // While the cursor runs: the crosshair follows the curve and the tree
    // shows the row of the point under the mouse.
    void FormMouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeStatusBar();
    void detach();

    Acquisition* acquisition_ = nullptr; // cleared when its choices go
    QPointer<QStatusBar> mainStatusBar_;
    int curvesPerDataset_ = 0;
};

} // namespace quillmar
