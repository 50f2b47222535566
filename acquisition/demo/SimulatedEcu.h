#pragma once
// The engine computer and its interface adapter on the far side of a
// pseudo-terminal. Every byte written to the device comes back as its echo;
// every complete request frame gets a reply frame of the same mode:
//   mode 1 (with or without a message-number byte): 63 data bytes from the
//          vehicle model, encoded with the parameter table, or, when a log
//          is replayed, the bytes of its rows (acquisition/demo/SimReplay.h);
//   mode 2 with address high, low: 64 bytes of the PROM image from there
//          (fewer where the address space ends at 0xFFFF);
//   any other mode: no data.
// Runs on its own thread; the public calls are safe from any thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "acquisition/demo/PromImage.h"
#include "acquisition/demo/SimReplay.h"
#include "acquisition/demo/VehicleModel.h"
#include "acquisition/params/ParameterTypes.h"
#include "link/Frame.h"

namespace quillmar {

// Faults the simulator can inject, each on every Nth request.
enum class SimFault {
    NoEcho,    // the request is not echoed and not answered (adapter unplugged)
    BadEcho,   // one echoed byte is altered
    Noise,     // a few stray bytes come before the reply's start byte
    BadCheck,  // the reply's check byte is wrong
    Truncated, // the reply stops after a few body bytes
    WrongMode, // the reply carries another mode
    Silence,   // echo, but no reply
};
inline constexpr size_t SimFaultCount = 7;

// "no-echo", "bad-echo", "noise", "bad-check", "truncated", "wrong-mode", "silence".
const char* SimFaultName(SimFault fault);

struct SimOptions {
    bool Pace = false;        // no faster than 8192 baud, 10 bits a byte
    double TurnaroundMs = 0;  // between the end of the request and the reply
    double StepSeconds = 0.2; // model time per mode 1 reply; 0: the time that really passed
    uint32_t Seed = 1;
    std::array<unsigned, SimFaultCount> FaultEvery{}; // 0: never
    double HangUpAfterSeconds = 0;                    // 0: never
    // The engine computer goes quiet this many seconds after the start (the
    // adapter still echoes every request, nothing answers it), for
    // SilentForSeconds, then answers again; nullopt: never, 0: for good.
    std::optional<double> SilentAfterSeconds;
    double SilentForSeconds = 0;
    // Every reply sent, one hex line each; a reply a fault touched ends in
    // " #" and the faults' names ("F4 95 01 ... 3C # bad-check").
    std::string RecordPath;
    std::string PromPath; // empty: a generated image
    std::string LinkPath; // a symbolic link made to the device
    // A log file whose rows mode 1 replies carry, at their recorded pace on
    // the model time above, looping at the end; empty: the vehicle model.
    std::string ReplayPath;
};

class SimulatedEcu {
public:
    static constexpr uint32_t Baud = 8192;
    static constexpr size_t ReplyDataBytes = 63;
    static constexpr size_t PromBlock = 64;

    // With the built-in parameter table.
    explicit SimulatedEcu(SimOptions options = {});
    SimulatedEcu(SimOptions options, TParameterArray table);
    ~SimulatedEcu();
    SimulatedEcu(const SimulatedEcu&) = delete;
    SimulatedEcu& operator=(const SimulatedEcu&) = delete;

    // Reads the PROM image and the replay log the options name (Start does
    // it when not done yet). False with Error() set when a file is refused.
    bool LoadInputFiles();
    // Opens the pseudo-terminal and starts answering. False with Error() set.
    bool Start();
    // Stops answering and closes the pseudo-terminal (clients see a hang-up).
    void Stop();

    const std::string& DevicePath() const { return devicePath_; }
    const std::string& Error() const { return error_; }
    bool HungUp() const { return hungUp_; }
    // Why the simulator stopped answering on its own (it then hangs up);
    // empty while all is well.
    std::string Failure() const;

    // The values of the last mode 1 reply by parameter display name, each
    // pulled into the range its entry can carry (replayed rows: decoded).
    std::map<std::string, double> LastValues() const;
    // The bytes of the last reply sent (whole frame as sent).
    TBytes LastReply() const;
    // Complete request frames seen so far.
    uint64_t RequestCount() const { return requests_; }

    // The next request is answered with exactly these bytes instead of a reply frame.
    void QueueRawReply(TBytes bytes);
    void SetFaultEvery(SimFault fault, unsigned every);
    // Quiet (echo only, no replies; queued raw replies still go out) until
    // told otherwise, over whatever the options say; or back to the options.
    void SetSilent(bool silent) { silent_ = silent; }
    bool Silent() const { return silent_; }

private:
    void run();
    void handle(const uint8_t* bytes, size_t count, int64_t arrivalNs);
    void answer(const TBytes& request);
    TBytes replyFor(const TFrame& request);
    TBytes replayReply(int64_t advanceNs);
    void sendToLine(const TBytes& bytes);
    void writeNow(const uint8_t* bytes, size_t count);
    bool sleepUntil(int64_t ns); // false when told to stop
    void hangUp();
    void closeAll();
    // Told to be quiet, or in the quiet spell the options give.
    bool silentNow() const;

    SimOptions options_;
    TParameterArray table_;
    VehicleModel model_;
    PromImage prom_;
    LogReplay replay_;
    bool inputsLoaded_ = false;

    int master_ = -1;
    int slave_ = -1; // held so the master never sees a hang-up between clients
    int wake_[2] = {-1, -1};
    std::string devicePath_;
    std::string error_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<uint64_t> requests_{0};
    std::atomic<bool> silent_{false};

    // Sim thread only.
    TBytes partial_; // bytes of a request not yet complete
    int64_t partialSince_ = 0;
    int64_t wireFree_ = 0; // when the wire has sent everything so far
    int64_t startNs_ = 0;
    int64_t lastModelNs_ = 0;    // when the model last moved on, for StepSeconds 0
    int64_t replayClockNs_ = -1; // -1 until the first replayed reply
    uint64_t replayReplies_ = 0;
    std::unique_ptr<std::ofstream> record_;

    mutable std::mutex lock_;
    std::map<std::string, double> lastValues_;
    TBytes lastReply_;
    std::deque<TBytes> rawReplies_;
    std::string failure_;
    std::array<unsigned, SimFaultCount> faultEvery_{};
};

} // namespace quillmar
