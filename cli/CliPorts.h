#pragma once
// quillmar-cli ports: the serial ports of this computer, one line each.

#include "link/SerialPorts.h"

#include <string>
#include <vector>

namespace quillmar {

extern const char* const PortsHelp;

// args: the words after "ports". Lists what finder finds on stdout; with
// nothing found, says so on stderr. Returns the exit status.
int CmdPorts(const std::vector<std::string>& args, const SerialPortFinder& finder = SerialPortFinder());

} // namespace quillmar
