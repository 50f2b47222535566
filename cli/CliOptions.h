#pragma once
// Command-line options of quillmar-cli: "--name value", "--name=value" and
// bare "--flag" options after the command word, plus positional arguments.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

struct OptionSpec {
    std::string Name; // without the leading "--"
    bool TakesValue = false;
};

struct ParsedOptions {
    std::map<std::string, std::string> Values; // flags map to ""
    std::vector<std::string> Positional;
    std::string Error; // empty when the line parsed

    bool has(const std::string& name) const { return Values.count(name) != 0; }
    std::string value(const std::string& name) const;
};

// Parses args (the words after the command). "--help" is always known.
ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

// Numbers on the command line follow one rule: decimal digits only, no
// blanks around them, no '+'; a '-' only where negative numbers are allowed.

// A whole number within [low, high]; nullopt otherwise (blanks, '+', junk).
std::optional<long long> ParseWholeNumber(const std::string& text, long long low, long long high);

// A non-negative decimal number of seconds (digits with an optional
// fraction); nullopt otherwise.
std::optional<double> ParseSeconds(const std::string& text);

} // namespace quillmar
