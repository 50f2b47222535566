#pragma once
// A bare pseudo-terminal for tests that play the far end of the line by hand.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "link/Frame.h"
#include "link/Serial.h"

namespace quillmar::test {

struct PtyPair {
    int master = -1;
    int slave = -1; // held so the line stays up while the port closes and reopens
    std::string path;

    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0)
            return;
        path = name;
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        const TLineSettings raw = TLineSettings::Raw8N1(9600);
        WriteLineSettings(slave, raw);
        WriteLineSettings(master, raw);
    }
    ~PtyPair() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool send(const TBytes& bytes) const {
        return ::write(master, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    // Whatever the port has written, waiting up to 200 ms for the first byte.
    TBytes received() const {
        TBytes out;
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, out.empty() ? 200 : 20) > 0) {
            uint8_t buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
};

} // namespace quillmar::test
