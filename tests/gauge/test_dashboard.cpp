// The dashboard's widgets: the default layout draws the dials exactly as
// they were, thresholds show as bands and turn gauges amber or red (state,
// not pixels), the face is never redrawn for a needle or a colour, the
// layout dialog and the layout in the settings.

#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DashboardDialog.h"
#include "app/gauge/DashboardSettings.h"
#include "app/gauge/DialDialog.h"
#include "app/gauge/DigitalGauge.h"
#include "tests/app/WidgetTestSupport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

// The dials as the first versions set them up, setting by setting.
void setUpOldDial(TA3nalogGauge* dial) {
    QFont font("Arial");
    font.setPixelSize(11);
    dial->setFont(font);
    dial->setFixedSize(305, 305);
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

TEST(Dashboard, TheDefaultDrawsTheTwoDialsExactlyAsBefore) {
    TA3nalogGauge boost, rpm;
    setUpOldDial(&boost);
    boost.setCaption("Absolute manifold pressure (bar)");
    boost.setScale(200);
    boost.setAngle(270);
    boost.setStyle(TStyle::CenterStyle);
    boost.setNumberMainTicks(10);
    setUpOldDial(&rpm);
    rpm.setCaption("RPM");
    rpm.setScale(8000);
    rpm.setAngle(90);
    rpm.setStyle(TStyle::RightStyle);
    rpm.setNumberMainTicks(8);

    TDialDialog d(nullptr, nullptr);
    ASSERT_EQ(d.gaugeCount(), 2u);
    EXPECT_EQ(d.dial(0)->FaceBitmap(), boost.FaceBitmap());
    EXPECT_EQ(d.dial(1)->FaceBitmap(), rpm.FaceBitmap());
    // And with the needles at the same places.
    TParameterArray t(2);
    t[0].Name = "Manifold press (abs).";
    t[0].Value = 1.37;
    t[1].Name = "Engine speed";
    t[1].Value = 3125;
    d.showValues(t);
    boost.setPosition(float(1.37 * 100.0));
    rpm.setPosition(3125);
    EXPECT_EQ(d.dial(0)->Picture(), boost.Picture());
    EXPECT_EQ(d.dial(1)->Picture(), rpm.Picture());
    EXPECT_EQ(d.dial(0)->AlertColor(), QColor());
}

// A grid of two dials and two read-outs with thresholds, as a user might lay it out.
DashboardLayout fourGauges() {
    DashboardLayout layout;
    layout.Columns = 2;
    layout.GaugeSize = 200;
    GaugeSpec rpm;
    rpm.Parameter = "Engine speed";
    rpm.Maximum = 8000;
    rpm.MainTicks = 8;
    rpm.Warning = {true, 6000, ThresholdSide::Above};
    rpm.Danger = {true, 7000, ThresholdSide::Above};
    GaugeSpec coolant;
    coolant.Parameter = "Coolant temp.";
    coolant.Minimum = -40;
    coolant.Maximum = 140;
    coolant.MainTicks = 9;
    coolant.Danger = {true, 115, ThresholdSide::Above};
    GaugeSpec volts;
    volts.Parameter = "Battery volts";
    volts.Kind = GaugeKind::Digital;
    volts.Unit = "V";
    volts.Decimals = 1;
    volts.Warning = {true, 12, ThresholdSide::Below};
    volts.Danger = {true, 11, ThresholdSide::Below};
    GaugeSpec speed;
    speed.Parameter = "Speed";
    speed.Kind = GaugeKind::Digital;
    layout.Gauges = {rpm, coolant, volts, speed};
    return layout;
}

TParameterArray values(double rpm, double coolant, double volts) {
    TParameterArray t(4);
    t[0].Name = "Engine speed";
    t[0].Value = rpm;
    t[1].Name = "Coolant temp.";
    t[1].Value = coolant;
    t[2].Name = "Battery volts";
    t[2].Value = volts;
    t[3].Name = "Time";
    return t;
}

TEST(Dashboard, ThresholdsAreBandsAndTurnTheGaugesAmberOrRed) {
    TDialDialog d(nullptr, nullptr, nullptr, fourGauges());
    ASSERT_EQ(d.gaugeCount(), 4u);
    ASSERT_NE(d.dial(0), nullptr);
    ASSERT_NE(d.digital(2), nullptr);
    EXPECT_EQ(d.dial(1)->ScaleStart(), -40);
    EXPECT_EQ(d.dial(1)->Scale(), 180);
    EXPECT_EQ(d.dial(0)->Bands(), (std::vector<GaugeBand>{{6000, 8000, LevelColor(GaugeLevel::Warning)},
                                                          {7000, 8000, LevelColor(GaugeLevel::Danger)}}));
    EXPECT_EQ(d.dial(1)->Bands(), (std::vector<GaugeBand>{{115, 140, LevelColor(GaugeLevel::Danger)}}));

    TParameterArray t = values(3000, 90, 13.8);
    d.showValues(t);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(d.level(i), GaugeLevel::Normal) << i;
    EXPECT_FALSE(d.dial(0)->AlertColor().isValid());
    EXPECT_FALSE(d.digital(2)->AlertColor().isValid());
    EXPECT_EQ(d.digital(2)->Text(), "13.8");
    EXPECT_EQ(d.digital(3)->Text(), "--"); // no speed in the table

    const uint64_t faces0 = d.dial(0)->FaceDraws(), faces1 = d.dial(1)->FaceDraws();
    t = values(6500, 120, 11.6);
    d.showValues(t);
    EXPECT_EQ(d.level(0), GaugeLevel::Warning);
    EXPECT_EQ(d.dial(0)->AlertColor(), LevelColor(GaugeLevel::Warning));
    EXPECT_EQ(d.level(1), GaugeLevel::Danger);
    EXPECT_EQ(d.dial(1)->AlertColor(), LevelColor(GaugeLevel::Danger));
    EXPECT_EQ(d.level(2), GaugeLevel::Warning);
    EXPECT_EQ(d.digital(2)->AlertColor(), LevelColor(GaugeLevel::Warning));
    t = values(7200, 90, 10.2);
    d.showValues(t);
    EXPECT_EQ(d.dial(0)->AlertColor(), LevelColor(GaugeLevel::Danger));
    EXPECT_FALSE(d.dial(1)->AlertColor().isValid());
    EXPECT_EQ(d.digital(2)->AlertColor(), LevelColor(GaugeLevel::Danger));
    EXPECT_FLOAT_EQ(d.dial(0)->Position(), 7200);
    // Needles and colours move; the faces stay as drawn.
    EXPECT_EQ(d.dial(0)->FaceDraws(), faces0);
    EXPECT_EQ(d.dial(1)->FaceDraws(), faces1);
}

TEST(Dashboard, TheDangerOfARecordingIsSignalledOnce) {
    TDialDialog d(nullptr, nullptr, nullptr, fourGauges());
    QSignalSpy spy(&d, &TDialDialog::dangerCrossed);
    std::vector<DangerCrossing> seen;
    QObject::connect(&d, &TDialDialog::dangerCrossed, [&](const DangerCrossing& c) { seen.push_back(c); });
    TParameterArray t = values(7500, 90, 13.8);
    d.showValues(t); // not recording
    d.showValues(t, 1.5);
    d.showValues(t, 1.6);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Parameter, "Engine speed");
    EXPECT_EQ(seen[0].Crossed.Value, 7000);
    EXPECT_EQ(seen[0].Time, 1.5);
    EXPECT_EQ(spy.count(), 1);
}

TEST(Dashboard, ANewLayoutReplacesTheGauges) {
    TDialDialog d(nullptr, nullptr);
    d.setDashboard(fourGauges());
    EXPECT_EQ(d.gaugeCount(), 4u);
    EXPECT_EQ(d.findChildren<TA3nalogGauge*>().size(), 2);
    EXPECT_EQ(d.findChildren<TDigitalGauge*>().size(), 2);
    EXPECT_EQ(d.dial(0)->size(), QSize(200, 200));
    TParameterArray t = values(7500, 90, 13.8);
    d.showValues(t);
    EXPECT_EQ(d.level(0), GaugeLevel::Danger);
    d.setDashboard(DefaultDashboard());
    EXPECT_EQ(d.findChildren<TA3nalogGauge*>().size(), 2);
    EXPECT_EQ(d.findChildren<TDigitalGauge*>().size(), 0);
    d.showValues(t); // a table without the pressure: its needle stays
    EXPECT_FLOAT_EQ(d.dial(1)->Position(), 7500);
    EXPECT_FLOAT_EQ(d.dial(0)->Position(), 0);
}

TEST(Dashboard, TheLayoutRoundTripsThroughTheSettings) {
    testing::PrivateConfig config;
    QSettings settings(config.path("dials.ini"), QSettings::IniFormat);
    EXPECT_EQ(LoadDashboard(settings), DefaultDashboard()); // nothing kept
    DashboardLayout layout = fourGauges();
    layout.Gauges[1].Caption = "Coolant, \xC2\xB0"
                               "C";
    layout.Gauges[2].Warning.Value = 12.1;
    StoreDashboard(settings, layout);
    settings.sync();
    QSettings again(config.path("dials.ini"), QSettings::IniFormat);
    EXPECT_EQ(LoadDashboard(again), layout);
    // Fewer gauges than before leave none of the old behind.
    layout.Gauges.resize(1);
    StoreDashboard(again, layout);
    again.sync();
    EXPECT_EQ(LoadDashboard(again), layout);
    // The default is kept as nothing at all.
    StoreDashboard(again, DefaultDashboard());
    again.sync();
    EXPECT_TRUE(QSettings(config.path("dials.ini"), QSettings::IniFormat).allKeys().isEmpty());
}

std::vector<GaugeParameter> someParameters() {
    return {{"Engine speed", "RPM"},
            {"Coolant temp.", "\xC2\xB0"
                              "C"},
            {"Battery volts", "V"},
            {"Manifold press (abs).", "bar"}};
}

TEST(DashboardDialog, EditsTheGaugesAndDefaultBringsTheTwoDialsBack) {
    TDashboardDialog dialog(fourGauges(), someParameters());
    EXPECT_EQ(dialog.windowTitle(), "Dials layout");
    EXPECT_EQ(dialog.GaugeList->count(), 4);
    EXPECT_EQ(dialog.currentGauge(), 0);
    EXPECT_EQ(dialog.DefaultButton->text(), "Default");

    // The second gauge becomes a read-out of the battery with a low warning.
    dialog.selectGauge(1);
    dialog.ParameterBox->setCurrentText("Battery volts");
    EXPECT_EQ(dialog.UnitEdit->text(), "V"); // the parameter's own unit
    dialog.KindBox->setCurrentIndex(1);
    EXPECT_FALSE(dialog.SweepBox->isEnabled());
    EXPECT_TRUE(dialog.DecimalsBox->isEnabled());
    dialog.WarningSideBox->setCurrentIndex(1);
    dialog.WarningBox->setValue(11.8);
    const GaugeSpec& g = dialog.layout().Gauges[1];
    EXPECT_EQ(g.Parameter, "Battery volts");
    EXPECT_EQ(g.Kind, GaugeKind::Digital);
    EXPECT_EQ(g.Unit, "V");
    EXPECT_EQ(g.Caption, ""); // the parameter's name
    EXPECT_EQ(g.Warning.Side, ThresholdSide::Below);
    EXPECT_DOUBLE_EQ(g.Warning.Value, 11.8);
    EXPECT_EQ(dialog.GaugeList->item(1)->text(), "2. Battery volts (digital)");

    // A faulty gauge holds OK back and says why.
    dialog.MaximumBox->setValue(-50);
    EXPECT_FALSE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    EXPECT_TRUE(dialog.problem().startsWith("Gauge 2: "));
    dialog.MaximumBox->setValue(16);
    EXPECT_TRUE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());

    // Order and number.
    dialog.moveGauge(-1);
    EXPECT_EQ(dialog.layout().Gauges[0].Parameter, "Battery volts");
    dialog.removeGauge();
    EXPECT_EQ(dialog.layout().Gauges.size(), 3u);
    dialog.addGauge();
    EXPECT_EQ(dialog.layout().Gauges.size(), 4u);
    // The first parameter not shown yet.
    EXPECT_EQ(dialog.layout().Gauges[size_t(dialog.currentGauge())].Parameter, "Coolant temp.");

    dialog.DefaultButton->click();
    EXPECT_EQ(dialog.layout(), DefaultDashboard());
    EXPECT_EQ(dialog.GaugeList->count(), 2);
    EXPECT_EQ(dialog.ParameterBox->currentText(), "Manifold press (abs).");
    EXPECT_DOUBLE_EQ(dialog.MultiplierBox->value(), 100);
}

TEST(DashboardDialog, WithoutGaugesThereIsNothingToTake) {
    TDashboardDialog dialog(DefaultDashboard(), someParameters());
    dialog.removeGauge();
    dialog.removeGauge();
    EXPECT_EQ(dialog.currentGauge(), -1);
    EXPECT_FALSE(dialog.ParameterBox->isEnabled());
    EXPECT_FALSE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    dialog.AddButton->click();
    EXPECT_EQ(dialog.layout().Gauges.size(), 1u);
    EXPECT_EQ(dialog.layout().Gauges[0].Parameter, "Engine speed");
    EXPECT_TRUE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
}

} // namespace
} // namespace quillmar
