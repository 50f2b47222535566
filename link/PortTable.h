#pragma once
// The twenty numbered ports COM1 to COM20 and the device each one opens.
// By default COMn is /dev/ttyS(n-1); a front end may point any entry at
// another device (a USB adapter, a pseudo-terminal) from its settings.

#include <cstdint>
#include <optional>
#include <string>

namespace quillmar {

inline constexpr uint8_t FirstPortNumber = 1;
inline constexpr uint8_t LastPortNumber = 20;

// "COM1" .. "COM20"; empty for a number outside 1..20.
std::string PortName(uint8_t number);

// The device path COMn opens; empty for a number outside 1..20.
std::string PortDevice(uint8_t number);

// Points COMn at a device; an empty path restores the default. False for a
// number outside 1..20.
bool SetPortDevice(uint8_t number, const std::string& device);

// The number of "COMn" (any letter case, n 1..20), or nullopt.
std::optional<uint8_t> PortNumberFromName(const std::string& name);

// The number of the entry that opens this device, or 0 when none does.
uint8_t PortNumberOfDevice(const std::string& device);

// A port as a user types it: "COM3" (any case) gives COM3's device, an
// absolute path ("/dev/ttyUSB0") is taken as it is. Anything else: nullopt.
std::optional<std::string> ResolvePort(const std::string& typed);

} // namespace quillmar
