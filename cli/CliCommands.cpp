#include "cli/CliCommands.h"

#include "acquisition/Acquisition.h"
#include "acquisition/ConnectAdvice.h"
#include "acquisition/Settings.h"
#include "acquisition/params/LiveTable.h"
#include "acquisition/params/Parameters.h"
#include "acquisition/params/ProtocolFile.h"
#include "app/sheet/ExportTables.h"
#include "cli/CliChannels.h"
#include "cli/CliExport.h"
#include "cli/CliHistogram.h"
#include "cli/CliOptions.h"
#include "cli/CliPlot.h"
#include "cli/CliPorts.h"
#include "cli/CliReading.h"
#include "cli/CliRecover.h"
#include "cli/CliSignals.h"
#include "cli/CliTerminal.h"
#include "link/ALDLComms.h"
#include "link/PortTable.h"
#include "store/Bookmarks.h"
#include "store/Journal.h"
#include "store/base/AtomicFile.h"
#include "store/base/Cp1252.h"
#include "store/base/Messages.h"
#include "store/base/Paths.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace quillmar {

namespace {

// ---- output ---------------------------------------------------------------

void err(const std::string& line) {
    ErrorLine(line);
}

void out(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

// Message boxes become "caption: text" lines on stderr; questions get the
// safe answer (No), so nothing ever waits for the terminal.
class CliMessenger : public Messenger {
public:
    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override {
        err(caption + ": " + text);
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
};

// ---- help -----------------------------------------------------------------

const char* const MainHelp =
    "Usage: quillmar-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  log        record the engine computer's data stream into a log file\n"
    "  watch      print the live parameter table every update period\n"
    "  table      write a log file as tab-separated text to stdout\n"
    "  info       show what a log file holds\n"
    "  export     write a log file as a workbook (.xlsx), CSV (.csv) or table text (.tsv)\n"
    "  plot       draw log files as the desktop program's graph, into a picture file\n"
    "  histogram  spread a parameter over a grid of two others: a table (.csv) or\n"
    "             a coloured picture\n"
    "  dump-prom  read the program memory (0x8000-0xFFFF) into a 32768-byte file\n"
    "  create-ini write the parameter table in force to the protocol file\n"
    "  recover    save the recordings a crash or a kill left in their journals\n"
    "  ports      list the serial ports of this computer\n"
    "\n"
    "PORT is COM1..COM20 or a device path. COMn opens /dev/ttyS(n-1) unless the\n"
    "settings file ~/.config/Quillmar/Quillmar.ini names another device in its\n"
    "[Software] section, e.g. Quillmar\\Ports\\COM3=/dev/ttyUSB0.\n"
    "'quillmar-cli ports' lists the serial devices present.\n"
    "'quillmar-cli COMMAND --help' describes a command; 'quillmar-cli --version'\n"
    "shows the version.\n"
    "Exit status: 0 success, 1 run-time failure, 2 bad arguments or bad input.\n";

const char* const LogHelp =
    "Usage: quillmar-cli log --port PORT --out FILE.ecu [OPTIONS]\n"
    "Talks to the engine computer and records every mode 1 reply until a limit\n"
    "is reached or Ctrl-C (SIGINT), SIGTERM or SIGHUP (the terminal closed)\n"
    "arrives; then the recording is finished (derived channels) and saved.\n"
    "Under nohup, which ignores SIGHUP, SIGHUP stays ignored. Error-log lines\n"
    "go to stderr, a line that repeats once and then as a count once a second\n"
    "(\"No reply (4 more in the last second)\"); the summary counts them all, and\n"
    "the replies dropped for their length (not 63 data bytes). With no good\n"
    "reply for a second (and at least 3 polls) stderr says \"No answer from the\n"
    "engine computer\" and what to check; the recording goes on, and the\n"
    "summary's Silent line counts those spans and their seconds, each from the\n"
    "last good reply before it to the first after it.\n"
    "\n"
    "  --port PORT      COM1..COM20 or a device path (not needed with --test-mode)\n"
    "  --out FILE       the log file to write (replaced atomically; should that\n"
    "                   fail, the recording goes to the first of $TMPDIR, /tmp,\n"
    "                   /var/tmp and the home folder that takes it, and the\n"
    "                   summary says where, and how many rows were lost)\n"
    "  --period MS      acquisition period in milliseconds (default 200)\n"
    "  --message N      mode 1 message number 0..4; -1 sends no message byte (default -1)\n"
    "  --rows N         stop after N rows\n"
    "  --seconds S      stop after S seconds\n"
    "  --test-mode      use pseudo-random replies instead of the link\n"
    "  --ini FILE       the protocol file (default: the user's config folder)\n"
    "  --comment TEXT   the log's comment (Windows-1252, at most 255 bytes)\n";

const char* const WatchHelp =
    "Usage: quillmar-cli watch --port PORT [OPTIONS]\n"
    "Talks to the engine computer and prints the live parameter table every\n"
    "update period until Ctrl-C (SIGINT), SIGTERM or SIGHUP (unless ignored, as\n"
    "under nohup). User channels follow the parameters, computed from the live\n"
    "values. With no good reply for a second (and at least 3 polls), the\n"
    "line \"No answer from the engine computer\" takes the table's place until\n"
    "the engine computer answers again; stderr says what to check. A line of the\n"
    "error log that repeats goes to stderr once, then as a count once a second.\n"
    "\n"
    "  --port PORT      COM1..COM20 or a device path (not needed with --test-mode)\n"
    "  --period MS      acquisition period in milliseconds (default 200)\n"
    "  --update MS      update period in milliseconds (default 2000)\n"
    "  --message N      mode 1 message number 0..4; -1 sends no message byte (default -1)\n"
    "  --test-mode      use pseudo-random replies instead of the link\n"
    "  --ini FILE       the protocol file\n";

const char* const TableHelp = "Usage: quillmar-cli table FILE.ecu [--ini FILE] [--channel LINE ...]\n"
                              "                          [--channels FILE]\n"
                              "Writes the dataset table to stdout: a line of names, a line of units, then\n"
                              "one line per row (time, then every parameter but the last of the table,\n"
                              "then the user channels, a row without a value an empty cell); cells end in\n"
                              "a tab, lines in CR LF.\n"
                              "\n"
                              "  --ini FILE       the protocol file (default: the user's config folder)\n";

const char* const InfoHelp = "Usage: quillmar-cli info FILE.ecu [--ini FILE]\n"
                             "Opens a log file as the desktop program does and prints its rows, columns,\n"
                             "duration, distance and comment, then the bookmarks saved beside it\n"
                             "(FILE.ecu.bookmarks). A cut-off file is reported on stderr.\n";

const char* const DumpHelp =
    "Usage: quillmar-cli dump-prom --port PORT --out FILE.bin [--test-mode] [--ini FILE]\n"
    "Reads addresses 0x8000 to 0xFFFF with mode 2 requests and writes the\n"
    "32768-byte image (only when complete). Ctrl-C abandons the dump.\n";

const char* const CreateIniHelp =
    "Usage: quillmar-cli create-ini [--ini FILE]\n"
    "Writes the parameter table in force (the protocol file's, or the built-in\n"
    "one) to the protocol file.\n";

// A command's help and the lines of the channel options.
std::string withChannelHelp(const char* help) {
    return std::string(help) + ChannelOptionsHelp;
}

int badArguments(const std::string& command, const std::string& why) {
    return BadArguments(command, why);
}

// ---- shared steps -----------------------------------------------------------

// The options log, watch and dump-prom share.
struct LinkOptions {
    std::string Port;
    bool TestMode = false;
    std::string Ini;
};

std::optional<int> readLinkOptions(const std::string& command, const ParsedOptions& o, LinkOptions& link) {
    link.TestMode = o.has("test-mode");
    link.Ini = o.value("ini");
    if (o.has("port")) {
        link.Port = o.value("port");
        if (!ResolvePort(link.Port))
            return badArguments(command,
                                "'" + link.Port + "' is not a port: give COM1..COM20 or a device path");
    } else if (!link.TestMode) {
        return badArguments(command, "--port PORT is required (or --test-mode)");
    }
    return std::nullopt;
}

// Prints error-log lines as they happen and counts them; the rest is up to
// the command.
class CliListener : public AcquisitionListener {
public:
    void errorLines(const std::vector<std::string>& lines) override {
        for (const auto& l : lines) {
            if (onErrorLine)
                onErrorLine(l);
            else
                err(l);
            // A warning (the protocol file could not be written) is no link error.
            if (l.rfind("Warning: ", 0) != 0) ++errors;
        }
    }
    void datasetWarnings(const std::vector<std::string>& warnings) override {
        for (const auto& w : warnings)
            err("Warning: " + w);
    }
    void rowRecorded(uint32_t row) override {
        if (onRow) onRow(row);
    }
    void refreshLiveTable() override {
        if (onRefresh) onRefresh();
    }
    void promDumpFinished(PromDumpResult) override {
        if (onPromDumpFinished) onPromDumpFinished();
    }
    void stateChanged(AcquisitionState state) override {
        if (onState) onState(state);
    }

    size_t errors = 0;
    std::function<void(uint32_t)> onRow;
    std::function<void()> onRefresh;
    std::function<void()> onPromDumpFinished;
    std::function<void(const std::string&)> onErrorLine; // instead of stderr
    std::function<void(AcquisitionState)> onState;
};

// The error lines as the summary counts them: every repeat, not the lines
// that counted them.
uint64_t errorCount(const CliListener& listener, const Acquisition& acq) {
    const uint64_t written = listener.errors;
    return written - std::min<uint64_t>(written, acq.repeatReports()) + acq.repeatedLinesLeftOut();
}

// Says (through say) when the engine computer stops answering, with what to
// check, and when it answers again.
std::function<void(AcquisitionState)> silenceNotes(std::function<void(const std::string&)> say) {
    return [say = std::move(say), silent = false](AcquisitionState state) mutable {
        if (state == AcquisitionState::NoAnswer && !silent)
            say(std::string(NoAnswerText) + ". " + NoAnswerAdvice(AdviceFor::CommandLine));
        else if (silent && (state == AcquisitionState::Talking || state == AcquisitionState::Logging))
            say("The engine computer answers again");
        silent = state == AcquisitionState::NoAnswer;
    };
}

std::string silenceSummary(const Acquisition::SilenceTally& silence) {
    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%.1f", silence.Seconds);
    return "Silent: " + std::to_string(silence.Spans) + (silence.Spans == 1 ? " span, " : " spans, ") +
           seconds + " s";
}

// Creates the acquisition, loads the table, connects. Returns an exit
// status on failure.
std::optional<int> startAcquisition(Acquisition& acq, const std::string& command, const LinkOptions& link) {
    LoadPortOverrides(*OpenSettings()); // COMn pointed elsewhere in the user's settings
    acq.setTestMode(link.TestMode);
    AcquisitionSetup setup;
    setup.IniPath = link.Ini;
    setup.Port = link.Port;
    // Tests shorten the waits (reconnect delays, journal age) with a factor.
    if (const auto waits = AcquisitionWaits::fromScaleText(std::getenv("QUILLMAR_WAIT_SCALE")))
        acq.setWaits(*waits);
    if (!acq.start(setup)) return ExitBadInput; // the message is out already
    if (!link.Port.empty() && !(acq.comms() && acq.comms()->IsOpen())) {
        const std::string why = acq.connectError().empty() ? "unknown error" : acq.connectError();
        if (!link.TestMode) {
            err("quillmar-cli " + command + ": cannot open port " + link.Port + ": " + why);
            const uint32_t code = acq.comms() ? acq.comms()->LastError() : 0;
            if (const std::string advice = ConnectAdvice(code, AdviceFor::CommandLine); !advice.empty())
                err(advice);
            return ExitFailure;
        }
        err("Warning: cannot open port " + link.Port + " (" + why + "); test mode needs none");
    }
    return std::nullopt;
}

std::optional<int> applyPeriods(Acquisition& acq, const std::string& command, const ParsedOptions& o) {
    // Every number on the command line follows the one rule of ParseWholeNumber;
    // the period boxes then get a number they take without a word.
    for (const char* option : {"period", "update"}) {
        if (!o.has(option)) continue;
        const auto ms = ParseWholeNumber(o.value(option), 1, 4294967295LL);
        if (!ms)
            return badArguments(command, std::string("--") + option +
                                             " must be a whole number of milliseconds, 1 to 4294967295");
        const std::string text = std::to_string(*ms);
        const PeriodEntry entry =
            option == std::string("period") ? acq.setAcquisitionPeriod(text) : acq.setUpdatePeriod(text);
        if (entry != PeriodEntry::Applied)
            return badArguments(command, std::string("--") + option + " was not taken");
    }
    if (o.has("message")) {
        const auto n = ParseWholeNumber(o.value("message"), -1, 4);
        if (!n) return badArguments(command, "--message must be -1, 0, 1, 2, 3 or 4");
        acq.setCheckedModeItem(static_cast<int>(*n) + 1);
    } else {
        acq.setCheckedModeItem(0); // "Mode 1 (default)", as the desktop program starts
    }
    return std::nullopt;
}

std::string fixed3(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    return buffer;
}

// ---- log --------------------------------------------------------------------

// Saves and reports a failure; false when the file was not written.
bool saveLog(TLogCollection& collection, TALDLLog& log, const std::string& fileName) {
    try {
        collection.Save(log, fileName);
    } catch (const std::exception& e) {
        err(std::string("quillmar-cli log: ") + e.what());
        return false;
    }
    if (!log.Saved) {
        err("quillmar-cli log: " + fileName + " was not written");
        return false;
    }
    return true;
}

// Where a recording goes when its own file cannot be written, tried in
// turn: $TMPDIR, /tmp, /var/tmp and the home folder, each folder once.
std::vector<std::string> rescueFolders() {
    std::vector<std::string> folders;
    std::vector<std::pair<dev_t, ino_t>> seen;
    const char* const candidates[] = {std::getenv("TMPDIR"), "/tmp", "/var/tmp", std::getenv("HOME")};
    for (const char* folder : candidates) {
        if (!folder || !*folder) continue;
        std::string name = folder;
        while (name.size() > 1 && name.back() == '/')
            name.pop_back();
        struct stat st {};
        if (::stat(name.c_str(), &st) == 0) {
            const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
            if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
            seen.push_back(id);
        }
        folders.push_back(name);
    }
    return folders;
}

// A name in folder that no file has yet, so that a rescue never replaces
// another (a process of the same number may have left one).
std::string rescueName(const std::string& folder) {
    const std::string stem =
        (folder == "/" ? "" : folder) + "/quillmar-recording-" + std::to_string(::getpid());
    std::string name = stem + ".ecu";
    struct stat st {};
    for (int n = 2; n <= 100 && ::lstat(name.c_str(), &st) == 0; ++n)
        name = stem + "-" + std::to_string(n) + ".ecu";
    return name;
}

std::string rowsText(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

// A file a command is to write must be a regular file or a new name: a
// device, FIFO, socket or folder there is refused before any work is done.
std::optional<int> checkOutputFile(const std::string& command, const std::string& fileName) {
    try {
        CheckSaveTarget(fileName);
    } catch (const FileError& e) {
        err("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }
    return std::nullopt;
}

// Parses a command's options. Returns the exit status when the command ends
// here: after printing its help, or on a bad option.
std::optional<int> startCommand(const std::string& command, const std::vector<std::string>& args,
                                const std::vector<OptionSpec>& options, const std::string& help,
                                ParsedOptions& o) {
    o = ParseOptions(args, options);
    if (!o.Error.empty()) return badArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(help.c_str(), stdout);
        return ExitOk;
    }
    return std::nullopt;
}

int cmdLog(const std::vector<std::string>& args) {
    const std::string command = "log";
    ParsedOptions o;
    if (auto done = startCommand(command, args,
                                 {{"port", true},
                                  {"out", true},
                                  {"period", true},
                                  {"message", true},
                                  {"rows", true},
                                  {"seconds", true},
                                  {"test-mode", false},
                                  {"ini", true},
                                  {"comment", true}},
                                 LogHelp, o))
        return *done;
    if (!o.Positional.empty()) return badArguments(command, "unexpected argument '" + o.Positional[0] + "'");
    LinkOptions link;
    if (auto bad = readLinkOptions(command, o, link)) return *bad;
    const std::string outFile = o.value("out");
    if (outFile.empty()) return badArguments(command, "--out FILE is required");
    std::optional<long long> rowLimit;
    if (o.has("rows")) {
        rowLimit = ParseWholeNumber(o.value("rows"), 1, std::numeric_limits<int32_t>::max());
        if (!rowLimit) return badArguments(command, "--rows must be a whole number of at least 1");
    }
    std::optional<double> secondLimit;
    if (o.has("seconds")) {
        secondLimit = ParseSeconds(o.value("seconds"));
        if (!secondLimit || *secondLimit <= 0 || *secondLimit > 2e6)
            return badArguments(command, "--seconds must be a number of seconds above 0, at most 2000000");
    }
    size_t replaced = 0;
    std::string comment = utf8ToCp1252(o.value("comment"), &replaced);
    if (replaced > 0)
        err("Warning: " + std::to_string(replaced) + (replaced == 1 ? " character" : " characters") +
            " of the comment cannot be held in Windows-1252 and became '?'");
    if (comment.size() > 255) {
        err("Warning: the comment is cut to its first 255 bytes");
        comment.resize(255);
    }

    // Find out now, not after an hour of recording, that the file cannot be
    // written there.
    if (auto bad = checkOutputFile(command, outFile)) return *bad;
    // The folder the file goes into: through a symbolic link, the folder of
    // its target, which may be missing although the link's folder is not.
    const std::string target = CheckSaveTarget(outFile);
    const std::string folder = folderOf(target);
    if (::access(folder.c_str(), W_OK) != 0) {
        err("quillmar-cli log: cannot write into folder " + folder +
            (target == outFile ? std::string() : " (where " + outFile + " points)") + ": " +
            std::strerror(errno));
        return ExitFailure;
    }

    TLogCollection collection;
    Acquisition acq(collection);
    CliListener listener;
    acq.setListener(&listener);
    if (auto bad = startAcquisition(acq, command, link)) return *bad;
    if (auto bad = applyPeriods(acq, command, o)) return *bad;

    bool finished = false;
    auto finish = [&] {
        if (finished) return;
        finished = true;
        // Stops logging (trim, derive) and then talking.
        acq.stopTalking();
        QCoreApplication::quit();
    };
    listener.onRow = [&](uint32_t row) {
        if (rowLimit && row >= static_cast<uint64_t>(*rowLimit)) finish();
    };
    listener.onState = silenceNotes(err);
    SignalPipe signalPipe([&] { finish(); });
    QTimer deadline;
    if (secondLimit) {
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        QObject::connect(&deadline, &QTimer::timeout, [&] { finish(); });
        deadline.start(static_cast<int>(std::llround(*secondLimit * 1000.0)));
    }

    if (!acq.startLogging()) return ExitFailure;
    err("Logging to " + outFile + " (Ctrl-C stops and saves)");
    if (acq.currentLog() && acq.currentLog()->Journal())
        err("Journal: " + acq.currentLog()->Journal()->Path());
    QCoreApplication::exec();
    finish();

    const uint64_t dropped = acq.wrongLengthReplies();
    TALDLLog* log = collection.CurrentDataset();
    if (!log || log->Rows == 0) {
        err("quillmar-cli log: no rows were recorded" +
            (dropped ? " (" + std::to_string(dropped) + " replies were dropped for their length: not " +
                           std::to_string(ReplyLength) + " data bytes)"
                     : std::string()) +
            "; nothing saved");
        return ExitFailure;
    }
    log->StoreName = comment;
    // The rows are in memory until a file holds them: the named one, or one
    // of the rescue folders in turn.
    const uint32_t rows = log->Rows;
    std::string savedTo;
    if (saveLog(collection, *log, outFile)) {
        savedTo = outFile;
    } else {
        for (const std::string& folder : rescueFolders()) {
            const std::string rescue = rescueName(folder);
            if (saveLog(collection, *log, rescue)) {
                savedTo = rescue;
                break;
            }
        }
    }
    const double seconds = log->TimeStamp(rows);
    out("Rows: " + std::to_string(rows));
    out("Seconds: " + fixed3(seconds));
    out("Errors: " + std::to_string(errorCount(listener, acq)));
    out("Dropped: " + std::to_string(dropped) + " (replies not " + std::to_string(ReplyLength) +
        " data bytes long)");
    out(silenceSummary(acq.silence()));
    if (savedTo == outFile) {
        out("Saved: " + outFile);
        std::fflush(stdout);
        return ExitOk;
    }
    if (!savedTo.empty()) {
        out("Saved: " + savedTo + " (instead of " + outFile + ")");
        out("Lost: 0 rows");
        std::fflush(stdout);
        err("quillmar-cli log: the recording was saved to " + savedTo + " instead (all " + rowsText(rows) +
            "); " + outFile + " was not written");
        return ExitFailure;
    }
    // Nothing could be written anywhere: only the journal's rows are left,
    // as many as its file holds (a full disk may have cut it short).
    const TJournal* journal = log->Journal();
    const uint64_t kept = journal ? std::min<uint64_t>(journal->RowsInFile(), rows) : 0;
    const uint64_t lost = rows - kept;
    out("Saved: nothing");
    if (journal) out("Journal: " + journal->Path() + " (" + rowsText(kept) + ")");
    out("Lost: " + rowsText(lost));
    std::fflush(stdout);
    std::string says = "quillmar-cli log: no file could be written";
    if (lost == 0)
        says += "; all " + rowsText(rows) + " stay in the journal " + journal->Path() +
                " ('quillmar-cli recover' saves them)";
    else if (kept > 0)
        says += ": " + std::to_string(lost) + " of the " + rowsText(rows) + " are lost; the journal " +
                journal->Path() + " holds the other " + std::to_string(kept) +
                " ('quillmar-cli recover' saves them)";
    else
        says += ": all " + rowsText(rows) + " are lost" +
                (journal ? "; the journal " + journal->Path() + " holds none of them" : std::string());
    err(says);
    return ExitFailure;
}

// ---- watch ------------------------------------------------------------------

int cmdWatch(const std::vector<std::string>& args) {
    const std::string command = "watch";
    ParsedOptions o;
    if (auto done = startCommand(command, args,
                                 {{"port", true},
                                  {"period", true},
                                  {"update", true},
                                  {"message", true},
                                  {"test-mode", false},
                                  {"ini", true},
                                  {"channel", true},
                                  {"channels", true}},
                                 withChannelHelp(WatchHelp), o))
        return *done;
    if (!o.Positional.empty()) return badArguments(command, "unexpected argument '" + o.Positional[0] + "'");
    LinkOptions link;
    if (auto bad = readLinkOptions(command, o, link)) return *bad;

    TLogCollection collection;
    Acquisition acq(collection);
    CliListener listener;
    acq.setListener(&listener);
    if (auto bad = startAcquisition(acq, command, link)) return *bad;
    if (auto bad = applyPeriods(acq, command, o)) return *bad;
    std::unique_ptr<UserChannelSet> channels;
    if (auto bad = ReadUserChannels(command, o, acq.parameters(), channels)) return *bad;
    // On a terminal the table is redrawn in place (cli/CliTerminal.h).
    const std::string where = link.Port.empty() ? std::string("(test mode)") : link.Port;
    LiveScreen screen(stdout, "quillmar-cli watch " + where + "  Ctrl-C ends");
    listener.onErrorLine = [&](const std::string& line) { screen.note(line); };
    // While the engine computer says nothing, one line instead of the table
    // (whose values would only be the last ones it gave).
    auto showNow = [&] {
        if (acq.state() == AcquisitionState::NoAnswer)
            screen.show(std::string(NoAnswerText) + "\n");
        else
            screen.show(WithChannelLines(LiveTableText(acq.parameters(), screen.inPlace()), channels.get(),
                                         acq.parameters()));
    };
    listener.onRefresh = showNow;
    auto notes = silenceNotes([&](const std::string& line) { screen.note(line); });
    listener.onState = [&](AcquisitionState state) {
        notes(state);
        if (state == AcquisitionState::NoAnswer) showNow();
    };
    // Whatever the acquisition reports while it goes, the screen has gone.
    struct Unhook {
        CliListener& listener;
        ~Unhook() {
            listener.onErrorLine = nullptr;
            listener.onRefresh = nullptr;
            listener.onState = nullptr;
        }
    } unhook{listener};
    if (screen.inPlace()) screen.show("Talking; the table comes with the first update.\n");

    SignalPipe signalPipe([&] {
        acq.stopTalking();
        QCoreApplication::quit();
    });
    if (!acq.startTalking()) return ExitFailure;
    QCoreApplication::exec();
    if (acq.acquisitionRunning()) acq.stopTalking();
    return ExitOk;
}

// ---- table and info ------------------------------------------------------------

int cmdTable(const std::vector<std::string>& args) {
    const std::string command = "table";
    ParsedOptions o;
    if (auto done =
            startCommand(command, args, WithChannelOptions({{"ini", true}}), withChannelHelp(TableHelp), o))
        return *done;
    std::shared_ptr<TParameterArray> params;
    OpenedLog opened;
    std::unique_ptr<UserChannelSet> channels;
    if (auto bad = OpenLogWithChannels(command, o, params, opened, channels)) return *bad;
    bool writeFailed = false;
    WriteDatasetTable(*params, *opened.Log, ".", [&](const std::string& piece) {
        if (!writeFailed && std::fwrite(piece.data(), 1, piece.size(), stdout) != piece.size())
            writeFailed = true;
    });
    if (std::fflush(stdout) != 0 || writeFailed) {
        err("quillmar-cli table: cannot write to stdout");
        return ExitFailure;
    }
    return ExitOk;
}

int cmdInfo(const std::vector<std::string>& args) {
    const std::string command = "info";
    ParsedOptions o;
    if (auto done = startCommand(command, args, {{"ini", true}}, InfoHelp, o)) return *done;
    std::shared_ptr<TParameterArray> params;
    OpenedLog opened;
    if (auto bad = OpenLogForReading(command, o, params, opened)) return *bad;
    const TALDLLog& log = *opened.Log;
    const uint32_t rows = log.Rows;
    double duration = 0, distance = 0;
    if (rows > 0) {
        duration = log.TimeStamp(rows) - log.TimeStamp(1);
        const TDoubleArray& dist = log.Derived[DistanceSlot];
        if (rows < dist.size()) distance = dist[rows];
    }
    out("File: " + o.Positional[0]);
    out("Rows: " + std::to_string(rows));
    out("Columns: " + std::to_string(log.Columns));
    out("Duration: " + fixed3(duration) + " s");
    out("Distance: " + fixed3(distance) + " miles");
    out("Comment: " + cp1252ToUtf8(log.StoreName));
    // The bookmarks saved beside the log, read with it (a line that is not
    // one was a warning of the opening).
    for (const Bookmark& b : log.Bookmarks)
        out("Bookmark " + std::to_string(b.Number) + " at " + FormatBookmarkTime(b.Time) + " s" +
            (b.Note.empty() ? std::string() : ": " + b.Note));
    std::fflush(stdout);
    return ExitOk;
}

// ---- dump-prom ------------------------------------------------------------------

int cmdDumpProm(const std::vector<std::string>& args) {
    const std::string command = "dump-prom";
    ParsedOptions o;
    if (auto done = startCommand(
            command, args, {{"port", true}, {"out", true}, {"test-mode", false}, {"ini", true}}, DumpHelp, o))
        return *done;
    if (!o.Positional.empty()) return badArguments(command, "unexpected argument '" + o.Positional[0] + "'");
    LinkOptions link;
    if (auto bad = readLinkOptions(command, o, link)) return *bad;
    const std::string outFile = o.value("out");
    if (outFile.empty()) return badArguments(command, "--out FILE is required");
    if (auto bad = checkOutputFile(command, outFile)) return *bad;

    TLogCollection collection;
    Acquisition acq(collection);
    CliListener listener;
    acq.setListener(&listener);
    if (auto bad = startAcquisition(acq, command, link)) return *bad;
    SignalPipe signalPipe([&] { acq.cancelPromDump(); });
    listener.onPromDumpFinished = [] { QCoreApplication::quit(); };
    if (acq.startPromDump(outFile)) QCoreApplication::exec();
    if (acq.promDumpResult() != PromDumpResult::Written) {
        err("quillmar-cli dump-prom: no image written");
        return ExitFailure;
    }
    out("Wrote 32768 bytes to " + outFile);
    std::fflush(stdout);
    return ExitOk;
}

// ---- create-ini -------------------------------------------------------------------

int cmdCreateIni(const std::vector<std::string>& args) {
    const std::string command = "create-ini";
    ParsedOptions o;
    if (auto done = startCommand(command, args, {{"ini", true}}, CreateIniHelp, o)) return *done;
    if (!o.Positional.empty()) return badArguments(command, "unexpected argument '" + o.Positional[0] + "'");
    const std::string path = o.value("ini").empty() ? DefaultIniPath() : o.value("ini");
    if (auto bad = checkOutputFile(command, path)) return *bad;
    // Read without writing, then write once.
    std::shared_ptr<TParameterArray> params = std::make_shared<TParameterArray>();
    LoadResult loaded;
    const TableCheck check = LoadCheckedParameters(path, *params, nullptr, MissingTable::UseBuiltIn, &loaded);
    for (const std::string& warning : loaded.Warnings)
        err("Warning: " + warning);
    if (!check.Ok) {
        err((check.Caption.empty() ? std::string("error") : check.Caption) + ": " + check.Message);
        return ExitBadInput;
    }
    try {
        SaveIniFile(path, *params);
    } catch (const std::exception& e) {
        err(std::string("quillmar-cli create-ini: ") + e.what());
        return ExitFailure;
    }
    out("Wrote " + std::to_string(params->size()) + " parameters to " + path);
    return ExitOk;
}

int dispatch(std::vector<std::string> args) {
    if (args.empty()) {
        std::fputs(MainHelp, stderr);
        return ExitBadInput;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(MainHelp, stdout);
        return ExitOk;
    }
    if (command == "--version") {
        out(std::string("quillmar-cli ") + QUILLMAR_VERSION);
        return ExitOk;
    }
    if (command == "log") return cmdLog(args);
    if (command == "watch") return cmdWatch(args);
    if (command == "table") return cmdTable(args);
    if (command == "info") return cmdInfo(args);
    if (command == "export") return CmdExport(args);
    if (command == "plot") return CmdPlot(args);
    if (command == "histogram") return CmdHistogram(args);
    if (command == "dump-prom") return cmdDumpProm(args);
    if (command == "create-ini") return cmdCreateIni(args);
    if (command == "recover") return CmdRecover(args);
    if (command == "ports") return CmdPorts(args);
    err("quillmar-cli: unknown command '" + command + "'");
    std::fputs(MainHelp, stderr);
    return ExitBadInput;
}

} // namespace

int RunCli(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> app = MakeCliApplication(argc, argv);
    // QCoreApplication takes the user's locale; our numbers never do.
    std::setlocale(LC_NUMERIC, "C");
    CliMessenger messenger;
    struct Installed {
        Messenger* previous;
        ~Installed() { setMessenger(previous); }
    } installed{setMessenger(&messenger)};
    // Nothing unforeseen may end the program without a word.
    try {
        return dispatch(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        err("quillmar-cli: out of memory");
    } catch (const std::exception& e) {
        err(std::string("quillmar-cli: ") + e.what());
    } catch (...) {
        err("quillmar-cli: unexpected error");
    }
    return ExitBadInput;
}

} // namespace quillmar
