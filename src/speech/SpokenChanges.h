#pragma once
// What a screen reader says by itself while the amplifier runs: the display
// lines that changed, each whole, and the lamps that went on or off. This is
// the one place that decides it; the display's accessible object only
// delivers the result (Announcer.h).
//
// A line is spoken again only when its words change: bar-graph cells and
// frame lines are left out of the comparison and of the spoken text, so a
// moving meter is not read out over and over (its line stays readable on
// demand). The alarm lamp lighting is urgent; everything else waits its turn.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace a11y {

struct Announcement {
    QString text;
    bool urgent = false; // said at once, cutting off what is being said

    bool operator==(const Announcement&) const = default;
};

// Lamp bits as the keypads take them: a 1 bit lights the lamp.
enum LampState : std::uint8_t {
    kLitOn = 0x01,
    kLitTx = 0x08, // lit only together with kLitOperate
    kLitOperate = 0x10,
    kLitSet = 0x20,
    kLitTune = 0x40,
    kLitAlarm = 0x80,
};

// The lamps lit, for the display's description: "Lamps lit: ON, OP" or
// "No lamp lit".
QString LampSummary(std::uint8_t lampStates);

// A display line as it is spoken: graph cells and frame lines left out,
// runs of blanks made one. Empty when nothing is left to say.
QString SpokenLine(const QString& line);

class SpokenChanges {
public:
    // What changed since the last call, in the order it is to be said: the
    // alarm first, then the changed lines in one announcement, then the other
    // lamps. The first call after construction or Forget() says nothing: a
    // screen reader presents what is there when it comes to the display.
    std::vector<Announcement> Next(const QStringList& lines, std::uint8_t lampStates);
    void Forget() { primed_ = false; }

private:
    bool primed_ = false;
    QStringList spoken_; // the spoken form of every line last time
    std::uint8_t lamps_ = 0;
};

} // namespace a11y
