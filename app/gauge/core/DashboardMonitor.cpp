#include "app/gauge/core/DashboardMonitor.h"

#include <cmath>

namespace quillmar {

DashboardMonitor::DashboardMonitor(DashboardLayout layout)
    : layout_(std::move(layout)), indices_(layout_.Gauges.size(), -1), shown_(layout_.Gauges.size()),
      levels_(layout_.Gauges.size(), GaugeLevel::Normal), dangerSeen_(layout_.Gauges.size(), false) {}

void DashboardMonitor::bind(const std::vector<std::string>& parameterNames) {
    for (size_t g = 0; g < layout_.Gauges.size(); ++g) {
        indices_[g] = -1;
        for (size_t i = 0; i < parameterNames.size(); ++i)
            if (parameterNames[i] == layout_.Gauges[g].Parameter) {
                indices_[g] = int(i);
                break;
            }
    }
    bound_ = true;
}

bool DashboardMonitor::update(const std::function<double(int)>& valueAt, std::optional<double> recordingTime,
                              uint32_t recordingRow) {
    if (!recordingTime || (lastRecordingTime_ && *recordingTime < *lastRecordingTime_) ||
        (recordingRow != 0 && recordingRow <= lastRecordingRow_))
        dangerSeen_.assign(dangerSeen_.size(), false);
    lastRecordingTime_ = recordingTime;
    lastRecordingRow_ = recordingTime ? recordingRow : 0;

    bool changed = false;
    for (size_t g = 0; g < layout_.Gauges.size(); ++g) {
        const GaugeSpec& gauge = layout_.Gauges[g];
        std::optional<double> shown;
        if (indices_[g] >= 0) {
            const double v = valueAt(indices_[g]) * gauge.Multiplier;
            if (std::isfinite(v)) shown = v;
        }
        shown_[g] = shown;
        const GaugeLevel level = shown ? gauge.levelOf(*shown) : GaugeLevel::Normal;
        changed = changed || level != levels_[g];
        levels_[g] = level;
        if (level == GaugeLevel::Danger && recordingTime && !dangerSeen_[g]) {
            dangerSeen_[g] = true;
            if (OnDangerCrossed) OnDangerCrossed({g, gauge.Parameter, gauge.Danger, *shown, *recordingTime});
        }
    }
    return changed;
}

} // namespace quillmar
