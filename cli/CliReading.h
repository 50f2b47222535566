#pragma once
// What every quillmar-cli command that reads a log file shares (table, info,
// and those that plot or export one): how it reports, which parameter table
// it uses, and how it opens the file. None of them creates or changes a file.

#include "acquisition/params/ParameterTypes.h"
#include "cli/CliOptions.h"
#include "store/dataset/LogCollection.h"

#include <memory>
#include <optional>
#include <string>

namespace quillmar {

// One line on stderr, flushed at once.
void ErrorLine(const std::string& line);

// "quillmar-cli COMMAND: why" and the hint to --help; returns ExitBadInput.
int BadArguments(const std::string& command, const std::string& why);

// The table in force for a command that only reads. Nothing is created: when
// the protocol file (ini, or the default one when ini is empty) is missing or
// holds no table, the built-in table is used, and when the user named the
// file, stderr says so ("Warning: the protocol file F does not exist; using
// the built-in table"). An exit status when the table is unusable (the
// message is out).
std::optional<int> LoadTableForReading(const std::string& ini, std::shared_ptr<TParameterArray>& params);

// The one log file a reading command names (its single positional argument),
// read with the table of its --ini option and finished as the desktop
// program opens it; its warnings go to stderr. An exit status on failure.
std::optional<int> OpenLogForReading(const std::string& command, const ParsedOptions& o,
                                     std::shared_ptr<TParameterArray>& params, OpenedLog& opened);

} // namespace quillmar
