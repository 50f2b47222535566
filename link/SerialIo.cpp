// Reading, writing and waiting on an open serial port: every single wait is
// bounded by WaitLimit milliseconds.

#include "link/Serial.h"
#include "link/SerialKernel.h"

#include <linux/serial.h>
#include <poll.h>
#include <unistd.h>

namespace quillmar {

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

} // namespace quillmar
