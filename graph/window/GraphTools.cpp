// The graph window's tools: the zoom that waits for a mark and the point
// selection. Each is a state of the window: starting one sets it up and
// returns; the mouse and key events move it on, and it ends (applying its
// result, or cancelled by Abort or Escape) once what it waits for has
// happened. Commands with tag 0 are off while a tool runs.
#include "graph/window/Graph.h"

#include "graph/window/EnableCommands.h"
#include "graph/window/InformationDlg.h"
#include "graph/window/SelectCurveDlg.h"

#include <QCursor>
#include <QKeyEvent>

#include <algorithm>
#include <utility>

namespace quillmar {

namespace {

const char* const ZoomPrompt = "Click and drag with the mouse to select area to zoom into";

} // namespace

// ---------------------------------------------------------------------------
// Steps and the tool stack

TGraph::ToolStep::ToolStep(TGraph& graph) : graph_(graph) {
    ++graph_.stepDepth_;
}

TGraph::ToolStep::~ToolStep() {
    if (--graph_.stepDepth_ == 0 && graph_.wake_) graph_.settleTools();
}

void TGraph::wakeTools() {
    wake_ = true;
    if (stepDepth_ == 0) settleTools();
}

// The top tool ends when what it waits for has happened; the one below it
// looks again then. Ending a tool may wake them once more (applying a zoom
// clears the marks): that is looked at in the same settling.
void TGraph::settleTools() {
    const ToolStep step(*this);
    while (wake_) {
        wake_ = false;
        while (!tools_.empty() && toolEnded(tools_.back()))
            finishTopTool();
    }
}

bool TGraph::toolEnded(const Tool& tool) const {
    if (tool.Aborted) return true;
    switch (tool.Kind) {
    case ToolKind::Zoom:
        return markCount_ == 1 && activity_ != maMarking;
    case ToolKind::ChooseCurve:
        return false; // the chooser's answer moves it on
    case ToolKind::SelectPoint:
        return activity_ == maNormal;
    }
    return false;
}

TGraph::Tool* TGraph::findTool(int id) {
    auto it = std::find_if(tools_.begin(), tools_.end(), [id](const Tool& t) { return t.Id == id; });
    return it == tools_.end() ? nullptr : &*it;
}

bool TGraph::zoomRunning() const {
    return std::any_of(tools_.begin(), tools_.end(), [](const Tool& t) { return t.Kind == ToolKind::Zoom; });
}

int TGraph::pushTool(Tool tool) {
    tool.Id = ++lastToolId_;
    tools_.push_back(std::move(tool));
    return lastToolId_;
}

TInformationDlg* TGraph::showInformation(const QString& text, int toolId) {
    auto* info = new TInformationDlg(this);
    info->setText(text);
    connect(info, &TInformationDlg::abortClicked, this, [this, toolId] { abortTool(toolId); });
    info->show();
    return info;
}

TInformationDlg* TGraph::InformationWindow() const {
    return tools_.empty() ? nullptr : tools_.back().Info;
}

void TGraph::abortTool(int id) {
    const ToolStep step(*this);
    if (Tool* tool = findTool(id)) tool->Aborted = true;
    wakeTools();
}

void TGraph::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !tools_.empty()) {
        abortTool(tools_.back().Id);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TGraph::finishTopTool() {
    Tool tool = std::move(tools_.back());
    tools_.pop_back();
    delete tool.Info;
    if (tool.DisabledCommands) EnableCommands(true, {0});
    switch (tool.Kind) {
    case ToolKind::Zoom:
        if (tool.Aborted) {
            // An aborted zoom leaves a point selection it interrupted running.
            activity_ = tool.Saved;
            if (tool.Saved == maSelecting) DrawCrosshair(true, 0);
            wakeTools();
            return;
        }
        applyZoom(tool.Saved);
        return;
    case ToolKind::ChooseCurve:
        if (tool.Done) tool.Done(false, QPointF());
        return;
    case ToolKind::SelectPoint: {
        const bool wasSelecting = activity_ == maSelecting;
        activity_ = maNormal;
        if (tool.Aborted) {
            if (wasSelecting) DrawCrosshair(false, 0);
            DrawScreen();
            if (tool.Done) tool.Done(false, QPointF());
            return;
        }
        QPointF point;
        FollowCurve(crosshairX_, point);
        if (tool.Done) tool.Done(true, point);
        return;
    }
    }
}

// ---------------------------------------------------------------------------
// Zoom

void TGraph::Zoom1Click() {
    if (!curveIsPresent_ || zoomRunning()) return;
    const ToolStep step(*this);
    ensureScreenLayout();
    if (markCount_ > 1) ClearMarks();
    const TMouseActivityType saved = activity_;
    activity_ = maNormal;
    if (saved == maSelecting) DrawCrosshair(false, 0);
    if (markCount_ == 1) {
        applyZoom(saved);
        return;
    }
    // No mark yet: wait for one to be dragged.
    Tool tool;
    tool.Kind = ToolKind::Zoom;
    tool.Saved = saved;
    // A selection it interrupts has switched the commands off already.
    tool.DisabledCommands = saved != maSelecting;
    if (tool.DisabledCommands) EnableCommands(false, {0});
    const int id = pushTool(std::move(tool));
    findTool(id)->Info = showInformation(ZoomPrompt, id);
}

void TGraph::applyZoom(TMouseActivityType activity) {
    const TMark mark = marks_[0];
    ClearMarks();
    TAxis& x = axes_->Axis(0);
    x.Info.RangeMin.SetLiteralValue(mark.Start.Value);
    x.Info.RangeMax.SetLiteralValue(mark.End.Value);
    x.AutoScaleMin = false;
    x.AutoScaleMax = false;
    activity_ = activity;
    // DrawScreen shows the crosshair again in a point selection.
    DrawScreen();
    wakeTools();
    emit zoomed();
}

void TGraph::UnZoom1Click() {
    TAxis& x = axes_->Axis(0);
    x.AutoScaleMin = true;
    x.AutoScaleMax = true;
    DrawScreen();
}

// ---------------------------------------------------------------------------
// Point selection

void TGraph::SelectPoint(int curveIndex, const QString& prompt, PointDone done) {
    if (!curveIsPresent_) {
        if (done) done(false, QPointF());
        return;
    }
    ensureScreenLayout();
    Tool tool;
    tool.Kind = ToolKind::ChooseCurve;
    tool.Prompt = prompt;
    tool.Done = std::move(done);
    const int id = pushTool(std::move(tool));
    if (curveIndex != -1) {
        startSelecting(id, curveIndex);
        return;
    }
    // The curve first, from the chooser; the window waits for its answer.
    auto* chooser = new TSelectCurveDlg(this);
    chooser->Prepare(*curves_);
    findTool(id)->Chooser = chooser;
    connect(chooser, &QDialog::finished, this, [this, chooser, id](int result) {
        chooser->deleteLater();
        if (Tool* tool = findTool(id)) tool->Chooser = nullptr;
        startSelecting(id, result == QDialog::Accepted ? chooser->Current() : -1);
    });
    chooser->open();
}

void TGraph::startSelecting(int toolId, int curveIndex) {
    const ToolStep step(*this);
    Tool* tool = findTool(toolId);
    if (!tool) return;
    if (curveIndex < 0 || curveIndex >= curves_->Count()) {
        tool->Aborted = true;
        wakeTools();
        return;
    }
    tool->Kind = ToolKind::SelectPoint;
    selectedCurve_ = curveIndex;
    ensureScreenLayout();
    activity_ = maSelecting;
    const QPoint mouse = mapFromGlobal(QCursor::pos());
    QPointF point;
    FollowCurve(imageX(mouse.x()), point);
    DrawCrosshair(true, 0);
    if (!tool->Prompt.isEmpty()) tool->Info = showInformation(tool->Prompt, toolId);
    if (QWidget* main = window()) main->activateWindow();
    setFocus();
    EnableCommands(false, {0});
    tool->DisabledCommands = true;
}

void TGraph::SelectPoint1Click() {
    ClearMarks();
    SelectPoint(-1, QString());
}

} // namespace quillmar
