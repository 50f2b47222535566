#include "cli/CliOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace quillmar {

std::string ParsedOptions::value(const std::string& name) const {
    const auto it = Values.find(name);
    return it == Values.end() ? std::string() : it->second;
}

ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
    ParsedOptions out;
    auto find = [&](const std::string& name) -> const OptionSpec* {
        if (name == "help") {
            static const OptionSpec help{"help", false};
            return &help;
        }
        for (const auto& s : specs)
            if (s.Name == name) return &s;
        return nullptr;
    };
    bool onlyPositional = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositional || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            out.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = a.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionSpec* option = find(name);
        if (!option) {
            out.Error = "unknown option --" + name;
            return out;
        }
        if (!option->TakesValue) {
            if (inlineValue) {
                out.Error = "option --" + name + " takes no value";
                return out;
            }
            out.Values[name] = "";
            continue;
        }
        if (inlineValue) {
            out.Values[name] = *inlineValue;
        } else if (i + 1 < args.size()) {
            out.Values[name] = args[++i];
        } else {
            out.Error = "option --" + name + " needs a value";
            return out;
        }
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

std::optional<double> ParseSeconds(const std::string& text) {
    // Digits with at most one decimal point: no exponents, hexadecimal or names.
    int digits = 0, points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0) return std::nullopt;
    return v;
}

} // namespace quillmar
