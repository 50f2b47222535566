// The 39 images of the tree and the selectors: all drawn, all different, and
// each a light glyph on a tile dark enough to read on any theme.

#include "acquisition/window/FlagImageList.h"

#include <QColor>
#include <QImage>

#include <cmath>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace quillmar {
namespace {

double luminance(QRgb c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

TEST(FlagImageList, ThirtyNineLegibleDistinctImages) {
    std::set<QByteArray> seen;
    for (int i = 0; i < FlagImageCount; ++i) {
        const QImage image = DrawFlagImage(i).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(16, 16)) << i;
        int glyph = 0;
        std::map<QRgb, int> opaque;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const QRgb c = image.pixel(x, y);
                if (qAlpha(c) < 250) continue;
                ++opaque[c];
                if (luminance(c) > 0.8) ++glyph;
            }
        // The tile: the most common opaque colour that is not the glyph's, at
        // least 3:1 against white.
        QRgb tile = 0;
        int most = 0;
        for (const auto& [c, n] : opaque)
            if (luminance(c) <= 0.8 && n > most) {
                most = n;
                tile = c;
            }
        EXPECT_GE(glyph, 6) << "image " << i << " has no glyph to see";
        EXPECT_GE(1.05 / (luminance(tile) + 0.05), 3.0) << "image " << i << " tile too light";
        EXPECT_GE(most, 40) << "image " << i << " has no tile";
        seen.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), int(image.sizeInBytes())));
    }
    EXPECT_EQ(seen.size(), size_t(FlagImageCount));
    EXPECT_TRUE(DrawFlagImage(-1).isNull());
    EXPECT_TRUE(DrawFlagImage(39).isNull());
    EXPECT_TRUE(TFlagImageList::instance().icon(-1).isNull());
    EXPECT_FALSE(TFlagImageList::instance().icon(24).isNull());
}

} // namespace
} // namespace quillmar
