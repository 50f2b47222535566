#pragma once
// SIGINT, SIGTERM and SIGHUP (the terminal went away) turned into ordinary
// events: the handler only writes a byte into a pipe, and a QSocketNotifier on
// the other end calls back on the event loop. While an instance lives, none of
// them can end the process, so a second Ctrl-C never interrupts a save. A
// SIGHUP ignored when the instance is made (nohup) stays ignored.

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace quillmar {

class SignalPipe {
public:
    // onSignal runs on the event loop, once per batch of signals received.
    explicit SignalPipe(std::function<void()> onSignal);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // Signals received so far (also those not yet delivered to onSignal).
    int received() const;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quillmar
