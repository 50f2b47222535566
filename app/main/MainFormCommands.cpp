// The frame's actions, menus and tool bar, the Setup and Window commands
// and which commands are available.
#include "app/main/MainForm.h"

#include "acquisition/window/CommsForm.h"
#include "acquisition/window/Icons.h"
#include "app/gauge/DialDialog.h"
#include "store/Bookmarks.h"

#include <QAction>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <algorithm>

namespace quillmar {

namespace {

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

} // namespace

// ---- actions and menus -------------------------------------------------------

void TMainForm::buildActions() {
    FileOpen1 = makeAction(this, "FileOpen1", "&Open...");
    FileOpen1->setShortcut(QKeySequence("Ctrl+O"));
    FileOpen1->setToolTip("Open");
    FileOpen1->setStatusTip("Opens an existing file");
    FileOpen1->setIcon(themedToolIcon(ToolIcon::Open));
    CloseDataSetAction = makeAction(this, "CloseDataSetAction", "Close dataset");
    CloseDataSetAction->setStatusTip("Closes the dataset selected in the acquisition window");
    FileSaveAction = makeAction(this, "FileSaveAction", "&Save");
    FileSaveAction->setIcon(themedToolIcon(ToolIcon::Save));
    FileSaveAction->setToolTip("Save");
    FileSaveAction->setStatusTip(SaveStatusTip);
    FileSaveAs1 = makeAction(this, "FileSaveAs1", "Save &As...");
    FileSaveAs1->setToolTip("Save As");
    FileSaveAs1->setStatusTip(SaveAsStatusTip);
    ExportDataToExcel = makeAction(this, "ExportDataToExcel", "Export Data to Excel");
    ExportDataToExcel->setIcon(toolIcon(ToolIcon::ExportSpreadsheet));
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
    AddBookmarkAction = makeAction(this, "AddBookmarkAction", "Add &bookmark...");
    AddBookmarkAction->setIcon(toolIcon(ToolIcon::Bookmark));
    // A key of its own, from whichever child has the focus; a text box
    // takes the letter for itself.
    AddBookmarkAction->setShortcut(QKeySequence(Qt::Key_M));
    AddBookmarkAction->setShortcutContext(Qt::WindowShortcut);
    AddBookmarkAction->setToolTip("Add a bookmark to the recording (M)");
    AddBookmarkAction->setStatusTip("Marks this moment of the recording, with a note if you like");
    AddBookmarkAction->setEnabled(false);
    addAction(AddBookmarkAction);

    connect(FileOpen1, &QAction::triggered, this, [this] { FileOpen1Execute(); });
    connect(CloseDataSetAction, &QAction::triggered, this, [this] { CloseDataSetActionExecute(); });
    connect(FileSaveAction, &QAction::triggered, this, [this] { FileSaveActionExecute(); });
    connect(FileSaveAs1, &QAction::triggered, this, [this] { FileSaveAs1Execute(); });
    connect(ExportDataToExcel, &QAction::triggered, this, [this] { ExportDataToExcelExecute(); });
    connect(ExportDataToCsv, &QAction::triggered, this, [this] { ExportDataToCsvExecute(); });
    connect(PROMDumpAction, &QAction::triggered, this, [this] { PROMDumpActionExecute(); });
    connect(FileExit1, &QAction::triggered, this, &QWidget::close);
    connect(CreateIniFileAction, &QAction::triggered, this, [this] { CreateIniFileActionExecute(); });
    connect(AddBookmarkAction, &QAction::triggered, this, [this] { AddBookmarkActionExecute(); });

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
    DialsLayoutAction = makeAction(this, "DialsLayoutAction", "Layout...");
    DialsLayoutAction->setStatusTip("Chooses the gauges of the dials window and their warning thresholds");
    connect(DialsLayoutAction, &QAction::triggered, this, [this] { DialsLayoutActionExecute(); });
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
    WindowTileVertical1->setIcon(toolIcon(ToolIcon::TileVertically));
    WindowCascade1 = makeAction(this, "WindowCascade1", "&Cascade");
    WindowCascade1->setIcon(toolIcon(ToolIcon::Cascade));
    WindowArrange1 = makeAction(this, "WindowArrange1", "&Arrange");
    connect(WindowTileVertical1, &QAction::triggered, this, [this] { TileVertically(); });
    connect(WindowCascade1, &QAction::triggered, this, [this] { Cascade(); });
    connect(WindowArrange1, &QAction::triggered, this, [this] { ArrangeIcons(); });
}

void TMainForm::buildMenus() {
    FileMenu = menuBar()->addMenu("&File");
    // Say why Save and Save As are unavailable while logging.
    FileMenu->setToolTipsVisible(true);
    FileMenu->addAction(FileOpen1);
    RecentMenu = FileMenu->addMenu("Open &Recent");
    RecentMenu->setObjectName("RecentMenu");
    RecentMenu->setEnabled(false);
    FileMenu->addAction(CloseDataSetAction);
    FileMenu->addAction(FileSaveAction);
    FileMenu->addAction(FileSaveAs1);
    FileMenu->addAction(AddBookmarkAction);
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

    // The dials window's switch again, with its layout.
    DialsMenu = menuBar()->addMenu("&Dials");
    DialsMenu->addAction(Enabledials1);
    DialsMenu->addSeparator();
    DialsMenu->addAction(DialsLayoutAction);

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
    ToolBar->addAction(AddBookmarkAction);
    ToolBar->addSeparator();
    ToolBar->addAction(WindowCascade1);
    ToolBar->addAction(WindowTileVertical1);
}

// ---- commands ----------------------------------------------------------------------

bool TMainForm::Mode() const {
    return TestMode1->isChecked();
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

void TMainForm::AddBookmarkActionExecute() {
    if (!commsForm_) return;
    Acquisition& acq = commsForm_->acquisition();
    // The moment is the key press; typing the note may take a while.
    const std::optional<double> at = acq.recordingSeconds();
    if (!at) return;
    QInputDialog dialog(this);
    dialog.setObjectName("BookmarkDialog");
    dialog.setWindowTitle("Add bookmark");
    dialog.setLabelText(
        QString("Bookmark at %1 s. Note (optional):").arg(QString::fromStdString(FormatBookmarkTime(*at))));
    // Room for a note of a few words.
    dialog.resize(std::max(dialog.sizeHint().width(), dialog.fontMetrics().averageCharWidth() * 48),
                  dialog.sizeHint().height());
    const bool noted = dialog.exec() == QDialog::Accepted;
    // Escape keeps the bookmark, without a note: the moment is marked either way.
    const std::string note = noted ? dialog.textValue().trimmed().toStdString() : std::string();
    if (const std::optional<Bookmark> mark = acq.addBookmark(note, at))
        showStatus(QString("Bookmark %1 at %2 s%3")
                       .arg(mark->Number)
                       .arg(QString::fromStdString(FormatBookmarkTime(mark->Time)))
                       .arg(mark->Note.empty() ? QString() : ": " + QString::fromStdString(mark->Note)),
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

void TMainForm::Cascade() {
    // The windows as they lie, the top one last: it stays on top.
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::StackingOrder))
        if (w->isVisible() && !w->isMinimized()) windows << w;
    if (windows.isEmpty()) return;
    for (QMdiSubWindow* w : windows)
        if (w->isMaximized()) w->showNormal();

    const QSize area = mdi_->viewport()->size();
    // Each next window a title bar lower and to the right.
    const QWidget* inner = windows.front()->widget();
    const int step = std::max(20, inner ? inner->y() : 0);
    const int n = int(windows.size());
    // The room left once every window is offset; a window keeps its size
    // when that fits in it, and has at least two thirds of the area.
    const QSize room(std::max(1, area.width() - (n - 1) * step), std::max(1, area.height() - (n - 1) * step));
    const QSize least = (area * 2 / 3).boundedTo(room);
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* w = windows[i];
        QSize size = w->size().expandedTo(least).boundedTo(room);
        size = size.expandedTo(w->minimumSize()).boundedTo(w->maximumSize());
        w->setGeometry(i * step, i * step, size.width(), size.height());
        w->raise();
    }
    mdi_->setActiveSubWindow(windows.back());
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

void TMainForm::updateCommands() {
    const bool ready = commsForm_ != nullptr;
    const bool dumping = ready && commsForm_->acquisition().promDumpRunning();
    const bool logging = ready && commsForm_->acquisition().logging();
    const bool haveData = datasets_.Count() > 0;
    FileOpen1->setEnabled(ready && !logging);
    RecentMenu->setEnabled(FileOpen1->isEnabled() && !recentFiles_.isEmpty());
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
    AddBookmarkAction->setEnabled(ready && logging);
}

} // namespace quillmar
