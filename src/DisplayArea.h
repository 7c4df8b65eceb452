#pragma once
// The drawing area of the display window: paints the raster stretched, as a
// plain scale without aspect correction, over its whole rectangle.

#include <QWidget>

#include <functional>

class QImage;

class DisplayArea final : public QWidget {
    Q_OBJECT
public:
    // `image` returns the raster to paint; `beforePaint` runs first (the
    // window's status-bar steps of the paint routine).
    DisplayArea(std::function<QImage()> image, std::function<void()> beforePaint, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QImage()> image_;
    std::function<void()> beforePaint_;
};
