#pragma once
// What the parts of TSerial share: the kernel's termios2 record (for any
// baud rate), a monotonic clock in nanoseconds and ioctl retried through
// signals. For Serial*.cpp only.
//
// <asm/termbits.h> clashes with <termios.h>, which is therefore not included
// by any file that includes this one.

#include "link/Serial.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <iterator>

namespace quillmar {

static_assert(sizeof(TLineSettings::ControlChars) == sizeof(termios2::c_cc));

inline int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Milliseconds left until the deadline, rounded up so a wait never ends early;
// at most what poll() takes (a wait limit above 24 days would wrap to a
// negative time-out, which waits for ever).
inline int msUntil(int64_t deadlineNs) {
    int64_t left = deadlineNs - nowNs();
    if (left <= 0) return 0;
    return int(std::min<int64_t>((left + 999999) / 1000000, INT_MAX));
}

inline void sleepNs(int64_t ns) {
    if (ns <= 0) return;
    timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

inline TLineSettings fromKernel(const termios2& t) {
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

inline termios2 toKernel(const TLineSettings& s) {
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

inline int retryIoctl(int fd, unsigned long request, void* arg) {
    int r;
    do
        r = ioctl(fd, request, arg);
    while (r < 0 && errno == EINTR);
    return r;
}

} // namespace quillmar
