#pragma once
// Playing a recorded log back as the engine computer's mode 1 replies: each
// reply carries the 63 data bytes of one row, exactly as recorded. A replay
// clock, started at the first reply and moved on by the simulator's model
// time, picks the row whose time stamp (counted from the first row's) is the
// latest at or before it; the clock runs modulo the log's duration, which is
// the time from the first to the last row plus one mean row interval, so the
// last row gets its share before the first comes round again.
//
// The clock reads half a mean row interval ahead: a recording's intervals
// jitter around its period (a timer fires a few milliseconds late), and a
// step equal to the period must still pick every row once rather than
// repeat the row before whenever a stamp came a little late.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillmar {

class LogReplay {
public:
    static constexpr size_t RowBytes = 63;

    // Reads the rows of the log file at path through the log loader. False,
    // with the reason naming the file in error, when it cannot be read, is not
    // a log or holds no rows.
    static bool Load(const std::string& path, LogReplay& replay, std::string& error);

    size_t Rows() const { return stampsNs_.size(); }
    // Nanoseconds of one pass through the log; 0 when every row carries the
    // same time stamp (the rows then play one per reply).
    int64_t LoopNs() const { return loopNs_; }
    // The row (0-based) for the replay clock at clockNs nanoseconds; reply is
    // the number of replies sent before this one (used when LoopNs is 0).
    size_t RowAt(int64_t clockNs, uint64_t reply) const;
    // The data bytes of row (0-based), RowBytes of them.
    const uint8_t* Data(size_t row) const { return bytes_.data() + row * RowBytes; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<int64_t> stampsNs_; // non-decreasing, the first 0
    int64_t loopNs_ = 0;
    int64_t leadNs_ = 0; // half a mean row interval
};

} // namespace quillmar
