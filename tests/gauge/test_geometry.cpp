#include "app/gauge/GaugeGeometry.h"

#include <gtest/gtest.h>

using namespace quillmar;

namespace {
// A 305 x 305 dial with a margin of 10, unscaled.
GaugeGeometry dial(TStyle style, int angle) {
    return MakeGaugeGeometry(style, StyleSweep(style, angle), 305, 305, 10);
}
GaugePoint needleEnd(const GaugeGeometry& g, double position, int scale) {
    return PointAt(g, g.Radius, ValueAngle(g, position, scale));
}
} // namespace

TEST(GaugeGeometry, RpmDialRunsFromLeftToStraightUp) {
    const GaugeGeometry g = dial(TStyle::RightStyle, 90);
    EXPECT_EQ(g.Cx, 295);
    EXPECT_EQ(g.Cy, 295);
    EXPECT_EQ(g.Radius, 285);
    EXPECT_EQ(needleEnd(g, 0, 8000), (GaugePoint{10, 295}));    // straight left
    EXPECT_EQ(needleEnd(g, 8000, 8000), (GaugePoint{295, 10})); // straight up
    const GaugePoint mid = needleEnd(g, 4000, 8000);            // 45 degrees up-left
    EXPECT_EQ(g.Cx - mid.X, g.Cy - mid.Y);
    EXPECT_EQ(mid, (GaugePoint{93, 93}));
}

TEST(GaugeGeometry, BoostDialIsSymmetricAboutTheVertical) {
    const GaugeGeometry g = dial(TStyle::CenterStyle, 270);
    EXPECT_EQ(g.Cx, 152);
    EXPECT_EQ(g.Cy, 152);
    EXPECT_EQ(g.Radius, 142);
    EXPECT_DOUBLE_EQ(g.A0, -45);
    const GaugePoint zero = needleEnd(g, 0, 200), up = needleEnd(g, 100, 200), full = needleEnd(g, 200, 200);
    // 0 at the lower left, 100 straight up, 200 at the lower right.
    EXPECT_EQ(zero, (GaugePoint{52, 252}));
    EXPECT_EQ(up, (GaugePoint{152, 10}));
    EXPECT_EQ(full, (GaugePoint{253, 252}));
}

TEST(GaugeGeometry, LeftStyleRunsFromStraightUpToTheRight) {
    const GaugeGeometry g = dial(TStyle::LeftStyle, 90);
    EXPECT_EQ(needleEnd(g, 0, 100), (GaugePoint{10, 10}));
    EXPECT_EQ(needleEnd(g, 100, 100), (GaugePoint{295, 295}));
}

TEST(GaugeGeometry, SideStylesSweepAtMostNinetyDegrees) {
    EXPECT_EQ(StyleSweep(TStyle::LeftStyle, 270), 90);
    EXPECT_EQ(StyleSweep(TStyle::RightStyle, 45), 45);
    EXPECT_EQ(StyleSweep(TStyle::CenterStyle, 270), 270);
}

TEST(GaugeGeometry, NarrowCentreDialSitsLowWithARadiusThatFits) {
    // A new gauge: 225 x 180, 120 degrees, margin 10: a0 = 30 degrees,
    // f = min(Round(102.5 / cos 30), 160) = 118, pivot at 118 + 62 div 2.
    const GaugeGeometry g = MakeGaugeGeometry(TStyle::CenterStyle, 120, 225, 180, 10);
    EXPECT_DOUBLE_EQ(g.A0, 30);
    EXPECT_EQ(g.Radius, 118);
    EXPECT_EQ(g.Cy, 149);
    EXPECT_EQ(g.Cx, 112);
    EXPECT_DOUBLE_EQ(g.H, 112.5);
    // A very flat sweep is limited by the height.
    const GaugeGeometry flat = MakeGaugeGeometry(TStyle::CenterStyle, 20, 225, 180, 10);
    EXPECT_EQ(flat.Radius, 160);
}

TEST(GaugeGeometry, PositionsBeyondTheScaleAreNotClamped) {
    const GaugeGeometry g = dial(TStyle::RightStyle, 90);
    // Twice full scale points straight right, past the top.
    EXPECT_EQ(needleEnd(g, 16000, 8000), (GaugePoint{580, 295}));
}
