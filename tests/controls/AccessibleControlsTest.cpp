// The keypads as a screen reader sees and works them: buttons found by name
// and pressed through their actions, latches toggled and read, lamps read.

#include "ControlsFixture.h"

#include "toolkit/Lamp.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>

namespace {

class AccessibleControlsTest : public ControlsTest {
protected:
    // The button of `window` whose accessible name is `name`.
    static QAccessibleInterface* ButtonNamed(QWidget* window, const QString& name)
    {
        for (SpeedButton* button : window->findChildren<SpeedButton*>()) {
            QAccessibleInterface* item = QAccessible::queryAccessibleInterface(button);
            if (item && item->text(QAccessible::Name) == name)
                return item;
        }
        return nullptr;
    }

    static QString Name(QWidget* widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }
};

// Pressing through the mouse-less path without the latch rules (a latched
// POWER staying latched, or sending nothing), names that do not say minus,
// plus, a latch not read as checked, or a toggle that sends, all fail here.
TEST_F(AccessibleControlsTest, ButtonsFoundByNameSendTheirKeysAndLatchesReadAndToggle)
{
    GoOnline();
    for (const char* name : {"L minus", "L plus", "BAND minus", "C plus", "Left arrow", "Right arrow", "TUNE", "OFF"})
        EXPECT_NE(ButtonNamed(keyForm, name), nullptr) << name;
    QAccessibleInterface* lMinus = ButtonNamed(keyForm, "L minus");
    ASSERT_NE(lMinus, nullptr);
    EXPECT_EQ(lMinus->text(QAccessible::Description), "Ctrl+L");
    lMinus->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Received(), (Codes{5}));

    QAccessibleInterface* power = ButtonNamed(keyForm, "POWER");
    ASSERT_NE(power, nullptr);
    EXPECT_FALSE(power->state().checked);
    power->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(keyForm->sb_Power->Down());
    EXPECT_EQ(power->text(QAccessible::Name), "POWER"); // the latch is the checked state, the name stays
    EXPECT_TRUE(power->state().checked);
    EXPECT_TRUE(Received().empty());
    ButtonNamed(keyForm, "L plus")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Received(), (Codes{29})); // L + with POWER latched
    power->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(keyForm->sb_Power->Down());
    EXPECT_EQ(power->text(QAccessible::Name), "POWER");
    EXPECT_EQ(Received(), (Codes{11}));

    // The basic keypad's buttons work the same way; no latches there.
    QAccessibleInterface* ant = ButtonNamed(jKeypad, "ANT");
    ASSERT_NE(ant, nullptr);
    EXPECT_EQ(ant->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    ant->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Received(), (Codes{4}));
    form->DisableKeyActions();
    ant->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(Received().empty());
}

TEST_F(AccessibleControlsTest, LampsSayTheirNameAndWhetherTheyAreLit)
{
    keyForm->SetLamps(0x41);
    jKeypad->SetLamps(0x41);
    EXPECT_EQ(Name(keyForm->stTUNE), "TUNE lamp, on");
    EXPECT_EQ(Name(keyForm->stSET), "SET lamp, off");
    EXPECT_EQ(Name(jKeypad->stON), "ON lamp, on"); // a bar without caption
    EXPECT_EQ(Name(jKeypad->stALARM), "AL lamp, off");
    keyForm->SetLamps(0);
    EXPECT_EQ(Name(keyForm->stTUNE), "TUNE lamp, off");
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(keyForm->stTUNE)->state().checked);
}

// A copy shortcut shared with another action (Qt then runs neither), or one
// whose key-up a keypad takes (Ctrl with a latch key), fails here.
TEST_F(AccessibleControlsTest, CopyShortcutCopiesAndTouchesNoKeyOfThePanel)
{
    GoOnline();
    QGuiApplication::clipboard()->setText("before");
    for (QWidget* window : std::initializer_list<QWidget*>{form.get(), keyForm}) {
        Activate(window);
        Type(window, Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "\n\n\n\n\n\n\n"); // the blank off-line raster
        QGuiApplication::clipboard()->setText("before");
    }
    EXPECT_TRUE(Received().empty());
    for (SpeedButton* button : keyForm->findChildren<SpeedButton*>())
        EXPECT_FALSE(button->Down()) << button->accessibleName().toStdString();
}

// A keypad Tab does not enter, buttons Space does not press, a keypad read as
// a filler, or a shortcut advertised that does nothing, fails here.
TEST_F(AccessibleControlsTest, KeypadButtonsAreReachedByTabPressedBySpaceAndAdvertiseTheKeyThatWorks)
{
    GoOnline();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(keyForm)->role(), QAccessible::Window);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(jKeypad)->role(), QAccessible::Window);
    QAccessibleInterface* ant = QAccessible::queryAccessibleInterface(keyForm->sb_Antenna);
    EXPECT_EQ(ant->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
              QStringList{"A"});

    Activate(keyForm);
    Type(keyForm, Qt::Key_Tab);
    ASSERT_NE(qobject_cast<SpeedButton*>(QApplication::focusWidget()), nullptr) << "Tab reached no button";
    keyForm->sb_Antenna->setFocus(Qt::TabFocusReason);
    Received();
    Type(keyForm->sb_Antenna, Qt::Key_Space);
    EXPECT_EQ(Received(), (Codes{4}));
}

} // namespace
