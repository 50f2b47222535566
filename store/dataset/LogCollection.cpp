#include "store/dataset/LogCollection.h"

#include "store/base/Messages.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace quillmar {

std::string FileNameOnly(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StartTimeFileName(double days) {
    if (!(days > 0)) return {};
    // 25569 days lie between 1899-12-30 and 1970-01-01.
    const long double seconds = (static_cast<long double>(days) - 25569.0L) * 86400.0L;
    if (!std::isfinite(static_cast<double>(seconds)) || std::fabs(static_cast<double>(seconds)) > 1e12)
        return {};
    const time_t t = static_cast<time_t>(std::floor(static_cast<double>(seconds)));
    tm local{};
    if (!::localtime_r(&t, &local)) return {};
    char name[40];
    if (std::strftime(name, sizeof name, "%Y-%m-%d_%H%M.ecu", &local) == 0) return {};
    return name;
}

std::string SuggestedFileName(const TALDLLog& dataset) {
    if (!dataset.FileName.empty()) return dataset.FileName;
    std::string name = StartTimeFileName(dataset.StartTime);
    if (name.empty()) name = dataset.DatasetName() + ".ecu";
    return name;
}

namespace {

// Whether two names lead to the same file (an existing one, through links),
// or, when one does not exist, to the same path.
bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
    if (ec) return a == b;
    const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    if (ec) return a == b;
    return pa == pb;
}

} // namespace

void LoadLogFile(TALDLLog& log, const std::string& fileName) {
    log.LoadFromFile(fileName);
    if (log.Columns != LogColumns || log.RecordSize != 1)
        throw FileError(fileName + " is not a log file: its rows have " + std::to_string(log.Columns) +
                            " columns of " + std::to_string(log.RecordSize) + "-byte elements, not " +
                            std::to_string(LogColumns) + " of 1 byte.",
                        fileName);
    // The store's warning already names the file.
    if (!log.LoadWarning.empty()) log.AddLoadWarning(log.LoadWarning);
}

void LoadBookmarksBeside(TALDLLog& log, const std::string& fileName) {
    log.Bookmarks.clear();
    try {
        std::optional<BookmarkRead> read = ReadBookmarks(BookmarksFileName(fileName));
        if (!read) return;
        for (std::string& warning : read->Warnings)
            log.AddLoadWarning(std::move(warning));
        log.Bookmarks = std::move(read->Bookmarks);
    } catch (const FileError& e) {
        log.AddLoadWarning(e.what());
    }
}

OpenedLog OpenLogFile(const std::string& fileName, std::shared_ptr<const TParameterArray> parameters,
                      const VehicleConstants& vehicle) {
    OpenedLog result;
    result.Log = std::make_unique<TALDLLog>(std::move(parameters));
    TALDLLog& log = *result.Log;
    LoadLogFile(log, fileName);
    LoadBookmarksBeside(log, fileName);
    log.Saved = true;
    log.FileName = fileName;
    log.SetDatasetName(FileNameOnly(fileName));
    if (log.RecordCount == 0) {
        log.AddLoadWarning("File " + fileName + " holds no rows");
    } else {
        log.SetRows(log.Rows);
        log.DeriveChannels(vehicle);
        log.Saved = true;
    }
    result.Warnings = log.Warnings();
    return result;
}

TLogCollection::TLogCollection() = default;

TLogCollection::~TLogCollection() {
    // Last first, so no entry ever moves while the others go.
    while (!items_.empty())
        removeAt(int(items_.size()) - 1);
}

TALDLLog& TLogCollection::NewDataset(std::shared_ptr<const TParameterArray> parameters) {
    auto log = std::make_unique<TALDLLog>(std::move(parameters));
    TALDLLog& ref = *log;
    char name[32];
    std::snprintf(name, sizeof name, "Dataset %u", unsigned(items_.size()));
    items_.push_back(std::make_unique<TLogItem>(std::move(log)));
    ref.LogItem = items_.back().get();
    ref.collection_ = this;
    names_.emplace_back(name);
    return ref;
}

TALDLLog* TLogCollection::ReadLog(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return items_[size_t(index)]->Dataset();
}

int TLogCollection::IndexOf(const TALDLLog* dataset) const {
    if (!dataset) return -1;
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->Dataset() == dataset) return int(i);
    return -1;
}

void TLogCollection::removeAt(int index) {
    auto item = std::move(items_[size_t(index)]);
    items_.erase(items_.begin() + index);
    names_.erase(names_.begin() + index);
    if (selected_ == index) {
        selected_ = -1;
        selectionText_.clear();
    } else if (selected_ > index) {
        --selected_;
    }
    if (names_.empty()) selectionText_ = "No data";
    TALDLLog* log = item->Dataset();
    if (log == recording_) recording_ = nullptr;
    log->LogItem = nullptr;
    log->collection_ = nullptr;
    // item goes out of scope here and frees the dataset.
}

bool TLogCollection::RemoveDataset(TALDLLog* dataset) {
    const int index = IndexOf(dataset);
    if (index < 0 || dataset == recording_) return false;
    dataset->RemoveJournal();
    removeAt(index);
    return true;
}

bool TLogCollection::FreeDataset(TALDLLog* dataset) {
    const int index = IndexOf(dataset);
    if (index < 0) return false;
    if (dataset == recording_) {
        showMessage("Error", dataset->DatasetName() + " is being recorded. Stop logging before closing it.");
        return false;
    }
    if (!dataset->Saved && dataset->RecordCount > 0 &&
        askYesNo("Warning", dataset->DatasetName() + " not saved. Save now?")) {
        std::optional<std::string> file;
        if (Hooks.ChooseSaveFile) file = Hooks.ChooseSaveFile(*dataset);
        // The user asked to save: declining to choose a file keeps the dataset open
        // rather than throwing the recording away.
        if (!file || file->empty()) return false;
        LogFileName = *file;
        if (!saveShowingErrors(*dataset, LogFileName)) return false;
        // Never free data the user asked to save but that was not written.
        if (!dataset->Saved) {
            showMessage("Error",
                        dataset->DatasetName() + " was not saved to " + LogFileName + "; it stays open.");
            return false;
        }
    }
    // Saved, or let go by the user's own answer: its journal goes too.
    dataset->RemoveJournal();
    removeAt(IndexOf(dataset));
    return true;
}

bool TLogCollection::FreeAll() {
    // A recording runs to its end first, so that it is asked about like the others.
    if (recording_ && Hooks.StopTalking) Hooks.StopTalking();
    // A dataset that stays (its save failed or was cancelled) ends the round:
    // the program is not left, so the others need no question yet.
    while (TALDLLog* log = ReadLog(0))
        if (!FreeDataset(log)) return false;
    return true;
}

void TLogCollection::selectDataset(int index) {
    if (index < 0 || index >= Count()) return;
    selected_ = index;
    selectionText_ = names_[size_t(index)];
}

void TLogCollection::chooseDataset(int index) {
    // No choice: the current dataset shows, and with none selected that is
    // the first.
    if (index >= 0 && index < Count())
        selectDataset(index);
    else
        CurrentDataset();
    if (Hooks.ShowRow) Hooks.ShowRow(1);
}

TALDLLog* TLogCollection::CurrentDataset() {
    if (items_.empty()) return nullptr;
    if (selected_ < 0 || selected_ >= Count()) selectDataset(0);
    return ReadLog(selected_);
}

int TLogCollection::CurrentCurve(int curveCount) {
    if (items_.empty() || curveCount <= 0) return 0;
    CurrentDataset();
    return (curveCount / Count()) * selected_;
}

bool TLogCollection::FinishRecording(TALDLLog& dataset, uint32_t rowCount) {
    if (IndexOf(&dataset) < 0) return false;
    if (&dataset == recording_) return false;
    if (rowCount == 0) {
        RemoveDataset(&dataset);
        return false;
    }
    dataset.SetRows(rowCount);
    dataset.DeriveChannels(Vehicle);
    selectDataset(&dataset);
    dataset.Saved = false;
    return true;
}

void TLogCollection::Open(TALDLLog& dataset, bool askOverlay) {
    if (recording_ || dataset.RecordCount == 0) return;
    if (Count() > 1 && askOverlay && !askYesNo("Query", "Overlay data?") &&
        askYesNo("Query", "Close current dataset?")) {
        // The dataset selected before this one, or the first.
        TALDLLog* current = CurrentDataset();
        if (current && current != &dataset) FreeDataset(current);
    }
    if (Hooks.OverlayChanged) Hooks.OverlayChanged(Count() > 1);
    selectDataset(&dataset);
    dataset.SetRows(dataset.Rows);
    dataset.DeriveChannels(Vehicle);
    dataset.Saved = true;
    if (Hooks.DatasetsChanged) Hooks.DatasetsChanged();
    if (Hooks.ShowRow) {
        TALDLLog* current = CurrentDataset();
        Hooks.ShowRow(current ? current->Rows : 1);
    }
}

void TLogCollection::Save(TALDLLog& dataset, const std::string& fileName) {
    // Only the dataset being recorded waits for the end of the recording.
    if (&dataset == recording_ || dataset.Rows == 0 || dataset.RecordCount == 0) return;
    dataset.SaveToFile(fileName);
    // A dataset that came from this file, or was saved to it, no longer has
    // its rows there: its next Save asks for a file, and leaving asks first.
    for (const auto& item : items_) {
        TALDLLog* other = item->Dataset();
        if (other == &dataset || other->FileName.empty() || !sameFile(other->FileName, fileName)) continue;
        other->FileName.clear();
        if (other->RecordCount > 0) other->Saved = false;
    }
    // Not saved until its bookmarks are too.
    dataset.Saved = false;
    SaveBookmarksBeside(fileName, dataset.Bookmarks);
    dataset.Saved = true;
    // The rows are safe in the file now; a failed save keeps the journal.
    dataset.RemoveJournal();
    dataset.FileName = fileName;
}

bool TLogCollection::saveShowingErrors(TALDLLog& dataset, const std::string& fileName) {
    try {
        Save(dataset, fileName);
        return true;
    } catch (const std::exception& e) {
        showMessage("Error", e.what());
        return false;
    }
}

bool TLogCollection::openLogs(const std::vector<std::string>& fileNames,
                              std::shared_ptr<const TParameterArray> parameters) {
    if (recording_) return true;
    if (Hooks.Talking && Hooks.Talking() && Hooks.StopTalking) Hooks.StopTalking();
    for (size_t f = 0; f < fileNames.size(); ++f) {
        const std::string& fileName = fileNames[f];
        TALDLLog& log = NewDataset(parameters);
        try {
            LoadLogFile(log, fileName);
            LoadBookmarksBeside(log, fileName);
            log.Saved = true;
            log.FileName = fileName;
            log.SetDatasetName(FileNameOnly(fileName));
            for (const std::string& w : log.LoadWarnings())
                showMessage("Warning", w);
            // Asked once per selection: for its first file only.
            Open(log, f == 0);
            for (const std::string& w : log.DeriveWarnings())
                showMessage("Warning", w);
        } catch (const std::exception& e) {
            RemoveDataset(&log);
            showMessage("Error", e.what());
            return false;
        }
    }
    return true;
}

bool TLogCollection::runSaveAs(TALDLLog& dataset) {
    if (!Hooks.ChooseSaveFile) return true;
    const std::optional<std::string> file = Hooks.ChooseSaveFile(dataset);
    // No file chosen: the dataset keeps the file it had (none).
    if (!file || file->empty()) return true;
    LogFileName = *file;
    return saveShowingErrors(dataset, *file);
}

bool TLogCollection::saveDatasetAs(const std::string& fileName) {
    // Saving waits for the end of the recording.
    if (recording_ || fileName.empty()) return true;
    LogFileName = fileName;
    TALDLLog* current = CurrentDataset();
    if (!current) return true;
    return saveShowingErrors(*current, fileName);
}

bool TLogCollection::saveDataset() {
    if (recording_) return true;
    TALDLLog* current = CurrentDataset();
    // Nothing to write: no dialog either.
    if (!current || current->Rows == 0 || current->RecordCount == 0) return true;
    // Each dataset to its own file; one without a file asks for one.
    if (current->FileName.empty()) return runSaveAs(*current);
    return saveShowingErrors(*current, current->FileName);
}

void TLogCollection::closeDataset() {
    if (items_.empty()) return;
    if (!FreeDataset(CurrentDataset())) return;
    if (names_.empty()) selectionText_ = "No data";
    if (Hooks.DatasetsChanged) Hooks.DatasetsChanged();
    if (Hooks.ShowRow) Hooks.ShowRow(1);
}

} // namespace quillmar
