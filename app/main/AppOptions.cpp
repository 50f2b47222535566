#include "app/main/AppOptions.h"

#include "link/PortTable.h"
#include "store/base/CommandLine.h"

namespace quillmar {

#ifndef QUILLMAR_VERSION
#define QUILLMAR_VERSION "0"
#endif

AppOptions ParseAppOptions(const std::vector<std::string>& args) {
    static const std::vector<CommandLineOption> options = {
        {"--help", false, {"-h"}}, {"--version", false, {"-v"}}, {"--demo", false, {}},
        {"--replay", true, {}},    {"--port", true, {}},         {"--ini", true, {}}};
    CommandLineSyntax syntax;
    syntax.SingleDashOptions = true;
    const ParsedCommandLine line = ParseCommandLine(args, options, syntax);
    AppOptions o;
    // The options take effect in the order given, up to the first that is wrong.
    for (const CommandLineItem& item : line.Items) {
        const std::string& value = item.Value;
        if (item.Name.empty()) {
            o.Files.push_back(value);
        } else if (item.Name == "--help") {
            o.Help = true;
        } else if (item.Name == "--version") {
            o.Version = true;
        } else if (item.Name == "--demo") {
            o.Demo = true;
        } else if (item.Name == "--replay") {
            if (value.empty()) o.Error = "--replay needs a log file";
            o.ReplayPath = value;
        } else if (item.Name == "--port") {
            if (!ResolvePort(value))
                o.Error = "'" + value + "' is not a port: give COM1..COM20 or a device path";
            o.Port = value;
        } else if (item.Name == "--ini") {
            if (value.empty()) o.Error = "--ini needs a file name";
            o.IniPath = value;
        }
        if (!o.Error.empty()) return o;
    }
    switch (line.Problem) {
    case CommandLineProblem::None:
        break;
    case CommandLineProblem::UnknownOption:
        o.Error = "unknown option '" + line.ProblemWord + "'";
        return o;
    case CommandLineProblem::NeedsValue:
        o.Error = line.ProblemName + " needs a value";
        return o;
    case CommandLineProblem::TakesNoValue:
        o.Error = line.ProblemName + " takes no value";
        return o;
    }
    if (!o.ReplayPath.empty() && !o.Demo) o.Error = "--replay works with --demo only";
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
