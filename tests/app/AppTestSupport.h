#pragma once
// A frame window for tests: private settings and protocol file, no serial
// devices, a counting sleep inhibitor, and settings written beforehand so
// that no first-start dialog comes unless the test wants one.

#include "tests/app/WidgetTestSupport.h"

#include "acquisition/Settings.h"
#include "acquisition/window/CommsForm.h"
#include "app/main/MainForm.h"

#include <QCoreApplication>

#include <memory>

namespace quillmar::testing {

struct InhibitorLog {
    int acquired = 0;
    int released = 0;
    bool held = false;
};

class CountingInhibitor : public SleepInhibitor {
public:
    explicit CountingInhibitor(std::shared_ptr<InhibitorLog> log) : log_(std::move(log)) {}
    bool acquire() override {
        ++log_->acquired;
        log_->held = true;
        return true;
    }
    void release() override {
        ++log_->released;
        log_->held = false;
    }

private:
    std::shared_ptr<InhibitorLog> log_;
};

class FrameFixture {
public:
    FrameFixture() {
        options.App.IniPath = config.file("protocol.ini");
        options.ShowMessageBoxes = false;
        options.FindDevices = [] { return std::vector<SerialDeviceInfo>{}; };
        options.MakeInhibitor = [log = inhibitor] { return std::make_unique<CountingInhibitor>(log); };
    }

    // Settings as a previous run left them.
    void writeSettings(int port = 1) {
        std::unique_ptr<QSettings> s = OpenSettings();
        WriteInt32(*s, "Port", port);
        WriteInt32(*s, "Main x-pos", 246);
        WriteInt32(*s, "Main y-pos", 112);
        WriteInt32(*s, "Main height", 598);
        WriteInt32(*s, "Main width", 763);
        s->sync();
    }

    // A frame, shown (its children are made then), in test mode.
    TMainForm& open(bool testMode = true) {
        frame = std::make_unique<TMainForm>(options);
        frame->show();
        if (testMode && frame->CommsForm()) frame->TestMode1->setChecked(true);
        return *frame;
    }

    Acquisition& acq() { return frame->CommsForm()->acquisition(); }

    // A recording of rows test-mode ticks, finished.
    void record(int rows) {
        TCommsForm* c = frame->CommsForm();
        c->StartLoggingAction->trigger();
        for (int i = 0; i < rows; ++i)
            acq().acquisitionTick();
        c->StopTalkingAction->trigger();
    }

    // "Dump PROM to BIN..." accepted with file, and the event loop run until
    // the dump has ended.
    void dumpProm(const QString& file) {
        frame->PROMDumpActionAccept(file);
        while (acq().promDumpRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }

    PrivateConfig config;
    ScriptedMessenger messenger;
    std::shared_ptr<InhibitorLog> inhibitor = std::make_shared<InhibitorLog>();
    MainFormOptions options;
    std::unique_ptr<TMainForm> frame;
};

} // namespace quillmar::testing
