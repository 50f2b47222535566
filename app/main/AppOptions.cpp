#include "app/main/AppOptions.h"

#include "link/PortTable.h"

namespace quillmar {

#ifndef QUILLMAR_VERSION
#define QUILLMAR_VERSION "0"
#endif

AppOptions ParseAppOptions(const std::vector<std::string>& args) {
    AppOptions o;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size() && o.Error.empty(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg.compare(0, 1, "-") != 0) {
            o.Files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos && arg.compare(0, 2, "--") == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                o.Error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (name == "--help" || name == "-h") {
            o.Help = true;
        } else if (name == "--version" || name == "-v") {
            o.Version = true;
        } else if (name == "--demo") {
            o.Demo = true;
        } else if (name == "--replay") {
            if (!takeValue()) break;
            if (value.empty()) o.Error = "--replay needs a log file";
            o.ReplayPath = value;
        } else if (name == "--port") {
            if (!takeValue()) break;
            if (!ResolvePort(value))
                o.Error = "'" + value + "' is not a port: give COM1..COM20 or a device path";
            o.Port = value;
        } else if (name == "--ini") {
            if (!takeValue()) break;
            if (value.empty()) o.Error = "--ini needs a file name";
            o.IniPath = value;
        } else {
            o.Error = "unknown option '" + arg + "'";
        }
        if ((name == "--help" || name == "--version" || name == "--demo") && hasValue)
            o.Error = name + " takes no value";
    }
    if (o.Error.empty() && !o.ReplayPath.empty() && !o.Demo) o.Error = "--replay works with --demo only";
    if (o.Error.empty() && o.Demo && !o.Port.empty())
        o.Error = "--demo and --port cannot be combined: the demo brings its own engine computer";
    return o;
}

std::string AppHelpText() {
    return "Usage: quillmar [--demo [--replay FILE.ecu]] [--port PORT] [--ini FILE] [FILE.ecu ...]\n"
           "Diagnoses and datalogs the M100 engine computer over its ALDL link.\n"
           "\n"
           "  --demo           talk to the built-in simulated engine computer; the data\n"
           "                   are simulated, and no setting is written\n"
           "  --replay FILE    with --demo: the simulated engine computer answers with the\n"
           "                   rows of this log, at their recorded pace, looping\n"
           "  --port PORT      COM1..COM20 or a device path, for this run only (no setting\n"
           "                   is written)\n"
           "  --ini FILE       the protocol file (default: the user's config folder)\n"
           "  FILE.ecu         log files to open, as with File > Open\n"
           "  --help           show this text\n"
           "  --version        show the version\n"
           "\n"
           "Settings live in ~/.config/Quillmar/Quillmar.ini ([Software] section).\n";
}

std::string AppVersionText() {
    return std::string("quillmar ") + QUILLMAR_VERSION + "\n";
}

} // namespace quillmar
