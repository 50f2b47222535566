// The "Dials" window in the frame: made and freed by the talking commands and
// the "Enable dials" item, owned by the frame, its buttons the acquisition
// window's logging commands, its needles set by every tick.

#include "tests/app/AppTestSupport.h"

#include "acquisition/params/Parameters.h"
#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DialDialog.h"

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
        EXPECT_FLOAT_EQ(dials->dlgBoostDial->Position(), float(value(acq().indices().MapIndex) * 100.0));
        EXPECT_FLOAT_EQ(dials->dlgRPMDial->Position(), float(value(acq().indices().EngineSpeedIndex)));
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

} // namespace
} // namespace quillmar
