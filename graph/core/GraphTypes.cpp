#include "graph/core/GraphTypes.h"

#include <cstdlib>

namespace quillmar {

int mulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    long long p = static_cast<long long>(a) * b;
    long long q = p / c, r = p % c;
    if (std::llabs(r) * 2 >= std::llabs(static_cast<long long>(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(q);
}

int TFont::Size() const {
    return -mulDiv(Height, 72, PixelsPerInch);
}

void TFont::SetSize(int points) {
    Height = -mulDiv(points, PixelsPerInch, 72);
}

void SetDefaultFont(TFont& font) {
    font.CharSet = 0;
    font.Color = clBlack;
    font.Name = "Arial";
    font.Pitch = TFontPitch::Variable;
    font.Style = 0;
}

void SetDefaultPen(TPen& pen) {
    pen.Color = clBlack;
    pen.Mode = TPenMode::Copy;
    pen.Style = TPenStyle::Solid;
    pen.Width = 1;
}

} // namespace quillmar
