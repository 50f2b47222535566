#include "cli/CliExport.h"

#include "app/sheet/ExportTables.h"
#include "app/sheet/SheetExports.h"
#include "cli/CliChannels.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliReading.h"
#include "store/base/AtomicFile.h"
#include "store/dataset/ALDLLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>

namespace quillmar {

const char* const ExportHelp =
    "Usage: quillmar-cli export FILE.ecu --out FILE [--ini FILE] [--channel LINE ...]\n"
    "                           [--channels FILE]\n"
    "Writes a log file in the form the extension of --out names:\n"
    "  .xlsx  a workbook holding the dataset table as the desktop program's\n"
    "         \"Export Data to Excel\" leaves it: names, units, numbers as numbers\n"
    "  .csv   one header row (name and unit), comma separated, '.' as the\n"
    "         decimal point, UTF-8\n"
    "  .tsv   the dataset table text, as 'quillmar-cli table' prints it\n"
    "User channels follow as the last columns; a row without a value is an\n"
    "empty cell. An existing file is replaced only once the new one is complete.\n"
    "\n"
    "  --out FILE       the file to write (.xlsx, .csv or .tsv)\n"
    "  --ini FILE       the protocol file (default: the user's config folder)\n";

namespace {

enum class ExportKind { Workbook, Csv, TableText };

// The kind the file name's extension asks for, in any letter case.
std::optional<ExportKind> exportKind(const std::string& fileName) {
    std::string ext = std::filesystem::path(fileName).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".xlsx") return ExportKind::Workbook;
    if (ext == ".csv") return ExportKind::Csv;
    if (ext == ".tsv") return ExportKind::TableText;
    return std::nullopt;
}

} // namespace

int CmdExport(const std::vector<std::string>& args) {
    const std::string command = "export";
    const ParsedOptions o = ParseOptions(args, WithChannelOptions({{"out", true}, {"ini", true}}));
    if (!o.Error.empty()) return BadArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(ExportHelp, stdout);
        std::fputs(ChannelOptionsHelp, stdout);
        return ExitOk;
    }
    const std::string outFile = o.value("out");
    if (outFile.empty()) return BadArguments(command, "--out FILE is required");
    const std::optional<ExportKind> kind = exportKind(outFile);
    if (!kind)
        return BadArguments(command, "cannot tell the format of '" + outFile +
                                         "': the name must end in .xlsx, .csv or .tsv");
    try {
        CheckSaveTarget(outFile);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }

    std::shared_ptr<TParameterArray> params;
    OpenedLog opened;
    std::unique_ptr<UserChannelSet> channels;
    if (auto bad = OpenLogWithChannels(command, o, params, opened, channels)) return *bad;
    const TALDLLog& log = *opened.Log;
    try {
        switch (*kind) {
        case ExportKind::Workbook:
            WriteDatasetWorkbook(outFile, *params, log);
            break;
        case ExportKind::Csv:
            WriteDatasetCsvFile(outFile, *params, log);
            break;
        case ExportKind::TableText:
            WriteFileAtomically(outFile, DatasetTableText(*params, log, "."));
            break;
        }
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitFailure;
    }
    std::printf("Wrote %u rows to %s\n", log.Rows, outFile.c_str());
    std::fflush(stdout);
    return ExitOk;
}

} // namespace quillmar
