#pragma once
// Command-line options of quillmar-cli: "--name value", "--name=value" and
// bare "--flag" options after the command word, plus positional arguments,
// through the programs' one parser (store/base/CommandLine.h).

#include "store/base/CommandLine.h"

#include <optional>
#include <string>
#include <vector>

namespace quillmar {

struct OptionSpec {
    std::string Name; // without the leading "--"
    bool TakesValue = false;
};

struct ParsedOptions {
    ParsedCommandLine Line;
    std::vector<std::string> Positional;
    std::string Error; // empty when the line parsed

    bool has(const std::string& name) const { return Line.has("--" + name); }
    // The last value given; empty when the option is not given.
    std::string value(const std::string& name) const { return Line.value("--" + name); }
    // Every value given, in order.
    std::vector<std::string> values(const std::string& name) const { return Line.values("--" + name); }
};

// Parses args (the words after the command). "--help" is always known.
ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& declared);

// A non-negative decimal number of seconds (digits with an optional
// fraction); nullopt otherwise.
std::optional<double> ParseSeconds(const std::string& text);

} // namespace quillmar
