#include "graph/window/GraphIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillmar {

namespace {

void drawMagnifier(QPainter& p, bool plus) {
    p.setPen(QPen(QColor(40, 40, 40), 2.2));
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QRectF(3, 3, 15, 15));
    p.setPen(QPen(QColor(40, 40, 40), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16.5, 16.5), QPointF(21.5, 21.5));
    p.setPen(QPen(QColor(20, 20, 20), 2));
    if (plus) {
        p.drawLine(QPointF(6.5, 10.5), QPointF(14.5, 10.5));
        p.drawLine(QPointF(10.5, 6.5), QPointF(10.5, 14.5));
    } else {
        // 1:1
        p.drawLine(QPointF(7.5, 7), QPointF(7.5, 14));
        p.drawLine(QPointF(13.5, 7), QPointF(13.5, 14));
        p.drawPoint(QPointF(10.5, 8.5));
        p.drawPoint(QPointF(10.5, 12.5));
    }
}

void drawDisk(QPainter& p) {
    p.setPen(QPen(QColor(30, 50, 90), 1.5));
    p.setBrush(QColor(70, 110, 180));
    QPainterPath body;
    body.moveTo(3, 3);
    body.lineTo(18, 3);
    body.lineTo(21, 6);
    body.lineTo(21, 21);
    body.lineTo(3, 21);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 3, 11, 6));
    p.setBrush(QColor(230, 230, 230));
    p.drawRect(QRectF(6, 13, 12, 8));
}

void drawPrinter(QPainter& p) {
    p.setPen(QPen(QColor(50, 50, 50), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 2.5, 10, 7));
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(QRectF(2.5, 9, 19, 9), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 15, 11, 7));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.drawLine(QPointF(8.5, 18), QPointF(15.5, 18));
    p.drawLine(QPointF(8.5, 20), QPointF(15.5, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 200, 80));
    p.drawEllipse(QRectF(17, 11, 2.5, 2.5));
}

void drawCopy(QPainter& p) {
    p.setPen(QPen(QColor(50, 50, 50), 1.5));
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(3, 3, 11, 14));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 7, 11, 14));
    p.setPen(QPen(QColor(130, 130, 130), 1));
    for (int y = 11; y <= 17; y += 3)
        p.drawLine(QPointF(11.5, y), QPointF(17.5, y));
}

QPixmap drawn(GraphIcon which, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    switch (which) {
    case GraphIcon::Zoom:
        drawMagnifier(p, true);
        break;
    case GraphIcon::ResetZoom:
        drawMagnifier(p, false);
        break;
    case GraphIcon::Save:
        drawDisk(p);
        break;
    case GraphIcon::Print:
        drawPrinter(p);
        break;
    case GraphIcon::Copy:
        drawCopy(p);
        break;
    }
    return pixmap;
}

const char* themeName(GraphIcon which) {
    switch (which) {
    case GraphIcon::Zoom:
        return "zoom-in";
    case GraphIcon::ResetZoom:
        return "zoom-original";
    case GraphIcon::Save:
        return "document-save";
    case GraphIcon::Print:
        return "document-print";
    case GraphIcon::Copy:
        return "edit-copy";
    }
    return "";
}

} // namespace

QIcon drawnGraphIcon(GraphIcon which) {
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(drawn(which, size));
    return icon;
}

QIcon graphIcon(GraphIcon which) {
    const QString name = themeName(which);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return drawnGraphIcon(which);
}

} // namespace quillmar
