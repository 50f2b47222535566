#include "acquisition/demo/SimReplay.h"

#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace quillmar {

namespace {

// Time stamps further apart than this (about 31 years) are taken as this far.
constexpr long double MaxStampNs = 1e18L;

} // namespace

bool LogReplay::Load(const std::string& path, LogReplay& replay, std::string& error) {
    static_assert(RowBytes == size_t(ReplyLength));
    LogReplay loaded;
    try {
        TALDLLog log(nullptr);
        LoadLogFile(log, path);
        if (log.Rows == 0 || log.RecordCount == 0) {
            error = "The log " + path + " holds no rows to replay";
            return false;
        }
        const uint32_t rows = log.Rows;
        loaded.bytes_.resize(size_t(rows) * RowBytes);
        loaded.stampsNs_.resize(rows);
        const long double first = log.TimeStamp(1);
        int64_t previous = 0;
        for (uint32_t r = 1; r <= rows; ++r) {
            const uint8_t* data = log.RowData(r);
            if (!data) {
                error = "Cannot read row " + std::to_string(r) + " of the log " + path;
                return false;
            }
            std::memcpy(loaded.bytes_.data() + size_t(r - 1) * RowBytes, data, RowBytes);
            // Seconds since the first row. A stamp that is not a number, or
            // earlier than the one before, plays at the time of the one before.
            const long double since = (static_cast<long double>(log.TimeStamp(r)) - first) * 1e9L;
            int64_t ns = previous;
            if (std::isfinite(since) && since > static_cast<long double>(previous))
                ns = static_cast<int64_t>(std::llround(std::min(since, MaxStampNs)));
            loaded.stampsNs_[r - 1] = std::max(ns, previous);
            previous = loaded.stampsNs_[r - 1];
        }
        const int64_t span = loaded.stampsNs_.back();
        const int64_t interval = span > 0 ? span / int64_t(rows - 1) : 0;
        loaded.loopNs_ = span > 0 ? span + interval : 0;
        loaded.leadNs_ = interval / 2;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    replay = std::move(loaded);
    return true;
}

size_t LogReplay::RowAt(int64_t clockNs, uint64_t reply) const {
    if (stampsNs_.empty()) return 0;
    if (loopNs_ <= 0) return size_t(reply % stampsNs_.size());
    const int64_t at = ((clockNs < 0 ? 0 : clockNs % loopNs_) + leadNs_) % loopNs_;
    const auto after = std::upper_bound(stampsNs_.begin(), stampsNs_.end(), at);
    return size_t(after - stampsNs_.begin()) - 1;
}

} // namespace quillmar
