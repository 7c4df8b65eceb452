// What a screen reader is told by itself: changed lines whole, a moving bar
// graph not at all, the alarm first and urgent.

#include "speech/SpokenChanges.h"

#include <gtest/gtest.h>

namespace {

using a11y::Announcement;

const QStringList kScreen = {QString::fromUtf8("AVELKOR Q9-MX                    STANDBY"),
                             QString::fromUtf8("IN 1   ANT 1  20m   SEG 3  PWR HIGH"),
                             QString::fromUtf8("PWR \u2588\u2588\u258C\u2591\u2591\u2591    120W")};

// The screen with `row` replaced, kept for the next step.
QStringList With(QStringList& screen, int row, const QString& line)
{
    screen[row] = line;
    return screen;
}

// Speaking the changed span instead of the line, the unchanged lines, a bar
// graph on every move, or the first screen all at once, fails here.
TEST(SpokenChangesTest, ChangedLinesAreSpokenWholeAndABarGraphMovingIsNot)
{
    a11y::SpokenChanges changes;
    QStringList screen = kScreen;
    EXPECT_TRUE(changes.Next(screen, 0x01).empty());
    EXPECT_EQ(changes.Next(With(screen, 1, "IN 1   ANT 2  20m   SEG 3  PWR HIGH"), 0x01),
              (std::vector<Announcement>{{"IN 1 ANT 2 20m SEG 3 PWR HIGH", false}}));
    EXPECT_TRUE(
        changes.Next(With(screen, 2, QString::fromUtf8("PWR \u2588\u2588\u2588\u2588\u2591\u2591    120W")), 0x01)
            .empty());
    EXPECT_EQ(
        changes.Next(With(screen, 2, QString::fromUtf8("PWR \u2588\u2588\u2588\u2588\u2588\u2591    480W")), 0x01),
        (std::vector<Announcement>{{"PWR 480W", false}}));
}

// An alarm said after the lines or politely, TX read without OP, or a lamp
// that stayed as it was reported, fails here.
TEST(SpokenChangesTest, TheAlarmComesFirstAndUrgentOtherLampsAfterTheLines)
{
    a11y::SpokenChanges changes;
    QStringList screen = kScreen;
    changes.Next(screen, 0x01 | 0x40);
    EXPECT_EQ(
        changes.Next(With(screen, 0, "ALARM: HIGH SWR"), 0x01 | 0x80 | 0x08),
        (std::vector<Announcement>{{"Alarm! AL lamp on", true}, {"ALARM: HIGH SWR", false}, {"TUNE lamp off", false}}));
    EXPECT_EQ(changes.Next(With(screen, 0, "ALARM: HIGH SWR"), 0x01 | 0x80 | 0x18),
              (std::vector<Announcement>{{"OP lamp on, TX lamp on", false}}));
    EXPECT_EQ(a11y::LampSummary(0x01 | 0x08), "Lamps lit: ON");
}

} // namespace
