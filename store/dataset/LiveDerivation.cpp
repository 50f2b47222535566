#include "store/dataset/LiveDerivation.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quillmar {

bool NeedsLaterRows(int slot) {
    switch (slot) {
    case AccelerationSlot:
    case PowerSlot:
    case GearSlot:
    case CalcSpeedSlot:
    case SmoothedSpeedSlot:
        return true;
    default:
        return false;
    }
}

std::string LiveValueNote(const std::string& name) {
    const int slot = DerivedSlot(name);
    if (slot < 0 || !NeedsLaterRows(slot)) return {};
    return "Provisional: derived from the last seconds of rows; the value is final once the recording "
           "is finished";
}

TLiveDerivation::TLiveDerivation(std::shared_ptr<const TParameterArray> parameters,
                                 const VehicleConstants& vehicle, double spanSeconds)
    : parameters_(parameters ? std::move(parameters) : std::make_shared<const TParameterArray>()),
      vehicle_(vehicle), span_(spanSeconds > 0 ? spanSeconds : DefaultSpan),
      columns_(FindDeriveColumns(*parameters_)), scratch_(parameters_) {}

void TLiveDerivation::reset() {
    window_.clear();
    values_ = {};
    rows_ = 0;
    minTime_ = maxTime_ = lastTime_ = 0;
    distance_ = 0;
    steady_ = false;
}

const DerivedValues& TLiveDerivation::addRow(const uint8_t* data, double time) {
    Row row{};
    std::memcpy(row.data(), data, size_t(ReplyLength));
    uint64_t bits = std::bit_cast<uint64_t>(time);
    for (size_t k = 0; k < 8; ++k, bits >>= 8)
        row[size_t(ReplyLength) + k] = uint8_t(bits & 0xFF);
    window_.push_back(row);
    ++rows_;
    // The time steps of every row so far choose the window, as they would
    // for the whole recording.
    if (rows_ == 1) {
        minTime_ = maxTime_ = time;
    } else {
        minTime_ = std::min(minTime_, time);
        maxTime_ = std::max(maxTime_, time);
    }

    // Only the trailing rows are derived again.
    while (window_.size() > MaxWindowRows ||
           (window_.size() > 2 && ReadTimeStamp(window_.front().data() + ReplyLength) < time - span_))
        window_.pop_front();
    const bool wholeRecording = window_.size() == rows_;

    const uint32_t n = uint32_t(window_.size());
    scratch_.SetRows(n);
    for (uint32_t i = 1; i <= n; ++i)
        std::memcpy(scratch_.RowData(i), window_[i - 1].data(), LogColumns);
    DeriveOptions options;
    options.Window = ChooseWindow(minTime_, maxTime_, uint32_t(std::min<uint64_t>(rows_, UINT32_MAX))).Window;
    options.SteadyFromStart = steady_ && !wholeRecording;
    scratch_.DeriveChannels(vehicle_, options);
    if (scratch_.LastDerive().FirstSteadyRow != 0) steady_ = true;

    for (size_t slot = 0; slot < values_.size(); ++slot)
        values_[slot] = scratch_.Derived[slot][n];

    // Time and Distance run over the whole recording, not the window.
    values_[TimeSlot] = time;
    if (rows_ == 1) {
        distance_ = 0;
    } else {
        const long double dt = static_cast<long double>(time) - lastTime_;
        if (dt != 0) distance_ = AddDistance(distance_, scratch_.ParameterValue(columns_.Speed, n), dt);
    }
    lastTime_ = time;
    values_[DistanceSlot] = columns_.Speed < 0 ? 0 : distance_;
    return values_;
}

} // namespace quillmar
