#include "app/gauge/AnalogGauge.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace quillmar {

namespace {

QPoint qpoint(const GaugePoint& p) {
    return {p.X, p.Y};
}

QPen pen(const QColor& color, int width, Qt::PenCapStyle cap = Qt::RoundCap) {
    QPen p(color);
    p.setWidth(std::max(1, width));
    p.setCapStyle(cap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

} // namespace

int SupersamplingFactor(TAntialiased aa) {
    switch (aa) {
    case TAntialiased::aaNone:
        return 1;
    case TAntialiased::aaBiline:
        return 2;
    case TAntialiased::aaTriline:
        return 3;
    case TAntialiased::aaQuadral:
        return 4;
    }
    return 1;
}

QColor ColorFromBgr(uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

namespace {

// Columns x0 .. x1 - 1 of one output row: the blocks of k source rows, k
// pixels each. Red and blue add up side by side in the two 16-bit halves of
// one sum (at most 16 x 255 each), green in a sum of its own.
template <int K> void reduceRow(const QImage& source, int y, QRgb* out, int x0, int x1, int k) {
    const int kk = K > 0 ? K : k;
    const uint32_t n = uint32_t(kk * kk), half = n / 2;
    const QRgb* lines[4];
    for (int dy = 0; dy < kk; ++dy)
        lines[dy] = reinterpret_cast<const QRgb*>(source.constScanLine(y * kk + dy));
    for (int x = x0; x < x1; ++x) {
        uint32_t rb = 0, g = 0;
        for (int dy = 0; dy < kk; ++dy) {
            const QRgb* p = lines[dy] + x * kk;
            for (int dx = 0; dx < kk; ++dx) {
                rb += p[dx] & 0x00FF00FFu;
                g += (p[dx] >> 8) & 0xFFu;
            }
        }
        out[x] = qRgb(int(((rb >> 16) + half) / n), int((g + half) / n), int(((rb & 0xFFFFu) + half) / n));
    }
}

} // namespace

void ReduceBlocks(const QImage& source, int k, QImage& target) {
    ReduceBlocks(source, k, target, target.rect());
}

void ReduceBlocks(const QImage& source, int k, QImage& target, const QRect& area) {
    if (k < 1 || k > 4 || source.width() < target.width() * k || source.height() < target.height() * k)
        return;
    const QRect r = area & target.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(target.scanLine(y));
        switch (k) {
        case 2:
            reduceRow<2>(source, y, out, r.left(), r.right() + 1, k);
            break;
        case 4:
            reduceRow<4>(source, y, out, r.left(), r.right() + 1, k);
            break;
        default:
            reduceRow<0>(source, y, out, r.left(), r.right() + 1, k);
            break;
        }
    }
}

TA3nalogGauge::TA3nalogGauge(QWidget* parent) : QWidget(parent) {
    minColor_ = ColorFromBgr(0x008000);
    midColor_ = ColorFromBgr(0x00FFFF);
    maxColor_ = ColorFromBgr(0x0000FF);
    faceColor_ = palette().color(QPalette::Button);
    ticksColor_ = valueColor_ = captionColor_ = arrowColor_ = marginColor_ = Qt::black;
    centerColor_ = ColorFromBgr(0x808080);
    circleColor_ = ColorFromBgr(0xFF0000);
    faceOptions_ = TFaceOptions::fromInt(DefaultFaceOptionsMask);
    setMinimumSize(60, 50);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(225, 180);
    RedrawFace();
}

void TA3nalogGauge::setArrowColor(const QColor& c) {
    if (arrowColor_ == c) return;
    arrowColor_ = c;
    RedrawNeedle();
}

void TA3nalogGauge::setAlertColor(const QColor& c) {
    if (alertColor_ == c) return;
    alertColor_ = c;
    update();
}

void TA3nalogGauge::setAngle(int v) {
    if (v > 10 && v <= 360) setFace(angle_, v);
}

void TA3nalogGauge::setArrowWidth(int v) {
    v = std::clamp(v, 1, 5);
    if (v == arrowWidth_) return;
    arrowWidth_ = v;
    RedrawNeedle();
}

void TA3nalogGauge::setNumberMainTicks(int v) {
    if (v >= 1 && v <= 1000) setFace(numberMainTicks_, v);
}

void TA3nalogGauge::setPosition(float v) {
    if (v == position_) return;
    position_ = v;
    if (v > indMaximum_) emit OnOverMax();
    if (v < indMinimum_) emit OnOverMin();
    RedrawNeedle();
}

void TA3nalogGauge::setScale(int v) {
    if (v <= 1 || v == scale_) return;
    scale_ = v;
    if (indMaximum_ >= scale_) indMaximum_ = scale_ - 1;
    if (indMinimum_ > scale_ - indMaximum_) indMinimum_ = scale_ - indMaximum_;
    RedrawFace();
}

void TA3nalogGauge::setIndMaximum(int v) {
    if (v > 0 && v < scale_) setFace(indMaximum_, v);
}

void TA3nalogGauge::setIndMinimum(int v) {
    if (v > 0 && v < scale_) setFace(indMinimum_, v);
}

GaugeGeometry TA3nalogGauge::FaceGeometry() const {
    return MakeGaugeGeometry(style_, StyleSweep(style_, angle_), faceBitmap_.width(), faceBitmap_.height(),
                             k() * margin_);
}

bool TA3nalogGauge::sizeBitmaps() {
    const int f = k();
    const QSize big(width() * f, height() * f);
    const bool outputFits = f > 1 ? outputBitmap_.size() == size() : outputBitmap_.isNull();
    if (faceBitmap_.size() == big && workBitmap_.size() == big && outputFits) return false;
    faceBitmap_ = QImage(big, QImage::Format_RGB32);
    workBitmap_ = QImage(big, QImage::Format_RGB32);
    outputBitmap_ = f > 1 ? QImage(size(), QImage::Format_RGB32) : QImage();
    return true;
}

void TA3nalogGauge::RedrawFace() {
    const auto start = std::chrono::steady_clock::now();
    sizeBitmaps();
    DrawFace();
    composeNeedle(true);
    measured(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                 .count());
    update();
}

void TA3nalogGauge::RedrawNeedle() {
    if (sizeBitmaps()) {
        RedrawFace();
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const QRect changed = composeNeedle(false);
    measured(std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                 .count());
    update(changed);
}

QRect TA3nalogGauge::needleBounds() const {
    const int f = k();
    const GaugeGeometry g = FaceGeometry();
    QRect bounds;
    if (std::isfinite(position_)) {
        const int reach = f * arrowWidth_ + 2;
        const QPoint end =
            qpoint(PointAt(g, g.Radius, ValueAngle(g, double(position_) - scaleStart_, scale_)));
        bounds = QRect(QPoint(g.Cx, g.Cy), end).normalized().adjusted(-reach, -reach, reach, reach);
    }
    if (faceOptions_.testFlag(TFaceOption::ShowCenter)) {
        const int reach = f * centerRadius_ + f + 2;
        bounds |= QRect(g.Cx - reach, g.Cy - reach, 2 * reach + 1, 2 * reach + 1);
    }
    return bounds;
}

QRect TA3nalogGauge::composeNeedle(bool whole) {
    const int f = k();
    const QRect bounds = needleBounds();
    // Only the face under the old and the new needle is copied back, in
    // whole blocks of the reduction.
    QRect area = whole ? workBitmap_.rect() : (needleArea_ | bounds) & workBitmap_.rect();
    if (!whole && !area.isEmpty()) {
        const int x0 = area.left() / f * f, y0 = area.top() / f * f;
        const int x1 = std::min(workBitmap_.width(), (area.right() / f + 1) * f);
        const int y1 = std::min(workBitmap_.height(), (area.bottom() / f + 1) * f);
        area = QRect(x0, y0, x1 - x0, y1 - y0);
    }
    if (whole) {
        std::memcpy(workBitmap_.bits(), faceBitmap_.constBits(), size_t(faceBitmap_.sizeInBytes()));
    } else if (!area.isEmpty()) {
        const size_t bytes = size_t(area.width()) * sizeof(QRgb);
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memcpy(reinterpret_cast<QRgb*>(workBitmap_.scanLine(y)) + area.left(),
                        reinterpret_cast<const QRgb*>(faceBitmap_.constScanLine(y)) + area.left(), bytes);
    }
    DrawArrow();
    needleArea_ = bounds;
    const QRect shown(area.left() / f, area.top() / f, area.width() / f, area.height() / f);
    if (f > 1) ReduceBlocks(workBitmap_, f, outputBitmap_, shown);
    return shown;
}

void TA3nalogGauge::measured(int64_t elapsedNanoseconds) {
    // Counts per second over the counts the redraw took; a redraw too quick
    // for the clock to see counts as one count.
    const int64_t perSecond = 1'000'000'000;
    const int64_t frames = perSecond / std::max<int64_t>(1, elapsedNanoseconds);
    const int f = static_cast<int>(std::min<int64_t>(frames, INT_MAX));
    if (f == frames_) return;
    frames_ = f;
    emit OnFrames();
}

void TA3nalogGauge::DrawFace() {
    ++faceDraws_;
    const int f = k();
    const int W = faceBitmap_.width(), H = faceBitmap_.height();
    const int m = f * margin_;
    angle_ = StyleSweep(style_, angle_);
    const GaugeGeometry g = MakeGaugeGeometry(style_, angle_, W, H, m);
    const double r = g.Radius;
    const auto has = [this](TFaceOption o) { return faceOptions_.testFlag(o); };

    QPainter p(&faceBitmap_);
    p.fillRect(faceBitmap_.rect(), faceColor_);
    QFont font = this->font();
    if (font.pixelSize() > 0)
        font.setPixelSize(font.pixelSize() * f);
    else
        font.setPointSizeF(font.pointSizeF() * f);
    p.setFont(font);
    const QFontMetrics metrics(font, &faceBitmap_);

    if (has(TFaceOption::ShowFrame)) {
        if (has(TFaceOption::Show3D)) {
            p.setPen(pen(palette().color(QPalette::Dark), 2 * f));
            p.drawPolyline(QPolygon({QPoint(W, 0), QPoint(0, 0), QPoint(0, H)}));
            p.setPen(pen(palette().color(QPalette::Light), 2 * f));
            p.drawPolyline(QPolygon({QPoint(0, H), QPoint(W, H), QPoint(W, 0)}));
        } else {
            p.setPen(pen(palette().color(QPalette::ButtonText), f, Qt::SquareCap));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRect(0, 0, W - 1, H - 1));
        }
    }
    if (has(TFaceOption::ShowMargin)) {
        p.setPen(pen(marginColor_, f, Qt::SquareCap));
        p.setBrush(faceColor_);
        p.drawRect(QRect(m, m, W - 2 * m - 1, H - 2 * m - 1));
        p.setBrush(Qt::NoBrush);
    }
    if (has(TFaceOption::ShowCaption) && !caption_.isEmpty()) {
        const GaugePoint at = PointAt(g, r / 2, g.A0 + angle_ / 2.0);
        const int w = metrics.horizontalAdvance(caption_);
        p.setPen(captionColor_);
        p.drawText(QRect(at.X - w / 2, at.Y, w + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop,
                   caption_);
    }

    // The warning arcs, on the scale's circle; Qt counts angles
    // anticlockwise from three o'clock, the scale runs clockwise from a0.
    const QRectF circle(g.H - r, g.Cy - r, 2 * r, 2 * r);
    const auto arc = [&](int from, int to, const QColor& color) {
        const double a = ValueAngle(g, from, scale_), b = ValueAngle(g, to, scale_);
        p.setPen(pen(color, 4 * f, Qt::FlatCap));
        p.drawArc(circle, static_cast<int>(std::lround((180.0 - a) * 16)),
                  static_cast<int>(std::lround((a - b) * 16)));
    };
    if (has(TFaceOption::ShowIndicatorMax)) arc(indMaximum_, scale_, maxColor_);
    if (has(TFaceOption::ShowIndicatorMid) && indMinimum_ < indMaximum_)
        arc(indMinimum_, indMaximum_, midColor_);
    if (has(TFaceOption::ShowIndicatorMin)) arc(0, indMinimum_, minColor_);
    // The bands lie along the inner ends of the sub ticks, under the ticks.
    const double bandWidth = 5.0 * f;
    const double bandRadius = r - f * lengthSubTicks_ + bandWidth / 2;
    const QRectF bandCircle(g.H - bandRadius, g.Cy - bandRadius, 2 * bandRadius, 2 * bandRadius);
    for (const GaugeBand& band : bands_) {
        const double a = ValueAngle(g, std::clamp(band.From - scaleStart_, 0.0, double(scale_)), scale_);
        const double b = ValueAngle(g, std::clamp(band.To - scaleStart_, 0.0, double(scale_)), scale_);
        if (b <= a) continue;
        QPen bandPen(band.Color, bandWidth);
        bandPen.setCapStyle(Qt::FlatCap);
        p.setPen(bandPen);
        p.drawArc(bandCircle, static_cast<int>(std::lround((180.0 - a) * 16)),
                  static_cast<int>(std::lround((a - b) * 16)));
    }

    const QPen tickPen = pen(ticksColor_, f);
    p.setPen(tickPen);
    if (has(TFaceOption::ShowSubTicks)) {
        const int n = 5 * numberMainTicks_;
        for (int j = 0; j <= n; ++j) {
            const double theta = g.A0 + double(j) * angle_ / n;
            p.drawLine(qpoint(PointAt(g, r - f * lengthSubTicks_, theta)), qpoint(PointAt(g, r, theta)));
        }
    }
    for (int i = 0; i <= numberMainTicks_; ++i) {
        const double theta = g.A0 + double(i) * angle_ / numberMainTicks_;
        if (has(TFaceOption::ShowMainTicks)) {
            p.setPen(tickPen);
            p.drawLine(qpoint(PointAt(g, r - f * lengthMainTicks_, theta)), qpoint(PointAt(g, r, theta)));
        }
        if (has(TFaceOption::ShowCircles)) {
            p.setPen(tickPen);
            p.setBrush(circleColor_);
            const double radius = f * circleRadius_;
            p.drawEllipse(QPointF(qpoint(PointAt(g, r, theta))), radius, radius);
            p.setBrush(Qt::NoBrush);
        }
        if (has(TFaceOption::ShowValues)) {
            const QString text = QString::number(scaleStart_ + int64_t(i) * scale_ / numberMainTicks_);
            const int w = metrics.horizontalAdvance(text);
            const GaugePoint edge = PointAt(g, r - f * lengthMainTicks_ - 5 - i, theta);
            const GaugePoint high = PointAt(g, r - f * lengthMainTicks_ - 5, theta);
            // A number at an end of the scale may reach past the control's
            // edge: it is moved in, so it can be read whole.
            const int left = std::clamp(edge.X - w / 2, 0, std::max(0, W - w));
            const int top = std::clamp(high.Y, 0, std::max(0, H - metrics.height()));
            const QRect box(left, top, w, metrics.height());
            p.fillRect(box, faceColor_);
            p.setPen(valueColor_);
            p.drawText(box, Qt::AlignLeft | Qt::AlignTop, text);
        }
    }
}

void TA3nalogGauge::DrawArrow() {
    const int f = k();
    const GaugeGeometry g = FaceGeometry();
    QPainter p(&workBitmap_);
    const QPen arrow = pen(arrowColor_, f * arrowWidth_);
    p.setPen(arrow);
    if (std::isfinite(position_))
        p.drawLine(QPoint(g.Cx, g.Cy),
                   qpoint(PointAt(g, g.Radius, ValueAngle(g, double(position_) - scaleStart_, scale_))));
    if (faceOptions_.testFlag(TFaceOption::ShowCenter)) {
        p.setPen(pen(arrowColor_, f));
        p.setBrush(centerColor_);
        const double radius = f * centerRadius_;
        p.drawEllipse(QPointF(g.Cx, g.Cy), radius, radius);
    }
}

void TA3nalogGauge::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(event->rect(), Picture(), event->rect());
    if (alertColor_.isValid()) {
        // A rounded rim inside the edges (the margin keeps the scale clear of it).
        const double half = AlertRimWidth / 2.0;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(alertColor_, AlertRimWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(half + 1, half + 1, -half - 1, -half - 1), 6, 6);
    }
}

void TA3nalogGauge::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int f = k();
    if (faceBitmap_.size() != size() * f) RedrawFace();
}

void TA3nalogGauge::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) RedrawFace();
}

} // namespace quillmar
