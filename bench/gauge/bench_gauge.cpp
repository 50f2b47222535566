// The cost of one needle movement and of one face redraw on a 305 x 305
// gauge set up as the boost dial, without and with 4x anti-aliasing.

#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DialDialog.h"

#include <QApplication>

#include <chrono>
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TDialDialog dials(nullptr, nullptr);
    TA3nalogGauge& g = *dials.dlgBoostDial;
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
    return 0;
}
