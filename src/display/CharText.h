#pragma once
// The display as text: the character each glyph of the font stands for, and
// the raster's text grid read as eight lines. Screen readers and the
// clipboard get this text; it comes from the glyph codes the raster records,
// never from its pixels, so colours and inverse video do not change it.

#include "display/FontTable.h"

#include <QString>
#include <QStringList>

#include <array>

namespace display {

class Raster;

// One Unicode character (a single UTF-16 unit) per glyph code: glyphs 0 to 94
// are the printable ASCII characters 0x20 to 0x7E; the amplifier's special
// glyphs (bar-graph pieces, frame lines, arrows, the micro and degree signs)
// are the nearest Unicode characters; a blank glyph is a space.
extern const std::array<char16_t, kGlyphCount> kGlyphText;

// Row `row` of the text grid, all 40 characters.
QString RasterRow(const Raster& raster, int row);
// Row `row` of the text grid, trailing blanks trimmed.
QString RasterLine(const Raster& raster, int row);
// The eight rows of the text grid, top first, trailing blanks trimmed.
QStringList RasterLines(const Raster& raster);
// The eight lines joined by line feeds (no line feed after the last).
QString RasterText(const Raster& raster);
// The whole grid, eight rows of 40 characters joined by line feeds: every
// cell keeps its offset whatever the screen shows.
QString RasterGrid(const Raster& raster);

} // namespace display
