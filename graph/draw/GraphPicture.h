#pragma once
// A graph as a picture file: a bitmap (BMP, PNG) drawn on a white image, or
// a vector drawing (SVG, PDF) whose text stays text. The graph window's
// Save as BMP and quillmar-cli plot both write through here.

#include "graph/draw/GraphDraw.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class QPainter;

namespace quillmar {

enum class TPictureFormat { Bmp, Png, Svg, Pdf };

// "BMP", "PNG", "SVG" or "PDF" in any letter case.
std::optional<TPictureFormat> PictureFormatNamed(const QString& name);
// The format a file name's extension names: .bmp, .png, .svg or .pdf, in
// any letter case.
std::optional<TPictureFormat> PictureFormatOfFile(const QString& fileName);
// The extension of a format's files, without the dot: "bmp", "png", "svg" or "pdf".
QString PictureFileSuffix(TPictureFormat format);

// Where a picture saved under a chosen format goes, and as what. A name
// ending in .bmp, .png, .svg or .pdf is written in the format it names;
// any other name gets the chosen format's extension appended.
struct TPictureFile {
    QString FileName;
    TPictureFormat Format = TPictureFormat::Bmp;
};
TPictureFile PictureFileFor(const QString& fileName, TPictureFormat chosen);

// The bytes of the picture file of the graph laid out for size (pixels; SVG
// and PDF pages at 96 dots per inch). title goes into the metadata of an SVG
// or PDF file. drawn tells whether there was anything to draw (the picture
// is blank otherwise). Empty when the picture cannot be made.
QByteArray GraphPictureBytes(TAxes& axes, TCurves& curves, TPictureFormat format, QSize size,
                             const TDrawOptions& options = {}, const QString& title = QString(),
                             bool* drawn = nullptr);

// The bytes of a picture file of size (as above) that paint draws on a
// painter active on the picture's device (a raster picture starts white; on
// a vector page paint fills its own background); paint returns whether
// there was anything to draw, which drawn tells. Empty when the picture
// cannot be made.
QByteArray PaintedPictureBytes(TPictureFormat format, QSize size, const QString& title,
                               const std::function<bool(QPainter&)>& paint, bool* drawn = nullptr);

} // namespace quillmar
