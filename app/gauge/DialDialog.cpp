#include "app/gauge/DialDialog.h"

#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DigitalGauge.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace quillmar {

namespace {

// The settings every dial shares.
void setUpDial(TA3nalogGauge* dial, int size) {
    QFont font("Arial");
    font.setPixelSize(11);
    dial->setFont(font);
    dial->setFixedSize(size, size);
    dial->setMinColor(ColorFromBgr(0x008000));
    dial->setMidColor(ColorFromBgr(0x00FFFF));
    dial->setMaxColor(ColorFromBgr(0x0000FF));
    dial->setFaceColor(dial->palette().color(QPalette::Button));
    dial->setTicksColor(Qt::black);
    dial->setValueColor(Qt::black);
    dial->setCaptionColor(Qt::black);
    dial->setArrowColor(Qt::black);
    dial->setMarginColor(Qt::black);
    dial->setCenterColor(ColorFromBgr(0x808080));
    dial->setCircleColor(ColorFromBgr(0xFF0000));
    dial->setAntiAliased(TAntialiased::aaNone);
    dial->setLengthMainTicks(15);
    dial->setLengthSubTicks(8);
    dial->setMargin(10);
    dial->setArrowWidth(2);
    dial->setCenterRadius(4);
    dial->setCircleRadius(1);
    dial->setFaceOptions(TFaceOption::ShowMainTicks | TFaceOption::ShowSubTicks | TFaceOption::ShowValues |
                         TFaceOption::ShowCenter | TFaceOption::Show3D | TFaceOption::ShowCaption);
}

TStyle styleOf(DialStyle s) {
    switch (s) {
    case DialStyle::Left:
        return TStyle::LeftStyle;
    case DialStyle::Right:
        return TStyle::RightStyle;
    case DialStyle::Centre:
        break;
    }
    return TStyle::CenterStyle;
}

TA3nalogGauge* makeDial(const GaugeSpec& gauge, int size, QWidget* parent) {
    auto* dial = new TA3nalogGauge(parent);
    setUpDial(dial, size);
    dial->setCaption(QString::fromStdString(gauge.shownCaption()));
    // Whole numbers on the scale (the layout keeps a dial's ends whole).
    const int start = int(std::lround(gauge.Minimum));
    dial->setScaleStart(start);
    dial->setScale(std::max(2, int(std::lround(gauge.Maximum)) - start));
    dial->setAngle(gauge.Sweep);
    dial->setStyle(styleOf(gauge.Style));
    dial->setNumberMainTicks(gauge.MainTicks);
    std::vector<GaugeBand> bands;
    for (const ScaleBand& b : ThresholdBands(gauge))
        bands.push_back({b.From, b.To, LevelColor(b.Level)});
    dial->setBands(bands);
    // The needle rests at the start of the scale until a value comes.
    dial->setPosition(float(start));
    return dial;
}

TDigitalGauge* makeDigital(const GaugeSpec& gauge, int size, QWidget* parent) {
    auto* digital = new TDigitalGauge(parent);
    digital->setFixedSize(size, size);
    digital->setCaption(QString::fromStdString(gauge.shownCaption()));
    digital->setUnit(QString::fromStdString(gauge.Unit));
    digital->setDecimals(gauge.Decimals);
    return digital;
}

QToolButton* actionButton(QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    button->setMinimumWidth(140);
    if (action)
        button->setDefaultAction(action);
    else
        button->setEnabled(false);
    return button;
}

} // namespace

QColor LevelColor(GaugeLevel level) {
    switch (level) {
    case GaugeLevel::Warning:
        return QColor(0xff, 0xa0, 0x00);
    case GaugeLevel::Danger:
        return QColor(0xd3, 0x2f, 0x2f);
    case GaugeLevel::Normal:
        break;
    }
    return {};
}

TDialDialog::TDialDialog(QAction* startLogging, QAction* stopLogging, QWidget* parent,
                         const DashboardLayout& layout)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("DialDialog");
    setWindowTitle("Dials");

    StartLoggingButton = actionButton(startLogging, this);
    StartLoggingButton->setObjectName("StartLoggingButton");
    StopLoggingButton = actionButton(stopLogging, this);
    StopLoggingButton->setObjectName("StopLoggingButton");

    grid_ = new QGridLayout;
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(StartLoggingButton);
    buttons->addWidget(StopLoggingButton);
    buttons->addStretch();
    auto* box = new QVBoxLayout(this);
    box->addLayout(grid_);
    box->addLayout(buttons);
    box->setSizeConstraint(QLayout::SetFixedSize);
    setDashboard(layout);
}

void TDialDialog::setDashboard(const DashboardLayout& layout) {
    for (const Gauge& g : gauges_) {
        delete g.Dial;
        delete g.Digital;
    }
    gauges_.clear();
    monitor_ = DashboardMonitor(layout);
    monitor_.OnDangerCrossed = [this](const DangerCrossing& crossing) { emit dangerCrossed(crossing); };
    boundTable_ = nullptr;
    const int columns = std::max(1, layout.Columns);
    for (size_t i = 0; i < layout.Gauges.size(); ++i) {
        const GaugeSpec& gauge = layout.Gauges[i];
        Gauge g;
        QWidget* widget = nullptr;
        if (gauge.Kind == GaugeKind::Dial)
            widget = g.Dial = makeDial(gauge, layout.GaugeSize, this);
        else
            widget = g.Digital = makeDigital(gauge, layout.GaugeSize, this);
        widget->setObjectName(QString("Gauge%1").arg(i + 1));
        widget->setToolTip(QString::fromStdString(gauge.Parameter));
        grid_->addWidget(widget, int(i) / columns, int(i) % columns);
        gauges_.push_back(g);
    }
}

void TDialDialog::showValues(const TParameterArray& params, std::optional<double> recordingTime,
                             uint32_t recordingRow) {
    if (boundTable_ != &params || boundSize_ != params.size()) {
        std::vector<std::string> names;
        names.reserve(params.size());
        for (const TParameter& p : params)
            names.push_back(p.Name);
        monitor_.bind(names);
        boundTable_ = &params;
        boundSize_ = params.size();
    }
    const bool levelsChanged =
        monitor_.update([&params](int i) { return params[size_t(i)].Value; }, recordingTime, recordingRow);
    for (size_t i = 0; i < gauges_.size(); ++i) {
        const std::optional<double> shown = monitor_.shown(i);
        if (TA3nalogGauge* dial = gauges_[i].Dial) {
            if (shown) dial->setPosition(float(*shown));
        } else {
            gauges_[i].Digital->setValue(shown);
        }
    }
    if (levelsChanged) showLevels();
}

void TDialDialog::showLevels() {
    for (size_t i = 0; i < gauges_.size(); ++i) {
        const QColor color = LevelColor(monitor_.level(i));
        if (gauges_[i].Dial)
            gauges_[i].Dial->setAlertColor(color);
        else
            gauges_[i].Digital->setAlertColor(color);
    }
}

} // namespace quillmar
