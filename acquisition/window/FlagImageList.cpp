#include "acquisition/window/FlagImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <cmath>

namespace quillmar {

namespace {

// 3 x 5 pixel digits, one row of three bits per entry, top row first.
constexpr std::array<std::array<uint8_t, 5>, 10> Digits{{
    {0b111, 0b101, 0b101, 0b101, 0b111}, // 0
    {0b010, 0b110, 0b010, 0b010, 0b111}, // 1
    {0b111, 0b001, 0b111, 0b100, 0b111}, // 2
    {0b111, 0b001, 0b111, 0b001, 0b111}, // 3
    {0b101, 0b101, 0b111, 0b001, 0b001}, // 4
    {0b111, 0b100, 0b111, 0b001, 0b111}, // 5
    {0b111, 0b100, 0b111, 0b101, 0b111}, // 6
    {0b111, 0b001, 0b001, 0b001, 0b001}, // 7
    {0b111, 0b101, 0b111, 0b101, 0b111}, // 8
    {0b111, 0b101, 0b111, 0b001, 0b111}, // 9
}};

const QColor Glyph(255, 255, 255);

void drawDigit(QPainter& p, int digit, int x, int y, int scale, const QColor& colour) {
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
            if (Digits[size_t(digit)][size_t(row)] & (0b100 >> col))
                p.fillRect(x + col * scale, y + row * scale, scale, scale, colour);
}

// The opaque tile every image sits on: its colour, a darker rim.
void drawTile(QPainter& p, const QColor& fill) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(fill.darker(170), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15.0, 15.0), 2.5, 2.5);
}

QPen glyphPen(double width = 1.4) {
    QPen pen(Glyph, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Bit b: its number in large pixel digits, and below it a strip of eight
// marks, most significant first, with the bit's own mark lit.
void drawBit(QPainter& p, int bit) {
    static const QColor byteColours[3] = {QColor(0x1f, 0x5f, 0xbf), QColor(0x1b, 0x7a, 0x45),
                                          QColor(0xb3, 0x4a, 0x00)};
    drawTile(p, byteColours[bit / 8]);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (bit < 10) {
        drawDigit(p, bit, 5, 1, 2, Glyph);
    } else {
        drawDigit(p, bit / 10, 1, 1, 2, Glyph);
        drawDigit(p, bit % 10, 9, 1, 2, Glyph);
    }
    const int place = bit % 8;
    for (int k = 0; k < 8; ++k) {
        const int x = 1 + 2 * (7 - k);
        QColor c = Glyph;
        if (k != place) c.setAlpha(90);
        p.fillRect(x, k == place ? 12 : 13, 1, k == place ? 3 : 2, c);
    }
}

// A flag entry: "101" over "010".
void drawFlagEntry(QPainter& p) {
    drawTile(p, QColor(0x45, 0x5a, 0x64));
    p.setRenderHint(QPainter::Antialiasing, false);
    const int top[3] = {1, 0, 1};
    const int bottom[3] = {0, 1, 0};
    for (int k = 0; k < 3; ++k) {
        drawDigit(p, top[k], 2 + 4 * k, 2, 1, Glyph);
        drawDigit(p, bottom[k], 2 + 4 * k, 9, 1, Glyph);
    }
}

void drawAxes(QPainter& p) {
    p.setPen(glyphPen(1.0));
    p.drawLine(QPointF(3, 3), QPointF(3, 13));
    p.drawLine(QPointF(3, 13), QPointF(13, 13));
}

void drawLineChart(QPainter& p) {
    drawTile(p, QColor(0x00, 0x6d, 0x8f));
    drawAxes(p);
    p.setPen(glyphPen());
    const QPointF pts[] = {{4.5, 10.5}, {7, 7}, {9, 9}, {12.5, 4}};
    p.drawPolyline(pts, 4);
}

void drawBarChart(QPainter& p) {
    drawTile(p, QColor(0x5e, 0x35, 0xb1));
    drawAxes(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawRect(QRectF(5, 8, 2, 5));
    p.drawRect(QRectF(8, 5, 2, 8));
    p.drawRect(QRectF(11, 9.5, 2, 3.5));
}

void drawChip(QPainter& p) {
    drawTile(p, QColor(0x37, 0x47, 0x4f));
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawRect(QRectF(5, 4, 6, 8));
    p.setPen(glyphPen(1.0));
    for (int k = 0; k < 3; ++k) {
        const double y = 5.5 + 2.5 * k;
        p.drawLine(QPointF(2.5, y), QPointF(4.5, y));
        p.drawLine(QPointF(11.5, y), QPointF(13.5, y));
    }
    p.setPen(QPen(QColor(0x37, 0x47, 0x4f), 1.0));
    p.drawEllipse(QPointF(6.8, 5.8), 0.6, 0.6);
}

void drawPulses(QPainter& p) {
    drawTile(p, QColor(0x00, 0x79, 0x6b));
    p.setPen(glyphPen());
    const QPointF pts[] = {{2.5, 11}, {4.5, 11}, {4.5, 5}, {7, 5},   {7, 11},
                           {9.5, 11}, {9.5, 5},  {12, 5},  {12, 11}, {13.5, 11}};
    p.drawPolyline(pts, 10);
}

// A round dial with ticks; the needle at angle degrees (0 = pointing right).
void drawDial(QPainter& p, const QColor& fill, double angle) {
    drawTile(p, fill);
    p.setPen(glyphPen(1.3));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(2.5, 3, 11, 11);
    p.drawArc(arc, -30 * 16, 240 * 16);
    const QPointF centre(8, 8.5);
    for (double a : {210.0, 150.0, 90.0, 30.0, -30.0}) {
        const double r = a * M_PI / 180.0;
        p.drawPoint(QPointF(centre.x() + 3.8 * std::cos(r), centre.y() - 3.8 * std::sin(r)));
    }
    const double r = angle * M_PI / 180.0;
    p.setPen(glyphPen(1.5));
    p.drawLine(centre, QPointF(centre.x() + 4.5 * std::cos(r), centre.y() - 4.5 * std::sin(r)));
    p.setBrush(Glyph);
    p.drawEllipse(centre, 1.0, 1.0);
}

void drawRevCounter(QPainter& p) {
    drawDial(p, QColor(0xc6, 0x28, 0x28), 40);
}

void drawSpeedometer(QPainter& p) {
    drawDial(p, QColor(0x15, 0x65, 0xc0), 120);
}

void drawAreaChart(QPainter& p) {
    drawTile(p, QColor(0x2e, 0x7d, 0x32));
    drawAxes(p);
    QPainterPath area;
    area.moveTo(4, 13);
    area.lineTo(4, 9);
    area.lineTo(7, 6);
    area.lineTo(10, 8);
    area.lineTo(13, 4);
    area.lineTo(13, 13);
    area.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawPath(area);
}

void drawScatter(QPainter& p) {
    drawTile(p, QColor(0x6a, 0x1b, 0x9a));
    drawAxes(p);
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    for (const QPointF c :
         {QPointF(6, 10), QPointF(8, 7.5), QPointF(10.5, 9), QPointF(11.5, 5), QPointF(6.5, 5.5)})
        p.drawEllipse(c, 1.2, 1.2);
}

void drawPie(QPainter& p) {
    drawTile(p, QColor(0xad, 0x14, 0x57));
    p.setPen(glyphPen(1.2));
    p.setBrush(Qt::NoBrush);
    const QRectF r(3, 3, 10, 10);
    p.drawEllipse(r);
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawPie(r, 90 * 16, -120 * 16);
}

void drawClock(QPainter& p) {
    drawTile(p, QColor(0x45, 0x5a, 0x9c));
    p.setPen(glyphPen(1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.setPen(glyphPen(1.5));
    p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
    p.drawLine(QPointF(8, 8), QPointF(10.8, 9.6));
}

void drawDistance(QPainter& p) {
    drawTile(p, QColor(0x79, 0x55, 0x48));
    p.setPen(glyphPen(1.3));
    p.drawLine(QPointF(2.5, 5), QPointF(2.5, 11));
    p.drawLine(QPointF(13.5, 5), QPointF(13.5, 11));
    p.drawLine(QPointF(3.5, 8), QPointF(12.5, 8));
    const QPointF left[] = {{6, 5.8}, {3.5, 8}, {6, 10.2}};
    const QPointF right[] = {{10, 5.8}, {12.5, 8}, {10, 10.2}};
    p.drawPolyline(left, 3);
    p.drawPolyline(right, 3);
}

void drawPower(QPainter& p) {
    drawTile(p, QColor(0xef, 0x6c, 0x00));
    const QPointF bolt[] = {{9.5, 1.5}, {4, 9}, {7.5, 9}, {6, 14.5}, {12, 6.5}, {8.5, 6.5}, {10, 1.5}};
    p.setPen(QPen(QColor(0xef, 0x6c, 0x00).darker(150), 0.6));
    p.setBrush(Glyph);
    p.drawPolygon(bolt, 7);
}

void drawAcceleration(QPainter& p) {
    drawTile(p, QColor(0x00, 0x83, 0x8f));
    drawAxes(p);
    QPainterPath curve;
    curve.moveTo(4.5, 12);
    curve.cubicTo(8, 12, 10, 9, 11.5, 5);
    p.setPen(glyphPen());
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    const QPointF head[] = {{9.5, 5.3}, {12, 3.2}, {13, 6.4}};
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawPolygon(head, 3);
}

void drawGear(QPainter& p) {
    drawTile(p, QColor(0x54, 0x6e, 0x7a));
    const QPointF c(8, 8);
    QPainterPath gear;
    const int teeth = 8;
    for (int k = 0; k < teeth * 2; ++k) {
        const double a0 = (k - 0.5) * M_PI / teeth;
        const double a1 = (k + 0.5) * M_PI / teeth;
        const double r = (k % 2 == 0) ? 6.2 : 4.6;
        const QPointF p0(c.x() + r * std::cos(a0), c.y() + r * std::sin(a0));
        const QPointF p1(c.x() + r * std::cos(a1), c.y() + r * std::sin(a1));
        if (k == 0)
            gear.moveTo(p0);
        else
            gear.lineTo(p0);
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    gear.addEllipse(c, 1.8, 1.8);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawPath(gear);
}

} // namespace

QImage DrawFlagImage(int index) {
    if (index < 0 || index >= FlagImageCount) return {};
    QImage image(FlagImageSize, FlagImageSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    if (index < FlagEntryImage) {
        drawBit(p, index);
    } else {
        switch (index) {
        case 24:
            drawFlagEntry(p);
            break;
        case 25:
            drawLineChart(p);
            break;
        case 26:
            drawBarChart(p);
            break;
        case 27:
            drawChip(p);
            break;
        case 28:
            drawPulses(p);
            break;
        case 29:
            drawRevCounter(p);
            break;
        case 30:
            drawSpeedometer(p);
            break;
        case 31:
            drawAreaChart(p);
            break;
        case 32:
            drawScatter(p);
            break;
        case 33:
            drawPie(p);
            break;
        case 34:
            drawClock(p);
            break;
        case 35:
            drawDistance(p);
            break;
        case 36:
            drawPower(p);
            break;
        case 37:
            drawAcceleration(p);
            break;
        default:
            drawGear(p);
            break;
        }
    }
    p.end();
    return image;
}

TFlagImageList::TFlagImageList() {
    for (int i = 0; i < FlagImageCount; ++i)
        icons_[i] = QIcon(QPixmap::fromImage(DrawFlagImage(i)));
}

const TFlagImageList& TFlagImageList::instance() {
    static const TFlagImageList list;
    return list;
}

QIcon TFlagImageList::icon(int index) const {
    if (index < 0 || index >= FlagImageCount) return {};
    return icons_[index];
}

} // namespace quillmar
