#include "link/PortTable.h"

#include <array>
#include <cctype>
#include <mutex>

namespace quillmar {

namespace {

struct PortTableData {
    std::mutex lock;
    std::array<std::string, LastPortNumber> overrides; // empty: the default device
};

PortTableData& table() {
    static PortTableData data;
    return data;
}

bool inRange(unsigned number) {
    return number >= FirstPortNumber && number <= LastPortNumber;
}

} // namespace

std::string PortName(uint8_t number) {
    return inRange(number) ? "COM" + std::to_string(number) : std::string();
}

std::string PortDevice(uint8_t number) {
    if (!inRange(number)) return {};
    PortTableData& t = table();
    std::lock_guard guard(t.lock);
    const std::string& device = t.overrides[number - 1];
    return device.empty() ? "/dev/ttyS" + std::to_string(number - 1) : device;
}

bool SetPortDevice(uint8_t number, const std::string& device) {
    if (!inRange(number)) return false;
    PortTableData& t = table();
    std::lock_guard guard(t.lock);
    t.overrides[number - 1] = device;
    return true;
}

std::optional<uint8_t> PortNumberFromName(const std::string& name) {
    if (name.size() < 4 || name.size() > 5) return std::nullopt;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
    unsigned number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    if (name[3] == '0' || !inRange(number)) return std::nullopt;
    return static_cast<uint8_t>(number);
}

uint8_t PortNumberOfDevice(const std::string& device) {
    for (uint8_t n = FirstPortNumber; n <= LastPortNumber; ++n)
        if (PortDevice(n) == device) return n;
    return 0;
}

std::optional<std::string> ResolvePort(const std::string& typed) {
    if (auto number = PortNumberFromName(typed)) return PortDevice(*number);
    if (!typed.empty() && typed[0] == '/') return typed;
    return std::nullopt;
}

} // namespace quillmar
