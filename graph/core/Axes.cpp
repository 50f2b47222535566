#include "graph/core/Axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace quillmar {

namespace {

long double pow10(long double e) {
    return std::pow(10.0L, e);
}

uint16_t clampU16(int64_t v) {
    return static_cast<uint16_t>(std::clamp<int64_t>(v, 0, 65535));
}

// Fixed-point text right-aligned to at least width characters. A value that
// prints as a negative zero ("-0.00") is written without its sign.
std::string fixedText(long double v, int decimals, int width) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%*.*Lf", width, decimals, v);
    std::string text = buffer;
    auto minus = text.find('-');
    if (minus != std::string::npos && text.find_first_not_of("-0. ", 0) == std::string::npos)
        text[minus] = ' ';
    if (text.size() > static_cast<std::size_t>(width) && text.front() == ' ') text.erase(0, 1);
    return text;
}

std::string trimLeft(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

std::string intText(long double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0Lf", std::trunc(v));
    std::string text = buffer;
    if (text == "-0") text = "0";
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// TInfoPoint, TAxisInfo, TTitle

void TInfoPoint::SetScaleValue(long double v) {
    ScaleValue = static_cast<double>(v);
    LiteralValue = ScaleType == LogScale ? static_cast<double>(pow10(v)) : static_cast<double>(v);
}

void TInfoPoint::SetLiteralValue(long double v) {
    LiteralValue = static_cast<double>(v);
    if (ScaleType == LogScale) {
        if (v > 0)
            ScaleValue = static_cast<double>(std::log10(v));
        else
            SetScaleValue(0);
    } else {
        ScaleValue = static_cast<double>(v);
    }
}

void TInfoPoint::SetScaleType(TScaleType t) {
    ScaleType = t;
    SetLiteralValue(LiteralValue);
}

void TInfoPoint::Assign(const TInfoPoint& source) {
    SetLiteralValue(source.LiteralValue);
    ScaleType = source.ScaleType;
}

void TAxisInfo::SetScaleType(TScaleType t) {
    ScaleType = t;
    AxisStart.SetScaleType(t);
    AxisEnd.SetScaleType(t);
    RangeMin.SetScaleType(t);
    RangeMax.SetScaleType(t);
}

void TAxisInfo::Assign(const TAxisInfo& source) {
    AxisStart.Assign(source.AxisStart);
    AxisEnd.Assign(source.AxisEnd);
    RangeMin.Assign(source.RangeMin);
    RangeMax.Assign(source.RangeMax);
    ScaleType = source.ScaleType;
}

TTitle::TTitle() {
    SetDefaultFont(Font);
}

void TTitle::Assign(const TTitle& source) {
    Line1 = source.Line1;
    Line2 = source.Line2;
    ShowLegend = source.ShowLegend;
    Font = source.Font;
    FontDivisor = source.FontDivisor;
}

// ---------------------------------------------------------------------------
// TAxis

TAxis::TAxis() {
    SetDefaultFont(Font);
    SetDefaultPen(Pen);
}

void TAxis::SetScaleType(TScaleType t) {
    Scaling = t;
    Info.SetScaleType(t);
}

void TAxis::Assign(const TAxis& source) {
    Label = source.Label;
    Units = source.Units;
    Exponent = source.Exponent;
    TickLength = source.TickLength;
    TickDivisor = source.TickDivisor;
    TickCount = source.TickCount;
    FontDivisor = source.FontDivisor;
    SetScaleType(source.Scaling);
    TickStep = source.TickStep;
    Decimals = source.Decimals;
    LabelWidth = source.LabelWidth;
    Orientation = source.Orientation;
    AutoScaleMin = source.AutoScaleMin;
    AutoScaleMax = source.AutoScaleMax;
    Font = source.Font;
    Info.Assign(source.Info);
    Pen = source.Pen;
}

long double TAxis::FactorValtoPix() const {
    long double s0 = Info.AxisStart.ScaleValue, s1 = Info.AxisEnd.ScaleValue;
    if (s1 == s0) return 0;
    return (static_cast<long double>(Info.AxisEnd.Pixel) - Info.AxisStart.Pixel) / (s1 - s0);
}

long double TAxis::FactorPixtoVal() const {
    // Before the first layout both pixels are 0: no factor rather than a
    // division by zero.
    long double p0 = Info.AxisStart.Pixel, p1 = Info.AxisEnd.Pixel;
    if (p1 == p0) return 0;
    return (static_cast<long double>(Info.AxisEnd.ScaleValue) - Info.AxisStart.ScaleValue) / (p1 - p0);
}

long double TAxis::GetValue(int32_t pixel) const {
    long double s0 = Info.AxisStart.ScaleValue;
    long double r = FactorPixtoVal() * (static_cast<long double>(pixel) - Info.AxisStart.Pixel) + s0;
    if (Scaling != LogScale) return r;
    long double v = pow10(r);
    if (!std::isfinite(v)) return s0;
    return v;
}

TPixelMap TAxis::PixelMap() const {
    return {Scaling == LogScale, Info.AxisStart.ScaleValue, FactorValtoPix(), Info.AxisStart.Pixel};
}

int32_t TAxis::GetPixel(long double value) const {
    return PixelMap()(value);
}

void TAxis::SetupScale(const TCanvasMetrics& canvas) {
    Exponent = 0;
    long double lo = Info.RangeMin.ScaleValue;
    long double hi = Info.RangeMax.ScaleValue;
    const long double length = std::abs(static_cast<long double>(Info.AxisEnd.Pixel) - Info.AxisStart.Pixel);
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        // Infinite or missing data values: a plain unit range rather than a
        // normalisation that never ends.
        lo = 0;
        hi = 1;
    }
    if (hi < lo) std::swap(lo, hi);
    if (lo == hi) {
        if (lo == 0) {
            if (Scaling == LogScale) {
                // All data at 1: a decade either side. Twice 1e9 decades would
                // ask for hundreds of thousands of ticks.
                lo = -1;
                hi = 1;
            } else {
                lo = -1e-9L;
                hi = 1e9L;
            }
        } else if (lo > 0) {
            hi = 2 * lo;
            lo = 0;
        } else {
            lo = 2 * lo;
            hi = 0;
        }
    }

    long double range = hi - lo;
    if (Scaling == LinearScale) {
        long double factor = 1;
        if (range > 10000)
            factor = 0.1L;
        else if (range < 0.005L)
            factor = 10;
        int n = 0;
        if (factor != 1) {
            while (range < 0.005L || range > 10000 || (range != 0 && n % 3 != 0)) {
                range *= factor;
                lo *= factor;
                hi *= factor;
                ++n;
            }
        }
        Exponent = factor == 10 ? n : -n;
    }

    const long double m = std::trunc(range);
    int index;
    if (m == 0)
        index = 1;
    else if (m >= 1 && m <= 5)
        index = 5;
    else if (m >= 6 && m <= 9)
        index = 6;
    else if (m >= 10 && m <= 30)
        index = 7;
    else if (m >= 31 && m <= 50)
        index = 8;
    else if (m >= 51 && m <= 100)
        index = 9;
    else if (m >= 101 && m <= 200)
        index = 10;
    else if (m >= 201 && m <= 2000)
        index = 13;
    else if (m >= 2001 && m <= 4000)
        index = 14;
    else if (m >= 4001 && m <= 10000)
        index = 15;
    else
        index = 7;
    if (Scaling == LogScale && index < 7) index = 7;

    long double first = 0, last = 0;
    for (;;) {
        const long double step = StepTable[static_cast<std::size_t>(index)];
        first = std::trunc(lo / step) * step;
        if (first > lo) first -= step;
        last = static_cast<long double>(roundEven(hi / step)) * step;
        if (last < hi - 1e-4L) last += step;
        TickCount = clampU16(roundEven((last - first) / step) + 1);
        if (index <= 3) {
            Decimals = 3;
            LabelWidth = 6;
        } else if (index <= 5) {
            Decimals = 2;
            LabelWidth = 5;
        } else if (index == 6) {
            Decimals = 1;
            LabelWidth = 5;
        } else if (index <= 16) {
            Decimals = 0;
            std::size_t w = std::max(intText(first).size(), intText(last).size());
            LabelWidth = static_cast<uint8_t>(std::min<std::size_t>(1 + w, 255));
        } // 17 and 18 keep the previous candidate's format
        const TTextExtent extent = canvas.TextExtent(Font, FormatLabel(last));
        const long double labelSize =
            Orientation == 0 ? static_cast<long double>(roundEven(extent.Width * 1.5L)) : extent.Height;
        const bool fits = labelSize <= 0 ? length > 0 : TickCount < length / labelSize;
        if ((TickCount < 15 && fits) || TickCount < 4) break;
        if (index == 18) break;
        ++index;
    }

    const long double back = pow10(-Exponent);
    first *= back;
    last *= back;
    TickStep = StepTable[static_cast<std::size_t>(index)];
    Info.AxisStart.SetScaleValue(first);
    Info.AxisEnd.SetScaleValue(last);
    Info.RangeMin.Pixel = GetPixel(Info.RangeMin.LiteralValue);
    Info.RangeMax.Pixel = GetPixel(Info.RangeMax.LiteralValue);
}

long double TAxis::TickValue(int k) const {
    return static_cast<long double>(Info.AxisStart.ScaleValue) * pow10(Exponent) +
           static_cast<long double>(k) * TickStep;
}

int32_t TAxis::TickOffset(int k) const {
    long double s0 = Info.AxisStart.ScaleValue, s1 = Info.AxisEnd.ScaleValue;
    if (s1 == s0) return 0;
    long double extent = std::abs(static_cast<long double>(Info.AxisEnd.Pixel) - Info.AxisStart.Pixel);
    return roundEven32(static_cast<long double>(k) * TickStep * pow10(-Exponent) * extent / (s1 - s0));
}

std::string TAxis::FormatLabel(long double labelled) const {
    return fixedText(labelled, Decimals, LabelWidth);
}

std::string TAxis::TickLabel(int k) const {
    long double v = TickValue(k);
    if (Scaling == LogScale) return std::to_string(roundEven(v));
    return trimLeft(FormatLabel(v));
}

TAxisCaption TAxis::Caption() const {
    TAxisCaption caption;
    if (Exponent == 0) {
        caption.Main = Label;
        if (!Units.empty()) caption.Main += " (" + Units + ")";
    } else {
        caption.Main = Label + " (10";
        caption.Superscript = std::to_string(-Exponent);
        caption.Tail = " " + Units + ")";
    }
    return caption;
}

std::string TAxis::ReadoutText(long double value) const {
    std::string text = fixedText(value * pow10(Exponent), Decimals + 3, LabelWidth + 3);
    if (Exponent != 0) text += "E" + std::to_string(-Exponent);
    return text;
}

std::string TAxis::RangeText(long double value) const {
    std::string text = fixedText(value * pow10(Exponent), 3, 5);
    if (Exponent != 0) text += "E" + std::to_string(-Exponent);
    return text;
}

// ---------------------------------------------------------------------------
// TAxes

TAxes::TAxes() {
    for (int i = 0; i < 3; ++i)
        axis_[static_cast<std::size_t>(i)].Orientation = static_cast<int8_t>(i);
}

TAxis& TAxes::Axis(int index) {
    if (index < 0 || index > 2) throw std::out_of_range("axis index " + std::to_string(index));
    return axis_[static_cast<std::size_t>(index)];
}

const TAxis& TAxes::Axis(int index) const {
    if (index < 0 || index > 2) throw std::out_of_range("axis index " + std::to_string(index));
    return axis_[static_cast<std::size_t>(index)];
}

void TAxes::Assign(const TAxes& source) {
    Title.Assign(source.Title);
    for (std::size_t i = 0; i < 3; ++i)
        axis_[i].Assign(source.axis_[i]);
}

void ResizeFont(TFont& font, uint16_t divisor, int32_t clientHeight, const TCanvasMetrics& canvas) {
    // A divisor of 0 (a font dialog asked for an enormous size) counts as 1.
    int64_t h = roundEven(static_cast<long double>(clientHeight) / std::max<uint16_t>(divisor, 1));
    if (h < 8) h = 8;
    h = std::min<int64_t>(h, 1 << 20);
    if (font.Height != h) {
        font.PixelsPerInch = canvas.PixelsPerInchX();
        font.Height = static_cast<int>(h);
    }
}

void TAxes::GetClientAreaInfo(const TCanvasMetrics& canvas) {
    const TPixelRect clip = canvas.ClipRect();
    ClientHeight = clip.Bottom;
    ClientWidth = clip.Right;
    TAxis& x = axis_[0];
    TAxis& left = axis_[1];
    TAxis& right = axis_[2];

    ResizeFont(Title.Font, Title.FontDivisor, ClientHeight, canvas);
    if (LegendFont) ResizeFont(*LegendFont, LegendFontDivisor, ClientHeight, canvas);
    for (TAxis& a : axis_)
        ResizeFont(a.Font, a.FontDivisor, ClientHeight, canvas);

    auto tick = [](int32_t extent, uint16_t divisor) {
        return clampU16(roundEven(static_cast<long double>(extent) / std::max<uint16_t>(divisor, 1)));
    };
    left.TickLength = tick(ClientHeight, x.TickDivisor);
    right.TickLength = tick(ClientHeight, x.TickDivisor);
    x.TickLength = tick(ClientWidth, left.TickDivisor);

    const long double leftHeight = left.Font.Height;
    int64_t top;
    if (Title.Line1.empty() && Title.Line2.empty())
        top = roundEven(2 * leftHeight);
    else
        top = roundEven(std::abs(leftHeight + Title.Font.Height) * 2.2L);

    for (long double k = 2.0L;; k -= 0.5L) {
        int64_t margin = roundEven(std::abs(leftHeight) * k * 2);
        x.Info.AxisEnd.Pixel = static_cast<int32_t>(ClientWidth - margin);
        x.Info.AxisStart.Pixel = static_cast<int32_t>(margin);
        if (x.Info.AxisEnd.Pixel > x.Info.AxisStart.Pixel) break;
    }
    for (long double k = 2.0L;; k -= 0.5L) {
        left.Info.AxisEnd.Pixel = static_cast<int32_t>(top);
        left.Info.AxisStart.Pixel = static_cast<int32_t>(
            ClientHeight - roundEven(std::abs(static_cast<long double>(x.Font.Height)) * k * 2));
        if (left.Info.AxisEnd.Pixel < left.Info.AxisStart.Pixel) break;
    }
    right.Info.AxisStart.Pixel = left.Info.AxisStart.Pixel;
    right.Info.AxisEnd.Pixel = left.Info.AxisEnd.Pixel;
}

} // namespace quillmar
