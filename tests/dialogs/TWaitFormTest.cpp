#include "Wait.h"

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>

TEST(WaitForm, StartsHiddenWithItsControls)
{
    TWaitForm form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Showing());
    EXPECT_EQ(form.windowTitle(), "Vorlinq: Connection in progress...");
    EXPECT_TRUE(form.windowFlags() & Qt::Tool);
    EXPECT_EQ(form.size(), QSize(245, 101));
    EXPECT_EQ(form.pbWait->geometry(), QRect(10, 8, 210, 17));
    EXPECT_EQ(form.pbWait->minimum(), 0);
    EXPECT_EQ(form.pbWait->maximum(), 300);
    EXPECT_EQ(form.pbWait->value(), 0);
    EXPECT_EQ(form.btnAbort->geometry(), QRect(56, 33, 118, 25));
    EXPECT_EQ(form.btnAbort->text(), "Abort process");
}

TEST(WaitForm, AbortButtonAndCloseBoxOnlyHide)
{
    TWaitForm form;
    form.show();
    EXPECT_TRUE(form.Showing());
    form.btnAbort->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Showing());

    form.show();
    EXPECT_TRUE(form.Showing());
    form.close();
    EXPECT_FALSE(form.Showing());
    form.show(); // still usable for the next connect
    EXPECT_TRUE(form.Showing());
}
