#include "acquisition/demo/SimulatedEcu.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "acquisition/demo/SimEncoding.h"
#include "acquisition/params/Parameters.h"
#include "link/Serial.h"

namespace quillmar {

namespace {

constexpr int64_t ByteNs = 1220703;          // 10 bits at 8192 baud
constexpr int64_t StaleRequestNs = 50000000; // a request cut short is given up after 50 ms

int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::string systemText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

const char* SimFaultName(SimFault fault) {
    switch (fault) {
    case SimFault::NoEcho:
        return "no-echo";
    case SimFault::BadEcho:
        return "bad-echo";
    case SimFault::Noise:
        return "noise";
    case SimFault::BadCheck:
        return "bad-check";
    case SimFault::Truncated:
        return "truncated";
    case SimFault::WrongMode:
        return "wrong-mode";
    case SimFault::Silence:
        return "silence";
    }
    return "";
}

SimulatedEcu::SimulatedEcu(SimOptions options) : SimulatedEcu(options, BuiltInParameters()) {}

SimulatedEcu::SimulatedEcu(SimOptions options, TParameterArray table)
    : options_(std::move(options)), table_(std::move(table)), model_(options_.Seed),
      prom_(PromImage::Generated(options_.Seed)), faultEvery_(options_.FaultEvery) {}

SimulatedEcu::~SimulatedEcu() {
    Stop();
}

bool SimulatedEcu::LoadInputFiles() {
    if (inputsLoaded_) return true;
    error_.clear();
    if (!options_.PromPath.empty() && !PromImage::Load(options_.PromPath, prom_, error_)) return false;
    if (!options_.ReplayPath.empty() && !LogReplay::Load(options_.ReplayPath, replay_, error_)) return false;
    inputsLoaded_ = true;
    return true;
}

bool SimulatedEcu::Start() {
    if (thread_.joinable() || master_ >= 0) {
        error_ = "The simulator is already running";
        return false;
    }
    if (!LoadInputFiles()) return false;
    {
        std::lock_guard guard(lock_);
        failure_.clear();
    }
    if (!options_.RecordPath.empty()) {
        record_ = std::make_unique<std::ofstream>(options_.RecordPath, std::ios::out | std::ios::trunc);
        if (!*record_) {
            error_ = "Cannot write the record file \"" + options_.RecordPath + "\"";
            record_.reset();
            return false;
        }
    }

    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        error_ = systemText("Cannot open a pseudo-terminal");
        return false;
    }
    char name[128] = {};
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        error_ = systemText("Cannot set up the pseudo-terminal");
        closeAll();
        return false;
    }
    devicePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error_ = systemText("Cannot open " + devicePath_);
        closeAll();
        return false;
    }
    // Both sides raw: the line passes every byte untouched, echoes nothing itself.
    const TLineSettings raw = TLineSettings::Raw8N1(Baud);
    WriteLineSettings(slave_, raw);
    WriteLineSettings(master_, raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = systemText("Cannot create a pipe");
        closeAll();
        return false;
    }
    if (!options_.LinkPath.empty()) {
        struct stat st {};
        if (lstat(options_.LinkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error_ = "Cannot make the link " + options_.LinkPath + ": a file of that name exists";
                closeAll();
                return false;
            }
            ::unlink(options_.LinkPath.c_str());
        }
        if (symlink(devicePath_.c_str(), options_.LinkPath.c_str()) != 0) {
            error_ = systemText("Cannot make the link " + options_.LinkPath);
            closeAll();
            return false;
        }
    }
    stop_ = false;
    hungUp_ = false;
    startNs_ = nowNs();
    wireFree_ = startNs_;
    lastModelNs_ = startNs_;
    replayClockNs_ = -1;
    replayReplies_ = 0;
    thread_ = std::thread([this] {
        // An unforeseen failure ends the answering, never the process.
        try {
            run();
        } catch (const std::exception& e) {
            {
                std::lock_guard guard(lock_);
                failure_ = e.what();
            }
            hangUp();
        }
    });
    return true;
}

void SimulatedEcu::Stop() {
    stop_ = true;
    if (wake_[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
    }
    if (thread_.joinable()) thread_.join();
    closeAll();
    if (!options_.LinkPath.empty()) {
        struct stat st {};
        if (lstat(options_.LinkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(options_.LinkPath.c_str());
    }
    if (record_) record_->flush();
}

void SimulatedEcu::closeAll() {
    for (int* fd : {&master_, &slave_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

std::map<std::string, double> SimulatedEcu::LastValues() const {
    std::lock_guard guard(lock_);
    return lastValues_;
}

std::string SimulatedEcu::Failure() const {
    std::lock_guard guard(lock_);
    return failure_;
}

TBytes SimulatedEcu::LastReply() const {
    std::lock_guard guard(lock_);
    return lastReply_;
}

void SimulatedEcu::QueueRawReply(TBytes bytes) {
    std::lock_guard guard(lock_);
    rawReplies_.push_back(std::move(bytes));
}

void SimulatedEcu::SetFaultEvery(SimFault fault, unsigned every) {
    std::lock_guard guard(lock_);
    faultEvery_[size_t(fault)] = every;
}

bool SimulatedEcu::silentNow() const {
    if (silent_) return true;
    if (!options_.SilentAfterSeconds) return false;
    const double since = double(nowNs() - startNs_) / 1e9;
    if (since < *options_.SilentAfterSeconds) return false;
    return options_.SilentForSeconds <= 0 || since < *options_.SilentAfterSeconds + options_.SilentForSeconds;
}

void SimulatedEcu::run() {
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0); // byte timing to the microsecond
    const int64_t hangUpAt =
        options_.HangUpAfterSeconds > 0 ? startNs_ + int64_t(options_.HangUpAfterSeconds * 1e9) : 0;
    uint8_t buffer[512];
    while (!stop_) {
        int64_t waitNs = -1;
        const int64_t now = nowNs();
        if (hangUpAt) waitNs = std::max<int64_t>(0, hangUpAt - now);
        if (!partial_.empty()) {
            const int64_t staleIn = std::max<int64_t>(0, partialSince_ + StaleRequestNs - now);
            waitNs = waitNs < 0 ? staleIn : std::min(waitNs, staleIn);
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        timespec ts{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        const int r = ppoll(fds, 2, waitNs < 0 ? nullptr : &ts, nullptr);
        if (r < 0 && errno != EINTR) break;
        if (stop_ || (fds[1].revents & POLLIN)) break;
        if (hangUpAt && nowNs() >= hangUpAt) {
            hangUp();
            break;
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) handle(buffer, size_t(n), nowNs());
        }
        if (!partial_.empty() && nowNs() - partialSince_ >= StaleRequestNs) {
            sendToLine(partial_); // a request cut short still comes back as echo
            partial_.clear();
        }
    }
}

void SimulatedEcu::hangUp() {
    hungUp_ = true;
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

void SimulatedEcu::handle(const uint8_t* bytes, size_t count, int64_t arrivalNs) {
    if (partial_.empty()) partialSince_ = arrivalNs;
    partial_.insert(partial_.end(), bytes, bytes + count);
    while (!partial_.empty() && !stop_) {
        if (partial_[0] != FrameStartByte || (partial_.size() >= 2 && partial_[1] < 0x55)) {
            // Not the start of a frame: the wire echoes it all the same.
            size_t skip = 1;
            while (skip < partial_.size() && partial_[skip] != FrameStartByte)
                ++skip;
            sendToLine(TBytes(partial_.begin(), partial_.begin() + std::ptrdiff_t(skip)));
            partial_.erase(partial_.begin(), partial_.begin() + std::ptrdiff_t(skip));
            partialSince_ = arrivalNs;
            continue;
        }
        if (partial_.size() < 2) break;
        const size_t total = size_t(partial_[1] - FrameLengthBias) + 2;
        if (partial_.size() < total) break;
        const TBytes request(partial_.begin(), partial_.begin() + std::ptrdiff_t(total));
        partial_.erase(partial_.begin(), partial_.begin() + std::ptrdiff_t(total));
        partialSince_ = arrivalNs;
        answer(request);
    }
}

void SimulatedEcu::answer(const TBytes& request) {
    const uint64_t number = ++requests_;
    std::array<bool, SimFaultCount> fault{};
    std::optional<TBytes> raw;
    {
        std::lock_guard guard(lock_);
        for (size_t k = 0; k < SimFaultCount; ++k)
            fault[k] = faultEvery_[k] != 0 && number % faultEvery_[k] == 0;
        if (!rawReplies_.empty()) {
            raw = std::move(rawReplies_.front());
            rawReplies_.pop_front();
        }
    }
    auto has = [&](SimFault f) { return fault[size_t(f)]; };
    if (has(SimFault::NoEcho)) return; // nothing on the line at all

    TBytes echo = request;
    if (has(SimFault::BadEcho)) echo.back() ^= 0x10;
    sendToLine(echo);

    TFrame frame;
    frame.Parse(request);
    if (!frame.CheckOK() && !raw) return; // a garbled request is not answered
    if ((has(SimFault::Silence) || silentNow()) && !raw) return;

    TBytes reply;
    if (raw) {
        reply = std::move(*raw);
    } else {
        if (has(SimFault::WrongMode)) frame.Mode ^= 0x80; // the same content under another mode
        reply = replyFor(frame);
        if (has(SimFault::BadCheck)) reply.back() ^= 0x5A;
        if (has(SimFault::Truncated)) reply.resize(std::min<size_t>(reply.size() - 1, 6));
        if (has(SimFault::Noise)) {
            TBytes noise{0x00, 0x55, 0xAA};
            reply.insert(reply.begin(), noise.begin(), noise.end());
        }
    }

    const int64_t turnaround = int64_t(options_.TurnaroundMs * 1e6);
    if (turnaround > 0 && !sleepUntil(std::max(nowNs(), wireFree_) + turnaround)) return;
    sendToLine(reply);
    {
        std::lock_guard guard(lock_);
        lastReply_ = reply;
    }
    if (record_) {
        std::string line = BytesToHex(reply);
        if (!line.empty()) line.pop_back();
        // Say which faults touched a reply, so a reader can tell the good ones.
        if (!raw) {
            std::string faults;
            for (const SimFault f : {SimFault::BadEcho, SimFault::Noise, SimFault::BadCheck,
                                     SimFault::Truncated, SimFault::WrongMode})
                if (has(f)) faults += std::string(faults.empty() ? " #" : "") + " " + SimFaultName(f);
            line += faults;
        }
        *record_ << line << '\n';
        record_->flush();
    }
}

TBytes SimulatedEcu::replyFor(const TFrame& request) {
    TBytes data;
    if ((request.Mode & 0x7F) == 1 && !options_.ReplayPath.empty()) {
        const int64_t now = nowNs();
        const int64_t advance =
            options_.StepSeconds > 0 ? int64_t(std::llround(options_.StepSeconds * 1e9)) : now - lastModelNs_;
        lastModelNs_ = now;
        data = replayReply(advance);
    } else if ((request.Mode & 0x7F) == 1) {
        const int64_t now = nowNs();
        model_.Advance(options_.StepSeconds > 0 ? options_.StepSeconds : double(now - lastModelNs_) / 1e9);
        lastModelNs_ = now;
        std::map<std::string, double> sent;
        data = EncodeReply(table_, model_.Values(), ReplyDataBytes, &sent);
        std::lock_guard guard(lock_);
        lastValues_ = std::move(sent);
    } else if ((request.Mode & 0x7F) == 2 && request.Data.size() >= 2) {
        const uint16_t address = uint16_t(request.Data[0] << 8 | request.Data[1]);
        data = prom_.Read(address, PromBlock);
    }
    TFrame reply(request.Mode, std::move(data));
    return reply.AsBytes();
}

TBytes SimulatedEcu::replayReply(int64_t advanceNs) {
    // The first reply plays the first row; the clock moves on from there.
    replayClockNs_ = replayClockNs_ < 0 ? 0 : replayClockNs_ + std::max<int64_t>(advanceNs, 0);
    // Keep the clock within one pass so that it never overflows.
    if (replay_.LoopNs() > 0) replayClockNs_ %= replay_.LoopNs();
    const size_t row = replay_.RowAt(replayClockNs_, replayReplies_++);
    const uint8_t* bytes = replay_.Data(row);
    TBytes data(bytes, bytes + LogReplay::RowBytes);
    std::map<std::string, double> sent;
    for (const TParameter& p : table_)
        if (p.Size > 0) sent[DisplayName(p)] = double(DecodeValue(p, data.data(), data.size()));
    std::lock_guard guard(lock_);
    lastValues_ = std::move(sent);
    return data;
}

void SimulatedEcu::sendToLine(const TBytes& bytes) {
    if (bytes.empty()) return;
    if (!options_.Pace) {
        writeNow(bytes.data(), bytes.size());
        wireFree_ = nowNs();
        return;
    }
    // Each byte leaves when its 10 bits have passed on the wire, counted from
    // the start of the burst, so a late wake-up does not slow the bytes after it.
    int64_t done = std::max(nowNs(), wireFree_);
    for (uint8_t b : bytes) {
        done += ByteNs;
        if (!sleepUntil(done)) return;
        writeNow(&b, 1);
        wireFree_ = done;
    }
}

void SimulatedEcu::writeNow(const uint8_t* bytes, size_t count) {
    while (count > 0 && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            // Nobody reads the line: wait a little, then let the bytes fall off it.
            pollfd p{master_, POLLOUT, 0};
            if (poll(&p, 1, 100) > 0) continue;
        }
        return;
    }
}

bool SimulatedEcu::sleepUntil(int64_t ns) {
    for (;;) {
        if (stop_) return false;
        const int64_t left = ns - nowNs();
        if (left <= 0) return true;
        pollfd p{wake_[0], POLLIN, 0};
        timespec ts{time_t(left / 1000000000), long(left % 1000000000)};
        if (ppoll(&p, 1, &ts, nullptr) > 0 && (p.revents & POLLIN)) return false;
    }
}

} // namespace quillmar
