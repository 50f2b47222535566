#pragma once
// What the acquisition is doing, held in one place. Every change goes
// through transition(), which refuses the changes that make no sense and
// tells StateChanged once per change.
//
//   Idle ──► Talking ◄──► Logging          Idle ──► Dumping ──► Idle
//     ▲        │  ▲          │
//     │        ▼  │          ▼
//     └──── Reconnecting ◄───┘
//
//   Talking, Logging ◄──► NoAnswer ──► Idle, Reconnecting
//
// Reconnecting is talking while the device is gone and being waited for: it
// wins over Talking (talking started, or logging stopped, while the device is
// gone goes there). A recording goes on through a loss: Logging stays, and
// the rows resume when the device is back. Logging ends in Talking,
// Reconnecting or NoAnswer, never straight in Idle.
//
// NoAnswer is talking or logging while the engine computer gives no good
// reply (the adapter is there, the car says nothing). A recording goes on
// through it: rows resume with the next good reply, which leaves NoAnswer
// for Talking or Logging. A lost device wins over it: NoAnswer goes to
// Reconnecting (or Logging, while recording), and NoAnswer is never entered
// while the device is gone.

#include <functional>

namespace quillmar {

enum class AcquisitionState {
    Idle,         // nothing runs
    Talking,      // the engine computer is polled; nothing is recorded
    Logging,      // polled, and every reply is a row of the dataset being recorded
    Dumping,      // the program memory is being read
    Reconnecting, // talking, but the device went away and is tried again now and then
    NoAnswer,     // talking or logging, but the engine computer has stopped answering
};

// "Idle", "Talking", ... for logs and tests.
const char* StateName(AcquisitionState state);

// True while the engine computer is being talked to (or waited for):
// Talking, Logging, Reconnecting, NoAnswer.
bool IsTalkingState(AcquisitionState state);

class AcquisitionStateMachine {
public:
    AcquisitionState state() const { return state_; }

    // Whether the change from one state to another is allowed. Staying in a
    // state is not a change and is always allowed.
    static bool allowed(AcquisitionState from, AcquisitionState to);

    // Moves to next. True when the state is next afterwards (a change made,
    // or none needed); false when refused, with nothing changed. StateChanged
    // is told once for a change and not at all otherwise.
    bool transition(AcquisitionState next);

    std::function<void(AcquisitionState from, AcquisitionState to)> StateChanged;

private:
    AcquisitionState state_ = AcquisitionState::Idle;
};

} // namespace quillmar
