#pragma once
// Saves the display raster as a 24-bit Windows bitmap file (.bmp).

#include <QString>

#include <cstdint>
#include <vector>

namespace display {

class Raster;

struct StillImageResult {
    bool ok = false;
    QString error; // why the file could not be written; empty on success
};

// The complete file: 14-byte file header ("BM", size 49830, pixel offset 54),
// 40-byte info header (244 x 68, one plane, 24 bits, uncompressed), then the
// rows bottom-up, blue, green, red, 732 bytes each (no padding needed).
std::vector<std::uint8_t> EncodeStillImage(const Raster& raster);

// Writes EncodeStillImage to fileName, replacing an existing file only once
// the whole image has been written.
StillImageResult SaveStillImage(const Raster& raster, const QString& fileName);

} // namespace display
