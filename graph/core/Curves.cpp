#include "graph/core/Curves.h"

#include "store/Fits.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <typeinfo>

namespace quillmar {

const std::array<const char*, 5> LineStyleNames = {"Solid", "Dashed", "Dotted", "Dash-Dot", "Dash-Dot-Dot"};
const std::array<const char*, 3> MarkerKindNames = {"Square", "Triangluar", "Diamond"};

// ---------------------------------------------------------------------------
// The series summary: the values as doubles, whether x ascends, and min/max
// trees over x and y. Rebuilt when the series' identity, size, scaling or a
// sample of its values changes.

namespace {

struct TSignature {
    const TxyDataStruct* Series = nullptr;
    const std::type_info* Type = nullptr;
    const uint8_t* Memory = nullptr;
    std::size_t Bytes = 0;
    uint32_t Points = 0, Rows = 0, Columns = 0, RecordSize = 0;
    uint8_t Kind = 0, Window = 0;
    int32_t XColumn = 0, YColumn = 0;
    long double X0 = 0, DX = 0, XOffset = 0, YOffset = 0, XScale = 0, YScale = 0;
    std::vector<long double> Samples;

    bool operator==(const TSignature&) const = default;
};

TSignature signatureOf(const TxyDataStruct* s) {
    TSignature g;
    g.Series = s;
    if (!s) return g;
    g.Type = &typeid(*s);
    g.Memory = s->memory();
    g.Bytes = s->size();
    g.Points = s->Points;
    g.Rows = s->Rows;
    g.Columns = s->Columns;
    g.RecordSize = s->RecordSize;
    g.Kind = s->Kind;
    if (auto* m = dynamic_cast<const TMovingAve*>(s)) g.Window = m->Window;
    g.XColumn = s->XColumn;
    g.YColumn = s->YColumn;
    g.X0 = s->XRange.X0;
    g.DX = s->XRange.DX;
    g.XOffset = s->XYScaling.XOffset;
    g.YOffset = s->XYScaling.YOffset;
    g.XScale = s->XYScaling.XScale;
    g.YScale = s->XYScaling.YScale;
    // A sample of the values catches a series refilled in place.
    const uint32_t n = s->Points;
    const uint32_t samples = std::min<uint32_t>(n, 32);
    for (uint32_t k = 0; k < samples; ++k) {
        uint32_t i = samples == 1 ? 1 : 1 + static_cast<uint32_t>(uint64_t{k} * (n - 1) / (samples - 1));
        g.Samples.push_back(s->GetX(i));
        g.Samples.push_back(s->GetY(i));
    }
    return g;
}

} // namespace

struct TCurve::TSummary {
    TSignature Signature;
    std::vector<double> X, Y; // point i at [i - 1]
    bool Ascending = true;    // x never decreases and holds no NaN
    TMinMaxTree XTree, YTree;
    std::vector<uint32_t> Gaps; // 0-based points whose y is NaN, ascending

    // True when a point without a y value lies strictly between points a and b (0-based, a < b).
    bool gapBetween(uint32_t a, uint32_t b) const {
        const auto g = std::upper_bound(Gaps.begin(), Gaps.end(), a);
        return g != Gaps.end() && *g < b;
    }
};

const TCurve::TSummary& TCurve::summary() const {
    TSignature now = signatureOf(Series.get());
    if (summary_ && summary_->Signature == now) return *summary_;
    auto s = std::make_unique<TSummary>();
    s->Signature = std::move(now);
    const uint32_t n = Series ? Series->Points : 0;
    s->X.resize(n);
    s->Y.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        s->X[i] = static_cast<double>(Series->GetX(i + 1));
        s->Y[i] = static_cast<double>(Series->GetY(i + 1));
        if (std::isnan(s->X[i]) || (i > 0 && s->X[i] < s->X[i - 1])) s->Ascending = false;
        if (std::isnan(s->Y[i])) s->Gaps.push_back(i);
    }
    s->XTree.Build(s->X);
    s->YTree.Build(s->Y);
    summary_ = std::move(s);
    ++summaryGeneration_;
    return *summary_;
}

void TCurve::SeriesChanged() {
    summary_.reset();
    plotCache_.reset();
}

// Everything a plot depends on besides the series.
struct TCurve::TPlotCache {
    uint64_t Generation = 0;
    bool EveryPoint = false;
    bool Enabled = false;
    int YAxis = 0;
    std::array<TPixelMap, 2> Maps;
    std::array<double, 4> Range{}; // x range: minimum and maximum, scale and literal
    std::array<int32_t, 4> Pixels{};
    TCurvePlot Plot;

    bool same(const TPlotCache& o) const {
        auto sameMap = [](const TPixelMap& a, const TPixelMap& b) {
            return a.Log == b.Log && a.S0 == b.S0 && a.Factor == b.Factor && a.P0 == b.P0;
        };
        return Generation == o.Generation && EveryPoint == o.EveryPoint && Enabled == o.Enabled &&
               YAxis == o.YAxis && sameMap(Maps[0], o.Maps[0]) && sameMap(Maps[1], o.Maps[1]) &&
               Range == o.Range && Pixels == o.Pixels;
    }
};

// ---------------------------------------------------------------------------
// TCurve

TCurve::TCurve(int position) : Series(std::make_unique<TxyDataStruct>()) {
    const int p = std::max(position, 0);
    MarkerKind = static_cast<uint8_t>(p % 3);
    SetDefaultPen(MarkerPen);
    SetDefaultPen(LinePen);
    MarkerPen.Color = CurveColors[static_cast<std::size_t>(p % 11)];
    LinePen.Color = MarkerPen.Color;
    Name = "Curve " + std::to_string(position);
}

TCurve::~TCurve() = default;

uint32_t TCurve::GetPointNumber(long double x) const {
    return Series ? Series->FindX(x) : 0;
}

TExtreme TCurve::Extreme(const TAxis& axis, int mode, long double fromX, long double toX) const {
    if (axis.IsYAxis() && axis.Orientation != YAxis) return {0.0L, 0};
    const TSummary& s = summary();
    const uint32_t n = static_cast<uint32_t>(s.X.size());
    uint32_t first = 1, last = n;
    if (toX > fromX) {
        first = GetPointNumber(fromX);
        last = GetPointNumber(toX);
    }
    TKeepRange keep; // linear: every value that is a number
    bool usable = axis.Scaling == LinearScale;
    if (axis.Scaling == LogScale) {
        keep.Lo = 0;
        keep.LoOpen = true;
        usable = true;
    }
    if (usable && first >= 1 && first <= last && last <= n) {
        const TMinMaxTree& tree = axis.Orientation == 0 ? s.XTree : s.YTree;
        const std::vector<double>& values = axis.Orientation == 0 ? s.X : s.Y;
        TMinMaxTree::TExtremes e = tree.Extremes(first - 1, last - 1, keep);
        if (e.found()) {
            uint32_t index = mode == 0 ? e.MinIndex : e.MaxIndex;
            long double v = values[index];
            if (axis.Scaling == LogScale) v = std::log10(v);
            return {v, static_cast<int32_t>(index + 1)};
        }
    }
    return {mode == 0 ? 324.0L : -324.0L, 1};
}

TCurvePlot TCurve::PlotPoints(const TAxes& axes, bool everyPoint) const {
    // A redraw at the same scales (a repaint, a dialog closed without a
    // change) takes the last plot again.
    if (Series) summary();
    const TAxis& xAxis = axes.Axis(0);
    const TAxis& left = axes.Axis(1);
    const TAxis& yAxis = axes.Axis(YAxis == 2 ? 2 : 1);
    TPlotCache key;
    key.Generation = Series ? summaryGeneration_ : 0;
    key.EveryPoint = everyPoint;
    key.Enabled = Enabled;
    key.YAxis = YAxis;
    key.Maps = {xAxis.PixelMap(), yAxis.PixelMap()};
    key.Range = {xAxis.Info.RangeMin.ScaleValue, xAxis.Info.RangeMin.LiteralValue,
                 xAxis.Info.RangeMax.ScaleValue, xAxis.Info.RangeMax.LiteralValue};
    key.Pixels = {left.Info.AxisStart.Pixel, left.Info.AxisEnd.Pixel, xAxis.Info.AxisStart.Pixel,
                  xAxis.Info.AxisEnd.Pixel};
    if (plotCache_ && plotCache_->same(key)) return plotCache_->Plot;
    key.Plot = computePlot(axes, everyPoint);
    plotCache_ = std::make_unique<TPlotCache>(std::move(key));
    return plotCache_->Plot;
}

TCurvePlot TCurve::computePlot(const TAxes& axes, bool everyPoint) const {
    TCurvePlot plot;
    const TAxis& xAxis = axes.Axis(0);
    const TAxis& left = axes.Axis(1);
    const TAxis& yAxis = axes.Axis(YAxis == 2 ? 2 : 1);

    const int32_t xs = xAxis.Info.AxisStart.Pixel, xe = xAxis.Info.AxisEnd.Pixel;
    const int32_t mx = roundEven32(0.025L * std::abs(static_cast<long double>(xs) - xe));
    const int32_t ys = left.Info.AxisStart.Pixel, ye = left.Info.AxisEnd.Pixel;
    const int32_t my = roundEven32(0.025L * std::abs(static_cast<long double>(ys) - ye));
    plot.Clip = {xs - mx, ye - my, xe + mx, ys + my};
    if (!Enabled || !Series) return plot;

    TKeepRange keepY;
    keepY.Lo = static_cast<double>(yAxis.GetValue(plot.Clip.Bottom));
    keepY.Hi = static_cast<double>(yAxis.GetValue(plot.Clip.Top));

    const TSummary& s = summary();
    const std::vector<double>& X = s.X;
    const std::vector<double>& Y = s.Y;
    const uint32_t n = static_cast<uint32_t>(X.size());
    if (n == 0) return plot;

    // The x range. On a logarithmic axis points are kept by their logarithm
    // against the range's scale values, so the points at either end of the
    // range survive the round trip through the logarithm.
    const bool logX = xAxis.Scaling == LogScale;
    const double xMin = xAxis.Info.RangeMin.LiteralValue, xMax = xAxis.Info.RangeMax.LiteralValue;
    const double sMin = xAxis.Info.RangeMin.ScaleValue, sMax = xAxis.Info.RangeMax.ScaleValue;
    auto below = [&](double x) {
        if (logX) return !(x > 0) || static_cast<double>(std::log10(static_cast<long double>(x))) < sMin;
        return x < xMin;
    };
    auto above = [&](double x) {
        if (logX) return x > 0 && static_cast<double>(std::log10(static_cast<long double>(x))) > sMax;
        return x > xMax;
    };

    const TPixelMap xMap = xAxis.PixelMap(), yMap = yAxis.PixelMap();
    auto px = [&](uint32_t i) { return xMap(X[i]); };
    auto point = [&](uint32_t i) { return TPixelPoint{xMap(X[i]), yMap(Y[i])}; };
    // The line breaks where a point without a y value lies between the last
    // point put and the next (for a pixel column, between its first point
    // and the column before).
    uint32_t lastPut = TMinMaxTree::npos;
    auto breakBefore = [&](uint32_t i) {
        if (lastPut != TMinMaxTree::npos && !plot.Points.empty() && lastPut < i && s.gapBetween(lastPut, i))
            plot.Breaks.push_back(plot.Points.size());
    };
    auto emit = [&](uint32_t i) {
        TPixelPoint p = point(i);
        if (plot.Points.empty() || !(plot.Points.back() == p)) {
            breakBefore(i);
            plot.Points.push_back(p);
        }
        lastPut = i;
    };

    if (s.Ascending) {
        // 0-based first..last: the points inside the x range.
        uint32_t first = static_cast<uint32_t>(
            std::partition_point(X.begin(), X.end(), [&](double x) { return below(x); }) - X.begin());
        uint32_t end = static_cast<uint32_t>(
            std::partition_point(X.begin() + first, X.end(), [&](double x) { return !above(x); }) -
            X.begin());
        if (first >= end) return plot;
        const uint32_t last = end - 1;
        if (everyPoint) {
            plot.Points.reserve(last - first + 1);
            for (uint32_t i = first; i <= last; ++i) {
                if (!keepY.keeps(Y[i])) continue;
                breakBefore(i);
                plot.Points.push_back(point(i));
                lastPut = i;
            }
            return plot;
        }
        // One pixel column at a time: its points form one index range.
        const bool linearX = !logX;
        const long double factor = xAxis.FactorValtoPix();
        const long double s0 = xAxis.Info.AxisStart.ScaleValue;
        const int32_t p0 = xAxis.Info.AxisStart.Pixel;
        uint32_t i = first;
        while (i <= last) {
            const int32_t column = px(i);
            // The points of this column end where the pixel changes: guess
            // the x value of that edge, find it among the values, then settle
            // it with the pixels themselves.
            uint32_t j = i;
            if (linearX && factor > 0) {
                const long double edge = s0 + (static_cast<long double>(column - p0) + 0.5L) / factor;
                const double guess = static_cast<double>(edge);
                // The first point at or beyond the edge: start where a
                // straight line through the remaining x values puts it, gallop
                // to bracket it, then halve.
                uint32_t start = i + 1;
                if (X[last] > X[i] && guess > X[i]) {
                    const long double share = (guess - X[i]) / (static_cast<long double>(X[last]) - X[i]);
                    start = i + static_cast<uint32_t>(std::min<long double>(share * (last - i), last - i));
                    start = std::max(start, i + 1);
                }
                uint32_t lo, hi; // X[lo] < guess (or lo = i), X[hi] >= guess (or hi = last + 1)
                if (start > last || X[start] >= guess) {
                    hi = std::min(start, last + 1);
                    uint32_t step = 1;
                    lo = hi > i + step ? hi - step : i;
                    while (lo > i && X[lo] >= guess) {
                        hi = lo;
                        step *= 2;
                        lo = hi > i + step ? hi - step : i;
                    }
                } else {
                    lo = start;
                    uint32_t step = 1;
                    hi = std::min<uint32_t>(last + 1, lo + step);
                    while (hi <= last && X[hi] < guess) {
                        lo = hi;
                        step *= 2;
                        hi = std::min<uint32_t>(last + 1, lo + step);
                    }
                }
                j = static_cast<uint32_t>(std::partition_point(X.begin() + lo, X.begin() + hi,
                                                               [&](double x) { return x < guess; }) -
                                          X.begin());
                j = j > i ? j - 1 : i;
                while (j > i && px(j) != column)
                    --j;
            }
            {
                uint32_t step = 1;
                while (j + step <= last && px(j + step) == column) {
                    j += step;
                    step *= 2;
                }
                uint32_t hi = std::min(last, j + step); // px(hi) != column, or hi == last
                while (hi > j + 1) {
                    uint32_t mid = j + (hi - j) / 2;
                    if (px(mid) == column)
                        j = mid;
                    else
                        hi = mid;
                }
                if (hi == last && px(last) == column) j = last;
            }
            // The extremes first: their scan of the column's ends brings
            // the first and last values into the cache.
            const TMinMaxTree::TExtremes e = s.YTree.Extremes(i, j, keepY);
            if (e.found()) {
                const uint32_t f = keepY.keeps(Y[i]) ? i : s.YTree.FirstKept(i, j, keepY);
                const uint32_t l = keepY.keeps(Y[j]) ? j : s.YTree.LastKept(f, j, keepY);
                bool columnStarts = true;
                auto put = [&](double y) {
                    const TPixelPoint p{column, yMap(y)};
                    if (plot.Points.empty() || !(plot.Points.back() == p)) {
                        if (columnStarts) breakBefore(f);
                        plot.Points.push_back(p);
                    }
                    columnStarts = false;
                };
                const bool minFirst = e.MinIndex <= e.MaxIndex;
                const uint32_t a = minFirst ? e.MinIndex : e.MaxIndex, b = minFirst ? e.MaxIndex : e.MinIndex;
                const double av = minFirst ? e.MinValue : e.MaxValue, bv = minFirst ? e.MaxValue : e.MinValue;
                put(Y[f]);
                if (a != f) put(av);
                if (b != a) put(bv);
                if (l != b) put(Y[l]);
                lastPut = l;
            }
            // The memory of the columns ahead, while this one is drawn: the
            // search for their edges and their first and last values.
            const std::size_t width = j - i + 1;
            for (std::size_t ahead = 1; ahead <= 2; ++ahead) {
                const std::size_t at = std::size_t{j} + ahead * width;
                if (at < X.size()) {
                    __builtin_prefetch(&X[at]);
                    __builtin_prefetch(&Y[at]);
                    __builtin_prefetch(&Y[at - width + 1]);
                }
            }
            i = j + 1;
        }
        return plot;
    }

    // x not in order: the range as the nearest points to the range ends, less
    // the points outside it, then runs of neighbouring points in one column.
    uint32_t first = GetPointNumber(xMin), last = GetPointNumber(xMax);
    if (first == 0 || last == 0) return plot;
    const uint32_t first0 = first, last0 = last;
    for (uint32_t i = first0; i <= last0; ++i) {
        if (below(X[i - 1])) ++first;
        if (above(X[i - 1])) --last;
    }
    if (first < 1 || last > n || first > last) return plot;
    uint32_t runStart = TMinMaxTree::npos, runMin = 0, runMax = 0, runLast = 0;
    int32_t runColumn = 0;
    auto flush = [&] {
        if (runStart == TMinMaxTree::npos) return;
        std::array<uint32_t, 4> order = {runStart, std::min(runMin, runMax), std::max(runMin, runMax),
                                         runLast};
        uint32_t previous = TMinMaxTree::npos;
        for (uint32_t k : order) {
            if (k == previous) continue;
            emit(k);
            previous = k;
        }
        runStart = TMinMaxTree::npos;
    };
    for (uint32_t i = first - 1; i < last; ++i) {
        if (!keepY.keeps(Y[i])) continue;
        if (everyPoint) {
            breakBefore(i);
            plot.Points.push_back(point(i));
            lastPut = i;
            continue;
        }
        const int32_t column = px(i);
        if (runStart != TMinMaxTree::npos && column != runColumn) flush();
        if (runStart == TMinMaxTree::npos) {
            runStart = runMin = runMax = i;
            runColumn = column;
        }
        if (Y[i] < Y[runMin]) runMin = i;
        if (Y[i] > Y[runMax]) runMax = i;
        runLast = i;
    }
    flush();
    return plot;
}

// ---------------------------------------------------------------------------
// TCurves

TCurves::TCurves(TAxes& axes) : Axes(axes) {}

TCurves::~TCurves() = default;

TCurve& TCurves::Add() {
    return Add(std::make_unique<TCurve>(Count()));
}

TCurve& TCurves::Add(std::unique_ptr<TCurve> curve) {
    items_.push_back(std::move(curve));
    return *items_.back();
}

TCurve& TCurves::GetCurve(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("curve index " + std::to_string(index));
    return *items_[static_cast<std::size_t>(index)];
}

const TCurve& TCurves::GetCurve(int index) const {
    if (index < 0 || index >= Count()) throw std::out_of_range("curve index " + std::to_string(index));
    return *items_[static_cast<std::size_t>(index)];
}

void TCurves::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    items_.erase(items_.begin() + index);
}

void TCurves::Clear() {
    items_.clear();
}

long double TCurves::Extreme(TAxis& axis, int mode, long double fromX, long double toX) {
    long double result = mode == 0 ? 1.0L : 0.0L;
    bool any = false;
    for (const auto& curve : items_) {
        if (!curve->Enabled || !curve->Series || curve->Series->Points == 0) continue;
        if (axis.IsYAxis() && curve->YAxis != axis.Orientation) continue;
        long double from = fromX, to = toX;
        if (toX < fromX) {
            from = curve->Series->GetX(1);
            to = curve->Series->GetX(curve->Series->Points);
        }
        const long double r = curve->Extreme(axis, mode, from, to).Value;
        if (!any || (mode == 0 ? r < result : r > result)) result = r;
        any = true;
    }
    axis.Visible = any;
    return result;
}

bool TCurves::SetupAxesInfo() {
    if (items_.empty()) return false;
    TAxis& x = Axes.Axis(0);

    auto scale = [&](TAxis& axis, long double fromX, long double toX) {
        if (!axis.AutoScaleMin && !axis.AutoScaleMax) {
            // Both ends typed by the user: the axis is still shown when it
            // carries a curve.
            bool any = false;
            for (const auto& curve : items_)
                if (curve->Enabled && curve->Series && curve->Series->Points > 0 &&
                    (!axis.IsYAxis() || curve->YAxis == axis.Orientation))
                    any = true;
            axis.Visible = any;
        }
        for (int round = 0; round < 2; ++round) {
            if (axis.AutoScaleMin) axis.Info.RangeMin.SetScaleValue(Extreme(axis, 0, fromX, toX));
            if (axis.AutoScaleMax) axis.Info.RangeMax.SetScaleValue(Extreme(axis, 1, fromX, toX));
            if (axis.Info.RangeMax.ScaleValue < axis.Info.RangeMin.ScaleValue) {
                const double oldMax = axis.Info.RangeMax.ScaleValue;
                axis.Info.RangeMax.SetScaleValue(axis.Info.RangeMin.ScaleValue);
                axis.Info.RangeMin.SetScaleValue(oldMax);
            }
            if (!(axis.Info.RangeMax.ScaleValue < axis.Info.RangeMin.ScaleValue)) break;
        }
    };

    scale(x, 1.0L, 0.0L);
    const long double fromX = x.Info.RangeMin.LiteralValue, toX = x.Info.RangeMax.LiteralValue;
    scale(Axes.Axis(1), fromX, toX);
    scale(Axes.Axis(2), fromX, toX);

    if (x.Info.RangeMin.ScaleValue > x.Info.RangeMax.ScaleValue) return false;
    for (int i = 1; i <= 2; ++i) {
        const TAxis& y = Axes.Axis(i);
        if (y.Visible && y.Info.RangeMin.ScaleValue > y.Info.RangeMax.ScaleValue) return false;
    }
    return true;
}

} // namespace quillmar
