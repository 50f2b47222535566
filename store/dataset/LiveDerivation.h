#pragma once
// The derived channels while rows are still arriving (talking or logging).
//
// Each new row gets the values the full derivation would give it if the
// recording ended with that row. Time, Distance, Boost and Injector duty
// need nothing after the row and are final at once. Smoothed speed,
// Acceleration, Power, Gear and Calc. speed average over rows on both sides
// of a row, so they are provisional: the rows after it change them, and
// the finished recording's derivation gives their final values.
//
// Those five come from deriving only the trailing rows of the last seconds
// (TALDLLog::DeriveChannels on a small dataset of them), with the moving-
// average window the whole recording so far chooses; the span is wide
// enough that the newest row's values equal those of deriving every row so
// far. The work per row is bounded by the span, not by the rows so far.

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/DeriveChannels.h"
#include "store/dataset/VehicleConstants.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>

namespace quillmar {

// One value per derived channel, indexed by DerivedChannel.
using DerivedValues = std::array<double, DerivedChannelCount>;

// True for the channels whose value depends on the rows after the row
// (Acceleration, Power, Gear, Calc. speed, Smoothed speed).
bool NeedsLaterRows(int slot);

// The tool tip of a derived parameter's live value, by parameter name:
// empty for a value that is final at once.
std::string LiveValueNote(const std::string& name);

class TLiveDerivation {
public:
    // Seconds of trailing rows derived again for each new row, and the most
    // rows kept whatever their time (a moving-average window is at most 255
    // rows wide; the newest row's values need about one and a half).
    static constexpr double DefaultSpan = 8.0;
    static constexpr uint32_t MaxWindowRows = 512;

    explicit TLiveDerivation(std::shared_ptr<const TParameterArray> parameters,
                             const VehicleConstants& vehicle = DefaultVehicleConstants(),
                             double spanSeconds = DefaultSpan);

    // Forgets every row: the next one starts a new recording.
    void reset();

    // Adds a row: ReplyLength data bytes and its time in seconds on the
    // recording's clock (from its start, or from the first reply). Returns
    // the newest row's derived values.
    const DerivedValues& addRow(const uint8_t* data, double time);

    // The newest row's values; all 0 before the first row.
    const DerivedValues& values() const { return values_; }
    // Rows added since the last reset.
    uint64_t rows() const { return rows_; }
    // Rows derived again for the newest one.
    uint32_t windowRows() const { return uint32_t(window_.size()); }

private:
    using Row = std::array<uint8_t, LogColumns>;

    std::shared_ptr<const TParameterArray> parameters_;
    VehicleConstants vehicle_;
    double span_;
    DeriveColumns columns_;
    std::deque<Row> window_;
    TALDLLog scratch_;
    DerivedValues values_{};
    uint64_t rows_ = 0;
    double minTime_ = 0, maxTime_ = 0;
    double lastTime_ = 0;
    double distance_ = 0;
    bool steady_ = false;
};

} // namespace quillmar
