#pragma once
// What to check when the port to the engine computer cannot be opened, or
// when the engine computer does not answer on it: the one advice the
// desktop program and quillmar-cli give, told apart only where they name
// their own way of choosing the port.

#include <cstdint>
#include <string>

namespace quillmar {

enum class AdviceFor {
    Window,     // the desktop program: Setup > Set comm port
    CommandLine // quillmar-cli: --port
};

// The advice for the system's error code of the failed open: the adapter is
// missing (ENOENT, ENODEV, ENXIO) or another program holds the port (EBUSY,
// EWOULDBLOCK); empty for any other code.
std::string ConnectAdvice(uint32_t errorCode, AdviceFor where);

// The window's error-log line: "Cannot open COM3 (/dev/ttyS2): why" and the
// advice.
std::string ConnectFailureLine(const std::string& port, const std::string& why, uint32_t errorCode);

// What both front ends show while the state is NoAnswer.
inline constexpr const char* NoAnswerText = "No answer from the engine computer";

// What to check then: the ignition, the cable, the port.
std::string NoAnswerAdvice(AdviceFor where);

} // namespace quillmar
