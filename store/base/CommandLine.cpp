#include "store/base/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quillmar {

bool ParsedCommandLine::has(const std::string& name) const {
    return std::any_of(Items.begin(), Items.end(),
                       [&](const CommandLineItem& item) { return item.Name == name; });
}

std::vector<std::string> ParsedCommandLine::values(const std::string& name) const {
    std::vector<std::string> found;
    for (const CommandLineItem& item : Items)
        if (item.Name == name) found.push_back(item.Value);
    return found;
}

std::string ParsedCommandLine::value(const std::string& name) const {
    for (auto it = Items.rbegin(); it != Items.rend(); ++it)
        if (it->Name == name) return it->Value;
    return {};
}

std::vector<std::string> ParsedCommandLine::positionals() const {
    std::vector<std::string> found;
    for (const CommandLineItem& item : Items)
        if (item.Name.empty()) found.push_back(item.Value);
    return found;
}

namespace {

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

const CommandLineOption* findOption(const std::vector<CommandLineOption>& options, const std::string& name) {
    for (const CommandLineOption& option : options) {
        if (option.Name == name) return &option;
        if (std::find(option.Aliases.begin(), option.Aliases.end(), name) != option.Aliases.end())
            return &option;
    }
    return nullptr;
}

bool isOptionWord(const std::string& word, const CommandLineSyntax& syntax) {
    if (!syntax.Positionals) return true;
    if (word.size() < 2) return false;
    return startsWith(word, syntax.SingleDashOptions ? "-" : "--");
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& words,
                                   const std::vector<CommandLineOption>& options,
                                   const CommandLineSyntax& syntax) {
    ParsedCommandLine out;
    auto fail = [&](CommandLineProblem problem, const std::string& word, const std::string& name) {
        out.Problem = problem;
        out.ProblemWord = word;
        out.ProblemName = name;
        return out;
    };
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || !isOptionWord(word, syntax)) {
            out.Items.push_back({std::string(), word, false});
            continue;
        }
        if (syntax.DoubleDashEnds && word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::string value;
        bool hasValue = false;
        if (syntax.InlineValues && startsWith(word, "--")) {
            if (const auto eq = word.find('='); eq != std::string::npos) {
                name = word.substr(0, eq);
                value = word.substr(eq + 1);
                hasValue = true;
            }
        }
        const CommandLineOption* option = findOption(options, name);
        if (!option) return fail(CommandLineProblem::UnknownOption, word, name);
        if (!option->TakesValue) {
            out.Items.push_back({option->Name, value, hasValue});
            if (hasValue) return fail(CommandLineProblem::TakesNoValue, word, name);
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= words.size()) return fail(CommandLineProblem::NeedsValue, word, name);
            value = words[++i];
        }
        out.Items.push_back({option->Name, value, true});
    }
    return out;
}

std::optional<long long> ParseWholeNumber(const std::string& text, long long low, long long high) {
    if (text.empty()) return std::nullopt;
    const char first = text[0];
    if (!(first == '-' || (first >= '0' && first <= '9'))) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
    if (v < low || v > high) return std::nullopt;
    return v;
}

std::optional<double> ParseDecimalNumber(const std::string& text, bool whole) {
    // Digits with at most one decimal point: no exponents, hexadecimal or names.
    int digits = 0, points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.' && !whole)
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1) return std::nullopt;
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

} // namespace quillmar
