// quillmar-ecusim: the simulated engine computer on a pseudo-terminal.
// Prints the device path as the first line of its output, then answers
// requests until interrupted (or until it hangs up as asked).

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "sim/SimulatedEcu.h"

using namespace quillmar;

namespace {

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage(std::ostream& out) {
    out << "Usage: quillmar-ecusim [options]\n"
           "  --link PATH        also make a symbolic link PATH to the device\n"
           "  --pace             send no faster than 8192 baud (10 bits a byte)\n"
           "  --turnaround MS    delay between request and reply\n"
           "  --step SECONDS     model time per mode 1 reply (default 0.2; 0: real time)\n"
           "  --seed N           seed of the vehicle model and generated PROM\n"
           "  --prom FILE        PROM image (32768 bytes at 0x8000, or 65536)\n"
           "  --record FILE      write every reply sent as a line of hex\n"
           "  --replay FILE.ecu  answer mode 1 with the rows of this log, byte for byte,\n"
           "                     at their recorded pace on the model time of --step,\n"
           "                     looping at the end\n"
           "  --hang-up SECONDS  close the line after this long\n"
           "  --no-echo N, --bad-echo N, --noise N, --bad-check N,\n"
           "  --truncated N, --wrong-mode N, --silence N\n"
           "                     inject that fault on every Nth request\n";
}

// A finite number from 0 to limit. Infinities and huge values would hang the
// model (it steps through the time given) or overflow the nanosecond clocks.
bool number(const char* text, double& value, double limit = 1e9) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value >= 0 && value <= limit;
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            return 0;
        }
        if (arg == "--pace") {
            options.Pace = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::cerr << "quillmar-ecusim: " << arg << (arg.rfind("--", 0) == 0 ? " needs a value\n" : ": unknown option\n");
            usage(std::cerr);
            return 2;
        }
        const char* value = argv[++i];
        double v = 0;
        bool ok = true;
        if (arg == "--link")
            options.LinkPath = value;
        else if (arg == "--prom")
            options.PromPath = value;
        else if (arg == "--record")
            options.RecordPath = value;
        else if (arg == "--replay")
            options.ReplayPath = value;
        else if (arg == "--turnaround")
            ok = number(value, options.TurnaroundMs);
        else if (arg == "--step")
            ok = number(value, options.StepSeconds, 3600);
        else if (arg == "--hang-up")
            ok = number(value, options.HangUpAfterSeconds);
        else if (arg == "--seed") {
            ok = number(value, v, 4294967295.0);
            options.Seed = uint32_t(v);
        } else {
            bool known = false;
            for (size_t k = 0; k < SimFaultCount; ++k) {
                if (arg == std::string("--") + SimFaultName(SimFault(k))) {
                    known = true;
                    ok = number(value, v) && v <= 1e9;
                    options.FaultEvery[k] = unsigned(v);
                }
            }
            if (!known) {
                std::cerr << "quillmar-ecusim: unknown option " << arg << "\n";
                usage(std::cerr);
                return 2;
            }
        }
        if (!ok) {
            std::cerr << "quillmar-ecusim: " << arg << " needs a finite number of 0 or more within its range, not \"" << value << "\"\n";
            return 2;
        }
    }

    struct sigaction sa{};
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
    return 0;
}
