// quillmar-cli's user channels and histogram as a user runs them, on logs
// of hand-picked bytes whose every value is worked out here.

#include "CliTestSupport.h"

#include "store/dataset/ALDLLog.h"

#include <QColor>
#include <QImage>

namespace quillmar {
namespace {

using namespace clitest;

// The bytes of one row, in the built-in table's places.
struct Bytes {
    uint8_t engineSpeed = 0; // data byte 11, x 25 rpm
    uint8_t map = 0;         // data byte 24, x 0.00781 + 0.08 bar
    int16_t spark = 0;       // data bytes 15-16, signed, x 45/128 degrees
    uint8_t flags30 = 0;     // data byte 30; bit 7 "At idle"
};

class CliAnalysisTest : public CliTest {
protected:
    std::string writeLog(const std::string& name, const std::vector<Bytes>& rows) {
        TALDLLog log(std::make_shared<TParameterArray>(BuiltInParameters()));
        log.Make2D(LogColumns, static_cast<uint32_t>(rows.size()), 1);
        for (uint32_t r = 1; r <= rows.size(); ++r) {
            const Bytes& b = rows[r - 1];
            std::vector<uint8_t> data(ReplyLength, 0);
            data[11 - 1] = b.engineSpeed;
            data[24 - 1] = b.map;
            data[15 - 1] = static_cast<uint8_t>(static_cast<uint16_t>(b.spark) >> 8);
            data[16 - 1] = static_cast<uint8_t>(static_cast<uint16_t>(b.spark) & 0xFF);
            data[30 - 1] = b.flags30;
            log.WriteRow(r, data.data(), 0.2 * (r - 1));
        }
        const std::string path = (dir / name).string();
        log.SaveToFile(path);
        return path;
    }
    std::string writeText(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }
    // The rows of a calibration drive: (engine speed byte, MAP byte, spark).
    //   1000 rpm, 0.50174 bar, 22.5°
    //   1500 rpm (halfway between 1000 and 2000: the lower), 0.50174 bar, 45°
    //   2000 rpm, 1.00158 bar, 11.25°
    //   3000 rpm, 1.50142 bar, -5.625° and 0°
    //   5000 rpm: beyond the x axis
    std::string calibrationDrive() {
        return writeLog(
            "drive.ecu",
            {{40, 54, 64}, {60, 54, 128}, {80, 118, 32}, {120, 182, -16}, {120, 182, 0}, {200, 118, 0}});
    }
    std::vector<std::string> histogram(const std::string& file, const std::string& out,
                                       std::vector<std::string> more = {}) {
        std::vector<std::string> args{"histogram", file,
                                      "--x",       "Engine speed",
                                      "--y",       "Manifold press (abs).",
                                      "--z",       "Spark advance",
                                      "--x-axis",  "1000:3000:1000",
                                      "--y-axis",  "0.5,1,1.5",
                                      "--out",     (dir / out).string()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(CliAnalysisTest, TableAppendsTheChannelsAndLeavesEveryOtherCellAsItWas) {
    const std::string log = writeLog("run.ecu", {{40, 100, 0, 0x80}, {0, 100, 0, 0}, {80, 50, 0, 0x80}});
    const CliRun plain = run({"table", log});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const CliRun with =
        run({"table", log, "--channel", "Load [kPa]=[Engine speed] * [Manifold press (abs).]", "--channel",
             "Per rpm=1 / [Engine speed]", "--channel", "Idle load=[Flags 30/At idle] ? [Load] : 0"});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.err, "");
    const auto before = split(plain.out, "\r\n"), after = split(with.out, "\r\n");
    ASSERT_EQ(before.size(), 6u); // names, units, three rows, and the end
    ASSERT_EQ(after.size(), before.size());
    const std::vector<std::string> added = {
        "Load\tPer rpm\tIdle load\t",
        "kPa\t\t\t",
        FormatGeneral(1000 * (100 * 0.00781 + 0.08)) + "\t0.001\t" +
            FormatGeneral(1000 * (100 * 0.00781 + 0.08)) + "\t",
        "0\t\t0\t", // 1 / 0 has no value
        FormatGeneral(2000 * (50 * 0.00781 + 0.08)) + "\t0.0005\t" +
            FormatGeneral(2000 * (50 * 0.00781 + 0.08)) + "\t",
    };
    for (size_t i = 0; i < added.size(); ++i)
        EXPECT_EQ(after[i], before[i] + added[i]) << "line " << i;
    EXPECT_EQ(added[2].substr(0, 4), "861\t");

    // The same channels from a file, in its order, and export writes them too.
    const std::string channels =
        writeText("tuning.channels", "# load, and its share at idle\r\nLoad [kPa]=[Engine speed] * [Manifold "
                                     "press (abs).]\r\n\r\nPer rpm=1 / [Engine speed]\r\n");
    const CliRun fromFile =
        run({"table", log, "--channels", channels, "--channel", "Idle load=[Flags 30/At idle] ? [Load] : 0"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out, with.out);
    const CliRun tsv = run({"export", log, "--out", (dir / "run.tsv").string(), "--channels", channels,
                            "--channel", "Idle load=[Flags 30/At idle] ? [Load] : 0"});
    ASSERT_EQ(tsv.status, 0) << tsv.err;
    EXPECT_EQ(readText(dir / "run.tsv"), with.out);
    const CliRun csv =
        run({"export", log, "--out", (dir / "run.csv").string(), "--channel", "Per rpm=1/[Engine speed]"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const auto csvLines = split(readText(dir / "run.csv"), "\r\n");
    EXPECT_TRUE(csvLines[0].ends_with(",Per rpm")) << csvLines[0];
    EXPECT_TRUE(csvLines[1].ends_with(",0.001")) << csvLines[1];
    EXPECT_TRUE(csvLines[2].ends_with(",")) << csvLines[2];
}

TEST_F(CliAnalysisTest, ABadChannelEndsTheCommandWithItsMessage) {
    const std::string log = writeLog("run.ecu", {{40, 100}});
    const std::string file = writeText("bad.channels", "Load=[Engine speed] * 2\nLoad2=[Load] *\n");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"table", log, "--channel", "Load=[Engine sped] * 2"},
         "quillmar-cli table: channel \"Load\": no parameter, flag bit or channel is named [Engine sped]\n"},
        {{"table", log, "--channel", "Engine speed=1"},
         "quillmar-cli table: channel \"Engine speed\": a parameter has that name\n"},
        {{"table", log, "--channel", "Load"},
         "quillmar-cli table: channel \"Load\": no '=' between the name and the expression\n"},
        {{"export", log, "--out", (dir / "x.csv").string(), "--channels", file},
         "quillmar-cli export: " + file +
             ", line 2, channel \"Load2\": the expression ends where a value should "
             "follow\n"},
        {{"plot", log, "--x", "Time", "--y", "Speed", "--out", (dir / "x.png").string(), "--channel", "A=(1"},
         "quillmar-cli plot: channel \"A\": a \"(\" is not closed\n"},
        {{"table", log, "--channels", (dir / "none.channels").string()},
         "quillmar-cli table: Cannot open file " + (dir / "none.channels").string() + "\n"},
        {{"watch", "--test-mode", "--channel", "Idle=[Flags 30/Idle]"},
         "quillmar-cli watch: channel \"Idle\": Flags 30 has no bit named \"Idle\" ([Flags 30/Idle])\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(dir / "x.csv"));
}

TEST_F(CliAnalysisTest, HistogramWritesTheMeanOfEachCell) {
    const std::string drive = calibrationDrive();
    const CliRun r = run(histogram(drive, "spark.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + (dir / "spark.csv").string() +
                         ": 3 x 3 cells, 3 with a value, from 5 of 6 rows of 1 file\n");
    EXPECT_EQ(readText(dir / "spark.csv"),
              "Spark advance (mean) by Manifold press (abs). / Engine speed,1000,2000,3000\r\n"
              "0.5,33.75,,\r\n"
              "1,,11.25,\r\n"
              "1.5,,,-2.8125\r\n");

    // At least two rows a cell.
    ASSERT_EQ(run(histogram(drive, "two.csv", {"--min-count", "2"})).status, 0);
    EXPECT_EQ(readText(dir / "two.csv"),
              "Spark advance (mean) by Manifold press (abs). / Engine speed,1000,2000,3000\r\n"
              "0.5,33.75,,\r\n"
              "1,,,\r\n"
              "1.5,,,-2.8125\r\n");

    // Two files pool their rows; the count of each cell.
    const std::string more = writeLog("more.ecu", {{40, 54, 0}});
    std::vector<std::string> pooled = histogram(drive, "count.csv", {"--stat", "count"});
    pooled.insert(pooled.begin() + 2, more);
    const CliRun counted = run(pooled);
    ASSERT_EQ(counted.status, 0) << counted.err;
    EXPECT_NE(counted.out.find("from 6 of 7 rows of 2 files"), std::string::npos) << counted.out;
    EXPECT_EQ(readText(dir / "count.csv"),
              "Spark advance (count) by Manifold press (abs). / Engine speed,1000,2000,3000\r\n"
              "0.5,3,,\r\n"
              "1,,1,\r\n"
              "1.5,,,2\r\n");

    // A user channel as z, and a flag bit as y.
    const CliRun channel =
        run({"histogram", drive, "--x", "Engine speed", "--y", "Flags 30/At idle", "--z", "Retard",
             "--x-axis", "1000,2000", "--y-axis", "0:1:1", "--stat", "max", "--channel",
             "Retard [deg]=-[Spark advance]", "--out", (dir / "retard.csv").string()});
    ASSERT_EQ(channel.status, 0) << channel.err;
    EXPECT_EQ(readText(dir / "retard.csv"), "Retard (max) by Flags 30/At idle / Engine speed,1000,2000\r\n"
                                            "0,-22.5,-11.25\r\n"
                                            "1,,\r\n");
}

TEST_F(CliAnalysisTest, HistogramDrawsTheGridInColour) {
    const std::string drive = calibrationDrive();
    const CliRun png = run(histogram(drive, "spark.png", {"--size", "480x300"}));
    ASSERT_EQ(png.status, 0) << png.err;
    const QImage image(QString::fromStdString((dir / "spark.png").string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(480, 300));
    // The largest mean fills its cell with the top of the colour map, the
    // smallest with its bottom; empty cells stay white.
    size_t top = 0, bottom = 0, white = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) & 0xFFFFFF;
            top += c == 0xfde725;
            bottom += c == 0x440154;
            white += c == 0xFFFFFF;
        }
    EXPECT_GT(top, 1000u);
    EXPECT_GT(bottom, 1000u);
    EXPECT_GT(white, 480u * 300u / 3);

    const CliRun svg = run(histogram(drive, "spark.svg"));
    ASSERT_EQ(svg.status, 0) << svg.err;
    const std::string drawing = readText(dir / "spark.svg");
    EXPECT_NE(drawing.find("<svg"), std::string::npos);
    EXPECT_NE(drawing.find(">33.8<"), std::string::npos); // the text stays text
    ASSERT_EQ(run(histogram(drive, "spark.pdf")).status, 0);
    EXPECT_EQ(readText(dir / "spark.pdf").substr(0, 5), "%PDF-");
}

TEST_F(CliAnalysisTest, HistogramRefusesWhatItCannotUse) {
    const std::string drive = calibrationDrive();
    struct Case {
        std::vector<std::string> more;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"--y-axis", "1.5,1,0.5"},
         "quillmar-cli histogram: --y-axis: the breakpoints must ascend: 1 follows 1.5\n"},
        {{"--x-axis", "0:6000:0"}, "quillmar-cli histogram: --x-axis: STEP must be above 0\n"},
        {{"--stat", "median"}, "quillmar-cli histogram: --stat must be mean, min, max or count\n"},
        {{"--min-count", "0"},
         "quillmar-cli histogram: --min-count must be a whole number, 1 to 4294967295\n"},
    };
    for (const Case& c : cases) {
        const CliRun r = run(histogram(drive, "x.csv", c.more));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.says + "Try 'quillmar-cli histogram --help'.\n");
    }
    const CliRun unknown =
        run({"histogram", drive, "--x", "Engine speed", "--y", "Boost", "--z", "Sparks", "--x-axis", "0:1:1",
             "--y-axis", "0:1:1", "--out", (dir / "x.csv").string(), "--channel", "Load=[Boost] * 2"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("quillmar-cli histogram: nothing is named 'Sparks' (--z); the names are:\n"
                                "  Prom id\n  Faults\n  Faults/VSS\n",
                                0),
              0u)
        << unknown.err;
    EXPECT_TRUE(unknown.err.ends_with("\n  Load\n")) << unknown.err;
    EXPECT_FALSE(fs::exists(dir / "x.csv"));
}

TEST_F(CliAnalysisTest, PlotDrawsAChannelOnEitherAxis) {
    const std::string drive = calibrationDrive();
    const CliRun y = run({"plot", drive, "--x", "Time", "--y", "Per rpm", "--channel",
                          "Per rpm=1 / ([Engine speed] - 1500)", "--out", (dir / "y.png").string()});
    ASSERT_EQ(y.status, 0) << y.err;
    EXPECT_EQ(y.out, "Wrote " + (dir / "y.png").string() + ": 1 curve of 1 file, 1024x768\n");
    const CliRun x =
        run({"plot", drive, "--x", "Load", "--y", "Spark advance", "--channel",
             "Load=[Engine speed] * [Manifold press (abs).]", "--out", (dir / "x.svg").string()});
    ASSERT_EQ(x.status, 0) << x.err;
    EXPECT_NE(readText(dir / "x.svg").find(">Load<"), std::string::npos);
    const CliRun listed = run({"plot", drive, "--x", "Time", "--y", "Nope", "--channel", "Load=1", "--out",
                               (dir / "z.png").string()});
    EXPECT_EQ(listed.status, 2);
    EXPECT_TRUE(listed.err.ends_with("\n  Load\n")) << listed.err;
}

TEST_F(CliAnalysisTest, WatchShowsTheChannelsOfTheLiveValues) {
    const CliRun r =
        shell("timeout --preserve-status -s INT 3 \"$CLI\" watch --test-mode --update 100 --channel "
              "'Load [kPa]=[Engine speed] * [Manifold press (abs).]' --channel 'Idle=[Flags 30/At idle]' "
              "--channel 'Nothing=0 / 0'");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t load = r.out.find("\nLoad: ");
    ASSERT_NE(load, std::string::npos) << r.out;
    const size_t end = r.out.find('\n', load + 1);
    EXPECT_TRUE(r.out.substr(load, end - load).ends_with(" kPa")) << r.out.substr(load, end - load);
    EXPECT_TRUE(r.out.substr(end, 10) == "\nIdle: 0\nN" || r.out.substr(end, 10) == "\nIdle: 1\nN");
    EXPECT_NE(r.out.find("\nNothing: no value\n\n"), std::string::npos);
    // After the last parameter of the table.
    EXPECT_LT(r.out.find("Flags 63: "), load);
}

} // namespace
} // namespace quillmar
