#pragma once
// What the dials window shows: a grid of gauges, each an analog dial or a
// large digital read-out of one parameter, with its scale, unit and up to
// two thresholds (warning and danger, each above or below a value). Kept in
// the settings as text entries (DashboardEntries); the two dials of the
// first versions are the default.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillmar {

enum class GaugeKind { Dial, Digital };
// Where a dial's pivot lies: bottom left (a quarter dial sweeping up and
// right), bottom right, or the middle.
enum class DialStyle { Left, Right, Centre };
enum class ThresholdSide { Above, Below };
// A gauge's state: past the warning threshold, past the danger threshold.
enum class GaugeLevel { Normal, Warning, Danger };

struct Threshold {
    bool Enabled = false;
    double Value = 0;
    ThresholdSide Side = ThresholdSide::Above;
    // True when shown lies past the threshold (on it counts as past).
    bool crossedBy(double shown) const {
        return Enabled && (Side == ThresholdSide::Above ? shown >= Value : shown <= Value);
    }
    bool operator==(const Threshold&) const = default;
};

// The scale, the thresholds and the read-out are in shown units: the
// parameter's value times Multiplier (the manifold pressure in bar is shown
// x 100, so that the dial's whole numbers run 0 to 200).
struct GaugeSpec {
    std::string Parameter; // the table's name of the parameter
    GaugeKind Kind = GaugeKind::Dial;
    std::string Caption; // what the gauge says it shows; empty: the parameter's name
    std::string Unit;    // after the digital read-out's number
    double Minimum = 0;
    double Maximum = 100;
    double Multiplier = 1;
    int MainTicks = 10; // numbered ticks of a dial
    DialStyle Style = DialStyle::Centre;
    int Sweep = 270;  // degrees of a dial's scale; the side styles draw at most 90
    int Decimals = 0; // of the digital read-out
    Threshold Warning;
    Threshold Danger;
    bool operator==(const GaugeSpec&) const = default;

    // The caption shown: Caption, or the parameter's name.
    std::string shownCaption() const { return Caption.empty() ? Parameter : Caption; }
    GaugeLevel levelOf(double shown) const;
};

struct DashboardLayout {
    int Columns = 2;
    int GaugeSize = 305; // pixels of a gauge's side
    std::vector<GaugeSpec> Gauges;
    bool operator==(const DashboardLayout&) const = default;
};

// The limits the layout keeps to.
inline constexpr int MaxDashboardColumns = 6;
inline constexpr int MaxDashboardGauges = 24;
inline constexpr int MinGaugeSize = 120;
inline constexpr int MaxGaugeSize = 600;
inline constexpr int MaxMainTicks = 100;

// The two dials of the first versions: the absolute manifold pressure (bar
// x 100, 0 to 200 on a 270-degree centre dial, 10 ticks) and the engine
// speed (0 to 8000 RPM on a right quarter dial, 8 ticks), 305 pixels each.
DashboardLayout DefaultDashboard();

// A span of the scale drawn in a threshold's colour: from the threshold to
// the end of the scale it points at.
struct ScaleBand {
    double From = 0, To = 0; // shown units, From < To, within the scale
    GaugeLevel Level = GaugeLevel::Warning;
    bool operator==(const ScaleBand&) const = default;
};
// The bands of the gauge's thresholds on its scale; the danger band is
// drawn over the warning band.
std::vector<ScaleBand> ThresholdBands(const GaugeSpec& gauge);

// What is wrong with the gauge (for the layout dialog); empty when nothing.
std::string CheckGauge(const GaugeSpec& gauge);

// The layout as text entries ("Columns" -> "3", "Gauge 2/Parameter" ->
// "Engine speed", numbers written so they read back the same) and back. An
// entry that is missing or unreadable takes its default; a gauge without a
// parameter is left out; nothing when no gauge is left.
std::map<std::string, std::string> DashboardEntries(const DashboardLayout& layout);
std::optional<DashboardLayout> DashboardFromEntries(const std::map<std::string, std::string>& entries);

} // namespace quillmar
