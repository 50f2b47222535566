// Setting the acquisition up and taking it down, the periods, the timers
// and the error log.

#include "acquisition/Acquisition.h"

#include "acquisition/params/ProtocolFile.h"
#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/base/Messages.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <limits>
#include <new>

namespace quillmar {

namespace {

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

AcquisitionWaits AcquisitionWaits::scaled(double factor) const {
    AcquisitionWaits w = *this;
    for (double& d : w.ReconnectDelays)
        d *= factor;
    w.JournalSyncSeconds *= factor;
    w.NoAnswerSeconds *= factor;
    return w;
}

std::optional<AcquisitionWaits> AcquisitionWaits::fromScaleText(const char* text) {
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    const double factor = std::strtod(text, &end);
    if (*end != '\0' || !(factor > 0) || !(factor <= 1e6)) return std::nullopt;
    return AcquisitionWaits{}.scaled(factor);
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
                     [this] { guarded([this] { acquisitionTick(); }); });
    QObject::connect(&redrawQTimer_, &QTimer::timeout, [this] { guarded([this] { updateTick(); }); });
    // A dump step at a time, each once the events waiting before it have run.
    promTimer_.setSingleShot(true);
    promTimer_.setInterval(0);
    QObject::connect(&promTimer_, &QTimer::timeout, [this] { runPromStep(); });
    machine_.StateChanged = [this](AcquisitionState, AcquisitionState to) { listener_->stateChanged(to); };
    // Opening log files asks whether we are talking and stops us first.
    collection_.Hooks.Talking = [this] { return talking(); };
    collection_.Hooks.StopTalking = [this] { stopTalking(); };
}

Acquisition::~Acquisition() {
    // The listener may already be gone; say nothing more while shutting down.
    listener_ = &defaultListener_;
    shutdown();
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

void Acquisition::setWaits(const AcquisitionWaits& waits) {
    waits_ = waits;
    if (Comms) Comms->SetWaitLimit(waits_.ReplyTimeoutMs);
}

// ---- start and end ---------------------------------------------------------

bool Acquisition::start(const AcquisitionSetup& setup) {
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
    Comms = makeLink();
    if (!setup.Port.empty()) reconnect(setup.Port);

    // 4, 5. Names and the six positions.
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

void Acquisition::shutdown() {
    // A dump stops here; one whose step is running below us (we were called
    // from a message it shows) stops at its next step, and checks for the
    // link before every use.
    if (promDumpRunning()) {
        promCancel_ = true;
        if (!promStepping_) finishPromDump(PromDumpResult::Cancelled);
    }
    stopTalking();
    stopTimers();
    if (Comms) {
        Comms->ClosePort();
        Comms.reset();
    }
}

// ---- the error log ---------------------------------------------------------

void Acquisition::trimErrorLog(size_t keep) {
    if (ErrorLog.size() <= keep) return;
    const size_t drop = ErrorLog.size() - keep;
    ErrorLog.erase(ErrorLog.begin(), ErrorLog.begin() + static_cast<std::ptrdiff_t>(drop));
    reportedErrorLines_ = reportedErrorLines_ > drop ? reportedErrorLines_ - drop : 0;
}

void Acquisition::thinRepeats(size_t from) {
    const double now = nowSeconds();
    size_t kept = from;
    for (size_t i = from; i < ErrorLog.size(); ++i)
        if (repeated_.admit(ErrorLog[i], now)) {
            if (kept != i) ErrorLog[kept] = std::move(ErrorLog[i]);
            ++kept;
        }
    ErrorLog.resize(kept);
}

void Acquisition::reportRepeats(bool flush) {
    for (std::string& line : flush ? repeated_.flush() : repeated_.due(nowSeconds()))
        ErrorLog.push_back(std::move(line));
    reportNewErrorLines();
}

void Acquisition::reportNewErrorLines() {
    if (reportedErrorLines_ > ErrorLog.size()) reportedErrorLines_ = ErrorLog.size();
    if (reportedErrorLines_ == ErrorLog.size()) return;
    std::vector<std::string> fresh(ErrorLog.begin() + static_cast<std::ptrdiff_t>(reportedErrorLines_),
                                   ErrorLog.end());
    reportedErrorLines_ = ErrorLog.size();
    listener_->errorLines(fresh);
}

// ---- periods ---------------------------------------------------------------

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

PeriodEntry Acquisition::setAcquisitionPeriod(const std::string& text) {
    return periodExit(text, true);
}

PeriodEntry Acquisition::setUpdatePeriod(const std::string& text) {
    return periodExit(text, false);
}

// ---- timers ----------------------------------------------------------------

// Starting a running timer leaves it running in its rhythm.
void Acquisition::startAcquisitionTimer() {
    if (!acquisitionQTimer_.isActive()) acquisitionQTimer_.start();
}

void Acquisition::startRedrawTimer() {
    if (!redrawQTimer_.isActive()) redrawQTimer_.start();
}

void Acquisition::setAcquisitionTimerRunning(bool on) {
    if (on) {
        startAcquisitionTimer();
    } else {
        acquisitionQTimer_.stop();
        // No tick will sync it for a while (a suspend): now, then.
        syncJournal(true);
    }
}

void Acquisition::stopTimers() {
    acquisitionQTimer_.stop();
    redrawQTimer_.stop();
}

} // namespace quillmar
