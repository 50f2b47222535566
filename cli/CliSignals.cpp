#include "cli/CliSignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace quillmar {

namespace {

int pipeFds[2] = {-1, -1};
std::atomic<int> signalCount{0};
struct sigaction previousInt, previousTerm, previousHup;

extern "C" void onSignal(int) {
    const int saved = errno;
    signalCount.fetch_add(1, std::memory_order_relaxed);
    const char byte = 1;
    // Non-blocking: a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalPipe::SignalPipe(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    struct sigaction action = {};
    action.sa_handler = quillmar::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    // A hang-up that was ignored at start (nohup) stays ignored.
    ::sigaction(SIGHUP, nullptr, &previousHup);
    if (previousHup.sa_handler != SIG_IGN) ::sigaction(SIGHUP, &action, nullptr);

    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char buffer[64];
        while (::read(pipeFds[0], buffer, sizeof buffer) > 0) {
        }
        if (onSignal_) onSignal_();
    });
}

SignalPipe::~SignalPipe() {
    notifier_.reset();
    if (pipeFds[0] < 0) return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

int SignalPipe::received() const {
    return signalCount.load(std::memory_order_relaxed);
}

} // namespace quillmar
