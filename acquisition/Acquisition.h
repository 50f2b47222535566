#pragma once
// The acquisition cycle without a window: the link, the parameter table,
// the two periodic timers and the talking and logging commands.
//
// One tick (acquisitionTick) polls the engine computer for its mode 1 data
// stream, records the reply as the next row of the dataset being logged and
// decodes a share of the table into current values; the update tick
// (updateTick) asks for the live table to be rewritten and keeps the error
// log to its newest 100 lines. Everything runs on the thread that owns the
// object; the timers are QTimers, and tests call the two ticks directly.
// What the acquisition is doing is one AcquisitionState (AcquisitionState.h).
//
// An engine computer that stops answering (no good reply for the waits'
// NoAnswerSeconds and at least NoAnswerPolls polls) puts the state in
// NoAnswer until its next good reply; a fault that repeats at every tick is
// written once and then counted, once a second (RepeatedLines.h).
//
// The files: Acquisition.cpp (set-up, periods, timers, error log),
// AcquisitionCycle.cpp (the ticks), Recording.cpp (talking, logging and
// bookmarks), Reconnection.cpp (a device that goes away, an engine computer
// that says nothing), PromDump.cpp.

#include "acquisition/AcquisitionState.h"
#include "acquisition/AcquisitionWaits.h"
#include "acquisition/PlotChoices.h"
#include "acquisition/RepeatedLines.h"
#include "acquisition/params/ParameterTypes.h"
#include "acquisition/params/Parameters.h"
#include "store/Bookmarks.h"

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quillmar {

class TALDLComms;
class TALDLLog;
class TLiveDerivation;
class TLogCollection;

// What a period box did with its text.
enum class PeriodEntry {
    Applied,   // the timer took the new interval
    Refused,   // negative or above 4294967295: an error message was shown
    FocusBack, // not a number, or 0: the box keeps the focus, nothing changed
};

// How a PROM dump ended.
enum class PromDumpResult {
    Written,    // the image file is complete
    Busy,       // acquisition or another dump is running: nothing done
    LinkFailed, // five failed transactions for one address
    NoData,     // five empty replies in a row
    Failed,     // unexpected error, e.g. the file could not be written
    Cancelled,  // cancelPromDump() was called, or the acquisition shut down
};

// Everything the cycle tells its front end. Every notification has a no-op
// default, so a front end overrides only what it shows.
class AcquisitionListener {
public:
    virtual ~AcquisitionListener() = default;
    // Manifold pressure x 100 and engine speed, every tick while the dials are on.
    virtual void dialsChanged(float /*boost*/, float /*engineSpeed*/) {}
    // The live table should be rewritten from the current values.
    virtual void refreshLiveTable() {}
    // The live table should show this row of the current dataset.
    virtual void showRow(uint32_t /*row*/) {}
    // The state changed (once per change; state() already tells the new
    // one), or a recording started or ended while the state stayed NoAnswer
    // (logging() tells which).
    virtual void stateChanged(AcquisitionState /*state*/) {}
    // A tick recorded this row (called last in the tick).
    virtual void rowRecorded(uint32_t /*row*/) {}
    // Lines just appended to the error log, oldest first.
    virtual void errorLines(const std::vector<std::string>& /*lines*/) {}
    // The graph's curves should be set up again (datasets came or went).
    virtual void setupCurves() {}
    // Talking started with the dials on (true), or stopped (false): the
    // dials should show, or go.
    virtual void dialsWanted(bool /*wanted*/) {}
    // The link is busy (talking or dumping: the periods and the error log
    // matter now) or idle again (the recorded data matter).
    virtual void linkActivity(bool /*busy*/) {}
    // Between two addresses of a PROM dump: the next address and bytes so far.
    virtual void promProgress(uint32_t /*nextAddress*/, size_t /*bytesRead*/) {}
    // A PROM dump ended (the state is Idle again).
    virtual void promDumpFinished(PromDumpResult /*result*/) {}
    // Warnings of a finished recording's derivation (missing parameters etc.).
    virtual void datasetWarnings(const std::vector<std::string>& /*warnings*/) {}
    // The device went away while talking (connected false: "Comm port
    // /dev/ttyUSB0 disconnected, retrying ...") or came back (true). The
    // same text went to the error log.
    virtual void linkStateChanged(bool /*connected*/, const std::string& /*text*/) {}
};

struct AcquisitionSetup {
    // Protocol file to read; empty: DefaultIniPath().
    std::string IniPath;
    // A table to use instead of the protocol file (tests, demo).
    std::optional<TParameterArray> Table;
    // "COM1".."COM20" or a device path; empty: the link stays closed.
    std::string Port;
};

class Acquisition {
public:
    // collection: the open datasets; not owned, must outlive this object.
    // Sets the collection's Talking and StopTalking hooks to this cycle.
    explicit Acquisition(TLogCollection& collection);
    ~Acquisition();
    Acquisition(const Acquisition&) = delete;
    Acquisition& operator=(const Acquisition&) = delete;

    // ---- start and end ----

    // Loads and checks the table, creates and connects the link, builds the
    // names and looks up the six positions. False when the table is unusable:
    // the message has been shown (caption "error") and the program must end.
    // A failed connect is not reported here; every tick reports it.
    bool start(const AcquisitionSetup& setup);
    // Stops talking (and logging) and a PROM dump, and frees the link
    // (closing the port).
    void shutdown();

    // ---- the two ticks (run by the timers; tests call them directly) ----

    // Polls once, records the row while logging, decodes, moves the dials,
    // and syncs the journal when it is due.
    void acquisitionTick();
    // Asks for the live table while talking, and trims the error log.
    void updateTick();

    // The periods as a user types them (milliseconds).
    PeriodEntry setAcquisitionPeriod(const std::string& text);
    PeriodEntry setUpdatePeriod(const std::string& text);

    // ---- talking and logging ----

    // False when refused (a PROM dump is running, or not started). While
    // talking already, nothing changes. With the device gone the state is
    // Reconnecting.
    bool startTalking();
    // Stops logging first; nothing happens unless talking.
    void stopTalking();
    // Starts talking first when needed. False when refused (a PROM dump is
    // running, already logging, or talking could not start).
    bool startLogging();
    // Finishes the recording (trim, derive, select); nothing happens unless
    // logging.
    void stopLogging();

    // ---- bookmarks ----

    // Seconds since the recording started, on the clock its rows' time
    // stamps use; nullopt unless logging.
    std::optional<double> recordingSeconds() const;
    // Marks a moment of the recording: the next number, at the time given
    // (recordingSeconds() taken earlier, as when a key was pressed before a
    // note was asked for) or now, with a note (cleaned to one line; may be
    // empty). The recording's journal keeps it beside its rows, and Save
    // writes it beside the log (FILE.ecu.bookmarks). nullopt, and nothing
    // done, unless logging. A journal that cannot keep it is a warning in
    // the error log; the bookmark is still the recording's.
    std::optional<Bookmark> addBookmark(const std::string& note = {}, std::optional<double> at = {});

    // Stops or restarts the acquisition timer alone, as around a system
    // suspend: the update timer, the state and the row count stay.
    void setAcquisitionTimerRunning(bool on);

    // ---- the PROM dump ----

    // Starts reading the program memory into fileName: one address a step,
    // the steps run from the event loop, and promDumpFinished tells the end.
    // False when refused (talking, or a dump is running): the message has
    // been shown and nothing started.
    bool startPromDump(const std::string& fileName);
    // Ends a running dump at its next step; no file is written.
    void cancelPromDump();
    // How the last dump ended (Busy before any).
    PromDumpResult promDumpResult() const { return promResult_; }

    // ---- link ----

    // Closes the port and connects to another one ("COMn" or a device path).
    // False when the port could not be opened (the reason is in the link).
    bool reconnect(const std::string& port);
    TALDLComms* comms() { return Comms.get(); }
    // The reason of the last failed connect, empty after a good one.
    const std::string& connectError() const { return connectError_; }
    // The device went away while talking and has not come back yet: the
    // ticks try to open it again after the waits' reconnect delays (1, 2
    // and 5 seconds, then every 10).
    bool linkLost() const { return linkLost_; }
    // Seconds until the next try while the link is lost.
    double nextReconnectIn() const;

    // The spells of NoAnswer since the object was made: how many, and how
    // long they lasted altogether, each from the last good reply before it
    // to the first after it (or to the end of talking, or a lost device);
    // one still going counts up to now.
    struct SilenceTally {
        uint32_t Spans = 0;
        double Seconds = 0;
    };
    SilenceTally silence() const;

    // ---- switches ----

    void setTestMode(bool on) { testMode_ = on; }
    bool testMode() const { return testMode_; }
    void setEnableDials(bool on) { enableDials_ = on; }
    bool enableDials() const { return enableDials_; }
    // The checked one of the six mode items, 0 "Mode 1 (default)" .. 5
    // "Mode 1 (message 4)"; -1 none. Read at "Start talking" only.
    void setCheckedModeItem(int item) { checkedModeItem_ = item; }

    // ---- injection ----

    void setListener(AcquisitionListener* listener);
    // Current time in days (any epoch); default: the system clock.
    void setClock(std::function<double()> clock);
    void setRandomSeed(uint32_t seed) { random_.seed(seed); }
    // The waits (reply timeout, reconnect delays, journal age); the link
    // made next, or the one open now, takes the reply timeout.
    void setWaits(const AcquisitionWaits& waits);
    const AcquisitionWaits& waits() const { return waits_; }
    // The folder of the journals that recordings keep (store/Journal.h);
    // default DefaultJournalFolder() as the object is made. Empty: no
    // journal. Test-mode recordings (pseudo-random bytes) keep none.
    void setJournalFolder(std::string folder) { journalFolder_ = std::move(folder); }
    const std::string& journalFolder() const { return journalFolder_; }

    // ---- state ----

    AcquisitionState state() const { return machine_.state(); }
    // Talking, Logging, Reconnecting or NoAnswer (the engine computer is
    // polled, or waited for).
    bool talking() const { return IsTalkingState(state()); }
    // A recording runs: the state is Logging, or NoAnswer while recording.
    bool logging() const { return recording_; }
    bool promDumpRunning() const { return state() == AcquisitionState::Dumping; }
    // The timers themselves (the acquisition timer pauses around a suspend).
    bool acquisitionRunning() const { return acquisitionQTimer_.isActive(); }
    bool redrawRunning() const { return redrawQTimer_.isActive(); }
    uint32_t acquisitionInterval() const { return acqInterval_; }
    uint32_t redrawInterval() const { return redrawInterval_; }
    // The text the period boxes show.
    std::string acqPeriodText() const { return std::to_string(acqInterval_); }
    std::string redrawPeriodText() const { return std::to_string(redrawInterval_); }

    TParameterArray& parameters() { return *Parameters; }
    const std::shared_ptr<TParameterArray>& sharedParameters() const { return Parameters; }
    int32_t parameterCount() const { return static_cast<int32_t>(Parameters->size()); }
    const std::vector<std::string>& parameterNames() const { return ParameterNames; }
    const ParameterIndices& indices() const { return Indices; }
    std::vector<std::string>& errorLog() { return ErrorLog; }
    TLogCollection& collection() { return collection_; }
    // What the graph panel chooses for the acquisition graph.
    PlotChoices& plotChoices() { return plotChoices_; }
    TALDLLog* currentLog() const { return CurrentLog; }
    // The derived channels of the rows so far while talking or logging;
    // null before FormCreate.
    const TLiveDerivation* liveDerivation() const { return live_.get(); }
    int32_t rowCounter() const { return RowCounter; }
    int32_t messageNumber() const { return MessageNumber; }
    int32_t decodePosition() const { return DecodePosition; }
    // Replies dropped because they did not carry ReplyLength data bytes
    // (silently, as far as the error log goes), since the object was made.
    uint64_t wrongLengthReplies() const { return wrongLengthReplies_; }
    // Repeated error-log lines counted instead of written, and the lines that
    // counted them ("No reply (4 more in the last second)"), since made.
    uint64_t repeatedLinesLeftOut() const { return repeated_.leftOut(); }
    uint64_t repeatReports() const { return repeated_.reports(); }
    const std::string& iniPath() const { return iniPath_; }

    // The number of decode steps one tick takes:
    // (ParameterCount - 1) * acquisition interval / update interval + 2.
    int64_t decodeSteps() const;
    // The round-robin share of them (all but manifold pressure and engine
    // speed), never fewer than one, so that every value is refreshed within
    // ParameterCount ticks however the periods are set.
    int64_t roundRobinSteps() const;

private:
    // Runs a timer's handler, turning anything it throws into an error line.
    void guarded(const std::function<void()>& tick);
    // The one way the state changes; listeners hear of it once.
    bool transition(AcquisitionState next) { return machine_.transition(next); }
    // The talking state the flags call for: Reconnecting while the device is
    // gone (Logging while recording), else NoAnswer while the engine computer
    // is silent, else Logging or Talking.
    AcquisitionState talkingState() const;
    // Moves to talkingState(); with tellAnyway, listeners hear of it even
    // when the state stays (a recording started or ended during NoAnswer).
    void settleState(bool tellAnyway = false);
    // A good reply came, or a poll got none.
    void goodReply();
    void noGoodReply();
    // The silence count starts again (talking started, the device came back).
    void restartSilence();
    // An ongoing NoAnswer spell ends (not by a reply).
    void endSilence();
    // Error-log lines from index from on that repeat are counted, not kept;
    // the counts due are appended; flush: all of them, for the end of talking.
    void thinRepeats(size_t from);
    void reportRepeats(bool flush);
    std::unique_ptr<TALDLComms> makeLink();
    void stopTimers();
    void startAcquisitionTimer();
    void startRedrawTimer();
    PeriodEntry periodExit(const std::string& text, bool acquisition);
    void decodeStep(int index, const uint8_t* data, size_t length);
    void reportNewErrorLines();
    std::string writeFailureLine() const;
    void trimErrorLog(size_t keep);
    void showLastRowOrFirst();
    void poll();
    void deriveLive(const uint8_t* data, bool recorded, double rowTime);
    void startJournal();
    void syncJournal(bool now);
    double nowSeconds() const;
    bool lineGone() const;
    std::string lostLinkReason() const;
    void loseLink(const std::string& reason);
    void retryLink();
    // Tries a lost device again at once (a PROM dump does not wait for the
    // ticks' schedule); true when the port is open.
    bool reopenLostLink();
    // One address of the dump; the result when the dump ended.
    std::optional<PromDumpResult> promDumpStep();
    void runPromStep();
    void finishPromDump(PromDumpResult result);

    static constexpr int32_t ReplyLength = quillmar::ReplyLength;

    TLogCollection& collection_;
    std::unique_ptr<TALDLComms> Comms;
    std::shared_ptr<TParameterArray> Parameters;
    std::vector<std::string> ParameterNames;
    ParameterIndices Indices;
    std::vector<std::string> ErrorLog;
    std::string iniPath_;
    std::string connectError_;

    int32_t MessageNumber = 0;
    int32_t DecodePosition = 0;
    TALDLLog* CurrentLog = nullptr; // owned by the collection
    int32_t RowCounter = 0;
    double LogStartTime = 0;
    bool recording_ = false;

    uint32_t acqInterval_ = 200;
    uint32_t redrawInterval_ = 2000;
    QTimer acquisitionQTimer_;
    QTimer redrawQTimer_;

    bool testMode_ = false;
    bool enableDials_ = false;
    int checkedModeItem_ = -1;
    bool created_ = false;
    AcquisitionStateMachine machine_;
    AcquisitionWaits waits_;

    // The dump in progress: the image so far, the next address, the empty
    // replies in a row. Its steps are single shots of a 0 ms timer.
    struct PromDumpRun {
        std::string FileName;
        std::vector<uint8_t> Image;
        uint32_t Address = 0;
        int EmptyReplies = 0;
    };
    std::unique_ptr<PromDumpRun> prom_;
    QTimer promTimer_;
    bool promCancel_ = false;
    bool promStepping_ = false;
    PromDumpResult promResult_ = PromDumpResult::Busy;

    AcquisitionListener defaultListener_;
    AcquisitionListener* listener_ = &defaultListener_;
    std::function<double()> clock_;
    std::mt19937 random_{0x51u};
    size_t reportedErrorLines_ = 0;
    uint64_t wrongLengthReplies_ = 0;

    std::string journalFolder_;
    bool journalFailureShown_ = false;

    std::string port_;       // as given to reconnect(), opened again after a loss
    std::string lostDevice_; // the device that went away
    bool linkLost_ = false;
    int reconnectAttempts_ = 0;
    double lostAt_ = 0;        // nowSeconds() of the loss
    double nextReconnect_ = 0; // nowSeconds() of the next try

    // The engine computer's silence: polls without a good reply in a row,
    // when the last good one came (or talking began), whether in NoAnswer,
    // and the spells so far.
    int failedPolls_ = 0;
    double lastGoodReply_ = 0;
    bool silent_ = false;
    uint32_t silentSpans_ = 0;
    double silentSeconds_ = 0; // of the spells that ended
    RepeatedLines repeated_;

    // Derived values of the rows so far; Time counts from the first reply
    // while talking and from the recording's start while logging.
    std::unique_ptr<TLiveDerivation> live_;
    std::vector<std::pair<int, int>> liveEntries_; // (table index, derived slot)
    double liveStart_ = 0;                         // nowSeconds() of the first reply

    PlotChoices plotChoices_{collection_};
};

// The system clock as a date-time: days since 1899-12-30, with fractions.
double SystemClockDays();

// Parses a period box's text as a 64-bit whole number (surrounding blanks
// allowed); nullopt when it is not one.
std::optional<int64_t> ParsePeriodText(const std::string& text);

} // namespace quillmar
