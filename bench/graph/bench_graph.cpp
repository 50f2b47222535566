// Graph redraw figures: 8 curves of 1,000,000 points each drawn onto a
// 1920 x 1080 image, once through the per-column reduction and once putting
// every point through the axes, and how many pixels the two pictures differ.
// Usage: bench_graph [points per curve] [picture file prefix]
#include "graph/draw/GraphDraw.h"

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <time.h>
#include <vector>

using namespace quillmar;

namespace {

double msSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// Processor time of this thread: other people's builds on the shared
// machine do not count against the drawing.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A logged run: time at 200 ms steps with some jitter, engine-speed-like
// values with slow swings, gear steps and noise.
void fillCurve(TCurve& curve, uint32_t n, int k, std::mt19937& random) {
    std::normal_distribution<double> noise(0, 1);
    curve.Series->MakeXY(n, 8);
    double t = 0;
    for (uint32_t i = 1; i <= n; ++i) {
        t += 0.2 + 0.01 * noise(random);
        double slow = std::sin(t / (400 + 37 * k)) * 1500 + std::sin(t / 53) * 300;
        double step = (static_cast<int>(t / (900 + 90 * k)) % 4) * 400;
        curve.Series->SetX(i, t);
        curve.Series->SetY(i, 2500 + 300 * k + slow + step + 60 * noise(random));
    }
    curve.Enabled = true;
    curve.YAxis = k < 6 ? 1 : 2;
}

long differingPixels(const QImage& a, const QImage& b) {
    long count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const uint32_t points = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    const char* prefix = argc > 2 ? argv[2] : nullptr;

    TAxes axes;
    TCurves curves(axes);
    axes.Axis(0).Label = "Time";
    axes.Axis(0).Units = "s";
    axes.Axis(1).Label = "Engine speed";
    axes.Axis(1).Units = "rpm";
    axes.Axis(2).Label = "Engine speed";
    axes.Axis(2).Units = "rpm";
    std::mt19937 random(7);
    for (int k = 0; k < 8; ++k)
        fillCurve(curves.Add(), points, k, random);

    const QSize size(1920, 1080);
    QImage image(size, QImage::Format_RGB32);
    QImage other(size - QSize(0, 1), QImage::Format_RGB32);
    auto draw = [&](QImage& target, bool everyPoint) {
        target.fill(Qt::white);
        QPainter painter(&target);
        TCanvas canvas(painter);
        TDrawOptions options;
        options.EveryPoint = everyPoint;
        DrawGraph(axes, curves, canvas, options);
    };

    // The first drawing builds each curve's summary of its series.
    auto start = std::chrono::steady_clock::now();
    draw(image, false);
    const double firstMs = msSince(start);

    // The machine is shared: medians of processor time, not means of the clock.
    const int rounds = 21;
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    // A redraw at the same scales reuses each curve's last reduction; one
    // after a change of scale (here one pixel less height) works it out anew.
    std::vector<double> same, changed, clock;
    for (int r = 0; r < rounds; ++r) {
        start = std::chrono::steady_clock::now();
        double c0 = cpuMs();
        draw(image, false);
        same.push_back(cpuMs() - c0);
        clock.push_back(msSince(start));
        c0 = cpuMs();
        draw(other, false);
        draw(image, false);
        changed.push_back((cpuMs() - c0) / 2);
    }
    const double redrawMs = median(changed);
    const QImage reduced = image.copy();
    std::printf("curves: 8 x %u points onto %d x %d\n", points, size.width(), size.height());
    std::printf("first drawing (builds the summaries): %.1f ms\n", firstMs);
    std::printf("redraw: %.2f ms (after a change of scale; processor time)\n", redrawMs);
    std::printf("redraw at the same scales: %.2f ms (processor time; %.2f ms on the clock)\n", median(same),
                median(clock));
    if (std::getenv("BENCH_REDRAW_ONLY")) return 0;

    const double c0 = cpuMs();
    draw(image, true);
    const double everyMs = cpuMs() - c0;
    const QImage every = image.copy();
    std::printf("draw every point: %.1f ms (processor time)\n", everyMs);
    std::printf("ratio: %.1f\n", everyMs / redrawMs);
    std::printf("pixels differing: %ld of %d\n", differingPixels(reduced, every),
                size.width() * size.height());
    if (prefix) {
        reduced.save(QString("%1-reduced.png").arg(prefix));
        every.save(QString("%1-every.png").arg(prefix));
    }
    return 0;
}
