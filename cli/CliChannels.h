#pragma once
// User channels on the command line: --channel "NAME [UNIT]=EXPR"
// (repeatable) and --channels FILE (one such line each), which table,
// export, plot, histogram and watch take. The channels are compiled against
// the table in force before any file is read, and a bad one ends the
// command with status 2 and its message on stderr.

#include "acquisition/params/ParameterTypes.h"
#include "cli/CliOptions.h"
#include "store/analysis/UserChannels.h"
#include "store/dataset/LogCollection.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

// The two options, for a command's option list.
extern const std::vector<OptionSpec> ChannelOptionSpecs;
// Their lines in a command's help.
extern const char* const ChannelOptionsHelp;

// The options plus the channel options.
std::vector<OptionSpec> WithChannelOptions(std::vector<OptionSpec> options);

// The channels the command line defines, in the order given (a file's in
// its order, where the file is named), compiled against params; nullptr
// when there are none. An exit status when one is bad or a file cannot be
// read (the message is out).
std::optional<int> ReadUserChannels(const std::string& command, const ParsedOptions& o,
                                    const TParameterArray& params, std::unique_ptr<UserChannelSet>& channels);

// OpenLogForReading with the user channels: the table, then the channels
// against it, then the one log file, whose channels are computed.
std::optional<int> OpenLogWithChannels(const std::string& command, const ParsedOptions& o,
                                       std::shared_ptr<TParameterArray>& params, OpenedLog& opened,
                                       std::unique_ptr<UserChannelSet>& channels);

// The live table text (LiveTableText) with the channels' live lines after
// the parameters, before the table's closing empty line.
std::string WithChannelLines(std::string liveTable, const UserChannelSet* channels,
                             const TParameterArray& params);

} // namespace quillmar
