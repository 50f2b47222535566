// Tick steps, exponents, label formats, value/pixel conversion and the layout.
#include "FakeMetrics.h"
#include "graph/core/Axes.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quillmar;
using quillmar::testing::FakeMetrics;

namespace {

// An axis of the given orientation and pixel length with a requested range.
struct ScaleCase {
    TAxis axis;
    FakeMetrics canvas;

    ScaleCase(int orientation, int length, double lo, double hi, TScaleType type = LinearScale) {
        axis.Orientation = static_cast<int8_t>(orientation);
        axis.SetScaleType(type);
        if (orientation == 0) {
            axis.Info.AxisStart.Pixel = 50;
            axis.Info.AxisEnd.Pixel = 50 + length;
        } else {
            axis.Info.AxisStart.Pixel = 20 + length;
            axis.Info.AxisEnd.Pixel = 20;
        }
        axis.Info.RangeMin.SetScaleValue(lo);
        axis.Info.RangeMax.SetScaleValue(hi);
        axis.SetupScale(canvas);
    }
    double first() const { return axis.Info.AxisStart.ScaleValue; }
    double last() const { return axis.Info.AxisEnd.ScaleValue; }
};

} // namespace

TEST(Round, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundEven(2.5L), 2);
    EXPECT_EQ(roundEven(3.5L), 4);
    EXPECT_EQ(roundEven(-2.5L), -2);
    EXPECT_EQ(roundEven(52.5L), 52);
    EXPECT_EQ(roundEven(2.5000001L), 3);
    EXPECT_EQ(roundEven32(1e30L), INT32_MAX);
    EXPECT_EQ(roundEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(InfoPoint, LogarithmicPointsKeepTheDataValue) {
    TInfoPoint p;
    p.SetLiteralValue(1000);
    EXPECT_EQ(p.ScaleValue, 1000);
    p.SetScaleType(LogScale);
    EXPECT_DOUBLE_EQ(p.ScaleValue, 3);
    EXPECT_EQ(p.LiteralValue, 1000);
    p.SetLiteralValue(-4); // not on a logarithmic axis: scale 0, data 1
    EXPECT_EQ(p.ScaleValue, 0);
    EXPECT_EQ(p.LiteralValue, 1);
    p.SetScaleValue(2);
    EXPECT_DOUBLE_EQ(p.LiteralValue, 100);

    TInfoPoint q;
    q.Pixel = 77;
    q.Assign(p); // the data value under q's own type, then p's type; no pixel
    EXPECT_DOUBLE_EQ(q.LiteralValue, 100);
    EXPECT_EQ(q.ScaleType, LogScale);
    EXPECT_EQ(q.Pixel, 77);
}

TEST(SetupScale, EmptyRangeAtZeroSpansMinusANanoToAGiga) {
    ScaleCase c(1, 400, 0, 0);
    EXPECT_EQ(c.axis.Exponent, -6);
    EXPECT_EQ(c.axis.TickStep, 100);
    // Trunc of the tiny negative minimum is 0, so the first tick is one step below.
    EXPECT_DOUBLE_EQ(c.first(), -1e8);
    EXPECT_DOUBLE_EQ(c.last(), 1e9);
    EXPECT_EQ(c.axis.TickCount, 12);
    EXPECT_EQ(c.axis.TickLabel(0), "-100");
    EXPECT_EQ(c.axis.TickLabel(11), "1000");
}

TEST(SetupScale, EmptyRangeElsewhereDoublesToOrFromZero) {
    ScaleCase up(1, 400, 5, 5);
    EXPECT_EQ(up.first(), 0);
    EXPECT_EQ(up.last(), 10);
    EXPECT_EQ(up.axis.TickStep, 1);
    EXPECT_EQ(up.axis.TickCount, 11);
    ScaleCase down(1, 400, -5, -5);
    EXPECT_EQ(down.first(), -10);
    EXPECT_EQ(down.last(), 0);
    // A logarithmic axis with all data at 1 gets a decade either side.
    ScaleCase log(1, 400, 0, 0, LogScale);
    EXPECT_EQ(log.first(), -1);
    EXPECT_EQ(log.last(), 1);
}

TEST(SetupScale, UnitRangeOnLongAndShortAxes) {
    ScaleCase wide(0, 700, 0, 1);
    EXPECT_EQ(wide.axis.TickStep, 0.25);
    EXPECT_EQ(wide.axis.TickCount, 5);
    EXPECT_EQ(wide.axis.Decimals, 2);
    EXPECT_EQ(wide.axis.LabelWidth, 5);
    EXPECT_EQ(wide.axis.TickLabel(1), "0.25");
    EXPECT_EQ(wide.axis.FormatLabel(1), " 1.00");
    // Label size Round(35 x 1.5) = 52: five ticks need more than 260 pixels.
    ScaleCase narrow(0, 250, 0, 1);
    EXPECT_EQ(narrow.axis.TickStep, 0.5);
    EXPECT_EQ(narrow.axis.TickCount, 3);
    EXPECT_EQ(narrow.axis.Decimals, 1);
    ScaleCase justWide(0, 261, 0, 1);
    EXPECT_EQ(justWide.axis.TickStep, 0.25);
}

TEST(SetupScale, SmallRangesAreMagnifiedInStepsOfThree) {
    ScaleCase c(1, 400, 0, 0.002);
    EXPECT_EQ(c.axis.Exponent, 3);
    EXPECT_EQ(c.axis.TickStep, 0.25);
    EXPECT_DOUBLE_EQ(c.last(), 0.002);
    EXPECT_EQ(c.axis.TickLabel(4), "1.00");
    c.axis.Label = "Duty";
    EXPECT_EQ(c.axis.Caption().Main, "Duty (10");
    EXPECT_EQ(c.axis.Caption().Superscript, "-3");
    EXPECT_EQ(c.axis.Caption().Tail, " )"); // drawn even without units
}

TEST(SetupScale, LargeRangesShrinkToAMultipleOfThreeExponents) {
    ScaleCase c(1, 400, 0, 150000);
    EXPECT_EQ(c.axis.Exponent, -3);
    EXPECT_EQ(c.axis.TickStep, 20);
    EXPECT_EQ(c.first(), 0);
    EXPECT_DOUBLE_EQ(c.last(), 160000); // Round(7.5) = 8 steps
    EXPECT_EQ(c.axis.TickLabel(0), "0");
    EXPECT_EQ(c.axis.TickLabel(8), "160");
    c.axis.Label = "Speed";
    c.axis.Units = "rpm";
    TAxisCaption caption = c.axis.Caption();
    EXPECT_EQ(caption.Main + "^" + caption.Superscript + caption.Tail, "Speed (10^3 rpm)");
    EXPECT_EQ(c.axis.RangeText(150000), "150.000E3");

    c.axis.Exponent = 0;
    EXPECT_EQ(c.axis.Caption().Main, "Speed (rpm)");
}

TEST(SetupScale, LogarithmicAxesTickWholeDecades) {
    ScaleCase tall(1, 400, 0, 3, LogScale); // data 1 .. 1000
    EXPECT_EQ(tall.axis.TickStep, 1);
    EXPECT_EQ(tall.axis.TickCount, 4);
    EXPECT_EQ(tall.axis.TickLabel(0), "0");
    EXPECT_EQ(tall.axis.TickLabel(3), "3");
    // Four labels of height 14 do not fit 50 pixels: steps of two decades.
    ScaleCase low(1, 50, 0, 3, LogScale);
    EXPECT_EQ(low.axis.TickStep, 2);
    EXPECT_EQ(low.axis.TickCount, 3);
    EXPECT_EQ(low.last(), 4);
}

TEST(SetupScale, InfiniteDataGetsAPlainRange) {
    ScaleCase c(1, 400, 0, std::numeric_limits<double>::infinity());
    EXPECT_EQ(c.first(), 0);
    EXPECT_EQ(c.last(), 1);
}

TEST(Conversion, PixelsAndValues) {
    ScaleCase c(1, 400, 0, 10); // ticks 0..10, bottom 420, top 20
    const TAxis& a = c.axis;
    EXPECT_EQ(a.GetPixel(0), 420);
    EXPECT_EQ(a.GetPixel(10), 20);
    EXPECT_EQ(a.GetPixel(5), 220);
    EXPECT_EQ(a.GetPixel(1e6), 0); // above the top
    EXPECT_DOUBLE_EQ(static_cast<double>(a.GetValue(220)), 5);
    EXPECT_LT(a.FactorValtoPix(), 0);
    EXPECT_EQ(a.Info.RangeMax.Pixel, 20);

    ScaleCase log(1, 300, 0, 3, LogScale);
    EXPECT_EQ(log.axis.GetPixel(0), log.axis.Info.AxisStart.Pixel);
    EXPECT_EQ(log.axis.GetPixel(-7), log.axis.Info.AxisStart.Pixel);
    EXPECT_EQ(log.axis.GetPixel(1000), log.axis.Info.AxisEnd.Pixel);
    EXPECT_NEAR(static_cast<double>(log.axis.GetValue(log.axis.GetPixel(100))), 100, 3);
}

TEST(Conversion, EqualEndsGiveNoFactor) {
    TAxis a;
    a.Info.AxisStart.SetScaleValue(3);
    a.Info.AxisEnd.SetScaleValue(3);
    a.Info.AxisStart.Pixel = 10;
    a.Info.AxisEnd.Pixel = 500;
    EXPECT_EQ(a.FactorValtoPix(), 0);
    EXPECT_EQ(a.GetPixel(99), 10);
    EXPECT_EQ(a.TickOffset(3), 0);
    // Before any layout both pixels are 0: no division by zero.
    TAxis fresh;
    EXPECT_EQ(fresh.FactorPixtoVal(), 0);
    EXPECT_EQ(fresh.GetValue(100), 0);
}

TEST(Layout, MarginsAndFontsFollowTheClientHeight) {
    TAxes axes;
    FakeMetrics canvas; // 800 x 600
    axes.GetClientAreaInfo(canvas);
    EXPECT_EQ(axes.ClientWidth, 800);
    EXPECT_EQ(axes.ClientHeight, 600);
    EXPECT_EQ(axes.Axis(1).Font.Height, 17); // Round(600 / 35)
    EXPECT_EQ(axes.Title.Font.Height, 17);
    EXPECT_EQ(axes.Axis(0).Info.AxisStart.Pixel, 68); // four font heights
    EXPECT_EQ(axes.Axis(0).Info.AxisEnd.Pixel, 732);
    EXPECT_EQ(axes.Axis(1).Info.AxisEnd.Pixel, 34); // no title: two font heights
    EXPECT_EQ(axes.Axis(1).Info.AxisStart.Pixel, 532);
    EXPECT_EQ(axes.Axis(2).Info.AxisStart.Pixel, 532);
    EXPECT_EQ(axes.Axis(1).TickLength, 6); // Round(600 / 105)
    EXPECT_EQ(axes.Axis(0).TickLength, 8); // Round(800 / 105)

    axes.Title.Line1 = "Run 1";
    axes.GetClientAreaInfo(canvas);
    EXPECT_EQ(axes.Axis(1).Info.AxisEnd.Pixel, 75); // Round(34 x 2.2)

    // A tiny surface: the margins shrink until the axes have a length.
    canvas.Clip = {0, 0, 100, 60};
    axes.GetClientAreaInfo(canvas);
    EXPECT_LT(axes.Axis(0).Info.AxisStart.Pixel, axes.Axis(0).Info.AxisEnd.Pixel);
    EXPECT_GT(axes.Axis(1).Info.AxisStart.Pixel, axes.Axis(1).Info.AxisEnd.Pixel);
    EXPECT_EQ(axes.Axis(1).Font.Height, 8); // never below 8
}

TEST(Axes, AssignCopiesTheSettingsAndIndicesAreChecked) {
    TAxes a, b;
    a.Title.Line1 = "Run";
    a.Axis(0).Label = "Time";
    a.Axis(1).SetScaleType(LogScale);
    a.Axis(1).Info.RangeMax.SetLiteralValue(1000);
    a.Axis(1).AutoScaleMax = false;
    a.Axis(2).Pen.Color = 0x0000FF;
    a.Axis(1).Visible = true;
    b.Assign(a);
    EXPECT_EQ(b.Title.Line1, "Run");
    EXPECT_EQ(b.Axis(0).Label, "Time");
    EXPECT_EQ(b.Axis(1).Scaling, LogScale);
    EXPECT_DOUBLE_EQ(b.Axis(1).Info.RangeMax.ScaleValue, 3);
    EXPECT_FALSE(b.Axis(1).AutoScaleMax);
    EXPECT_EQ(b.Axis(2).Pen.Color, 0x0000FFu);
    EXPECT_FALSE(b.Axis(1).Visible); // not copied
    EXPECT_EQ(b.Axis(2).Orientation, 2);
    EXPECT_THROW(a.Axis(3), std::out_of_range);
    EXPECT_THROW(a.Axis(-1), std::out_of_range);
}

TEST(Axes, ReadoutWritesTheLabelledValueWithItsExponent) {
    ScaleCase c(0, 600, 0, 150000);
    EXPECT_EQ(c.axis.Decimals, 0);
    EXPECT_EQ(c.axis.LabelWidth, 4);
    EXPECT_EQ(c.axis.ReadoutText(75000), " 75.000E3");
    ScaleCase plain(0, 600, 0, 10);
    EXPECT_EQ(plain.axis.ReadoutText(2.5), " 2.500");
}
