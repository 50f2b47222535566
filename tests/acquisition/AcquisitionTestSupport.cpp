#include "AcquisitionTestSupport.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quillmar::testing {

void ensureApplication() {
    // test_main.cpp creates it before any test runs.
    if (!QCoreApplication::instance()) std::abort();
}

TParameterArray MakeTable(int count, int mapAt, int rpmAt) {
    TParameterArray table;
    const int twoByte = 63 - count;
    int position = 1;
    for (int i = 0; i < count; ++i) {
        TParameter p;
        p.Name = "P" + std::to_string(i);
        if (i == mapAt) p.Name = "Manifold press (abs).";
        if (i == rpmAt) p.Name = "Engine speed";
        p.Position = static_cast<uint8_t>(position);
        p.Size = static_cast<uint8_t>(i < twoByte ? 2 : 1);
        p.Factor = 1;
        p.FormatAs = "%5.1f";
        position += p.Size;
        table.push_back(p);
    }
    return table;
}

std::vector<uint8_t> Frame(uint8_t mode, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f{0xF4, static_cast<uint8_t>(0x56 + data.size()), mode};
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : f) sum += b;
    f.push_back(static_cast<uint8_t>((256 - sum % 256) % 256));
    return f;
}

PtyPeer::PtyPeer(Responder responder) : responder_(std::move(responder)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    path_ = ::ptsname(master_);
    termios t{};
    ::tcgetattr(master_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master_, TCSANOW, &t);
    // Keep the slave side open so the master never sees a hang-up between
    // the link's opens.
    slaveKeep_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep_ >= 0) {
        ::tcgetattr(slaveKeep_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slaveKeep_, TCSANOW, &t);
    }
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    thread_ = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer() {
    const char byte = 0;
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &byte, 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {master_, slaveKeep_, stopPipe_[0], stopPipe_[1]})
        if (fd >= 0) ::close(fd);
}

void PtyPeer::run() {
    std::vector<uint8_t> pending;
    auto writeAll = [this](const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return;
            }
            done += static_cast<size_t>(n);
        }
    };
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents & (POLLHUP | POLLERR)) {
                // No client at the moment; wait a little and look again.
                pollfd stop{stopPipe_[0], POLLIN, 0};
                if (::poll(&stop, 1, 5) > 0) return;
            }
            continue;
        }
        uint8_t buffer[512];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        const std::vector<uint8_t> chunk(buffer, buffer + n);
        writeAll(chunk); // the echo
        pending.insert(pending.end(), chunk.begin(), chunk.end());
        // Hand on every complete request frame.
        for (;;) {
            while (!pending.empty() && pending.front() != 0xF4) pending.erase(pending.begin());
            if (pending.size() < 2) break;
            const size_t length = static_cast<size_t>(pending[1]) - 0x54 + 2;
            if (pending[1] < 0x56 || pending.size() < length) {
                if (pending[1] < 0x56) pending.erase(pending.begin());
                if (pending.size() < length) break;
                continue;
            }
            const uint8_t mode = pending[2];
            const std::vector<uint8_t> data(pending.begin() + 3, pending.begin() + static_cast<long>(length) - 1);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
            ++requests_;
            const std::vector<uint8_t> reply = responder_(mode, data);
            if (!reply.empty()) writeAll(reply);
        }
    }
}

} // namespace quillmar::testing
