#pragma once
// The frame window "Quillmar": menus, tool bar and status bar around a
// multiple-document area holding the acquisition window and the graph
// window side by side; the comm port and window placement settings, the
// open datasets, test mode, the dial switch and the hidden mode items, and
// the power events.

#include "acquisition/demo/SimulatedEcu.h"
#include "app/gauge/core/DashboardMonitor.h"
#include "app/main/AppOptions.h"
#include "app/main/PowerEvents.h"
#include "app/main/QtMessenger.h"
#include "app/main/SetCommDlg.h"
#include "store/dataset/LogCollection.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QFileDialog;
class QLabel;
class QMimeData;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QSettings;
class QStatusBar;
class QToolBar;

namespace quillmar {

class TALDLGraph;
class TCommsForm;
class TDashboardDialog;
class TDialDialog;

struct MainFormOptions {
    AppOptions App;
    // The demo's simulated engine computer (App.ReplayPath is added to it).
    SimOptions DemoEngine = [] {
        SimOptions o;
        o.Pace = true;
        o.StepSeconds = 0; // the model follows the time that really passes
        return o;
    }();
    // The serial devices the comm port dialog offers; empty: the system's.
    std::function<std::vector<SerialDeviceInfo>()> FindDevices;
    // The sleep inhibitor held while logging; empty: logind's when there.
    std::function<std::unique_ptr<SleepInhibitor>()> MakeInhibitor;
    // False: the messenger already installed answers (tests).
    bool ShowMessageBoxes = true;
};

// The graph window's commands the frame binds to its Graph menu and tool bar.
struct GraphCommands {
    QAction* Axes = nullptr;
    QAction* Curve = nullptr;
    QAction* PrintSetup = nullptr;
    QAction* PrintGraph = nullptr;
    QAction* ExportDataToExcel = nullptr;
    QAction* ExportGraphData = nullptr;
    QAction* SaveBMP = nullptr;
    QAction* CopyGraph = nullptr;
    QAction* Zoom = nullptr;
    QAction* UnZoom = nullptr;
};

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // FormCreate: the mode items, the datasets, the vehicle constants, the
    // settings (and on a first start the comm port dialog).
    explicit TMainForm(MainFormOptions options = {});
    // FormDestroy.
    ~TMainForm() override;

    // 0 when the program may run; otherwise the exit status: the message
    // saying why has been shown.
    int startStatus() const { return startStatus_; }

    // True when "Test mode" is checked.
    bool Mode() const;

    TLogCollection& Datasets() { return datasets_; }
    TCommsForm* CommsForm() const { return commsForm_; }
    QWidget* GraphForm() const { return graphForm_; }
    // The graph of the logged datasets (null while the graph window is not made).
    TALDLGraph* ALDLGraph() const { return graph_; }
    QMdiArea* mdiArea() const { return mdi_; }
    QMdiSubWindow* commsWindow() const { return commsWindow_; }
    QMdiSubWindow* graphWindow() const { return graphWindow_; }
    TPowerHandler* powerHandler() const { return power_.get(); }
    SimulatedEcu* demoEngine() const { return demoEngine_.get(); }
    // The "Dials" window while it exists.
    TDialDialog* DialsWindow() const;
    // The whole text of the status-bar message shown now (it may show cut
    // short); empty when none is shown.
    QString StatusText() const;

    // ---- settings ----

    void ReadRegistry();
    void ReadRegistryEntries(QSettings& settings);
    void WriteRegistryEntries(QSettings& settings);
    void UpdateRegistry();

    // ---- commands ----

    void SetCommPortActionExecute();
    void Enabledials1Click();
    // "Layout...": the dials layout dialog, window-modal; OK applies it.
    void DialsLayoutActionExecute();
    // The dialog set up with the layout in force, not shown.
    TDashboardDialog* makeDialsLayoutDialog();
    // The layout from now on: kept in the settings (unless this run keeps
    // none) and shown by the dials window if it is open.
    void DialsLayoutAccept(const DashboardLayout& layout);
    const DashboardLayout& DialsLayout() const { return dashboard_; }
    void mbMode1MenuItem_Click(QAction* item);
    void FileOpen1Execute();
    // File > Open Recent: opens file as File > Open would.
    void OpenRecentFile(const QString& file);
    // The last logs opened, the newest first (at most MaxRecentFiles).
    const QStringList& RecentFiles() const { return recentFiles_; }
    static constexpr int MaxRecentFiles = 8;
    // The local .ecu files among what is dragged or dropped.
    static QStringList droppedLogFiles(const QMimeData* data);
    // Opens the files as the open dialog would.
    void FileOpen1Accept(const QStringList& files);
    void FileSaveActionExecute();
    void FileSaveAs1Execute();
    void FileSaveAs1Accept(const QString& fileName);
    void CloseDataSetActionExecute();
    void PROMDumpActionExecute();
    // Starts the dump into fileName; the status bar tells how it ended.
    void PROMDumpActionAccept(const QString& fileName);
    void CreateIniFileActionExecute();
    // "Export Data to Excel" and "Export Data to CSV...": the acquisition
    // window's current dataset; the status bar says where it went.
    void ExportDataToExcelExecute();
    void ExportDataToCsvExecute();
    // "Add bookmark" (M) while logging: the moment of the key press, and a
    // note asked for in a small dialog (BookmarkDialog); Escape or no text
    // keeps the bookmark without a note.
    void AddBookmarkActionExecute();
    void TileVertically();
    // "Cascade": the windows overlapping, each a title bar further down, at
    // their size when it fits and at least two thirds of the area.
    void Cascade();
    void ArrangeIcons();

    // The file dialogs, set up but not shown. The log dialogs start in the
    // folder last used; Save As offers dataset's own file or a name made
    // from its start (SuggestedFileName), for the current dataset when none
    // is given.
    QFileDialog* makeLogOpenDialog();
    QFileDialog* makeLogSaveDialog(const TALDLLog* dataset = nullptr);
    QFileDialog* makePromSaveDialog();

    int32_t CommPort = 1;

    QMenu* FileMenu = nullptr;
    QMenu* RecentMenu = nullptr;
    QMenu* GraphMenu = nullptr;
    QMenu* SetupMenu = nullptr;
    QMenu* DialsMenu = nullptr;
    QMenu* ToolsMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QToolBar* ToolBar = nullptr;

    QAction* FileOpen1 = nullptr;
    QAction* CloseDataSetAction = nullptr;
    QAction* FileSaveAction = nullptr;
    QAction* FileSaveAs1 = nullptr;
    QAction* ExportDataToExcel = nullptr;
    QAction* ExportDataToCsv = nullptr;
    QAction* PROMDumpAction = nullptr;
    QAction* FileExit1 = nullptr;
    QAction* CreateIniFileAction = nullptr;
    QAction* AddBookmarkAction = nullptr;
    QAction* SetCommPortAction = nullptr;
    QAction* Enabledials1 = nullptr;
    QAction* DialsLayoutAction = nullptr;
    QAction* TestMode1 = nullptr;
    std::array<QAction*, 6> ModeItems{};
    QAction* WindowTileVertical1 = nullptr;
    QAction* WindowCascade1 = nullptr;
    QAction* WindowArrange1 = nullptr;
    GraphCommands Graph;

    QLabel* PortLabel = nullptr;
    QLabel* StateLabel = nullptr;
    QLabel* DemoLabel = nullptr;
    // "No answer from the engine computer", marked in colour, while the
    // state is NoAnswer; its tool tip says what to check.
    QLabel* NoAnswerLabel = nullptr;
    QWidget* PromProgress = nullptr;
    QLabel* PromAddressLabel = nullptr;
    QProgressBar* PromProgressBar = nullptr;
    QPushButton* PromCancelBtn = nullptr;

signals:
    // A gauge of the dials window went past its danger threshold for the
    // first time in the recording going on.
    void dialDangerCrossed(const quillmar::DangerCrossing& crossing);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // .ecu files dropped on the frame open as with File > Open.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The dials window opens (true) or closes (false). It plugs in here.
    virtual void setDialsWindow(bool open);

private:
    // The placement a first start uses.
    static constexpr int DefaultLeft = 246;
    static constexpr int DefaultTop = 112;
    static constexpr int DefaultHeight = 598;
    static constexpr int DefaultWidth = 763;

    void FormCreate();
    void FormShow();
    // Moves the frame, and shrinks it when it must, so that all of it is on
    // the screen holding most of it.
    void fitToScreen();
    void FormDestroy();
    void buildActions();
    void buildMenus();
    void buildStatusBar();
    void createGraphWindow();
    void bindGraphCommands();
    void createCommsWindow();
    // scrolls: the child scrolls up and down when the frame is too short for it.
    QMdiSubWindow* addChild(QWidget* widget, bool scrolls = false);
    // True on OK; keptPortInUse: OK kept the device path in use.
    bool showCommDialog(bool firstStart, bool* keptPortInUse = nullptr);
    std::vector<SerialDeviceInfo> findDevices() const;
    std::optional<std::string> runLogSaveDialog(const TALDLLog* dataset);
    // The folder of a log file chosen becomes the one the dialogs start in
    // (kept in the settings unless this run keeps none).
    void rememberLogFolder(const QString& file);
    std::string logFolder_;
    QStringList recentFiles_;
    void readRecentFiles(QSettings& settings);
    void rememberRecentFile(const QString& file);
    void updateRecentMenu();
    std::string currentPort() const;
    void updateCommands();
    void updatePortLabel();
    // A status-bar message, cut to the room the labels leave.
    void showStatus(const QString& text, int timeout = 0);
    QString shownStatus_; // the (possibly cut) text showStatus put up last
    void acquisitionStateChanged();
    void promDumpRunning(bool running);
    void promDumpProgress(quint32 nextAddress, qulonglong bytesRead);
    void promDumpEnded(PromDumpResult result);

    MainFormOptions options_;
    TLogCollection datasets_;
    QtMessenger messenger_;
    Messenger* previousMessenger_ = nullptr;
    std::unique_ptr<SimulatedEcu> demoEngine_;
    std::unique_ptr<TPowerHandler> power_;
    LogindPower* logind_ = nullptr;
    QMdiArea* mdi_ = nullptr;
    QMdiSubWindow* commsWindow_ = nullptr;
    QMdiSubWindow* graphWindow_ = nullptr;
    TCommsForm* commsForm_ = nullptr;
    QWidget* graphForm_ = nullptr;
    TALDLGraph* graph_ = nullptr;
    QStatusBar* graphStatusBar_ = nullptr;
    QPointer<TDialDialog> dials_;
    DashboardLayout dashboard_;
    // Every tick: the dials window shows the table's values.
    void showDialValues();
    int startStatus_ = 0;
    bool shown_ = false;
    bool closeAfterDump_ = false;
    QString promFile_; // the image the running (or last) dump writes
};

} // namespace quillmar
