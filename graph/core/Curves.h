#pragma once
// Curves of an XY graph: one plotted x/y series with its pens, markers and
// y-axis choice, and the graph's ordered collection of them. The collection
// finds the extremes that auto-scaled axes fit; a curve maps its points
// through the axes and reduces long series to what the pixel columns show.

#include "graph/core/Axes.h"
#include "graph/core/SeriesIndex.h"
#include "store/Store.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace quillmar {

// Colour of curve n is CurveColors[n mod 11].
constexpr std::array<TColor, 11> CurveColors = {0xFF0000, 0x000000, 0xFF00FF, 0x008000, 0x000080, 0x800000,
                                                0x008080, 0x800080, 0x0000FF, 0x00FF00, 0xFFFF00};
// Pen styles 0..4 and marker kinds 0..2 as the curves dialog names them.
extern const std::array<const char*, 5> LineStyleNames;
extern const std::array<const char*, 3> MarkerKindNames;

struct TExtreme {
    long double Value = 0;
    int32_t Point = 0;
};

// What one curve puts on a surface: the clip rectangle (the plot area widened
// by 2.5 % each side) and the pixel points of the polyline, in order.
struct TCurvePlot {
    TPixelRect Clip;
    std::vector<TPixelPoint> Points;
    // Positions in Points where the line starts again: a point without a y
    // value (NaN, a user channel's row without a value) lay between the
    // point before and this one, and the line leaves a gap there. Ascending.
    std::vector<std::size_t> Breaks;
};

class TCurve {
public:
    // position: the curve's index in its collection when it is created.
    explicit TCurve(int position);
    virtual ~TCurve();
    TCurve(const TCurve&) = delete;
    TCurve& operator=(const TCurve&) = delete;

    bool Enabled = false;
    bool ShowMarkers = false;
    uint8_t MarkerKind = 0; // 0 square, 1 triangle, 2 diamond
    TPen MarkerPen;
    int32_t MarkerSize = 0;       // points; set from MarkerDivisor before each draw
    double MarkerDivisor = 100.0; // clip bottom / divisor = marker width in pixels
    bool ShowLine = true;
    TPen LinePen;
    std::unique_ptr<TxyDataStruct> Series; // points 1..Points, x ascending
    uint8_t YAxis = 1;                     // 1 left, 2 right
    std::string Name;

    // The 1-based index of the point whose x is nearest x.
    uint32_t GetPointNumber(long double x) const;
    // mode 0 minimum, 1 maximum over fromX..toX (all points unless toX > fromX),
    // in the axis' scale. (324, 1) or (-324, 1) when no point takes part.
    virtual TExtreme Extreme(const TAxis& axis, int mode, long double fromX, long double toX) const;

    // The points a drawing puts through the axes: those inside the x range and the
    // visible y range, in order. Long series are reduced to the first, lowest,
    // highest and last point of each pixel column; everyPoint keeps them all.
    TCurvePlot PlotPoints(const TAxes& axes, bool everyPoint = false) const;

    // The curve keeps a summary of its series for fast drawing and notices
    // when the series is replaced, resized or rescaled. After changing values
    // of the series in place, call SeriesChanged.
    void SeriesChanged();

private:
    struct TSummary;
    struct TPlotCache;
    const TSummary& summary() const;
    TCurvePlot computePlot(const TAxes& axes, bool everyPoint) const;
    mutable std::unique_ptr<TSummary> summary_;
    mutable uint64_t summaryGeneration_ = 0;
    mutable std::unique_ptr<TPlotCache> plotCache_; // the last plot and what it was made from
};

class TCurves {
public:
    // axes: the graph's axes, which the curves are drawn through.
    explicit TCurves(TAxes& axes);
    virtual ~TCurves();
    TCurves(const TCurves&) = delete;
    TCurves& operator=(const TCurves&) = delete;

    TAxes& Axes;

    // A new curve at the end, named "Curve " + its index.
    TCurve& Add();
    // Takes a curve made elsewhere (a derived class) at the end.
    TCurve& Add(std::unique_ptr<TCurve> curve);
    int Count() const { return static_cast<int>(items_.size()); }
    // 0-based; throws std::out_of_range outside 0..Count-1.
    TCurve& GetCurve(int index);
    const TCurve& GetCurve(int index) const;
    void Delete(int index);
    void Clear();

    // mode 0 minimum, 1 maximum over the enabled curves with points on that
    // axis; sets the axis' Visible flag.
    long double Extreme(TAxis& axis, int mode, long double fromX, long double toX);
    // Auto-scaled ranges from the data; false when there is nothing to draw.
    bool SetupAxesInfo();

private:
    std::vector<std::unique_ptr<TCurve>> items_;
};

} // namespace quillmar
