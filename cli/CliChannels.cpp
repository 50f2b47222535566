#include "cli/CliChannels.h"

#include "cli/CliCommands.h"
#include "cli/CliReading.h"
#include "store/base/FileError.h"
#include "store/base/InputFile.h"
#include "store/dataset/ALDLLog.h"

#include <exception>

namespace quillmar {

namespace {

// A channels file is a few lines of text.
constexpr uint64_t ChannelsFileLimit = 1 << 20;

} // namespace

const std::vector<OptionSpec> ChannelOptionSpecs = {{"channel", true}, {"channels", true}};

const char* const ChannelOptionsHelp =
    "  --channel LINE   a user channel, NAME=EXPR or NAME [UNIT]=EXPR: an\n"
    "                   expression over the parameters, each named in brackets,\n"
    "                   such as \"Load [kPa]=[Manifold press (abs).] * 100\";\n"
    "                   repeatable, and a channel may use those before it\n"
    "  --channels FILE  user channels from a file, one such line each (blank\n"
    "                   lines and lines starting with '#' are skipped)\n";

std::vector<OptionSpec> WithChannelOptions(std::vector<OptionSpec> options) {
    options.insert(options.end(), ChannelOptionSpecs.begin(), ChannelOptionSpecs.end());
    return options;
}

std::optional<int> ReadUserChannels(const std::string& command, const ParsedOptions& o,
                                    const TParameterArray& params,
                                    std::unique_ptr<UserChannelSet>& channels) {
    channels.reset();
    UserChannelList list;
    try {
        for (const CommandLineItem& item : o.Line.Items) {
            if (item.Name == "--channel") {
                list.Channels.push_back(ParseUserChannelLine(item.Value));
            } else if (item.Name == "--channels") {
                const std::vector<uint8_t> bytes =
                    ReadInputFile(item.Value, ChannelsFileLimit, "a channels file");
                const UserChannelList file =
                    UserChannelList::Parse(std::string(bytes.begin(), bytes.end()), item.Value);
                list.Channels.insert(list.Channels.end(), file.Channels.begin(), file.Channels.end());
            }
        }
        if (list.Channels.empty()) return std::nullopt;
        channels = std::make_unique<UserChannelSet>(list, params);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }
    return std::nullopt;
}

std::optional<int> OpenLogWithChannels(const std::string& command, const ParsedOptions& o,
                                       std::shared_ptr<TParameterArray>& params, OpenedLog& opened,
                                       std::unique_ptr<UserChannelSet>& channels) {
    if (o.Positional.size() != 1)
        return BadArguments(command,
                            o.Positional.empty() ? "give the log file to read" : "give exactly one log file");
    if (auto bad = LoadTableForReading(o.value("ini"), params)) return *bad;
    if (auto bad = ReadUserChannels(command, o, *params, channels)) return *bad;
    try {
        opened = OpenLogFile(o.Positional[0], params);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }
    for (const auto& w : opened.Warnings)
        ErrorLine("Warning: " + w);
    if (channels) channels->Compute(*opened.Log);
    return std::nullopt;
}

std::string WithChannelLines(std::string liveTable, const UserChannelSet* channels,
                             const TParameterArray& params) {
    if (!channels || channels->empty()) return liveTable;
    if (!liveTable.empty() && liveTable.back() == '\n') liveTable.pop_back();
    return liveTable + UserChannelLiveText(channels->List(), channels->LiveValues(params)) + "\n";
}

} // namespace quillmar
