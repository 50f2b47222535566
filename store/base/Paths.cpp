#include "store/base/Paths.h"

#include <cstdlib>

namespace quillmar {

namespace {

// A base folder variable counts only when it holds an absolute path.
std::string xdgHome(const char* variable, const char* fallbackUnderHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return homeFolder() + fallbackUnderHome;
}

} // namespace

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home && home[0] ? home : ".";
}

std::string xdgConfigHome() {
    return xdgHome("XDG_CONFIG_HOME", "/.config");
}

std::string xdgStateHome() {
    return xdgHome("XDG_STATE_HOME", "/.local/state");
}

std::string xdgDataHome() {
    return xdgHome("XDG_DATA_HOME", "/.local/share");
}

} // namespace quillmar
