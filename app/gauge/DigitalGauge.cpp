#include "app/gauge/DigitalGauge.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quillmar {

TDigitalGauge::TDigitalGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(60, 50);
}

void TDigitalGauge::changed() {
    ++repaints_;
    update();
}

void TDigitalGauge::setCaption(const QString& v) {
    if (caption_ == v) return;
    caption_ = v;
    changed();
}

void TDigitalGauge::setUnit(const QString& v) {
    if (unit_ == v) return;
    unit_ = v;
    changed();
}

void TDigitalGauge::setDecimals(int v) {
    v = std::clamp(v, 0, 6);
    if (decimals_ == v) return;
    decimals_ = v;
    changed();
}

void TDigitalGauge::setValue(std::optional<double> v) {
    QString text = QStringLiteral("--");
    if (v && std::isfinite(*v)) {
        // No "-0" for a value that rounds to nothing.
        const double scale = std::pow(10.0, decimals_);
        const double rounded = std::round(*v * scale) / scale;
        text = QString::number(rounded == 0 ? 0.0 : rounded, 'f', decimals_);
    }
    if (text == text_) return;
    text_ = text;
    changed();
}

void TDigitalGauge::setAlertColor(const QColor& c) {
    if (alertColor_ == c) return;
    alertColor_ = c;
    changed();
}

void TDigitalGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The dials' face round a lighter panel with a dark rim; amber or red
    // past a threshold, with figures dark on amber and white on red.
    const QColor face = palette().color(QPalette::Button);
    p.fillRect(rect(), face);
    const QRectF panel = QRectF(rect()).adjusted(8.5, 8.5, -8.5, -8.5);
    const QColor background = alertColor_.isValid() ? alertColor_ : face.lighter(108);
    const QColor figures = background.lightness() > 110 ? QColor(0x21, 0x21, 0x21) : QColor(Qt::white);
    p.setPen(QPen(QColor(0x26, 0x32, 0x38), 1.5));
    p.setBrush(background);
    p.drawRoundedRect(panel, 6, 6);

    const double h = panel.height();
    QFont small = font();
    small.setPixelSize(std::max(11, int(h * 0.07)));
    p.setFont(small);
    p.setPen(figures);
    const QRectF captionBox(panel.left() + 8, panel.top() + 8, panel.width() - 16, h * 0.22);
    p.drawText(captionBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, caption_);
    const QRectF unitBox(panel.left() + 8, panel.bottom() - h * 0.22, panel.width() - 16, h * 0.22 - 8);
    p.drawText(unitBox, Qt::AlignHCenter | Qt::AlignBottom, unit_);

    // The number as large as fits.
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(std::max(12, int(h * 0.28)));
    const QRectF numberBox(panel.left() + 8, panel.top() + h * 0.22, panel.width() - 16, h * 0.56);
    const int width = QFontMetrics(big).horizontalAdvance(text_);
    if (width > numberBox.width())
        big.setPixelSize(std::max(8, int(big.pixelSize() * numberBox.width() / width)));
    p.setFont(big);
    p.drawText(numberBox, Qt::AlignCenter, text_);
}

} // namespace quillmar
