#pragma once
// The simulated amplifier's 40 x 8 character display: one glyph code per cell
// and one attribute byte per column (bit r inverts the cell in row r), exactly
// as a display frame carries them.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Glyph codes of the amplifier's font that the simulated screens use.
namespace glyph {
constexpr std::uint8_t kMicro = 128;
// Bar-graph pieces: ends, and segments with a short or a tall tick mark above.
constexpr std::uint8_t kBarLeftEmpty = 129;
constexpr std::uint8_t kBarEmptyShort = 130;
constexpr std::uint8_t kBarEmptyTall = 131;
constexpr std::uint8_t kBarRightEmpty = 132;
constexpr std::uint8_t kBarLeftFull = 133;
constexpr std::uint8_t kBarHalfShort = 134;
constexpr std::uint8_t kBarFullShort = 136;
constexpr std::uint8_t kBarHalfTall = 137;
constexpr std::uint8_t kBarFullTall = 139;
constexpr std::uint8_t kBarRightFull = 140;
// Outlined triangles around a value being edited, and the selection marker.
constexpr std::uint8_t kTriangleLeft = 157;
constexpr std::uint8_t kTriangleRight = 158;
// Box edges and corners.
constexpr std::uint8_t kBoxTop = 159;
constexpr std::uint8_t kBoxBottom = 160;
constexpr std::uint8_t kBoxRight = 161;
constexpr std::uint8_t kBoxTopRight = 162;
constexpr std::uint8_t kBoxBottomRight = 163;
constexpr std::uint8_t kBoxLeft = 164;
constexpr std::uint8_t kBoxTopLeft = 165;
constexpr std::uint8_t kBoxBottomLeft = 166;
constexpr std::uint8_t kDegree = 170; // raised dot
constexpr std::uint8_t kTick = 174;
} // namespace glyph

// Code of a printable ASCII character (0x20..0x7E map to 0..94); a byte of
// 0x80 or more is taken as a glyph code as it stands, anything else is blank.
constexpr std::uint8_t CodeOf(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80)
        return byte;
    if (byte >= 0x20 && byte <= 0x7E)
        return static_cast<std::uint8_t>(byte - 0x20);
    return 0;
}

class ScreenBuffer {
public:
    static constexpr int kColumns = 40;
    static constexpr int kRows = 8;
    static constexpr int kPayloadSize = kColumns * kRows + kColumns; // 360

    void Clear();
    // Text from (col, row); characters past column 39 are dropped.
    void Put(int col, int row, std::string_view text);
    void PutCode(int col, int row, std::uint8_t code);
    // Text whose last character lands in column endCol.
    void PutRight(int endCol, int row, std::string_view text);
    void PutCentered(int row, std::string_view text);
    // Inverse video for columns fromCol..toCol (inclusive) of row.
    void Invert(int row, int fromCol, int toCol);
    // A frame around the whole screen: top edge in row 0, bottom edge in row 7.
    void Box();
    // A bar graph of `cells` cells from (col, row): an end piece at each side
    // and cells - 2 segments between, a tall tick on every fifth segment.
    // `halves` counts filled half segments (0 .. 2 * (cells - 2)).
    void Bar(int col, int row, int cells, int halves);

    std::uint8_t Code(int col, int row) const;
    bool Inverted(int col, int row) const;
    // Codes 0..94 as ASCII, every other code as '.'.
    std::string RowText(int row) const;
    // 320 codes row by row, then the 40 attribute bytes.
    std::vector<std::uint8_t> Payload() const;

private:
    std::array<std::uint8_t, kColumns * kRows> codes_{};
    std::array<std::uint8_t, kColumns> attributes_{};
};

// printf-style formatting into a std::string, for the screen texts (at least
// one argument).
template <typename... Args> std::string Format(const char* format, Args... args)
{
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

} // namespace sim
