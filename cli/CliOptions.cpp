#include "cli/CliOptions.h"

namespace quillmar {

ParsedOptions ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& declared) {
    std::vector<CommandLineOption> options{{"--help", false, {}}};
    for (const OptionSpec& option : declared)
        options.push_back({"--" + option.Name, option.TakesValue, {}});
    ParsedOptions out;
    out.Line = ParseCommandLine(args, options);
    out.Positional = out.Line.positionals();
    const std::string name = out.Line.ProblemName;
    switch (out.Line.Problem) {
    case CommandLineProblem::None:
        break;
    case CommandLineProblem::UnknownOption:
        out.Error = "unknown option " + name;
        break;
    case CommandLineProblem::NeedsValue:
        out.Error = "option " + name + " needs a value";
        break;
    case CommandLineProblem::TakesNoValue:
        out.Error = "option " + name + " takes no value";
        break;
    }
    return out;
}

std::optional<double> ParseSeconds(const std::string& text) {
    return ParseDecimalNumber(text);
}

} // namespace quillmar
