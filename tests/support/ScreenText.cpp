#include "support/ScreenText.h"

#include "display/CharText.h"

#include <QStringList>

namespace testsupport {

QString ScreenText(const std::vector<std::uint8_t>& payload)
{
    QStringList lines;
    for (int r = 0; r < 8; ++r) {
        QString line;
        for (int c = 0; c < 40; ++c)
            line += QChar(display::kGlyphText[payload[static_cast<std::size_t>(40 * r + c)]]);
        while (line.endsWith(' '))
            line.chop(1);
        lines << line;
    }
    return lines.join('\n');
}

} // namespace testsupport
