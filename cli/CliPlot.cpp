#include "cli/CliPlot.h"

#include "acquisition/params/Parameters.h"
#include "cli/CliChannels.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliReading.h"
#include "graph/acquisition/AcquisitionCurves.h"
#include "graph/draw/GraphPicture.h"
#include "store/base/AtomicFile.h"
#include "store/dataset/ALDLLog.h"
#include "store/dataset/LogCollection.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <span>

namespace quillmar {

const char* const PlotHelp =
    "Usage: quillmar-cli plot FILE.ecu [FILE.ecu ...] --x NAME --y NAME [--y2 NAME]\n"
    "                         --out FILE [--size WxH] [--title TEXT] [--ini FILE]\n"
    "                         [--channel LINE ...] [--channels FILE]\n"
    "Draws the log files as the desktop program's graph draws them for those\n"
    "choices: every file in its own colour (the first blue, then black,\n"
    "fuchsia, ...), --y as solid lines on the left axis, --y2 dotted on the\n"
    "right. The picture type follows the extension of --out:\n"
    "  .png, .bmp  a picture of WxH pixels\n"
    "  .svg, .pdf  a drawing of that size whose text stays text\n"
    "An existing file is replaced only once the new one is complete. No display\n"
    "is needed.\n"
    "\n"
    "  --x NAME         the x-axis parameter: \"Time\", \"Distance\" or any name of\n"
    "                   the parameter table (\"Engine speed\") or user channel\n"
    "  --y NAME         curve 1: a name of the table or of a user channel, or a\n"
    "                   flag entry and one of its bits joined by a slash\n"
    "                   (\"Flags 30/At idle\")\n"
    "  --y2 NAME        curve 2, named the same way (default: none)\n"
    "  --out FILE       the picture to write (.png, .bmp, .svg or .pdf)\n"
    "  --size WxH       its size in pixels (default 1024x768, 160x120 to 8192x8192)\n"
    "  --title TEXT     a title line above the graph\n"
    "  --ini FILE       the protocol file (default: the user's config folder)\n";

namespace {

// After the options.
const char* const PlotHelpEnd =
    "A name the table does not hold is refused (status 2) with the list of names.\n"
    "A user channel's rows without a value leave a gap in its curve.\n";

constexpr int DefaultWidth = 1024;
constexpr int DefaultHeight = 768;
constexpr int MinimumWidth = 160;
constexpr int MinimumHeight = 120;
constexpr int MaximumSide = 8192;

std::optional<QSize> parseSize(const std::string& text) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    const auto w = ParseWholeNumber(text.substr(0, x), MinimumWidth, MaximumSide);
    const auto h = ParseWholeNumber(text.substr(x + 1), MinimumHeight, MaximumSide);
    if (!w || !h) return std::nullopt;
    return QSize(static_cast<int>(*w), static_cast<int>(*h));
}

int unknownName(const std::string& option, const std::string& name, const std::vector<std::string>& names) {
    ErrorLine("quillmar-cli plot: no parameter is named '" + name + "' (" + option + "); the names are:");
    for (const std::string& n : names)
        ErrorLine("  " + n);
    return ExitBadInput;
}

} // namespace

std::unique_ptr<QCoreApplication> MakeCliApplication(int& argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "plot") == 0 || std::strcmp(argv[1], "histogram") == 0)) {
        // The drawing happens in memory: the offscreen platform needs no
        // display, whatever the environment names. Qt sees only the program
        // name, so it takes none of the command's words for its own options.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's own notes about the platform (no runtime folder and the like)
        // mean nothing to the user of a command; its errors still show.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
            std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
        });
        static int guiArgc = 1;
        static char* guiArgv[] = {argv[0], nullptr};
        return std::make_unique<QGuiApplication>(guiArgc, guiArgv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int CmdPlot(const std::vector<std::string>& args) {
    const std::string command = "plot";
    const ParsedOptions o = ParseOptions(args, {{"x", true},
                                                {"y", true},
                                                {"y2", true},
                                                {"out", true},
                                                {"size", true},
                                                {"title", true},
                                                {"ini", true},
                                                {"channel", true},
                                                {"channels", true}});
    if (!o.Error.empty()) return BadArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(PlotHelp, stdout);
        std::fputs(ChannelOptionsHelp, stdout);
        std::fputs(PlotHelpEnd, stdout);
        return ExitOk;
    }
    if (o.Positional.empty()) return BadArguments(command, "give the log files to plot");
    if (!o.has("x")) return BadArguments(command, "--x NAME is required");
    if (!o.has("y")) return BadArguments(command, "--y NAME is required");
    const std::string outFile = o.value("out");
    if (outFile.empty()) return BadArguments(command, "--out FILE is required");
    const std::optional<TPictureFormat> format = PictureFormatOfFile(QString::fromStdString(outFile));
    if (!format)
        return BadArguments(command, "cannot tell the picture type of '" + outFile +
                                         "': the name must end in .png, .bmp, .svg or .pdf");
    QSize size(DefaultWidth, DefaultHeight);
    if (o.has("size")) {
        const auto parsed = parseSize(o.value("size"));
        if (!parsed)
            return BadArguments(command, "--size must be WIDTHxHEIGHT in pixels, from " +
                                             std::to_string(MinimumWidth) + "x" +
                                             std::to_string(MinimumHeight) + " to " +
                                             std::to_string(MaximumSide) + "x" + std::to_string(MaximumSide));
        size = *parsed;
    }
    try {
        CheckSaveTarget(outFile);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }

    // The names, against the table the files are read with.
    std::shared_ptr<TParameterArray> params;
    if (auto bad = LoadTableForReading(o.value("ini"), params)) return *bad;
    std::unique_ptr<UserChannelSet> channels;
    if (auto bad = ReadUserChannels(command, o, *params, channels)) return *bad;
    // The channels' names follow the table's; the datasets read them after
    // the table's columns.
    const TParameterArray named = channels ? channels->TableWithChannels(*params) : *params;
    const TPlotLists lists(named);
    const TPlotTable table = lists.Table();
    TPlotSelection selection;
    const auto x = FindXAxisItem(named, o.value("x"));
    if (!x) return unknownName("--x", o.value("x"), XAxisNames(named));
    selection.XText = *x;
    const auto y = FindCurveItem(table, o.value("y"));
    if (!y || y->Text == NoCurveText) return unknownName("--y", o.value("y"), CurveNames(named));
    selection.Curve[1] = *y;
    if (o.has("y2")) {
        const auto y2 = FindCurveItem(table, o.value("y2"));
        if (!y2) {
            std::vector<std::string> names = CurveNames(named);
            names.insert(names.begin(), NoCurveText);
            return unknownName("--y2", o.value("y2"), names);
        }
        selection.Curve[2] = *y2;
    }

    // The files, opened as the desktop program opens them.
    std::vector<std::unique_ptr<TALDLLog>> logs;
    for (const std::string& file : o.Positional) {
        OpenedLog opened;
        try {
            opened = OpenLogFile(file, params);
        } catch (const std::exception& e) {
            ErrorLine("quillmar-cli " + command + ": " + e.what());
            return ExitBadInput;
        }
        for (const std::string& w : opened.Warnings)
            ErrorLine("Warning: " + w);
        if (channels) channels->Compute(*opened.Log);
        logs.push_back(std::move(opened.Log));
    }
    // A file without rows keeps its place (and its colour), as in the desktop
    // program; with no rows anywhere there is nothing to draw.
    if (std::none_of(logs.begin(), logs.end(), [](const auto& log) { return log->Rows > 0; })) {
        ErrorLine(std::string("quillmar-cli plot: nothing to plot: ") +
                  (logs.size() == 1 ? "the file holds no rows" : "none of the files holds rows"));
        return ExitBadInput;
    }

    TAxes axes;
    TCurves curves(axes);
    PrepareAcquisitionAxes(axes);
    axes.Title.Line1 = o.value("title");
    std::vector<const TALDLLog*> datasets;
    for (const auto& log : logs)
        datasets.push_back(log.get());
    AddAcquisitionCurves(curves, datasets, table, selection);
    if (!curves.SetupAxesInfo()) {
        ErrorLine("quillmar-cli plot: nothing to plot");
        return ExitBadInput;
    }

    const QString title =
        o.value("title").empty() ? QString("Graph") : QString::fromStdString(o.value("title"));
    const QByteArray bytes = GraphPictureBytes(axes, curves, *format, size, {}, title);
    if (bytes.isEmpty()) {
        ErrorLine("quillmar-cli plot: cannot make a picture of " + std::to_string(size.width()) + "x" +
                  std::to_string(size.height()) + " pixels");
        return ExitFailure;
    }
    try {
        WriteFileAtomically(outFile, std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                               static_cast<std::size_t>(bytes.size())));
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitFailure;
    }
    std::printf("Wrote %s: %d %s of %zu %s, %dx%d\n", outFile.c_str(), curves.Count(),
                curves.Count() == 1 ? "curve" : "curves", logs.size(), logs.size() == 1 ? "file" : "files",
                size.width(), size.height());
    std::fflush(stdout);
    return ExitOk;
}

} // namespace quillmar
