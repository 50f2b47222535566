// The soak: an eight-hour recording at 10 Hz (288,000 transactions) run
// unpaced against the simulator, every fault kind mixed in at a steady rate
// and the adapter unplugged now and then, while logging with a journal.
//
// Prints the rows recorded against the good replies the simulator sent
// (they must be equal, each row byte for byte a good reply, in order), the
// error-log lines by kind next to the faults injected, what the journal
// holds, and the memory in use beyond the recording's own data at the start,
// in the middle and at the end (it must stay flat).
//
//   bench_soak [TRANSACTIONS]     (default 288000)

#include "acquisition/Acquisition.h"
#include "acquisition/demo/SimulatedEcu.h"
#include "acquisition/params/Parameters.h"
#include "link/ALDLComms.h"
#include "store/Journal.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QCoreApplication>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace quillmar;
namespace fs = std::filesystem;

namespace {

// Each fault on every Nth request; primes, so they seldom meet.
constexpr unsigned FaultEvery[SimFaultCount] = {
    997, // no-echo
    991, // bad-echo
    983, // noise
    977, // bad-check
    971, // truncated
    967, // wrong-mode
    953, // silence
};
// The adapter is unplugged (and plugged in again) after this many transactions.
constexpr uint64_t UnplugEvery = 30000;

double rssMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / 1e6;
}

// The recording's own data: the rows' bytes and the derived arrays (the
// memory they use; room reserved beyond it is never touched, so it is not
// resident either).
double dataMegabytes(const TALDLLog* log) {
    if (!log) return 0;
    double bytes = double(log->size());
    for (const TDoubleArray& channel : log->Derived)
        bytes += double(channel.size()) * sizeof(double);
    return bytes / 1e6;
}

using Reply = std::vector<uint8_t>;

std::vector<uint8_t> fromHex(const std::string& text) {
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair)
        out.push_back(uint8_t(std::stoul(pair, nullptr, 16)));
    return out;
}

// Reads one simulator record: the good mode 1 replies in order (a reply
// behind noise is good: the receiver skips the noise), and the faults the
// record names.
void readRecord(const std::string& path, std::vector<Reply>& good, std::map<std::string, uint64_t>& faults) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t hash = line.find(" #");
        std::string names = hash == std::string::npos ? std::string() : line.substr(hash + 2);
        std::istringstream words(names);
        bool bad = false;
        for (std::string w; words >> w;) {
            ++faults[w];
            bad = bad || w != "noise";
        }
        std::vector<uint8_t> frame = fromHex(line.substr(0, hash));
        if (bad) continue;
        size_t start = 0;
        while (start < frame.size() && frame[start] != FrameStartByte)
            ++start;
        if (frame.size() - start == 67 && frame[start + 2] == 1)
            good.emplace_back(frame.begin() + long(start) + 3, frame.end() - 1);
    }
}

class SoakListener : public AcquisitionListener {
public:
    void errorLines(const std::vector<std::string>& lines) override {
        for (const std::string& l : lines) {
            std::string kind = l.substr(0, l.find_first_of("(:"));
            if (l.find(" disconnected, retrying") != std::string::npos) kind = "Comm port disconnected";
            if (l.find(" connected again after ") != std::string::npos) kind = "Comm port connected again";
            while (!kind.empty() && kind.back() == ' ')
                kind.pop_back();
            ++byKind[kind];
        }
    }
    std::map<std::string, uint64_t> byKind;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const uint64_t transactions = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 288000;
    if (transactions == 0) {
        std::fprintf(stderr, "usage: bench_soak [TRANSACTIONS]\n");
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("quillmar-soak-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string link = (dir / "adapter").string();

    SimOptions options;
    options.LinkPath = link;
    options.StepSeconds = 0.1; // the model moves as at 10 Hz
    for (size_t k = 0; k < SimFaultCount; ++k)
        options.FaultEvery[k] = FaultEvery[k];
    std::vector<std::string> records;
    std::unique_ptr<SimulatedEcu> sim;
    uint64_t requestsBefore = 0; // of the simulators already unplugged
    auto plugIn = [&] {
        options.RecordPath = (dir / ("record-" + std::to_string(records.size()) + ".txt")).string();
        options.Seed = uint32_t(records.size() + 1);
        records.push_back(options.RecordPath);
        sim = std::make_unique<SimulatedEcu>(options);
        if (!sim->Start()) {
            std::fprintf(stderr, "simulator: %s\n", sim->Error().c_str());
            std::exit(1);
        }
    };
    plugIn();

    TLogCollection collection;
    Acquisition acq(collection);
    SoakListener listener;
    acq.setListener(&listener);
    acq.setJournalFolder((dir / "journals").string());
    AcquisitionSetup setup;
    setup.Table = BuiltInParameters();
    setup.Port = link;
    if (!acq.start(setup) || !acq.comms()->IsOpen()) {
        std::fprintf(stderr, "cannot open %s: %s\n", link.c_str(), acq.connectError().c_str());
        return 1;
    }
    acq.setAcquisitionPeriod("100");
    acq.startLogging();
    const auto started = std::chrono::steady_clock::now();

    struct Sample {
        uint64_t done;
        double rss, data;
    };
    std::vector<Sample> samples;
    auto sample = [&](uint64_t done) {
        samples.push_back({done, rssMegabytes(), dataMegabytes(acq.currentLog())});
    };
    auto done = [&] { return requestsBefore + (sim ? sim->RequestCount() : 0); };
    bool sampledStart = false, sampledMiddle = false;
    uint64_t nextUnplug = UnplugEvery, unplugs = 0, ticks = 0;
    while (done() < transactions) {
        acq.acquisitionTick();
        ++ticks;
        if (ticks % 100 == 0) acq.updateTick(); // the update tick trims the error log
        if (!sampledStart && done() >= 1000) {
            sample(done());
            sampledStart = true;
        }
        if (!sampledMiddle && done() >= transactions / 2) {
            sample(done());
            sampledMiddle = true;
        }
        if (acq.linkLost()) {
            // Plugged in again at once; the cycle finds it at its next try.
            if (!sim) plugIn();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } else if (done() >= nextUnplug && done() + 1000 < transactions) {
            requestsBefore += sim->RequestCount();
            sim.reset(); // unplugged between two ticks, the node removed
            ++unplugs;
            nextUnplug += UnplugEvery;
        }
    }
    sample(done());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    TALDLLog* log = acq.currentLog();
    const std::string journalPath = log && log->Journal() ? log->Journal()->Path() : std::string();
    const uint64_t syncs = log && log->Journal() ? log->Journal()->Syncs() : 0;
    acq.stopLogging();
    requestsBefore += sim ? sim->RequestCount() : 0;
    sim.reset();

    // What was sent, and what the recording and its journal hold.
    std::vector<Reply> good;
    std::map<std::string, uint64_t> faults;
    for (const std::string& r : records)
        readRecord(r, good, faults);
    log = collection.ReadLog(0);
    const uint32_t rows = log ? log->Rows : 0;
    uint32_t same = 0;
    for (uint32_t r = 1; r <= rows && r <= good.size(); ++r)
        same += std::memcmp(log->RowData(r), good[r - 1].data(), 63) == 0;
    uint32_t journalRows = 0, journalSame = 0, journalDropped = 0;
    uint64_t journalBytes = 0;
    if (!journalPath.empty()) {
        std::ifstream in(journalPath, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        journalBytes = bytes.size();
        const JournalContents contents = ParseJournal(bytes, journalPath);
        journalRows = contents.RowCount;
        journalDropped = contents.Dropped;
        for (uint32_t r = 0; r < contents.RowCount && r < rows; ++r)
            journalSame += std::memcmp(contents.Rows.data() + size_t(r) * JournalRowBytes,
                                       log->RowData(r + 1), JournalRowBytes) == 0;
    }

    std::printf("soak: %llu transactions in %.1f s (%.0f a second), %llu unplugs\n",
                static_cast<unsigned long long>(requestsBefore), seconds, double(requestsBefore) / seconds,
                static_cast<unsigned long long>(unplugs));
    std::printf("rows recorded %u, good replies sent %zu, rows equal to their reply %u: %s\n", rows,
                good.size(), same, rows == good.size() && same == rows ? "equal" : "NOT EQUAL");
    std::printf("journal: %u rows (%u dropped), %u equal to the recording's, %.1f MB, %llu syncs: %s\n",
                journalRows, journalDropped, journalSame, double(journalBytes) / 1e6,
                static_cast<unsigned long long>(syncs),
                journalRows == rows && journalSame == rows ? "equal" : "NOT EQUAL");
    std::printf("faults injected (from the simulator's record):");
    for (const auto& [name, count] : faults)
        std::printf(" %s %llu", name.c_str(), static_cast<unsigned long long>(count));
    std::printf("; no-echo and silence about %llu and %llu\n",
                static_cast<unsigned long long>(requestsBefore / FaultEvery[0]),
                static_cast<unsigned long long>(requestsBefore / FaultEvery[6]));
    std::printf("error-log lines by kind:\n");
    for (const auto& [kind, count] : listener.byKind)
        std::printf("  %-34s %8llu\n", kind.c_str(), static_cast<unsigned long long>(count));
    std::printf("memory (RSS less the recording's rows and derived arrays):\n");
    const char* names[] = {"start", "middle", "end"};
    for (size_t i = 0; i < samples.size() && i < 3; ++i)
        std::printf("  %-6s after %7llu transactions: RSS %7.1f MB, data %6.1f MB, beyond %6.1f MB\n",
                    names[i], static_cast<unsigned long long>(samples[i].done), samples[i].rss,
                    samples[i].data, samples[i].rss - samples[i].data);

    // Saved like any recording: the journal goes.
    bool saved = false;
    if (log && rows > 0) saved = collection.saveDatasetAs((dir / "soak.ecu").string()) && log->Saved;
    std::printf("saved %s, journal %s\n", saved ? "yes" : "NO", fs::exists(journalPath) ? "KEPT" : "removed");
    acq.shutdown();
    fs::remove_all(dir);
    return rows == good.size() && same == rows && journalRows == rows && saved ? 0 : 1;
}
