#include "app/main/PowerEvents.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace quillmar {

namespace {

const char* const LogindService = "org.freedesktop.login1";
const char* const LogindPath = "/org/freedesktop/login1";
const char* const LogindManager = "org.freedesktop.login1.Manager";

// logind's sleep lock: held as long as its file descriptor stays open.
class LogindInhibitor : public SleepInhibitor {
public:
    bool acquire() override {
        QDBusInterface manager(LogindService, LogindPath, LogindManager, QDBusConnection::systemBus());
        if (!manager.isValid()) return false;
        manager.setTimeout(2000);
        const QDBusReply<QDBusUnixFileDescriptor> reply = manager.call(
            "Inhibit", "sleep", "Quillmar", "A recording of the engine computer is running", "block");
        if (!reply.isValid() || !reply.value().isValid()) return false;
        lock_ = reply.value();
        return true;
    }
    void release() override { lock_ = QDBusUnixFileDescriptor(); }

private:
    QDBusUnixFileDescriptor lock_;
};

} // namespace

TPowerHandler::~TPowerHandler() {
    if (held_ && inhibitor_) inhibitor_->release();
}

std::optional<uint32_t> TPowerHandler::PowerBroadcast(uint32_t eventCode) {
    switch (eventCode) {
    case PBT_APMQUERYSUSPEND:
    case PBT_APMQUERYSTANDBY:
        // Only a running recording denies; talking alone does not.
        return acquisition_.logging() ? BROADCAST_QUERY_DENY : BROADCAST_ALLOW;
    case PBT_APMSUSPEND:
    case PBT_APMSTANDBY:
        AcquisitionWasOn = acquisition_.acquisitionRunning();
        if (AcquisitionWasOn) acquisition_.setAcquisitionTimerRunning(false);
        return BROADCAST_ALLOW;
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMESTANDBY:
        // Only a timer this handler stopped is started again; a resume with
        // no suspend before it changes nothing.
        if (AcquisitionWasOn && !acquisition_.acquisitionRunning())
            acquisition_.setAcquisitionTimerRunning(true);
        AcquisitionWasOn = false;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void TPowerHandler::setInhibitor(std::unique_ptr<SleepInhibitor> inhibitor) {
    if (held_ && inhibitor_) inhibitor_->release();
    held_ = false;
    inhibitor_ = std::move(inhibitor);
    acquisitionStateChanged(acquisition_.state());
}

void TPowerHandler::acquisitionStateChanged(AcquisitionState) {
    // A recording, answered or not (NoAnswer while logging), holds the sleep off.
    const bool logging = acquisition_.logging();
    if (logging && !held_ && inhibitor_) {
        held_ = inhibitor_->acquire();
    } else if (!logging && held_) {
        inhibitor_->release();
        held_ = false;
    }
}

LogindPower::LogindPower(TPowerHandler& handler, QObject* parent) : QObject(parent), handler_(handler) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    available_ = bus.connect(LogindService, LogindPath, LogindManager, "PrepareForSleep", this,
                             SLOT(prepareForSleep(bool)));
}

std::unique_ptr<SleepInhibitor> LogindPower::makeInhibitor() const {
    if (!available_) return nullptr;
    return std::make_unique<LogindInhibitor>();
}

void LogindPower::prepareForSleep(bool start) {
    handler_.PowerBroadcast(start ? PBT_APMSUSPEND : PBT_APMRESUMESUSPEND);
}

} // namespace quillmar
