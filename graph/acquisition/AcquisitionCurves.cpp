#include "graph/acquisition/AcquisitionCurves.h"

#include "acquisition/params/Parameters.h"
#include "store/Fits.h"
#include "store/dataset/ALDLLog.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace quillmar {

namespace {

// The table entry at position index of ParameterNames; nullptr outside.
const TParameter* entryAt(const TParameterArray& params, int32_t index) {
    if (index < 1 || static_cast<std::size_t>(index) > params.size()) return nullptr;
    return &params[static_cast<std::size_t>(index - 1)];
}

// The bit pattern of a flag curve's value: y rounded to an integer, then
// ANDed with the bit's mask, so the curve takes 0 and 2^bit.
double maskedValue(long double y, int32_t mask) {
    const long double r = std::nearbyint(y);
    if (!(r < 0x1p63L && r >= -0x1p63L)) return 0; // NaN, infinite or beyond 64 bits: no bits
    const auto bits = static_cast<uint64_t>(static_cast<int64_t>(r));
    return static_cast<double>(bits & static_cast<uint32_t>(mask));
}

// What one selector plots.
struct CurveSource {
    bool Used = false;
    int32_t Index = -1; // position in ParameterNames
    int32_t Mask = 0;   // non-zero for a bit
    std::string Label;
};

CurveSource sourceOf(const TPlotTable& table, const TSelectorItem& item) {
    CurveSource s;
    if (item.Text == NoCurveText) return s;
    s.Label = item.Text;
    if (item.Data > 0) {
        const auto def = static_cast<std::size_t>(item.Data - 1);
        if (def >= table.FlagDefs.size()) return s;
        const TFlagDef& flag = table.FlagDefs[def];
        s.Index = IndexOfName(table.ParameterNames, flag.ParamName);
        s.Label = flag.ParamName + " - " + item.Text;
        s.Mask = flag.Mask;
    } else {
        s.Index = IndexOfName(table.ParameterNames, item.Text);
    }
    // A selector without a selection (or with a text the table does not
    // know) plots nothing rather than a line of zeros.
    s.Used = s.Index >= 1;
    return s;
}

// A dataset's rows in ascending x, ties in row order, exactly as SortByX
// orders a series, with their x values. The store's own row sort orders the
// (x, row) pairs. Both curves of a dataset share it.
struct SortedRows {
    std::vector<uint32_t> Rows;
    std::vector<double> X;
};

SortedRows sortRows(const TALDLLog& log, uint32_t rows, int32_t xIndex) {
    SortedRows sorted;
    TNumber2DArrayStore order;
    if (!order.Make2D(2, rows, 8)) return sorted;
    for (uint32_t r = 1; r <= rows; ++r) {
        order.SetElement(1, r, static_cast<double>(log.ParameterValue(xIndex, r)));
        order.SetElement(2, r, r);
    }
    order.SortRows(1);
    sorted.Rows.resize(rows);
    sorted.X.resize(rows);
    for (uint32_t i = 1; i <= rows; ++i) {
        sorted.Rows[i - 1] = static_cast<uint32_t>(order.GetElement(2, i));
        sorted.X[i - 1] = static_cast<double>(order.GetElement(1, i));
    }
    return sorted;
}

// The points of one curve: x and y of every row, with a mask the bit
// pattern; with sorted rows in their order, the curve remembering the row
// of every point.
// The y of row r a curve plots.
long double curveY(const TALDLLog& log, int32_t index, int32_t mask, uint32_t r) {
    const long double y = log.ParameterValue(index, r);
    return mask ? maskedValue(y, mask) : y;
}

void fillSeries(TDatasetCurve& curve, const TALDLLog& log, uint32_t rows, int32_t xIndex,
                const CurveSource& source, const SortedRows* sorted) {
    TxyDataStruct& series = *curve.Series;
    curve.PointRows.clear();
    curve.XIndex = xIndex;
    curve.YIndex = source.Index;
    curve.Mask = source.Mask;
    if (!series.MakeXY(rows, 8)) return;
    auto yOf = [&](uint32_t r) { return curveY(log, source.Index, source.Mask, r); };
    if (!sorted || sorted->Rows.size() != rows) {
        for (uint32_t r = 1; r <= rows; ++r) {
            series.SetX(r, log.ParameterValue(xIndex, r));
            series.SetY(r, yOf(r));
        }
        return;
    }
    curve.PointRows = sorted->Rows;
    for (uint32_t i = 1; i <= rows; ++i) {
        series.SetX(i, sorted->X[i - 1]);
        series.SetY(i, yOf(sorted->Rows[i - 1]));
    }
}

} // namespace

TPlotLists::TPlotLists(const TParameterArray& parameters)
    : Parameters(&parameters), ParameterNames(MakeParameterNames(parameters)),
      FlagDefs(MakeFlagDefs(parameters)),
      SpeedIndex(FindKnownParameter(ParameterNames, KnownParameter::Speed)) {}

uint32_t DatasetRowOf(const TCurve& curve, uint32_t point) {
    const auto* dataset = dynamic_cast<const TDatasetCurve*>(&curve);
    if (!dataset || dataset->PointRows.empty()) return point;
    if (point < 1 || point > dataset->PointRows.size()) return 0;
    return dataset->PointRows[point - 1];
}

bool XAxisAscends(const std::string& xText) {
    return xText == TimeAxisText || xText == DistanceAxisText;
}

TCurveSetup AddAcquisitionCurves(TCurves& curves, const std::vector<const TALDLLog*>& datasets,
                                 const TPlotTable& table, const TPlotSelection& selection) {
    std::vector<TPlotDataset> whole;
    whole.reserve(datasets.size());
    for (const TALDLLog* log : datasets)
        whole.push_back({log, log ? log->Rows : 0});
    return AddAcquisitionCurves(curves, whole, table, selection);
}

TCurveSetup AddAcquisitionCurves(TCurves& curves, const std::vector<TPlotDataset>& datasets,
                                 const TPlotTable& table, const TPlotSelection& selection) {
    TCurveSetup setup;
    setup.XParameterIndex = IndexOfName(table.ParameterNames, selection.XText);
    std::array<CurveSource, 3> sources;
    for (int k = 1; k <= 2; ++k) {
        sources[static_cast<std::size_t>(k)] = sourceOf(table, selection.Curve[static_cast<std::size_t>(k)]);
        if (sources[static_cast<std::size_t>(k)].Used) {
            setup.CurveParameterIndexes[static_cast<std::size_t>(k)] =
                sources[static_cast<std::size_t>(k)].Index;
            ++setup.CurvesPerDataset;
        }
    }
    const bool sort = !XAxisAscends(selection.XText);
    TAxes& axes = curves.Axes;

    for (std::size_t d = 0; d < datasets.size(); ++d) {
        const TALDLLog* log = datasets[d].Log;
        const uint32_t rows = log ? std::min(datasets[d].Rows, log->Rows) : 0;
        SortedRows order;
        if (sort && log && rows >= 2 && setup.CurvesPerDataset > 0)
            order = sortRows(*log, rows, setup.XParameterIndex);
        for (int k = 1; k <= 2; ++k) {
            const CurveSource& source = sources[static_cast<std::size_t>(k)];
            if (!source.Used) continue;
            auto& curve =
                static_cast<TDatasetCurve&>(curves.Add(std::make_unique<TDatasetCurve>(curves.Count())));
            if (source.Index == table.SpeedIndex) {
                // Road speed through a moving average of one point: the raw
                // values, ready for a wider window.
                auto average = std::make_unique<TMovingAve>();
                average->Window = 1;
                curve.Series = std::move(average);
            } else if (!curve.Series) {
                curve.Series = std::make_unique<TxyDataStruct>();
            }
            if (log) fillSeries(curve, *log, rows, setup.XParameterIndex, source, sort ? &order : nullptr);
            const TColor colour = CurveColors[d % CurveColors.size()];
            curve.LinePen.Color = colour;
            curve.MarkerPen.Color = colour;
            curve.LinePen.Style = k == 1 ? TPenStyle::Solid : TPenStyle::Dot;
            curve.YAxis = static_cast<uint8_t>(k);
            curve.Enabled = true;
            curve.Name = (log ? log->DatasetName() + ": " : std::string()) + source.Label;

            TAxis& y = axes.Axis(k);
            y.Visible = true;
            y.Label = source.Label;
            const TParameter* entry = entryAt(table.Parameters, source.Index);
            y.Units = entry ? entry->Units : std::string();
        }
    }

    TAxis& x = axes.Axis(0);
    if (const TParameter* entry = entryAt(table.Parameters, setup.XParameterIndex)) {
        x.Label = DisplayName(*entry);
        x.Units = entry->Units;
    } else {
        x.Label = selection.XText;
        x.Units.clear();
    }
    return setup;
}

bool ExtendDatasetCurve(TDatasetCurve& curve, const TALDLLog& log, uint32_t rows) {
    if (!curve.Series || !curve.PointRows.empty()) return false;
    TxyDataStruct& series = *curve.Series;
    const uint32_t from = series.Points;
    rows = std::min(rows, log.Rows);
    if (rows <= from || series.Kind != 2) return false;
    if (!series.SetPoints(rows)) return false;
    // The values as stored: a time shift (the x offset) stays on top of them.
    for (uint32_t r = from + 1; r <= rows; ++r) {
        series.SetElement(static_cast<uint32_t>(series.XColumn), r, log.ParameterValue(curve.XIndex, r));
        series.SetElement(static_cast<uint32_t>(series.YColumn), r, curveY(log, curve.YIndex, curve.Mask, r));
    }
    curve.SeriesChanged();
    return true;
}

TXRangeShown FollowRange(long double firstX, long double lastX, double span) {
    const long double width = span > 0 ? span : 1;
    const long double end = std::max(lastX, firstX + width);
    return {end - width, end};
}

long double FindTimeShiftRange(TCurves& curves) {
    TAxis& x = curves.Axes.Axis(0);
    const bool visible = x.Visible;
    const long double largest = curves.Extreme(x, 1, 0, -1);
    const long double smallest = curves.Extreme(x, 0, 0, -1);
    x.Visible = visible;
    const long double range = largest - smallest;
    return std::isfinite(range) && range > 0 ? range : 0;
}

void ApplyTimeShift(TCurves& curves, int first, int count, int position, long double range) {
    const long double offset = static_cast<long double>(position) / 1000 * range;
    for (int i = std::max(first, 0); i < first + count && i < curves.Count(); ++i) {
        TCurve& curve = curves.GetCurve(i);
        if (curve.Series) curve.Series->XYScaling.XOffset = offset;
    }
}

void PrepareAcquisitionAxes(TAxes& axes) {
    for (int axis : {0, 1}) {
        axes.Axis(axis).AutoScaleMin = true;
        axes.Axis(axis).Info.RangeMin.SetScaleValue(0);
    }
}

// ---- names ---------------------------------------------------------------------

std::vector<std::string> XAxisNames(const TParameterArray& parameters) {
    std::vector<std::string> names{TimeAxisText};
    std::set<std::string> seen{TimeAxisText};
    for (const TParameter& p : parameters) {
        std::string name = DisplayName(p);
        if (seen.insert(name).second) names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> CurveNames(const TParameterArray& parameters) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const TParameter& p : parameters) {
        const std::string name = DisplayName(p);
        if (seen.insert(name).second) names.push_back(name);
        if (!p.Flags) continue;
        for (const std::string& bit : SplitBitNames(p)) {
            if (bit.empty()) continue;
            std::string joined = name + "/" + bit;
            if (seen.insert(joined).second) names.push_back(std::move(joined));
        }
    }
    return names;
}

std::optional<std::string> FindXAxisItem(const TParameterArray& parameters, const std::string& name) {
    for (const std::string& item : XAxisNames(parameters))
        if (item == name) return item;
    return std::nullopt;
}

std::optional<TSelectorItem> FindCurveItem(const TPlotTable& table, const std::string& name) {
    if (name == NoCurveText) return TSelectorItem{NoCurveText, 0};
    // A display name first: names such as "Air/fuel ratio" hold a slash.
    for (const TParameter& p : table.Parameters)
        if (DisplayName(p) == name) return TSelectorItem{name, 0};
    // Then a flag entry's name and a bit name, split at any of the slashes.
    int32_t flagDef = 0; // position in FlagDefs of the entry's first bit, plus 1
    for (const TParameter& p : table.Parameters) {
        if (!p.Flags) continue;
        const std::string entry = DisplayName(p);
        const std::vector<std::string> bits = SplitBitNames(p);
        const bool prefix = name.size() > entry.size() + 1 && name.compare(0, entry.size(), entry) == 0 &&
                            name[entry.size()] == '/';
        if (prefix) {
            const std::string bitName = name.substr(entry.size() + 1);
            for (std::size_t b = 0; b < bits.size(); ++b)
                if (bits[b] == bitName) {
                    const int32_t data = flagDef + 1 + static_cast<int32_t>(b);
                    // The selectors point into FlagDefs; an entry whose bit is
                    // not there cannot be plotted.
                    if (static_cast<std::size_t>(data) > table.FlagDefs.size()) return std::nullopt;
                    return TSelectorItem{bitName, data};
                }
        }
        flagDef += static_cast<int32_t>(bits.size());
    }
    return std::nullopt;
}

} // namespace quillmar
