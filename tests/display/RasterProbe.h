#pragma once
// Reading the display raster back in the terms of the font: a cell as eight
// row bytes, bit 5 the leftmost pixel, a bit set where the pixel shows the
// foreground colour.

#include "display/Raster.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace probe {

using Rows = std::array<std::uint8_t, 8>;

constexpr display::TColor kOffLine = 0xB4CDBB;
constexpr display::TColor kOnLine = 0xFFFF9D;
constexpr display::TColor kBlack = 0x000000;
// A colour neither look uses, to see which pixels an operation paints.
constexpr display::TColor kUntouched = 0x5A3C1E;

inline Rows CellRows(const display::Raster& raster, int column, int row)
{
    Rows rows{};
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 6; ++j) {
            const int x = 6 * column + 2 + j;
            const int y = 8 * row + 2 + i;
            const display::TColor colour = raster.PixelColour(x, y);
            if (colour == raster.Foreground()) {
                rows[static_cast<std::size_t>(i)] |= static_cast<std::uint8_t>(1 << (5 - j));
            } else if (colour != raster.Background()) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") of cell (" << column << ", " << row << ") holds "
                              << std::hex << colour << ", neither colour";
            }
        }
    }
    return rows;
}

// Fills the whole raster with kUntouched, then selects the given colours.
inline void Prime(display::Raster& raster, display::TColor background = kOnLine, display::TColor foreground = kBlack)
{
    raster.SetColours(kUntouched, foreground);
    raster.Clear();
    raster.SetColours(background, foreground);
}

inline int CountPixels(const display::Raster& raster, display::TColor colour)
{
    int n = 0;
    for (int y = 0; y < display::Raster::kHeight; ++y) {
        for (int x = 0; x < display::Raster::kWidth; ++x) {
            n += raster.PixelColour(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

} // namespace probe
