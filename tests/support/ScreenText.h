#pragma once
// The text a reader should get for an amplifier screen: the frame payload's
// 320 character codes through the glyph table, eight lines with trailing
// blanks trimmed, joined by line feeds.

#include <QString>

#include <cstdint>
#include <vector>

namespace testsupport {

QString ScreenText(const std::vector<std::uint8_t>& payload);

} // namespace testsupport
