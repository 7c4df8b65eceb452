#include "sim/ScreenBuffer.h"

namespace sim {

namespace {

bool InGrid(int col, int row)
{
    return col >= 0 && col < ScreenBuffer::kColumns && row >= 0 && row < ScreenBuffer::kRows;
}

} // namespace

void ScreenBuffer::Clear()
{
    codes_.fill(0);
    attributes_.fill(0);
}

void ScreenBuffer::Put(int col, int row, std::string_view text)
{
    for (char c : text)
        PutCode(col++, row, CodeOf(c));
}

void ScreenBuffer::PutCode(int col, int row, std::uint8_t code)
{
    if (InGrid(col, row))
        codes_[static_cast<std::size_t>(row * kColumns + col)] = code;
}

void ScreenBuffer::PutRight(int endCol, int row, std::string_view text)
{
    Put(endCol + 1 - static_cast<int>(text.size()), row, text);
}

void ScreenBuffer::PutCentered(int row, std::string_view text)
{
    Put((kColumns - static_cast<int>(text.size())) / 2, row, text);
}

void ScreenBuffer::Invert(int row, int fromCol, int toCol)
{
    for (int col = fromCol; col <= toCol; ++col)
        if (InGrid(col, row))
            attributes_[static_cast<std::size_t>(col)] |= static_cast<std::uint8_t>(1u << row);
}

void ScreenBuffer::Box()
{
    const int last = kColumns - 1;
    PutCode(0, 0, glyph::kBoxTopLeft);
    PutCode(last, 0, glyph::kBoxTopRight);
    PutCode(0, kRows - 1, glyph::kBoxBottomLeft);
    PutCode(last, kRows - 1, glyph::kBoxBottomRight);
    for (int col = 1; col < last; ++col) {
        PutCode(col, 0, glyph::kBoxTop);
        PutCode(col, kRows - 1, glyph::kBoxBottom);
    }
    for (int row = 1; row < kRows - 1; ++row) {
        PutCode(0, row, glyph::kBoxLeft);
        PutCode(last, row, glyph::kBoxRight);
    }
}

void ScreenBuffer::Bar(int col, int row, int cells, int halves)
{
    const int segments = cells - 2;
    if (segments < 1)
        return;
    if (halves < 0)
        halves = 0;
    if (halves > 2 * segments)
        halves = 2 * segments;
    PutCode(col, row, halves > 0 ? glyph::kBarLeftFull : glyph::kBarLeftEmpty);
    for (int k = 0; k < segments; ++k) {
        const bool tall = k % 5 == 4;
        std::uint8_t code = tall ? glyph::kBarEmptyTall : glyph::kBarEmptyShort;
        if (halves >= 2 * (k + 1))
            code = tall ? glyph::kBarFullTall : glyph::kBarFullShort;
        else if (halves == 2 * k + 1)
            code = tall ? glyph::kBarHalfTall : glyph::kBarHalfShort;
        PutCode(col + 1 + k, row, code);
    }
    PutCode(col + cells - 1, row, halves == 2 * segments ? glyph::kBarRightFull : glyph::kBarRightEmpty);
}

std::uint8_t ScreenBuffer::Code(int col, int row) const
{
    return InGrid(col, row) ? codes_[static_cast<std::size_t>(row * kColumns + col)] : 0;
}

bool ScreenBuffer::Inverted(int col, int row) const
{
    return InGrid(col, row) && (attributes_[static_cast<std::size_t>(col)] & (1u << row)) != 0;
}

std::string ScreenBuffer::RowText(int row) const
{
    std::string text;
    for (int col = 0; col < kColumns; ++col) {
        const std::uint8_t code = Code(col, row);
        text += code <= 94 ? static_cast<char>(code + 0x20) : '.';
    }
    return text;
}

std::vector<std::uint8_t> ScreenBuffer::Payload() const
{
    std::vector<std::uint8_t> payload(codes_.begin(), codes_.end());
    payload.insert(payload.end(), attributes_.begin(), attributes_.end());
    return payload;
}

} // namespace sim
