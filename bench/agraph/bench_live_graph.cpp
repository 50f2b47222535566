// Whether drawing the live graph slows the acquisition: the acquisition runs
// for a fixed time with the live graph off, then on (Follow on), with
// datasets open beside the recording, and the frames (rows recorded) per
// second of both runs are compared. Also printed: the longest gap between
// two rows, the live graph's redraws a second and what one redraw costs.
//
//   bench_live_graph [--sim] [seconds per run] [acquisition period ms] [rows per open dataset]
//
// Without --sim the acquisition runs in test mode (replies made up at once);
// with it, it talks to the simulated engine computer over a pseudo-terminal
// at 8192 baud (the error-log lines of each run tell of replies missed).
// Defaults: 10 s, 20 ms in test mode (five times the rate the serial link
// can carry) or 100 ms with --sim, three open datasets of 100,000 rows with
// two curves each. Target: the ratio of the frame rates (on / off) at least
// 0.99.

#include "acquisition/demo/SimulatedEcu.h"
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
#include <QPlainTextEdit>
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
    std::size_t ErrorLines = 0;
    std::vector<double> Draws; // ms
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
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool sim = !args.empty() && args[0] == "--sim";
    if (sim) args.erase(args.begin());
    const double seconds = args.size() > 0 ? std::atof(args[0].c_str()) : 10;
    const std::string period = args.size() > 1 ? args[1] : sim ? "100" : "20";
    const uint32_t rows =
        args.size() > 2 ? static_cast<uint32_t>(std::strtoul(args[2].c_str(), nullptr, 10)) : 100000;

    // The simulated engine computer at the link's own pace, its model on
    // the time that really passes.
    SimOptions options;
    options.Pace = true;
    options.StepSeconds = 0;
    SimulatedEcu engine(options);
    if (sim && !engine.Start()) {
        std::fprintf(stderr, "The simulator did not start: %s\n", engine.Error().c_str());
        return 1;
    }

    TLogCollection datasets;
    QWidget frame;
    auto* layout = new QHBoxLayout(&frame);
    auto* form = new TCommsForm(datasets, &frame);
    AcquisitionSetup setup;
    setup.Table = BuiltInParameters();
    setup.IniPath = "/nonexistent/quillmar-bench.ini";
    if (sim) setup.Port = engine.DevicePath();
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
    acquisition.setTestMode(!sim);
    acquisition.setJournalFolder("");
    if (acquisition.setAcquisitionPeriod(period) != PeriodEntry::Applied) return 2;
    for (uint32_t d = 0; d < 3; ++d)
        fill(datasets.NewDataset(acquisition.sharedParameters()), rows, d);
    form->dlgCurve1->setCurrentIndex(form->dlgCurve1->findText("Engine speed", Qt::MatchExactly));
    form->dlgCurve2->setCurrentIndex(form->dlgCurve2->findText("Throttle", Qt::MatchExactly));
    graph->SetupCurve();

    // Lines written to the acquisition window's error log.
    std::size_t errorLines = 0;
    QObject::connect(form->dlgErrorLog, &QPlainTextEdit::textChanged, [&] { ++errorLines; });

    auto record = [&](bool live) {
        graph->LiveGraphAction->setChecked(live);
        const int redrawsBefore = graph->LiveRedraws();
        Run run;
        QElapsedTimer clock;
        // Talking first, so that the run counts rows, not the link's start.
        if (!acquisition.startTalking()) std::exit(1);
        QTest::qWait(1000);
        const std::size_t linesBefore = errorLines;
        if (!acquisition.startLogging()) std::exit(1);
        clock.start();
        TALDLLog* log = acquisition.currentLog();
        QTest::qWait(static_cast<int>(seconds * 1000));
        run.Rows = acquisition.rowCounter();
        run.Seconds = clock.nsecsElapsed() / 1e9;
        run.Redraws = graph->LiveRedraws() - redrawsBefore;
        run.ErrorLines = errorLines - linesBefore;
        // A redraw of the graph as it stands, before logging stops: with the
        // live graph on, the recording's last seconds beside the others.
        for (int k = 0; k < 20; ++k) {
            const auto start = Clock::now();
            graph->DrawScreen();
            run.Draws.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(run.Draws.begin(), run.Draws.end());
        for (uint32_t r = 2; r <= static_cast<uint32_t>(run.Rows); ++r)
            run.LongestGapMs = std::max(run.LongestGapMs, (log->TimeStamp(r) - log->TimeStamp(r - 1)) * 1000);
        acquisition.stopTalking();
        return run;
    };

    std::printf("Acquisition %s, period %s ms, %.0f s a run; beside the recording 3 datasets of %u rows, 2 "
                "curves each\n",
                sim ? "against the simulator at 8192 baud" : "in test mode", period.c_str(), seconds, rows);
    const Run off = record(false);
    std::printf("Live graph off: %d rows in %.2f s = %.2f frames/s, longest gap between rows %.1f ms, %zu "
                "error-log lines\n",
                off.Rows, off.Seconds, off.Fps(), off.LongestGapMs, off.ErrorLines);
    const Run on = record(true);
    std::printf("Live graph on:  %d rows in %.2f s = %.2f frames/s, longest gap between rows %.1f ms, %zu "
                "error-log lines, %d redraws (%.1f a second)\n",
                on.Rows, on.Seconds, on.Fps(), on.LongestGapMs, on.ErrorLines, on.Redraws,
                on.Redraws / on.Seconds);

    std::printf("One redraw of the graph while logging: median %.2f ms, worst %.2f ms (live graph off: %.2f "
                "ms, the whole datasets in view)\n",
                on.Draws[on.Draws.size() / 2], on.Draws.back(), off.Draws[off.Draws.size() / 2]);
    const double ratio = off.Fps() > 0 ? on.Fps() / off.Fps() : 0;
    std::printf("Frame rate on / off: %.4f (target >= 0.99)%s\n", ratio,
                ratio >= 0.99 ? "" : "  BELOW TARGET");
    return 0;
}
