#pragma once
// A surface for the scale and layout tests: fixed pixel sizes per character,
// so every label measure is known exactly.

#include "graph/core/GraphTypes.h"

#include <string>

namespace quillmar::testing {

struct FakeMetrics : TCanvasMetrics {
    TPixelRect Clip{0, 0, 800, 600};
    int CharWidth = 7;
    int TextHeight = 14;
    int Ppi = 96;

    TPixelRect ClipRect() const override { return Clip; }
    int PixelsPerInchX() const override { return Ppi; }
    int PixelsPerInchY() const override { return Ppi; }
    TTextExtent TextExtent(const TFont&, const std::string& text) const override {
        return {CharWidth * static_cast<int>(text.size()), TextHeight};
    }
};

} // namespace quillmar::testing
