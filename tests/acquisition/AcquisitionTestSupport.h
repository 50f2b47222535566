#pragma once
// Helpers for the acquisition tests: a QCoreApplication for the whole run, a
// messenger that records what would have been shown, a settable clock, and an
// engine computer played by the test on the far end of a real pseudo-terminal.

#include "acquisition/ParameterTypes.h"
#include "store/Messages.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quillmar::testing {

// Checks that the process's QCoreApplication exists (QTimers need one).
void ensureApplication();

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

// A table of count entries whose sizes add up to 63: the first
// (63 - count) entries take two bytes, the rest one. Entry mapAt is
// "Manifold press (abs).", entry rpmAt "Engine speed".
TParameterArray MakeTable(int count, int mapAt, int rpmAt);

// The far end of a pseudo-terminal acting as adapter and engine computer:
// every byte is echoed, and each complete request frame is handed to the
// responder, whose answer (a whole frame, or nothing) is written back.
class PtyPeer {
public:
    // Returns the bytes to write after the echo (empty: no reply).
    using Responder = std::function<std::vector<uint8_t>(uint8_t mode, const std::vector<uint8_t>& data)>;

    explicit PtyPeer(Responder responder);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& path() const { return path_; }
    int requests() const { return requests_.load(); }

private:
    void run();

    Responder responder_;
    int master_ = -1;
    int slaveKeep_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::string path_;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A complete ALDL frame: F4, length, mode, data, check byte.
std::vector<uint8_t> Frame(uint8_t mode, const std::vector<uint8_t>& data);

} // namespace quillmar::testing
