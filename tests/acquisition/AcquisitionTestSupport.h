#pragma once
// Helpers for the acquisition tests: a messenger that records what would have
// been shown, a settable clock, and a PROM dump run to its end. (test_main.cpp
// runs the tests inside a QCoreApplication, which QTimers need.)

#include "acquisition/Acquisition.h"
#include "store/base/Messages.h"

#include <QCoreApplication>

#include <string>
#include <utility>
#include <vector>

namespace quillmar::testing {

class RecordingMessenger : public Messenger {
public:
    RecordingMessenger() { previous_ = setMessenger(this); }
    ~RecordingMessenger() override { setMessenger(previous_); }
    Answer ask(const std::string& caption, const std::string& text, Buttons buttons) override {
        shown.emplace_back(caption, text);
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    std::vector<std::pair<std::string, std::string>> shown;

private:
    Messenger* previous_ = nullptr;
};

// Days, advanced by the test.
struct ManualClock {
    double days = 45000.0;
    void advanceSeconds(double s) { days += s / 86400.0; }
};

// Starts a PROM dump and runs the event loop until it has ended: how it
// ended, or Busy when it was refused.
inline PromDumpResult RunPromDump(Acquisition& acq, const std::string& file) {
    if (!acq.startPromDump(file)) return PromDumpResult::Busy;
    while (acq.promDumpRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return acq.promDumpResult();
}

} // namespace quillmar::testing
