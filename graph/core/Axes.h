#pragma once
// Axes and scales of an XY graph: the four scale points of an axis, the choice
// of a readable tick step with a power-of-ten exponent, value/pixel
// conversion and the page layout that places the plot area on a surface.
//
// Every value here is in the axis' own scale: on a logarithmic axis a scale
// value is log10 of the data ("literal") value. The pixels are those of the
// surface of the last layout.

#include "graph/core/GraphTypes.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace quillmar {

using TScaleType = uint8_t;
constexpr TScaleType LinearScale = 0;
constexpr TScaleType LogScale = 1;

// One scale point: a value in the axis' scale, the same in data units, and the
// pixel where it lies.
class TInfoPoint {
public:
    virtual ~TInfoPoint() = default;

    TScaleType ScaleType = LinearScale;
    double ScaleValue = 0;
    double LiteralValue = 0;
    int32_t Pixel = 0;

    // Keeps the data value under the new scale type.
    virtual void SetScaleType(TScaleType t);
    virtual void SetScaleValue(long double v);
    // On a logarithmic axis a value <= 0 becomes scale 0 (data value 1).
    virtual void SetLiteralValue(long double v);
    // The data value under this point's own scale type, then the source's
    // type. The pixel is not copied.
    virtual void Assign(const TInfoPoint& source);
};

class TAxisInfo {
public:
    virtual ~TAxisInfo() = default;

    TScaleType ScaleType = LinearScale;
    TInfoPoint AxisStart; // first tick; pixel of the low end (x: left, y: bottom)
    TInfoPoint AxisEnd;   // last tick; pixel of the high end (x: right, y: top)
    TInfoPoint RangeMin;  // the requested minimum (data or user)
    TInfoPoint RangeMax;  // the requested maximum

    virtual void SetScaleType(TScaleType t);
    virtual void Assign(const TAxisInfo& source);
};

class TTitle {
public:
    TTitle();

    std::string Line1;
    std::string Line2;
    TFont Font;
    uint16_t FontDivisor = 35;
    bool ShowLegend = false;

    void Assign(const TTitle& source);
};

// The pieces of an axis caption: Main, then Superscript raised, then Tail.
struct TAxisCaption {
    std::string Main;
    std::string Superscript;
    std::string Tail;
};

// The value-to-pixel conversion of an axis with its factor worked out once,
// for converting many points: the same arithmetic as TAxis::GetPixel.
struct TPixelMap {
    bool Log = false;
    long double S0 = 0;
    long double Factor = 0;
    int32_t P0 = 0;

    int32_t operator()(long double value) const {
        long double v = value;
        if (Log) v = value > 0 ? std::log10(value) : S0;
        long double t = (v - S0) * Factor;
        if (std::isnan(t)) t = 0; // no data value: the axis start
        int64_t r = static_cast<int64_t>(roundEven32(t)) + P0;
        if (r <= 0) return 0;
        return r > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(r);
    }
};

class TAxis {
public:
    TAxis();
    virtual ~TAxis() = default;
    TAxis(const TAxis&) = delete;
    TAxis& operator=(const TAxis&) = delete;

    // The 18 tick steps, 1-based in the loop of SetupScale (index 0 unused).
    static constexpr std::array<double, 19> StepTable = {
        0, 0.001, 0.005, 0.01, 0.05, 0.25, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2500, 5000};

    TScaleType Scaling = LinearScale;
    std::string Label;
    std::string Units;
    TFont Font;
    int32_t Exponent = 0; // tick labels show value x 10^Exponent
    uint16_t TickLength = 0;
    uint16_t TickDivisor = 105;
    uint16_t TickCount = 0;
    uint16_t FontDivisor = 35;
    TAxisInfo Info;
    double TickStep = 0; // in labelled units
    uint8_t Decimals = 0;
    uint8_t LabelWidth = 0;
    int8_t Orientation = 0; // 0 x, 1 left y, 2 right y
    bool AutoScaleMin = true;
    bool AutoScaleMax = true;
    TPen Pen;
    bool Visible = false;

    // Pixel to data value.
    virtual long double GetValue(int32_t pixel) const;
    // Data value to pixel, never negative.
    virtual int32_t GetPixel(long double value) const;
    virtual long double FactorValtoPix() const;
    TPixelMap PixelMap() const;
    virtual long double FactorPixtoVal() const;
    // Tick step, exponent, label format and the first and last tick from the
    // requested range and the axis' pixel length; labels are measured with
    // the axis font on canvas.
    virtual void SetupScale(const TCanvasMetrics& canvas);
    virtual void SetScaleType(TScaleType t);
    void Assign(const TAxis& source);

    bool IsYAxis() const { return Orientation == 1 || Orientation == 2; }

    // Tick k (0-based): its labelled value (x 10^Exponent), its pixel offset
    // from AxisStart.Pixel, and its label text without leading blanks. On a
    // logarithmic axis the label is the exponent drawn after "10".
    long double TickValue(int k) const;
    int32_t TickOffset(int k) const;
    std::string TickLabel(int k) const;
    // A labelled value in the label format, padded to LabelWidth.
    std::string FormatLabel(long double labelled) const;
    TAxisCaption Caption() const;
    // A value as the crosshair read-out writes it: v x 10^E with Decimals + 3
    // digits in a field of LabelWidth + 3, then "E" and -E when E is not 0.
    std::string ReadoutText(long double value) const;
    // A range value as the axes dialog shows it: v x 10^E with 3 digits in a
    // field of 5, then "E" and -E when E is not 0.
    std::string RangeText(long double value) const;
};

// The three axes and the title of a graph, and the layout that places them.
class TAxes {
public:
    TAxes();
    TAxes(const TAxes&) = delete;
    TAxes& operator=(const TAxes&) = delete;

    // Index 0 x, 1 left y, 2 right y; any other index throws std::out_of_range.
    TAxis& Axis(int index);
    const TAxis& Axis(int index) const;

    TTitle Title;
    int32_t ClientHeight = 0;
    int32_t ClientWidth = 0;
    // The legend's font follows the layout like the others (divisor 30).
    TFont* LegendFont = nullptr;
    uint16_t LegendFontDivisor = 30;

    // Copies the title, then the axes 0, 1, 2.
    void Assign(const TAxes& source);
    // The layout: client size from the clip rectangle, font heights from the
    // client height, tick lengths, margins and the axes' end pixels.
    void GetClientAreaInfo(const TCanvasMetrics& canvas);

private:
    std::array<TAxis, 3> axis_;
};

// h = Round(client height / divisor), at least 8; when the font's height
// differs, its pixels per inch become the canvas' and its height h.
void ResizeFont(TFont& font, uint16_t divisor, int32_t clientHeight, const TCanvasMetrics& canvas);

} // namespace quillmar
