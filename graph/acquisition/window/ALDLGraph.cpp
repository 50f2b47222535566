#include "graph/acquisition/window/ALDLGraph.h"

#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QResizeEvent>
#include <QStatusBar>

#include <utility>

namespace quillmar {

namespace {

const char* const CursorPrompt = "Click on curve to select a point & clear cursor mode.";

} // namespace

TALDLGraph::TALDLGraph(QWidget* parent) : TGraph(parent) {
    setObjectName("ALDLGraph");
    GraphStatusBar = new QStatusBar(this);
    GraphStatusBar->setObjectName("GraphStatusBar");
    GraphStatusBar->setSizeGripEnabled(false);
    // Only a read-out: it takes no clicks, but its text reads as plainly as
    // an enabled one's.
    GraphStatusBar->setEnabled(false);
    QPalette palette = GraphStatusBar->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     palette.color(QPalette::Active, QPalette::WindowText));
    palette.setColor(QPalette::Disabled, QPalette::Window, palette.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Active, QPalette::Window, palette.color(QPalette::Active, QPalette::Button));
    GraphStatusBar->setPalette(palette);
    GraphStatusBar->setAutoFillBackground(true);
    GraphStatusBar->setCursor(Qt::ArrowCursor);
    setStatusBar(GraphStatusBar);
    // The picture fills what the status bar leaves.
    setContentsMargins(0, 0, 0, GraphStatusBar->sizeHint().height());
    placeStatusBar();
    createLiveActions();
    readLiveSettings();
}

TALDLGraph::~TALDLGraph() {
    // A cursor still running takes its prompt with it.
    if (!Idle() && mainStatusBar_) mainStatusBar_->clearMessage();
    detach();
}

void TALDLGraph::placeStatusBar() {
    const int height = GraphStatusBar->sizeHint().height();
    GraphStatusBar->setGeometry(0, this->height() - height, width(), height);
}

void TALDLGraph::resizeEvent(QResizeEvent* event) {
    TGraph::resizeEvent(event);
    placeStatusBar();
}

void TALDLGraph::attach(Acquisition* acquisition, QStatusBar* mainStatusBar) {
    detach();
    acquisition_ = acquisition;
    mainStatusBar_ = mainStatusBar;
    if (!acquisition) return;
    PlotGraphHooks hooks;
    hooks.SetupCurve = [this] { SetupCurve(); };
    hooks.TimeShiftChanged = [this] { dlgTimeShiftChange(); };
    hooks.ActivateCursor = [this] { ActivateCursorActionExecute(); };
    hooks.DatasetChosen = [this] { followCurrentDataset(); };
    hooks.Detached = [this] { acquisition_ = nullptr; };
    acquisition->plotChoices().attachGraph(std::move(hooks));
}

void TALDLGraph::detach() {
    if (acquisition_) acquisition_->plotChoices().detachGraph();
    acquisition_ = nullptr;
}

int TALDLGraph::CurrentCurve() const {
    if (!acquisition_) return 0;
    return acquisition_->collection().CurrentCurve(const_cast<TALDLGraph*>(this)->Curves().Count());
}

void TALDLGraph::SetupCurve() {
    buildCurves();
    CurvesRebuilt();
}

void TALDLGraph::buildCurves() {
    // 1. The curves go; they are built again from scratch.
    Curves().Clear();
    curvesPerDataset_ = 0;
    const TALDLLog* live = liveRecording();
    liveLog_ = nullptr;
    liveFirstCurve_ = -1;
    liveRows_ = 0;
    // The x range Follow set goes with the recording it followed.
    if (followApplied_ && !live) {
        Axes().Axis(0).AutoScaleMin = true;
        Axes().Axis(0).AutoScaleMax = true;
        followApplied_ = false;
    }
    if (!acquisition_) {
        DrawScreen();
        return;
    }
    Acquisition& acquisition = *acquisition_;
    PlotChoices& choices = acquisition.plotChoices();
    TLogCollection& datasets = acquisition.collection();
    // Logging starts: the live graph waits for its rows.
    startLiveTimer();
    // 2. Nothing to plot: the graph shows empty.
    const TALDLLog* current = datasets.Count() > 0 ? choices.currentDataset() : nullptr;
    if (!current || plottedRows(current) == 0) {
        DrawScreen();
        return;
    }
    // 3. A recording is plotted against time.
    if (acquisition.logging()) choices.showXText(TimeAxisText);
    // 4-6. The curves of every dataset (a recording's rows so far) and the
    // axes' captions.
    std::vector<TPlotDataset> logs;
    for (int i = 0; i < datasets.Count(); ++i) {
        const TALDLLog* log = datasets.ReadLog(i);
        logs.push_back({log, plottedRows(log)});
    }
    const TPlotTable table{acquisition.parameters(), acquisition.parameterNames(), choices.FlagDefs,
                           acquisition.indices().SpeedIndex};
    const TCurveSetup setup = AddAcquisitionCurves(Curves(), logs, table, choices.Selection);
    XParameterIndex = setup.XParameterIndex;
    CurveParameterIndexes = setup.CurveParameterIndexes;
    curvesPerDataset_ = setup.CurvesPerDataset;
    if (live) {
        liveLog_ = live;
        liveFirstCurve_ = datasets.IndexOf(live) * curvesPerDataset_;
        liveRows_ = plottedRows(live);
    }

    // 7. Two datasets or more can be lined up.
    lineUpDatasets();
    if (live) applyFollow();
    DrawScreen();
}

void TALDLGraph::lineUpDatasets() {
    PlotChoices& choices = acquisition_->plotChoices();
    if (acquisition_->collection().Count() >= 2 && Curves().Count() >= 2) {
        choices.enableTimeShift(true);
        TimeShiftRange = static_cast<double>(FindTimeShiftRange(Curves()));
        dlgTimeShiftChange();
    } else {
        choices.enableTimeShift(false);
    }
}

void TALDLGraph::dlgTimeShiftChange() {
    if (!acquisition_) return;
    PlotChoices& choices = acquisition_->plotChoices();
    // Only time and distance can be slid; for any other x the bar stays at 0.
    if (!XAxisAscends(choices.Selection.XText)) {
        choices.setTimeShift(0);
        return;
    }
    ApplyTimeShift(Curves(), CurrentCurve(), curvesPerDataset_, choices.TimeShift, TimeShiftRange);
    DrawScreen();
}

void TALDLGraph::ActivateCursorActionExecute() {
    if (CurrentMouseActivity() == maSelecting) return;
    if (mainStatusBar_) mainStatusBar_->showMessage(CursorPrompt);
    // The prompt stays until the cursor ends.
    SelectPoint(CurrentCurve(), QString(), [this](bool, QPointF) {
        if (mainStatusBar_) mainStatusBar_->clearMessage();
    });
}

void TALDLGraph::FormMouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (Curves().Count() == 0 || CurrentMouseActivity() != maSelecting || !acquisition_) {
        TGraph::FormMouseMove(shift, x, y);
        return;
    }
    ensureScreenLayout();
    // The crosshair stays on the curve whose rows the tree shows.
    moveSelection(CurrentCurve());
    QPointF point;
    DrawCrosshair(false, 0);
    FollowCurve(x, point);
    DrawCrosshair(true, 0);
    showCursorRow(x);
}

void TALDLGraph::followCurrentDataset() {
    if (Curves().Count() == 0 || CurrentMouseActivity() != maSelecting || !acquisition_) return;
    ensureScreenLayout();
    moveSelection(CurrentCurve());
    showCursorRow(CrosshairX());
}

void TALDLGraph::showCursorRow(int x) {
    const int first = CurrentCurve();
    if (first < 0 || first >= Curves().Count()) return;
    const TCurve& curve = Curves().GetCurve(first);
    const uint32_t p = curve.GetPointNumber(Axes().Axis(0).GetValue(x));
    // The tree shows the row the point came from (a series sorted by x
    // holds its points in another order than the dataset's rows).
    acquisition_->plotChoices().showRow(DatasetRowOf(curve, p));
}

} // namespace quillmar
