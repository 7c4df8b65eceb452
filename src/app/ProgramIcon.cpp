#include "app/ProgramIcon.h"

#include <QPainter>

namespace app {

QPixmap ProgramIconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 40.0, size / 40.0); // drawn on a 40 x 40 grid

    // Cabinet.
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.0));
    p.setBrush(QColor(0x4A, 0x4E, 0x54));
    p.drawRoundedRect(QRectF(1.5, 6.5, 37, 27), 3, 3);

    // Display in the off-line grey green, with three lines of text.
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 0.8));
    p.setBrush(QColor(0xBB, 0xCD, 0xB4));
    p.drawRect(QRectF(5, 10, 30, 12));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawRect(QRectF(7, 12, 20, 1.6));
    p.drawRect(QRectF(7, 15.2, 26, 1.6));
    p.drawRect(QRectF(7, 18.4, 14, 1.6));

    // Two knobs and a lamp.
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 0.8));
    p.setBrush(QColor(0xC8, 0xC8, 0xC8));
    p.drawEllipse(QPointF(10, 28), 3, 3);
    p.drawEllipse(QPointF(30, 28), 3, 3);
    p.setBrush(QColor(0x30, 0xE0, 0x30));
    p.drawEllipse(QPointF(20, 28), 1.6, 1.6);
    return pixmap;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 41, 48, 64, 128}) {
        icon.addPixmap(ProgramIconPixmap(size));
    }
    return icon;
}

} // namespace app
