#include "acquisition/Acquisition.h"

#include "acquisition/params/ProtocolFile.h"
#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/base/Messages.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>

namespace quillmar {

namespace {

// The error log keeps this many of its newest lines at every update tick.
constexpr size_t ErrorLogLimit = 100;

// Seconds between tries to open a device that went away: the first, the
// second and the third wait, then every later one.
constexpr double ReconnectDelays[] = {1, 2, 5, 10};

// A QTimer interval is an int; longer periods run at the longest it can do.
int qtimerInterval(uint32_t ms) {
    return static_cast<int>(std::min<uint32_t>(ms, static_cast<uint32_t>(INT_MAX)));
}

} // namespace

double SystemClockDays() {
    using namespace std::chrono;
    // The system's date and time when first asked, then advanced by the
    // monotonic clock: setting the clock (or a time-server step) while
    // logging must not make time stamps jump or run backwards.
    static const auto anchorSystem = system_clock::now();
    static const auto anchorSteady = steady_clock::now();
    const auto us = duration_cast<microseconds>(anchorSystem.time_since_epoch()).count() +
                    duration_cast<microseconds>(steady_clock::now() - anchorSteady).count();
    // 25569 days lie between 1899-12-30 and 1970-01-01.
    return static_cast<double>(25569.0L + static_cast<long double>(us) / 86400000000.0L);
}

std::optional<int64_t> ParsePeriodText(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    if (b == e) return std::nullopt;
    bool negative = false;
    if (text[b] == '+' || text[b] == '-') {
        negative = text[b] == '-';
        ++b;
    }
    if (b == e) return std::nullopt;
    // Accumulate as a negative number so that INT64_MIN parses too.
    int64_t v = 0;
    for (size_t i = b; i < e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        const int d = c - '0';
        if (v < (std::numeric_limits<int64_t>::min() + d) / 10) return std::nullopt;
        v = v * 10 - d;
    }
    if (!negative) {
        if (v == std::numeric_limits<int64_t>::min()) return std::nullopt;
        v = -v;
    }
    return v;
}

Acquisition::Acquisition(TLogCollection& collection)
    : collection_(collection), Parameters(std::make_shared<TParameterArray>()),
      journalFolder_(DefaultJournalFolder()) {
    clock_ = SystemClockDays;
    acquisitionQTimer_.setInterval(qtimerInterval(acqInterval_));
    redrawQTimer_.setInterval(qtimerInterval(redrawInterval_));
    // Nothing may be thrown through the event loop: a tick that fails in an
    // unforeseen way (out of memory) says so in the error log, and the next
    // tick tries again.
    QObject::connect(&acquisitionQTimer_, &QTimer::timeout,
                     [this] { guarded([this] { AcquisitionTimer(); }); });
    QObject::connect(&redrawQTimer_, &QTimer::timeout, [this] { guarded([this] { RedrawTimer(); }); });
    // Opening log files asks whether we are talking and stops us first.
    collection_.Hooks.Talking = [this] { return acquisitionOn_; };
    collection_.Hooks.StopTalking = [this] { StopTalkingActionExecute(); };
}

Acquisition::~Acquisition() {
    // The listener may already be gone; say nothing more while shutting down.
    listener_ = &defaultListener_;
    FormDestroy();
    collection_.Hooks.Talking = nullptr;
    collection_.Hooks.StopTalking = nullptr;
}

void Acquisition::guarded(const std::function<void()>& tick) {
    try {
        tick();
    } catch (const std::bad_alloc&) {
        ErrorLog.emplace_back("Out of memory: tick skipped");
        reportNewErrorLines();
    } catch (const std::exception& e) {
        ErrorLog.push_back(std::string("Unexpected error: ") + e.what());
        reportNewErrorLines();
    }
}

void Acquisition::setListener(AcquisitionListener* listener) {
    listener_ = listener ? listener : &defaultListener_;
}

void Acquisition::setClock(std::function<double()> clock) {
    clock_ = clock ? std::move(clock) : std::function<double()>(SystemClockDays);
}

AcquisitionState Acquisition::state() const {
    if (Logging) return AcquisitionState::Logging;
    return acquisitionOn_ ? AcquisitionState::Talking : AcquisitionState::Idle;
}

// ---- start-up and shutdown ----------------------------------------------

bool Acquisition::FormCreate(const AcquisitionSetup& setup) {
    created_ = false;
    iniPath_ = setup.IniPath.empty() ? DefaultIniPath() : setup.IniPath;

    // 1, 2. The table, given or from the protocol file (written from the
    //    built-in table when there is none), then the check: the sizes must
    //    add up to the reply length and every entry must lie within the
    //    reply. Nothing runs with a broken table.
    TParameterArray table;
    TableCheck check;
    if (setup.Table) {
        table = *setup.Table;
        check = CheckParameterTable(table, iniPath_);
    } else {
        LoadResult loaded;
        check = LoadCheckedParameters(iniPath_, table, nullptr, MissingTable::WriteBuiltIn, &loaded);
        // Values that did not convert, lines read past, a file that could not
        // be written: warnings, not failures.
        for (const std::string& warning : loaded.Warnings)
            ErrorLog.push_back("Warning: " + warning);
        if (!loaded.WriteError.empty()) ErrorLog.push_back("Warning: " + loaded.WriteError);
        reportNewErrorLines();
    }
    if (!check.Ok) {
        showMessage(check.Caption.empty() ? "error" : check.Caption, check.Message);
        return false;
    }
    FillBitNames(table);
    // A fresh array: datasets made earlier keep the table they were made with.
    Parameters = std::make_shared<TParameterArray>(std::move(table));

    // 3. The link, writing its failures into our error log.
    Comms = std::make_unique<TALDLComms>();
    Comms->ErrorLog = &ErrorLog;
    if (!setup.Port.empty()) reconnect(setup.Port);

    // 4. Idle.
    Logging = false;

    // 5, 6. Names and the six positions.
    ParameterNames = MakeParameterNames(*Parameters);
    Indices = FindParameterIndices(ParameterNames);
    DecodePosition = 0;
    live_ = std::make_unique<TLiveDerivation>(Parameters);
    liveEntries_.clear();
    for (size_t i = 0; i < Parameters->size(); ++i) {
        const TParameter& p = (*Parameters)[i];
        const int slot = p.Size == 0 ? DerivedSlot(p.Name) : -1;
        if (slot >= 0) liveEntries_.emplace_back(static_cast<int>(i), slot);
    }
    created_ = true;
    return true;
}

void Acquisition::FormDestroy() {
    // A dump running below us (we were called from its event processing)
    // stops at its next address; it checks for the link before every use.
    if (promRunning_) promCancel_ = true;
    if (acquisitionOn_) StopTalkingActionExecute();
    stopTimers();
    if (Comms) {
        Comms->ClosePort();
        Comms.reset();
    }
}

bool Acquisition::reconnect(const std::string& port) {
    if (!Comms) {
        Comms = std::make_unique<TALDLComms>();
        Comms->ErrorLog = &ErrorLog;
    }
    Comms->ClosePort();
    port_ = port;
    const bool ok = Comms->ConnectPort(port);
    connectError_ = ok ? std::string() : Comms->LastErrorText;
    if (!ok && connectError_.empty()) connectError_ = "Cannot open " + port;
    // The user chose a port: a device lost before is no longer waited for.
    if (linkLost_) {
        linkLost_ = false;
        listener_->linkStateChanged(ok,
                                    ok ? "Comm port " + Comms->DevicePath() + " connected" : connectError_);
    }
    return ok;
}

// ---- a device that goes away ------------------------------------------------

double Acquisition::nowSeconds() const {
    return static_cast<double>(static_cast<long double>(clock_()) * 86400.0L);
}

double Acquisition::nextReconnectIn() const {
    return linkLost_ ? std::max(0.0, nextReconnect_ - nowSeconds()) : 0.0;
}

// After a failed transaction: did the device itself go away (hung up,
// failing as a removed device does, or its node gone)?
bool Acquisition::lineGone() const {
    if (!Comms) return false;
    if (Comms->LineLost()) return true;
    struct stat st {};
    const std::string& device = Comms->DevicePath();
    return !device.empty() && ::stat(device.c_str(), &st) != 0 &&
           (errno == ENOENT || errno == ENOTDIR || errno == ENXIO || errno == ENODEV);
}

std::string Acquisition::lostLinkReason() const {
    const uint32_t code = Comms ? Comms->LastError() : 0;
    return Comms && Comms->LineLost() && code != 0 ? std::system_category().message(static_cast<int>(code))
                                                   : std::string("the device is gone");
}

void Acquisition::loseLink(const std::string& reason) {
    lostDevice_ = Comms->DevicePath().empty() ? port_ : Comms->DevicePath();
    Comms->ClosePort();
    linkLost_ = true;
    reconnectAttempts_ = 0;
    lostAt_ = nowSeconds();
    nextReconnect_ = lostAt_ + ReconnectDelays[0];
    const std::string text = "Comm port " + lostDevice_ + " disconnected, retrying (" + reason + ")";
    ErrorLog.push_back(text);
    reportNewErrorLines();
    listener_->linkStateChanged(false, text);
}

void Acquisition::retryLink() {
    // A millisecond early counts as on time: ticks and clocks round.
    const double now = nowSeconds();
    if (now < nextReconnect_ - 0.001) return;
    ++reconnectAttempts_;
    // Quietly: a device still missing writes nothing into the error log.
    if (!Comms->ConnectPort(port_)) {
        const size_t step =
            std::min<size_t>(static_cast<size_t>(reconnectAttempts_), std::size(ReconnectDelays) - 1);
        nextReconnect_ = now + ReconnectDelays[step];
        return;
    }
    linkLost_ = false;
    connectError_.clear();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", std::max(0.0, now - lostAt_));
    const std::string text = "Comm port " + lostDevice_ + " connected again after " + seconds + " s";
    ErrorLog.push_back(text);
    reportNewErrorLines();
    listener_->linkStateChanged(true, text);
}

bool Acquisition::reopenLostLink() {
    if (!Comms) return false;
    if (!linkLost_) return Comms->IsOpen();
    nextReconnect_ = nowSeconds();
    retryLink();
    return !linkLost_;
}

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

// The journal is written at most about a second after its oldest row came:
// synced once that row has waited a second less one acquisition period.
void Acquisition::syncJournal(bool now) {
    TJournal* journal = Logging && CurrentLog ? CurrentLog->Journal() : nullptr;
    if (!journal) return;
    const double maxAge = 1.0 - static_cast<double>(acqInterval_) / 1000.0;
    const bool ok = now ? journal->Sync() : journal->SyncIfDue(nowSeconds(), maxAge);
    if (!ok && !journalFailureShown_) {
        journalFailureShown_ = true;
        ErrorLog.push_back("Warning: " + journal->Failure() + "; the recording goes on without it");
        reportNewErrorLines();
    }
}

// ---- the tick -------------------------------------------------------------

int64_t Acquisition::decodeSteps() const {
    const int64_t count = static_cast<int64_t>(Parameters->size());
    if (count == 0) return 2;
    const int64_t redraw = std::max<int64_t>(redrawInterval_, 1);
    return (count - 1) * static_cast<int64_t>(acqInterval_) / redraw + 2;
}

int64_t Acquisition::roundRobinSteps() const {
    // A short acquisition period or a long update period truncates the
    // share to nothing; one step a tick still refreshes every value in turn.
    return std::max<int64_t>(decodeSteps() - 2, 1);
}

void Acquisition::decodeStep(int index, const uint8_t* data, size_t length) {
    if (index < 0 || index >= static_cast<int>(Parameters->size())) return;
    if (index == Indices.TimeIndex - 1) return;
    if ((*Parameters)[static_cast<size_t>(index)].Size == 0) return;
    DecodeParameter(*Parameters, index, data, length);
}

void Acquisition::AcquisitionTimer() {
    acquisitionTick();
    syncJournal(false);
}

void Acquisition::acquisitionTick() {
    // 1. The reply bytes.
    TBytes reply;
    if (testMode_) {
        std::uniform_int_distribution<int> byte(0, 254);
        reply.resize(static_cast<size_t>(ReplyLength));
        for (auto& c : reply)
            c = static_cast<uint8_t>(byte(random_));
    } else if (linkLost_ && Comms) {
        // Gone: one line said so; now and then try to open it again.
        retryLink();
        return;
    } else if (!Comms || !Comms->IsOpen()) {
        ErrorLog.emplace_back("Comm port inactive");
        reportNewErrorLines();
        return;
    } else {
        const size_t linesBefore = ErrorLog.size();
        bool ok;
        if (MessageNumber == -1) {
            ok = Comms->Request(1, reply);
        } else {
            const TBytes data{static_cast<uint8_t>(MessageNumber)};
            ok = Comms->Transact(1, data, reply);
        }
        // The device went away: one line for the loss instead of the
        // transaction's own.
        if (!ok && lineGone()) {
            ErrorLog.resize(linesBefore);
            loseLink(lostLinkReason());
            return;
        }
        // A failed write leaves no line of the link's own; say so, or an
        // unplugged adapter would go unnoticed.
        if (!ok && ErrorLog.size() == linesBefore) ErrorLog.push_back(writeFailureLine());
        reportNewErrorLines();
        if (!ok) return;
        // Dropped without a line in the error log, but counted.
        if (reply.size() != static_cast<size_t>(ReplyLength)) {
            ++wrongLengthReplies_;
            return;
        }
    }
    const uint8_t* data = reply.data();
    const size_t length = reply.size();

    // 2. The row of the dataset being logged.
    const bool recorded = Logging && CurrentLog;
    double rowTime = 0;
    if (recorded) {
        ++RowCounter;
        const uint32_t row = static_cast<uint32_t>(RowCounter);
        if (row > CurrentLog->Rows) CurrentLog->SetRows(CurrentLog->Rows + 100);
        if (row > CurrentLog->Rows) {
            // The dataset could not grow (out of memory): keep what is
            // recorded, drop this reply, and say so.
            --RowCounter;
            ErrorLog.push_back("Dataset full: reply not recorded");
            reportNewErrorLines();
            return;
        }
        const long double elapsed =
            std::fabs(static_cast<long double>(clock_()) - static_cast<long double>(LogStartTime)) * 86400.0L;
        const double t = static_cast<double>(elapsed);
        rowTime = t;
        CurrentLog->WriteRow(row, data, t);
        if (TJournal* journal = CurrentLog->Journal()) journal->Append(CurrentLog->RowData(row));
        if (Indices.TimeIndex >= 1 && Indices.TimeIndex <= static_cast<int>(Parameters->size()))
            (*Parameters)[static_cast<size_t>(Indices.TimeIndex - 1)].Value = t;
    }

    // 3. Manifold pressure and engine speed every tick, then a share of the
    //    table in round-robin order. Decoding an entry twice from the same
    //    reply changes nothing, so at most one pass over the table is done;
    //    the position still moves as far as the full count says.
    decodeStep(Indices.MapIndex - 1, data, length);
    decodeStep(Indices.EngineSpeedIndex - 1, data, length);
    const int64_t count = static_cast<int64_t>(Parameters->size());
    if (count > 0) {
        const int64_t steps = roundRobinSteps();
        const int64_t work = std::min(steps, count);
        int64_t position = DecodePosition % count;
        for (int64_t k = 0; k < work; ++k) {
            decodeStep(static_cast<int>(position), data, length);
            if (++position == count) position = 0;
        }
        DecodePosition = static_cast<int32_t>((DecodePosition % count + steps % count) % count);
    }

    deriveLive(data, recorded, rowTime);

    // 4. The dials.
    if (enableDials_) {
        auto valueAt = [this](int32_t index) -> double {
            if (index < 1 || index > static_cast<int32_t>(Parameters->size())) return 0;
            return (*Parameters)[static_cast<size_t>(index - 1)].Value;
        };
        listener_->dialsChanged(static_cast<float>(valueAt(Indices.MapIndex) * 100.0),
                                static_cast<float>(valueAt(Indices.EngineSpeedIndex)));
    }

    // Last, so that the listener may stop logging from here.
    if (recorded) listener_->rowRecorded(static_cast<uint32_t>(RowCounter));
}

// The derived entries of the table get the values of the rows so far, and
// so does the row just recorded (the finished recording's derivation
// replaces them).
void Acquisition::deriveLive(const uint8_t* data, bool recorded, double rowTime) {
    if (!live_) return;
    if (!recorded && live_->rows() == 0) liveStart_ = nowSeconds();
    const double t = recorded ? rowTime : nowSeconds() - liveStart_;
    const DerivedValues& values = live_->addRow(data, t);
    for (const auto& [index, slot] : liveEntries_)
        (*Parameters)[static_cast<size_t>(index)].Value = values[static_cast<size_t>(slot)];
    if (recorded) {
        const uint32_t row = static_cast<uint32_t>(RowCounter);
        for (size_t slot = 0; slot < values.size(); ++slot)
            if (row < CurrentLog->Derived[slot].size()) CurrentLog->Derived[slot][row] = values[slot];
    }
}

std::string Acquisition::writeFailureLine() const {
    std::string line = "Cannot write to the port";
    if (Comms && !Comms->LastErrorText.empty()) line += ": " + Comms->LastErrorText;
    return line;
}

void Acquisition::RedrawTimer() {
    if (acquisitionOn_) listener_->refreshLiveTable();
    if (ErrorLog.size() > ErrorLogLimit) trimErrorLog(ErrorLogLimit);
}

void Acquisition::trimErrorLog(size_t keep) {
    if (ErrorLog.size() <= keep) return;
    const size_t drop = ErrorLog.size() - keep;
    ErrorLog.erase(ErrorLog.begin(), ErrorLog.begin() + static_cast<std::ptrdiff_t>(drop));
    reportedErrorLines_ = reportedErrorLines_ > drop ? reportedErrorLines_ - drop : 0;
}

void Acquisition::reportNewErrorLines() {
    if (reportedErrorLines_ > ErrorLog.size()) reportedErrorLines_ = ErrorLog.size();
    if (reportedErrorLines_ == ErrorLog.size()) return;
    std::vector<std::string> fresh(ErrorLog.begin() + static_cast<std::ptrdiff_t>(reportedErrorLines_),
                                   ErrorLog.end());
    reportedErrorLines_ = ErrorLog.size();
    listener_->errorLines(fresh);
}

// ---- period boxes -----------------------------------------------------------

PeriodEntry Acquisition::periodExit(const std::string& text, bool acquisition) {
    const std::optional<int64_t> value = ParsePeriodText(text);
    if (!value || *value == 0) return PeriodEntry::FocusBack;
    if (*value < 0 || *value > 4294967295LL) {
        showMessage("Error", "'" + text +
                                 "' is not a valid period: enter a whole number of "
                                 "milliseconds from 1 to 4294967295");
        return PeriodEntry::Refused;
    }
    const auto ms = static_cast<uint32_t>(*value);
    if (acquisition) {
        acqInterval_ = ms;
        acquisitionQTimer_.setInterval(qtimerInterval(ms));
    } else {
        redrawInterval_ = ms;
        redrawQTimer_.setInterval(qtimerInterval(ms));
    }
    return PeriodEntry::Applied;
}

PeriodEntry Acquisition::dlgAcqPeriodExit(const std::string& text) {
    return periodExit(text, true);
}

PeriodEntry Acquisition::dlgRedrawPeriodExit(const std::string& text) {
    return periodExit(text, false);
}

// ---- timers -----------------------------------------------------------------

// Starting a running timer leaves it running in its rhythm.
void Acquisition::startAcquisitionTimer() {
    acquisitionOn_ = true;
    if (!acquisitionQTimer_.isActive()) acquisitionQTimer_.start();
}

void Acquisition::startRedrawTimer() {
    redrawOn_ = true;
    if (!redrawQTimer_.isActive()) redrawQTimer_.start();
}

void Acquisition::setAcquisitionTimerRunning(bool on) {
    if (on) {
        startAcquisitionTimer();
    } else {
        acquisitionOn_ = false;
        acquisitionQTimer_.stop();
        // No tick will sync it for a while (a suspend): now, then.
        syncJournal(true);
    }
}

void Acquisition::stopTimers() {
    acquisitionOn_ = false;
    redrawOn_ = false;
    acquisitionQTimer_.stop();
    redrawQTimer_.stop();
}

void Acquisition::notifyState() {
    listener_->stateChanged(state());
}

// ---- the four actions ---------------------------------------------------------

bool Acquisition::StartTalkingActionExecute() {
    if (promRunning_) {
        showMessage("Error", "A PROM dump is in progress. Wait until it has finished before "
                             "starting to talk.");
        return false;
    }
    if (!created_) return false;
    if (checkedModeItem_ >= 0 && checkedModeItem_ <= 5) MessageNumber = checkedModeItem_ - 1;
    // A device still missing is tried again at the first tick.
    if (linkLost_) nextReconnect_ = nowSeconds();
    DecodePosition = 0;
    Logging = false;
    if (live_) live_->reset();
    startAcquisitionTimer();
    startRedrawTimer();
    listener_->graphPanelVisible(false);
    if (enableDials_) listener_->dialsWindow(true);
    notifyState();
    return true;
}

void Acquisition::StopTalkingActionExecute() {
    if (Logging) StopLoggingActionExecute();
    stopTimers();
    listener_->graphPanelVisible(true);
    showLastRowOrFirst();
    if (enableDials_) listener_->dialsWindow(false);
    notifyState();
}

void Acquisition::showLastRowOrFirst() {
    uint32_t row = 1;
    if (collection_.Count() > 0) {
        if (TALDLLog* log = collection_.CurrentDataset()) row = std::max<uint32_t>(log->Rows, 1);
    }
    listener_->showRow(row);
}

bool Acquisition::StartLoggingActionExecute() {
    if (Logging) return false;
    if (promRunning_) {
        showMessage("Error", "A PROM dump is in progress. Wait until it has finished before "
                             "starting to log.");
        return false;
    }
    if (!acquisitionOn_ && !StartTalkingActionExecute()) return false;
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
    Logging = true;
    collection_.Logging = true;
    collection_.CurrentLog = CurrentLog;
    notifyState();
    return true;
}

void Acquisition::StopLoggingActionExecute() {
    if (!Logging) return;
    // Every row on disk until the dataset is saved.
    syncJournal(true);
    Logging = false;
    collection_.Logging = false;
    collection_.CurrentLog = nullptr;
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
    notifyState();
}

} // namespace quillmar
