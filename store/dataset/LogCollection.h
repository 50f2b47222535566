#pragma once
// The open datasets: the collection that owns them, their names in
// collection order and the selected one, which dataset is current, and the
// log-file commands around them (open, save, save as, close, the
// unsaved-data question). No widgets: what a front end would show goes
// through TLogCollectionHooks and the messenger (store/base/Messages.h).

#include "store/dataset/ALDLLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

// One entry of the collection; it owns its dataset.
class TLogItem {
public:
    explicit TLogItem(std::unique_ptr<TALDLLog> dataset) : dataset_(std::move(dataset)) {}
    TALDLLog* Dataset() const { return dataset_.get(); }

private:
    std::unique_ptr<TALDLLog> dataset_;
};

// What the collection tells its front end, and asks of it. Every hook may
// be left empty (nothing happens).
struct TLogCollectionHooks {
    // Datasets came, went or changed: the list and the graph's curves follow.
    std::function<void()> DatasetsChanged;
    // This row of the current dataset should be shown.
    std::function<void(uint32_t row)> ShowRow;
    // True when more than one dataset is open after a file was opened, so
    // one can be shifted in time against the others (from position 0).
    std::function<void(bool overlaid)> OverlayChanged;
    // Asks where to save dataset (SuggestedFileName offers a name): the
    // chosen file name, or nullopt when the user declined.
    std::function<std::optional<std::string>(const TALDLLog& dataset)> ChooseSaveFile;
    // True while the engine computer is being talked to.
    std::function<bool()> Talking;
    // Stops talking (and logging) before files are opened.
    std::function<void()> StopTalking;
};

// A log file opened on its own, as the desktop app finishes it.
struct OpenedLog {
    std::unique_ptr<TALDLLog> Log;
    std::vector<std::string> Warnings; // truncated file, no rows, missing parameters
};

// Loads fileName into log: its rows and time stamps, nothing derived. Throws
// FileError when the file cannot be read or is not a log (rows of 71 columns
// of 1-byte elements); a cut-off file loads its whole rows and adds the
// warning to log's load warnings. An empty file leaves log without rows.
void LoadLogFile(TALDLLog& log, const std::string& fileName);

// Reads the bookmarks saved beside the log file fileName into log's
// Bookmarks (none when there is no bookmarks file); a file or a line that
// cannot be read is a load warning, never a failure.
void LoadBookmarksBeside(TALDLLog& log, const std::string& fileName);

// Loads fileName into a new dataset sharing parameters, with its bookmarks,
// names it after the file (without its folder), sizes it and derives its
// channels. Throws FileError when the file cannot be read.
OpenedLog OpenLogFile(const std::string& fileName, std::shared_ptr<const TParameterArray> parameters,
                      const VehicleConstants& vehicle = DefaultVehicleConstants());

// The file name without its folder.
std::string FileNameOnly(const std::string& path);

// The name a Save As dialog offers for dataset: its own file (with its
// folder) when it has one; else a name without a folder made from the local
// time the recording started, "2026-12-09_1412.ecu"; else its dataset name
// with ".ecu".
std::string SuggestedFileName(const TALDLLog& dataset);
// The start of a recording (days since 1899-12-30) as a file name in local
// time, "2026-12-09_1412.ecu"; empty when the time is not a usable date.
std::string StartTimeFileName(double days);

class TLogCollection {
public:
    TLogCollection();
    // Frees what remains without asking (call FreeAll first to ask); the
    // journals of unsaved recordings stay for recovery.
    ~TLogCollection();
    TLogCollection(const TLogCollection&) = delete;
    TLogCollection& operator=(const TLogCollection&) = delete;

    // ---- the collection ----

    // A new empty dataset at the end of the collection, listed
    // as "Dataset %u" with its 0-based position.
    TALDLLog& NewDataset(std::shared_ptr<const TParameterArray> parameters);

    int Count() const { return int(items_.size()); }
    // The dataset of entry index (0-based); nullptr outside.
    TALDLLog* ReadLog(int index) const;
    // Position of dataset in the collection, -1 when not listed.
    int IndexOf(const TALDLLog* dataset) const;

    // Frees dataset after the unsaved-data question, with its journal (saved
    // or let go by the answer). False when it stays:
    // it is being recorded (refused with a message), or the user chose to
    // save and the file was not written (the failure is shown), or the user
    // chose to save and then chose no file.
    bool FreeDataset(TALDLLog* dataset);
    // Frees every dataset, first remaining first, asking about unsaved data
    // (the way out of the program). A recording still running is stopped
    // first through Hooks.StopTalking, so it is finished and asked about too.
    // Stops at the first dataset that stays (false); true when none remains.
    bool FreeAll();
    // Removes dataset without any question (a dataset whose file failed to
    // load, or a recording that got no rows), and its journal with it.
    // Refused (false) for the dataset being recorded while logging.
    bool RemoveDataset(TALDLLog* dataset);

    // ---- the selection ----

    // The names of the datasets in collection order ("Dataset 0", a file name).
    const std::vector<std::string>& datasetNames() const { return names_; }
    // The selected dataset's position, -1 none.
    int selectedIndex() const { return selected_; }
    // The selected dataset's name; "No data" while none is open, empty while
    // datasets are open but none is selected.
    const std::string& selectionText() const { return selectionText_; }
    // Selects the dataset at index (nothing happens outside the list).
    void selectDataset(int index);
    void selectDataset(const TALDLLog* dataset) { selectDataset(IndexOf(dataset)); }
    // The user chose the dataset at index: select it and show its row 1.
    // With no choice (index outside the list) row 1 of the current dataset
    // shows, which selects the first when none is selected.
    void chooseDataset(int index);

    // nullptr when no dataset exists; selects the first when none is selected.
    TALDLLog* CurrentDataset();
    // Index of the current dataset's first curve among curveCount curves
    // grouped dataset by dataset; 0 when no dataset exists.
    int CurrentCurve(int curveCount);

    // ---- the recording (set by the acquisition cycle) ----

    // The dataset being recorded while logging, nullptr otherwise. It can be
    // neither saved, closed nor removed, and no file is opened meanwhile.
    void setRecording(TALDLLog* dataset) { recording_ = dataset; }
    TALDLLog* recording() const { return recording_; }

    // The end of every recording (the acquisition cycle's "Stop logging"):
    // with rows, trims the dataset to rowCount rows, derives its channels,
    // selects it and marks it unsaved, and returns true; with no rows frees
    // it and returns false. The caller then shows the last row (or row 1) and
    // sets up the graph's curves. Refused (false, nothing changed) for the
    // dataset still being recorded.
    bool FinishRecording(TALDLLog& dataset, uint32_t rowCount);

    // ---- file commands ----

    // Finishes a freshly loaded dataset: the overlay and close questions
    // (asked when askOverlay is set), selection, sizing, derivation.
    void Open(TALDLLog& dataset, bool askOverlay = true);
    // Writes dataset to fileName, which becomes its own file, and its
    // bookmarks beside it (FILE.ecu.bookmarks; a bookmarks file an earlier
    // log of that name left is removed when it has none), sets Saved and
    // removes its journal, unless it has no rows or it is the dataset being
    // recorded (any other can be saved while logging). Another open dataset
    // whose file that was has lost its rows' only copy on disk: it keeps no
    // file and counts as unsaved. Throws FileError when the log or its
    // bookmarks cannot be written: the dataset counts as unsaved and keeps
    // its own file and its journal (a log written before its bookmarks
    // failed stays on disk, and the next save writes both again).
    void Save(TALDLLog& dataset, const std::string& fileName);
    // Opens the files in order. On a failure the dataset being loaded is
    // dropped, later files are skipped, the error is shown (caption "Error")
    // and false is returned.
    bool openLogs(const std::vector<std::string>& fileNames,
                  std::shared_ptr<const TParameterArray> parameters);
    // The Save command: the current dataset to its own file, or through
    // Save As when it has none. False when a save failed (shown). While
    // logging, and for a dataset without rows, nothing happens.
    bool saveDataset();
    // Save As confirmed with fileName: the current dataset is written there
    // and keeps it as its own file. False when the save failed (shown); the
    // dataset's file is then as it was. Nothing happens while logging.
    bool saveDatasetAs(const std::string& fileName);
    // Frees the current dataset (asking about unsaved data).
    void closeDataset();

    // The last file name chosen in Save As (any dataset's), to seed the
    // dialog; Save does not use it.
    std::string LogFileName;
    VehicleConstants Vehicle = DefaultVehicleConstants();
    TLogCollectionHooks Hooks;

private:
    friend class TALDLLog;
    void removeAt(int index);
    // Asks for a file for dataset, then saves; false when the save failed.
    bool runSaveAs(TALDLLog& dataset);
    // Saves and shows a failure; false when it failed.
    bool saveShowingErrors(TALDLLog& dataset, const std::string& fileName);

    std::vector<std::unique_ptr<TLogItem>> items_;
    std::vector<std::string> names_;
    int selected_ = -1;
    std::string selectionText_ = "No data";
    TALDLLog* recording_ = nullptr;
};

} // namespace quillmar
