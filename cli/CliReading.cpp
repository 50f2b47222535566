#include "cli/CliReading.h"

#include "acquisition/params/Parameters.h"
#include "acquisition/params/ProtocolFile.h"
#include "cli/CliCommands.h"

#include <cstdio>
#include <exception>

namespace quillmar {

void ErrorLine(const std::string& line) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int BadArguments(const std::string& command, const std::string& why) {
    ErrorLine("quillmar-cli " + command + ": " + why);
    ErrorLine("Try 'quillmar-cli " + command + " --help'.");
    return ExitBadInput;
}

std::optional<int> LoadTableForReading(const std::string& ini, std::shared_ptr<TParameterArray>& params) {
    params = std::make_shared<TParameterArray>();
    const std::string path = ini.empty() ? DefaultIniPath() : ini;
    LoadResult loaded;
    const TableCheck check = LoadCheckedParameters(path, *params, nullptr, MissingTable::UseBuiltIn, &loaded);
    for (const std::string& warning : loaded.Warnings)
        ErrorLine("Warning: " + warning);
    if (!check.Ok) {
        ErrorLine((check.Caption.empty() ? std::string("error") : check.Caption) + ": " + check.Message);
        return ExitBadInput;
    }
    if (!ini.empty() && loaded.UsedBuiltIn)
        ErrorLine("Warning: the protocol file " + path +
                  (loaded.FileMissing ? " does not exist" : " holds no section [Parameter 1]") +
                  "; using the built-in table");
    FillBitNames(*params);
    return std::nullopt;
}

std::optional<int> OpenLogForReading(const std::string& command, const ParsedOptions& o,
                                     std::shared_ptr<TParameterArray>& params, OpenedLog& opened) {
    if (o.Positional.size() != 1)
        return BadArguments(command,
                            o.Positional.empty() ? "give the log file to read" : "give exactly one log file");
    if (auto bad = LoadTableForReading(o.value("ini"), params)) return *bad;
    try {
        opened = OpenLogFile(o.Positional[0], params);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }
    for (const auto& w : opened.Warnings)
        ErrorLine("Warning: " + w);
    return std::nullopt;
}

} // namespace quillmar
