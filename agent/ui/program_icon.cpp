#include "agent/ui/program_icon.h"

#include <QPainter>
#include <QPolygonF>

namespace mirelo {

QPixmap ProgramPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);  // the SVG's view box

    const QColor body(0x2b, 0x4c, 0x7e);
    const QColor screen(0xe8, 0xf1, 0xff);
    const QColor letter(0xd9, 0x82, 0x2b);
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(16, 4, 32, 56), 6, 6);
    painter.setBrush(screen);
    painter.drawRect(QRectF(20, 10, 24, 32));
    painter.drawEllipse(QPointF(32, 51), 4, 4);

    painter.setPen(QPen(letter, 2));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(23, 19, 18, 13));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF({QPointF(23, 19), QPointF(32, 27), QPointF(41, 19)}));
    return pixmap;
}

}  // namespace mirelo
