#pragma once
// Helpers for the acquisition tests: a messenger that records what would have
// been shown, and a settable clock. (test_main.cpp runs the tests inside a
// QCoreApplication, which QTimers need.)

#include "store/base/Messages.h"

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

} // namespace quillmar::testing
