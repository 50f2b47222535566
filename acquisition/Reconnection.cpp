// The link: connecting to a port, and a device that goes away while talking
// (unplugged) and is tried again now and then until it is back.

#include "acquisition/Acquisition.h"

#include "link/ALDLComms.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quillmar {

std::unique_ptr<TALDLComms> Acquisition::makeLink() {
    auto comms = std::make_unique<TALDLComms>();
    comms->ErrorLog = &ErrorLog;
    comms->SetWaitLimit(waits_.ReplyTimeoutMs);
    return comms;
}

bool Acquisition::reconnect(const std::string& port) {
    if (!Comms) Comms = makeLink();
    Comms->ClosePort();
    port_ = port;
    const bool ok = Comms->ConnectPort(port);
    connectError_ = ok ? std::string() : Comms->LastErrorText;
    if (!ok && connectError_.empty()) connectError_ = "Cannot open " + port;
    // The user chose a port: a device lost before is no longer waited for,
    // and the engine computer has its time to answer on this one.
    const bool wasLost = linkLost_;
    linkLost_ = false;
    restartSilence();
    if (talking()) settleState();
    if (wasLost) {
        listener_->linkStateChanged(ok,
                                    ok ? "Comm port " + Comms->DevicePath() + " connected" : connectError_);
    }
    return ok;
}

double Acquisition::nowSeconds() const {
    return static_cast<double>(static_cast<long double>(clock_()) * 86400.0L);
}

double Acquisition::nextReconnectIn() const {
    return linkLost_ ? std::max(0.0, nextReconnect_ - nowSeconds()) : 0.0;
}

// After a failed transaction: did the device itself go away (hung up,
// failing as a removed device does, or its node gone)?
bool Acquisition::lineGone() const {
    if (!Comms) return false;
    if (Comms->LineLost()) return true;
    struct stat st {};
    const std::string& device = Comms->DevicePath();
    return !device.empty() && ::stat(device.c_str(), &st) != 0 &&
           (errno == ENOENT || errno == ENOTDIR || errno == ENXIO || errno == ENODEV);
}

std::string Acquisition::lostLinkReason() const {
    const uint32_t code = Comms ? Comms->LastError() : 0;
    return Comms && Comms->LineLost() && code != 0 ? std::system_category().message(static_cast<int>(code))
                                                   : std::string("the device is gone");
}

void Acquisition::loseLink(const std::string& reason) {
    lostDevice_ = Comms->DevicePath().empty() ? port_ : Comms->DevicePath();
    Comms->ClosePort();
    linkLost_ = true;
    reconnectAttempts_ = 0;
    lostAt_ = nowSeconds();
    nextReconnect_ = lostAt_ + waits_.ReconnectDelays[0];
    const std::string text = "Comm port " + lostDevice_ + " disconnected, retrying (" + reason + ")";
    ErrorLog.push_back(text);
    reportNewErrorLines();
    // A recording goes on (its rows resume when the device is back); a dump
    // tries again at once. A silent engine computer is no longer the news.
    endSilence();
    if (talking()) settleState();
    listener_->linkStateChanged(false, text);
}

void Acquisition::retryLink() {
    // A millisecond early counts as on time: ticks and clocks round.
    const double now = nowSeconds();
    if (now < nextReconnect_ - 0.001) return;
    ++reconnectAttempts_;
    // Quietly: a device still missing writes nothing into the error log.
    if (!Comms->ConnectPort(port_)) {
        const size_t last = waits_.ReconnectDelays.size() - 1;
        const size_t step = std::min<size_t>(static_cast<size_t>(reconnectAttempts_), last);
        nextReconnect_ = now + waits_.ReconnectDelays[step];
        return;
    }
    linkLost_ = false;
    connectError_.clear();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", std::max(0.0, now - lostAt_));
    const std::string text = "Comm port " + lostDevice_ + " connected again after " + seconds + " s";
    ErrorLog.push_back(text);
    reportNewErrorLines();
    restartSilence();
    if (talking()) settleState();
    listener_->linkStateChanged(true, text);
}

bool Acquisition::reopenLostLink() {
    if (!Comms) return false;
    if (!linkLost_) return Comms->IsOpen();
    nextReconnect_ = nowSeconds();
    retryLink();
    return !linkLost_;
}

AcquisitionState Acquisition::talkingState() const {
    if (linkLost_) return recording_ ? AcquisitionState::Logging : AcquisitionState::Reconnecting;
    if (silent_) return AcquisitionState::NoAnswer;
    return recording_ ? AcquisitionState::Logging : AcquisitionState::Talking;
}

void Acquisition::settleState(bool tellAnyway) {
    const AcquisitionState next = talkingState();
    if (next == state()) {
        if (tellAnyway) listener_->stateChanged(next);
        return;
    }
    transition(next);
}

// ---- an engine computer that says nothing -----------------------------------

void Acquisition::restartSilence() {
    endSilence();
    failedPolls_ = 0;
    lastGoodReply_ = nowSeconds();
}

void Acquisition::endSilence() {
    if (!silent_) return;
    silent_ = false;
    silentSeconds_ += std::max(0.0, nowSeconds() - lastGoodReply_);
}

void Acquisition::goodReply() {
    failedPolls_ = 0;
    const bool wasSilent = silent_;
    endSilence();
    lastGoodReply_ = nowSeconds();
    if (wasSilent) settleState();
}

void Acquisition::noGoodReply() {
    ++failedPolls_;
    if (silent_ || linkLost_) return;
    // A millisecond early counts as on time: ticks and clocks round.
    if (failedPolls_ < waits_.NoAnswerPolls || nowSeconds() - lastGoodReply_ < waits_.NoAnswerSeconds - 0.001)
        return;
    silent_ = true;
    ++silentSpans_;
    settleState();
}

Acquisition::SilenceTally Acquisition::silence() const {
    SilenceTally tally{silentSpans_, silentSeconds_};
    if (silent_) tally.Seconds += std::max(0.0, nowSeconds() - lastGoodReply_);
    return tally;
}

} // namespace quillmar
