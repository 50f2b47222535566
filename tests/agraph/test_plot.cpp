// quillmar-cli plot as a user runs it on a box without a display: every
// picture type, the size, the names it refuses and the files that are no
// logs.

#include "tests/agraph/AgraphTestSupport.h"
#include "tests/cli/CliTestSupport.h"

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
    clitest::CliRun plot(std::vector<std::string> args) {
        args.insert(args.begin(), "plot");
        return clitest::Child(args, dir, {.headless = true}).wait();
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
    const clitest::CliRun png = plot({a, b, "--x", "Time", "--y", "Engine speed", "--y2", "Flags 30/At idle",
                                      "--out", file("runs.png"), "--title", "Two runs"});
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_NE(png.out.find("runs.png"), std::string::npos) << png.out;
    const QImage picture(QString::fromStdString(file("runs.png")));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(1024, 768));
    // The first file in blue, the second in black.
    EXPECT_GT(count(picture, qRgb(0, 0, 255)), 200);
    EXPECT_GT(count(picture, qRgb(0, 0, 0)), 2000);

    const clitest::CliRun bmp =
        plot({a, "--x", "Engine speed", "--y", "Throttle", "--out", file("one.BMP"), "--size", "640x480"});
    ASSERT_EQ(bmp.status, 0) << bmp.err;
    const QImage small(QString::fromStdString(file("one.BMP")), "BMP");
    EXPECT_EQ(small.size(), QSize(640, 480));

    const clitest::CliRun svg = plot(
        {a, b, "--x", "Time", "--y", "Speed", "--out", file("runs.svg"), "--title", "Tuesday & Saturday"});
    ASSERT_EQ(svg.status, 0) << svg.err;
    const std::string text = clitest::readText(file("runs.svg"));
    EXPECT_NE(text.find("<svg"), std::string::npos);
    // The captions are text, not outlines (the title with its ampersand escaped).
    EXPECT_NE(text.find(">Tuesday &amp; Saturday<"), std::string::npos);
    EXPECT_NE(text.find(">Speed (mph)<"), std::string::npos);
    EXPECT_NE(text.find(">Time (s)<"), std::string::npos);

    const clitest::CliRun pdf = plot({b, "--x", "Distance", "--y", "Throttle", "--out", file("runs.pdf")});
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_EQ(clitest::readText(file("runs.pdf")).rfind("%PDF-", 0), 0u);
}

TEST_F(Plot, AnUnknownNameListsTheNamesThatExist) {
    const clitest::CliRun r = plot({a, "--x", "Time", "--y", "Flags 30/Asleep", "--out", file("x.png")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'Flags 30/Asleep'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n  Engine speed\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\n  Flags 30/At idle\n"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file("x.png")));

    // A bit is never x; the x names hold no bits.
    const clitest::CliRun x = plot({a, "--x", "Flags 30/At idle", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(x.status, 2);
    EXPECT_NE(x.err.find("\n  Time\n"), std::string::npos) << x.err;
    EXPECT_EQ(x.err.find("At idle\n"), std::string::npos) << x.err;
    EXPECT_FALSE(fs::exists(file("x.png")));
}

TEST_F(Plot, AFileThatIsNoLogAndOtherBadInputsWriteNothing) {
    { std::ofstream(file("notes.ecu")) << "not a log at all, just some words"; }
    const clitest::CliRun r =
        plot({a, file("notes.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("notes.ecu"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(file("x.png")));

    const clitest::CliRun missing =
        plot({file("gone.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("gone.ecu"), std::string::npos) << missing.err;

    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", file("x.gif")}).status, 2);
    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", file("x.png"), "--size", "20x20"}).status,
              2);
    EXPECT_EQ(plot({a, "--x", "Time", "--out", file("x.png")}).status, 2);
    EXPECT_EQ(plot({a, "--x", "Time", "--y", "Throttle", "--out", "/dev/null.png/"}).status, 2);
    EXPECT_FALSE(fs::exists(file("x.png")));

    // A file without rows has nothing to show.
    TALDLLog empty(builtInTable());
    empty.SaveToFile(file("empty.ecu"));
    const clitest::CliRun none =
        plot({file("empty.ecu"), "--x", "Time", "--y", "Throttle", "--out", file("x.png")});
    EXPECT_EQ(none.status, 2) << none.err;
    EXPECT_FALSE(fs::exists(file("x.png")));
}

} // namespace
} // namespace quillmar
