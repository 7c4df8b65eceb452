#pragma once
// Finding the program's windows in a screenshot by their colours, and
// comparing the display window's drawing area with a raster.

#include "display/Raster.h"

#include <QImage>
#include <QRect>

#include <optional>
#include <string>
#include <vector>

namespace screen {

// 0x00BBGGRR as the toolkit's RGB value.
QRgb ToRgb(display::TColor colour);

// Bounding box of every pixel of exactly `colour`; empty when there is none.
QRect BoundingBox(const QImage& shot, QRgb colour);

// Bounding boxes of the 4-connected regions of exactly `colour` that cover at
// least `minPixels` pixels (lamps, not the odd pixel of a caption's text).
std::vector<QRect> Regions(const QImage& shot, QRgb colour, int minPixels);

// The drawing area of the display window whose background (the whole client
// area takes it) is `background`: inside the 2-pixel left, top and right
// borders, above the 19-pixel status bar and below the menu bar. Nothing,
// with `why` set, when the window is not there.
std::optional<QRect> DrawingArea(const QImage& shot, QRgb background, std::string& why);

// Samples the centre of each raster pixel scaled onto `area` and counts the
// ones whose colour differs from the raster's.
int RasterMismatches(const QImage& shot, const QRect& area, const display::Raster& raster);

} // namespace screen
