// Store and fit figures: loading a 1,000,000-row log against reading the
// file raw, spline and moving average over 1,000,000 points, and bulk row
// deletion against repeated DeleteRow.
#include "store/Fits.h"
#include "store/Store.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quillmar;

namespace {

double seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

template <typename F> double timed(F&& f) {
    auto t = std::chrono::steady_clock::now();
    f();
    return seconds(t);
}

double readRaw(const std::string& name, std::vector<uint8_t>& buffer) {
    return timed([&] {
        int fd = ::open(name.c_str(), O_RDONLY);
        if (fd < 0) return;
        std::size_t at = 0;
        for (;;) {
            ssize_t n = ::read(fd, buffer.data() + at, buffer.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
}

void benchLoad() {
    const uint32_t rows = 1000000;
    const std::string name = "/tmp/quillmar-bench-store-" + std::to_string(::getpid()) + ".ecu";
    {
        TNumber2DArrayStore log;
        log.Make2D(71, 0, 1);
        double build = timed([&] {
            for (uint32_t r = 1; r <= rows; ++r) {
                if (r > log.Rows) log.SetRows(log.Rows + 100); // as the acquisition cycle grows a dataset
                uint8_t* row = log.RowData(r);
                for (int c = 0; c < 63; ++c)
                    row[c] = static_cast<uint8_t>(r + c);
                double t = r * 0.1;
                std::memcpy(row + 63, &t, 8);
            }
        });
        std::printf("grow a log 100 rows at a time to %u rows: %.3f s\n", rows, build);
        double save = timed([&] { log.SaveToFile(name); });
        std::printf("save %u rows (%.1f MB, atomic with fsync): %.3f s\n", rows, (273.0 + rows * 71.0) / 1e6,
                    save);
    }
    std::vector<uint8_t> buffer(273 + std::size_t{rows} * 71 + 1);
    readRaw(name, buffer); // warm the page cache
    double best = 1e9, bestRaw = 1e9;
    for (int i = 0; i < 5; ++i) {
        bestRaw = std::min(bestRaw, readRaw(name, buffer));
        TNumber2DArrayStore log;
        best = std::min(best, timed([&] { log.LoadFromFile(name); }));
        if (log.Rows != rows) std::printf("unexpected row count %u\n", log.Rows);
    }
    std::printf("load %u-row log: %.4f s; raw read of the same file: %.4f s; ratio %.2f\n", rows, best,
                bestRaw, best / bestRaw);
    ::unlink(name.c_str());
}

void benchFits() {
    const uint32_t n = 1000000;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> noise(-1, 1);
    TCubicSpline spline;
    spline.MakeXY(n, 8);
    TMovingAve ave;
    ave.MakeXY(n, 8);
    for (uint32_t i = 1; i <= n; ++i) {
        double x = i * 0.1, y = 50 + 30 * std::sin(i * 0.001) + noise(rng);
        spline.SetX(i, x);
        spline.SetY(i, y);
        ave.SetX(i, x);
        ave.SetY(i, y);
    }
    double compute = timed([&] { spline.Compute(); });
    volatile long double sink = 0;
    double evaluate = timed([&] {
        for (uint32_t i = 1; i <= n; ++i)
            sink = sink + spline.Evaluate(i * 0.1 + 0.05);
    });
    std::printf("spline over %u points: compute %.3f s, %u evaluations %.3f s (%.0f ns each)\n", n, compute,
                n, evaluate, evaluate / n * 1e9);
    ave.Window = 25;
    double average = timed([&] {
        for (uint32_t i = 1; i <= n; ++i)
            sink = sink + ave.GetY(i);
    });
    std::printf("moving average, window 25, over %u points: %.3f s (%.0f ns per point)\n", n, average,
                average / n * 1e9);
}

void fillSeries(TCubicSpline& s, uint32_t n) {
    s.MakeXY(n, 8);
    for (uint32_t i = 1; i <= n; ++i) {
        s.SetX(i, i * 0.1);
        s.SetY(i, i % 97);
    }
}

void benchDelete() {
    const uint32_t n = 100000;
    std::vector<uint32_t> doomed; // every third row
    for (uint32_t i = 2; i <= n; i += 3)
        doomed.push_back(i);
    TCubicSpline bulk;
    fillSeries(bulk, n);
    double bulkTime = timed([&] { bulk.DeleteRows(doomed); });
    std::printf("DeleteRows: %zu of %u rows in one pass: %.4f s\n", doomed.size(), n, bulkTime);

    // Repeated DeleteRow moves every later row each time. Time the first share
    // of the deletions and extrapolate, since the full run is quadratic.
    TCubicSpline stepwise;
    fillSeries(stepwise, n);
    const std::size_t sample = doomed.size() / 10;
    double part = timed([&] {
        for (std::size_t k = 0; k < sample; ++k)
            stepwise.DeleteRow(doomed[k] - static_cast<uint32_t>(k)); // rows move up as earlier ones go
    });
    // Each deletion moves the rows behind it; the sampled ones are the most expensive.
    double movedSample = 0, movedAll = 0;
    for (std::size_t k = 0; k < doomed.size(); ++k) {
        double behind = static_cast<double>(n - k) - (doomed[k] - k);
        movedAll += behind;
        if (k < sample) movedSample += behind;
    }
    double estimate = part * movedAll / movedSample;
    std::printf("repeated DeleteRow: %zu deletions took %.4f s; all %zu extrapolated by rows moved: %.3f s "
                "(%.0fx the bulk pass)\n",
                sample, part, doomed.size(), estimate, estimate / bulkTime);
}

} // namespace

int main() {
    benchLoad();
    benchFits();
    benchDelete();
    return 0;
}
