// The frame's life: it is made, shown (with its child windows) and closed.
#include "app/main/MainForm.h"

#include "acquisition/window/CommsForm.h"
#include "app/gauge/DialDialog.h"
#include "app/sheet/window/GraphExports.h"
#include "graph/acquisition/window/ALDLGraph.h"
#include "link/PortTable.h"
#include "store/base/Messages.h"
#include "store/dataset/JournalRecovery.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace quillmar {

namespace {

// A child window of the frame: closing it on its own minimises it; it goes
// when the frame goes.
class TChildWindow : public QMdiSubWindow {
public:
    using QMdiSubWindow::QMdiSubWindow;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        showMinimized();
    }
};

} // namespace

// ---- FormCreate -------------------------------------------------------------

TMainForm::TMainForm(MainFormOptions options) : options_(std::move(options)) {
    setObjectName("MainForm");
    setWindowTitle("Quillmar");
    move(DefaultLeft, DefaultTop);
    resize(DefaultWidth, DefaultHeight);
    if (options_.ShowMessageBoxes) {
        previousMessenger_ = setMessenger(&messenger_);
        messenger_.setParent(this);
    }
    FormCreate();
}

void TMainForm::FormCreate() {
    // 1. The mode items (with the rest of the commands), 2. the datasets,
    // 3. the vehicle constants, 4. the settings.
    buildActions();
    buildMenus();
    buildStatusBar();
    mdi_ = new QMdiArea(this);
    mdi_->setObjectName("MdiArea");
    setCentralWidget(mdi_);

    datasets_.Vehicle = DefaultVehicleConstants();
    // "Yes, save" and then no file keeps the dataset open (the collection
    // sees to it), so leaving is refused with the dataset still listed.
    datasets_.Hooks.ChooseSaveFile = [this](const TALDLLog& dataset) { return runLogSaveDialog(&dataset); };

    ReadRegistry();

    if (options_.App.Demo) {
        SimOptions engine = options_.DemoEngine;
        engine.ReplayPath = options_.App.ReplayPath;
        demoEngine_ = std::make_unique<SimulatedEcu>(engine);
        if (!demoEngine_->Start()) {
            showMessage("Error", "The simulated engine computer cannot start: " + demoEngine_->Error());
            startStatus_ = 2;
        }
    }
    updatePortLabel();
    updateCommands();
}

// ---- FormShow -----------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TMainForm::FormShow() {
    if (startStatus_) return;
    // 1-3. The graph window with its own status bar for the crosshair read-out.
    createGraphWindow();
    // 4. The acquisition window.
    createCommsWindow();
    if (startStatus_) return;
    // 5. Side by side; again once the frame has its final size.
    TileVertically();
    QTimer::singleShot(0, this, [this] { TileVertically(); });
    // 6.
    datasets_.LogFileName.clear();
    updateCommands();

    if (!options_.App.Files.empty()) {
        QStringList files;
        for (const std::string& f : options_.App.Files)
            files << QString::fromStdString(f);
        QTimer::singleShot(0, this, [this, files] { FileOpen1Accept(files); });
    }
    // Recordings a crash or a kill left in their journals: asked about once
    // the windows are up; the ones recovered are open, unsaved datasets.
    QTimer::singleShot(0, this, [this] {
        if (!commsForm_ || OfferJournals(datasets_, commsForm_->acquisition().sharedParameters()).empty())
            return;
        if (datasets_.Hooks.DatasetsChanged) datasets_.Hooks.DatasetsChanged();
        if (TALDLLog* log = datasets_.CurrentDataset(); log && datasets_.Hooks.ShowRow)
            datasets_.Hooks.ShowRow(log->Rows);
    });
}

QMdiSubWindow* TMainForm::addChild(QWidget* widget) {
    auto* window = new TChildWindow(mdi_);
    // No close button (nor a system menu): the children live as long as the frame.
    window->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowMinMaxButtonsHint);
    window->setWidget(widget);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setWindowTitle(widget->windowTitle());
    window->setWindowIcon(windowIcon());
    mdi_->addSubWindow(window, window->windowFlags());
    window->setWindowFlag(Qt::WindowSystemMenuHint, false);
    window->setWindowFlag(Qt::WindowCloseButtonHint, false);
    // The child's own limits, plus the frame around it.
    window->adjustSize();
    const QSize frame = window->size() - widget->size();
    window->setMinimumSize(widget->minimumSize() + frame);
    QSize maximum = widget->maximumSize();
    if (maximum.width() < QWIDGETSIZE_MAX) maximum.rwidth() += frame.width();
    if (maximum.height() < QWIDGETSIZE_MAX) maximum.rheight() += frame.height();
    window->setMaximumSize(maximum.boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
    window->show();
    return window;
}

void TMainForm::createGraphWindow() {
    // 1. The graph of the logged datasets.
    auto* graph = new TALDLGraph;
    // 2. The x axis and the left y axis scale from 0 up.
    PrepareAcquisitionAxes(graph->Axes());
    // 3. Its own status bar shows the crosshair read-out.
    graphStatusBar_ = graph->GraphStatusBar;
    graph->setStatusBar(graphStatusBar_);
    Graph.Axes = graph->AxesAction;
    Graph.Curve = graph->CurveAction;
    Graph.PrintSetup = graph->PrintSetupAction;
    Graph.PrintGraph = graph->PrintGraphAction;
    Graph.ExportDataToExcel = graph->ExportDataToExcelAction;
    Graph.ExportGraphData = graph->ExportGraphDataAction;
    Graph.SaveBMP = graph->SaveBMPAction;
    Graph.CopyGraph = graph->CopyGraphAction;
    Graph.Zoom = graph->ZoomAction;
    Graph.UnZoom = graph->UnZoomAction;
    // 4. Its two exports are the frame's.
    InstallGraphExports(*graph);
    graph_ = graph;
    graphForm_ = graph;
    graphWindow_ = addChild(graphForm_);
    bindGraphCommands();
}

void TMainForm::bindGraphCommands() {
    GraphMenu->clear();
    GraphMenu->addAction(Graph.Axes);
    GraphMenu->addAction(Graph.Curve);
    GraphMenu->addSeparator();
    GraphMenu->addAction(Graph.PrintSetup);
    GraphMenu->addAction(Graph.PrintGraph);
    GraphMenu->addSeparator();
    GraphMenu->addAction(Graph.ExportDataToExcel);
    GraphMenu->addAction(Graph.ExportGraphData);
    GraphMenu->addAction(Graph.SaveBMP);

    // The graph's actions carry the graph's icons (the theme's, or drawn).
    ToolBar->addSeparator();
    for (QAction* action : {Graph.CopyGraph, Graph.Zoom, Graph.UnZoom, Graph.SaveBMP})
        ToolBar->addAction(action);
}

std::string TMainForm::currentPort() const {
    if (demoEngine_) return demoEngine_->DevicePath();
    if (!options_.App.Port.empty()) return options_.App.Port;
    return PortName(uint8_t(CommPort));
}

void TMainForm::createCommsWindow() {
    commsForm_ = new TCommsForm(datasets_);
    Acquisition& acq = commsForm_->acquisition();
    acq.setTestMode(Mode());
    acq.setEnableDials(Enabledials1->isChecked());
    int checked = -1;
    for (size_t i = 0; i < ModeItems.size(); ++i)
        if (ModeItems[i]->isChecked()) checked = int(i);
    acq.setCheckedModeItem(checked);

    AcquisitionSetup setup;
    setup.IniPath = options_.App.IniPath;
    setup.Port = currentPort();
    if (!commsForm_->FormCreate(setup)) {
        // The table is unusable; the message ("error") has been shown.
        delete commsForm_;
        commsForm_ = nullptr;
        startStatus_ = 2;
        return;
    }
    if (QAction* fft = commsForm_->FFTAction) ToolsMenu->addAction(fft);
    // F1..F4 whichever child window has the focus: a child's own shortcuts
    // work only while the focus is inside it.
    for (QAction* a : {commsForm_->StartTalkingAction, commsForm_->StartLoggingAction,
                       commsForm_->StopTalkingAction, commsForm_->StopLoggingAction})
        addAction(a);

    connect(commsForm_, &TCommsForm::acquisitionStateChanged, this, [this](AcquisitionState state) {
        if (power_) power_->acquisitionStateChanged(state);
        acquisitionStateChanged();
    });
    connect(commsForm_, &TCommsForm::rowLogged, this,
            [this](quint32 row) { StateLabel->setText(QString("Logging: %1 rows").arg(row)); });
    connect(commsForm_, &TCommsForm::promDumpRunning, this,
            [this](bool running) { promDumpRunning(running); });
    connect(commsForm_, &TCommsForm::promDumpProgress, this,
            [this](quint32 address, qulonglong bytes) { promDumpProgress(address, bytes); });
    connect(commsForm_, &TCommsForm::promDumpEnded, this,
            [this](PromDumpResult result) { promDumpEnded(result); });
    connect(commsForm_, &TCommsForm::dialsWindowRequested, this, [this](bool open) { setDialsWindow(open); });
    connect(commsForm_, &TCommsForm::dialsPositions, this, [this](float boost, float engineSpeed) {
        if (dials_) dials_->setGaugePositions(boost, engineSpeed);
    });
    connect(commsForm_, &TCommsForm::datasetsChanged, this, [this] { updateCommands(); });
    // An adapter that went away: said until it is back, then for a while.
    connect(commsForm_, &TCommsForm::linkStatusChanged, this,
            [this](bool connected, const QString& text) { showStatus(text, connected ? 10000 : 0); });
    // A port that would not open at start-up: the error log is behind the
    // graph panel while idle, so the status bar says it.
    if (!commsForm_->lastConnectFailure().isEmpty()) showStatus(commsForm_->lastConnectFailure());
    // The graph plots what the acquisition window's selectors choose; its
    // cursor prompt goes to the frame's status bar.
    if (graph_) graph_->attach(&commsForm_->acquisition(), statusBar());

    commsWindow_ = addChild(commsForm_);

    power_ = std::make_unique<TPowerHandler>(acq);
    logind_ = new LogindPower(*power_, this);
    power_->setInhibitor(options_.MakeInhibitor ? options_.MakeInhibitor() : logind_->makeInhibitor());
}

// ---- FormDestroy ----------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!commsForm_) {
        event->accept();
        return;
    }
    // A zoom or a point selection runs its own loop: the graph refuses to go.
    if (graph_ && !graph_->Idle()) {
        event->ignore();
        return;
    }
    Acquisition& acq = commsForm_->acquisition();
    if (acq.promDumpRunning()) {
        // The dump stops at its next address; the frame closes after it.
        closeAfterDump_ = true;
        acq.cancelPromDump();
        event->ignore();
        return;
    }
    // Logging stops (the recording is finished) before datasets are freed.
    if (acq.talking()) commsForm_->StopTalkingActionExecute();
    if (!datasets_.FreeAll()) {
        // A save failed or was not made: the program stays, with the dataset.
        commsForm_->refreshDataSetSelector();
        commsForm_->WriteTableData(1);
        event->ignore();
        return;
    }
    event->accept();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::FormDestroy() {
    messenger_.setParent(nullptr);
    if (commsForm_ && commsForm_->acquisition().talking()) commsForm_->StopTalkingActionExecute();
    // 1. The datasets (after a close nothing is left to ask about).
    datasets_.FreeAll();
    // 2. The graph window, 3. the acquisition window.
    delete graphWindow_;
    graphWindow_ = nullptr;
    graphForm_ = nullptr;
    graph_ = nullptr;
    delete logind_;
    logind_ = nullptr;
    power_.reset();
    delete commsWindow_;
    commsWindow_ = nullptr;
    commsForm_ = nullptr;
    // 4. The settings, unless this run keeps none.
    if (!options_.App.KeepSettings() && startStatus_ == 0) UpdateRegistry();
    demoEngine_.reset();
    if (options_.ShowMessageBoxes) setMessenger(previousMessenger_);
}

} // namespace quillmar
