#include "display/CharText.h"

#include "display/Raster.h"

namespace display {

namespace {

// The amplifier's special glyphs 128 to 223, in code order, as the nearest
// Unicode character. Bar graphs read as blocks (empty segment light shade,
// half segment half block, full segment full block); frames and the meter's
// arcs as box-drawing lines; the edit markers as outlined triangles.
constexpr char16_t kSpecialGlyphs[96] = {
    // 128: micro sign, bar-graph ends and segments (empty, half, full).
    u'\u00B5', u'\u251C', u'\u2591', u'\u2591', u'\u2524', u'\u2590', u'\u258C', u'\u2590', //
    // 136
    u'\u2588', u'\u258C', u'\u2590', u'\u2588', u'\u258C', u'\u2500', u'\u252C', u'\u2502', //
    // 144: double rules, the tall bar pieces, outlined triangles.
    u'\u2556', u'\u2551', u'\u255E', u'\u2550', u'\u2561', u'\u25AF', u'\u25AF', u'\u25AF', //
    // 152
    u'\u25AF', u'\u25C1', u'\u25B3', u'\u25BD', u'\u25B7', u'\u25C1', u'\u25B7', u'\u2500', //
    // 160: box edges and corners, brackets, degree sign, speaker, tick.
    u'\u2500', u'\u2502', u'\u2510', u'\u2518', u'\u2502', u'\u250C', u'\u2514', u'(', //
    // 168
    u'\u00D7', u')', u'\u00B0', u'[', u']', u'\u25B6', u'\u2713', u' ', //
    // 176: the meter's frame and arcs.
    u'\u250C', u'\u2500', u'\u256E', u'\u2550', u'\u2510', u'\u250C', u'\u2550', u'\u2550', //
    // 184
    u'\u2572', u'\u2571', u'\u256D', u'\u2502', u'\u2571', u'\u2514', u'\u2500', u'\u2518', //
    // 192
    u'\u2571', u'\u2571', u' ', u'\u2571', u'\u2571', u'\u2571', u'\u2571', u'\u2502', //
    // 200
    u'\u256D', u'\u2500', u'\u256E', u'\u2571', u'\u2571', u'\u2571', u'\u2571', u'\u2550', //
    // 208
    u'\u256F', u'\u2502', u'\u2500', u'\u2571', u'\u2571', u'\u2597', u'\u2571', u'\u2500', //
    // 216
    u'\u2571', u'\u2500', u'\u2571', u'\u2571', u'\u2514', u'\u2550', u'\u2550', u'\u2550', //
};

constexpr std::array<char16_t, kGlyphCount> MakeGlyphText()
{
    std::array<char16_t, kGlyphCount> text{};
    for (int g = 0; g < kGlyphCount; ++g) {
        if (g <= 94) {
            text[static_cast<std::size_t>(g)] = static_cast<char16_t>(g + 0x20);
        } else if (g >= 128 && g < 224) {
            text[static_cast<std::size_t>(g)] = kSpecialGlyphs[g - 128];
        } else {
            text[static_cast<std::size_t>(g)] = u' ';
        }
    }
    return text;
}

} // namespace

const std::array<char16_t, kGlyphCount> kGlyphText = MakeGlyphText();

QString RasterRow(const Raster& raster, int row)
{
    QString line(Raster::kColumns, QLatin1Char(' '));
    for (int c = 0; c < Raster::kColumns; ++c) {
        line[c] = QChar(kGlyphText[raster.CellGlyph(c, row)]);
    }
    return line;
}

QString RasterLine(const Raster& raster, int row)
{
    QString line = RasterRow(raster, row);
    qsizetype end = line.size();
    while (end > 0 && line[end - 1] == QLatin1Char(' ')) {
        --end;
    }
    line.truncate(end);
    return line;
}

QStringList RasterLines(const Raster& raster)
{
    QStringList lines;
    lines.reserve(Raster::kRows);
    for (int r = 0; r < Raster::kRows; ++r) {
        lines.append(RasterLine(raster, r));
    }
    return lines;
}

QString RasterText(const Raster& raster)
{
    return RasterLines(raster).join(QLatin1Char('\n'));
}

QString RasterGrid(const Raster& raster)
{
    QStringList rows;
    rows.reserve(Raster::kRows);
    for (int r = 0; r < Raster::kRows; ++r) {
        rows.append(RasterRow(raster, r));
    }
    return rows.join(QLatin1Char('\n'));
}

} // namespace display
