// The display read as text: the character table against the font, and the
// raster's lines after frames and overlay texts.

#include "display/CharText.h"

#include "display/FontTable.h"
#include "display/FrameDrawing.h"
#include "display/Raster.h"

#include <gtest/gtest.h>

#include <QChar>

#include <cstdint>
#include <vector>

using display::kGlyphText;
using display::Raster;

namespace {

bool BlankGlyph(int glyph)
{
    for (int i = 0; i < 8; ++i) {
        if (display::kFontTable[static_cast<std::size_t>(8 * glyph + i)] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

// A table shifted by one against the font, a printable glyph read as a blank,
// a blank read as something, or an entry that is no single printable
// character all fail here.
TEST(CharText, EveryCodeIsOneCharacterAndBlankExactlyWhereTheGlyphIs)
{
    for (int g = 0; g < display::kGlyphCount; ++g) {
        const QChar ch(kGlyphText[static_cast<std::size_t>(g)]);
        EXPECT_FALSE(ch.isSurrogate()) << "glyph " << g;
        EXPECT_TRUE(ch.isPrint()) << "glyph " << g << " maps to U+" << std::hex << int(ch.unicode());
        EXPECT_EQ(ch == QLatin1Char(' '), BlankGlyph(g)) << "glyph " << g;
        if (g <= 94) {
            EXPECT_EQ(ch.unicode(), g + 0x20) << "glyph " << g;
        }
    }
    EXPECT_EQ(kGlyphText[128], u'\u00B5'); // micro sign
    EXPECT_EQ(kGlyphText[170], u'\u00B0'); // degree sign
}

// Recording the code instead of the glyph (text drawn with attribute 128 is
// shifted by 32), keeping old text after Clear, or letting inverse video or
// trailing blanks into the text all fail here.
TEST(CharText, LinesFollowTheGlyphsDrawnNotTheirLook)
{
    Raster raster;
    raster.Clear();
    std::vector<std::uint8_t> payload(360, 0);
    const char top[] = "ANT 1  ";
    for (int c = 0; top[c] != 0; ++c) {
        payload[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(top[c] - 0x20);
    }
    payload[40 + 3] = 128;   // the micro sign in row 1, column 3
    payload[320 + 0] = 0x81; // column 0 inverse in rows 0 and 7
    payload[320 + 1] = 0x01;
    display::DrawDisplayFrame(raster, payload.data());
    EXPECT_EQ(display::RasterLines(raster),
              (QStringList{"ANT 1", QString::fromUtf16(u"   \u00B5"), "", "", "", "", "", ""}));

    raster.ShowOverlayText("  PROCESS FAILED.\nABORTED...");
    EXPECT_EQ(display::RasterLine(raster, 3), "  PROCESS FAILED.");
    EXPECT_EQ(display::RasterText(raster),
              QString::fromUtf16(u"ANT 1\n   \u00B5\n\n  PROCESS FAILED.\nABORTED...\n\n\n"));

    raster.Clear();
    EXPECT_EQ(display::RasterText(raster), "\n\n\n\n\n\n\n");
}
