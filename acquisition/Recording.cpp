// Talking and logging: starting and stopping them, and the journal that a
// recording keeps on disk until it is saved.

#include "acquisition/Acquisition.h"

#include "store/Journal.h"
#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <algorithm>
#include <cmath>

namespace quillmar {

// ---- the journal ------------------------------------------------------------

void Acquisition::startJournal() {
    journalFailureShown_ = false;
    if (testMode_ || journalFolder_.empty() || !CurrentLog) return;
    try {
        CurrentLog->AttachJournal(TJournal::Create(journalFolder_, *Parameters, LogStartTime));
    } catch (const FileError& e) {
        ErrorLog.push_back(std::string("Warning: this recording keeps no journal: ") + e.what());
        reportNewErrorLines();
    }
}

// The journal is written at most about a second (the waits' journal age)
// after its oldest row came: synced once that row has waited that long less
// one acquisition period.
void Acquisition::syncJournal(bool now) {
    TJournal* journal = logging() && CurrentLog ? CurrentLog->Journal() : nullptr;
    if (!journal) return;
    const double maxAge = waits_.JournalSyncSeconds - static_cast<double>(acqInterval_) / 1000.0;
    const bool ok = now ? journal->Sync() : journal->SyncIfDue(nowSeconds(), maxAge);
    if (!ok && !journalFailureShown_) {
        journalFailureShown_ = true;
        ErrorLog.push_back("Warning: " + journal->Failure() + "; the recording goes on without it");
        reportNewErrorLines();
    }
}

// ---- talking and logging ----------------------------------------------------------

bool Acquisition::startTalking() {
    if (promDumpRunning()) {
        showMessage("Error", "A PROM dump is in progress. Wait until it has finished before "
                             "starting to talk.");
        return false;
    }
    if (!created_) return false;
    if (talking()) return true;
    if (checkedModeItem_ >= 0 && checkedModeItem_ <= 5) MessageNumber = checkedModeItem_ - 1;
    // A device still missing is tried again at the first tick.
    if (linkLost_) nextReconnect_ = nowSeconds();
    restartSilence();
    DecodePosition = 0;
    if (live_) live_->reset();
    startAcquisitionTimer();
    startRedrawTimer();
    listener_->linkActivity(true);
    if (enableDials_) listener_->dialsWanted(true);
    return transition(talkingState());
}

void Acquisition::stopTalking() {
    if (!talking()) return;
    if (logging()) stopLogging();
    stopTimers();
    endSilence();
    reportRepeats(true);
    listener_->linkActivity(false);
    showLastRowOrFirst();
    if (enableDials_) listener_->dialsWanted(false);
    transition(AcquisitionState::Idle);
}

void Acquisition::showLastRowOrFirst() {
    uint32_t row = 1;
    if (collection_.Count() > 0) {
        if (TALDLLog* log = collection_.CurrentDataset()) row = std::max<uint32_t>(log->Rows, 1);
    }
    listener_->showRow(row);
}

bool Acquisition::startLogging() {
    if (logging()) return false;
    if (promDumpRunning()) {
        showMessage("Error", "A PROM dump is in progress. Wait until it has finished before "
                             "starting to log.");
        return false;
    }
    if (!talking() && !startTalking()) return false;
    LogStartTime = 0;
    listener_->setupCurves();
    CurrentLog = &collection_.NewDataset(Parameters);
    RowCounter = 0;
    if (live_) live_->reset();
    startRedrawTimer();
    LogStartTime = clock_();
    CurrentLog->StartTime = LogStartTime;
    startJournal();
    startAcquisitionTimer();
    collection_.setRecording(CurrentLog);
    recording_ = true;
    settleState(true);
    if (state() != talkingState()) {
        // Nothing refuses it from a talking state; should it, the dataset
        // and its journal go again.
        recording_ = false;
        collection_.setRecording(nullptr);
        collection_.RemoveDataset(CurrentLog);
        CurrentLog = nullptr;
        return false;
    }
    return true;
}

void Acquisition::stopLogging() {
    if (!logging()) return;
    // Every row on disk until the dataset is saved.
    syncJournal(true);
    collection_.setRecording(nullptr);
    TALDLLog* log = CurrentLog;
    // Trim to the rows recorded, derive, select and mark unsaved, or, with
    // nothing recorded, let the empty dataset go again.
    if (log && collection_.FinishRecording(*log, static_cast<uint32_t>(std::max<int32_t>(RowCounter, 0)))) {
        if (!log->Warnings().empty()) listener_->datasetWarnings(log->Warnings());
        listener_->showRow(static_cast<uint32_t>(RowCounter));
    } else if (log) {
        listener_->showRow(1);
    }
    CurrentLog = nullptr;
    // Talking goes on: its Time counts from the next reply.
    if (live_) live_->reset();
    listener_->setupCurves();
    recording_ = false;
    settleState(true);
}

// ---- bookmarks ------------------------------------------------------------------

std::optional<double> Acquisition::recordingSeconds() const {
    if (!logging() || !CurrentLog) return std::nullopt;
    // As the rows' time stamps are taken.
    return static_cast<double>(
        std::fabs(static_cast<long double>(clock_()) - static_cast<long double>(LogStartTime)) * 86400.0L);
}

std::optional<Bookmark> Acquisition::addBookmark(const std::string& note, std::optional<double> at) {
    const std::optional<double> now = recordingSeconds();
    if (!now) return std::nullopt;
    // A time taken earlier in this recording, never one after now.
    const double time = at && std::isfinite(*at) ? std::clamp(*at, 0.0, *now) : *now;
    try {
        return CurrentLog->AddBookmark(time, note);
    } catch (const FileError& e) {
        ErrorLog.push_back(std::string("Warning: the journal keeps no bookmarks: ") + e.what());
        reportNewErrorLines();
        return CurrentLog->Bookmarks.back();
    }
}

} // namespace quillmar
