// The acquisition graph's speed: rebuilding every curve (SetupCurve) for 4
// datasets of 1,000,000 rows with two curves each, and one cursor step on a
// 1,000,000-point curve (the crosshair follows the curve, the acquisition
// window's tree is written for the point, and both repaint).
//
//   bench_agraph [rows] [picture prefix]
//
// With a prefix, the window after the rebuild is saved as PREFIX-window.png.

#include "acquisition/params/Parameters.h"
#include "acquisition/window/CommsForm.h"
#include "graph/acquisition/window/ALDLGraph.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quillmar;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A drive of rows rows, 0.1 s apart: engine speed, throttle and road speed
// wander, each dataset a little differently.
void fill(TALDLLog& log, uint32_t rows, uint32_t seed) {
    log.SetRows(rows);
    uint8_t data[ReplyLength] = {};
    for (uint32_t r = 1; r <= rows; ++r) {
        const double t = (r - 1) * 0.1;
        data[11 - 1] = static_cast<uint8_t>(100 + 60 * std::sin(t * 0.05 + seed) + 20 * std::sin(t * 0.7));
        data[10 - 1] = static_cast<uint8_t>(128 + 100 * std::sin(t * 0.11 + 2 * seed));
        data[17 - 1] = static_cast<uint8_t>(45 + 40 * std::sin(t * 0.03 + seed));
        data[30 - 1] = static_cast<uint8_t>(r % 7 == 0 ? 0x81 : 0x01);
        log.WriteRow(r, data, t);
    }
    log.DeriveChannels();
}

// The acquisition window and the graph side by side in one frame, as the
// program shows them.
struct Windows {
    TLogCollection datasets;
    QWidget frame;
    TCommsForm* form = nullptr;
    TALDLGraph* graph = nullptr;

    Windows() {
        auto* layout = new QHBoxLayout(&frame);
        form = new TCommsForm(datasets, &frame);
        AcquisitionSetup setup;
        setup.Table = BuiltInParameters();
        setup.IniPath = "/nonexistent/quillmar-bench.ini";
        if (!form->FormCreate(setup)) std::exit(1);
        graph = new TALDLGraph(&frame);
        PrepareAcquisitionAxes(graph->Axes());
        graph->attach(&form->acquisition(), nullptr);
        layout->addWidget(form);
        layout->addWidget(graph, 1);
        frame.resize(1440, 800);
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame)) std::exit(1);
    }
    void choose(QComboBox* combo, const char* text) {
        combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const uint32_t rows = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
    const std::string prefix = argc > 2 ? argv[2] : "";

    // ---- SetupCurve: 4 datasets, two curves each --------------------------------
    {
        Windows w;
        auto start = Clock::now();
        for (uint32_t d = 0; d < 4; ++d)
            fill(w.datasets.NewDataset(w.form->acquisition().sharedParameters()), rows, d);
        std::printf("4 datasets x %u rows made and derived in %.0f ms\n", rows, msSince(start));
        w.datasets.selectDataset(3);
        w.choose(w.form->dlgCurve1, "Engine speed");
        w.choose(w.form->dlgCurve2, "Throttle");

        std::vector<double> times;
        for (int run = 0; run < 3; ++run) {
            start = Clock::now();
            w.graph->SetupCurve();
            times.push_back(msSince(start));
        }
        std::printf(
            "SetupCurve, x Time, 8 curves of %u points: %.0f ms (runs: %.0f %.0f %.0f; target < 1000)\n",
            rows, *std::min_element(times.begin(), times.end()), times[0], times[1], times[2]);
        if (!prefix.empty()) w.graph->grab().save(QString::fromStdString(prefix + "-window.png"));

        w.form->dlgTimeShift->setValue(0);
        start = Clock::now();
        w.form->dlgTimeShift->setValue(250);
        std::printf("Time shift of the current dataset (2 curves) with the redraw: %.0f ms\n",
                    msSince(start));

        w.choose(w.form->dlgxAxis, "Engine speed");
        start = Clock::now();
        w.graph->SetupCurve();
        std::printf("SetupCurve, x Engine speed (8 series sorted): %.0f ms\n", msSince(start));
    }

    // ---- one cursor step on a curve of rows points ---------------------------------
    {
        Windows w;
        fill(w.datasets.NewDataset(w.form->acquisition().sharedParameters()), rows, 0);
        w.choose(w.form->dlgCurve1, "Engine speed");
        w.graph->SetupCurve();
        w.frame.repaint(); // the rebuild's own repaint is not part of a step
        const TAxis& x = w.graph->Axes().Axis(0);
        const int left = x.Info.AxisStart.Pixel, right = x.Info.AxisEnd.Pixel;
        const int y = w.graph->contentsRect().height() / 2;
        std::vector<double> steps;
        // The cursor is a state of the graph: the mouse moves it on.
        w.graph->ActivateCursorActionExecute();
        const int n = 200;
        for (int k = 0; k < n; ++k) {
            const int px = left + static_cast<int>((right - left) * ((k * 37) % n) / double(n));
            QMouseEvent move(QEvent::MouseMove, QPointF(px, y), w.graph->mapToGlobal(QPointF(px, y)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            const auto start = Clock::now();
            QCoreApplication::sendEvent(w.graph, &move);
            // The repaint is part of the step.
            QCoreApplication::sendPostedEvents(&w.frame, QEvent::UpdateRequest);
            steps.push_back(msSince(start));
        }
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(left, y), w.graph->mapToGlobal(QPointF(left, y)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(left, y),
                            w.graph->mapToGlobal(QPointF(left, y)), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(w.graph, &press);
        QCoreApplication::sendEvent(w.graph, &release);
        if (!w.graph->Idle()) std::printf("The cursor did not end with the click\n");
        std::sort(steps.begin(), steps.end());
        if (!steps.empty())
            std::printf(
                "Cursor step on %u points (follow, tree, repaint): median %.2f ms, worst %.2f ms of %zu "
                "(target < 16)\n",
                rows, steps[steps.size() / 2], steps.back(), steps.size());
        std::printf("Tree shows point %s\n", qPrintable(w.form->dlgPointNo->text()));
    }
    return 0;
}
