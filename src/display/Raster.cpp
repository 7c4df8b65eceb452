#include "display/Raster.h"

#include "display/FontTable.h"

#include <algorithm>

namespace display {

namespace {

struct Bgr {
    std::uint8_t b, g, r;
};

Bgr Split(TColor colour)
{
    return {static_cast<std::uint8_t>((colour >> 16) & 0xFF), static_cast<std::uint8_t>((colour >> 8) & 0xFF),
            static_cast<std::uint8_t>(colour & 0xFF)};
}

void Put(std::uint8_t* p, Bgr c)
{
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

} // namespace

Raster::Raster() : pixels_(static_cast<std::size_t>(kBytesPerRow) * kHeight, 0)
{
    for (int y = 0; y < kHeight; ++y) {
        rows_[static_cast<std::size_t>(y)] = pixels_.data() + static_cast<std::size_t>(y) * kBytesPerRow;
    }
}

void Raster::SetColours(TColor background, TColor foreground)
{
    background_ = background;
    foreground_ = foreground;
}

void Raster::SetPixel(int x, int y, TColor colour)
{
    if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) {
        return;
    }
    Put(ScanLine(y) + kBytesPerPixel * x, Split(colour));
}

TColor Raster::PixelColour(int x, int y) const
{
    if (x < 0 || x >= kWidth || y < 0 || y >= kHeight) {
        return 0;
    }
    const std::uint8_t* p = ScanLine(y) + kBytesPerPixel * x;
    return (TColor{p[0]} << 16) | (TColor{p[1]} << 8) | TColor{p[2]};
}

void Raster::Clear()
{
    const Bgr bg = Split(background_);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            Put(row + kBytesPerPixel * x, bg);
        }
    }
    glyphs_.fill(0);
}

std::uint8_t Raster::CellGlyph(int column, int row) const
{
    if (column < 0 || column >= kColumns || row < 0 || row >= kRows) {
        return 0;
    }
    return glyphs_[static_cast<std::size_t>(kColumns * row + column)];
}

void Raster::DrawCell(int column, int row, int attribute, std::uint8_t code)
{
    const int glyph = attribute < kTextAttribute ? code : static_cast<std::uint8_t>(code - 32);
    if (column >= 0 && column < kColumns && row >= 0 && row < kRows) {
        glyphs_[static_cast<std::size_t>(kColumns * row + column)] = static_cast<std::uint8_t>(glyph);
    }
    const std::uint8_t invert = (attribute & 0x7F) != 0 ? 0xFF : 0x00;

    const int left = kCellWidth * column + kMargin;
    const int top = kCellHeight * row + kMargin;
    const int firstJ = std::max(0, -left);
    const int endJ = std::min(kCellWidth, kWidth - left);
    const int firstI = std::max(0, -top);
    const int endI = std::min(kCellHeight, kHeight - top);
    if (firstJ >= endJ || firstI >= endI) {
        return;
    }

    const Bgr fg = Split(foreground_);
    const Bgr bg = Split(background_);
    const std::uint8_t* bits = kFontTable.data() + kGlyphRows * glyph;
    for (int i = firstI; i < endI; ++i) {
        const std::uint8_t line = bits[i] ^ invert;
        std::uint8_t* p = ScanLine(top + i) + kBytesPerPixel * left;
        for (int j = firstJ; j < endJ; ++j) {
            Put(p + kBytesPerPixel * j, (line >> (5 - j)) & 1 ? fg : bg);
        }
    }
}

void Raster::DrawText(int column, int row, int attribute, const char* text)
{
    int c = column;
    int r = row;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\n') {
            c = 0;
            ++r;
            continue;
        }
        DrawCell(c, r, attribute, static_cast<std::uint8_t>(*p));
        ++c;
    }
}

void Raster::BlankOverlayRows()
{
    static constexpr char kBlanks[] = "                                        ";
    static_assert(sizeof(kBlanks) == kColumns + 1);
    for (int r = 2; r <= 6; ++r) {
        DrawText(0, r, kTextAttribute, kBlanks);
    }
}

void Raster::ShowOverlayText(const char* text)
{
    BlankOverlayRows();
    DrawText(0, 3, kTextAttribute, text);
}

QImage Raster::ToImage() const
{
    return View().convertToFormat(QImage::Format_RGB32);
}

QImage Raster::View() const
{
    return QImage(pixels_.data(), kWidth, kHeight, kBytesPerRow, QImage::Format_BGR888);
}

} // namespace display
