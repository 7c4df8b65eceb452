#include "display/Raster.h"

#include "RasterProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using display::Raster;
using probe::CellRows;
using probe::Rows;

namespace {

std::vector<std::uint8_t> Snapshot(const Raster& raster)
{
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < Raster::kHeight; ++y) {
        bytes.insert(bytes.end(), raster.ScanLine(y), raster.ScanLine(y) + Raster::kBytesPerRow);
    }
    return bytes;
}

// Every pixel outside the given rectangle (inclusive) still holds kUntouched.
void ExpectUntouchedOutside(const Raster& raster, int x0, int y0, int x1, int y1)
{
    for (int y = 0; y < Raster::kHeight; ++y) {
        for (int x = 0; x < Raster::kWidth; ++x) {
            if (x >= x0 && x <= x1 && y >= y0 && y <= y1) {
                continue;
            }
            if (raster.PixelColour(x, y) != probe::kUntouched) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") was painted";
                return;
            }
        }
    }
}

const Rows kBlankRows{};
const Rows kSolidRows{0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F};
const Rows kAtSign{0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E, 0x00};  // glyph 32
const Rows kLetterA{0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x00}; // glyph 33

} // namespace

TEST(RasterPixels, SetPixelWritesBlueGreenRedAtThreeX)
{
    Raster raster;
    raster.SetPixel(5, 7, 0x00112233);
    const std::uint8_t* row = raster.ScanLine(7);
    EXPECT_EQ(row[15], 0x11);
    EXPECT_EQ(row[16], 0x22);
    EXPECT_EQ(row[17], 0x33);
    EXPECT_EQ(row[14], 0);
    EXPECT_EQ(row[18], 0);
    // The top byte of the colour is not part of it.
    raster.SetPixel(243, 67, 0xFF0A0B0C);
    EXPECT_EQ(raster.PixelColour(243, 67), 0x000A0B0Cu);
    // Row pointers are stable and rows are packed one after another.
    EXPECT_EQ(raster.ScanLine(1) - raster.ScanLine(0), Raster::kBytesPerRow);
}

TEST(RasterPixels, SetPixelOutsideIsIgnored)
{
    Raster raster;
    probe::Prime(raster);
    const auto before = Snapshot(raster);
    for (auto [x, y] : {std::pair{244, 0}, {0, 68}, {-1, 5}, {5, -1}, {244, 68}}) {
        raster.SetPixel(x, y, 0xFFFFFF);
    }
    EXPECT_EQ(Snapshot(raster), before);
}

TEST(RasterPixels, ClearPaintsEveryPixelIncludingTheMargin)
{
    Raster raster;
    raster.SetColours(probe::kOnLine, probe::kBlack);
    raster.DrawText(0, 0, 1, "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX");
    raster.SetPixel(0, 0, 0x123456);
    raster.SetPixel(243, 67, 0x123456);
    raster.SetColours(probe::kOffLine, probe::kBlack);
    raster.Clear();
    EXPECT_EQ(probe::CountPixels(raster, probe::kOffLine), Raster::kWidth * Raster::kHeight);
    EXPECT_EQ(raster.ScanLine(0)[0], 0xB4);
    EXPECT_EQ(raster.ScanLine(0)[1], 0xCD);
    EXPECT_EQ(raster.ScanLine(0)[2], 0xBB);
}

TEST(RasterPixels, ImagesShowTheRasterInItsColours)
{
    Raster raster;
    raster.SetColours(probe::kOffLine, probe::kBlack);
    raster.Clear();
    raster.SetPixel(243, 67, 0x00112233);

    const QImage view = raster.View();
    const QImage image = raster.ToImage();
    for (const QImage& i : {view, image}) {
        ASSERT_EQ(i.width(), 244);
        ASSERT_EQ(i.height(), 68);
        EXPECT_EQ(i.pixel(0, 0), qRgb(0xBB, 0xCD, 0xB4));
        EXPECT_EQ(i.pixel(243, 67), qRgb(0x33, 0x22, 0x11));
    }
    // The view reads the raster's bytes as they are now; the image is a copy.
    raster.SetPixel(10, 20, 0x00445566);
    EXPECT_EQ(view.pixel(10, 20), qRgb(0x66, 0x55, 0x44));
    EXPECT_EQ(image.pixel(10, 20), qRgb(0xBB, 0xCD, 0xB4));
}

TEST(RasterCells, CodesAndAttributesSelectTheGlyph)
{
    Raster raster;
    probe::Prime(raster);
    // A frame's 0x20 with no attribute is the at sign, not a blank.
    raster.DrawCell(0, 0, 0, 0x20);
    EXPECT_EQ(CellRows(raster, 0, 0), kAtSign);
    // The same byte in a text at 128 is a blank.
    raster.DrawText(1, 0, 128, " ");
    EXPECT_EQ(CellRows(raster, 1, 0), kBlankRows);
    raster.DrawText(2, 0, 128, "A");
    EXPECT_EQ(CellRows(raster, 2, 0), kLetterA);
    // Code 0 (blank) inverted is a solid block.
    raster.DrawCell(3, 0, 1, 0);
    EXPECT_EQ(CellRows(raster, 3, 0), kSolidRows);
    // A control byte in a text maps to glyph 225, which is blank.
    raster.DrawText(4, 0, 128, "\x01");
    EXPECT_EQ(CellRows(raster, 4, 0), kBlankRows);
    // 0xFF at 128 is glyph 223.
    raster.DrawCell(5, 0, 128, 0xFF);
    EXPECT_EQ(CellRows(raster, 5, 0), (Rows{0x02, 0x02, 0x04, 0x3C, 0x00, 0x00, 0x00, 0x3F}));
    // Any of bits 0 to 6 inverts; the gap column and the bottom row turn foreground.
    const Rows inverseA{0x31, 0x2E, 0x2E, 0x2E, 0x20, 0x2E, 0x2E, 0x3F};
    for (int attribute : {1, 0x40, 0x7F}) {
        raster.DrawCell(6, 0, attribute, 33);
        EXPECT_EQ(CellRows(raster, 6, 0), inverseA) << attribute;
    }
    // 129: text offset and inverse together.
    raster.DrawCell(7, 0, 129, 'A');
    EXPECT_EQ(CellRows(raster, 7, 0), inverseA);
    // Every cell paints all 48 pixels and nothing else.
    ExpectUntouchedOutside(raster, 2, 2, 6 * 8 + 1, 9);
}

TEST(RasterCells, SixPixelGlyphsUseBitFiveAsTheLeftColumn)
{
    Raster raster;
    probe::Prime(raster);
    raster.DrawCell(0, 1, 0, 164); // left edge
    raster.DrawCell(1, 1, 0, 161); // right edge
    raster.DrawCell(2, 1, 0, 176); // top-left corner
    for (int y = 10; y <= 17; ++y) {
        for (int x = 2; x <= 7; ++x) {
            EXPECT_EQ(raster.PixelColour(x, y), x == 2 ? probe::kBlack : probe::kOnLine) << x << "," << y;
            EXPECT_EQ(raster.PixelColour(x + 6, y), x == 7 ? probe::kBlack : probe::kOnLine) << x << "," << y;
            const bool edge = y == 10 || x == 2;
            EXPECT_EQ(raster.PixelColour(x + 12, y), edge ? probe::kBlack : probe::kOnLine) << x << "," << y;
        }
    }
}

TEST(RasterCells, CornerCellsLandOnTheGrid)
{
    Raster raster;
    probe::Prime(raster);
    raster.DrawCell(39, 7, 1, 0);
    ExpectUntouchedOutside(raster, 236, 58, 241, 65);
    EXPECT_EQ(probe::CountPixels(raster, probe::kBlack), 48);
}

TEST(RasterCells, CellsOutsideTheGridPaintOnlyInsideTheRaster)
{
    Raster raster;
    probe::Prime(raster);
    raster.DrawCell(40, 0, 1, 0);
    ExpectUntouchedOutside(raster, 242, 2, 243, 9);
    EXPECT_EQ(probe::CountPixels(raster, probe::kBlack), 2 * 8);

    probe::Prime(raster);
    raster.DrawCell(0, 8, 1, 0);
    ExpectUntouchedOutside(raster, 2, 66, 7, 67);
    EXPECT_EQ(probe::CountPixels(raster, probe::kBlack), 6 * 2);

    probe::Prime(raster);
    raster.DrawCell(-1, -1, 1, 0);
    ExpectUntouchedOutside(raster, 0, 0, 1, 1);
    EXPECT_EQ(probe::CountPixels(raster, probe::kBlack), 4);

    probe::Prime(raster);
    for (auto [c, r] : {std::pair{41, 0}, {0, 9}, {-2, 0}, {0, -2}, {1000, 1000}, {-1000, 3}}) {
        raster.DrawCell(c, r, 1, 0);
    }
    EXPECT_EQ(probe::CountPixels(raster, probe::kUntouched), Raster::kWidth * Raster::kHeight);
}

TEST(RasterText, LineFeedReturnsToColumnZeroOfTheNextRow)
{
    Raster raster;
    probe::Prime(raster);
    raster.DrawText(5, 1, 128, "A@\nA");
    EXPECT_EQ(CellRows(raster, 5, 1), kLetterA);
    EXPECT_EQ(CellRows(raster, 6, 1), kAtSign);
    EXPECT_EQ(CellRows(raster, 0, 2), kLetterA);
    EXPECT_EQ(probe::CountPixels(raster, probe::kUntouched), Raster::kWidth * Raster::kHeight - 3 * 48);
}

TEST(RasterText, NoWrappingPastTheLastColumn)
{
    Raster raster;
    probe::Prime(raster);
    // 42 solid cells from column 0: column 40 shows in the margin, 41 nowhere.
    raster.DrawText(0, 2, 129, std::string(42, ' ').c_str());
    ExpectUntouchedOutside(raster, 2, 18, 243, 25);
    EXPECT_EQ(probe::CountPixels(raster, probe::kBlack), 40 * 48 + 2 * 8);
    // Rows below the grid show only in the bottom margin.
    probe::Prime(raster);
    raster.DrawText(0, 7, 129, "  \n  \n  ");
    ExpectUntouchedOutside(raster, 2, 58, 13, 67);
}

TEST(RasterOverlay, FailureTextKeepsRowsZeroOneAndSeven)
{
    Raster raster;
    probe::Prime(raster);
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 40; ++c) {
            raster.DrawCell(c, r, 1, 0); // solid everywhere
        }
    }
    raster.ShowOverlayText("             PROCESS FAILED.            \n       FIRMWARE UPDATE ABORTED...       ");

    for (int c = 0; c < 40; ++c) {
        for (int r : {0, 1, 7}) {
            EXPECT_EQ(CellRows(raster, c, r), kSolidRows) << c << "," << r;
        }
        for (int r : {2, 5, 6}) {
            EXPECT_EQ(CellRows(raster, c, r), kBlankRows) << c << "," << r;
        }
    }
    const Rows letterP{0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10, 0x00};
    const Rows letterF{0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10, 0x00};
    const Rows fullStop{0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C, 0x00};
    EXPECT_EQ(CellRows(raster, 12, 3), kBlankRows);
    EXPECT_EQ(CellRows(raster, 13, 3), letterP);
    EXPECT_EQ(CellRows(raster, 27, 3), fullStop);
    EXPECT_EQ(CellRows(raster, 39, 3), kBlankRows);
    EXPECT_EQ(CellRows(raster, 6, 4), kBlankRows);
    EXPECT_EQ(CellRows(raster, 7, 4), letterF);
    EXPECT_EQ(CellRows(raster, 32, 4), fullStop);
    // The margin is not part of the overlay.
    EXPECT_EQ(probe::CountPixels(raster, probe::kUntouched), 2 * (244 + 244 + 64 + 64));
}
