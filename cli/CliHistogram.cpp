#include "cli/CliHistogram.h"

#include "acquisition/params/Parameters.h"
#include "app/sheet/GridExport.h"
#include "cli/CliChannels.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliReading.h"
#include "graph/draw/GridPicture.h"
#include "store/analysis/TableGenerator.h"
#include "store/base/AtomicFile.h"
#include "store/dataset/ALDLLog.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <span>

namespace quillmar {

const char* const HistogramHelp =
    "Usage: quillmar-cli histogram FILE.ecu [FILE.ecu ...] --x NAME --y NAME --z NAME\n"
    "                              --x-axis AXIS --y-axis AXIS --out FILE [OPTIONS]\n"
    "Spreads the values of --z over a grid of --x and --y breakpoints, as a\n"
    "calibration table is read: every row goes to the cell of its nearest\n"
    "breakpoint on each axis (a row halfway between two goes to the lower one;\n"
    "rows more than half a step beyond the first or last breakpoint are left\n"
    "out), and each cell gets the statistic of its rows. The files pool their\n"
    "rows; rows without a value of x, y or z are left out. The output follows\n"
    "the extension of --out:\n"
    "  .csv        the heading \"Z (STAT) by Y / X\" and the x breakpoints on the\n"
    "              first line, then a line per y breakpoint, ascending: the\n"
    "              breakpoint, then its cells (empty without a value)\n"
    "  .png, .bmp  the grid coloured by value, the first y breakpoint at the top\n"
    "  .svg, .pdf  the same as a drawing whose text stays text\n"
    "An existing file is replaced only once the new one is complete.\n"
    "\n"
    "  --x NAME         the columns' parameter: a name of the parameter table, a\n"
    "                   flag bit (\"Flags 30/At idle\") or a user channel\n"
    "  --y NAME         the rows' parameter, named the same way\n"
    "  --z NAME         the parameter whose values fill the cells\n"
    "  --x-axis AXIS    the x breakpoints: LO:HI:STEP (HI included when it falls\n"
    "                   on the grid), or a list in ascending order: 500,1000,2000\n"
    "  --y-axis AXIS    the y breakpoints, the same way\n"
    "  --stat STAT      mean, min, max or count (default mean)\n"
    "  --min-count N    a cell with fewer rows stays empty (default 1)\n"
    "  --out FILE       the file to write (.csv, .png, .bmp, .svg or .pdf)\n"
    "  --size WxH       a picture's size in pixels (default: room for every cell;\n"
    "                   160x120 to 8192x8192)\n"
    "  --ini FILE       the protocol file (default: the user's config folder)\n";

namespace {

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

bool isCsv(const std::string& fileName) {
    return QFileInfo(QString::fromStdString(fileName)).suffix().toLower() == "csv";
}

std::string axisLabel(const std::string& name, const std::string& unit) {
    return unit.empty() ? name : name + " (" + unit + ")";
}

} // namespace

int CmdHistogram(const std::vector<std::string>& args) {
    const std::string command = "histogram";
    const ParsedOptions o = ParseOptions(args, WithChannelOptions({{"x", true},
                                                                   {"y", true},
                                                                   {"z", true},
                                                                   {"x-axis", true},
                                                                   {"y-axis", true},
                                                                   {"stat", true},
                                                                   {"min-count", true},
                                                                   {"out", true},
                                                                   {"size", true},
                                                                   {"ini", true}}));
    if (!o.Error.empty()) return BadArguments(command, o.Error);
    if (o.has("help")) {
        std::fputs(HistogramHelp, stdout);
        std::fputs(ChannelOptionsHelp, stdout);
        return ExitOk;
    }
    if (o.Positional.empty()) return BadArguments(command, "give the log files to read");
    for (const char* option : {"x", "y", "z", "x-axis", "y-axis"})
        if (!o.has(option))
            return BadArguments(
                command, std::string("--") + option +
                             (std::string(option).find("axis") != std::string::npos ? " AXIS" : " NAME") +
                             " is required");
    const std::string outFile = o.value("out");
    if (outFile.empty()) return BadArguments(command, "--out FILE is required");
    const bool csv = isCsv(outFile);
    const std::optional<TPictureFormat> picture = PictureFormatOfFile(QString::fromStdString(outFile));
    if (!csv && !picture)
        return BadArguments(command, "cannot tell the type of '" + outFile +
                                         "': the name must end in .csv, .png, .bmp, .svg or .pdf");
    TableStatistic statistic = TableStatistic::Mean;
    if (o.has("stat")) {
        const auto named = TableStatisticNamed(o.value("stat"));
        if (!named) return BadArguments(command, "--stat must be mean, min, max or count");
        statistic = *named;
    }
    uint64_t minCount = 1;
    if (o.has("min-count")) {
        const auto n = ParseWholeNumber(o.value("min-count"), 1, 4294967295LL);
        if (!n) return BadArguments(command, "--min-count must be a whole number, 1 to 4294967295");
        minCount = static_cast<uint64_t>(*n);
    }
    std::optional<QSize> size;
    if (o.has("size")) {
        size = parseSize(o.value("size"));
        if (!size)
            return BadArguments(command, "--size must be WIDTHxHEIGHT in pixels, from " +
                                             std::to_string(MinimumWidth) + "x" +
                                             std::to_string(MinimumHeight) + " to " +
                                             std::to_string(MaximumSide) + "x" + std::to_string(MaximumSide));
    }
    std::optional<GridAxis> xAxis, yAxis;
    for (const char* option : {"x-axis", "y-axis"}) {
        try {
            (option == std::string("x-axis") ? xAxis : yAxis) = GridAxis::Parse(o.value(option));
        } catch (const ErrorException& e) {
            return BadArguments(command, std::string("--") + option + ": " + e.what());
        }
    }
    try {
        CheckSaveTarget(outFile);
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitBadInput;
    }

    // The names, against the table and the channels.
    std::shared_ptr<TParameterArray> params;
    if (auto bad = LoadTableForReading(o.value("ini"), params)) return *bad;
    std::unique_ptr<UserChannelSet> channels;
    if (auto bad = ReadUserChannels(command, o, *params, channels)) return *bad;
    const std::vector<std::string> channelNames =
        channels ? channels->List().Names() : std::vector<std::string>();
    const std::vector<std::string> channelUnits =
        channels ? channels->List().Units() : std::vector<std::string>();
    NamedValue values[3];
    const char* const axes[3] = {"x", "y", "z"};
    for (int k = 0; k < 3; ++k) {
        const auto found = FindNamedValue(*params, channelNames, o.value(axes[k]));
        if (!found) {
            ErrorLine("quillmar-cli histogram: nothing is named '" + o.value(axes[k]) + "' (--" + axes[k] +
                      "); the names are:");
            for (const std::string& name : ValueNames(*params, channelNames))
                ErrorLine("  " + name);
            return ExitBadInput;
        }
        values[k] = *found;
    }

    // The files, their rows pooled.
    TableGenerator generator(*xAxis, *yAxis, statistic, minCount);
    uint64_t rows = 0;
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
        generator.AddRows(*opened.Log, values[0], values[1], values[2]);
        rows += opened.Log->Rows;
    }
    const TableGrid grid = generator.Result();
    const std::string heading = TableHeading(o.value("z"), statistic, o.value("y"), o.value("x"));

    try {
        if (csv) {
            WriteTableGridCsvFile(outFile, grid, heading);
        } else {
            GridPictureText text;
            text.Heading = heading;
            text.XLabel = axisLabel(o.value("x"), UnitOf(*params, channelUnits, values[0]));
            text.YLabel = axisLabel(o.value("y"), UnitOf(*params, channelUnits, values[1]));
            const QSize pictureSize = size ? *size : GridPictureSize(grid, text);
            const QByteArray bytes = GridPictureBytes(grid, text, *picture, pictureSize);
            if (bytes.isEmpty()) {
                ErrorLine("quillmar-cli histogram: cannot make a picture of " +
                          std::to_string(pictureSize.width()) + "x" + std::to_string(pictureSize.height()) +
                          " pixels");
                return ExitFailure;
            }
            WriteFileAtomically(outFile, std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                   static_cast<std::size_t>(bytes.size())));
        }
    } catch (const std::exception& e) {
        ErrorLine("quillmar-cli " + command + ": " + e.what());
        return ExitFailure;
    }
    std::printf("Wrote %s: %zu x %zu cells, %zu with a value, from %llu of %llu rows of %zu %s\n",
                outFile.c_str(), grid.X.size(), grid.Y.size(), grid.CellsWithValue(),
                static_cast<unsigned long long>(grid.RowsBinned), static_cast<unsigned long long>(rows),
                o.Positional.size(), o.Positional.size() == 1 ? "file" : "files");
    std::fflush(stdout);
    return ExitOk;
}

} // namespace quillmar
