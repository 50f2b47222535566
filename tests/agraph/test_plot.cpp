// quillmar-cli plot as a user runs it on a box without a display: every
// picture type, the size, the names it refuses and the files that are no
// logs.

#include "tests/agraph/AgraphTestSupport.h"
#include "tests/agraph/RunCli.h"

#include <QImage>

#include <gtest/gtest.h>

namespace quillmar {
namespace {

using namespace agraphtest;
namespace fs = std::filesystem;

class Plot : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmar-plot-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        a = file("a.ecu");
        b = file("b.ecu");
        writeLogFile(a, run(80, 0));
        writeLogFile(b, run(120, 1));
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }
    CliResult plot(std::vector<std::string> args) {
        args.insert(args.begin(), "plot");
        return runCli(QUILLMAR_CLI, args, dir);
    }
    // Pixels of exactly this colour.
    static long count(const QImage& image, QRgb colour) {
        long n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        return n;
    }

    fs::path dir;
    std::string a, b;
};

TEST_F(Plot, WritesEachPictureTypeWithoutADisplay) {
    const CliResult png = plot({a, b, "--x", "Time", "--y", "Engine speed", "--y2", "Flags 30/At idle",
                                "--out", file("runs.png"), "--title", "Two runs"});
    ASSERT_EQ(png.Status, 0) << png.Err;
    EXPECT_NE(png.Out.find("runs.png"), std::string::npos) << png.Out;
    const QImage picture(QString::fromStdString(file("runs.png")));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(1024, 768));
    // The first file in blue, the second in black.
    EXPECT_GT(count(picture, qRgb(0, 0, 255)), 200);
    EXPECT_GT(count(picture, qRgb(0, 0, 0)), 2000);

    const CliResult bmp =
        plot({a, "--x", "Engine speed", "--y", "Throttle", "--out", file("one.BMP"), "--size", "640x480"});
    ASSERT_EQ(bmp.Status, 0) << bmp.Err;
    const QImage small(QString::fromStdString(file("one.BMP")), "BMP");
    EXPECT_EQ(small.size(), QSize(640, 480));

    const CliResult svg = plot(
        {a, b, "--x", "Time", "--y", "Speed", "--out", file("runs.svg"), "--title", "Tuesday & Saturday"});
    ASSERT_EQ(svg.Status, 0) << svg.Err;
    const std::string text = readFile(file("runs.svg"));
    EXPECT_NE(text.find("<svg"), std::string::npos);
    // The captions are text, not outlines (the title with its ampersand escaped).
    EXPECT_NE(text.find(">Tuesday &amp; Saturday<"), std::string::npos);
    EXPECT_NE(text.find(">Speed (mph)<"), std::string::npos);
    EXPECT_NE(text.find(">Time (s)<"), std::string::npos);

    const CliResult pdf = plot({b, "--x", "Distance", "--y", "Throttle", "--out", file("runs.pdf")});
    ASSERT_EQ(pdf.Status, 0) << pdf.Err;
    EXPECT_EQ(readFile(file("runs.pdf")).rfind("%PDF-", 0), 0u);
}

TEST_F(Plot, AnUnknownNameListsTheNamesThatExist) {
    const CliResult r = plot({a, "--x", "Time", "--y", "Flags 30/Asleep", "--out", file("x.png")});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("'Flags 30/Asleep'"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("\n  Engine speed\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("\n  Flags 30/At idle\n"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(file("x.png")));

    // A bit is never x; the x names hold no bits.
    const CliResult x = plot({a, "--x", "Flags 30/At idle", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(x.Status, 2);
    EXPECT_NE(x.Err.find("\n  Time\n"), std::string::npos) << x.Err;
    EXPECT_EQ(x.Err.find("At idle\n"), std::string::npos) << x.Err;
    EXPECT_FALSE(fs::exists(file("x.png")));
}

TEST_F(Plot, AFileThatIsNoLogAndOtherBadInputsWriteNothing) {
    { std::ofstream(file("notes.ecu")) << "not a log at all, just some words"; }
    const CliResult r =
        plot({a, file("notes.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("notes.ecu"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(file("x.png")));

    const CliResult missing =
        plot({file("gone.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(missing.Status, 2);
    EXPECT_NE(missing.Err.find("gone.ecu"), std::string::npos) << missing.Err;

    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", file("x.gif")}).Status, 2);
    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", file("x.png"), "--size", "20x20"}).Status,
              2);
    EXPECT_EQ(plot({a, "--x", "Time", "--out", file("x.png")}).Status, 2);
    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", "/dev/null.png/"}).Status, 2);
    EXPECT_FALSE(fs::exists(file("x.png")));

    // A file without rows has nothing to show.
    TALDLLog empty(builtInTable());
    empty.SaveToFile(file("empty.ecu"));
    const CliResult none =
        plot({file("empty.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(none.Status, 2) << none.Err;
    EXPECT_FALSE(fs::exists(file("x.png")));
}

} // namespace
} // namespace quillmar
