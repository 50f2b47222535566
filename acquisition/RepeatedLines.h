#pragma once
// Keeps the error log from flooding while a fault repeats at every tick (an
// engine computer that stays silent says "No reply" five times a second):
// the first line of a kind is written, the repeats are counted, and once a
// second a line says how many came ("No reply (4 more in the last second)").
// A kind that has not come for a whole second is forgotten, so its next line
// is written again. Times are seconds on any steady clock.

#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

class RepeatedLines {
public:
    explicit RepeatedLines(double interval = 1.0) : interval_(interval) {}

    // Whether line is to be written now; false when it is a repeat, which is
    // counted for the next report instead.
    bool admit(const std::string& line, double now);
    // The reports due at now, one for each kind that repeated since its last
    // line a whole interval ago: "No reply (12 more in the last second)"
    // (up to 1.5 s), or "... in the last 2.2 s)" when the ticks came further
    // apart.
    std::vector<std::string> due(double now);
    // Reports for every repeat not yet told, however recent ("No reply (3
    // more)"), and everything forgotten: for the end of talking.
    std::vector<std::string> flush();

    // Repeats counted instead of written, and reports written, since made.
    uint64_t leftOut() const { return leftOut_; }
    uint64_t reports() const { return reports_; }

private:
    struct Kind {
        std::string Line;
        double Since = 0;     // of the last line written about it
        uint64_t Repeats = 0; // since then
    };
    double interval_;
    std::vector<Kind> kinds_; // a handful at most: the faults of one link
    uint64_t leftOut_ = 0;
    uint64_t reports_ = 0;
};

} // namespace quillmar
