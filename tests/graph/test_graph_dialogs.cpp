// The axes, curves and curve-choosing dialogs: working copies, validation
// and what OK and Cancel keep.
#include "GraphTestSupport.h"
#include "graph/window/AxesDlg.h"
#include "graph/window/CurvesDlg.h"
#include "graph/window/Graph.h"
#include "graph/window/SelectCurveDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace quillmar;
using namespace quillmar::testing;

namespace {

void leave(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &out);
}

void type(QLineEdit* edit, const QString& text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

struct GraphWithCurves {
    TGraph graph;
    GraphWithCurves() {
        for (int i = 0; i < 3; ++i)
            addSeries(graph.Curves(), 50, 1, [i](uint32_t k) { return k * (i + 1.0); });
        graph.resize(640, 480);
        graph.DrawScreen();
    }
};

} // namespace

TEST(AxesDialog, TypedRangesReachTheWorkingCopyOnLeavingTheField) {
    GraphWithCurves g;
    TAxesDlg& dlg = *g.graph.AxesDialog();
    dlg.Show(g.graph.Axes());
    EXPECT_EQ(dlg.windowTitle(), "Axes");
    EXPECT_TRUE(dlg.dlgAutoScalexMin->isChecked());
    EXPECT_FALSE(dlg.dlgxMin->isEnabled());

    dlg.dlgAutoScalexMin->click();
    EXPECT_TRUE(dlg.dlgxMin->isEnabled());
    EXPECT_FALSE(dlg.Working()->Axis(0).AutoScaleMin);
    type(dlg.dlgxMin, "1e3");
    leave(dlg.dlgxMin);
    EXPECT_EQ(dlg.Working()->Axis(0).Info.RangeMin.LiteralValue, 1000);
    // A text that is not a number is not taken.
    type(dlg.dlgxMin, "12,5");
    leave(dlg.dlgxMin);
    EXPECT_EQ(dlg.Working()->Axis(0).Info.RangeMin.LiteralValue, 1000);

    dlg.dlgAutoScalexMin->click();
    EXPECT_FALSE(dlg.dlgxMin->isEnabled());
    EXPECT_TRUE(dlg.Working()->Axis(0).AutoScaleMin);
    dlg.CancelBtnClick();
    EXPECT_TRUE(g.graph.Axes().Axis(0).AutoScaleMin);
}

TEST(AxesDialog, RangeFieldsShowTheValueWithTheAxisExponent) {
    TAxes axes;
    TAxesDlg dlg(nullptr, nullptr);
    axes.Axis(0).Exponent = -3;
    axes.Axis(0).Info.RangeMax.SetLiteralValue(150000);
    dlg.Show(axes);
    EXPECT_EQ(dlg.dlgxMax->text(), "150.000E3");
    dlg.hide();
}

TEST(AxesDialog, TabsKeepEachAxisEditsAndOkAssignsThem) {
    GraphWithCurves g;
    TAxesDlg& dlg = *g.graph.AxesDialog();
    dlg.Show(g.graph.Axes());
    type(dlg.dlgAxesTitle1, "Run 3");
    type(dlg.dlgxLabel, "Time");
    type(dlg.dlgyLabel, "Engine speed");
    dlg.TabControl1->setCurrentIndex(1);
    EXPECT_EQ(dlg.YAxisIndex(), 2);
    EXPECT_EQ(dlg.dlgyLabel->text(), "");
    type(dlg.dlgyLabel, "Throttle");
    dlg.dlgyScale->setChecked(true);
    dlg.TabControl1->setCurrentIndex(0);
    EXPECT_EQ(dlg.dlgyLabel->text(), "Engine speed");
    EXPECT_FALSE(dlg.dlgyScale->isChecked());
    EXPECT_EQ(g.graph.Axes().Axis(0).Label, ""); // nothing reaches the graph before OK
    dlg.OKBtnClick();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(g.graph.Axes().Title.Line1, "Run 3");
    EXPECT_EQ(g.graph.Axes().Axis(0).Label, "Time");
    EXPECT_EQ(g.graph.Axes().Axis(1).Label, "Engine speed");
    EXPECT_EQ(g.graph.Axes().Axis(2).Label, "Throttle");
    EXPECT_EQ(g.graph.Axes().Axis(2).Scaling, LogScale);
}

TEST(AxesDialog, CancelLeavesTheGraphAsItWas) {
    GraphWithCurves g;
    TAxesDlg& dlg = *g.graph.AxesDialog();
    dlg.Show(g.graph.Axes());
    type(dlg.dlgxLabel, "Distance");
    dlg.dlgxScale->setChecked(true);
    dlg.ApplyColour(1, 0x0000FF);
    dlg.CancelBtnClick();
    EXPECT_EQ(g.graph.Axes().Axis(0).Label, "");
    EXPECT_EQ(g.graph.Axes().Axis(0).Scaling, LinearScale);
    EXPECT_EQ(g.graph.Axes().Axis(0).Pen.Color, clBlack);
}

TEST(AxesDialog, ANewFontSizeScalesTheDivisor) {
    GraphWithCurves g;
    TAxesDlg& dlg = *g.graph.AxesDialog();
    dlg.Show(g.graph.Axes());
    TAxis& x = dlg.Working()->Axis(0);
    x.Font.Height = -16; // 12 points at 96 pixels per inch
    x.Font.PixelsPerInch = 96;
    QFont bigger("Arial");
    bigger.setPointSize(24);
    bigger.setBold(true);
    dlg.ApplyFont(1, bigger);
    EXPECT_EQ(x.FontDivisor, 18); // Round(12 / 24 x 35)
    EXPECT_TRUE(x.Font.Style & fsBold);
    dlg.OKBtnClick();
    EXPECT_EQ(g.graph.Axes().Axis(0).FontDivisor, 18);
}

TEST(CurvesDialog, MarkerSizeAndCurveNumberAreChecked) {
    GraphWithCurves g;
    TCurvesDlg& dlg = *g.graph.CurvesDialog();
    dlg.Show(g.graph.Curves());
    EXPECT_EQ(dlg.windowTitle(), "Curves");
    EXPECT_EQ(dlg.dlgMarkerShape->itemText(1), "Triangluar");
    EXPECT_EQ(dlg.dlgLineStyle->itemText(4), "Dash-Dot-Dot");
    for (int bad : {0, 21}) {
        dlg.dlgMarkerSize->setValue(bad);
        EXPECT_FALSE(dlg.MarkerSizeValid()) << bad;
    }
    dlg.dlgMarkerSize->setValue(20);
    EXPECT_TRUE(dlg.MarkerSizeValid());

    dlg.dlgCurveNumber->setValue(2);
    EXPECT_EQ(dlg.Current(), 2);
    dlg.dlgCurveNumber->setValue(7); // beyond the last curve
    EXPECT_EQ(dlg.Current(), 2);
    EXPECT_EQ(dlg.dlgCurveNumber->value(), 2);
    dlg.CancelBtnClick();
}

TEST(CurvesDialog, CurvesRebuiltWhileOpenAreShownAfreshAndNoneLeftClosesIt) {
    GraphWithCurves g;
    TCurvesDlg& dlg = *g.graph.CurvesDialog();
    TAxesDlg& axesDlg = *g.graph.AxesDialog();
    dlg.Show(g.graph.Curves());
    axesDlg.Show(g.graph.Axes());
    dlg.dlgCurveNumber->setValue(1);
    axesDlg.TabControl1->setCurrentIndex(1);

    g.graph.Curves().Clear();
    for (int i = 0; i < 2; ++i)
        addSeries(g.graph.Curves(), 20, 1, [](uint32_t k) { return k * 2.0; });
    g.graph.Curves().GetCurve(1).Name = "Throttle";
    g.graph.Axes().Axis(0).Label = "Engine speed";
    g.graph.DrawScreen();
    g.graph.CurvesRebuilt();
    EXPECT_EQ(dlg.CurveInfo().size(), 2u);
    EXPECT_EQ(dlg.Current(), 1); // still a curve 1
    EXPECT_EQ(dlg.dlgCurveName->text(), "Throttle");
    EXPECT_EQ(axesDlg.dlgxLabel->text(), "Engine speed");
    EXPECT_EQ(axesDlg.TabControl1->currentIndex(), 1);
    // OK writes what the new curves and axes hold, not the old ones.
    dlg.OKBtnClick();
    axesDlg.OKBtnClick();
    EXPECT_EQ(g.graph.Curves().GetCurve(1).Name, "Throttle");
    EXPECT_EQ(g.graph.Axes().Axis(0).Label, "Engine speed");

    dlg.Show(g.graph.Curves());
    axesDlg.Show(g.graph.Axes());
    g.graph.Curves().Clear();
    g.graph.CurvesRebuilt();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(axesDlg.isVisible());
}

TEST(CurvesDialog, ABadCurveNumberKeepsTheOtherEditsAndMarksTheField) {
    GraphWithCurves g;
    TCurvesDlg& dlg = *g.graph.CurvesDialog();
    dlg.Show(g.graph.Curves());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    dlg.dlgCurveNumber->setValue(1);
    dlg.dlgCurveName->setText("Throttle");
    dlg.dlgSecondary->setChecked(true);
    dlg.dlgCurveName->setFocus();
    dlg.dlgCurveNumber->setValue(7);
    EXPECT_EQ(dlg.Current(), 1);
    EXPECT_EQ(dlg.dlgCurveNumber->value(), 1);
    EXPECT_EQ(dlg.dlgCurveName->text(), "Throttle");
    EXPECT_TRUE(dlg.dlgSecondary->isChecked());
    EXPECT_EQ(dlg.dlgCurveNumber->toolTip(), "There is no curve 7: the curves are numbered 0 to 2");
    const QColor ground = dlg.palette().color(QPalette::Base);
    EXPECT_EQ(dlg.dlgCurveNumber->palette().color(QPalette::Base), QColor(255, 190, 190));
    EXPECT_TRUE(dlg.dlgCurveNumber->hasFocus());

    // A good number takes the mark off and the edits go with their curve.
    dlg.dlgCurveNumber->setValue(2);
    EXPECT_TRUE(dlg.dlgCurveNumber->toolTip().isEmpty());
    EXPECT_EQ(dlg.dlgCurveNumber->palette().color(QPalette::Base), ground);
    dlg.OKBtnClick();
    EXPECT_EQ(g.graph.Curves().GetCurve(1).Name, "Throttle");
    EXPECT_EQ(g.graph.Curves().GetCurve(1).YAxis, 2);
}

TEST(CurvesDialog, OkGivesTheSettingsBackAndCancelKeepsColours) {
    GraphWithCurves g;
    TCurve& c1 = g.graph.Curves().GetCurve(1);
    const int32_t size = c1.MarkerSize;
    ASSERT_GT(size, 0);
    TCurvesDlg& dlg = *g.graph.CurvesDialog();

    dlg.Show(g.graph.Curves());
    dlg.dlgCurveNumber->setValue(1);
    dlg.SetLineColour(0x0000FF);
    dlg.dlgCurveName->setText("Throttle");
    dlg.CancelBtnClick();
    EXPECT_EQ(c1.LinePen.Color, 0x0000FFu); // the pen is the curve's own
    EXPECT_EQ(c1.Name, "Curve 1");

    dlg.Show(g.graph.Curves());
    dlg.dlgCurveNumber->setValue(1);
    dlg.dlgCurveName->setText("Throttle");
    dlg.dlgSecondary->setChecked(true);
    dlg.dlgLineStyle->setCurrentIndex(2);
    dlg.dlgMarkerSize->setValue(size * 2);
    dlg.dlgCurveNumber->setValue(0); // the shown curve is kept on the way
    dlg.dlgCurveEnabled->setChecked(false);
    dlg.OKBtnClick();
    EXPECT_EQ(c1.Name, "Throttle");
    EXPECT_EQ(c1.YAxis, 2);
    EXPECT_EQ(c1.LinePen.Style, TPenStyle::Dot);
    EXPECT_FALSE(g.graph.Curves().GetCurve(0).Enabled);
    EXPECT_DOUBLE_EQ(c1.MarkerDivisor, 50); // the drawn marker doubles
}

TEST(CurvesDialog, MarkerSizeZeroOnOkKeepsThePreviousSize) {
    GraphWithCurves g;
    TCurve& c0 = g.graph.Curves().GetCurve(0);
    const int32_t size = c0.MarkerSize;
    TCurvesDlg& dlg = *g.graph.CurvesDialog();
    dlg.Show(g.graph.Curves());
    dlg.dlgMarkerSize->setValue(0);
    dlg.OKBtnClick();
    EXPECT_EQ(c0.MarkerSize, size);
    EXPECT_EQ(c0.MarkerDivisor, 100);
}

TEST(CurveChooser, TheSpinnerSkipsDisabledCurves) {
    GraphWithCurves g;
    TCurves& curves = g.graph.Curves();
    curves.GetCurve(1).Enabled = false;
    TSelectCurveDlg dlg(&g.graph);
    dlg.Prepare(curves);
    EXPECT_EQ(dlg.dlgCurveNumber->value(), 0);
    EXPECT_EQ(dlg.dlgCurveName->text(), "Curve 0");
    dlg.dlgCurveNumber->stepUp();
    EXPECT_EQ(dlg.Current(), 2);
    EXPECT_EQ(dlg.dlgCurveName->text(), "Curve 2");
    dlg.dlgCurveNumber->setValue(9);
    EXPECT_EQ(dlg.Current(), 2);

    curves.GetCurve(2).Enabled = false;
    dlg.Prepare(curves);
    dlg.dlgCurveNumber->stepUp(); // nothing enabled above
    EXPECT_EQ(dlg.Current(), 0);
    EXPECT_EQ(dlg.dlgCurveNumber->value(), 0);
}
