// Deriving channels and opening logs of 100,000 and 1,000,000 rows, and the
// live derivation's cost per row at 1,000 and 100,000 rows.
// Prints the figures; no pass or fail.

#include "acquisition/params/Parameters.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LiveDerivation.h"
#include "store/dataset/LogCollection.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <unistd.h>

using namespace quillmar;

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();
    // Wall-clock and processor seconds since construction; on a shared
    // machine the processor time is the steadier figure.
    void print(const char* what, uint32_t rows) const {
        const double w = std::chrono::duration<double>(Clock::now() - wall).count();
        const double c = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        std::printf("%-36s %10u %10.3f %10.3f\n", what, rows, w, c);
    }
};

// A plausible drive, one row every 0.1 s: standing, pulling away through the
// gears with the clutch in between, cruising, stopping again.
std::unique_ptr<TALDLLog> makeDrive(uint32_t rows, std::shared_ptr<const TParameterArray> table) {
    static const double ratio[6] = {0, 0.0052, 0.00904, 0.01299, 0.01686, 0.02089};
    auto log = std::make_unique<TALDLLog>(std::move(table));
    log->SetRows(rows);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    double speed = 0;
    int gear = 1, clutch = 0, stopped = 50;
    uint8_t data[ReplyLength] = {};
    for (uint32_t i = 1; i <= rows; ++i) {
        if (stopped > 0) {
            --stopped;
            speed = 0;
            gear = 1;
        } else {
            speed += gear < 5 ? 0.3 : 0.02;
            if (speed > 80 && rng() % 500 == 0) stopped = 100 + int(rng() % 200);
        }
        double rpm = speed < 1 ? 850 : speed / ratio[gear];
        if (rpm > 5000 && gear < 5) {
            ++gear;
            clutch = 5;
        }
        if (clutch > 0) {
            --clutch;
            rpm = 1800;
        }
        data[17 - 1] = uint8_t(std::clamp(std::lround(speed + noise(rng)), 0L, 255L));
        data[11 - 1] = uint8_t(std::clamp(std::lround(rpm / 25 + noise(rng)), 0L, 255L));
        data[27 - 1] = uint8_t(4 + gear);
        data[28 - 1] = uint8_t(rng());
        data[24 - 1] = uint8_t(100 + gear * 8);
        data[23 - 1] = 125;
        log->WriteRow(i, data, (i - 1) * 0.1);
    }
    return log;
}

} // namespace

int main() {
    auto table = std::make_shared<const TParameterArray>(BuiltInParameters());
    std::printf("%-36s %10s %10s %10s\n", "operation", "rows", "wall s", "cpu s");
    for (uint32_t rows : {100000u, 1000000u}) {
        auto log = makeDrive(rows, table);
        const Timer t;
        log->DeriveChannels();
        t.print("DeriveChannels", rows);
        std::printf("%-36s %10u %10u\n", "  spline points kept", rows, log->LastDerive().SplinePoints);
    }

    // The live derivation: the cost of a row must not grow with the rows
    // before it. Rows 0.1 s apart, as fast as the link delivers them.
    std::printf("\n%-36s %10s %10s %10s\n", "live derivation", "rows", "us/row", "last 1k");
    for (uint32_t rows : {1000u, 100000u}) {
        auto log = makeDrive(rows, table);
        TLiveDerivation live(table);
        const Clock::time_point start = Clock::now();
        Clock::time_point lastThousand = start;
        for (uint32_t i = 1; i <= rows; ++i) {
            if (i == rows - 999) lastThousand = Clock::now();
            live.addRow(log->RowData(i), log->TimeStamp(i));
        }
        const Clock::time_point end = Clock::now();
        const double all = std::chrono::duration<double, std::micro>(end - start).count() / rows;
        const double last = std::chrono::duration<double, std::micro>(end - lastThousand).count() / 1000;
        std::printf("%-36s %10u %10.2f %10.2f\n", "TLiveDerivation::addRow", rows, all, last);
    }
    std::printf("\n");

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("quillmar-bench-" + std::to_string(::getpid()) + ".ecu");
    {
        auto log = makeDrive(1000000, table);
        log->SaveToFile(file.string());
    }
    const Timer t1;
    OpenedLog opened = OpenLogFile(file.string(), table);
    t1.print("OpenLogFile (load + derive)", opened.Log->Rows);
    TLogCollection collection;
    const Timer t2;
    collection.openLogs({file.string()}, table);
    t2.print("openLogs (load + derive)", collection.ReadLog(0)->Rows);
    std::filesystem::remove(file);
    return 0;
}
