// What a screen reader is told by itself.

#include "speech/SpokenChanges.h"

#include <gtest/gtest.h>

namespace {

using Round = std::vector<a11y::Announcement>;

// Speaking the first screen, a bar graph moving, a late or polite alarm, or TX without OP fails here.
TEST(SpokenChangesTest, BarGraphsStayQuietAndTheAlarmComesFirstAndUrgent)
{
    a11y::SpokenChanges changes;
    QStringList screen = {"AVELKOR Q9-MX   STANDBY", QString::fromUtf8("PWR \u2588\u258C\u2591\u2591  120W")};
    EXPECT_TRUE(changes.Next(screen, 0x41).empty());
    screen[1] = QString::fromUtf8("PWR \u2588\u2588\u2588\u2591  120W");
    EXPECT_TRUE(changes.Next(screen, 0x41).empty());
    screen[1] = QString::fromUtf8("PWR \u2588\u2588\u2588\u2588  480W");
    EXPECT_EQ(changes.Next(screen, 0x41), (Round{{"PWR 480W", false}}));
    screen[0] = "ALARM:  HIGH SWR";
    EXPECT_EQ(changes.Next(screen, 0x89),
              (Round{{"Alarm! AL lamp on", true}, {"ALARM: HIGH SWR", false}, {"TUNE lamp off", false}}));
    EXPECT_EQ(changes.Next(screen, 0x99), (Round{{"OP lamp on, TX lamp on", false}}));
}

} // namespace
