#include "graph/acquisition/ALDLGraph.h"

#include "acquisition/window/CommsForm.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>

namespace quillmar {

namespace {

const char* const CursorPrompt = "Click on curve to select a point & clear cursor mode.";

TSelectorItem selectedItem(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0) return {};
    return {combo->itemText(index).toStdString(), combo->itemData(index, SelectorFlagDefRole).toInt()};
}

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
}

TALDLGraph::~TALDLGraph() = default;

void TALDLGraph::placeStatusBar() {
    const int height = GraphStatusBar->sizeHint().height();
    GraphStatusBar->setGeometry(0, this->height() - height, width(), height);
}

void TALDLGraph::resizeEvent(QResizeEvent* event) {
    TGraph::resizeEvent(event);
    placeStatusBar();
}

void TALDLGraph::attach(TCommsForm* form, QStatusBar* mainStatusBar) {
    form_ = form;
    mainStatusBar_ = mainStatusBar;
    if (!form) return;
    // A choice in any of the three selectors rebuilds the curves.
    for (QComboBox* combo : {form->dlgxAxis, form->dlgCurve1, form->dlgCurve2})
        connect(combo, &QComboBox::activated, this, [this] { SetupCurve(); });
    connect(form, &TCommsForm::setupCurveRequested, this, [this] { SetupCurve(); });
    connect(form, &TCommsForm::timeShiftChanged, this, [this] { dlgTimeShiftChange(); });
    connect(form->ActivateCursorAction, &QAction::triggered, this, [this] { ActivateCursorActionExecute(); });
    form->ActivateCursorAction->setEnabled(true);
}

TPlotSelection TALDLGraph::selection() const {
    TPlotSelection s;
    s.XText = form_->dlgxAxis->currentText().toStdString();
    s.Curve[1] = selectedItem(form_->CurveSelectors[1]);
    s.Curve[2] = selectedItem(form_->CurveSelectors[2]);
    return s;
}

int TALDLGraph::CurrentCurve() const {
    if (!form_) return 0;
    return form_->datasets().CurrentCurve(const_cast<TALDLGraph*>(this)->Curves().Count());
}

void TALDLGraph::SetupCurve() {
    // 1. The curves go; they are built again from scratch.
    Curves().Clear();
    curvesPerDataset_ = 0;
    if (!form_) {
        DrawScreen();
        return;
    }
    TLogCollection& datasets = form_->datasets();
    // 2. Nothing to plot: the graph shows empty.
    const TALDLLog* current = datasets.Count() > 0 ? form_->CurrentDataset() : nullptr;
    if (!current || current->Rows == 0) {
        DrawScreen();
        return;
    }
    Acquisition& acquisition = form_->acquisition();
    // 3. A recording is plotted against time.
    if (acquisition.state() == AcquisitionState::Logging) {
        QSignalBlocker block(form_->dlgxAxis);
        form_->dlgxAxis->setCurrentIndex(form_->dlgxAxis->findText(TimeAxisText, Qt::MatchExactly));
    }
    // 4-6. The curves of every dataset and the axes' captions.
    std::vector<const TALDLLog*> logs;
    for (int i = 0; i < datasets.Count(); ++i)
        logs.push_back(datasets.ReadLog(i));
    const TPlotTable table{acquisition.parameters(), acquisition.parameterNames(), form_->FlagDefs,
                           acquisition.indices().SpeedIndex};
    const TCurveSetup setup = AddAcquisitionCurves(Curves(), logs, table, selection());
    XParameterIndex = setup.XParameterIndex;
    CurveParameterIndexes = setup.CurveParameterIndexes;
    curvesPerDataset_ = setup.CurvesPerDataset;

    // 7. Two datasets or more can be lined up.
    if (datasets.Count() >= 2 && Curves().Count() >= 2) {
        form_->dlgTimeShift->setEnabled(true);
        TimeShiftRange = static_cast<double>(FindTimeShiftRange(Curves()));
        dlgTimeShiftChange();
    } else {
        form_->dlgTimeShift->setEnabled(false);
    }
    DrawScreen();
}

void TALDLGraph::dlgTimeShiftChange() {
    if (!form_) return;
    QScrollBar* bar = form_->dlgTimeShift;
    // Only time and distance can be slid; for any other x the bar stays at 0.
    if (!XAxisAscends(form_->dlgxAxis->currentText().toStdString())) {
        bar->setValue(0);
        return;
    }
    ApplyTimeShift(Curves(), CurrentCurve(), curvesPerDataset_, bar->value(), TimeShiftRange);
    DrawScreen();
}

void TALDLGraph::ActivateCursorActionExecute() {
    if (CurrentMouseActivity() == maSelecting) return;
    if (mainStatusBar_) mainStatusBar_->showMessage(CursorPrompt);
    int curve = CurrentCurve();
    QPointF point;
    SelectPoint(curve, QString(), point);
    if (mainStatusBar_) mainStatusBar_->clearMessage();
}

void TALDLGraph::FormMouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    if (Curves().Count() == 0 || CurrentMouseActivity() != maSelecting || !form_) {
        TGraph::FormMouseMove(shift, x, y);
        return;
    }
    ensureScreenLayout();
    QPointF point;
    DrawCrosshair(false, 0);
    FollowCurve(x, point);
    DrawCrosshair(true, 0);
    const int first = CurrentCurve();
    if (first < 0 || first >= Curves().Count()) return;
    const TCurve& curve = Curves().GetCurve(first);
    const uint32_t p = curve.GetPointNumber(Axes().Axis(0).GetValue(x));
    // The tree shows the row the point came from (a series sorted by x
    // holds its points in another order than the dataset's rows).
    form_->WriteTableData(DatasetRowOf(curve, p));
    peekPaint();
}

void TALDLGraph::peekPaint() {
    if (!form_) return;
    QCoreApplication::sendPostedEvents(form_->window(), QEvent::UpdateRequest);
}

} // namespace quillmar
