#pragma once
// The one parser of the programs' command lines (quillmar, quillmar-cli and
// quillmar-ecusim). It splits the words into options and positional
// arguments and says what is wrong with them; what the options mean, and
// every text the user reads, is up to the program.
//
// The programs differ in a few points of syntax, which CommandLineSyntax
// names. Every occurrence of an option is kept, in the order given: a
// program that wants the last one asks value(), one that takes a list asks
// values().

#include <optional>
#include <string>
#include <vector>

namespace quillmar {

struct CommandLineOption {
    std::string Name;                 // as typed, "--port"
    bool TakesValue = false;          // "--port PORT" (and "--port=PORT" where allowed)
    std::vector<std::string> Aliases; // other spellings of the same option, "-h"
};

struct CommandLineSyntax {
    bool InlineValues = true;       // a word "--name=value" gives the value with the name
    bool DoubleDashEnds = true;     // a lone "--" ends the options
    bool SingleDashOptions = false; // "-x" is an option word, not a positional argument
    bool Positionals = true;        // false: every word is an option word
};

enum class CommandLineProblem { None, UnknownOption, NeedsValue, TakesNoValue };

// One option or positional argument, in the order of the words.
struct CommandLineItem {
    std::string Name;      // the option's Name (an alias gives it too); empty for a positional argument
    std::string Value;     // the option's value, or the positional argument
    bool HasValue = false; // an option given a value
};

struct ParsedCommandLine {
    // Every item up to the first problem. An option given a value it does
    // not take is kept as well, before the problem.
    std::vector<CommandLineItem> Items;
    CommandLineProblem Problem = CommandLineProblem::None;
    std::string ProblemWord; // the whole word at fault: "--bogus=1"
    std::string ProblemName; // its option name: "--bogus"

    bool ok() const { return Problem == CommandLineProblem::None; }
    bool has(const std::string& name) const;
    // Every value of the option, in the order given.
    std::vector<std::string> values(const std::string& name) const;
    // The value of its last occurrence; empty when it is not given.
    std::string value(const std::string& name) const;
    std::vector<std::string> positionals() const;
};

// Parses words (those after the program name, or after a command word).
// Parsing stops at the first problem.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words,
                                   const std::vector<CommandLineOption>& options,
                                   const CommandLineSyntax& syntax = {});

// Numbers on the command lines follow one rule: decimal digits only, no
// blanks around them, no '+', no exponent.

// A whole number within [low, high] (a leading '-' where low allows
// negative numbers); nullopt otherwise.
std::optional<long long> ParseWholeNumber(const std::string& text, long long low, long long high);

// Digits with at most one decimal point (none when whole), no sign; nullopt
// otherwise.
std::optional<double> ParseDecimalNumber(const std::string& text, bool whole = false);

} // namespace quillmar
