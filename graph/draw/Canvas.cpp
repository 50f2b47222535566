#include "graph/draw/Canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPolygon>

#include <cmath>
#include <map>
#include <mutex>

namespace quillmar {

QColor toQColor(TColor color) {
    return QColor(colorRed(color), colorGreen(color), colorBlue(color));
}

TColor fromQColor(const QColor& color) {
    return makeColor(color.red(), color.green(), color.blue());
}

QString toQString(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

namespace {

QFont baseFont(const TFont& font) {
    QFont f(QString::fromStdString(font.Name));
    f.setBold(font.Style & fsBold);
    f.setItalic(font.Style & fsItalic);
    f.setUnderline(font.Style & fsUnderline);
    f.setStrikeOut(font.Style & fsStrikeOut);
    if (font.Pitch == TFontPitch::Fixed) f.setFixedPitch(true);
    f.setKerning(false);
    return f;
}

// Character cell height per pixel of font size, per family and style.
double cellRatio(const QFont& base) {
    static std::mutex mutex;
    static std::map<QString, double> ratios;
    const QString key = base.key();
    std::lock_guard lock(mutex);
    auto it = ratios.find(key);
    if (it != ratios.end()) return it->second;
    QFont probe = base;
    probe.setPixelSize(1000);
    QFontMetricsF metrics(probe);
    double ratio = metrics.height() > 0 ? metrics.height() / 1000.0 : 1.0;
    ratios.emplace(key, ratio);
    return ratio;
}

} // namespace

QFont toQFont(const TFont& font) {
    QFont f = baseFont(font);
    int pixels;
    if (font.Height > 0)
        pixels = static_cast<int>(std::lround(font.Height / cellRatio(f)));
    else if (font.Height < 0)
        pixels = -font.Height;
    else
        pixels = 11;
    f.setPixelSize(std::max(pixels, 1));
    return f;
}

TCanvas::TCanvas(QPainter& painter)
    : TCanvas(painter, painter.device() ? QSize(painter.device()->width(), painter.device()->height())
                                        : QSize(0, 0)) {}

TCanvas::TCanvas(QPainter& painter, QSize size) : painter_(painter) {
    QPaintDevice* device = painter_.device();
    clip_ = {0, 0, size.width(), size.height()};
    if (device && device->logicalDpiX() > 150) lineScale_ = device->logicalDpiX() / 96.0;
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setBrush(Qt::white);
    SetDefaultPen(Pen);
    SetDefaultFont(Font);
}

TCanvas::~TCanvas() = default;

TPixelRect TCanvas::ClipRect() const {
    return clip_;
}

int TCanvas::PixelsPerInchX() const {
    QPaintDevice* device = painter_.device();
    return device ? device->logicalDpiX() : 96;
}

int TCanvas::PixelsPerInchY() const {
    QPaintDevice* device = painter_.device();
    return device ? device->logicalDpiY() : 96;
}

TTextExtent TCanvas::TextExtent(const TFont& font, const std::string& text) const {
    QFontMetrics metrics(toQFont(font), painter_.device());
    return {metrics.horizontalAdvance(toQString(text)), metrics.height()};
}

void TCanvas::applyPen() {
    QPen pen(toQColor(Pen.Color));
    const double width = std::max(Pen.Width, 1) * lineScale_;
    if (width <= 1) pen.setCosmetic(true);
    pen.setWidthF(width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    switch (Pen.Style) {
    case TPenStyle::Solid:
        pen.setStyle(Qt::SolidLine);
        break;
    case TPenStyle::Dash:
        pen.setStyle(Qt::DashLine);
        break;
    case TPenStyle::Dot:
        pen.setStyle(Qt::DotLine);
        break;
    case TPenStyle::DashDot:
        pen.setStyle(Qt::DashDotLine);
        break;
    case TPenStyle::DashDotDot:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    case TPenStyle::Clear:
        pen.setStyle(Qt::NoPen);
        break;
    }
    painter_.setPen(pen);
}

void TCanvas::LineTo(int x, int y) {
    applyPen();
    painter_.drawLine(PenPos.X, PenPos.Y, x, y);
    PenPos = {x, y};
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    const QString s = toQString(text);
    const QFont font = toQFont(Font);
    QFontMetrics metrics(font, painter_.device());
    painter_.save();
    painter_.setFont(font);
    painter_.setPen(toQColor(Font.Color));
    if (Escapement == 0) {
        painter_.drawText(QPoint(x, y + metrics.ascent()), s);
    } else {
        painter_.translate(x, y);
        painter_.rotate(-Escapement / 10.0);
        painter_.drawText(QPoint(0, metrics.ascent()), s);
    }
    painter_.restore();
    PenPos = {x + metrics.horizontalAdvance(s), y};
}

void TCanvas::Polyline(const std::vector<TPixelPoint>& points) {
    if (points.empty()) return;
    applyPen();
    QPolygon polygon(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i)
        polygon.setPoint(static_cast<int>(i), points[i].X, points[i].Y);
    if (points.size() == 1)
        painter_.drawPoint(polygon.point(0));
    else
        painter_.drawPolyline(polygon);
}

void TCanvas::Polygon(const TPixelPoint* points, int count) {
    if (count <= 0) return;
    applyPen();
    QPolygon polygon(count);
    for (int i = 0; i < count; ++i)
        polygon.setPoint(i, points[i].X, points[i].Y);
    painter_.drawPolygon(polygon);
}

void TCanvas::SetClipRect(const TPixelRect& rect) {
    savedClipping_ = painter_.hasClipping();
    savedClip_ = painter_.clipRegion();
    painter_.setClipRect(QRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top));
    clip_ = rect;
}

void TCanvas::RestoreClip() {
    if (savedClipping_)
        painter_.setClipRegion(savedClip_);
    else
        painter_.setClipping(false);
    QPaintDevice* device = painter_.device();
    clip_ = {0, 0, device ? device->width() : 0, device ? device->height() : 0};
}

TFont& CreateRotatedFont(TCanvas& canvas, double angle) {
    canvas.Escapement = static_cast<int>(roundEven(static_cast<long double>(angle) * 10));
    return canvas.Font;
}

void RotatedTextOut(TCanvas& canvas, int x, int y, double angle, const std::string& text) {
    const long double a = static_cast<long double>(angle) * 3.1415927L / 180;
    const int previous = canvas.Escapement;
    CreateRotatedFont(canvas, angle);
    canvas.TextOut(x, y, text);
    const long double dx = static_cast<long double>(canvas.PenPos.X) - x;
    const long double dy = static_cast<long double>(canvas.PenPos.Y) - y;
    const long double d = static_cast<long double>(roundEven(std::sqrt(dx * dx + dy * dy)));
    canvas.MoveTo(roundEven32(x + d * std::cos(a)), roundEven32(y - d * std::sin(a)));
    canvas.Escapement = previous;
}

void SuperscriptTextOut(TCanvas& canvas, const std::string& text, double angle) {
    const long double a = static_cast<long double>(angle) * 3.1415927L / 180;
    const int h0 = std::abs(canvas.Font.Height);
    canvas.Font.Height = static_cast<int>(roundEven(h0 * 0.5L));
    const long double s = std::abs(canvas.Font.Height) * 0.5L;
    const int sx = roundEven32(s * std::sin(a)), sy = roundEven32(s * std::cos(a));
    RotatedTextOut(canvas, canvas.PenPos.X - sx, canvas.PenPos.Y - sy, angle, text);
    canvas.Font.Height = h0;
    canvas.MoveTo(canvas.PenPos.X + sx, canvas.PenPos.Y + sy);
}

} // namespace quillmar
