#pragma once
// The display raster: the program's picture of the amplifier's 40 x 8
// character display, 244 x 68 pixels of 24 bits (blue, green, red), row 0 at
// the top. The text grid of 6 x 8 pixel cells starts at pixel (2, 2); the
// 2-pixel margin around it belongs to no cell.
//
// Every drawing operation reads the raster's current background and
// foreground colours. Nothing here repaints a window: the caller asks for the
// repaint when it has finished drawing. Main thread only.

#include <QImage>

#include <array>
#include <cstdint>
#include <vector>

namespace display {

// 0x00BBGGRR: red in the low byte, blue in bits 16 to 23.
using TColor = std::uint32_t;

class Raster {
public:
    static constexpr int kWidth = 244;
    static constexpr int kHeight = 68;
    static constexpr int kBytesPerPixel = 3;
    static constexpr int kBytesPerRow = kWidth * kBytesPerPixel; // 732, a multiple of 4
    static constexpr int kColumns = 40;
    static constexpr int kRows = 8;
    static constexpr int kCellWidth = 6;
    static constexpr int kCellHeight = 8;
    static constexpr int kMargin = 2;
    // Attribute values of 128 and above shift the code by -32 so that plain
    // ASCII text can be drawn with the font; bits 0 to 6 select inverse video.
    static constexpr int kTextAttribute = 128;

    Raster();
    Raster(const Raster&) = delete;
    Raster& operator=(const Raster&) = delete;

    void SetColours(TColor background, TColor foreground);
    TColor Background() const { return background_; }
    TColor Foreground() const { return foreground_; }

    // Row y (0 = top), kBytesPerRow bytes; taken once at creation.
    std::uint8_t* ScanLine(int y) { return rows_[static_cast<std::size_t>(y)]; }
    const std::uint8_t* ScanLine(int y) const { return rows_[static_cast<std::size_t>(y)]; }

    // Writes (colour >> 16), (colour >> 8), colour (low bytes) at 3x..3x+2 of
    // row y. Positions outside the raster are ignored.
    void SetPixel(int x, int y, TColor colour);
    // The colour of pixel (x, y) in the 0x00BBGGRR form; 0 outside the raster.
    TColor PixelColour(int x, int y) const;

    // Every pixel, the margin included, becomes the background colour.
    void Clear();

    // Paints all 48 pixels of cell (column, row) with glyph `code`, or glyph
    // (code - 32) mod 256 when attribute >= 128, inverted when
    // (attribute & 0x7F) != 0. A cell partly outside the raster paints only
    // the pixels inside it. A cell of the grid also records its glyph.
    void DrawCell(int column, int row, int attribute, std::uint8_t code);

    // The glyph last drawn into cell (column, row) of the text grid; glyph 0,
    // the blank, after Clear and for a position outside the grid. This is
    // what the display says in characters, whatever its colours.
    std::uint8_t CellGlyph(int column, int row) const;

    // Draws each byte with DrawCell, advancing one column; a line feed goes
    // to column 0 of the next row. No wrapping at the end of a row.
    void DrawText(int column, int row, int attribute, const char* text);

    // Rows 2 to 6 of the grid become plain background (forty blanks each).
    void BlankOverlayRows();

    // Blanks the overlay rows, then draws text from column 0 of row 3.
    void ShowOverlayText(const char* text);

    // A copy of the raster as a 32-bit image, for the window's stretched
    // paint: the toolkit scales a 32-bit source several times faster than a
    // 24-bit one, and the copy costs far less than that difference.
    QImage ToImage() const;

    // A read-only 24-bit image over the raster's own bytes (no copy). It shows
    // the raster's contents at the time it is read and must not outlive the
    // raster.
    QImage View() const;

private:
    std::vector<std::uint8_t> pixels_;
    std::array<std::uint8_t*, kHeight> rows_{};
    std::array<std::uint8_t, kColumns * kRows> glyphs_{};
    TColor background_ = 0;
    TColor foreground_ = 0;
};

} // namespace display
