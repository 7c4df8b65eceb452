#include "toolkit/BevelPanel.h"

#include <QPainter>

namespace {

// One bevel ring: `topLeft` on the top and left edges, `bottomRight` on the others.
void DrawBevel(QPainter& painter, QRect r, const QColor& topLeft, const QColor& bottomRight)
{
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setContentsMargins(2, 2, 2, 2);
}

void BevelPanel::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QColor light(255, 255, 255);
    const QColor shadow(128, 128, 128);
    const QRect outer = rect();
    DrawBevel(painter, outer, shadow, light);                        // lowered
    DrawBevel(painter, outer.adjusted(1, 1, -1, -1), light, shadow); // raised
}
