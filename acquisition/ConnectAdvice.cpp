#include "acquisition/ConnectAdvice.h"

#include "link/PortTable.h"

#include <cerrno>

namespace quillmar {

namespace {

bool adapterMissing(uint32_t code) {
    return code == ENOENT || code == ENODEV || code == ENXIO;
}

bool portTaken(uint32_t code) {
    return code == EBUSY || code == EWOULDBLOCK;
}

} // namespace

std::string ConnectAdvice(uint32_t code, AdviceFor where) {
    const bool window = where == AdviceFor::Window;
    if (adapterMissing(code))
        return window ? "Plug the adapter in, or choose the port it is on with Setup > Set comm port."
                      : "Plug the adapter in, or give the port it is on with --port ('quillmar-cli ports' "
                        "lists the serial ports).";
    if (portTaken(code))
        return window ? "Close the other program, then choose Setup > Set comm port and OK."
                      : "Close the other program that has the port open, then try again.";
    return {};
}

std::string NoAnswerAdvice(AdviceFor where) {
    return std::string(
               "Check that the ignition is on, that the cable is plugged in at both ends, and that ") +
           (where == AdviceFor::Window ? "Setup > Set comm port names the adapter's port."
                                       : "--port names the adapter's port ('quillmar-cli ports' lists the "
                                         "serial ports).");
}

std::string ConnectFailureLine(const std::string& port, const std::string& why, uint32_t code) {
    std::string line = "Cannot open " + port;
    if (const auto device = ResolvePort(port); device && *device != port) line += " (" + *device + ")";
    if (!why.empty()) line += ": " + why;
    const std::string advice = ConnectAdvice(code, AdviceFor::Window);
    // A missing adapter's advice is a sentence of its own after the reason.
    if (!advice.empty()) line += (adapterMissing(code) ? ". " : " ") + advice;
    return line;
}

} // namespace quillmar
