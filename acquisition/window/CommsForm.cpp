// The acquisition window's life, its commands and what the acquisition
// cycle reports to it.
#include "acquisition/window/CommsForm.h"

#include "acquisition/ConnectAdvice.h"
#include "link/ALDLComms.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimer>

namespace quillmar {

namespace {

QAction* makeAction(QWidget* owner, const QString& name, const QString& caption,
                    const QKeySequence& key = {}) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    if (!key.isEmpty()) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(caption);
    }
    owner->addAction(action);
    return action;
}

// The selected item of a curve selector: its text and, for a bit item, its
// position in FlagDefs plus 1.
TSelectorItem selectedItem(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0) return {};
    return {combo->itemText(index).toStdString(), combo->itemData(index, SelectorFlagDefRole).toInt()};
}

} // namespace

TCommsForm::TCommsForm(TLogCollection& datasets, QWidget* parent)
    : QWidget(parent), datasets_(datasets), acquisition_(std::make_unique<Acquisition>(datasets)) {
    setObjectName("CommsForm");
    setWindowTitle("M100 ALDL");
    setMinimumSize(410, 434);
    setMaximumSize(450, 2000);
    acquisition_->setListener(this);
    buildActions();
    buildControls();
    installCollectionHooks();
    installPlotChoices();
    updateCommands();
}

TCommsForm::~TCommsForm() {
    // Stops quietly: the windows that would be told are going too.
    acquisition_->setListener(nullptr);
    acquisition_->plotChoices().Panel = {};
    acquisition_.reset();
    datasets_.Hooks.DatasetsChanged = nullptr;
    datasets_.Hooks.ShowRow = nullptr;
    datasets_.Hooks.OverlayChanged = nullptr;
}

// ---- the form --------------------------------------------------------------

void TCommsForm::buildActions() {
    StartTalkingAction = makeAction(this, "StartTalkingAction", "Start talking (F1)", Qt::Key_F1);
    StartLoggingAction = makeAction(this, "StartLoggingAction", "Start logging (F2)", Qt::Key_F2);
    StopTalkingAction = makeAction(this, "StopTalkingAction", "Stop talking (F3)", Qt::Key_F3);
    StopLoggingAction = makeAction(this, "StopLoggingAction", "Stop logging (F4)", Qt::Key_F4);
    StopTalkingAction->setEnabled(false);
    StopLoggingAction->setEnabled(false);
    connect(StartTalkingAction, &QAction::triggered, this, [this] { StartTalkingActionExecute(); });
    connect(StartLoggingAction, &QAction::triggered, this, [this] { StartLoggingActionExecute(); });
    connect(StopTalkingAction, &QAction::triggered, this, [this] { StopTalkingActionExecute(); });
    connect(StopLoggingAction, &QAction::triggered, this, [this] { StopLoggingActionExecute(); });

    PreviousPointAction = makeAction(this, "PreviousPointAction", "Previous point");
    NextpointAction = makeAction(this, "NextpointAction", "Next");
    ActivateCursorAction = makeAction(this, "ActivateCursorAction", "Cursor");
    PreviousPointAction->setToolTip("Show the previous row of the dataset");
    NextpointAction->setToolTip("Show the next row of the dataset");
    ActivateCursorAction->setToolTip("Follow a curve of the graph with the cursor");
    // The cursor follows the acquisition graph's curves; until a graph
    // takes the command it stays off.
    ActivateCursorAction->setEnabled(false);
    connect(ActivateCursorAction, &QAction::triggered, this, [this] {
        if (acquisition_) acquisition_->plotChoices().activateCursor();
    });
    connect(PreviousPointAction, &QAction::triggered, this, [this] { PreviousPointActionExecute(); });
    connect(NextpointAction, &QAction::triggered, this, [this] { NextpointActionExecute(); });

    PlotAsxAction = makeAction(this, "PlotAsxAction", "Plot as x");
    PlotAsCurve1Action = makeAction(this, "PlotAsCurve1Action", "Plot as curve 1");
    PlotAsCurve2Action = makeAction(this, "PlotAsCurve2Action", "Plot as curve 2");
    for (QAction* a : {PlotAsxAction, PlotAsCurve1Action, PlotAsCurve2Action})
        connect(a, &QAction::triggered, this, [this, a] { PlotAsActionExecute(a); });

    FFTAction = makeAction(this, "FFTAction", "FFT");
    FFTAction->setEnabled(false);
    FFTAction->setVisible(false);
}

void TCommsForm::installCollectionHooks() {
    datasets_.Hooks.DatasetsChanged = [this] {
        refreshDataSetSelector();
        if (acquisition_) acquisition_->plotChoices().setupCurve();
    };
    datasets_.Hooks.ShowRow = [this](uint32_t row) { WriteTableData(row); };
    datasets_.Hooks.OverlayChanged = [this](bool enabled) {
        dlgTimeShift->setEnabled(enabled);
        dlgTimeShift->setValue(0);
    };
}

void TCommsForm::installPlotChoices() {
    PlotChoices& choices = acquisition_->plotChoices();
    choices.Panel.ShowXText = [this](const std::string& text) {
        QSignalBlocker block(dlgxAxis);
        dlgxAxis->setCurrentIndex(dlgxAxis->findText(QString::fromStdString(text), Qt::MatchExactly));
        storePlotSelection();
    };
    choices.Panel.EnableTimeShift = [this](bool enabled) { dlgTimeShift->setEnabled(enabled); };
    choices.Panel.ShowTimeShift = [this](int position) { dlgTimeShift->setValue(position); };
    choices.Panel.DatasetChosen = [this] { refreshDataSetSelector(); };
    choices.Panel.ShowRow = [this](uint32_t row) {
        WriteTableData(row);
        // The tree keeps up with the mouse: what waits to be painted in the
        // frame is painted now.
        QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
    };
    // The cursor follows the graph's curves; it stays off until a graph plots the choices.
    choices.Panel.GraphAttached = [this] { ActivateCursorAction->setEnabled(true); };
}

void TCommsForm::storePlotSelection() {
    if (!acquisition_) return; // the window is going
    TPlotSelection& selection = acquisition_->plotChoices().Selection;
    selection.XText = dlgxAxis->currentText().toStdString();
    selection.Curve[1] = selectedItem(dlgCurve1);
    selection.Curve[2] = selectedItem(dlgCurve2);
}

bool TCommsForm::FormCreate(const AcquisitionSetup& setup) {
    if (!acquisition_->start(setup)) return false;
    dlgAcqPeriod->setText(QString::fromStdString(acquisition_->acqPeriodText()));
    dlgRedrawPeriod->setText(QString::fromStdString(acquisition_->redrawPeriodText()));
    SetupTableAndCombos();
    created_ = true;
    updateCommands();
    if (!setup.Port.empty() && !(acquisition_->comms() && acquisition_->comms()->IsOpen()))
        reportConnectFailure(setup.Port);
    return true;
}

void TCommsForm::FormDestroy() {
    acquisition_->shutdown();
}

void TCommsForm::reportConnectFailure(const std::string& port) {
    const uint32_t code = acquisition_->comms() ? acquisition_->comms()->LastError() : 0;
    const std::string line = ConnectFailureLine(port, acquisition_->connectError(), code);
    lastConnectFailure_ = QString::fromStdString(line);
    appendErrorLog(lastConnectFailure_);
    emit linkStatusChanged(false, lastConnectFailure_);
}

void TCommsForm::appendErrorLog(const QString& line) {
    dlgErrorLog->appendPlainText(line);
}

// ---- state -----------------------------------------------------------------

void TCommsForm::updateCommands() {
    const Acquisition& acq = *acquisition_;
    const bool usable = created_ && !acq.promDumpRunning();
    StartTalkingAction->setEnabled(usable && !acq.talking());
    StopTalkingAction->setEnabled(acq.talking());
    StartLoggingAction->setEnabled(usable && !acq.logging());
    StopLoggingAction->setEnabled(acq.logging());
    PreviousPointAction->setEnabled(!acq.talking());
    NextpointAction->setEnabled(!acq.talking());
}

void TCommsForm::StartTalkingActionExecute() {
    acquisition_->startTalking();
}

void TCommsForm::StopTalkingActionExecute() {
    acquisition_->stopTalking();
}

void TCommsForm::StartLoggingActionExecute() {
    acquisition_->startLogging();
}

void TCommsForm::StopLoggingActionExecute() {
    acquisition_->stopLogging();
}

bool TCommsForm::DumpProm(const std::string& fileName) {
    return acquisition_->startPromDump(fileName);
}

// ---- period boxes ------------------------------------------------------------

void TCommsForm::periodExit(QLineEdit* box, bool acquisition) {
    static bool busy = false; // the error box takes the focus away
    if (busy) return;
    busy = true;
    const std::string text = box->text().toStdString();
    const PeriodEntry entry =
        acquisition ? acquisition_->setAcquisitionPeriod(text) : acquisition_->setUpdatePeriod(text);
    busy = false;
    if (entry == PeriodEntry::Applied) return;
    // Back into the box, so the entry can be put right.
    QTimer::singleShot(0, box, [box] {
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
    });
}

void TCommsForm::dlgAcqPeriodExit() {
    periodExit(dlgAcqPeriod, true);
}

void TCommsForm::dlgRedrawPeriodExit() {
    periodExit(dlgRedrawPeriod, false);
}

// ---- what the cycle reports ---------------------------------------------------------

void TCommsForm::dialsChanged(float boost, float engineSpeed) {
    emit dialsPositions(boost, engineSpeed);
}

void TCommsForm::refreshLiveTable() {
    WriteTableData(0);
}

void TCommsForm::showRow(uint32_t row) {
    WriteTableData(row);
}

void TCommsForm::stateChanged(AcquisitionState state) {
    showValuesStale(state == AcquisitionState::NoAnswer);
    updateCommands();
    refreshDataSetSelector();
    emit acquisitionStateChanged(state);
    if (state == AcquisitionState::Dumping) emit promDumpRunning(true);
}

void TCommsForm::rowRecorded(uint32_t row) {
    emit rowLogged(row);
}

void TCommsForm::errorLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        appendErrorLog(QString::fromStdString(line));
}

void TCommsForm::setupCurves() {
    refreshDataSetSelector();
    acquisition_->plotChoices().setupCurve();
}

void TCommsForm::dialsWanted(bool wanted) {
    emit dialsWindowRequested(wanted);
}

void TCommsForm::linkActivity(bool busy) {
    // The error log shows while the link is busy, the graph panel otherwise.
    Panels->setCurrentWidget(busy ? AcqPanel : GraphPanel);
}

void TCommsForm::promProgress(uint32_t nextAddress, size_t bytesRead) {
    emit promDumpProgress(nextAddress, bytesRead);
}

void TCommsForm::promDumpFinished(PromDumpResult result) {
    emit promDumpRunning(false);
    emit promDumpEnded(result);
}

void TCommsForm::datasetWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        appendErrorLog(QString::fromStdString("Warning: " + w));
}

void TCommsForm::linkStateChanged(bool connected, const std::string& text) {
    emit linkStatusChanged(connected, QString::fromStdString(text));
}

} // namespace quillmar
