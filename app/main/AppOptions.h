#pragma once
// The command line of the desktop program:
//   quillmar [--demo [--replay FILE.ecu]] [--port PORT] [--ini FILE] [FILE.ecu ...]

#include <string>
#include <vector>

namespace quillmar {

struct AppOptions {
    bool Demo = false;              // talk to the built-in simulated engine computer
    std::string ReplayPath;         // with Demo: the log whose rows it answers with
    std::string Port;               // COM1..COM20 or a device path, for this run only
    std::string IniPath;            // the protocol file; empty: the default one
    std::vector<std::string> Files; // log files to open at start
    bool Help = false;
    bool Version = false;
    std::string Error; // empty when the line parsed

    // Runs that must leave the user's settings as they are.
    bool KeepSettings() const { return Demo || !Port.empty(); }
};

// Parses the words after the program name. "--name value" and "--name=value"
// both work; "--" ends the options.
AppOptions ParseAppOptions(const std::vector<std::string>& args);

// The --help text and the --version line.
std::string AppHelpText();
std::string AppVersionText();

} // namespace quillmar
