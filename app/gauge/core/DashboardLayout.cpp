#include "app/gauge/core/DashboardLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace quillmar {

GaugeLevel GaugeSpec::levelOf(double shown) const {
    if (Danger.crossedBy(shown)) return GaugeLevel::Danger;
    if (Warning.crossedBy(shown)) return GaugeLevel::Warning;
    return GaugeLevel::Normal;
}

DashboardLayout DefaultDashboard() {
    DashboardLayout layout;
    layout.Columns = 2;
    layout.GaugeSize = 305;

    GaugeSpec pressure;
    pressure.Parameter = "Manifold press (abs).";
    pressure.Caption = "Absolute manifold pressure (bar)";
    pressure.Unit = "kPa"; // bar x 100
    pressure.Minimum = 0;
    pressure.Maximum = 200;
    pressure.Multiplier = 100;
    pressure.MainTicks = 10;
    pressure.Style = DialStyle::Centre;
    pressure.Sweep = 270;

    GaugeSpec engineSpeed;
    engineSpeed.Parameter = "Engine speed";
    engineSpeed.Caption = "RPM";
    engineSpeed.Unit = "RPM";
    engineSpeed.Minimum = 0;
    engineSpeed.Maximum = 8000;
    engineSpeed.MainTicks = 8;
    engineSpeed.Style = DialStyle::Right;
    engineSpeed.Sweep = 90;

    layout.Gauges = {pressure, engineSpeed};
    return layout;
}

std::vector<ScaleBand> ThresholdBands(const GaugeSpec& gauge) {
    std::vector<ScaleBand> bands;
    const auto band = [&](const Threshold& t, GaugeLevel level) {
        if (!t.Enabled) return;
        const double at = std::clamp(t.Value, gauge.Minimum, gauge.Maximum);
        ScaleBand b{t.Side == ThresholdSide::Above ? at : gauge.Minimum,
                    t.Side == ThresholdSide::Above ? gauge.Maximum : at, level};
        if (b.From < b.To) bands.push_back(b);
    };
    band(gauge.Warning, GaugeLevel::Warning);
    band(gauge.Danger, GaugeLevel::Danger);
    return bands;
}

std::string CheckGauge(const GaugeSpec& g) {
    if (g.Parameter.empty()) return "Choose a parameter.";
    if (!std::isfinite(g.Minimum) || !std::isfinite(g.Maximum) || g.Maximum <= g.Minimum)
        return "The maximum must be above the minimum.";
    if (!std::isfinite(g.Multiplier) || g.Multiplier == 0) return "The multiplier must not be 0.";
    if (g.Kind == GaugeKind::Dial) {
        if (g.MainTicks < 1 || g.MainTicks > MaxMainTicks) return "A dial has 1 to 100 numbered ticks.";
        if (g.Sweep <= 10 || g.Sweep > 360) return "A dial sweeps more than 10 and at most 360 degrees.";
        // The dial's numbers are whole: its ends are whole numbers.
        if (g.Minimum != std::round(g.Minimum) || g.Maximum != std::round(g.Maximum))
            return "A dial's minimum and maximum are whole numbers (a multiplier scales small units).";
    }
    if (g.Warning.Enabled && g.Danger.Enabled && g.Warning.Side == g.Danger.Side) {
        const bool order = g.Warning.Side == ThresholdSide::Above ? g.Warning.Value < g.Danger.Value
                                                                  : g.Warning.Value > g.Danger.Value;
        if (!order) return "The danger threshold lies beyond the warning threshold.";
    }
    return {};
}

// ---- entries -----------------------------------------------------------------

namespace {

std::string number(double v) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

std::string number(int v) {
    return std::to_string(v);
}

const char* kindName(GaugeKind k) {
    return k == GaugeKind::Dial ? "dial" : "digital";
}
const char* styleName(DialStyle s) {
    switch (s) {
    case DialStyle::Left:
        return "left";
    case DialStyle::Right:
        return "right";
    case DialStyle::Centre:
        break;
    }
    return "centre";
}
const char* sideName(ThresholdSide s) {
    return s == ThresholdSide::Above ? "above" : "below";
}

class Reader {
public:
    Reader(const std::map<std::string, std::string>& entries, std::string prefix)
        : entries_(entries), prefix_(std::move(prefix)) {}
    const std::string* text(const std::string& key) const {
        const auto it = entries_.find(prefix_ + key);
        return it == entries_.end() ? nullptr : &it->second;
    }
    void read(const std::string& key, std::string& into) const {
        if (const std::string* t = text(key)) into = *t;
    }
    void read(const std::string& key, double& into) const {
        const std::string* t = text(key);
        if (!t) return;
        double v = 0;
        const auto r = std::from_chars(t->data(), t->data() + t->size(), v);
        if (r.ec == std::errc() && r.ptr == t->data() + t->size() && std::isfinite(v)) into = v;
    }
    void read(const std::string& key, int& into, int low, int high) const {
        const std::string* t = text(key);
        if (!t) return;
        int v = 0;
        const auto r = std::from_chars(t->data(), t->data() + t->size(), v);
        if (r.ec == std::errc() && r.ptr == t->data() + t->size() && v >= low && v <= high) into = v;
    }
    void read(const std::string& key, bool& into) const {
        if (const std::string* t = text(key)) {
            if (*t == "true") into = true;
            if (*t == "false") into = false;
        }
    }
    template <typename E>
    void read(const std::string& key, E& into, std::initializer_list<E> values,
              const char* (*name)(E)) const {
        if (const std::string* t = text(key))
            for (E v : values)
                if (*t == name(v)) into = v;
    }

private:
    const std::map<std::string, std::string>& entries_;
    std::string prefix_;
};

void writeThreshold(std::map<std::string, std::string>& out, const std::string& prefix, const Threshold& t) {
    out[prefix + "On"] = t.Enabled ? "true" : "false";
    out[prefix + "Value"] = number(t.Value);
    out[prefix + "Side"] = sideName(t.Side);
}

void readThreshold(const Reader& in, const std::string& prefix, Threshold& t) {
    in.read(prefix + "On", t.Enabled);
    in.read(prefix + "Value", t.Value);
    in.read(prefix + "Side", t.Side, {ThresholdSide::Above, ThresholdSide::Below}, sideName);
}

} // namespace

std::map<std::string, std::string> DashboardEntries(const DashboardLayout& layout) {
    std::map<std::string, std::string> out;
    out["Columns"] = number(layout.Columns);
    out["Gauge size"] = number(layout.GaugeSize);
    out["Gauges"] = number(int(layout.Gauges.size()));
    for (size_t i = 0; i < layout.Gauges.size(); ++i) {
        const GaugeSpec& g = layout.Gauges[i];
        const std::string p = "Gauge " + std::to_string(i + 1) + "/";
        out[p + "Parameter"] = g.Parameter;
        out[p + "Kind"] = kindName(g.Kind);
        out[p + "Caption"] = g.Caption;
        out[p + "Unit"] = g.Unit;
        out[p + "Minimum"] = number(g.Minimum);
        out[p + "Maximum"] = number(g.Maximum);
        out[p + "Multiplier"] = number(g.Multiplier);
        out[p + "Main ticks"] = number(g.MainTicks);
        out[p + "Style"] = styleName(g.Style);
        out[p + "Sweep"] = number(g.Sweep);
        out[p + "Decimals"] = number(g.Decimals);
        writeThreshold(out, p + "Warning ", g.Warning);
        writeThreshold(out, p + "Danger ", g.Danger);
    }
    return out;
}

std::optional<DashboardLayout> DashboardFromEntries(const std::map<std::string, std::string>& entries) {
    const Reader top(entries, "");
    DashboardLayout layout;
    top.read("Columns", layout.Columns, 1, MaxDashboardColumns);
    top.read("Gauge size", layout.GaugeSize, MinGaugeSize, MaxGaugeSize);
    int count = 0;
    top.read("Gauges", count, 0, MaxDashboardGauges);
    for (int i = 1; i <= count; ++i) {
        const Reader in(entries, "Gauge " + std::to_string(i) + "/");
        GaugeSpec g;
        in.read("Parameter", g.Parameter);
        in.read("Kind", g.Kind, {GaugeKind::Dial, GaugeKind::Digital}, kindName);
        in.read("Caption", g.Caption);
        in.read("Unit", g.Unit);
        in.read("Minimum", g.Minimum);
        in.read("Maximum", g.Maximum);
        in.read("Multiplier", g.Multiplier);
        in.read("Main ticks", g.MainTicks, 1, MaxMainTicks);
        in.read("Style", g.Style, {DialStyle::Left, DialStyle::Right, DialStyle::Centre}, styleName);
        in.read("Sweep", g.Sweep, 11, 360);
        in.read("Decimals", g.Decimals, 0, 6);
        readThreshold(in, "Warning ", g.Warning);
        readThreshold(in, "Danger ", g.Danger);
        if (g.Maximum <= g.Minimum) g.Maximum = g.Minimum + 1;
        if (g.Multiplier == 0) g.Multiplier = 1;
        if (!g.Parameter.empty()) layout.Gauges.push_back(std::move(g));
    }
    if (layout.Gauges.empty()) return std::nullopt;
    return layout;
}

} // namespace quillmar
