// The "Dials" window in the frame: made and freed by the talking commands and
// the "Enable dials" item, owned by the frame, its buttons the acquisition
// window's logging commands, its needles set by every tick.

#include "tests/app/AppTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DashboardDialog.h"
#include "app/gauge/DashboardSettings.h"
#include "app/gauge/DialDialog.h"
#include "app/gauge/DigitalGauge.h"

#include <QComboBox>
#include <QMenu>
#include <QSignalSpy>

#include <QToolButton>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using testing::FrameFixture;

class DialsWindowTest : public ::testing::Test, public FrameFixture {
protected:
    void SetUp() override {
        writeSettings();
        open();
        ASSERT_NE(frame->CommsForm(), nullptr);
    }
    // Dials windows still alive once deferred deletions have run.
    int dialsWindows() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return int(frame->findChildren<TDialDialog*>().size());
    }
    TCommsForm& comms() { return *frame->CommsForm(); }
    double value(int32_t index) { return acq().parameters()[size_t(index - 1)].Value; }
};

TEST_F(DialsWindowTest, StartTalkingShowsThemAndStopTalkingFreesThem) {
    frame->Enabledials1->trigger(); // checked while idle: nothing yet
    ASSERT_TRUE(frame->Enabledials1->isChecked());
    EXPECT_EQ(frame->DialsWindow(), nullptr);
    EXPECT_EQ(dialsWindows(), 0);

    comms().StartTalkingAction->trigger();
    TDialDialog* dials = frame->DialsWindow();
    ASSERT_NE(dials, nullptr);
    EXPECT_TRUE(dials->isVisible());
    EXPECT_EQ(dials->parent(), frame.get());
    EXPECT_EQ(dials->windowTitle(), "Dials");
    EXPECT_EQ(dials->StartLoggingButton->defaultAction(), comms().StartLoggingAction);
    EXPECT_EQ(dials->StopLoggingButton->defaultAction(), comms().StopLoggingAction);

    // Every tick moves both needles: the pressure x 100 and the engine speed.
    for (int tick = 0; tick < 3; ++tick) {
        acq().acquisitionTick();
        EXPECT_FLOAT_EQ(dials->dial(0)->Position(), float(value(acq().indices().MapIndex) * 100.0));
        EXPECT_FLOAT_EQ(dials->dial(1)->Position(), float(value(acq().indices().EngineSpeedIndex)));
    }
    // Its buttons are the logging commands.
    dials->StartLoggingButton->click();
    EXPECT_EQ(acq().state(), AcquisitionState::Logging);
    dials->StopLoggingButton->click();
    EXPECT_EQ(acq().state(), AcquisitionState::Talking);
    EXPECT_EQ(frame->DialsWindow(), dials); // logging does not touch the window

    comms().StopTalkingAction->trigger();
    EXPECT_EQ(frame->DialsWindow(), nullptr);
    EXPECT_EQ(dialsWindows(), 0);
}

TEST_F(DialsWindowTest, TheItemOpensAndFreesThemOnlyWhileTalking) {
    comms().StartTalkingAction->trigger();
    EXPECT_EQ(frame->DialsWindow(), nullptr); // not enabled
    acq().acquisitionTick();
    EXPECT_EQ(dialsWindows(), 0);

    frame->Enabledials1->trigger(); // checked while talking
    ASSERT_NE(frame->DialsWindow(), nullptr);
    EXPECT_TRUE(frame->DialsWindow()->isVisible());
    frame->Enabledials1->trigger(); // unchecked while talking
    EXPECT_EQ(frame->DialsWindow(), nullptr);
    EXPECT_EQ(dialsWindows(), 0);
    acq().acquisitionTick(); // a tick without dials
    EXPECT_EQ(dialsWindows(), 0);

    comms().StopTalkingAction->trigger();
    frame->Enabledials1->trigger(); // checked while idle
    EXPECT_EQ(dialsWindows(), 0);
    comms().StartLoggingAction->trigger(); // logging starts talking first
    EXPECT_NE(frame->DialsWindow(), nullptr);
    frame->Enabledials1->trigger(); // unchecked while idle after stopping: nothing to free
    comms().StopTalkingAction->trigger();
    EXPECT_EQ(dialsWindows(), 0);
}

TEST_F(DialsWindowTest, ClosingTheFrameWhileTheyShowFreesThem) {
    frame->Enabledials1->trigger();
    comms().StartTalkingAction->trigger();
    QPointer<TDialDialog> dials = frame->DialsWindow();
    ASSERT_TRUE(dials);
    frame.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dials);
}

// Engine speed as a read-out that is always in danger, and the pressure dial.
DashboardLayout alwaysInDanger() {
    DashboardLayout layout = DefaultDashboard();
    layout.Gauges[1].Kind = GaugeKind::Digital;
    layout.Gauges[1].Danger = {true, 0, ThresholdSide::Above};
    return layout;
}

TEST_F(DialsWindowTest, TheLayoutIsKeptInTheSettingsAndTheOpenWindowFollowsIt) {
    EXPECT_EQ(frame->DialsLayout(), DefaultDashboard());
    ASSERT_TRUE(frame->DialsMenu->actions().contains(frame->DialsLayoutAction));
    frame->Enabledials1->trigger();
    comms().StartTalkingAction->trigger();
    ASSERT_NE(frame->DialsWindow(), nullptr);

    // The dialog offers the table's parameters (no flag entries) and the layout in force.
    std::unique_ptr<TDashboardDialog> dialog(frame->makeDialsLayoutDialog());
    EXPECT_EQ(dialog->layout(), DefaultDashboard());
    EXPECT_GE(dialog->ParameterBox->findText("Coolant temp."), 0);
    EXPECT_LT(dialog->ParameterBox->findText("Flags 30"), 0);
    dialog.reset();

    frame->DialsLayoutAccept(alwaysInDanger());
    EXPECT_EQ(frame->DialsLayout(), alwaysInDanger());
    EXPECT_EQ(LoadDashboard(*OpenSettings()), alwaysInDanger());
    TDialDialog* dials = frame->DialsWindow();
    ASSERT_NE(dials, nullptr);
    ASSERT_EQ(dials->gaugeCount(), 2u);
    EXPECT_NE(dials->digital(1), nullptr);
    acq().acquisitionTick();
    EXPECT_EQ(dials->level(1), GaugeLevel::Danger);
    EXPECT_EQ(dials->digital(1)->AlertColor(), LevelColor(GaugeLevel::Danger));
    comms().StopTalkingAction->trigger();

    // The next run starts with it; "Default" (kept as no layout at all) brings the two dials back.
    frame.reset();
    open();
    EXPECT_EQ(frame->DialsLayout(), alwaysInDanger());
    frame->DialsLayoutAccept(DefaultDashboard());
    std::unique_ptr<QSettings> settings = OpenSettings();
    settings->beginGroup(DashboardSettingsGroup);
    EXPECT_TRUE(settings->allKeys().isEmpty());
}

TEST_F(DialsWindowTest, TheFirstDangerOfARecordingIsToldWithItsTime) {
    frame->DialsLayoutAccept(alwaysInDanger());
    std::vector<DangerCrossing> told;
    QObject::connect(frame.get(), &TMainForm::dialDangerCrossed,
                     [&](const DangerCrossing& c) { told.push_back(c); });
    frame->Enabledials1->trigger();
    comms().StartTalkingAction->trigger();
    acq().acquisitionTick(); // talking, not recording
    EXPECT_TRUE(told.empty());
    comms().StartLoggingAction->trigger();
    acq().acquisitionTick();
    acq().acquisitionTick();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].Parameter, "Engine speed");
    EXPECT_EQ(told[0].Crossed, alwaysInDanger().Gauges[1].Danger);
    EXPECT_GE(told[0].Time, 0);
    EXPECT_LE(told[0].Time, value(acq().indices().TimeIndex)); // the first row's time
    comms().StopLoggingAction->trigger();
    comms().StartLoggingAction->trigger(); // a new recording
    acq().acquisitionTick();
    EXPECT_EQ(told.size(), 2u);
    comms().StopTalkingAction->trigger();
}

} // namespace
} // namespace quillmar
