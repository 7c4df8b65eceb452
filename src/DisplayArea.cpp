#include "DisplayArea.h"

#include <QImage>
#include <QPainter>

DisplayArea::DisplayArea(std::function<QImage()> image, std::function<void()> beforePaint, QWidget* parent)
    : QWidget(parent), image_(std::move(image)), beforePaint_(std::move(beforePaint))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void DisplayArea::paintEvent(QPaintEvent*)
{
    if (beforePaint_)
        beforePaint_();
    QPainter painter(this);
    // A plain scale: no smoothing, so every raster pixel stays a sharp block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), image_());
}
