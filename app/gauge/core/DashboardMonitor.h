#pragma once
// Follows the dashboard's parameters tick by tick: the value each gauge
// shows, its level against its thresholds, and the first tick of a
// recording at which a gauge is past its danger threshold (OnDangerCrossed,
// for bookmarks and the like).

#include "app/gauge/core/DashboardLayout.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

// A gauge past its danger threshold for the first time in a recording.
struct DangerCrossing {
    size_t Gauge = 0;      // position in the layout
    std::string Parameter; // the table's name
    Threshold Crossed;     // the danger threshold (shown units)
    double Shown = 0;      // the value shown then
    double Time = 0;       // seconds into the recording
};

class DashboardMonitor {
public:
    explicit DashboardMonitor(DashboardLayout layout = DefaultDashboard());

    const DashboardLayout& layout() const { return layout_; }
    size_t size() const { return layout_.Gauges.size(); }

    // Finds each gauge's parameter among the table's names (the first of that
    // name); a gauge whose parameter is not there shows nothing.
    void bind(const std::vector<std::string>& parameterNames);
    bool bound() const { return bound_; }
    // The gauge's parameter in the table; -1 when it has none.
    int parameterIndex(size_t gauge) const { return indices_[gauge]; }

    // One tick: valueAt gives the table's value at a position. recordingTime
    // is the time of the row just recorded (seconds into the recording), or
    // nothing while not recording; a time earlier than the last one begins a
    // new recording, and so does a recordingRow (the row's number, 0 when not
    // known) no later than the last one: a recording stopped and started
    // again between two ticks may well begin at a later time than the last
    // one ended. Returns true when a gauge's level changed.
    bool update(const std::function<double(int)>& valueAt, std::optional<double> recordingTime,
                uint32_t recordingRow = 0);

    // What the gauge shows now, and its level; nothing before the first tick
    // or without its parameter.
    std::optional<double> shown(size_t gauge) const { return shown_[gauge]; }
    GaugeLevel level(size_t gauge) const { return levels_[gauge]; }

    std::function<void(const DangerCrossing&)> OnDangerCrossed;

private:
    DashboardLayout layout_;
    std::vector<int> indices_;
    std::vector<std::optional<double>> shown_;
    std::vector<GaugeLevel> levels_;
    std::vector<bool> dangerSeen_; // in the recording going on
    std::optional<double> lastRecordingTime_;
    uint32_t lastRecordingRow_ = 0;
    bool bound_ = false;
};

} // namespace quillmar
