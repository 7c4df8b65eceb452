#include "display/FontTable.h"

#include "display/Raster.h"

#include "RasterProbe.h"

#include <gtest/gtest.h>

#include <utility>

using probe::Rows;

namespace {

Rows GlyphRows(int glyph)
{
    Rows rows{};
    for (int i = 0; i < 8; ++i) {
        rows[static_cast<std::size_t>(i)] = display::kFontTable[static_cast<std::size_t>(8 * glyph + i)];
    }
    return rows;
}

} // namespace

TEST(FontTable, SpotChecksAcrossTheTable)
{
    const std::pair<int, Rows> expected[] = {
        {0, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {33, {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x00}},
        {60, {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00, 0x00}},
        {89, {0x00, 0x00, 0x11, 0x11, 0x13, 0x0D, 0x01, 0x0E}},
        {94, {0x08, 0x15, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {128, {0x00, 0x12, 0x12, 0x12, 0x12, 0x1D, 0x10, 0x10}},
        {140, {0x08, 0x08, 0x08, 0x38, 0x38, 0x38, 0x38, 0x00}},
        {153, {0x04, 0x0C, 0x14, 0x25, 0x14, 0x0C, 0x04, 0x00}},
        {170, {0x0C, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {174, {0x00, 0x00, 0x01, 0x12, 0x14, 0x18, 0x10, 0x00}},
        {194, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {207, {0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x3F, 0x00}},
        {223, {0x02, 0x02, 0x04, 0x3C, 0x00, 0x00, 0x00, 0x3F}},
    };
    for (const auto& [glyph, rows] : expected) {
        EXPECT_EQ(GlyphRows(glyph), rows) << "glyph " << glyph;
    }
}

TEST(FontTable, ShapeOfTheCharacterSets)
{
    for (int g = 0; g < 256; ++g) {
        const Rows rows = GlyphRows(g);
        for (int i = 0; i < 8; ++i) {
            const auto row = rows[static_cast<std::size_t>(i)];
            EXPECT_EQ(row & 0xC0, 0) << "glyph " << g << " row " << i;
            if (g <= 94) {
                // Five pixels wide with the gap in bit 5; only the y has a tail.
                EXPECT_EQ(row & 0x20, 0) << "glyph " << g << " row " << i;
                if (i == 7 && g != 89) {
                    EXPECT_EQ(row, 0) << "glyph " << g;
                }
            }
        }
        const bool blank = (g >= 95 && g <= 127) || g == 175 || g == 194 || g >= 224;
        if (blank) {
            EXPECT_EQ(rows, Rows{}) << "glyph " << g;
        } else if (g != 0) {
            EXPECT_NE(rows, Rows{}) << "glyph " << g;
        }
    }
}

TEST(FontTable, DrawnGlyphsMatchTheirRows)
{
    // The y's tail in the cell's bottom row, and a six-pixel glyph.
    display::Raster raster;
    probe::Prime(raster);
    raster.DrawText(0, 0, 128, "y");
    EXPECT_EQ(probe::CellRows(raster, 0, 0), (Rows{0x00, 0x00, 0x11, 0x11, 0x13, 0x0D, 0x01, 0x0E}));
    raster.DrawCell(1, 0, 0, 153);
    EXPECT_EQ(probe::CellRows(raster, 1, 0), (Rows{0x04, 0x0C, 0x14, 0x25, 0x14, 0x0C, 0x04, 0x00}));
}
