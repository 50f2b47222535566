// The curves of the acquisition graph built from datasets: their order,
// colours, pens and axes, flag bits, the road-speed series, sorting with the
// rows behind the points, the time shift, and the names the command line
// takes.

#include "tests/agraph/AgraphTestSupport.h"

#include "graph/acquisition/AcquisitionCurves.h"
#include "store/Fits.h"

#include <gtest/gtest.h>

#include <set>
#include <typeinfo>

namespace quillmar {
namespace {

using namespace agraphtest;

// The largest x of a one-dataset build's first curve.
long double built45(TCurves& curves) {
    const TxyDataStruct& series = *curves.GetCurve(0).Series;
    return series.GetX(series.Points);
}

// Three datasets in a collection, the table's lists, and the curves.
struct Fixture {
    TLogCollection collection;
    TPlotLists lists{*builtInTable()};
    TAxes axes;
    TCurves curves{axes};

    Fixture(int datasets, uint32_t rowsEach = 50) {
        for (int d = 0; d < datasets; ++d)
            fillLog(collection.NewDataset(builtInTable()), run(rowsEach, static_cast<uint32_t>(d)));
    }
    std::vector<const TALDLLog*> logs() const {
        std::vector<const TALDLLog*> out;
        for (int i = 0; i < collection.Count(); ++i)
            out.push_back(collection.ReadLog(i));
        return out;
    }
    TCurveSetup build(const std::string& x, const TSelectorItem& c1,
                      const TSelectorItem& c2 = {NoCurveText, 0}) {
        TPlotSelection s;
        s.XText = x;
        s.Curve[1] = c1;
        s.Curve[2] = c2;
        return AddAcquisitionCurves(curves, logs(), lists.Table(), s);
    }
    TSelectorItem bit(const std::string& name) { return *FindCurveItem(lists.Table(), name); }
    int32_t position(const std::string& name) { return IndexOfName(lists.ParameterNames, name); }
};

TEST(AcquisitionCurves, OneCurveADatasetInTheDatasetsColours) {
    Fixture f(3);
    const TCurveSetup setup = f.build("Time", {"Engine speed", 0});
    ASSERT_EQ(f.curves.Count(), 3);
    EXPECT_EQ(setup.CurvesPerDataset, 1);
    EXPECT_EQ(setup.XParameterIndex, f.position("Time"));
    EXPECT_EQ(setup.CurveParameterIndexes[1], f.position("Engine speed"));
    EXPECT_EQ(setup.CurveParameterIndexes[2], -1);
    const TColor blue = 0xFF0000, black = 0x000000, fuchsia = 0xFF00FF;
    const TColor expected[] = {blue, black, fuchsia};
    for (int i = 0; i < 3; ++i) {
        const TCurve& c = f.curves.GetCurve(i);
        EXPECT_EQ(c.LinePen.Color, expected[i]);
        EXPECT_EQ(c.MarkerPen.Color, expected[i]);
        EXPECT_EQ(c.LinePen.Style, TPenStyle::Solid);
        EXPECT_EQ(c.YAxis, 1);
        EXPECT_TRUE(c.Enabled);
        EXPECT_EQ(c.Series->Points, 50u);
    }
    f.collection.selectDataset(2);
    EXPECT_EQ(f.collection.CurrentCurve(f.curves.Count()), 2);
}

TEST(AcquisitionCurves, TwoSelectorsGiveSolidLeftAndDottedRightCurvesPerDataset) {
    Fixture f(2);
    const TCurveSetup setup = f.build("Time", {"Engine speed", 0}, {"Throttle", 0});
    ASSERT_EQ(f.curves.Count(), 4);
    EXPECT_EQ(setup.CurvesPerDataset, 2);
    for (int d = 0; d < 2; ++d) {
        const TCurve& first = f.curves.GetCurve(2 * d);
        const TCurve& second = f.curves.GetCurve(2 * d + 1);
        EXPECT_EQ(first.LinePen.Style, TPenStyle::Solid);
        EXPECT_EQ(first.YAxis, 1);
        EXPECT_EQ(second.LinePen.Style, TPenStyle::Dot);
        EXPECT_EQ(second.YAxis, 2);
        EXPECT_EQ(first.LinePen.Color, CurveColors[static_cast<std::size_t>(d)]);
        EXPECT_EQ(second.LinePen.Color, CurveColors[static_cast<std::size_t>(d)]);
        // The values are the dataset's.
        const TALDLLog& log = *f.collection.ReadLog(d);
        for (uint32_t r : {1u, 17u, 50u}) {
            EXPECT_DOUBLE_EQ(static_cast<double>(first.Series->GetX(r)),
                             static_cast<double>(log.ParameterValue(f.position("Time"), r)));
            EXPECT_DOUBLE_EQ(static_cast<double>(first.Series->GetY(r)),
                             static_cast<double>(log.ParameterValue(f.position("Engine speed"), r)));
            EXPECT_DOUBLE_EQ(static_cast<double>(second.Series->GetY(r)),
                             static_cast<double>(log.ParameterValue(f.position("Throttle"), r)));
        }
    }
    EXPECT_EQ(f.curves.GetCurve(3).Name, "Dataset 1: Throttle");
    EXPECT_EQ(f.axes.Axis(0).Label, "Time");
    EXPECT_EQ(f.axes.Axis(0).Units, "s");
    EXPECT_EQ(f.axes.Axis(1).Label, "Engine speed");
    EXPECT_EQ(f.axes.Axis(1).Units, "RPM");
    EXPECT_TRUE(f.axes.Axis(1).Visible);
    EXPECT_EQ(f.axes.Axis(2).Label, "Throttle");
    EXPECT_EQ(f.axes.Axis(2).Units, "%");
    EXPECT_TRUE(f.axes.Axis(2).Visible);
}

TEST(AcquisitionCurves, AFlagBitTakesZeroAndTwoToTheBit) {
    Fixture f(1);
    const TSelectorItem atIdle = f.bit("Flags 30/At idle");
    const TCurveSetup setup = f.build("Time", atIdle, f.bit("Faults/ESC failure"));
    EXPECT_EQ(setup.CurveParameterIndexes[1], f.position("Flags 30"));
    EXPECT_EQ(setup.CurveParameterIndexes[2], f.position("Faults"));
    EXPECT_EQ(f.axes.Axis(1).Label, "Flags 30 - At idle");
    EXPECT_EQ(f.axes.Axis(2).Label, "Faults - ESC failure");
    const TCurve& idle = f.curves.GetCurve(0);
    std::set<double> values;
    for (uint32_t r = 1; r <= idle.Series->Points; ++r) {
        const double y = static_cast<double>(idle.Series->GetY(r));
        values.insert(y);
        // 0x81 and 0x80 have bit 7 set, 0x01 has not.
        EXPECT_EQ(y, r % 3 == 1 ? 0 : 128) << "row " << r;
    }
    EXPECT_EQ(values, (std::set<double>{0, 128}));

    // Bit 23 of a three-byte entry: 2^23 when set.
    TLogCollection one;
    TALDLLog& log = one.NewDataset(builtInTable());
    log.SetRows(2);
    uint8_t data[ReplyLength] = {};
    const TParameter& faults = (*builtInTable())[static_cast<std::size_t>(f.position("Faults") - 1)];
    data[faults.Position + 2 - 1] = 0x80; // the high byte of a low-byte-first number
    log.WriteRow(1, data, 0);
    data[faults.Position + 2 - 1] = 0x7F;
    log.WriteRow(2, data, 0.1);
    log.DeriveChannels();
    TAxes axes;
    TCurves curves(axes);
    TPlotSelection s;
    s.Curve[1] = f.bit("Faults/ESC failure");
    AddAcquisitionCurves(curves, {&log}, f.lists.Table(), s);
    EXPECT_EQ(curves.GetCurve(0).Series->GetY(1), 8388608);
    EXPECT_EQ(curves.GetCurve(0).Series->GetY(2), 0);
}

TEST(AcquisitionCurves, AnXOtherThanTimeOrDistanceSortsAndKeepsEachPointsRow) {
    Fixture f(1, 200);
    f.build("Engine speed", {"Throttle", 0});
    const TCurve& c = f.curves.GetCurve(0);
    const TALDLLog& log = *f.collection.ReadLog(0);
    const int32_t engine = f.position("Engine speed"), throttle = f.position("Throttle");
    std::set<uint32_t> rowsSeen;
    for (uint32_t i = 1; i <= c.Series->Points; ++i) {
        if (i > 1) {
            EXPECT_LE(c.Series->GetX(i - 1), c.Series->GetX(i));
        }
        const uint32_t row = DatasetRowOf(c, i);
        rowsSeen.insert(row);
        // The series holds doubles.
        EXPECT_EQ(c.Series->GetX(i), static_cast<double>(log.ParameterValue(engine, row)));
        EXPECT_EQ(c.Series->GetY(i), static_cast<double>(log.ParameterValue(throttle, row)));
    }
    EXPECT_EQ(rowsSeen.size(), 200u); // every row once
    // Equal x keep their rows' order, as the series' own sort leaves them.
    TxyDataStruct reference;
    reference.MakeXY(200, 8);
    for (uint32_t r = 1; r <= 200; ++r) {
        reference.SetX(r, log.ParameterValue(engine, r));
        reference.SetY(r, log.ParameterValue(throttle, r));
    }
    reference.SortByX();
    for (uint32_t i = 1; i <= 200; ++i)
        EXPECT_EQ(reference.GetY(i), c.Series->GetY(i)) << "point " << i;
    EXPECT_EQ(DatasetRowOf(c, 0), 0u);
    EXPECT_EQ(DatasetRowOf(c, 201), 0u);

    // Time and distance ascend already: the points are the rows.
    Fixture t(1, 200);
    t.build("Distance", {"Throttle", 0});
    EXPECT_TRUE(static_cast<const TDatasetCurve&>(t.curves.GetCurve(0)).PointRows.empty());
    EXPECT_EQ(DatasetRowOf(t.curves.GetCurve(0), 37), 37u);
}

TEST(AcquisitionCurves, RoadSpeedIsAMovingAverageOfOnePoint) {
    Fixture f(1);
    f.build("Time", {"Speed", 0}, {"Smoothed speed", 0});
    const auto* speed = dynamic_cast<const TMovingAve*>(f.curves.GetCurve(0).Series.get());
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->Window, 1);
    for (uint32_t r = 1; r <= 50; ++r)
        EXPECT_EQ(speed->GetY(r), (r + 0) % 90) << "row " << r; // the raw speed of dataset 0
    EXPECT_EQ(typeid(*f.curves.GetCurve(1).Series), typeid(TxyDataStruct));
}

TEST(AcquisitionCurves, TheTimeShiftTravelsTheWholeRangeOfOneDatasetsCurves) {
    Fixture f(2);
    // Dataset 1 runs twice as long.
    fillLog(*f.collection.ReadLog(1), run(100, 1));
    f.build("Time", {"Engine speed", 0}, {"Throttle", 0});
    const long double range = FindTimeShiftRange(f.curves);
    EXPECT_NEAR(static_cast<double>(range), 9.9, 1e-9);
    ApplyTimeShift(f.curves, 2, 2, -500, range);
    EXPECT_EQ(f.curves.GetCurve(0).Series->XYScaling.XOffset, 0);
    EXPECT_EQ(f.curves.GetCurve(1).Series->XYScaling.XOffset, 0);
    EXPECT_NEAR(static_cast<double>(f.curves.GetCurve(2).Series->XYScaling.XOffset), -4.95, 1e-12);
    EXPECT_NEAR(static_cast<double>(f.curves.GetCurve(3).Series->GetX(1)), -4.95, 1e-12);
    // Curves that are not there are left alone.
    ApplyTimeShift(f.curves, 3, 2, 1000, range);
    EXPECT_NEAR(static_cast<double>(f.curves.GetCurve(3).Series->XYScaling.XOffset), 9.9, 1e-12);
    EXPECT_TRUE(XAxisAscends("Time"));
    EXPECT_TRUE(XAxisAscends("Distance"));
    EXPECT_FALSE(XAxisAscends("Engine speed"));
}

TEST(AcquisitionCurves, ASelectorWithoutAChoiceAndADatasetWithoutRows) {
    Fixture f(3);
    f.collection.ReadLog(1)->SetRows(0);
    // Curve 1 shows nothing chosen: only curve 2 is plotted, on the right.
    const TCurveSetup setup = f.build("Time", {"", 0}, {"Throttle", 0});
    EXPECT_EQ(setup.CurvesPerDataset, 1);
    ASSERT_EQ(f.curves.Count(), 3);
    EXPECT_EQ(f.curves.GetCurve(1).Series->Points, 0u);
    // The third dataset keeps the third colour.
    EXPECT_EQ(f.curves.GetCurve(2).LinePen.Color, CurveColors[2]);
    EXPECT_EQ(f.curves.GetCurve(2).YAxis, 2);
}

TEST(AcquisitionCurves, ARecordingIsPlottedToItsRowsSoFarAndGrowsInPlace) {
    Fixture f(2, 60);
    const TALDLLog& recording = *f.collection.ReadLog(1);
    TPlotSelection s;
    s.XText = "Time";
    s.Curve[1] = {"Engine speed", 0};
    s.Curve[2] = f.bit("Flags 30/At idle");
    const std::vector<TPlotDataset> sofar{{f.collection.ReadLog(0), 60}, {&recording, 10}};
    AddAcquisitionCurves(f.curves, sofar, f.lists.Table(), s);
    ASSERT_EQ(f.curves.Count(), 4);
    EXPECT_EQ(f.curves.GetCurve(0).Series->Points, 60u);
    EXPECT_EQ(f.curves.GetCurve(2).Series->Points, 10u);
    // The recording's curves shifted in time, then grown: the new points
    // are the rows, shifted as the old ones are.
    ApplyTimeShift(f.curves, 2, 2, 500, 10);
    for (int c : {2, 3})
        ASSERT_TRUE(ExtendDatasetCurve(static_cast<TDatasetCurve&>(f.curves.GetCurve(c)), recording, 45));
    TAxes axes;
    TCurves whole(axes);
    AddAcquisitionCurves(whole, {{&recording, 45}}, f.lists.Table(), s);
    for (int c : {0, 1}) {
        const TxyDataStruct& grown = *f.curves.GetCurve(2 + c).Series;
        const TxyDataStruct& built = *whole.GetCurve(c).Series;
        ASSERT_EQ(grown.Points, 45u);
        for (uint32_t i = 1; i <= 45; ++i) {
            EXPECT_EQ(grown.GetX(i), built.GetX(i) + 5) << "point " << i;
            EXPECT_EQ(grown.GetY(i), built.GetY(i)) << "point " << i;
        }
    }
    // The drawing sees the new points: the extreme search covers them.
    EXPECT_EQ(f.curves.GetCurve(2).Extreme(f.curves.Axes.Axis(0), 1, 0, -1).Value, built45(whole) + 5);
    // Nothing beyond the dataset's rows, nothing for no new row.
    auto& curve = static_cast<TDatasetCurve&>(f.curves.GetCurve(2));
    EXPECT_FALSE(ExtendDatasetCurve(curve, recording, 45));
    EXPECT_TRUE(ExtendDatasetCurve(curve, recording, 1000));
    EXPECT_EQ(curve.Series->Points, 60u);

    // A curve sorted by x cannot grow: it is built again instead.
    Fixture sorted(1, 60);
    sorted.build("Engine speed", {"Throttle", 0});
    EXPECT_FALSE(ExtendDatasetCurve(static_cast<TDatasetCurve&>(sorted.curves.GetCurve(0)),
                                    *sorted.collection.ReadLog(0), 80));
}

TEST(AcquisitionCurves, FollowShowsTheLastSpanOnceThereIsThatMuch) {
    // Less than the span: from the first x, the curve growing to the right.
    EXPECT_EQ(FollowRange(0, 12.5, 60).Min, 0);
    EXPECT_EQ(FollowRange(0, 12.5, 60).Max, 60);
    EXPECT_EQ(FollowRange(3, 63, 60).Min, 3);
    // Then the last span.
    EXPECT_EQ(FollowRange(0, 100, 60).Min, 40);
    EXPECT_EQ(FollowRange(0, 100, 60).Max, 100);
    // A time shift moves both ends.
    EXPECT_EQ(FollowRange(-20, 80, 60).Min, 20);
    // A span that is no span is a second.
    EXPECT_EQ(FollowRange(0, 100, 0).Min, 99);
}

TEST(AcquisitionCurves, AxesStartAsTheProgramStartsThem) {
    TAxes axes;
    axes.Axis(0).AutoScaleMin = false;
    axes.Axis(1).Info.RangeMin.SetScaleValue(5);
    PrepareAcquisitionAxes(axes);
    for (int a : {0, 1}) {
        EXPECT_TRUE(axes.Axis(a).AutoScaleMin);
        EXPECT_EQ(axes.Axis(a).Info.RangeMin.ScaleValue, 0);
    }
}

TEST(PlotNames, XAxisAndCurveNamesAsTheSelectorsHoldThem) {
    const TParameterArray& table = *builtInTable();
    const TPlotLists lists(table);
    const std::vector<std::string> x = XAxisNames(table);
    ASSERT_FALSE(x.empty());
    EXPECT_EQ(x.front(), "Time");
    EXPECT_EQ(std::count(x.begin(), x.end(), "Time"), 1);
    EXPECT_NE(std::find(x.begin(), x.end(), "Flags 30"), x.end());
    EXPECT_EQ(std::find(x.begin(), x.end(), "At idle"), x.end());
    EXPECT_EQ(FindXAxisItem(table, "Engine speed"), "Engine speed");
    EXPECT_EQ(FindXAxisItem(table, "Flags 30/At idle"), std::nullopt);

    const std::vector<std::string> names = CurveNames(table);
    EXPECT_NE(std::find(names.begin(), names.end(), "Flags 30/At idle"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Air/fuel ratio"), names.end());

    const auto idle = FindCurveItem(lists.Table(), "Flags 30/At idle");
    ASSERT_TRUE(idle);
    EXPECT_EQ(idle->Text, "At idle");
    ASSERT_GT(idle->Data, 0);
    EXPECT_EQ(lists.FlagDefs[static_cast<std::size_t>(idle->Data - 1)].ParamName, "Flags 30");
    EXPECT_EQ(lists.FlagDefs[static_cast<std::size_t>(idle->Data - 1)].Mask, 128);
    // A display name holding a slash is a name of its own, not a bit.
    EXPECT_EQ(FindCurveItem(lists.Table(), "Air/fuel ratio"), (TSelectorItem{"Air/fuel ratio", 0}));
    EXPECT_EQ(FindCurveItem(lists.Table(), "No curve"), (TSelectorItem{"No curve", 0}));
    EXPECT_EQ(FindCurveItem(lists.Table(), "Flags 30/Nothing"), std::nullopt);
    EXPECT_EQ(FindCurveItem(lists.Table(), "At idle"), std::nullopt);
    EXPECT_EQ(FindCurveItem(lists.Table(), "Engine Speed"), std::nullopt); // names are exact
    for (const std::string& name : names)
        EXPECT_TRUE(FindCurveItem(lists.Table(), name)) << name;
}

} // namespace
} // namespace quillmar
