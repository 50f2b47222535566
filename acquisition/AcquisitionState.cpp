#include "acquisition/AcquisitionState.h"

namespace quillmar {

const char* StateName(AcquisitionState state) {
    switch (state) {
    case AcquisitionState::Idle:
        return "Idle";
    case AcquisitionState::Talking:
        return "Talking";
    case AcquisitionState::Logging:
        return "Logging";
    case AcquisitionState::Dumping:
        return "Dumping";
    case AcquisitionState::Reconnecting:
        return "Reconnecting";
    case AcquisitionState::NoAnswer:
        return "NoAnswer";
    }
    return "?";
}

bool IsTalkingState(AcquisitionState state) {
    return state == AcquisitionState::Talking || state == AcquisitionState::Logging ||
           state == AcquisitionState::Reconnecting || state == AcquisitionState::NoAnswer;
}

bool AcquisitionStateMachine::allowed(AcquisitionState from, AcquisitionState to) {
    using S = AcquisitionState;
    if (from == to) return true;
    switch (from) {
    case S::Idle:
        return to == S::Talking || to == S::Reconnecting || to == S::Dumping;
    case S::Talking:
        return to == S::Idle || to == S::Logging || to == S::Reconnecting || to == S::NoAnswer;
    case S::Logging:
        return to == S::Talking || to == S::Reconnecting || to == S::NoAnswer;
    case S::Reconnecting:
        return to == S::Idle || to == S::Talking || to == S::Logging;
    case S::Dumping:
        return to == S::Idle;
    case S::NoAnswer:
        return to == S::Idle || to == S::Talking || to == S::Logging || to == S::Reconnecting;
    }
    return false;
}

bool AcquisitionStateMachine::transition(AcquisitionState next) {
    if (next == state_) return true;
    if (!allowed(state_, next)) return false;
    const AcquisitionState from = state_;
    state_ = next;
    if (StateChanged) StateChanged(from, next);
    return true;
}

} // namespace quillmar
