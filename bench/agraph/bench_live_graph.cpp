// Whether drawing the live graph slows the acquisition: the acquisition runs
// in test mode for a fixed time with the live graph off, then on (Follow
// on), with datasets open beside the recording, and the frames (rows
// recorded) per second of both runs are compared.
//
//   bench_live_graph [seconds per run] [acquisition period ms] [rows per open dataset]
//
// Defaults: 10 s, 20 ms (five times the rate the serial link can carry),
// three open datasets of 100,000 rows with two curves each. Target: the
// ratio of the frame rates (on / off) at least 0.99.

#include "acquisition/params/Parameters.h"
#include "acquisition/window/CommsForm.h"
#include "graph/acquisition/window/ALDLGraph.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QSettings>
#include <QTemporaryDir>
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

// A drive of rows rows, 0.1 s apart.
void fill(TALDLLog& log, uint32_t rows, uint32_t seed) {
    log.SetRows(rows);
    uint8_t data[ReplyLength] = {};
    for (uint32_t r = 1; r <= rows; ++r) {
        const double t = (r - 1) * 0.1;
        data[11 - 1] = static_cast<uint8_t>(100 + 60 * std::sin(t * 0.05 + seed) + 20 * std::sin(t * 0.7));
        data[10 - 1] = static_cast<uint8_t>(128 + 100 * std::sin(t * 0.11 + 2 * seed));
        data[17 - 1] = static_cast<uint8_t>(45 + 40 * std::sin(t * 0.03 + seed));
        log.WriteRow(r, data, t);
    }
    log.DeriveChannels();
}

struct Run {
    double Seconds = 0;
    int Rows = 0;
    int Redraws = 0;
    double LongestGapMs = 0; // between two rows' time stamps
    double Fps() const { return Seconds > 0 ? Rows / Seconds : 0; }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings of its own: the live graph's choice is written when toggled.
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const std::string period = argc > 2 ? argv[2] : "20";
    const uint32_t rows = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 100000;

    TLogCollection datasets;
    QWidget frame;
    auto* layout = new QHBoxLayout(&frame);
    auto* form = new TCommsForm(datasets, &frame);
    AcquisitionSetup setup;
    setup.Table = BuiltInParameters();
    setup.IniPath = "/nonexistent/quillmar-bench.ini";
    if (!form->FormCreate(setup)) return 1;
    auto* graph = new TALDLGraph(&frame);
    PrepareAcquisitionAxes(graph->Axes());
    graph->attach(&form->acquisition(), nullptr);
    layout->addWidget(form);
    layout->addWidget(graph, 1);
    frame.resize(1440, 800);
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame)) return 1;

    Acquisition& acquisition = form->acquisition();
    acquisition.setTestMode(true);
    acquisition.setJournalFolder("");
    if (acquisition.setAcquisitionPeriod(period) != PeriodEntry::Applied) return 2;
    for (uint32_t d = 0; d < 3; ++d)
        fill(datasets.NewDataset(acquisition.sharedParameters()), rows, d);
    form->dlgCurve1->setCurrentIndex(form->dlgCurve1->findText("Engine speed", Qt::MatchExactly));
    form->dlgCurve2->setCurrentIndex(form->dlgCurve2->findText("Throttle", Qt::MatchExactly));
    graph->SetupCurve();

    auto record = [&](bool live) {
        graph->LiveGraphAction->setChecked(live);
        const int redrawsBefore = graph->LiveRedraws();
        Run run;
        QElapsedTimer clock;
        if (!acquisition.startLogging()) std::exit(1);
        clock.start();
        TALDLLog* log = acquisition.currentLog();
        QTest::qWait(static_cast<int>(seconds * 1000));
        run.Rows = acquisition.rowCounter();
        run.Seconds = clock.nsecsElapsed() / 1e9;
        run.Redraws = graph->LiveRedraws() - redrawsBefore;
        for (uint32_t r = 2; r <= static_cast<uint32_t>(run.Rows); ++r)
            run.LongestGapMs = std::max(run.LongestGapMs, (log->TimeStamp(r) - log->TimeStamp(r - 1)) * 1000);
        acquisition.stopTalking();
        return run;
    };

    std::printf("Acquisition in test mode, period %s ms, %.0f s a run; beside the recording 3 datasets of %u "
                "rows, 2 curves each\n",
                period.c_str(), seconds, rows);
    const Run off = record(false);
    std::printf("Live graph off: %d rows in %.2f s = %.2f frames/s, longest gap between rows %.1f ms\n",
                off.Rows, off.Seconds, off.Fps(), off.LongestGapMs);
    const Run on = record(true);
    std::printf("Live graph on:  %d rows in %.2f s = %.2f frames/s, longest gap between rows %.1f ms, "
                "%d redraws (%.1f a second)\n",
                on.Rows, on.Seconds, on.Fps(), on.LongestGapMs, on.Redraws, on.Redraws / on.Seconds);

    // One redraw of the live graph as it stands: the recording's curves, the
    // three datasets beside it, Follow's window.
    std::vector<double> draws;
    for (int k = 0; k < 20; ++k) {
        const auto start = Clock::now();
        graph->DrawScreen();
        draws.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(draws.begin(), draws.end());
    std::printf("One redraw of the graph: median %.2f ms, worst %.2f ms\n", draws[draws.size() / 2],
                draws.back());
    const double ratio = off.Fps() > 0 ? on.Fps() / off.Fps() : 0;
    std::printf("Frame rate on / off: %.4f (target >= 0.99)%s\n", ratio,
                ratio >= 0.99 ? "" : "  BELOW TARGET");
    return 0;
}
