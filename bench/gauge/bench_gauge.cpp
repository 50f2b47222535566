// The cost of one needle movement and of one face redraw on a 305 x 305
// gauge set up as the boost dial, without and with 4x anti-aliasing; then
// the cost of one tick of the dials window (every gauge takes its new value)
// for the two dials of the default layout and for a grid of six gauges with
// thresholds, and what painting the whole window costs.

#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DialDialog.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace quillmar;

namespace {

template <typename F> double microsecondsEach(int count, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        f(i);
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return took.count() / count;
}

void measure(TA3nalogGauge& g, TAntialiased aa, const char* name) {
    g.setAntiAliased(aa);
    const uint64_t faces = g.FaceDraws();
    const int moves = aa == TAntialiased::aaNone ? 20000 : 2000;
    const double needle = microsecondsEach(moves, [&](int i) { g.setPosition(float(i % 200) + 0.5f); });
    const bool faceKept = g.FaceDraws() == faces;
    const int needleFrames = g.Frames();
    const int redraws = aa == TAntialiased::aaNone ? 2000 : 200;
    const double face = microsecondsEach(redraws, [&](int i) { g.setCaption(i % 2 ? "bar" : "kPa"); });
    std::printf("%-10s needle movement %8.1f us (Frames %d)%s   face redraw %8.1f us (Frames %d)\n", name,
                needle, needleFrames, faceKept ? "" : " FACE REDRAWN", face, g.Frames());
}

// A table with the parameters both layouts show.
TParameterArray table() {
    TParameterArray t;
    for (const char* name : {"Manifold press (abs).", "Engine speed", "Coolant temp.", "Battery volts",
                             "Speed", "Throttle", "Time"}) {
        TParameter p;
        p.Name = name;
        t.push_back(p);
    }
    return t;
}

// Values that sweep the scales and cross the thresholds now and then.
void setTick(TParameterArray& t, int i) {
    const double phase = std::sin(i * 0.013);
    t[0].Value = 1.0 + 0.8 * phase;
    t[1].Value = 4000 + 3500 * phase;
    t[2].Value = 80 + 40 * phase;
    t[3].Value = 13 + 2.5 * phase;
    t[4].Value = 60 + 55 * phase;
    t[5].Value = 50 + 49 * phase;
}

DashboardLayout sixGauges() {
    DashboardLayout layout;
    layout.Columns = 3;
    layout.GaugeSize = 240;
    const DashboardLayout old = DefaultDashboard();
    GaugeSpec pressure = old.Gauges[0], rpm = old.Gauges[1];
    pressure.Danger = {true, 170, ThresholdSide::Above};
    rpm.Style = DialStyle::Centre;
    rpm.Sweep = 270;
    rpm.Warning = {true, 6000, ThresholdSide::Above};
    rpm.Danger = {true, 7000, ThresholdSide::Above};
    GaugeSpec coolant;
    coolant.Parameter = "Coolant temp.";
    coolant.Minimum = -40;
    coolant.Maximum = 140;
    coolant.MainTicks = 9;
    coolant.Warning = {true, 105, ThresholdSide::Above};
    coolant.Danger = {true, 115, ThresholdSide::Above};
    GaugeSpec throttle;
    throttle.Parameter = "Throttle";
    throttle.Maximum = 100;
    GaugeSpec volts;
    volts.Parameter = "Battery volts";
    volts.Kind = GaugeKind::Digital;
    volts.Decimals = 1;
    volts.Warning = {true, 12, ThresholdSide::Below};
    volts.Danger = {true, 11, ThresholdSide::Below};
    GaugeSpec speed;
    speed.Parameter = "Speed";
    speed.Kind = GaugeKind::Digital;
    layout.Gauges = {pressure, rpm, coolant, throttle, volts, speed};
    return layout;
}

uint64_t faceDraws(const TDialDialog& d) {
    uint64_t n = 0;
    for (size_t i = 0; i < d.gaugeCount(); ++i)
        if (d.dial(i)) n += d.dial(i)->FaceDraws();
    return n;
}

void measureWindow(const char* name, const DashboardLayout& layout) {
    TDialDialog d(nullptr, nullptr, nullptr, layout);
    d.adjustSize();
    TParameterArray t = table();
    setTick(t, 0);
    d.showValues(t);
    const uint64_t faces = faceDraws(d);
    const int ticks = 20000;
    const double tick = microsecondsEach(ticks, [&](int i) {
        setTick(t, i + 1);
        d.showValues(t);
    });
    // What the window's paint costs when all of it must be painted (a needle
    // move repaints only where the needle was and is).
    QImage canvas(d.size(), QImage::Format_RGB32);
    const double paint = microsecondsEach(200, [&](int) { d.render(&canvas); });
    std::printf("%-28s %zu gauges: one tick %6.1f us (%4.1f us a gauge)%s   whole window painted %7.1f us\n",
                name, d.gaugeCount(), tick, tick / double(d.gaugeCount()),
                faceDraws(d) == faces ? "" : " FACE REDRAWN", paint);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TDialDialog dials(nullptr, nullptr);
    TA3nalogGauge& g = *dials.dial(0);
    std::printf("305 x 305 gauge, boost dial settings\n");
    measure(g, TAntialiased::aaNone, "aaNone");
    measure(g, TAntialiased::aaQuadral, "aaQuadral");
    // What a whole anti-aliased redraw copies and reduces (a needle movement
    // does so only where the old and the new needle lie).
    QImage work = g.WorkBitmap().copy(), output(305, 305, QImage::Format_RGB32);
    const double copy = microsecondsEach(
        500, [&](int) { std::memcpy(work.bits(), g.FaceBitmap().constBits(), size_t(work.sizeInBytes())); });
    const double reduce = microsecondsEach(500, [&](int) { ReduceBlocks(work, 4, output); });
    std::printf("aaQuadral  whole face copy %.1f us, whole 4 x 4 reduction %.1f us\n", copy, reduce);

    std::printf("\nThe dials window, one tick (values swept, thresholds crossed now and then)\n");
    {
        // As the two dials were fed before the layout: each needle set directly.
        TDialDialog d(nullptr, nullptr);
        TParameterArray t = table();
        const double tick = microsecondsEach(20000, [&](int i) {
            setTick(t, i + 1);
            d.dial(0)->setPosition(float(t[0].Value * 100.0));
            d.dial(1)->setPosition(float(t[1].Value));
        });
        std::printf("%-28s 2 gauges: one tick %6.1f us (%4.1f us a gauge)\n", "two needles set directly",
                    tick, tick / 2);
    }
    measureWindow("default layout (two dials)", DefaultDashboard());
    measureWindow("grid of six (4 dials, 2 digital)", sixGauges());
    return 0;
}
