#pragma once
// The acquisition window "M100 ALDL": the live parameter tree, the dataset
// selector and comment, the graph panel (parameter selectors, time shift,
// point buttons) and, in the same place, the acquisition panel (periods and
// error log), and the four talking and logging commands.
//
// The window is a view over the acquisition cycle (Acquisition) and the open
// datasets (TLogCollection): it forwards its commands to them and shows what
// they report through AcquisitionListener and TLogCollectionHooks. What its
// graph panel chooses reaches the acquisition graph through PlotChoices.

#include "acquisition/Acquisition.h"
#include "acquisition/params/ParameterTypes.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillmar {

class TALDLLog;
class TLogCollection;

// Item roles of the parameter selectors: the indent (bit items 1) and, for a
// bit item, its position in FlagDefs plus 1.
inline constexpr int SelectorIndentRole = Qt::UserRole + 1;
inline constexpr int SelectorFlagDefRole = Qt::UserRole + 2;

class TCommsForm : public QWidget, public AcquisitionListener {
    Q_OBJECT

public:
    // datasets: the main window's collection; it must outlive this window.
    explicit TCommsForm(TLogCollection& datasets, QWidget* parent = nullptr);
    ~TCommsForm() override;

    // Loads and checks the table, connects the link, fills the period boxes
    // and builds the tree and the selectors. False when the table is unusable
    // (the message has been shown and the program must end).
    bool FormCreate(const AcquisitionSetup& setup);
    // Stops talking and logging and frees the link.
    void FormDestroy();

    Acquisition& acquisition() { return *acquisition_; }
    TLogCollection& datasets() { return datasets_; }

    // ---- the live table ----

    // Rebuilds the tree, the three selectors and FlagDefs from the table.
    void SetupTableAndCombos();
    // Rewrites the tree's lines from the live values (while acquiring) or
    // from row point of the current dataset, and the point labels.
    void WriteTableData(int64_t point);
    // The dataset selected in dlgDataSet (item 0 when none is selected).
    TALDLLog* CurrentDataset();
    // Shows the collection's list of datasets, selection and text.
    void refreshDataSetSelector();
    // The tree's values are greyed: the engine computer is not answering
    // (NoAnswer), so they are the last it gave.
    bool liveValuesStale() const { return staleValues_; }

    // ---- commands ----

    void StartTalkingActionExecute();
    void StopTalkingActionExecute();
    void StartLoggingActionExecute();
    void StopLoggingActionExecute();
    void PreviousPointActionExecute();
    void NextpointActionExecute();
    // Enables the tree's pop-up commands for the selected line.
    void TreePopUpPopup();
    void PlotAsActionExecute(QAction* action);
    void dlgAcqPeriodExit();
    void dlgRedrawPeriodExit();

    // Starts a PROM dump on the link (the talking commands are disabled
    // meanwhile); promDumpEnded tells how it ended. False when refused.
    bool DumpProm(const std::string& fileName);

    // A line for the error log that does not come from the link.
    void appendErrorLog(const QString& line);
    // The error log line for a port that would not open, with what to do.
    // The line is also kept (and signalled as a lost link), because the error
    // log is hidden behind the graph panel while idle.
    void reportConnectFailure(const std::string& port);
    // The last such line; empty once a port opened.
    const QString& lastConnectFailure() const { return lastConnectFailure_; }
    void clearConnectFailure() { lastConnectFailure_.clear(); }

    // ---- controls, as the form lays them out ----

    QTreeWidget* ParameterTree = nullptr;
    QComboBox* dlgDataSet = nullptr;
    QLineEdit* dlgDescription = nullptr;
    QStackedWidget* Panels = nullptr;
    QWidget* GraphPanel = nullptr;
    QWidget* AcqPanel = nullptr;
    QComboBox* dlgxAxis = nullptr;
    QComboBox* dlgCurve1 = nullptr;
    QComboBox* dlgCurve2 = nullptr;
    QComboBox* CurveSelectors[3] = {nullptr, nullptr, nullptr}; // elements 1 and 2
    QScrollBar* dlgTimeShift = nullptr;
    QPushButton* PreviousBtn = nullptr;
    QPushButton* NextBtn = nullptr;
    QPushButton* ActivateCursorButton = nullptr;
    QLabel* dlgPointNo = nullptr;
    QLabel* dlgNoPoints = nullptr;
    QLineEdit* dlgAcqPeriod = nullptr;
    QLineEdit* dlgRedrawPeriod = nullptr;
    QPlainTextEdit* dlgErrorLog = nullptr;
    QPushButton* StartTalkingBtn = nullptr;
    QPushButton* StartMd1Log = nullptr;
    QPushButton* StopTalkingBtn = nullptr;
    QPushButton* StopLogBtn = nullptr;
    QMenu* TreePopUp = nullptr;

    QAction* StartTalkingAction = nullptr;
    QAction* StartLoggingAction = nullptr;
    QAction* StopTalkingAction = nullptr;
    QAction* StopLoggingAction = nullptr;
    QAction* PreviousPointAction = nullptr;
    QAction* NextpointAction = nullptr;
    QAction* ActivateCursorAction = nullptr;
    QAction* PlotAsxAction = nullptr;
    QAction* PlotAsCurve1Action = nullptr;
    QAction* PlotAsCurve2Action = nullptr;
    QAction* FFTAction = nullptr;

    // One element per bit of every flag entry (the selectors' bit items
    // carry their position here plus 1).
    std::vector<TFlagDef> FlagDefs;

signals:
    void acquisitionStateChanged(quillmar::AcquisitionState state);
    // Logging recorded this row.
    void rowLogged(quint32 row);
    // A PROM dump started (true) or ended (false).
    void promDumpRunning(bool running);
    // A PROM dump ended, after promDumpRunning(false).
    void promDumpEnded(quillmar::PromDumpResult result);
    void promDumpProgress(quint32 nextAddress, qulonglong bytesRead);
    // The dials window should open or close; every tick while the dials are
    // on (the table holds the new values), the pressure x 100 and the engine
    // speed.
    void dialsWindowRequested(bool open);
    void dialsPositions(float boost, float engineSpeed);
    // The datasets listed, or the selected one, changed.
    void datasetsChanged();
    // The device went away (connected false: "... disconnected, retrying")
    // or came back; text says which, naming it.
    void linkStatusChanged(bool connected, const QString& text);

protected:
    // ---- AcquisitionListener ----
    void dialsChanged(float boost, float engineSpeed) override;
    void refreshLiveTable() override;
    void showRow(uint32_t row) override;
    void stateChanged(AcquisitionState state) override;
    void rowRecorded(uint32_t row) override;
    void errorLines(const std::vector<std::string>& lines) override;
    void setupCurves() override;
    void dialsWanted(bool wanted) override;
    void linkActivity(bool busy) override;
    void promProgress(uint32_t nextAddress, size_t bytesRead) override;
    void promDumpFinished(PromDumpResult result) override;
    void datasetWarnings(const std::vector<std::string>& warnings) override;
    void linkStateChanged(bool connected, const std::string& text) override;

private:
    QString lastConnectFailure_;
    void buildControls();
    void buildActions();
    void installCollectionHooks();
    // The window's side of the acquisition graph's choices (PlotChoices).
    void installPlotChoices();
    // The selectors' items into the choices.
    void storePlotSelection();
    void updateCommands();
    void periodExit(QLineEdit* box, bool acquisition);
    void treeContextMenu(const QPoint& pos);
    int absoluteTreeLine(QTreeWidgetItem* item) const;
    void showValuesStale(bool stale);
    bool staleValues_ = false;

    TLogCollection& datasets_;
    std::unique_ptr<Acquisition> acquisition_;
    bool created_ = false;
};

} // namespace quillmar
