// Opening, configuring and closing a serial port: the exclusive open, the
// line settings applied at open and restored at close, and the check that
// the device keeps the baud rate.

#include "link/Serial.h"
#include "link/SerialKernel.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <unistd.h>

#include <cmath>

namespace quillmar {

namespace {

// configure()'s result when the device does not keep the rate; LastFailure() already says so.
constexpr uint32_t RateNotKeptCode = 0xFFFFFFFFu;

} // namespace

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
        if (failure != RateNotKeptCode)
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
        Error e;
        e.kind = ErrorKind::RateNotKept;
        e.place.file = devicePath_;
        e.tail = " does not keep " + std::to_string(wanted.OutputSpeed) + " baud";
        e.reason = "it reports " + std::to_string(applied.OutputSpeed) + " baud";
        e.code = EINVAL;
        setFailure(std::move(e));
        return RateNotKeptCode;
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

} // namespace quillmar
