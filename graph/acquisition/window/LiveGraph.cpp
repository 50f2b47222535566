// The live graph of the acquisition graph window: the recording drawn as its
// rows arrive, and Follow, which keeps its last seconds in view.
#include "graph/acquisition/window/ALDLGraph.h"

#include "acquisition/Settings.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSignalBlocker>

#include <cmath>
#include <memory>

namespace quillmar {

namespace {

QString settingsKey(const char* name) {
    return QStringLiteral("%1/%2").arg(SettingsKey, name);
}

// A small plot frame with a wavy trace, the base of both icons.
void drawTrace(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 3.5, 19, 17));
    QPainterPath trace;
    trace.moveTo(4, 15);
    trace.cubicTo(7, 6, 9, 6, 11, 12);
    trace.cubicTo(13, 17, 15, 16, 17, 10);
    p.setPen(QPen(QColor(30, 90, 200), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
}

QIcon drawnIcon(bool follow) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        drawTrace(p);
        if (follow) {
            // An arrow along the time axis: the view moves with the data.
            p.setPen(QPen(QColor(20, 130, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawLine(QPointF(9, 19.5), QPointF(21, 19.5));
            p.drawLine(QPointF(17.5, 16.5), QPointF(21, 19.5));
            p.drawLine(QPointF(17.5, 22.5), QPointF(21, 19.5));
        } else {
            // The newest point, red like a recording light.
            p.setPen(QPen(QColor(120, 0, 0), 1));
            p.setBrush(QColor(220, 30, 30));
            p.drawEllipse(QPointF(18.5, 9.5), 3.5, 3.5);
        }
    }
    return QIcon(pixmap);
}

} // namespace

void TALDLGraph::createLiveActions() {
    LiveGraphAction = new QAction("Live graph", this);
    LiveGraphAction->setObjectName("LiveGraphAction");
    LiveGraphAction->setCheckable(true);
    LiveGraphAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    LiveGraphAction->setIcon(drawnIcon(false));
    LiveGraphAction->setToolTip("Live graph: draw the recording as it is logged (Ctrl+L)");
    FollowAction = new QAction("Follow", this);
    FollowAction->setObjectName("FollowAction");
    FollowAction->setCheckable(true);
    FollowAction->setChecked(true);
    FollowAction->setEnabled(false);
    FollowAction->setIcon(drawnIcon(true));
    FollowAction->setToolTip("Follow: keep the newest seconds of the recording in view");
    addActions({LiveGraphAction, FollowAction});
    connect(LiveGraphAction, &QAction::toggled, this, &TALDLGraph::liveGraphToggled);
    connect(FollowAction, &QAction::triggered, this, &TALDLGraph::followTriggered);
    connect(this, &TGraph::zoomed, this, &TALDLGraph::followZoomed);
    liveTimer_.setInterval(LiveRedrawInterval);
    connect(&liveTimer_, &QTimer::timeout, this, &TALDLGraph::liveTick);
}

void TALDLGraph::readLiveSettings() {
    std::unique_ptr<QSettings> settings = OpenSettings();
    bool ok = false;
    const double seconds = settings->value(settingsKey(FollowSecondsKey)).toDouble(&ok);
    if (ok) setFollowSeconds(seconds);
    const bool live = settings->value(settingsKey(LiveGraphKey), false).toBool();
    // Read, not chosen: nothing is written back.
    const QSignalBlocker blocker(LiveGraphAction);
    LiveGraphAction->setChecked(live);
    FollowAction->setEnabled(live);
}

void TALDLGraph::writeLiveSettings() const {
    if (!writesSettings_) return;
    std::unique_ptr<QSettings> settings = OpenSettings();
    settings->setValue(settingsKey(LiveGraphKey), LiveGraphAction->isChecked());
    settings->setValue(settingsKey(FollowSecondsKey), followSeconds_);
    settings->sync();
}

void TALDLGraph::setFollowSeconds(double seconds) {
    // At least a second, at most a day; anything else is the default.
    followSeconds_ =
        std::isfinite(seconds) && seconds >= 1 && seconds <= 86400 ? seconds : DefaultFollowSeconds;
}

const TALDLLog* TALDLGraph::liveRecording() const {
    if (!LiveGraphAction->isChecked() || !acquisition_ || !acquisition_->logging()) return nullptr;
    return acquisition_->currentLog();
}

uint32_t TALDLGraph::plottedRows(const TALDLLog* log) const {
    if (!log) return 0;
    // A recording holds room for rows to come: only those recorded count.
    if (acquisition_ && acquisition_->logging() && log == acquisition_->currentLog())
        return std::min<uint32_t>(log->Rows, static_cast<uint32_t>(std::max(acquisition_->rowCounter(), 0)));
    return log->Rows;
}

void TALDLGraph::liveGraphToggled(bool on) {
    FollowAction->setEnabled(on);
    writeLiveSettings();
    if (!on) {
        // The picture stays as it is until the recording ends.
        liveTimer_.stop();
        return;
    }
    startLiveTimer();
    if (liveRecording()) SetupCurve();
}

void TALDLGraph::startLiveTimer() {
    if (LiveGraphAction->isChecked() && acquisition_ && acquisition_->talking() && !liveTimer_.isActive())
        liveTimer_.start();
}

// New rows since the last redraw are drawn; the picture holds while a tool
// runs or a mark is dragged, and the rows wait for the next tick.
void TALDLGraph::liveTick() {
    if (!LiveGraphAction->isChecked() || !acquisition_ || !acquisition_->talking()) {
        liveTimer_.stop();
        return;
    }
    const TALDLLog* live = liveRecording();
    if (!live) return;
    const uint32_t rows = plottedRows(live);
    if (live == liveLog_ && rows == liveRows_) return;
    if (!Idle() || CurrentMouseActivity() != maNormal) return;
    ++liveRedraws_;
    if (live != liveLog_) {
        if (addLiveCurves(live))
            CurvesRebuilt();
        else
            SetupCurve();
        return;
    }
    if (!extendLiveCurves(rows)) {
        SetupCurve();
        return;
    }
    applyFollow();
    DrawScreen();
}

bool TALDLGraph::addLiveCurves(const TALDLLog* live) {
    Acquisition& acquisition = *acquisition_;
    PlotChoices& choices = acquisition.plotChoices();
    TLogCollection& datasets = acquisition.collection();
    // A recording is the last dataset; the curves before it must be those
    // of the datasets before it, against time.
    const int index = datasets.IndexOf(live);
    if (liveLog_ || index < 0 || index != datasets.Count() - 1 || choices.Selection.XText != TimeAxisText ||
        Curves().Count() != index * curvesPerDataset_)
        return false;
    const int first = Curves().Count();
    const uint32_t rows = plottedRows(live);
    const TPlotTable table{acquisition.parameters(), acquisition.parameterNames(), choices.FlagDefs,
                           acquisition.indices().SpeedIndex};
    const TCurveSetup setup =
        AddAcquisitionCurves(Curves(), {TPlotDataset{live, rows}}, table, choices.Selection);
    if (index > 0 && setup.CurvesPerDataset != curvesPerDataset_) {
        while (Curves().Count() > first)
            Curves().Delete(Curves().Count() - 1);
        return false;
    }
    // The colour of its place among the datasets.
    for (int i = first; i < Curves().Count(); ++i) {
        TCurve& curve = Curves().GetCurve(i);
        curve.LinePen.Color = CurveColors[static_cast<std::size_t>(index) % CurveColors.size()];
        curve.MarkerPen.Color = curve.LinePen.Color;
    }
    XParameterIndex = setup.XParameterIndex;
    CurveParameterIndexes = setup.CurveParameterIndexes;
    curvesPerDataset_ = setup.CurvesPerDataset;
    liveLog_ = live;
    liveFirstCurve_ = first;
    liveRows_ = rows;
    lineUpDatasets();
    applyFollow();
    DrawScreen();
    return true;
}

bool TALDLGraph::extendLiveCurves(uint32_t rows) {
    if (!liveLog_ || rows < liveRows_) return false;
    for (int i = liveFirstCurve_; i < liveFirstCurve_ + curvesPerDataset_; ++i) {
        if (i < 0 || i >= Curves().Count()) return false;
        auto* curve = dynamic_cast<TDatasetCurve*>(&Curves().GetCurve(i));
        if (!curve || curve->Series->Points != liveRows_ || !ExtendDatasetCurve(*curve, *liveLog_, rows))
            return false;
    }
    liveRows_ = rows;
    return true;
}

void TALDLGraph::applyFollow() {
    if (!FollowAction->isChecked() || !liveLog_ || curvesPerDataset_ == 0) return;
    if (liveFirstCurve_ < 0 || liveFirstCurve_ >= Curves().Count()) return;
    const TCurve& curve = Curves().GetCurve(liveFirstCurve_);
    if (!curve.Series || curve.Series->Points == 0) return;
    const TXRangeShown shown =
        FollowRange(curve.Series->GetX(1), curve.Series->GetX(curve.Series->Points), followSeconds_);
    TAxis& x = Axes().Axis(0);
    x.Info.RangeMin.SetLiteralValue(static_cast<double>(shown.Min));
    x.Info.RangeMax.SetLiteralValue(static_cast<double>(shown.Max));
    x.AutoScaleMin = false;
    x.AutoScaleMax = false;
    followApplied_ = true;
}

void TALDLGraph::followTriggered(bool on) {
    // Without a recording drawn live the choice waits for the next one.
    if (!liveRecording()) return;
    if (on) {
        applyFollow();
    } else if (followApplied_) {
        // The whole recording again.
        Axes().Axis(0).AutoScaleMin = true;
        Axes().Axis(0).AutoScaleMax = true;
        followApplied_ = false;
    }
    DrawScreen();
}

// A zoom is the user's view: it stays while rows come, until Follow again.
void TALDLGraph::followZoomed() {
    followApplied_ = false;
    if (liveRecording()) FollowAction->setChecked(false);
}

} // namespace quillmar
