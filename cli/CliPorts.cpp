#include "cli/CliPorts.h"

#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliReading.h"

#include <cstdio>

namespace quillmar {

const char* const PortsHelp = "Usage: quillmar-cli ports\n"
                              "Lists the serial ports of this computer, one line each: the device, a tab,\n"
                              "what it is (a USB adapter's maker, product and serial number; a built-in\n"
                              "port's UART, address and driver), then in parentheses the port's stable\n"
                              "name under /dev/serial/by-id where udev made one. Any of these names can\n"
                              "be given as --port.\n"
                              "Built-in ports (/dev/ttyS*) with no UART behind them and pseudo-terminals\n"
                              "are left out. When there is none, \"No serial ports found\" goes to stderr\n"
                              "and the exit status is still 0.\n";

int CmdPorts(const std::vector<std::string>& args, const SerialPortFinder& finder) {
    const std::string command = "ports";
    const ParsedOptions o = ParseOptions(args, {});
    if (!o.Error.empty()) return BadArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(PortsHelp, stdout);
        return ExitOk;
    }
    if (!o.Positional.empty()) return BadArguments(command, "unexpected argument '" + o.Positional[0] + "'");

    const std::vector<SerialDeviceInfo> found = finder.find();
    for (const SerialDeviceInfo& device : found) {
        const std::string line = PortListLine(device) + "\n";
        std::fputs(line.c_str(), stdout);
    }
    std::fflush(stdout);
    if (found.empty()) ErrorLine("No serial ports found");
    return ExitOk;
}

} // namespace quillmar
