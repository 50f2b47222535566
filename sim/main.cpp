// quillmar-ecusim: the simulated engine computer on a pseudo-terminal.
// Prints the device path as the first line of its output, then answers
// requests until interrupted (or until it hangs up as asked).

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/demo/SimulatedEcu.h"
#include "store/base/CommandLine.h"

using namespace quillmar;

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) {
    stopRequested = 1;
}

void usage(std::ostream& out) {
    out << "Usage: quillmar-ecusim [options]\n"
           "  --link PATH        also make a symbolic link PATH to the device\n"
           "  --pace             send no faster than 8192 baud (10 bits a byte)\n"
           "  --turnaround MS    delay between request and reply\n"
           "  --step SECONDS     model time per mode 1 reply (default 0.2; 0: real time)\n"
           "  --seed N           seed of the vehicle model and generated PROM\n"
           "  --prom FILE        PROM image (32768 bytes at 0x8000, or 65536)\n"
           "  --record FILE      write every reply sent as a line of hex; a reply a fault\n"
           "                     touched ends in \" #\" and the faults' names\n"
           "  --replay FILE.ecu  answer mode 1 with the rows of this log, byte for byte,\n"
           "                     at their recorded pace on the model time of --step,\n"
           "                     looping at the end\n"
           "  --hang-up SECONDS  close the line after this long (0, the default: never)\n"
           "  --silent-after SECONDS\n"
           "                     stop answering after this long: requests are still\n"
           "                     echoed, as by an adapter whose engine computer is off\n"
           "  --silent-for SECONDS\n"
           "                     answer again after this long silent (0, the default:\n"
           "                     stay silent)\n"
           "  --no-echo N, --bad-echo N, --noise N, --bad-check N,\n"
           "  --truncated N, --wrong-mode N, --silence N\n"
           "                     inject that fault on every Nth request (0: never)\n"
           "  --help, --version  show this text, or the version\n"
           "Numbers are decimal digits, with a decimal point where fractions make sense.\n";
}

// The numbers of the options follow the command lines' one rule
// (ParseDecimalNumber): decimal digits with at most one decimal point (whole
// numbers: none), nothing around them. So there are no infinities and no
// exponents, and a limit keeps huge values, which would hang the model (it
// steps through the time given) or overflow the nanosecond clocks, out.
bool number(const std::string& text, double& value, double limit, bool whole = false) {
    const std::optional<double> parsed = ParseDecimalNumber(text, whole);
    if (!parsed) return false;
    value = *parsed;
    return value <= limit;
}

std::vector<CommandLineOption> simOptions() {
    std::vector<CommandLineOption> options = {
        {"--help", false, {"-h"}}, {"--version", false, {}},   {"--pace", false, {}},
        {"--link", true, {}},      {"--prom", true, {}},       {"--record", true, {}},
        {"--replay", true, {}},    {"--turnaround", true, {}}, {"--step", true, {}},
        {"--hang-up", true, {}},   {"--seed", true, {}},       {"--silent-after", true, {}},
        {"--silent-for", true, {}}};
    for (size_t k = 0; k < SimFaultCount; ++k)
        options.push_back({std::string("--") + SimFaultName(SimFault(k)), true, {}});
    return options;
}

// The fault an option names (--no-echo ...), or -1.
int faultOption(const std::string& name) {
    for (size_t k = 0; k < SimFaultCount; ++k)
        if (name == std::string("--") + SimFaultName(SimFault(k))) return int(k);
    return -1;
}

int run(int argc, char** argv) {
    SimOptions options;
    // Every word is an option word: "--name=value", "--" and other words are
    // unknown options.
    CommandLineSyntax syntax;
    syntax.InlineValues = false;
    syntax.DoubleDashEnds = false;
    syntax.Positionals = false;
    const ParsedCommandLine line =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), simOptions(), syntax);
    // The options take effect in the order given, up to the first that is wrong.
    for (const CommandLineItem& item : line.Items) {
        const std::string& arg = item.Name;
        const std::string& value = item.Value;
        if (arg == "--help") {
            usage(std::cout);
            return 0;
        }
        if (arg == "--version") {
            std::cout << "quillmar-ecusim " << QUILLMAR_VERSION << "\n";
            return 0;
        }
        double v = 0;
        bool ok = true;
        if (arg == "--pace")
            options.Pace = true;
        else if (arg == "--link")
            options.LinkPath = value;
        else if (arg == "--prom")
            options.PromPath = value;
        else if (arg == "--record")
            options.RecordPath = value;
        else if (arg == "--replay")
            options.ReplayPath = value;
        else if (arg == "--turnaround")
            ok = number(value, options.TurnaroundMs, 1e9);
        else if (arg == "--step")
            ok = number(value, options.StepSeconds, 3600);
        else if (arg == "--hang-up")
            ok = number(value, options.HangUpAfterSeconds, 1e9);
        else if (arg == "--silent-after") {
            ok = number(value, v, 1e9);
            options.SilentAfterSeconds = v;
        } else if (arg == "--silent-for")
            ok = number(value, options.SilentForSeconds, 1e9);
        else if (arg == "--seed") {
            ok = number(value, v, 4294967295.0, true);
            options.Seed = uint32_t(v);
        } else {
            ok = number(value, v, 1e9, true);
            options.FaultEvery[size_t(faultOption(arg))] = unsigned(v);
        }
        if (!ok) {
            std::cerr << "quillmar-ecusim: " << arg << " needs a number of 0 or more within its range, not \""
                      << value << "\"\n";
            return 2;
        }
    }
    if (line.Problem == CommandLineProblem::UnknownOption) {
        std::cerr << "quillmar-ecusim: unknown option " << line.ProblemWord << "\n";
        usage(std::cerr);
        return 2;
    }
    if (line.Problem == CommandLineProblem::NeedsValue) {
        std::cerr << "quillmar-ecusim: " << line.ProblemName << " needs a value\n";
        usage(std::cerr);
        return 2;
    }

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SimulatedEcu ecu(options);
    // A file given on the command line that cannot be used is bad input.
    if (!ecu.LoadInputFiles()) {
        std::cerr << "quillmar-ecusim: " << ecu.Error() << "\n";
        return 2;
    }
    if (!ecu.Start()) {
        std::cerr << "quillmar-ecusim: " << ecu.Error() << "\n";
        return 1;
    }
    std::cout << ecu.DevicePath() << std::endl;
    while (!stopRequested && !ecu.HungUp())
        usleep(20000);
    ecu.Stop();
    if (!ecu.Failure().empty()) {
        std::cerr << "quillmar-ecusim: " << ecu.Failure() << "\n";
        return 1;
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    // Nothing unforeseen may end the program without a word.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "quillmar-ecusim: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "quillmar-ecusim: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "quillmar-ecusim: unexpected error\n";
    }
    return 2;
}
