#pragma once
// Power events: a recording is not cut by a suspend, and polling pauses
// while the machine sleeps.
//
// TPowerHandler answers the power broadcast's event codes:
//   0, 1 (query suspend, query standby): deny while logging, else allow;
//   4, 5 (suspend, standby): remember whether the acquisition timer runs and
//        stop it;
//   7, 8 (resume): run the acquisition timer again exactly when it ran.
// On Linux, systemd-logind stands for the broadcast (LogindPower): a sleep
// inhibitor of mode "block" is the denied query and is held exactly while
// logging; PrepareForSleep(true) is the suspend, PrepareForSleep(false) the
// resume. Without a system bus, or without logind on it, nothing happens.

#include "acquisition/Acquisition.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>

namespace quillmar {

inline constexpr uint32_t PBT_APMQUERYSUSPEND = 0;
inline constexpr uint32_t PBT_APMQUERYSTANDBY = 1;
inline constexpr uint32_t PBT_APMSUSPEND = 4;
inline constexpr uint32_t PBT_APMSTANDBY = 5;
inline constexpr uint32_t PBT_APMRESUMESUSPEND = 7;
inline constexpr uint32_t PBT_APMRESUMESTANDBY = 8;
inline constexpr uint32_t BROADCAST_QUERY_DENY = 0x424D5144;
inline constexpr uint32_t BROADCAST_ALLOW = 1;

// Something that keeps the system from sleeping while it is held.
class SleepInhibitor {
public:
    virtual ~SleepInhibitor() = default;
    // True when the inhibitor is now held.
    virtual bool acquire() = 0;
    virtual void release() = 0;
};

class TPowerHandler {
public:
    explicit TPowerHandler(Acquisition& acquisition) : acquisition_(acquisition) {}
    ~TPowerHandler();

    // The handler of the power broadcast: the result for the system, or
    // nullopt for the default processing (also for 7 and 8, which return
    // nothing of their own).
    std::optional<uint32_t> PowerBroadcast(uint32_t eventCode);

    // The inhibitor held while logging (none: nothing is held).
    void setInhibitor(std::unique_ptr<SleepInhibitor> inhibitor);
    // Takes the inhibitor when logging starts and lets it go when it stops.
    void acquisitionStateChanged(AcquisitionState state);
    bool inhibitorHeld() const { return held_; }

    // Whether the acquisition timer ran when the suspend began.
    bool AcquisitionWasOn = false;

private:
    Acquisition& acquisition_;
    std::unique_ptr<SleepInhibitor> inhibitor_;
    bool held_ = false;
};

// systemd-logind on the system bus, feeding TPowerHandler.
class LogindPower : public QObject {
    Q_OBJECT

public:
    explicit LogindPower(TPowerHandler& handler, QObject* parent = nullptr);
    // True when the system bus is there and the sleep signal is connected.
    bool available() const { return available_; }
    // An inhibitor of what "sleep", mode "block"; nullptr without the bus.
    std::unique_ptr<SleepInhibitor> makeInhibitor() const;

private slots:
    void prepareForSleep(bool start);

private:
    TPowerHandler& handler_;
    bool available_ = false;
};

} // namespace quillmar
