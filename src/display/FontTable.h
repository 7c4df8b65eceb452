#pragma once
// The built-in 6 x 8 font of the character display.

#include <array>
#include <cstdint>

namespace display {

constexpr int kGlyphCount = 256;
constexpr int kGlyphRows = 8;

// Byte 8g + i is pixel row i (0 = top) of glyph g. Bit 5 of a row byte is the
// leftmost pixel of the cell, bit 0 the rightmost; bits 6 and 7 are never drawn.
extern const std::array<std::uint8_t, kGlyphCount * kGlyphRows> kFontTable;

} // namespace display
