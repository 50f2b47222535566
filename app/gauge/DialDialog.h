#pragma once
// The "Dials" window: the dashboard, a grid of gauges (analog dials or large
// digital read-outs) as the layout lays them out, and the two logging
// commands of the acquisition window. A gauge past its warning threshold
// turns amber, past its danger threshold red; the thresholds show as bands
// on a dial's scale.

#include "acquisition/params/ParameterTypes.h"
#include "app/gauge/core/DashboardMonitor.h"

#include <QColor>
#include <QDialog>

#include <optional>
#include <vector>

class QAction;
class QGridLayout;
class QToolButton;

namespace quillmar {

class TA3nalogGauge;
class TDigitalGauge;

// The colour of a level: amber, red; invalid for Normal.
QColor LevelColor(GaugeLevel level);

class TDialDialog : public QDialog {
    Q_OBJECT
public:
    // The buttons trigger startLogging and stopLogging and follow their text
    // and enabled state; either may be null (no button then does anything).
    TDialDialog(QAction* startLogging, QAction* stopLogging, QWidget* parent = nullptr,
                const DashboardLayout& layout = DefaultDashboard());

    // Lays the gauges out again.
    void setDashboard(const DashboardLayout& layout);
    const DashboardLayout& dashboard() const { return monitor_.layout(); }

    // One acquisition tick: every gauge shows its parameter's value from the
    // table. recordingTime: seconds into the recording of the row just
    // recorded, nothing while not recording.
    void showValues(const TParameterArray& params, std::optional<double> recordingTime = std::nullopt,
                    uint32_t recordingRow = 0);

    size_t gaugeCount() const { return gauges_.size(); }
    // The gauge's dial, or its read-out (the other is null).
    TA3nalogGauge* dial(size_t gauge) const { return gauges_[gauge].Dial; }
    TDigitalGauge* digital(size_t gauge) const { return gauges_[gauge].Digital; }
    GaugeLevel level(size_t gauge) const { return monitor_.level(gauge); }
    const DashboardMonitor& monitor() const { return monitor_; }

    QToolButton* StartLoggingButton = nullptr;
    QToolButton* StopLoggingButton = nullptr;

signals:
    // A gauge went past its danger threshold for the first time in the
    // recording going on.
    void dangerCrossed(const quillmar::DangerCrossing& crossing);

private:
    struct Gauge {
        TA3nalogGauge* Dial = nullptr;
        TDigitalGauge* Digital = nullptr;
    };
    void showLevels();

    DashboardMonitor monitor_;
    std::vector<Gauge> gauges_;
    QGridLayout* grid_ = nullptr;
    // The table the monitor found its parameters in.
    const TParameterArray* boundTable_ = nullptr;
    size_t boundSize_ = 0;
};

} // namespace quillmar
