#pragma once
// The images of the parameter tree and the parameter selectors, 16 x 16
// pixels each, numbered 0..38:
//   0..23  bit numbers: the number on a tile coloured by byte (0-7, 8-15,
//          16-23), with the bit's place in its byte marked below it;
//   24     a flag entry (binary digits);
//   25..38 kinds of value: 25 line chart, 26 bar chart, 27 identity chip,
//          28 pulse train, 29 rev counter, 30 speedometer, 31 area chart,
//          32 scatter plot, 33 pie chart, 34 clock, 35 distance, 36 power,
//          37 acceleration, 38 gear wheel.
// Every image is an opaque tile with a light glyph and a dark rim, so it
// reads the same on light and dark themes.

#include <QIcon>
#include <QImage>

namespace quillmar {

inline constexpr int FlagImageCount = 39;
inline constexpr int FlagImageSize = 16;
inline constexpr int FlagEntryImage = 24;
inline constexpr int TimeImage = 34;

// Draws image number index; a null image outside 0..38.
QImage DrawFlagImage(int index);

// The image list: the icon of image index, empty outside 0..38 (an entry
// without an image, Icon -1). Built once.
class TFlagImageList {
public:
    static const TFlagImageList& instance();
    QIcon icon(int index) const;
    int count() const { return FlagImageCount; }

private:
    TFlagImageList();
    QIcon icons_[FlagImageCount];
};

} // namespace quillmar
