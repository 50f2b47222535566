#include "app/main/MainForm.h"

#include "acquisition/params/ProtocolFile.h"
#include "acquisition/window/CommsForm.h"
#include "app/gauge/DialDialog.h"
#include "acquisition/Settings.h"
#include "app/main/ToolIcons.h"
#include "app/sheet/window/GraphExports.h"
#include "app/sheet/window/SheetCommands.h"
#include "link/ALDLComms.h"
#include "link/PortTable.h"
#include "store/base/Messages.h"
#include "store/dataset/JournalRecovery.h"

#include "graph/acquisition/window/ALDLGraph.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace quillmar {

namespace {

// The placement a first start uses.
constexpr int DefaultLeft = 246;
constexpr int DefaultTop = 112;
constexpr int DefaultHeight = 598;
constexpr int DefaultWidth = 763;

const QString SaveWhileLoggingTip = QStringLiteral("Saving waits until logging stops (Stop logging, F4)");
const QString SaveStatusTip =
    QStringLiteral("Saves the current dataset to its own file (Save As when it has none)");
const QString SaveAsStatusTip = QStringLiteral("Saves the active file with a new name");

const char* const ModeItemCaptions[6] = {"Mode 1 (default)",   "Mode 1 (message 0)", "Mode 1 (message 1)",
                                         "Mode 1 (message 2)", "Mode 1 (message 3)", "Mode 1 (message 4)"};

QAction* makeAction(QObject* owner, const char* name, const QString& caption) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    return action;
}

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

void TMainForm::buildActions() {
    FileOpen1 = makeAction(this, "FileOpen1", "&Open...");
    FileOpen1->setShortcut(QKeySequence("Ctrl+O"));
    FileOpen1->setToolTip("Open");
    FileOpen1->setStatusTip("Opens an existing file");
    FileOpen1->setIcon(MakeToolIcon(ToolIcon::Open));
    CloseDataSetAction = makeAction(this, "CloseDataSetAction", "Close dataset");
    CloseDataSetAction->setStatusTip("Closes the dataset selected in the acquisition window");
    FileSaveAction = makeAction(this, "FileSaveAction", "&Save");
    FileSaveAction->setIcon(MakeToolIcon(ToolIcon::Save));
    FileSaveAction->setToolTip("Save");
    FileSaveAction->setStatusTip(SaveStatusTip);
    FileSaveAs1 = makeAction(this, "FileSaveAs1", "Save &As...");
    FileSaveAs1->setToolTip("Save As");
    FileSaveAs1->setStatusTip(SaveAsStatusTip);
    ExportDataToExcel = makeAction(this, "ExportDataToExcel", "Export Data to Excel");
    ExportDataToExcel->setIcon(MakeToolIcon(ToolIcon::ExportExcel));
    ExportDataToExcel->setEnabled(false);
    ExportDataToExcel->setStatusTip("Opens the current dataset in the spreadsheet application");
    ExportDataToCsv = makeAction(this, "ExportDataToCsv", "Export Data to CSV...");
    ExportDataToCsv->setEnabled(false);
    ExportDataToCsv->setStatusTip("Writes the current dataset to a CSV file for other analysis tools");
    PROMDumpAction = makeAction(this, "PROMDumpAction", "Dump PROM to BIN...");
    PROMDumpAction->setStatusTip("Reads the engine computer's program memory into a file");
    FileExit1 = makeAction(this, "FileExit1", "E&xit");
    CreateIniFileAction = makeAction(this, "CreateIniFileAction", "Create ini file");
    CreateIniFileAction->setShortcut(QKeySequence("Ctrl+Shift+I"));
    CreateIniFileAction->setShortcutContext(Qt::WindowShortcut);
    addAction(CreateIniFileAction); // no menu item: the shortcut alone reaches it

    connect(FileOpen1, &QAction::triggered, this, [this] { FileOpen1Execute(); });
    connect(CloseDataSetAction, &QAction::triggered, this, [this] { CloseDataSetActionExecute(); });
    connect(FileSaveAction, &QAction::triggered, this, [this] { FileSaveActionExecute(); });
    connect(FileSaveAs1, &QAction::triggered, this, [this] { FileSaveAs1Execute(); });
    connect(ExportDataToExcel, &QAction::triggered, this, [this] { ExportDataToExcelExecute(); });
    connect(ExportDataToCsv, &QAction::triggered, this, [this] { ExportDataToCsvExecute(); });
    connect(PROMDumpAction, &QAction::triggered, this, [this] { PROMDumpActionExecute(); });
    connect(FileExit1, &QAction::triggered, this, &QWidget::close);
    connect(CreateIniFileAction, &QAction::triggered, this, [this] { CreateIniFileActionExecute(); });

    SetCommPortAction = makeAction(this, "SetCommPortAction", "Set comm port");
    Enabledials1 = makeAction(this, "Enabledials1", "Enable dials");
    Enabledials1->setCheckable(true);
    TestMode1 = makeAction(this, "TestMode1", "Test mode");
    TestMode1->setCheckable(true);
    TestMode1->setStatusTip("Pseudo-random replies instead of the engine computer's");
    for (size_t i = 0; i < ModeItems.size(); ++i) {
        QAction* item = makeAction(this, "mbMode1MenuItem", ModeItemCaptions[i]);
        item->setObjectName(QString("mbMode1MenuItem%1").arg(i));
        item->setCheckable(true);
        item->setChecked(i == 0);
        item->setVisible(false);
        ModeItems[i] = item;
        connect(item, &QAction::triggered, this, [this, item] { mbMode1MenuItem_Click(item); });
    }
    connect(SetCommPortAction, &QAction::triggered, this, [this] { SetCommPortActionExecute(); });
    connect(Enabledials1, &QAction::triggered, this, [this] { Enabledials1Click(); });
    connect(TestMode1, &QAction::toggled, this, [this](bool on) {
        // One radio group with the mode items: test mode unchecks them.
        if (on)
            for (QAction* item : ModeItems)
                item->setChecked(false);
        if (commsForm_) {
            commsForm_->acquisition().setTestMode(on);
            if (on) commsForm_->acquisition().setCheckedModeItem(-1);
        }
        updatePortLabel();
    });

    WindowTileVertical1 = makeAction(this, "WindowTileVertical1", "&Tile Vertically");
    WindowTileVertical1->setIcon(MakeToolIcon(ToolIcon::TileVertically));
    WindowCascade1 = makeAction(this, "WindowCascade1", "&Cascade");
    WindowCascade1->setIcon(MakeToolIcon(ToolIcon::Cascade));
    WindowArrange1 = makeAction(this, "WindowArrange1", "&Arrange");
    connect(WindowTileVertical1, &QAction::triggered, this, [this] { TileVertically(); });
    connect(WindowCascade1, &QAction::triggered, this, [this] { mdi_->cascadeSubWindows(); });
    connect(WindowArrange1, &QAction::triggered, this, [this] { ArrangeIcons(); });
}

void TMainForm::buildMenus() {
    FileMenu = menuBar()->addMenu("&File");
    // Say why Save and Save As are unavailable while logging.
    FileMenu->setToolTipsVisible(true);
    FileMenu->addAction(FileOpen1);
    FileMenu->addAction(CloseDataSetAction);
    FileMenu->addAction(FileSaveAction);
    FileMenu->addAction(FileSaveAs1);
    FileMenu->addSeparator();
    FileMenu->addAction(ExportDataToExcel);
    FileMenu->addAction(ExportDataToCsv);
    FileMenu->addSeparator();
    FileMenu->addAction(PROMDumpAction);
    FileMenu->addSeparator();
    FileMenu->addAction(FileExit1);

    // Filled with the graph window's commands when it exists.
    GraphMenu = menuBar()->addMenu("&Graph");

    SetupMenu = menuBar()->addMenu("&Setup");
    SetupMenu->addAction(SetCommPortAction);
    SetupMenu->addSeparator();
    SetupMenu->addAction(Enabledials1);
    SetupMenu->addSeparator()->setEnabled(false);
    SetupMenu->addAction(TestMode1);
    for (QAction* item : ModeItems)
        SetupMenu->addAction(item);

    // Holds the acquisition window's FFT command, which is not there yet.
    ToolsMenu = menuBar()->addMenu("&Tools");
    ToolsMenu->menuAction()->setVisible(false);
    ToolsMenu->menuAction()->setEnabled(false);

    WindowMenu = menuBar()->addMenu("&Window");
    WindowMenu->addAction(WindowTileVertical1);
    WindowMenu->addAction(WindowCascade1);
    WindowMenu->addAction(WindowArrange1);

    ToolBar = addToolBar("Tool bar");
    ToolBar->setObjectName("ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setIconSize(QSize(24, 24));
    ToolBar->addAction(FileOpen1);
    ToolBar->addAction(FileSaveAction);
    ToolBar->addSeparator();
    ToolBar->addAction(ExportDataToExcel);
    ToolBar->addSeparator();
    ToolBar->addAction(WindowCascade1);
    ToolBar->addAction(WindowTileVertical1);
}

void TMainForm::buildStatusBar() {
    QStatusBar* bar = statusBar();
    // The whole text of a message cut short stays the tool tip only while it shows.
    connect(bar, &QStatusBar::messageChanged, this, [this, bar](const QString& message) {
        if (message != shownStatus_) bar->setToolTip(QString());
    });
    DemoLabel = new QLabel(bar);
    DemoLabel->setObjectName("DemoLabel");
    DemoLabel->setStyleSheet("QLabel { background: #fff3c4; color: #5d4200; padding: 0 6px; }");
    DemoLabel->hide();
    bar->addPermanentWidget(DemoLabel);

    PromProgress = new QWidget(bar);
    PromProgress->setObjectName("PromProgress");
    auto* row = new QHBoxLayout(PromProgress);
    row->setContentsMargins(0, 0, 0, 0);
    PromAddressLabel = new QLabel(PromProgress);
    PromAddressLabel->setMinimumWidth(PromAddressLabel->fontMetrics().horizontalAdvance("Reading $FFFF") + 8);
    PromProgressBar = new QProgressBar(PromProgress);
    PromProgressBar->setRange(0, 0x8000);
    PromProgressBar->setFormat("%v of 32768 bytes");
    PromProgressBar->setMinimumWidth(160);
    PromCancelBtn = new QPushButton("Cancel", PromProgress);
    PromCancelBtn->setObjectName("PromCancelBtn");
    // Escape cancels too, while the button shows (during a dump).
    PromCancelBtn->setShortcut(QKeySequence(Qt::Key_Escape));
    row->addWidget(PromAddressLabel);
    row->addWidget(PromProgressBar);
    row->addWidget(PromCancelBtn);
    PromProgress->hide();
    bar->addWidget(PromProgress, 1);
    connect(PromCancelBtn, &QPushButton::clicked, this, [this] {
        if (commsForm_) commsForm_->acquisition().cancelPromDump();
    });

    PortLabel = new QLabel(bar);
    PortLabel->setObjectName("PortLabel");
    bar->addPermanentWidget(PortLabel);
    StateLabel = new QLabel("Idle", bar);
    StateLabel->setObjectName("StateLabel");
    StateLabel->setMinimumWidth(StateLabel->fontMetrics().horizontalAdvance("Logging: 0000000 rows") + 8);
    bar->addPermanentWidget(StateLabel);
}

// ---- settings --------------------------------------------------------------

void TMainForm::ReadRegistry() {
    std::unique_ptr<QSettings> settings = OpenSettings();
    LoadPortOverrides(*settings);
    logFolder_ = LogFolder(*settings);
    if (!SettingsKeyExists(*settings)) {
        CommPort = 1;
        // A run that keeps no settings asks nothing either.
        if (!options_.App.KeepSettings() && showCommDialog(true)) UpdateRegistry();
        return;
    }
    ReadRegistryEntries(*settings);
    // A place on a screen that is no longer there: back where a first start puts it.
    const QRect frame(pos(), size());
    bool onScreen = QGuiApplication::screens().isEmpty();
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen =
            onScreen || screen->availableGeometry().intersects(frame.adjusted(0, 0, 0, -frame.height() + 40));
    if (!onScreen) move(DefaultLeft, DefaultTop);
}

void TMainForm::ReadRegistryEntries(QSettings& settings) {
    // Read in order until the first value that is missing or not a number.
    const auto port = ReadInt32(settings, "Port");
    if (!port || *port < FirstPortNumber || *port > LastPortNumber) return;
    CommPort = *port;
    const auto left = ReadInt32(settings, "Main x-pos");
    if (!left) return;
    move(*left, pos().y());
    const auto top = ReadInt32(settings, "Main y-pos");
    if (!top) return;
    move(pos().x(), *top);
    // Sizes a window could not have are pulled into a usable range.
    const auto height = ReadInt32(settings, "Main height");
    if (!height) return;
    resize(width(), std::clamp(*height, 200, 16384));
    const auto width = ReadInt32(settings, "Main width");
    if (!width) return;
    resize(std::clamp(*width, 300, 16384), this->height());
}

void TMainForm::WriteRegistryEntries(QSettings& settings) {
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
    WriteInt32(settings, "Port", CommPort);
    WriteInt32(settings, "Main x-pos", normal.x());
    WriteInt32(settings, "Main y-pos", normal.y());
    WriteInt32(settings, "Main height", normal.height());
    WriteInt32(settings, "Main width", normal.width());
}

void TMainForm::UpdateRegistry() {
    std::unique_ptr<QSettings> settings = OpenSettings();
    WriteRegistryEntries(*settings);
    settings->sync();
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
    graph->setWritesSettings(!options_.App.KeepSettings());
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
    GraphMenu->addSeparator();
    GraphMenu->addAction(graph_->LiveGraphAction);
    GraphMenu->addAction(graph_->FollowAction);

    // The graph's actions carry the graph's icons (the theme's, or drawn).
    ToolBar->addSeparator();
    for (QAction* action : {Graph.CopyGraph, Graph.Zoom, Graph.UnZoom, Graph.SaveBMP})
        ToolBar->addAction(action);
    ToolBar->addAction(graph_->LiveGraphAction);
    ToolBar->addAction(graph_->FollowAction);
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

// ---- commands ----------------------------------------------------------------------

bool TMainForm::Mode() const {
    return TestMode1->isChecked();
}

std::vector<SerialDeviceInfo> TMainForm::findDevices() const {
    return options_.FindDevices ? options_.FindDevices() : FindSerialDevices();
}

bool TMainForm::showCommDialog(bool firstStart) {
    // At the first start the frame is not shown yet: centre on the screen.
    TSetCommDlg dialog(CommPort, findDevices(), firstStart ? nullptr : this);
    if (firstStart) dialog.proposeSingleUsbAdapter();
    if (options_.App.KeepSettings())
        dialog.setNote("This run keeps no settings: the choice lasts until the program ends.");
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!options_.App.KeepSettings() && !dialog.assignments().empty()) {
        std::unique_ptr<QSettings> settings = OpenSettings();
        for (const auto& [number, device] : dialog.assignments())
            StorePortOverride(*settings, number, device);
        settings->sync();
    }
    return true;
}

void TMainForm::SetCommPortActionExecute() {
    if (!showCommDialog(false) || !commsForm_) return;
    // The dialog's port from now on, also in a run started on another one.
    options_.App.Port.clear();
    demoEngine_.reset();
    const std::string port = PortName(uint8_t(CommPort));
    Acquisition& acq = commsForm_->acquisition();
    if (acq.reconnect(port)) {
        const QString line =
            QString::fromStdString("Connected to " + port + " (" + acq.comms()->DevicePath() + ")");
        commsForm_->clearConnectFailure();
        commsForm_->appendErrorLog(line);
        showStatus(line, 10000);
    } else
        commsForm_->reportConnectFailure(port);
    updatePortLabel();
}

void TMainForm::Enabledials1Click() {
    if (!commsForm_) return;
    Acquisition& acq = commsForm_->acquisition();
    acq.setEnableDials(Enabledials1->isChecked());
    // While idle the dials window waits for the next "Start talking".
    if (acq.acquisitionRunning()) setDialsWindow(Enabledials1->isChecked());
}

TDialDialog* TMainForm::DialsWindow() const {
    return dials_;
}

void TMainForm::setDialsWindow(bool open) {
    if (!open) {
        // Freed once the event that closes it is over.
        if (dials_) {
            dials_->hide();
            dials_->deleteLater();
            dials_ = nullptr;
        }
        return;
    }
    if (!dials_ && commsForm_)
        dials_ = new TDialDialog(commsForm_->StartLoggingAction, commsForm_->StopLoggingAction, this);
    if (dials_) dials_->show();
}

void TMainForm::mbMode1MenuItem_Click(QAction* item) {
    const bool running = commsForm_ && commsForm_->acquisition().acquisitionRunning();
    if (running) {
        // Clicks change nothing while the acquisition timer runs.
        item->setChecked(!item->isChecked());
        return;
    }
    int index = -1;
    for (size_t i = 0; i < ModeItems.size(); ++i) {
        ModeItems[i]->setChecked(ModeItems[i] == item);
        if (ModeItems[i] == item) index = int(i);
    }
    TestMode1->setChecked(false);
    if (commsForm_) commsForm_->acquisition().setCheckedModeItem(index);
}

namespace {

// A file dialog for one kind of file; a save dialog asks before replacing.
QFileDialog* makeFileDialog(QWidget* parent, const char* name, const QString& title, bool save,
                            const QString& filter, const QString& suffix) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setObjectName(name);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFiles);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    return dialog;
}

} // namespace

QFileDialog* TMainForm::makeLogOpenDialog() {
    QFileDialog* dialog =
        makeFileDialog(this, "FileOpen1Dialog", "Open", false, "ECU log files (*.ecu)", "ecu");
    if (!logFolder_.empty()) dialog->setDirectory(QString::fromStdString(logFolder_));
    return dialog;
}

QFileDialog* TMainForm::makeLogSaveDialog(const TALDLLog* dataset) {
    QFileDialog* dialog =
        makeFileDialog(this, "FileSaveAs1Dialog", "Save As", true, "ECU log files (*.ecu)", "ecu");
    if (!dataset) dataset = datasets_.CurrentDataset();
    if (!dataset) {
        if (!logFolder_.empty()) dialog->setDirectory(QString::fromStdString(logFolder_));
        return dialog;
    }
    // Its own file, in that file's folder; or a name of its start, in the
    // folder last used.
    const QFileInfo suggested(QString::fromStdString(SuggestedFileName(*dataset)));
    if (dataset->FileName.empty() && !logFolder_.empty())
        dialog->setDirectory(QString::fromStdString(logFolder_));
    else if (!dataset->FileName.empty())
        dialog->setDirectory(suggested.absolutePath());
    dialog->selectFile(suggested.fileName());
    return dialog;
}

QFileDialog* TMainForm::makePromSaveDialog() {
    return makeFileDialog(this, "PROMDumpDialog", "Dump PROM to BIN", true, "PROM binary (*.bin)", "bin");
}

std::optional<std::string> TMainForm::runLogSaveDialog(const TALDLLog* dataset) {
    std::unique_ptr<QFileDialog> dialog(makeLogSaveDialog(dataset));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    const QString file = dialog->selectedFiles().first();
    rememberLogFolder(file);
    return file.toStdString();
}

void TMainForm::rememberLogFolder(const QString& file) {
    const std::string folder = QFileInfo(file).absolutePath().toStdString();
    if (folder.empty() || folder == logFolder_) return;
    logFolder_ = folder;
    if (options_.App.KeepSettings()) return;
    std::unique_ptr<QSettings> settings = OpenSettings();
    StoreLogFolder(*settings, logFolder_);
    settings->sync();
}

void TMainForm::FileOpen1Execute() {
    std::unique_ptr<QFileDialog> dialog(makeLogOpenDialog());
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
    rememberLogFolder(dialog->selectedFiles().first());
    FileOpen1Accept(dialog->selectedFiles());
}

void TMainForm::FileOpen1Accept(const QStringList& files) {
    if (!commsForm_) return;
    std::vector<std::string> names;
    for (const QString& f : files)
        names.push_back(f.toStdString());
    datasets_.openLogs(names, commsForm_->acquisition().sharedParameters());
    commsForm_->refreshDataSetSelector();
}

void TMainForm::FileSaveActionExecute() {
    if (!commsForm_) return;
    TALDLLog* current = datasets_.CurrentDataset();
    const bool logging = datasets_.recording() != nullptr;
    // Written when it worked on a dataset with rows: to its file, or to the
    // one Save As gave it (a cancelled dialog leaves it without one).
    if (datasets_.saveDataset() && !logging && current && current->Rows > 0 && current->Saved &&
        !current->FileName.empty())
        showStatus(QString::fromStdString("Saved " + current->DatasetName() + " to " + current->FileName),
                   10000);
    commsForm_->refreshDataSetSelector();
}

void TMainForm::FileSaveAs1Execute() {
    if (datasets_.recording()) return;
    if (const std::optional<std::string> file = runLogSaveDialog(nullptr))
        FileSaveAs1Accept(QString::fromStdString(*file));
}

void TMainForm::FileSaveAs1Accept(const QString& fileName) {
    if (!commsForm_) return;
    if (datasets_.saveDatasetAs(fileName.toStdString()) && !fileName.isEmpty()) {
        TALDLLog* current = datasets_.CurrentDataset();
        if (current && current->Rows > 0 && current->Saved && current->FileName == fileName.toStdString())
            showStatus(QString::fromStdString("Saved " + current->DatasetName() + " to ") + fileName, 10000);
    }
    commsForm_->refreshDataSetSelector();
}

void TMainForm::CloseDataSetActionExecute() {
    if (!commsForm_) return;
    datasets_.closeDataset();
    commsForm_->refreshDataSetSelector();
}

void TMainForm::PROMDumpActionExecute() {
    std::unique_ptr<QFileDialog> dialog(makePromSaveDialog());
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        PROMDumpActionAccept(dialog->selectedFiles().first());
}

void TMainForm::PROMDumpActionAccept(const QString& fileName) {
    if (!commsForm_ || fileName.isEmpty()) return;
    if (commsForm_->DumpProm(fileName.toStdString())) promFile_ = fileName;
}

void TMainForm::promDumpEnded(PromDumpResult result) {
    if (result == PromDumpResult::Written)
        showStatus("PROM image written to " + promFile_, 10000);
    else if (result == PromDumpResult::Cancelled)
        showStatus("PROM dump cancelled; no file written", 10000);
    if (closeAfterDump_) QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::ExportDataToExcelExecute() {
    if (!commsForm_) return;
    // The acquisition window's dataset, through that window's spreadsheet connection.
    Acquisition& acq = commsForm_->acquisition();
    if (const std::optional<std::string> path =
            ExportDatasetToExcel(commsForm_, ExcelAppOf(*commsForm_), acq.parameters(),
                                 commsForm_->CurrentDataset(), acq.state() == AcquisitionState::Logging))
        showStatus(QString::fromStdString(WorkbookStatusText(*path)), 10000);
}

void TMainForm::ExportDataToCsvExecute() {
    if (!commsForm_) return;
    const TALDLLog* current = datasets_.CurrentDataset();
    const std::string name = current ? current->DatasetName() : std::string();
    Acquisition& acq = commsForm_->acquisition();
    if (const std::optional<std::string> file =
            ExportDatasetToCsvFile(commsForm_, acq.parameters(), commsForm_->CurrentDataset(),
                                   acq.state() == AcquisitionState::Logging))
        showStatus(QString::fromStdString("Exported " + name + " to " + *file), 10000);
}

void TMainForm::CreateIniFileActionExecute() {
    if (!commsForm_) return;
    Acquisition& acq = commsForm_->acquisition();
    try {
        SaveIniFile(acq.iniPath(), acq.parameters());
    } catch (const std::exception& e) {
        showMessage("Error", e.what());
        return;
    }
    showStatus(QString("Wrote the parameter table (%1 parameters) to %2")
                   .arg(acq.parameterCount())
                   .arg(QString::fromStdString(acq.iniPath())),
               10000);
}

// ---- windows ----------------------------------------------------------------------

void TMainForm::TileVertically() {
    // The acquisition window first, then the graph, then any other child.
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : {commsWindow_, graphWindow_})
        if (w && w->isVisible() && !w->isMinimized()) windows << w;
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder))
        if (!windows.contains(w) && w->isVisible() && !w->isMinimized()) windows << w;
    if (windows.isEmpty()) return;
    for (QMdiSubWindow* w : windows)
        if (w->isMaximized()) w->showNormal();

    const QSize area = mdi_->viewport()->size();
    // Equal widths, within each window's own limits; what a limited window
    // leaves goes to the others.
    const int n = int(windows.size());
    std::vector<int> widths(size_t(n), -1);
    for (int pass = 0; pass < n; ++pass) {
        int fixedWidth = 0, open = 0;
        for (int i = 0; i < n; ++i) {
            if (widths[size_t(i)] >= 0)
                fixedWidth += widths[size_t(i)];
            else
                ++open;
        }
        if (open == 0) break;
        const int share = std::max(0, area.width() - fixedWidth) / open;
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            if (widths[size_t(i)] >= 0) continue;
            const QMdiSubWindow* w = windows[i];
            if (share < w->minimumWidth()) {
                widths[size_t(i)] = w->minimumWidth();
                changed = true;
            } else if (share > w->maximumWidth()) {
                widths[size_t(i)] = w->maximumWidth();
                changed = true;
            }
        }
        if (!changed) {
            for (int i = 0; i < n; ++i)
                if (widths[size_t(i)] < 0) widths[size_t(i)] = share;
            break;
        }
    }
    int x = 0;
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* w = windows[i];
        const int width = i == n - 1 && widths[size_t(i)] < w->maximumWidth()
                              ? std::max(widths[size_t(i)], area.width() - x)
                              : widths[size_t(i)];
        const int height = std::clamp(area.height(), w->minimumHeight(), w->maximumHeight());
        w->setGeometry(x, 0, std::min(width, w->maximumWidth()), height);
        x += w->width();
    }
}

void TMainForm::ArrangeIcons() {
    // Minimised children in a row along the bottom edge.
    int x = 0;
    const int bottom = mdi_->viewport()->height();
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (!w->isMinimized()) continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

// ---- state -------------------------------------------------------------------------

void TMainForm::showStatus(const QString& text, int timeout) {
    // The message shares the bar with the port and state labels: a long one
    // is cut short with an ellipsis, and the whole text is the bar's tool tip.
    QStatusBar* bar = statusBar();
    int room = bar->width() - 24;
    for (QLabel* label : {DemoLabel, PortLabel, StateLabel})
        if (label && label->isVisible()) room -= label->sizeHint().width() + 8;
    const QString shown = bar->fontMetrics().elidedText(text, Qt::ElideRight, std::max(room, 80));
    shownStatus_ = shown;
    bar->setToolTip(shown == text ? QString() : text);
    bar->showMessage(shown, timeout);
}

QString TMainForm::StatusText() const {
    const QStatusBar* bar = statusBar();
    if (bar->currentMessage().isEmpty()) return QString();
    return bar->toolTip().isEmpty() ? bar->currentMessage() : bar->toolTip();
}

void TMainForm::updatePortLabel() {
    if (demoEngine_) {
        DemoLabel->setText(options_.App.ReplayPath.empty()
                               ? "Demo: the data are simulated"
                               : QString("Demo: the data are simulated (replaying %1)")
                                     .arg(QString::fromStdString(FileNameOnly(options_.App.ReplayPath))));
        DemoLabel->show();
        PortLabel->setText(QString::fromStdString("Port " + demoEngine_->DevicePath() + " (simulated)"));
        return;
    }
    DemoLabel->setVisible(Mode());
    if (Mode()) DemoLabel->setText("Test mode: the data are pseudo-random");
    const std::string port = currentPort();
    const auto device = ResolvePort(port);
    PortLabel->setText(
        QString::fromStdString(device && *device != port ? port + " (" + *device + ")" : port));
}

void TMainForm::acquisitionStateChanged() {
    if (!commsForm_) return;
    // A dump shows its progress beside the label; a device being waited for
    // says so in the message.
    switch (commsForm_->acquisition().state()) {
    case AcquisitionState::Idle:
    case AcquisitionState::Dumping:
        StateLabel->setText("Idle");
        break;
    case AcquisitionState::Talking:
    case AcquisitionState::Reconnecting:
    case AcquisitionState::NoAnswer:
        StateLabel->setText("Talking");
        break;
    case AcquisitionState::Logging:
        StateLabel->setText(QString("Logging: %1 rows").arg(commsForm_->acquisition().rowCounter()));
        break;
    }
    updateCommands();
}

void TMainForm::updateCommands() {
    const bool ready = commsForm_ != nullptr;
    const bool dumping = ready && commsForm_->acquisition().promDumpRunning();
    const bool logging = ready && commsForm_->acquisition().logging();
    const bool haveData = datasets_.Count() > 0;
    FileOpen1->setEnabled(ready && !logging);
    CloseDataSetAction->setEnabled(ready && haveData);
    // Saving waits for the end of the recording: the commands say so
    // rather than seem to save.
    FileSaveAction->setEnabled(ready && haveData && !logging);
    FileSaveAs1->setEnabled(ready && haveData && !logging);
    FileSaveAction->setToolTip(logging ? SaveWhileLoggingTip : QStringLiteral("Save"));
    FileSaveAs1->setToolTip(logging ? SaveWhileLoggingTip : QStringLiteral("Save As"));
    FileSaveAction->setStatusTip(logging ? SaveWhileLoggingTip : SaveStatusTip);
    FileSaveAs1->setStatusTip(logging ? SaveWhileLoggingTip : SaveAsStatusTip);
    PROMDumpAction->setEnabled(ready && !dumping);
    // The dataset exports do nothing while logging or without a dataset.
    ExportDataToExcel->setEnabled(ready && haveData && !logging);
    ExportDataToCsv->setEnabled(ready && haveData && !logging);
    SetCommPortAction->setEnabled(!dumping);
    CreateIniFileAction->setEnabled(ready);
}

void TMainForm::promDumpRunning(bool running) {
    PromProgress->setVisible(running);
    PortLabel->setVisible(!running); // room for the progress
    if (running) {
        PromAddressLabel->setText("Reading $8000");
        PromProgressBar->setValue(0);
    }
    updateCommands();
}

void TMainForm::promDumpProgress(quint32 nextAddress, qulonglong bytesRead) {
    const quint32 address = std::min<quint32>(nextAddress, 0xFFFF);
    PromAddressLabel->setText("Reading $" + QString::number(address, 16).toUpper());
    PromProgressBar->setValue(int(std::min<qulonglong>(bytesRead, 0x8000)));
}

} // namespace quillmar
