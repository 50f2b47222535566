#include "cli/CliRecover.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliReading.h"
#include "store/Journal.h"
#include "store/base/AtomicFile.h"
#include "store/dataset/JournalRecovery.h"
#include "store/dataset/LogCollection.h"

#include <sys/stat.h>

#include <cstdio>
#include <exception>

namespace quillmar {

const char* const RecoverHelp = "Usage: quillmar-cli recover [--list] [--out FILE.ecu] [JOURNAL]\n"
                                "While a recording runs, every row also goes to a journal in\n"
                                "$XDG_STATE_HOME/Quillmar (~/.local/state/Quillmar when XDG_STATE_HOME is\n"
                                "unset), written to disk at least once a second. A recording that ends\n"
                                "without being saved (a crash, a kill, a power loss) leaves its journal\n"
                                "there; this command turns it into a log file. Journals of recordings\n"
                                "still running are left alone.\n"
                                "\n"
                                "  --list       list the journals: file, start time, rows\n"
                                "  --out FILE   the log file to write (replaced atomically); when several\n"
                                "               journals are recovered, each goes beside it as\n"
                                "               FILE-<start time>.ecu\n"
                                "  JOURNAL      recover only this journal (a path, or a name in the folder)\n"
                                "Without --out each recording goes to recovered-<start time>.ecu in the\n"
                                "current folder. A journal is removed once its log file is saved; rows it\n"
                                "holds that are cut off or damaged are counted and left out.\n";

namespace {

void out(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

std::string rowsText(uint32_t n) {
    return std::to_string(n) + (n == 1 ? " row" : " rows");
}

// "2026-12-08 10:46:39" as a part of a file name: "20261208-104639".
std::string stampForName(double days) {
    std::string name;
    for (const char c : DateTimeText(days)) {
        if (c == ' ')
            name += '-';
        else if (c >= '0' && c <= '9')
            name += c;
    }
    return name.empty() ? "unknown" : name;
}

bool taken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// folder/stem-<stamp>.ecu, or with -2, -3 ... when that name is taken.
std::string freeName(const std::string& folder, const std::string& stem, double days) {
    const std::string base =
        (folder.empty() ? std::string() : folder + "/") + stem + "-" + stampForName(days);
    std::string name = base + ".ecu";
    for (int n = 2; taken(name); ++n)
        name = base + "-" + std::to_string(n) + ".ecu";
    return name;
}

// The folder and the stem of --out ("runs/drive.ecu": "runs", "drive").
void splitOut(const std::string& file, std::string& folder, std::string& stem) {
    const size_t slash = file.find_last_of('/');
    folder = slash == std::string::npos ? std::string() : file.substr(0, slash == 0 ? 1 : slash);
    stem = slash == std::string::npos ? file : file.substr(slash + 1);
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0) stem.resize(dot);
}

int listJournals(const std::string& folder) {
    size_t inUse = 0;
    const std::vector<JournalInfo> journals = ListJournals(folder, &inUse);
    for (const JournalInfo& j : journals) {
        if (!j.Problem.empty()) {
            out(j.Path + "\t\t\tcannot be read: " + j.Problem);
            continue;
        }
        std::string line = j.Path + "\t" + DateTimeText(j.StartTime) + "\t" + rowsText(j.Rows);
        if (j.Dropped > 0) line += "\t" + std::to_string(j.Dropped) + " damaged";
        out(line);
    }
    std::fflush(stdout);
    if (journals.empty()) ErrorLine("No journals to recover in " + folder);
    if (inUse > 0)
        ErrorLine(std::to_string(inUse) + (inUse == 1 ? " journal belongs" : " journals belong") +
                  " to a recording still running");
    return ExitOk;
}

} // namespace

int CmdRecover(const std::vector<std::string>& args) {
    const std::string command = "recover";
    const ParsedOptions o = ParseOptions(args, {{"list", false}, {"out", true}});
    if (!o.Error.empty()) return BadArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(RecoverHelp, stdout);
        return ExitOk;
    }
    if (o.Positional.size() > 1)
        return BadArguments(command, "unexpected argument '" + o.Positional[1] + "'");
    const std::string folder = DefaultJournalFolder();
    if (o.has("list")) {
        if (o.has("out") || !o.Positional.empty())
            return BadArguments(command, "--list takes no other argument");
        return listJournals(folder);
    }
    if (o.has("out") && o.value("out").empty()) return BadArguments(command, "--out needs a file name");

    // The journals to recover: the one named, or every one found.
    std::vector<std::string> paths;
    if (!o.Positional.empty()) {
        std::string named = o.Positional[0];
        if (named.find('/') == std::string::npos && !taken(named)) named = folder + "/" + named;
        if (!taken(named)) {
            ErrorLine("quillmar-cli recover: no journal " + o.Positional[0]);
            return ExitBadInput;
        }
        paths.push_back(named);
    } else {
        size_t inUse = 0;
        for (const JournalInfo& j : ListJournals(folder, &inUse)) {
            if (j.Problem.empty())
                paths.push_back(j.Path);
            else
                ErrorLine("Warning: " + j.Problem + "; left alone");
        }
        if (inUse > 0)
            ErrorLine(std::to_string(inUse) + (inUse == 1 ? " journal belongs" : " journals belong") +
                      " to a recording still running and is left alone");
        if (paths.empty()) {
            ErrorLine("No journals to recover in " + folder);
            return ExitOk;
        }
    }
    std::string outFolder, outStem = "recovered";
    if (o.has("out")) splitOut(o.value("out"), outFolder, outStem);
    const bool several = paths.size() > 1;

    TLogCollection collection;
    int status = ExitOk;
    for (const std::string& path : paths) {
        RecoveredJournal r;
        try {
            r = RecoverJournal(collection, path);
        } catch (const FileError& e) {
            ErrorLine("quillmar-cli recover: " + std::string(e.what()));
            status = o.Positional.empty() ? ExitFailure : ExitBadInput;
            continue;
        }
        if (r.Dropped > 0)
            ErrorLine("Warning: " + path + ": " + std::to_string(r.Dropped) + " damaged or cut-off " +
                      (r.Dropped == 1 ? "row" : "rows") + " could not be read");
        if (!r.Dataset) {
            ErrorLine(path + " holds no whole row: nothing to recover; removed");
            continue;
        }
        const std::string file =
            o.has("out") && !several ? o.value("out") : freeName(outFolder, outStem, r.StartTime);
        try {
            CheckSaveTarget(file);
            collection.Save(*r.Dataset, file);
        } catch (const std::exception& e) {
            ErrorLine("quillmar-cli recover: " + std::string(e.what()) + "; the journal " + path +
                      " is kept");
            status = ExitFailure;
            continue;
        }
        out("Recovered " + rowsText(r.Rows) + " (recording started " + DateTimeText(r.StartTime) + ") into " +
            file);
    }
    std::fflush(stdout);
    return status;
}

} // namespace quillmar
