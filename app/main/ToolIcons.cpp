#include "app/main/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillmar {

namespace {

const QColor Outline(0x26, 0x32, 0x38);

QPen outline(double width = 1.0) {
    QPen pen(Outline, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A small window: title bar and body.
void drawWindow(QPainter& p, const QRectF& r, const QColor& title) {
    p.setPen(outline());
    p.setBrush(QColor(0xfa, 0xfa, 0xfa));
    p.drawRect(r);
    p.setBrush(title);
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 3.5));
}

// Draws on a 24 x 24 grid.
void draw(QPainter& p, ToolIcon which) {
    switch (which) {
    case ToolIcon::Open: {
        p.setPen(outline());
        p.setBrush(QColor(0xf9, 0xa8, 0x25));
        QPainterPath back;
        back.moveTo(2.5, 5.5);
        back.lineTo(9, 5.5);
        back.lineTo(11, 7.5);
        back.lineTo(19.5, 7.5);
        back.lineTo(19.5, 19.5);
        back.lineTo(2.5, 19.5);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(0xff, 0xd5, 0x4f));
        const QPointF front[] = {{2.5, 19.5}, {6, 11.5}, {22.5, 11.5}, {19.5, 19.5}};
        p.drawPolygon(front, 4);
        break;
    }
    case ToolIcon::Save: {
        p.setPen(outline());
        p.setBrush(QColor(0x19, 0x76, 0xd2));
        QPainterPath disk;
        disk.moveTo(3.5, 3.5);
        disk.lineTo(17.5, 3.5);
        disk.lineTo(20.5, 6.5);
        disk.lineTo(20.5, 20.5);
        disk.lineTo(3.5, 20.5);
        disk.closeSubpath();
        p.drawPath(disk);
        p.setBrush(QColor(0xec, 0xef, 0xf1));
        p.drawRect(QRectF(7, 3.5, 9, 6));
        p.setBrush(QColor(0xfa, 0xfa, 0xfa));
        p.drawRect(QRectF(6, 13, 12, 7.5));
        p.setBrush(Outline);
        p.drawRect(QRectF(12.5, 4.5, 2, 4));
        break;
    }
    case ToolIcon::ExportExcel: {
        p.setPen(outline());
        p.setBrush(QColor(0xfa, 0xfa, 0xfa));
        p.drawRect(QRectF(6.5, 2.5, 15, 19));
        p.setPen(QPen(QColor(0x9e, 0x9e, 0x9e), 1));
        for (double y : {7.5, 11.5, 15.5})
            p.drawLine(QPointF(11.5, y), QPointF(21, y));
        p.drawLine(QPointF(16.5, 3), QPointF(16.5, 21));
        p.setPen(outline());
        p.setBrush(QColor(0x1b, 0x5e, 0x20));
        p.drawRoundedRect(QRectF(1.5, 6.5, 11, 11), 1.5, 1.5);
        QPen x(QColor(0xff, 0xff, 0xff), 2.0);
        x.setCapStyle(Qt::RoundCap);
        p.setPen(x);
        p.drawLine(QPointF(4.5, 9.5), QPointF(9.5, 14.5));
        p.drawLine(QPointF(9.5, 9.5), QPointF(4.5, 14.5));
        break;
    }
    case ToolIcon::Cascade:
        drawWindow(p, QRectF(2.5, 2.5, 13, 11), QColor(0x90, 0xa4, 0xae));
        drawWindow(p, QRectF(5.5, 6.5, 13, 11), QColor(0x64, 0xb5, 0xf6));
        drawWindow(p, QRectF(8.5, 10.5, 13, 11), QColor(0x19, 0x76, 0xd2));
        break;
    case ToolIcon::TileVertically:
        drawWindow(p, QRectF(2.5, 3.5, 9, 17), QColor(0x19, 0x76, 0xd2));
        drawWindow(p, QRectF(12.5, 3.5, 9, 17), QColor(0x19, 0x76, 0xd2));
        break;
    }
}

QPixmap render(ToolIcon which, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 24.0, size / 24.0);
    draw(p, which);
    return pixmap;
}

} // namespace

QIcon MakeToolIcon(ToolIcon which) {
    QIcon icon;
    for (int size : {16, 24, 32})
        icon.addPixmap(render(which, size));
    return icon;
}

} // namespace quillmar
