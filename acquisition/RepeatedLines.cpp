#include "acquisition/RepeatedLines.h"

#include <cstdio>

namespace quillmar {

namespace {

// A millisecond early counts as on time: ticks and clocks round.
constexpr double Slack = 0.001;

std::string report(const std::string& line, uint64_t repeats, const std::string& when) {
    return line + " (" + std::to_string(repeats) + " more" + when + ")";
}

} // namespace

bool RepeatedLines::admit(const std::string& line, double now) {
    for (Kind& kind : kinds_)
        if (kind.Line == line) {
            ++kind.Repeats;
            ++leftOut_;
            return false;
        }
    kinds_.push_back({line, now, 0});
    return true;
}

std::vector<std::string> RepeatedLines::due(double now) {
    std::vector<std::string> lines;
    for (auto it = kinds_.begin(); it != kinds_.end();) {
        const double waited = now - it->Since;
        if (waited < interval_ - Slack) {
            ++it;
            continue;
        }
        if (it->Repeats == 0) {
            it = kinds_.erase(it); // quiet for a whole interval: forgotten
            continue;
        }
        // Ticks rarely fall exactly a second apart: up to half a second more
        // is still "the last second".
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", waited);
        const bool aboutOne = interval_ == 1.0 && waited < 1.5;
        lines.push_back(report(it->Line, it->Repeats,
                               aboutOne ? std::string(" in the last second")
                                        : " in the last " + std::string(seconds) + " s"));
        ++reports_;
        it->Since = now;
        it->Repeats = 0;
        ++it;
    }
    return lines;
}

std::vector<std::string> RepeatedLines::flush() {
    std::vector<std::string> lines;
    for (const Kind& kind : kinds_)
        if (kind.Repeats > 0) {
            lines.push_back(report(kind.Line, kind.Repeats, ""));
            ++reports_;
        }
    kinds_.clear();
    return lines;
}

} // namespace quillmar
