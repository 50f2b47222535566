// Mode 1 transactions per second against the paced simulator, back to back,
// next to what the wire allows: (request + reply bytes) x 10 bits / 8192 baud
// plus the turnaround. The echo shares the wire with the request.
//
//   bench_link_transactions [--count N] [--turnaround MS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/demo/SimulatedEcu.h"
#include "link/ALDLComms.h"

using namespace quillmar;

namespace {

struct Figures {
    double perSecond = 0;
    double limit = 0;
    int failures = 0;
};

Figures run(SimulatedEcu& ecu, const TBytes& data, int count, double turnaroundMs) {
    TALDLComms link;
    std::vector<std::string> log;
    link.ErrorLog = &log;
    if (!link.ConnectDevice(ecu.DevicePath())) {
        std::fprintf(stderr, "cannot connect: %s\n", link.LastErrorText.c_str());
        std::exit(1);
    }
    TBytes reply;
    for (int i = 0; i < 3; ++i)
        link.Transact(1, data, reply);

    Figures f;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (!link.Transact(1, data, reply) || reply.size() != SimulatedEcu::ReplyDataBytes) ++f.failures;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.perSecond = count / seconds;

    const double requestBytes = 4 + double(data.size());
    const double replyBytes = 4 + double(SimulatedEcu::ReplyDataBytes);
    const double wireSeconds = (requestBytes + replyBytes) * 10 / SimulatedEcu::Baud + turnaroundMs / 1000;
    f.limit = 1 / wireSeconds;
    return f;
}

void print(const char* what, const Figures& f) {
    std::printf("%-34s %8.3f /s   wire limit %8.3f /s   ratio %.4f   failures %d\n", what, f.perSecond,
                f.limit, f.perSecond / f.limit, f.failures);
}

} // namespace

int main(int argc, char** argv) {
    int count = 40;
    double turnaround = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--count"))
            count = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--turnaround"))
            turnaround = std::max(0.0, std::atof(argv[i + 1]));
    }

    SimOptions options;
    options.Pace = true;
    options.TurnaroundMs = turnaround;
    SimulatedEcu ecu(options);
    if (!ecu.Start()) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", ecu.Error().c_str());
        return 1;
    }
    std::printf("%d mode 1 transactions each, turnaround %.1f ms, 8192 baud, 10 bits a byte\n", count,
                turnaround);
    print("mode 1, no message number", run(ecu, {}, count, turnaround));
    print("mode 1, message number 0", run(ecu, {0x00}, count, turnaround));
    ecu.Stop();
    return 0;
}
