#include "speech/SpokenChanges.h"

#include <array>

namespace a11y {

namespace {

struct LampName {
    std::uint8_t bit;
    const char* name;
};

// In the order the keypads show them, left to right.
constexpr std::array<LampName, 6> kLamps = {{
    {kLitAlarm, "AL"},
    {kLitTune, "TUNE"},
    {kLitSet, "SET"},
    {kLitOn, "ON"},
    {kLitOperate, "OP"},
    {kLitTx, "TX"},
}};

// TX shows only while OP is lit too.
bool IsLit(std::uint8_t lampStates, std::uint8_t bit)
{
    if (bit == kLitTx) {
        return (lampStates & (kLitTx | kLitOperate)) == (kLitTx | kLitOperate);
    }
    return (lampStates & bit) != 0;
}

// Block elements (bar-graph cells), box drawing (frames, meter arcs) and the
// geometric shapes of the edit markers carry no words.
bool IsGraphic(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x2500 && u <= 0x25FF);
}

} // namespace

QString LampSummary(std::uint8_t lampStates)
{
    QStringList lit;
    for (const LampName& lamp : kLamps) {
        if (IsLit(lampStates, lamp.bit)) {
            lit.append(QLatin1String(lamp.name));
        }
    }
    return lit.isEmpty() ? QStringLiteral("No lamp lit") : QStringLiteral("Lamps lit: ") + lit.join(u", ");
}

QString SpokenLine(const QString& line)
{
    QString words = line;
    for (QChar& c : words) {
        if (IsGraphic(c)) {
            c = QLatin1Char(' ');
        }
    }
    return words.simplified();
}

std::vector<Announcement> SpokenChanges::Next(const QStringList& lines, std::uint8_t lampStates)
{
    QStringList spoken;
    spoken.reserve(lines.size());
    for (const QString& line : lines) {
        spoken.append(SpokenLine(line));
    }
    std::vector<Announcement> out;
    if (!primed_) {
        primed_ = true;
        spoken_ = spoken;
        lamps_ = lampStates;
        return out;
    }

    QStringList lampChanges;
    for (const LampName& lamp : kLamps) {
        const bool was = IsLit(lamps_, lamp.bit);
        const bool is = IsLit(lampStates, lamp.bit);
        if (was == is) {
            continue;
        }
        if (lamp.bit == kLitAlarm && is) {
            out.push_back({QStringLiteral("Alarm! AL lamp on"), true});
        } else {
            lampChanges.append(QLatin1String(lamp.name) +
                               (is ? QStringLiteral(" lamp on") : QStringLiteral(" lamp off")));
        }
    }

    QStringList changed;
    for (qsizetype row = 0; row < spoken.size(); ++row) {
        if (!spoken[row].isEmpty() && (row >= spoken_.size() || spoken[row] != spoken_[row])) {
            changed.append(spoken[row]);
        }
    }
    if (!changed.isEmpty()) {
        out.push_back({changed.join(QLatin1Char('\n')), false});
    }
    if (!lampChanges.isEmpty()) {
        out.push_back({lampChanges.join(u", "), false});
    }
    spoken_ = spoken;
    lamps_ = lampStates;
    return out;
}

} // namespace a11y
