#pragma once
// Plain pens, fonts and pixel geometry for the graph, and the small interface
// through which the axes measure text. Nothing here knows a painter: the
// drawing layer turns these into its own pens and fonts.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace quillmar {

// Colours are 0x00BBGGRR, as the curve colour table is written.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr int colorRed(TColor c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int colorGreen(TColor c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int colorBlue(TColor c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
constexpr TColor makeColor(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// Line styles 0..4 are the ones the curves dialog offers, in its order.
enum class TPenStyle : uint8_t { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Clear = 5 };
enum class TPenMode : uint8_t { Copy = 0, Not = 1 };

struct TPen {
    TColor Color = clBlack;
    TPenMode Mode = TPenMode::Copy;
    TPenStyle Style = TPenStyle::Solid;
    int Width = 1;
    bool operator==(const TPen&) const = default;
};

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum class TFontPitch : uint8_t { Default = 0, Variable = 1, Fixed = 2 };

// A font as the layout sees it. Height > 0 is the height of the character
// cell in pixels, Height < 0 minus the height of the characters alone; the
// layout always sets a positive cell height. Size is in points.
struct TFont {
    std::string Name = "Arial";
    int Height = -11;
    int PixelsPerInch = 96;
    uint8_t Style = 0; // TFontStyle bits
    TColor Color = clBlack;
    TFontPitch Pitch = TFontPitch::Default;
    uint8_t CharSet = 1;

    int Size() const;
    void SetSize(int points);
    bool operator==(const TFont&) const = default;
};

// Character set 0, black, "Arial", variable pitch, no style.
void SetDefaultFont(TFont& font);
// Black, copy mode, solid, width 1.
void SetDefaultPen(TPen& pen);

// a * b / c rounded half away from zero (0 when c is 0).
int mulDiv(int a, int b, int c);

// Round to the nearest integer, halves to the even neighbour, saturated to the
// 64-bit range; NaN gives 0.
inline int64_t roundEven(long double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9.2e18L) return std::numeric_limits<int64_t>::max();
    if (x <= -9.2e18L) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::llrint(x)); // the default mode: nearest, halves to even
}
// The same into 32 bits, saturated.
inline int32_t roundEven32(long double x) {
    int64_t r = roundEven(x);
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}
// Cut toward zero.
inline long double truncTowardZero(long double x) {
    return std::trunc(x);
}

struct TPixelPoint {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TPixelPoint&) const = default;
};

// A rectangle whose right and bottom edges lie just outside it.
struct TPixelRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    bool operator==(const TPixelRect&) const = default;
};

struct TTextExtent {
    int Width = 0;
    int Height = 0;
};

// What the layout and the scale setup need from a drawing surface: its clip
// rectangle, its resolution and the size of a text in a given font.
class TCanvasMetrics {
public:
    virtual ~TCanvasMetrics() = default;
    virtual TPixelRect ClipRect() const = 0;
    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
    virtual TTextExtent TextExtent(const TFont& font, const std::string& text) const = 0;
};

} // namespace quillmar
