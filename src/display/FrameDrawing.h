#pragma once
// Draws a display frame's payload into the raster.

#include <cstdint>

namespace display {

class Raster;

// rx holds the 320 character codes (40 per row, row 0 first) followed by the
// 40 column attribute bytes. Cell (c, r) shows code rx[40r + c]; bit r of the
// column's attribute byte shows it in inverse video, in row 7 too.
void DrawDisplayFrame(Raster& raster, const std::uint8_t* rx);

} // namespace display
