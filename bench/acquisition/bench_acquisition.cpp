// The cost of one acquisition tick in test mode: the decoding share alone
// (talking) and with the row append (logging), and the round trip of a
// tick's pseudo-random reply. Prints its figures.

#include "acquisition/Acquisition.h"
#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

using namespace quillmar;

namespace {

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* what, int ticks, double seconds) {
    std::printf("%-44s %9d ticks %9.3f ms  %8.3f us/tick\n", what, ticks, seconds * 1e3,
                seconds * 1e6 / ticks);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int ticks = 200000;
    double day = 45000.0;

    for (const char* periods : {"200", "2000"}) {
        TLogCollection collection;
        Acquisition acq(collection);
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        acq.start(setup);
        acq.setClock([&day] { return day += 0.1 / 86400.0; });
        acq.setTestMode(true);
        acq.setAcquisitionPeriod(periods);
        std::printf("acquisition period %s ms, update period 2000 ms: %lld decode steps a tick\n", periods,
                    static_cast<long long>(acq.decodeSteps()));

        acq.startTalking();
        report("  talking (reply + decode share)", ticks, secondsOf([&] {
                   for (int i = 0; i < ticks; ++i)
                       acq.acquisitionTick();
               }));
        acq.stopTalking();

        acq.startLogging();
        report("  logging (reply + row append + decode share)", ticks, secondsOf([&] {
                   for (int i = 0; i < ticks; ++i)
                       acq.acquisitionTick();
               }));
        TALDLLog* log = acq.currentLog();
        std::printf("  rows recorded %d, capacity %u rows (%.1f MB)\n", acq.rowCounter(), log->Rows,
                    log->Rows * 71.0 / 1e6);
        const double finish = secondsOf([&] { acq.stopLogging(); });
        std::printf("  stop logging (trim + derive %d rows)        %9.3f ms\n", ticks, finish * 1e3);
        acq.stopTalking();
        // The recording is not saved; leave without the question.
        collection.RemoveDataset(collection.ReadLog(0));
    }
    return 0;
}
