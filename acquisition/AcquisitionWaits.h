#pragma once
// The waits of the acquisition, in one place so that tests can shrink them.
// The defaults are the program's.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quillmar {

struct AcquisitionWaits {
    // The link's longest single wait for a byte of a reply, in milliseconds.
    uint32_t ReplyTimeoutMs = 100;
    // Seconds between tries to open a device that went away: the first, the
    // second and the third wait, then every later one.
    std::array<double, 4> ReconnectDelays{1, 2, 5, 10};
    // A recording's journal is written at most this many seconds after its
    // oldest unwritten row came.
    double JournalSyncSeconds = 1.0;
    // The engine computer counts as silent (NoAnswer) after this many
    // seconds without a good reply, and at least NoAnswerPolls polls.
    double NoAnswerSeconds = 1.0;
    int NoAnswerPolls = 3;

    // The same waits times factor (a positive number), the reply timeout and
    // the polls excepted: how long the engine computer takes to answer is its
    // own business, and a test that wants it shorter sets it.
    AcquisitionWaits scaled(double factor) const;

    // The defaults scaled by the factor text gives ("0.1"); nullopt when the
    // text is not a positive number (the defaults then stand).
    static std::optional<AcquisitionWaits> fromScaleText(const char* text);
};

} // namespace quillmar
