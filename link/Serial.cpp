#include "link/Serial.h"

// The kernel's own termios2 (for any baud rate); it clashes with <termios.h>,
// which is therefore not included here.
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace quillmar {

static_assert(sizeof(TLineSettings::ControlChars) == sizeof(termios2::c_cc));

namespace {

int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Milliseconds left until the deadline, rounded up so a wait never ends early;
// at most what poll() takes (a wait limit above 24 days would wrap to a
// negative time-out, which waits for ever).
int msUntil(int64_t deadlineNs) {
    int64_t left = deadlineNs - nowNs();
    if (left <= 0) return 0;
    return int(std::min<int64_t>((left + 999999) / 1000000, INT_MAX));
}

void sleepNs(int64_t ns) {
    if (ns <= 0) return;
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

TLineSettings fromKernel(const termios2& t) {
    TLineSettings s;
    s.InputFlags = t.c_iflag;
    s.OutputFlags = t.c_oflag;
    s.ControlFlags = t.c_cflag;
    s.LocalFlags = t.c_lflag;
    s.LineDiscipline = t.c_line;
    std::copy(std::begin(t.c_cc), std::end(t.c_cc), s.ControlChars.begin());
    s.InputSpeed = t.c_ispeed;
    s.OutputSpeed = t.c_ospeed;
    return s;
}

termios2 toKernel(const TLineSettings& s) {
    termios2 t{};
    t.c_iflag = s.InputFlags;
    t.c_oflag = s.OutputFlags;
    t.c_cflag = s.ControlFlags;
    t.c_lflag = s.LocalFlags;
    t.c_line = s.LineDiscipline;
    std::copy(s.ControlChars.begin(), s.ControlChars.end(), std::begin(t.c_cc));
    t.c_ispeed = s.InputSpeed;
    t.c_ospeed = s.OutputSpeed;
    return t;
}

int retryIoctl(int fd, unsigned long request, void* arg) {
    int r;
    do
        r = ioctl(fd, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
}

std::string groupName(gid_t gid) {
    group g{};
    group* found = nullptr;
    std::string buffer(4096, '\0');
    if (getgrgid_r(gid, &g, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

std::string userName(uid_t uid) {
    passwd p{};
    passwd* found = nullptr;
    std::string buffer(4096, '\0');
    if (getpwuid_r(uid, &p, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

// configure()'s result when the device does not keep the rate; LastErrorText already says so.
constexpr uint32_t RateNotKept = 0xFFFFFFFFu;

} // namespace

std::string PermissionAdvice(unsigned mode, const std::string& owner, const std::string& group) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777);
    if ((mode & 0006) == 0006)
        return "Its permissions (" + std::string(octal) +
               ") let everyone read and write it, yet the system refused: ask an administrator.";
    if ((mode & 0060) == 0060)
        return "Join the group \"" + group + "\" that owns it (for example: sudo usermod -aG " + group +
               " $USER), then log in again.";
    if ((mode & 0600) == 0600)
        return "Only its owner \"" + owner + "\" may open it (permissions " + octal + "; its group \"" +
               group +
               "\" may not): ask an administrator to give a group read and write access to it, then join "
               "that group.";
    return "Nobody may open it for reading and writing (permissions " + std::string(octal) +
           "): ask an administrator for access.";
}

std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0)
        return "Join the group \"dialout\" that owns serial ports (for example: sudo usermod -aG dialout "
               "$USER), then log in again.";
    return PermissionAdvice(st.st_mode, userName(st.st_uid), groupName(st.st_gid));
}

TLineSettings TLineSettings::Raw8N1(uint32_t baud) {
    TLineSettings s;
    s.InputFlags = 0; // no translation, no flow control: every byte as received
    s.OutputFlags = 0;
    s.ControlFlags = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    s.LocalFlags = 0;
    s.ControlChars[VMIN] = 0;
    s.ControlChars[VTIME] = 0;
    s.InputSpeed = baud;
    s.OutputSpeed = baud;
    return s;
}

bool ReadLineSettings(int fd, TLineSettings& settings) {
    termios2 t{};
    if (retryIoctl(fd, TCGETS2, &t) != 0) return false;
    settings = fromKernel(t);
    return true;
}

bool WriteLineSettings(int fd, const TLineSettings& settings) {
    termios2 t = toKernel(settings);
    return retryIoctl(fd, TCSETS2, &t) == 0;
}

TSerial::TSerial() : keepPortSettings_(true) {}

TSerial::TSerial(const TLineSettings& settings) : keepPortSettings_(false), wantedSettings_(settings) {}

TSerial::~TSerial() {
    if (isOpen_ || handle_ >= 0) TSerial::ClosePort();
}

bool TSerial::OpenPort(uint8_t number, uint32_t access) {
    if (isOpen_ || handle_ >= 0) ClosePort();
    if (number < FirstPortNumber || number > LastPortNumber) return false;
    return openPath(PortDevice(number), number, access);
}

bool TSerial::OpenDevice(const std::string& path, uint32_t access) {
    if (isOpen_ || handle_ >= 0) ClosePort();
    return openPath(path, PortNumberOfDevice(path), access);
}

bool TSerial::openPath(const std::string& path, uint8_t number, uint32_t access) {
    devicePath_ = path;
    int mode = O_RDWR;
    if ((access & GENERIC_READ) && !(access & GENERIC_WRITE))
        mode = O_RDONLY;
    else if (!(access & GENERIC_READ) && (access & GENERIC_WRITE))
        mode = O_WRONLY;
    do
        handle_ = ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (handle_ < 0 && errno == EINTR);

    uint32_t failure = 0;
    bool settingsApplied = false;
    if (handle_ < 0) failure = uint32_t(errno);
    // The lock keeps out every other opener, root too; TIOCEXCL adds the
    // driver's own refusal for anyone but root.
    else if (flock(handle_, LOCK_EX | LOCK_NB) != 0)
        failure = uint32_t(errno);
    else {
        retryIoctl(handle_, TIOCEXCL, nullptr);
        if (!ReadLineSettings(handle_, savedSettings_))
            failure = uint32_t(errno);
        else if (keepPortSettings_)
            wantedSettings_ = savedSettings_;
        else {
            settingsApplied = true;
            failure = configure();
        }
    }
    if (failure != 0) {
        lastError_ = failure;
        if (failure != RateNotKept)
            ReportError();
        else
            lastError_ = EINVAL;
        // The device is released at once: a failed open keeps nothing locked.
        if (settingsApplied) WriteLineSettings(handle_, savedSettings_);
        releaseHandle();
        isOpen_ = false;
        portNumber_ = 0;
        return false;
    }

    keepPortSettings_ = false;
    portNumber_ = number;
    isOpen_ = true;
    lineLost_ = false;
    TLineSettings now;
    ReadLineSettings(handle_, now);
    savedTimeouts_ = {now.ControlChars[VMIN], now.ControlChars[VTIME]};
    currentTimeouts_ = savedTimeouts_;
    haveLineCounts_ = readLineCounts(armedCounts_);
    pending_.clear();
    pendingHead_ = 0;
    Purge(PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

// Applies WantedSettings, keeping the port's read time-outs, which belong to
// the time-out record and not to the line settings; then checks the rate.
uint32_t TSerial::configure() {
    TLineSettings wanted = wantedSettings_;
    wanted.ControlChars[VMIN] = savedSettings_.ControlChars[VMIN];
    wanted.ControlChars[VTIME] = savedSettings_.ControlChars[VTIME];
    if (!WriteLineSettings(handle_, wanted)) return uint32_t(errno);
    TLineSettings applied;
    if (!ReadLineSettings(handle_, applied)) return uint32_t(errno);
    const double want = wanted.OutputSpeed;
    const double got = applied.OutputSpeed;
    if (want > 0 && std::fabs(got - want) > want * 0.02) {
        LastErrorText = devicePath_ + " does not keep " + std::to_string(wanted.OutputSpeed) +
                        " baud (it reports " + std::to_string(applied.OutputSpeed) + " baud)";
        return RateNotKept;
    }

    int lines = 0;
    haveModemLines_ = retryIoctl(handle_, TIOCMGET, &lines) == 0;
    if (haveModemLines_) {
        savedModemLines_ = lines;
        int raise = TIOCM_DTR | TIOCM_RTS;
        retryIoctl(handle_, TIOCMBIS, &raise);
    }
    // USB adapters hold received bytes up to 16 ms unless told otherwise.
    serial_struct ss{};
    if (retryIoctl(handle_, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
        ss.flags |= ASYNC_LOW_LATENCY;
        lowLatencySet_ = retryIoctl(handle_, TIOCSSERIAL, &ss) == 0;
    }
    return 0;
}

void TSerial::ClosePort() {
    if (isOpen_) {
        applyTimeouts(savedTimeouts_);
        WriteLineSettings(handle_, savedSettings_);
        if (haveModemLines_) {
            int lower = ~savedModemLines_ & (TIOCM_DTR | TIOCM_RTS);
            if (lower) retryIoctl(handle_, TIOCMBIC, &lower);
        }
        if (lowLatencySet_) {
            serial_struct ss{};
            if (retryIoctl(handle_, TIOCGSERIAL, &ss) == 0) {
                ss.flags &= ~ASYNC_LOW_LATENCY;
                retryIoctl(handle_, TIOCSSERIAL, &ss);
            }
        }
        Purge(PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    releaseHandle();
    portNumber_ = 0;
    isOpen_ = false;
    ioPending_ = false;
}

void TSerial::releaseHandle() {
    if (handle_ >= 0) {
        retryIoctl(handle_, TIOCNXCL, nullptr);
        ::close(handle_);
        handle_ = -1;
    }
    haveModemLines_ = false;
    lowLatencySet_ = false;
    pending_.clear();
    pendingHead_ = 0;
    seen_ = 0;
    arrivedUnseen_ = false;
    writeBuffer_.clear();
    writeOffset_ = 0;
}

uint32_t TSerial::BytesWaiting() {
    if (!isOpen_) return 0;
    int queued = 0;
    if (retryIoctl(handle_, FIONREAD, &queued) != 0) queued = 0;
    seen_ = size_t(std::max(queued, 0)) + (pending_.size() - pendingHead_);
    return uint32_t(seen_);
}

bool TSerial::Purge(uint32_t flags) {
    if (handle_ < 0) return false;
    bool ok = true;
    if (flags & PURGE_RXCLEAR) {
        pending_.clear();
        pendingHead_ = 0;
        seen_ = 0;
        ok = retryIoctl(handle_, TCFLSH, reinterpret_cast<void*>(TCIFLUSH)) == 0 && ok;
    }
    if (flags & PURGE_TXCLEAR) ok = retryIoctl(handle_, TCFLSH, reinterpret_cast<void*>(TCOFLUSH)) == 0 && ok;
    return ok;
}

bool TSerial::ArmEventWait(uint32_t mask) {
    if (ioPending_ || !isOpen_) return false;
    armedMask_ = mask | EV_BREAK | EV_ERR;
    // A wait for received bytes is a wait for bytes the caller has not been
    // told of: what is queued is taken aside so that the driver signals only
    // later arrivals, and bytes that came since the caller last asked
    // BytesWaiting end the wait at once.
    arrivedUnseen_ = false;
    if (mask & EV_RXCHAR) {
        drainInput();
        arrivedUnseen_ = pending_.size() - pendingHead_ > seen_;
    }
    if (haveLineCounts_) readLineCounts(armedCounts_);
    return true;
}

bool TSerial::WaitForMask(uint32_t mask) {
    return ArmEventWait(mask) && WaitForEvent();
}

bool TSerial::WaitForEvent() {
    bool result = false;
    timedOut_ = false;
    uint32_t reported = 0;
    if (isOpen_) {
        const int64_t deadline = nowNs() + int64_t(waitLimit_) * 1000000;
        if (ioPending_) {
            lastError_ = waitForWrite(deadline);
            if (lastError_ == 0 && !timedOut_) lastError_ = waitForTxEmpty(deadline);
            if (lastError_ == 0 && !timedOut_) reported |= EV_TXEMPTY;
        } else if (armedMask_ & EV_RXCHAR) {
            lastError_ = arrivedUnseen_ ? 0 : waitForInput(deadline);
            arrivedUnseen_ = false;
            if (lastError_ == 0 && !timedOut_) reported |= EV_RXCHAR;
        } else if (armedMask_ & EV_TXEMPTY) {
            lastError_ = waitForTxEmpty(deadline);
        } else {
            // Armed for line events only: wait out the limit unless the line hangs up.
            pollfd p{handle_, 0, 0};
            int r = poll(&p, 1, msUntil(deadline));
            if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                lastError_ = EIO;
            else
                timedOut_ = true;
        }
        if (haveLineCounts_) {
            LineCounts counts;
            if (readLineCounts(counts)) {
                if (counts.breaks != armedCounts_.breaks) reported |= EV_BREAK;
                if (counts.errors != armedCounts_.errors) reported |= EV_ERR;
                armedCounts_ = counts; // the error state is cleared
            }
        }
        if (lastError_ == 0 && !timedOut_ && !(reported & (EV_BREAK | EV_ERR)))
            result = true;
        else if (lastError_ != 0)
            ReportError();
    }
    ioPending_ = false;
    writeBuffer_.clear();
    writeOffset_ = 0;
    return result;
}

uint32_t TSerial::waitForInput(int64_t deadlineNs) {
    for (;;) {
        pollfd p{handle_, POLLIN, 0};
        int r = poll(&p, 1, msUntil(deadlineNs));
        if (r < 0) {
            if (errno == EINTR) continue;
            return uint32_t(errno);
        }
        if (r == 0) {
            timedOut_ = true;
            return 0;
        }
        if (p.revents & POLLNVAL) return EBADF;
        if (p.revents & POLLIN) {
            int queued = 0;
            if (retryIoctl(handle_, FIONREAD, &queued) == 0 && queued > 0) return 0;
        }
        if (p.revents & (POLLHUP | POLLERR)) return EIO; // the line hung up: nothing more will arrive
        if (msUntil(deadlineNs) == 0) {
            timedOut_ = true;
            return 0;
        }
    }
}

uint32_t TSerial::waitForWrite(int64_t deadlineNs) {
    while (writeOffset_ < writeBuffer_.size()) {
        ssize_t n = ::write(handle_, writeBuffer_.data() + writeOffset_, writeBuffer_.size() - writeOffset_);
        if (n > 0) {
            writeOffset_ += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return uint32_t(errno);
        pollfd p{handle_, POLLOUT, 0};
        int r = poll(&p, 1, msUntil(deadlineNs));
        if (r < 0 && errno != EINTR) return uint32_t(errno);
        if (r == 0) {
            timedOut_ = true;
            return 0;
        }
        if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return EIO;
    }
    return 0;
}

// Waits until the driver's transmit queue and, where it says so, the
// transmitter itself are empty.
uint32_t TSerial::waitForTxEmpty(int64_t deadlineNs) {
    const int64_t byteNs = int64_t(1e10 / baud()); // 10 bits a byte
    for (;;) {
        int queued = 0;
        if (retryIoctl(handle_, TIOCOUTQ, &queued) != 0)
            return 0; // the driver cannot tell: the bytes are handed over
        if (queued <= 0) {
            unsigned int lsr = 0;
            if (retryIoctl(handle_, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT)) return 0;
            queued = 1;
        }
        const int64_t left = deadlineNs - nowNs();
        if (left <= 0) {
            timedOut_ = true;
            return 0;
        }
        sleepNs(std::min(left, std::max<int64_t>(queued * byteNs, 100000)));
    }
}

uint32_t TSerial::baud() const {
    uint32_t rate = wantedSettings_.OutputSpeed;
    return rate > 0 ? rate : 9600;
}

void TSerial::drainInput() {
    if (pendingHead_ > 0 && pendingHead_ == pending_.size()) {
        pending_.clear();
        pendingHead_ = 0;
    }
    uint8_t buffer[512];
    for (;;) {
        ssize_t n = ::read(handle_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.insert(pending_.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
}

size_t TSerial::readNow(size_t count, TBytes& into) {
    size_t got = 0;
    while (got < count && pendingHead_ < pending_.size()) {
        into.push_back(pending_[pendingHead_++]);
        ++got;
    }
    seen_ -= std::min(seen_, got);
    if (pendingHead_ == pending_.size()) {
        pending_.clear();
        pendingHead_ = 0;
    }
    while (got < count) {
        const size_t before = into.size();
        into.resize(before + (count - got));
        ssize_t n = ::read(handle_, into.data() + before, count - got);
        into.resize(before + size_t(std::max<ssize_t>(n, 0)));
        if (n > 0) {
            got += size_t(n);
            seen_ -= std::min(seen_, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            lastError_ = uint32_t(errno);
            ReportError();
        }
        break;
    }
    return got;
}

bool TSerial::readLineCounts(LineCounts& counts) const {
    serial_icounter_struct ic{};
    if (retryIoctl(handle_, TIOCGICOUNT, &ic) != 0) return false;
    counts.breaks = uint32_t(ic.brk);
    counts.errors =
        uint32_t(ic.frame) + uint32_t(ic.parity) + uint32_t(ic.overrun) + uint32_t(ic.buf_overrun);
    return true;
}

bool TSerial::applyTimeouts(const TSerialTimeouts& timeouts) {
    if (!isOpen_) return false;
    if (timeouts == currentTimeouts_) return true;
    TLineSettings s;
    if (!ReadLineSettings(handle_, s)) return false;
    s.ControlChars[VMIN] = timeouts.MinBytes;
    s.ControlChars[VTIME] = timeouts.Tenths;
    if (!WriteLineSettings(handle_, s)) return false;
    currentTimeouts_ = timeouts;
    return true;
}

bool TSerial::SetTimeouts(const TSerialTimeouts& timeouts) {
    return applyTimeouts(timeouts);
}

bool TSerial::WriteBytes(const TBytes& bytes) {
    if (!isOpen_) return false;
    applyTimeouts({});
    bool result = false;
    if (ArmEventWait(EV_TXEMPTY)) {
        writeBuffer_ = bytes;
        writeOffset_ = 0;
        ssize_t n;
        do
            n = ::write(handle_, writeBuffer_.data(), writeBuffer_.size());
        while (n < 0 && errno == EINTR);
        if (n >= 0 || errno == EAGAIN) {
            writeOffset_ = size_t(std::max<ssize_t>(n, 0));
            lastError_ = 0;
            ioPending_ = true;
            result = WaitForEvent();
        } else {
            lastError_ = uint32_t(errno);
            writeBuffer_.clear();
            ReportError();
        }
    }
    applyTimeouts(savedTimeouts_);
    return result;
}

TBytes TSerial::ReadBytes(size_t count) {
    TBytes result;
    if (!isOpen_) return result;
    applyTimeouts({});
    result.reserve(count);
    bool delivered = false;
    do {
        if (BytesWaiting() == 0 && ArmEventWait(EV_RXCHAR)) WaitForEvent();
        const size_t n = std::min<size_t>(BytesWaiting(), count - result.size());
        if (n == 0) break;
        ArmEventWait(0);
        delivered = readNow(n, result) > 0;
    } while (result.size() < count && delivered);
    applyTimeouts(savedTimeouts_);
    return result;
}

void TSerial::ReportError() {
    const int code = int(lastError_);
    // What a device that was unplugged (or a pseudo-terminal whose other
    // side closed) answers: nothing more will pass until it is opened again.
    if (isOpen_ && (code == EIO || code == ENXIO || code == ENODEV || code == EPIPE || code == EBADF ||
                    code == ESHUTDOWN))
        lineLost_ = true;
    const std::string text = std::system_category().message(code);
    const std::string& device = devicePath_.empty() ? std::string("the port") : devicePath_;
    switch (code) {
    case EACCES:
        LastErrorText = text + ": " + device + ". " + PermissionAdvice(devicePath_);
        break;
    case EWOULDBLOCK:
    case EBUSY:
        LastErrorText = text + ": " + device + " is in use by another program.";
        break;
    default:
        LastErrorText = text + ": " + device;
        break;
    }
}

} // namespace quillmar
