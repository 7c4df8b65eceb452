#include "ScreenProbe.h"

#include <algorithm>
#include <vector>

namespace screen {

namespace {

constexpr int kBorder = 2;
constexpr int kStatusBarHeight = 19;

bool Is(const QImage& shot, int x, int y, QRgb colour)
{
    return (shot.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
}

} // namespace

QRgb ToRgb(display::TColor colour)
{
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QRect BoundingBox(const QImage& shot, QRgb colour)
{
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (Is(shot, x, y, colour))
                box |= QRect(x, y, 1, 1);
    return box;
}

std::vector<QRect> Regions(const QImage& shot, QRgb colour, int minPixels)
{
    std::vector<QRect> regions;
    std::vector<bool> seen(static_cast<std::size_t>(shot.width()) * shot.height(), false);
    auto index = [&](int x, int y) { return static_cast<std::size_t>(y) * shot.width() + x; };
    std::vector<QPoint> stack;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (seen[index(x, y)] || !Is(shot, x, y, colour))
                continue;
            QRect box;
            int pixels = 0;
            stack.push_back({x, y});
            seen[index(x, y)] = true;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                box |= QRect(p, QSize(1, 1));
                ++pixels;
                const QPoint next[] = {{p.x() + 1, p.y()}, {p.x() - 1, p.y()}, {p.x(), p.y() + 1}, {p.x(), p.y() - 1}};
                for (const QPoint& n : next) {
                    if (n.x() < 0 || n.y() < 0 || n.x() >= shot.width() || n.y() >= shot.height() ||
                        seen[index(n.x(), n.y())] || !Is(shot, n.x(), n.y(), colour))
                        continue;
                    seen[index(n.x(), n.y())] = true;
                    stack.push_back(n);
                }
            }
            if (pixels >= minPixels)
                regions.push_back(box);
        }
    }
    return regions;
}

std::optional<QRect> DrawingArea(const QImage& shot, QRgb background, std::string& why)
{
    const QRect window = BoundingBox(shot, background);
    if (window.width() < 50 || window.height() < 50) {
        why = "no display window with the on-line background on the screen";
        return std::nullopt;
    }
    // The first raster column is margin, always background: going down it,
    // the menu bar (background) is followed by its edge and the top border,
    // and the drawing area starts below them.
    const int left = window.left() + kBorder;
    int y = window.top();
    while (y <= window.bottom() && Is(shot, left, y, background))
        ++y;
    while (y <= window.bottom() && !Is(shot, left, y, background))
        ++y;
    const int top = y;
    const int bottom = window.bottom() - kStatusBarHeight;
    const int right = window.right() - kBorder;
    if (bottom - top < 20 || right - left < 20) {
        why = "the display window's drawing area is too small to compare";
        return std::nullopt;
    }
    // The left border runs along the drawing area's whole height.
    for (int row = top; row <= bottom; ++row) {
        if (Is(shot, window.left(), row, background)) {
            why = "no left border beside the drawing area at row " + std::to_string(row);
            return std::nullopt;
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

int RasterMismatches(const QImage& shot, const QRect& area, const display::Raster& raster)
{
    int mismatches = 0;
    for (int py = 0; py < display::Raster::kHeight; ++py) {
        const int sy = area.top() + static_cast<int>((py + 0.5) * area.height() / display::Raster::kHeight);
        for (int px = 0; px < display::Raster::kWidth; ++px) {
            const int sx = area.left() + static_cast<int>((px + 0.5) * area.width() / display::Raster::kWidth);
            if (!Is(shot, sx, sy, ToRgb(raster.PixelColour(px, py))))
                ++mismatches;
        }
    }
    return mismatches;
}

} // namespace screen
