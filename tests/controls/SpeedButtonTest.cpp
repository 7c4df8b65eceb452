// Speed buttons: binding to an action, the grouped held state and the mouse rules.
#include "toolkit/SpeedButton.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

namespace {

class SpeedButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(300, 100);
        panelA = new QWidget(window.get());
        panelA->setGeometry(0, 0, 150, 100);
        panelB = new QWidget(window.get());
        panelB->setGeometry(150, 0, 150, 100);
        a1 = MakeButton(panelA, 0, QStringLiteral("&POWER"));
        a2 = MakeButton(panelA, 60, QStringLiteral("CA&T"));
        b1 = MakeButton(panelB, 0, QStringLiteral("&INPUT"));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    SpeedButton* MakeButton(QWidget* panel, int left, const QString& caption)
    {
        auto* action = new QAction(caption, window.get());
        action->setToolTip(QStringLiteral("Alt+") + AcceleratorOf(caption));
        auto* button = new SpeedButton(panel);
        button->setGeometry(left, 10, 56, 22);
        button->SetAction(action);
        QObject::connect(action, &QAction::triggered, [this, button] { runs.push_back({button, button->Down()}); });
        return button;
    }

    struct Run {
        SpeedButton* button;
        bool downWhenRun;
    };
    std::unique_ptr<QWidget> window;
    QWidget* panelA = nullptr;
    QWidget* panelB = nullptr;
    SpeedButton* a1 = nullptr;
    SpeedButton* a2 = nullptr;
    SpeedButton* b1 = nullptr;
    std::vector<Run> runs;
};

} // namespace

TEST(SpeedButtonCaption, AcceleratorMarks)
{
    EXPECT_EQ(AcceleratorOf(QStringLiteral("T&UNE")), QChar('U'));
    EXPECT_EQ(AcceleratorOf(QStringLiteral("&-    ")), QChar('-'));
    EXPECT_EQ(AcceleratorOf(QStringLiteral("    &+")), QChar('+'));
    EXPECT_TRUE(AcceleratorOf(QStringLiteral("L      ")).isNull());
    EXPECT_EQ(AcceleratorOf(QStringLiteral("&Home display && keypad")), QChar('H'));
    EXPECT_TRUE(AcceleratorOf(QStringLiteral("a && b")).isNull());
    EXPECT_EQ(StripAccelerator(QStringLiteral("&Home display && keypad")), QStringLiteral("Home display & keypad"));
    EXPECT_EQ(StripAccelerator(QStringLiteral("      &L")), QStringLiteral("      L"));
}

TEST_F(SpeedButtonTest, FollowsItsAction)
{
    QAction* action = a1->Action();
    EXPECT_EQ(a1->Caption(), QStringLiteral("&POWER"));
    EXPECT_EQ(a1->toolTip(), QStringLiteral("Alt+P"));
    EXPECT_EQ(a1->focusPolicy(), Qt::TabFocus); // Tab reaches it, a click leaves the focus alone
    EXPECT_EQ(a1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(a1->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(a1->font().pointSize(), 8);

    action->setText(QStringLiteral("O&FF"));
    action->setEnabled(false);
    EXPECT_EQ(a1->Accelerator(), QChar('F'));
    EXPECT_FALSE(a1->isEnabled());
    a1->Click();
    EXPECT_TRUE(runs.empty());
    action->setEnabled(true);
    EXPECT_TRUE(a1->isEnabled());
}

TEST_F(SpeedButtonTest, HeldStateFollowsTheGroupRules)
{
    a1->SetDown(true); // group 0: ignored
    EXPECT_FALSE(a1->Down());

    a1->Hold();
    b1->Hold(); // another panel: a1 stays down
    EXPECT_TRUE(a1->Down());
    a2->Hold(); // same panel: takes a1 up, a1 keeps group 1
    EXPECT_FALSE(a1->Down());
    EXPECT_EQ(a1->GroupIndex(), 1);
    EXPECT_TRUE(a2->Down());
    EXPECT_TRUE(b1->Down());

    a2->Toggle();
    EXPECT_FALSE(a2->Down());
    a2->Toggle();
    EXPECT_TRUE(a2->Down());
    a2->Release();
    EXPECT_FALSE(a2->Down());
    EXPECT_EQ(a2->GroupIndex(), 0);
}

TEST_F(SpeedButtonTest, LeftClickRunsTheActionAndInvertsAGroupOneButtonFirst)
{
    QTest::mouseClick(a1, Qt::LeftButton); // group 0: runs, never down
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_FALSE(a1->Down());

    a2->Hold();
    QTest::mouseClick(a2, Qt::LeftButton); // group 1 and down: goes up, then runs
    ASSERT_EQ(runs.size(), 2U);
    EXPECT_EQ(runs[1].button, a2);
    EXPECT_FALSE(runs[1].downWhenRun);
    QTest::mouseClick(a2, Qt::LeftButton); // group 1 and up: goes down, then runs
    ASSERT_EQ(runs.size(), 3U);
    EXPECT_TRUE(runs[2].downWhenRun);
}

TEST_F(SpeedButtonTest, PressesThatAreNoClicks)
{
    QSignalSpy mouseUps(a1, &SpeedButton::MouseUp);
    QTest::mouseClick(a1, Qt::RightButton);
    QTest::mouseClick(a1, Qt::MiddleButton);
    EXPECT_TRUE(runs.empty());
    ASSERT_EQ(mouseUps.size(), 2);
    EXPECT_EQ(mouseUps[0][0].value<Qt::MouseButton>(), Qt::RightButton);

    // A left press dragged off before the release runs nothing.
    QTest::mousePress(a1, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(a1, Qt::LeftButton, {}, QPoint(-20, 5));
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(mouseUps.size(), 3);
}

TEST_F(SpeedButtonTest, LeftPressOnAGroupZeroButtonOnlyDrawsItSunk)
{
    a2->Hold();
    QTest::mousePress(a1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(a1->Sunk());
    EXPECT_FALSE(a1->Down());
    EXPECT_TRUE(a2->Down()); // nobody taken up
    QTest::mouseRelease(a1, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(a1->Sunk());
    EXPECT_TRUE(a2->Down());
}

TEST_F(SpeedButtonTest, MouseUpHandlerRunsBeforeTheClickHandling)
{
    // A handler that ends the latch on release: the click then sees group 0
    // and only runs the action.
    QObject::connect(a2, &SpeedButton::MouseUp, [this] { a2->Release(); });
    a2->Hold();
    QTest::mouseClick(a2, Qt::LeftButton);
    ASSERT_EQ(runs.size(), 1U);
    EXPECT_FALSE(runs[0].downWhenRun);
    EXPECT_FALSE(a2->Down());
}

TEST(TriangleGlyph, TealWithBlackOutlineOnTransparentAndGreyWhenDisabled)
{
    for (bool left : {true, false}) {
        const QImage normal = TriangleGlyph(left, true);
        ASSERT_EQ(normal.size(), QSize(16, 16));
        EXPECT_EQ(normal.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(normal.pixelColor(15, 15).alpha(), 0);
        EXPECT_EQ(normal.pixelColor(7, 8), QColor(0, 128, 128));
        EXPECT_EQ(normal.pixelColor(left ? 10 : 5, 8), QColor(0, 0, 0));
        // The two triangles are mirror images.
        EXPECT_EQ(normal.mirrored(true, false), TriangleGlyph(!left, true));

        const QImage disabled = TriangleGlyph(left, false);
        EXPECT_EQ(disabled.pixelColor(7, 8), QColor(128, 128, 128));
        EXPECT_EQ(disabled.pixelColor(0, 0).alpha(), 0);
        int teal = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                teal += disabled.pixelColor(x, y) == QColor(0, 128, 128) ? 1 : 0;
            }
        }
        EXPECT_EQ(teal, 0);
    }
}
