#include "app/gauge/AnalogGauge.h"
#include "app/gauge/DialDialog.h"

#include <QAction>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace quillmar;

TEST(AnalogGauge, NewGaugeHasItsDefaults) {
    TA3nalogGauge g;
    EXPECT_EQ(g.size(), QSize(225, 180));
    EXPECT_EQ(g.FaceOptions().toInt(), 0xFCD);
    EXPECT_EQ(g.MinColor(), QColor(0, 128, 0));
    EXPECT_EQ(g.MidColor(), QColor(255, 255, 0));
    EXPECT_EQ(g.MaxColor(), QColor(255, 0, 0));
    EXPECT_EQ(g.CircleColor(), QColor(0, 0, 255));
    EXPECT_EQ(g.CenterColor(), QColor(128, 128, 128));
    EXPECT_EQ(g.Angle(), 120);
    EXPECT_EQ(g.Scale(), 140);
    EXPECT_EQ(g.IndMaximum(), 80);
    EXPECT_EQ(g.IndMinimum(), 30);
    EXPECT_EQ(g.ArrowWidth(), 1);
    EXPECT_EQ(g.NumberMainTicks(), 7);
    EXPECT_EQ(g.Caption(), "mV");
    EXPECT_EQ(g.AntiAliased(), TAntialiased::aaNone);
    EXPECT_EQ(g.Style(), TStyle::CenterStyle);
    EXPECT_EQ(g.WorkBitmap().size(), QSize(225, 180));
    EXPECT_TRUE(g.OutputBitmap().isNull());
}

TEST(AnalogGauge, SettersKeepTheirRules) {
    TA3nalogGauge g;
    g.setAngle(5);
    EXPECT_EQ(g.Angle(), 120);
    g.setAngle(400);
    EXPECT_EQ(g.Angle(), 120);
    g.setAngle(360);
    EXPECT_EQ(g.Angle(), 360);
    g.setArrowWidth(9);
    EXPECT_EQ(g.ArrowWidth(), 5);
    g.setArrowWidth(0);
    EXPECT_EQ(g.ArrowWidth(), 1);

    g.setScale(60); // IndMaximum 80 -> 59, then IndMinimum 30 -> 60 - 59
    EXPECT_EQ(g.Scale(), 60);
    EXPECT_EQ(g.IndMaximum(), 59);
    EXPECT_EQ(g.IndMinimum(), 1);
    g.setScale(1);
    EXPECT_EQ(g.Scale(), 60);
    g.setIndMaximum(60);
    EXPECT_EQ(g.IndMaximum(), 59);
    g.setIndMinimum(0);
    EXPECT_EQ(g.IndMinimum(), 1);
    g.setIndMinimum(20);
    EXPECT_EQ(g.IndMinimum(), 20);
    g.setNumberMainTicks(0); // would divide by zero
    EXPECT_EQ(g.NumberMainTicks(), 7);
}

TEST(AnalogGauge, SideStylesKeepNinetyDegreesOnceDrawn) {
    TA3nalogGauge g;
    g.setAngle(270);
    g.setStyle(TStyle::LeftStyle);
    EXPECT_EQ(g.Angle(), 90);
    g.setStyle(TStyle::CenterStyle);
    EXPECT_EQ(g.Angle(), 90);
}

TEST(AnalogGauge, NeverSmallerThanSixtyByFifty) {
    TA3nalogGauge g;
    g.show();
    g.resize(10, 10);
    EXPECT_EQ(g.size(), QSize(60, 50));
    EXPECT_EQ(g.WorkBitmap().size(), QSize(60, 50));
    g.setAntiAliased(TAntialiased::aaTriline);
    EXPECT_EQ(g.WorkBitmap().size(), QSize(180, 150));
    EXPECT_EQ(g.OutputBitmap().size(), QSize(60, 50));
}

TEST(AnalogGauge, PositionMovesTheNeedleWithoutRedrawingTheFace) {
    for (TAntialiased aa : {TAntialiased::aaNone, TAntialiased::aaQuadral}) {
        TA3nalogGauge g;
        g.setAntiAliased(aa);
        const uint64_t faces = g.FaceDraws();
        const QImage face = g.FaceBitmap().copy();
        const QImage before = g.Picture().copy();
        g.setPosition(70);
        g.setArrowWidth(3);
        g.setArrowColor(Qt::red);
        EXPECT_EQ(g.FaceDraws(), faces);
        EXPECT_EQ(g.FaceBitmap(), face);
        EXPECT_NE(g.Picture(), before);
        g.setCaption("bar"); // a face property does redraw it
        EXPECT_EQ(g.FaceDraws(), faces + 1);
    }
}

TEST(AnalogGauge, AMovedNeedleLeavesNoTraceOfTheOldOne) {
    for (TAntialiased aa : {TAntialiased::aaNone, TAntialiased::aaTriline, TAntialiased::aaQuadral}) {
        TA3nalogGauge moved, fresh;
        moved.setAntiAliased(aa);
        for (float p : {0.f, 70.f, 139.f, -30.f, 200.f, 20.f})
            moved.setPosition(p);
        moved.setArrowWidth(5);
        moved.setArrowWidth(2);
        fresh.setAntiAliased(aa);
        fresh.setArrowWidth(2);
        fresh.setPosition(20);
        EXPECT_EQ(moved.WorkBitmap(), fresh.WorkBitmap()) << int(aa);
        EXPECT_EQ(moved.Picture(), fresh.Picture()) << int(aa);
    }
}

TEST(AnalogGauge, OverAndUnderTheIndicatorsRaiseTheirEvents) {
    TA3nalogGauge g; // indicators at 30 and 80
    QSignalSpy overMax(&g, &TA3nalogGauge::OnOverMax), overMin(&g, &TA3nalogGauge::OnOverMin);
    g.setPosition(90);
    g.setPosition(90); // unchanged: nothing
    g.setPosition(50);
    g.setPosition(10);
    EXPECT_EQ(overMax.count(), 1);
    EXPECT_EQ(overMin.count(), 1);
}

TEST(AnalogGauge, FramesAreMeasuredOnEveryRedraw) {
    TA3nalogGauge g;
    QSignalSpy frames(&g, &TA3nalogGauge::OnFrames);
    g.setPosition(1);
    g.setPosition(2);
    EXPECT_GT(g.Frames(), 0);
    EXPECT_GE(frames.count(), 1);
}

TEST(AnalogGauge, ReductionAveragesEveryBlockPerChannel) {
    QImage big(4, 2, QImage::Format_RGB32);
    // Left block: two black, two (255, 100, 1) pixels; right block all white.
    big.setPixel(0, 0, qRgb(0, 0, 0));
    big.setPixel(1, 0, qRgb(255, 100, 1));
    big.setPixel(0, 1, qRgb(255, 100, 1));
    big.setPixel(1, 1, qRgb(0, 0, 0));
    for (int x = 2; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
            big.setPixel(x, y, qRgb(255, 255, 255));
    QImage small(2, 1, QImage::Format_RGB32);
    ReduceBlocks(big, 2, small);
    EXPECT_EQ(small.pixel(0, 0), qRgb(128, 50, 1)); // 127.5, 50, 0.5 rounded to nearest
    EXPECT_EQ(small.pixel(1, 0), qRgb(255, 255, 255));
}

namespace {
bool isDark(QRgb c) {
    return qGray(c) < 80;
}

// A table of the two parameters the default dials show.
TParameterArray pressureAndSpeed(double pressure, double engineSpeed) {
    TParameterArray t(2);
    t[0].Name = "Manifold press (abs).";
    t[0].Value = pressure;
    t[1].Name = "Engine speed";
    t[1].Value = engineSpeed;
    return t;
}
} // namespace

TEST(DialDialog, DialsAreSetUpAndTheNeedlesPointWhereTheyShould) {
    QAction start("Start logging (F2)"), stop("Stop logging (F4)");
    TDialDialog d(&start, &stop);
    EXPECT_EQ(d.windowTitle(), "Dials");
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_EQ(d.gaugeCount(), 2u);
    ASSERT_NE(d.dial(0), nullptr);
    ASSERT_NE(d.dial(1), nullptr);
    TA3nalogGauge& boost = *d.dial(0);
    TA3nalogGauge& rpm = *d.dial(1);
    EXPECT_EQ(boost.size(), QSize(305, 305));
    EXPECT_EQ(boost.Caption(), "Absolute manifold pressure (bar)");
    EXPECT_EQ(boost.Scale(), 200);
    EXPECT_EQ(boost.Angle(), 270);
    EXPECT_EQ(boost.FaceOptions().toInt(), 0xD8C);
    EXPECT_EQ(rpm.Style(), TStyle::RightStyle);
    EXPECT_EQ(rpm.Scale(), 8000);
    EXPECT_EQ(rpm.font().pixelSize(), 11);

    TParameterArray table = pressureAndSpeed(1.0, 4000);
    d.showValues(table);
    EXPECT_FLOAT_EQ(boost.Position(), 100);
    EXPECT_FLOAT_EQ(rpm.Position(), 4000);
    // The boost needle runs straight up from the pivot, the engine speed
    // needle up-left at 45 degrees; both are absent from the bare face.
    const QImage& b = boost.Picture();
    EXPECT_TRUE(isDark(b.pixel(152, 60)));
    EXPECT_FALSE(isDark(boost.FaceBitmap().pixel(152, 60)));
    const QImage& r = rpm.Picture();
    EXPECT_TRUE(isDark(r.pixel(150, 150)));
    EXPECT_FALSE(isDark(rpm.FaceBitmap().pixel(150, 150)));
    table = pressureAndSpeed(0, 8000); // engine speed needle straight up
    d.showValues(table);
    EXPECT_TRUE(isDark(rpm.Picture().pixel(295, 150)));
    EXPECT_FALSE(isDark(rpm.Picture().pixel(150, 150)));
}

TEST(DialDialog, ButtonsTriggerTheLoggingActions) {
    QAction start("Start logging (F2)"), stop("Stop logging (F4)");
    QSignalSpy started(&start, &QAction::triggered), stopped(&stop, &QAction::triggered);
    TDialDialog d(&start, &stop);
    EXPECT_EQ(d.StartLoggingButton->text(), "Start logging (F2)");
    d.StartLoggingButton->click();
    stop.setEnabled(false);
    EXPECT_FALSE(d.StopLoggingButton->isEnabled());
    d.StopLoggingButton->click();
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(stopped.count(), 0);
}
