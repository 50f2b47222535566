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
//
// "Live graph" (kept in the settings, off at first) draws the recording as
// its rows arrive, against Time, beside the open datasets; a timer looks for
// new rows and redraws at most ten times a second, never once a row.
// "Follow" keeps the last FollowSeconds of the recording in view, scrolling
// like a strip chart; a zoom holds the view still until Follow is pressed
// again. Without the live graph the picture stays still while logging.
// Stop logging draws the finished recording either way. LiveGraph.cpp holds
// the live graph.

#include "acquisition/Acquisition.h"
#include "graph/acquisition/AcquisitionCurves.h"
#include "graph/window/Graph.h"

#include <QPointer>
#include <QTimer>

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

    // Frees every curve and builds them again from the open datasets; an
    // open Axes or Curves dialog shows the new ones.
    void SetupCurve();
    // Moves the current dataset's curves by the time-shift bar's position.
    void dlgTimeShiftChange();
    // "Cursor": follows the current dataset's first curve until a click.
    void ActivateCursorActionExecute();

    // Graph > "Live graph" (Ctrl+L) and "Follow", checkable, for the frame's
    // menu and tool bar.
    QAction* LiveGraphAction = nullptr;
    QAction* FollowAction = nullptr;
    // The settings the live graph keeps (under Software/Quillmar).
    static constexpr const char* LiveGraphKey = "Graph/LiveGraph";
    static constexpr const char* FollowSecondsKey = "Graph/FollowSeconds";
    static constexpr double DefaultFollowSeconds = 60;
    // False: toggling the live graph leaves the settings file as it is (a
    // run that keeps no settings).
    void setWritesSettings(bool writes) { writesSettings_ = writes; }
    // The span of the recording Follow keeps in view, in seconds.
    double FollowSeconds() const { return followSeconds_; }
    void setFollowSeconds(double seconds);
    // The shortest time between two redraws of the live graph (ms).
    static constexpr int LiveRedrawInterval = 100;
    // Redraws the live graph has made for new rows (for tests and the
    // benchmark); the recording's rows the picture shows.
    int LiveRedraws() const { return liveRedraws_; }
    uint32_t LiveRows() const { return liveRows_; }

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
    // The curves of the datasets as the choices ask, drawn.
    void buildCurves();
    // Another dataset for the table: a running cursor goes over to its
    // curve at the same x, and the tree shows the row there.
    void followCurrentDataset();
    // The tree shows the current dataset's row for pixel column x.
    void showCursorRow(int x);
    void placeStatusBar();
    void detach();
    // The time-shift bar, on for two datasets or more.
    void lineUpDatasets();

    // The live graph (LiveGraph.cpp).
    void createLiveActions();
    void readLiveSettings();
    void writeLiveSettings() const;
    void liveGraphToggled(bool on);
    void followTriggered(bool on);
    // The recording being logged while the live graph draws it, else null.
    const TALDLLog* liveRecording() const;
    // Rows of log the graph plots: a recording's rows so far.
    uint32_t plottedRows(const TALDLLog* log) const;
    // The timer runs while the live graph is on and the engine computer is
    // talked to.
    void startLiveTimer();
    void liveTick();
    // The recording's curves join those the start of logging built for the
    // datasets before it; false when every curve must be built again.
    bool addLiveCurves(const TALDLLog* live);
    // Grows the recording's curves to rows; false when they must be built again.
    bool extendLiveCurves(uint32_t rows);
    // Follow: the x axis shows the recording's last FollowSeconds.
    void applyFollow();
    void followZoomed();

    Acquisition* acquisition_ = nullptr; // cleared when its choices go
    QPointer<QStatusBar> mainStatusBar_;
    int curvesPerDataset_ = 0;

    QTimer liveTimer_;
    bool writesSettings_ = true;
    double followSeconds_ = DefaultFollowSeconds;
    const TALDLLog* liveLog_ = nullptr; // the recording the curves were built with
    int liveFirstCurve_ = -1;           // its first curve
    uint32_t liveRows_ = 0;             // its rows the curves hold
    int liveRedraws_ = 0;
    bool followApplied_ = false; // the x range is Follow's, not the user's
};

} // namespace quillmar
