#pragma once
// A drawing surface over QPainter with the state the graph drawing expects:
// a current font, pen and pen position, text placed by its top-left corner,
// text rotated by the font's escapement, and a clip rectangle that can be
// set and restored. Works on any paint device: an image, an SVG or PDF
// generator or a printer. Lines are not antialiased; text is.

#include "graph/core/GraphTypes.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <string>
#include <vector>

namespace quillmar {

QColor toQColor(TColor color);
TColor fromQColor(const QColor& color);
// The font a TFont names, sized in device pixels (a positive height is the
// character cell, a negative one the characters alone).
QFont toQFont(const TFont& font);
QString toQString(const std::string& utf8);

class TCanvas : public TCanvasMetrics {
public:
    // The painter must be active on its device. The canvas is the device's
    // size, or size.
    explicit TCanvas(QPainter& painter);
    TCanvas(QPainter& painter, QSize size);
    ~TCanvas() override;

    QPainter& Painter() { return painter_; }

    TPixelRect ClipRect() const override;
    int PixelsPerInchX() const override;
    int PixelsPerInchY() const override;
    TTextExtent TextExtent(const TFont& font, const std::string& text) const override;

    TFont Font;
    TPen Pen;
    TPixelPoint PenPos;
    int Escapement = 0; // text angle in tenths of a degree, counter-clockwise

    int TextWidth(const std::string& text) const { return TextExtent(Font, text).Width; }
    int TextHeight(const std::string& text) const { return TextExtent(Font, text).Height; }
    void MoveTo(int x, int y) { PenPos = {x, y}; }
    void LineTo(int x, int y);
    // Text with its top-left corner at (x, y), turned by Escapement; the pen
    // position moves to (x + text width, y).
    void TextOut(int x, int y, const std::string& text);
    void Polyline(const std::vector<TPixelPoint>& points);
    // Filled with the background colour, outlined with the pen.
    void Polygon(const TPixelPoint* points, int count);

    // Clips to rect (right and bottom edges outside) until RestoreClip.
    void SetClipRect(const TPixelRect& rect);
    void RestoreClip();

    // Line widths grow with the device resolution above the screen's, so a
    // printed or PDF page shows lines as heavy as the window's.
    double LineScale() const { return lineScale_; }

private:
    void applyPen();

    QPainter& painter_;
    double lineScale_ = 1;
    TPixelRect clip_;
    bool savedClipping_ = false;
    QRegion savedClip_;
};

// Escapement from an angle in degrees: Round(angle x 10).
TFont& CreateRotatedFont(TCanvas& canvas, double angle);
// Text at (x, y) turned by angle degrees; the pen moves to the end of the text.
void RotatedTextOut(TCanvas& canvas, int x, int y, double angle, const std::string& text);
// Text at half height, raised by a quarter of the height from the pen
// position along the angle; the pen comes back onto the base line after it.
void SuperscriptTextOut(TCanvas& canvas, const std::string& text, double angle);

} // namespace quillmar
