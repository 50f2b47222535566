// Display texts of parameter values and the general number format of our files.

#include "acquisition/params/Parameters.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <locale.h>

namespace quillmar {
namespace {

// printf always formats in the C locale here: a front end may have switched
// the process locale, and a ',' separator must not leak into our texts.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale) previous_ = uselocale(cLocale);
    }
    ~CLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

struct Conversion {
    size_t start = 0; // index of '%'
    size_t end = 0;   // one past the conversion character
    char kind = 0;    // conversion character
    bool alternate = false;
};

bool isIntegerConversion(char c) {
    return c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X' || c == 'o';
}

// Parses pattern; true when it holds exactly one numeric conversion and
// otherwise only literal text and "%%".
bool parsePattern(const std::string& s, Conversion& conv) {
    bool found = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') continue;
        if (i + 1 < s.size() && s[i + 1] == '%') {
            ++i;
            continue;
        }
        if (found) return false;
        Conversion c;
        c.start = i;
        size_t j = i + 1;
        while (j < s.size() && (s[j] == '-' || s[j] == '+' || s[j] == ' ' || s[j] == '#' || s[j] == '0')) {
            if (s[j] == '#') c.alternate = true;
            ++j;
        }
        // Width and precision of at most three digits keep the text bounded.
        size_t digits = 0;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9')
            ++j, ++digits;
        if (digits > 3) return false;
        if (j < s.size() && s[j] == '.') {
            ++j;
            digits = 0;
            while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                ++j, ++digits;
            if (digits > 3) return false;
        }
        if (j >= s.size()) return false;
        const char k = s[j];
        static const std::string kinds = "diuxXofFeEgG";
        if (kinds.find(k) == std::string::npos) return false;
        // '#' has no defined meaning for the signed and unsigned decimal forms.
        if (c.alternate && (k == 'd' || k == 'i' || k == 'u')) return false;
        c.kind = k;
        c.end = j + 1;
        conv = c;
        found = true;
        i = j;
    }
    return found;
}

template <typename T> std::string formatWith(const std::string& pattern, T value) {
    CLocaleScope c;
    char small[256];
    const int n = std::snprintf(small, sizeof small, pattern.c_str(), value);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), pattern.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return big;
}

} // namespace

bool IsValidFormatAs(const std::string& pattern) {
    Conversion c;
    return parsePattern(pattern, c);
}

std::string FormatParameterValue(const TParameter& p, double value) {
    std::string pattern = p.FormatAs;
    Conversion conv;
    if (!parsePattern(pattern, conv)) {
        pattern = "%g";
        parsePattern(pattern, conv);
    }
    std::string text;
    if (isIntegerConversion(conv.kind)) {
        const long double r = std::nearbyint(static_cast<long double>(value));
        if (std::isfinite(value) && r >= -0x1p63L && r < 0x1p63L) {
            // Insert the 64-bit length modifier before the conversion character.
            const std::string wide = pattern.substr(0, conv.end - 1) + "ll" + pattern.substr(conv.end - 1);
            const auto v = static_cast<long long>(r);
            if (conv.kind == 'd' || conv.kind == 'i')
                text = formatWith(wide, v);
            else
                text = formatWith(wide, static_cast<unsigned long long>(v));
        } else {
            // No integer holds this value: show it as a number all the same.
            std::string g = pattern;
            g[conv.end - 1] = 'g';
            text = formatWith(g, value);
        }
    } else {
        text = formatWith(pattern, value);
    }
    return text + " " + p.Units;
}

std::string ParameterLine(const TParameter& p, double value) {
    return DisplayName(p) + ": " + FormatParameterValue(p, value);
}

std::string BitLine(const std::string& bitName, bool on) {
    return bitName + (on ? ": On" : ": Off");
}

std::string FormatGeneral(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0) return "0";
    // Fifteen significant digits, rounded once: d.dddddddddddddde±x.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    const std::string sci(buf, res.ptr);
    const size_t e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    int exponent = std::stoi(sci.substr(e + 1));
    std::string sign;
    if (mantissa[0] == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    if (exponent >= -5 && exponent < 15) {
        std::string out;
        if (exponent < 0) {
            out = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        } else {
            const size_t intDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intDigits)
                out = digits + std::string(intDigits - digits.size(), '0');
            else
                out = digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
        return sign + out;
    }
    std::string out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E";
    out += exponent < 0 ? "-" : "+";
    out += std::to_string(std::abs(exponent));
    return sign + out;
}

} // namespace quillmar
