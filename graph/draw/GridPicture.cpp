#include "graph/draw/GridPicture.h"

#include "acquisition/params/Parameters.h"
#include "store/analysis/TableGenerator.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace quillmar {

namespace {

// Viridis at 0, 0.1, ..., 1.
constexpr std::array<std::array<int, 3>, 11> Viridis = {{{0x44, 0x01, 0x54},
                                                         {0x48, 0x24, 0x75},
                                                         {0x41, 0x44, 0x87},
                                                         {0x35, 0x5f, 0x8d},
                                                         {0x2a, 0x78, 0x8e},
                                                         {0x21, 0x91, 0x8c},
                                                         {0x22, 0xa8, 0x84},
                                                         {0x44, 0xbf, 0x70},
                                                         {0x7a, 0xd1, 0x51},
                                                         {0xbd, 0xdf, 0x26},
                                                         {0xfd, 0xe7, 0x25}}};

constexpr int Margin = 12;
constexpr int BarWidth = 16;
constexpr int BarGap = 10;
constexpr int MinimumCellWidth = 40;
constexpr int CellHeight = 22;
constexpr int MaximumSide = 8192;

QFont gridFont(int pixels, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

struct Fonts {
    QFont Heading = gridFont(15, true);
    QFont Label = gridFont(12);
    QFont Number = gridFont(11);
};

struct Range {
    double Lo = 0, Hi = 0;
    bool Any = false;
};

Range valueRange(const TableGrid& grid) {
    Range r;
    for (double v : grid.Values) {
        if (std::isnan(v)) continue;
        r.Lo = r.Any ? std::min(r.Lo, v) : v;
        r.Hi = r.Any ? std::max(r.Hi, v) : v;
        r.Any = true;
    }
    return r;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

double widest(const QFont& font, const std::vector<std::string>& texts) {
    const QFontMetricsF metrics(font);
    double w = 0;
    for (const std::string& t : texts)
        w = std::max(w, metrics.horizontalAdvance(text(t)));
    return w;
}

std::vector<std::string> breakpointTexts(const GridAxis& axis) {
    std::vector<std::string> texts;
    for (double b : axis.Breakpoints())
        texts.push_back(FormatGeneral(b));
    return texts;
}

std::vector<std::string> cellTexts(const TableGrid& grid) {
    std::vector<std::string> texts;
    for (double v : grid.Values)
        if (!std::isnan(v)) texts.push_back(GridCellText(grid, v));
    return texts;
}

// Where the parts go for a picture of size.
struct Layout {
    QRectF Grid;
    double HeadingTop = 0, XLabelTop = 0, BreakpointTop = 0;
    double YLabelLeft = 0, BreakpointRight = 0;
    QRectF Bar;
    double LineHeight = 0, NumberHeight = 0;
};

double barLabelWidth(const TableGrid& grid, const Fonts& fonts) {
    const Range r = valueRange(grid);
    if (!r.Any) return 0;
    return widest(fonts.Number, {GridCellText(grid, r.Lo), GridCellText(grid, r.Hi)});
}

Layout layout(QSize size, const TableGrid& grid, const Fonts& fonts) {
    Layout l;
    const double heading = QFontMetricsF(fonts.Heading).height();
    l.LineHeight = QFontMetricsF(fonts.Label).height();
    l.NumberHeight = QFontMetricsF(fonts.Number).height();
    l.HeadingTop = Margin;
    l.XLabelTop = l.HeadingTop + heading + 6;
    l.BreakpointTop = l.XLabelTop + l.LineHeight + 2;
    l.YLabelLeft = Margin;
    const double yTexts = widest(fonts.Number, breakpointTexts(grid.Y));
    l.BreakpointRight = l.YLabelLeft + l.LineHeight + 6 + yTexts;
    const double left = l.BreakpointRight + 6;
    const double top = l.BreakpointTop + l.NumberHeight + 4;
    const double right = size.width() - Margin - BarWidth - BarGap - 4 - barLabelWidth(grid, fonts);
    const double bottom = size.height() - Margin;
    l.Grid = QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));
    l.Bar = QRectF(l.Grid.right() + BarGap, l.Grid.top(), BarWidth, l.Grid.height());
    return l;
}

// Every how many labels of this extent fit along a length split in count.
size_t labelStride(double extent, double length, size_t count) {
    if (count == 0) return 1;
    const double each = length / static_cast<double>(count);
    if (each <= 0) return count;
    return std::max<size_t>(1, static_cast<size_t>(std::ceil((extent + 4) / each)));
}

QColor textColourOn(const QColor& fill) {
    const double luma = 0.299 * fill.red() + 0.587 * fill.green() + 0.114 * fill.blue();
    return luma > 140 ? QColor(Qt::black) : QColor(Qt::white);
}

} // namespace

QColor ViridisColor(double t) {
    if (!(t > 0)) t = 0;
    if (t > 1) t = 1;
    const double scaled = t * 10;
    const auto i = static_cast<size_t>(std::min(9.0, std::floor(scaled)));
    const double f = scaled - static_cast<double>(i);
    auto mix = [&](int c) {
        return static_cast<int>(std::lround(Viridis[i][static_cast<size_t>(c)] * (1 - f) +
                                            Viridis[i + 1][static_cast<size_t>(c)] * f));
    };
    return QColor(mix(0), mix(1), mix(2));
}

std::string GridCellText(const TableGrid& grid, double value) {
    if (!std::isfinite(value)) return {};
    int decimals = 0;
    if (grid.Statistic != TableStatistic::Count) {
        double largest = 0;
        for (double v : grid.Values)
            if (!std::isnan(v)) largest = std::max(largest, std::fabs(v));
        decimals = largest < 1 ? 3 : largest < 10 ? 2 : largest < 100 ? 1 : 0;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string t = buffer;
    // The C library writes the locale's decimal point; pictures use '.'.
    for (char& c : t)
        if (c == ',') c = '.';
    if (t.front() == '-' && t.find_first_not_of("-0.") == std::string::npos) t.erase(0, 1); // no "-0.0"
    return t;
}

QSize GridPictureSize(const TableGrid& grid, const GridPictureText& words) {
    const Fonts fonts;
    const double cellWidth = std::max<double>({MinimumCellWidth, widest(fonts.Number, cellTexts(grid)) + 10,
                                               widest(fonts.Number, breakpointTexts(grid.X)) + 8});
    const Layout probe = layout(QSize(0, 0), grid, fonts);
    const double chrome = probe.Grid.left() + Margin + BarWidth + BarGap + 4 + barLabelWidth(grid, fonts);
    double width = chrome + cellWidth * static_cast<double>(grid.X.size());
    width = std::max({width, widest(fonts.Heading, {words.Heading}) + 2 * Margin,
                      widest(fonts.Label, {words.XLabel}) + probe.Grid.left() + Margin});
    const double height = probe.Grid.top() + Margin + CellHeight * static_cast<double>(grid.Y.size());
    return QSize(std::clamp(static_cast<int>(std::ceil(width)), 320, MaximumSide),
                 std::clamp(static_cast<int>(std::ceil(height)), 160, MaximumSide));
}

bool DrawTableGrid(QPainter& painter, QSize size, const TableGrid& grid, const GridPictureText& words) {
    const Fonts fonts;
    const Layout l = layout(size, grid, fonts);
    const Range range = valueRange(grid);
    const size_t nx = grid.X.size(), ny = grid.Y.size();
    const double cw = l.Grid.width() / static_cast<double>(std::max<size_t>(nx, 1));
    const double ch = l.Grid.height() / static_cast<double>(std::max<size_t>(ny, 1));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    // The heading and the axes' names.
    painter.setPen(Qt::black);
    painter.setFont(fonts.Heading);
    painter.drawText(QRectF(Margin, l.HeadingTop, size.width() - 2 * Margin, l.XLabelTop - l.HeadingTop),
                     Qt::AlignLeft | Qt::AlignTop, text(words.Heading));
    painter.setFont(fonts.Label);
    painter.drawText(QRectF(l.Grid.left(), l.XLabelTop, l.Grid.width(), l.LineHeight),
                     Qt::AlignHCenter | Qt::AlignTop, text(words.XLabel));
    painter.save();
    painter.translate(l.YLabelLeft, l.Grid.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-l.Grid.height() / 2, 0, l.Grid.height(), l.LineHeight),
                     Qt::AlignHCenter | Qt::AlignTop, text(words.YLabel));
    painter.restore();

    // The breakpoints, as many as fit.
    painter.setFont(fonts.Number);
    const std::vector<std::string> xs = breakpointTexts(grid.X), ys = breakpointTexts(grid.Y);
    const size_t xStride = labelStride(widest(fonts.Number, xs), l.Grid.width(), nx);
    for (size_t i = 0; i < nx; i += xStride)
        painter.drawText(
            QRectF(l.Grid.left() + cw * static_cast<double>(i) - cw, l.BreakpointTop, 3 * cw, l.NumberHeight),
            Qt::AlignHCenter | Qt::AlignTop, text(xs[i]));
    const size_t yStride = labelStride(l.NumberHeight, l.Grid.height(), ny);
    for (size_t j = 0; j < ny; j += yStride)
        painter.drawText(QRectF(l.YLabelLeft, l.Grid.top() + ch * static_cast<double>(j),
                                l.BreakpointRight - l.YLabelLeft, ch),
                         Qt::AlignRight | Qt::AlignVCenter, text(ys[j]));

    // The cells.
    const QFontMetricsF numbers(fonts.Number);
    for (size_t j = 0; j < ny; ++j) {
        for (size_t i = 0; i < nx; ++i) {
            const QRectF cell(l.Grid.left() + cw * static_cast<double>(i),
                              l.Grid.top() + ch * static_cast<double>(j), cw, ch);
            if (!grid.hasValue(i, j)) continue;
            const double v = grid.value(i, j);
            const double t = range.Hi > range.Lo ? (v - range.Lo) / (range.Hi - range.Lo) : 0.5;
            const QColor fill = ViridisColor(t);
            painter.fillRect(cell, fill);
            const QString value = text(GridCellText(grid, v));
            if (numbers.horizontalAdvance(value) <= cw - 2 && numbers.height() <= ch) {
                painter.setPen(textColourOn(fill));
                painter.drawText(cell, Qt::AlignCenter, value);
            }
        }
    }
    // The lines between the cells, when there is room for them, and the frame.
    if (cw >= 4 && ch >= 4) {
        painter.setPen(QPen(QColor(0xd0, 0xd0, 0xd0), 0));
        for (size_t i = 1; i < nx; ++i) {
            const double x = l.Grid.left() + cw * static_cast<double>(i);
            painter.drawLine(QPointF(x, l.Grid.top()), QPointF(x, l.Grid.bottom()));
        }
        for (size_t j = 1; j < ny; ++j) {
            const double y = l.Grid.top() + ch * static_cast<double>(j);
            painter.drawLine(QPointF(l.Grid.left(), y), QPointF(l.Grid.right(), y));
        }
    }
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(l.Grid);

    // The colour scale: the largest value at the top.
    if (range.Any) {
        QLinearGradient gradient(l.Bar.bottomLeft(), l.Bar.topLeft());
        for (size_t k = 0; k < Viridis.size(); ++k) {
            const double t = static_cast<double>(k) / static_cast<double>(Viridis.size() - 1);
            gradient.setColorAt(t, ViridisColor(t));
        }
        painter.fillRect(l.Bar, gradient);
        painter.drawRect(l.Bar);
        painter.setPen(Qt::black);
        const double labelLeft = l.Bar.right() + 4;
        painter.drawText(QRectF(labelLeft, l.Bar.top(), size.width() - labelLeft, l.NumberHeight),
                         Qt::AlignLeft | Qt::AlignTop, text(GridCellText(grid, range.Hi)));
        painter.drawText(
            QRectF(labelLeft, l.Bar.bottom() - l.NumberHeight, size.width() - labelLeft, l.NumberHeight),
            Qt::AlignLeft | Qt::AlignBottom, text(GridCellText(grid, range.Lo)));
    }
    painter.restore();
    return range.Any;
}

QByteArray GridPictureBytes(const TableGrid& grid, const GridPictureText& words, TPictureFormat format,
                            QSize size) {
    return PaintedPictureBytes(format, size, text(words.Heading), [&](QPainter& painter) {
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        return DrawTableGrid(painter, size, grid, words);
    });
}

} // namespace quillmar
