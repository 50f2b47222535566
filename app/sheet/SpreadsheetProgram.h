#pragma once
// Finding the desktop's spreadsheet application and the user's documents
// folder, and starting the application on a workbook so that it lives on by
// itself.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

// The MIME type of .xlsx workbooks.
inline constexpr const char* XlsxMimeType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

struct SpreadsheetProgram {
    std::string Name;              // for messages: the desktop file's Name, or the program
    std::vector<std::string> Argv; // the command; may hold the desktop field codes %f %F %u %U
    std::string DesktopFile;       // the desktop file it came from, if any

    // The command line that opens file: field codes replaced by it, or the
    // file appended when the command has none.
    std::vector<std::string> CommandFor(const std::string& file) const;
};

// What the search looks at; the desktop's own values come from
// DesktopProgramLookup(), tests give their own.
struct ProgramLookup {
    // The desktop file id of the default application for a MIME type
    // ("libreoffice-calc.desktop"), empty when there is none.
    std::function<std::string(const std::string& mimeType)> QueryDefault;
    // Folders holding desktop files, most important first.
    std::vector<std::string> ApplicationFolders;
    // The search path for programs, as in PATH.
    std::string Path;
};

// xdg-mime for the default, $XDG_DATA_HOME and $XDG_DATA_DIRS for the desktop
// files, $PATH.
ProgramLookup DesktopProgramLookup();

// The default application for .xlsx files when its desktop file can be found
// and its program is installed; else the first of the known spreadsheet
// programs on the path (localc, libreoffice --calc, soffice --calc, gnumeric,
// ...); else nothing.
std::optional<SpreadsheetProgram> FindSpreadsheetProgram(const ProgramLookup& lookup);

// The arguments of a desktop file's Exec value, with its escapes and quoting
// undone; field codes stay in place. Nothing when the value is malformed.
std::optional<std::vector<std::string>> SplitDesktopExec(const std::string& exec);

// The desktop entry of a desktop file (Name, Exec, TryExec, Hidden, Type), or
// nothing when it has no usable Exec.
std::optional<SpreadsheetProgram> ReadDesktopFile(const std::string& path, const std::string& searchPath);

// The full path of program as the shell would find it in searchPath (a name
// with a '/' is taken as it is), empty when it is not an executable file.
std::string FindOnPath(const std::string& program, const std::string& searchPath);

// Starts command in a session of its own, its standard streams on /dev/null,
// and does not wait for it: the program outlives the export and leaves no
// zombie behind. Throws SheetError when it cannot be started.
void OpenDetached(const std::vector<std::string>& command);

// Runs command and returns its standard output, or nothing when it fails,
// exits with an error, or takes longer than timeoutMs (it is then killed).
std::optional<std::string> RunForOutput(const std::vector<std::string>& command, int timeoutMs);

// What decides the documents folder.
struct DocumentsLookup {
    std::string Home;       // the home folder: homeFolder() on the desktop
    std::string ConfigHome; // xdgConfigHome() on the desktop
    // xdg-user-dir DOCUMENTS, trimmed; empty when it cannot be run.
    std::function<std::string()> XdgUserDir;
};

DocumentsLookup DesktopDocumentsLookup();

// XDG_DOCUMENTS_DIR of ConfigHome/user-dirs.dirs; else what xdg-user-dir
// answers unless that is just the home folder; else Home/Documents.
std::string FindDocumentsFolder(const DocumentsLookup& lookup);

} // namespace quillmar
