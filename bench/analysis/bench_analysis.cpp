// User channels computed over logs of 100,000 and 1,000,000 rows, their
// live values, and the table generator binning those rows on an even axis
// and on a list of breakpoints. Prints the figures; no pass or fail.

#include "acquisition/params/Parameters.h"
#include "store/analysis/TableGenerator.h"
#include "store/analysis/UserChannels.h"
#include "store/dataset/ALDLLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>

using namespace quillmar;

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    Clock::time_point wall = Clock::now();
    std::clock_t cpu = std::clock();
    // Wall-clock and processor seconds since construction, and the
    // processor's nanoseconds per row.
    void print(const char* what, uint32_t rows) const {
        const double w = std::chrono::duration<double>(Clock::now() - wall).count();
        const double c = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        std::printf("%-40s %10u %10.3f %10.3f %10.1f\n", what, rows, w, c, c * 1e9 / rows);
    }
};

// Rows of random bytes: every parameter takes values across its range.
std::unique_ptr<TALDLLog> makeLog(uint32_t rows, std::shared_ptr<const TParameterArray> table) {
    auto log = std::make_unique<TALDLLog>(std::move(table));
    log->SetRows(rows);
    std::mt19937 rng(5);
    uint8_t data[ReplyLength];
    for (uint32_t r = 1; r <= rows; ++r) {
        for (uint8_t& b : data)
            b = static_cast<uint8_t>(rng());
        log->WriteRow(r, data, 0.2 * r);
    }
    return log;
}

} // namespace

int main() {
    const auto table = std::make_shared<TParameterArray>(BuiltInParameters());
    FillBitNames(*table);
    const UserChannelSet channels(
        UserChannelList::Parse(
            "Lambda=[Air/fuel ratio] / 14.7\n"
            "Load [rpm bar]=[Engine speed] * [Manifold press (abs).]\n"
            "Idle error [RPM]=[Flags 30/At idle] ? [Engine speed] - [Target idle] : 0 / 0\n"),
        *table);
    const auto find = [&](const char* name) {
        return *FindNamedValue(*table, channels.List().Names(), name);
    };
    std::printf("%-40s %10s %10s %10s %10s\n", "what", "rows", "wall s", "cpu s", "cpu ns/row");
    for (uint32_t rows : {100000u, 1000000u}) {
        const auto log = makeLog(rows, table);
        {
            const Timer t;
            channels.Compute(*log);
            t.print("3 user channels", rows);
        }
        {
            const Timer t;
            TableGenerator g(GridAxis::Parse("800:6400:400"), GridAxis::Parse("0.2:1.8:0.1"),
                             TableStatistic::Mean);
            g.AddRows(*log, find("Engine speed"), find("Manifold press (abs)."), find("Spark advance"));
            t.print("table, even axes 15 x 17", rows);
        }
        {
            const Timer t;
            TableGenerator g(GridAxis::Parse("500,800,1000,1500,2000,3000,4000,5000,6000"),
                             GridAxis::Parse("0.2,0.4,0.6,0.8,1,1.2,1.5,1.8"), TableStatistic::Max);
            g.AddRows(*log, find("Engine speed"), find("Manifold press (abs)."), find("Load"));
            t.print("table, listed axes 9 x 8, z a channel", rows);
        }
    }
    // Live: the channels at the table's values, once per update.
    TParameterArray live = *table;
    live[16].Value = 0.9; // Manifold press (abs).
    const Timer t;
    double sum = 0;
    const uint32_t updates = 100000;
    for (uint32_t i = 0; i < updates; ++i) {
        live[8].Value = 800 + i % 5000; // Engine speed
        sum += channels.LiveValues(live)[1];
    }
    t.print("live values of 3 channels", updates);
    std::printf("(checksum %g)\n", sum);
    return 0;
}
