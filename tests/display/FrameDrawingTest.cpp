#include "display/FrameDrawing.h"

#include "display/Raster.h"

#include "RasterProbe.h"

#include <gtest/gtest.h>

#include <array>

using display::Raster;
using probe::CellRows;
using probe::Rows;

namespace {

using Payload = std::array<std::uint8_t, 360>;

const Rows kBlankRows{};
const Rows kSolidRows{0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F};
const Rows kAtSign{0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E, 0x00};
const Rows kLetterA{0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x00};
const Rows kInverseA{0x31, 0x2E, 0x2E, 0x2E, 0x20, 0x2E, 0x2E, 0x3F};

} // namespace

TEST(FrameDrawing, CodesGoRowByRowAndAttributeBitsInvertTheirRow)
{
    Payload rx{};
    rx[40 * 2 + 5] = 33;  // 'A' at column 5, row 2
    rx[40 * 6 + 39] = 32; // '@' at column 39, row 6: codes are glyphs, no offset
    rx[40 * 0 + 1] = 0x20;
    rx[320 + 5] = 0x04;  // column 5: row 2 inverse
    rx[320 + 39] = 0x3F; // column 39: rows 0..5 inverse, row 6 plain

    Raster raster;
    probe::Prime(raster);
    display::DrawDisplayFrame(raster, rx.data());

    EXPECT_EQ(CellRows(raster, 5, 2), kInverseA);
    EXPECT_EQ(CellRows(raster, 5, 1), kBlankRows);
    EXPECT_EQ(CellRows(raster, 5, 3), kBlankRows);
    EXPECT_EQ(CellRows(raster, 39, 6), kAtSign);
    EXPECT_EQ(CellRows(raster, 1, 0), kAtSign);
    for (int r = 0; r <= 5; ++r) {
        EXPECT_EQ(CellRows(raster, 39, r), kSolidRows) << r;
    }
    EXPECT_EQ(CellRows(raster, 39, 7), kBlankRows);
    // All 320 cells painted, the margin left alone.
    EXPECT_EQ(probe::CountPixels(raster, probe::kUntouched), 244 * 68 - 240 * 64);
}

TEST(FrameDrawing, BottomRowBitSevenIsInverseNotTextOffset)
{
    Payload rx{};
    rx[40 * 7 + 10] = 33;
    rx[40 * 6 + 10] = 33;
    rx[320 + 10] = 0x80;
    rx[40 * 7 + 11] = 33;
    rx[320 + 11] = 0x7F; // every row but the bottom one

    Raster raster;
    raster.SetColours(probe::kOnLine, probe::kBlack);
    display::DrawDisplayFrame(raster, rx.data());

    EXPECT_EQ(CellRows(raster, 10, 7), kInverseA);
    EXPECT_EQ(CellRows(raster, 10, 6), kLetterA);
    EXPECT_EQ(CellRows(raster, 11, 7), kLetterA);
    EXPECT_EQ(CellRows(raster, 11, 0), kSolidRows);
}
