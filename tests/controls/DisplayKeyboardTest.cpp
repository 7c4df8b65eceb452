// Keys pressed while the display window has the focus: shortcuts, the
// key-down stage passed to both keypads, the typed-character map and the
// key-up stage.
#include "ControlsFixture.h"

#include <QSignalSpy>

namespace {

class DisplayKeyboardTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        GoOnline();
    }

    void TypeText(QWidget* window, Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::sendKeyEvent(QTest::Press, window, key, text, modifiers);
        QTest::sendKeyEvent(QTest::Release, window, key, text, modifiers);
    }

    // Tool windows share the activation of their parent, so isActiveWindow()
    // cannot tell; the application's active window can.
    static bool BecomesActive(QWidget* window)
    {
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 5000);
    }
};

} // namespace

TEST_F(DisplayKeyboardTest, TypedCharactersRunTheKeyPressMap)
{
    const std::pair<Qt::Key, std::uint8_t> keys[] = {
        {Qt::Key_A, 4},  {Qt::Key_B, 3},  {Qt::Key_C, 8},  {Qt::Key_D, 12}, {Qt::Key_I, 1}, {Qt::Key_L, 6},
        {Qt::Key_O, 13}, {Qt::Key_P, 11}, {Qt::Key_S, 17}, {Qt::Key_T, 14}, {Qt::Key_U, 9}, {Qt::Key_X, 0},
    };
    for (const auto& [key, code] : keys) {
        Type(form.get(), key); // lower case
        EXPECT_EQ(Received(), code ? Codes{code} : Codes{}) << key;
        Type(form.get(), key, Qt::ShiftModifier); // upper case
        EXPECT_EQ(Received(), code ? Codes{code} : Codes{}) << key;
    }
    // Plus and minus from the main keyboard and from the numeric keypad.
    TypeText(form.get(), Qt::Key_Plus, QStringLiteral("+"), Qt::ShiftModifier);
    TypeText(form.get(), Qt::Key_Plus, QStringLiteral("+"), Qt::KeypadModifier);
    TypeText(form.get(), Qt::Key_Minus, QStringLiteral("-"));
    TypeText(form.get(), Qt::Key_Minus, QStringLiteral("-"), Qt::KeypadModifier);
    EXPECT_EQ(Received(), (Codes{16, 16, 15, 15}));
    // Alt with a letter is no typed character here.
    Type(form.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(Received().empty());
}

TEST_F(DisplayKeyboardTest, KeyDownDrawsTheMatchingButtonsSunkOnBothKeypads)
{
    QTest::keyPress(form.get(), Qt::Key_P);
    EXPECT_TRUE(keyForm->sb_Power->Sunk());
    EXPECT_TRUE(jKeypad->sb_Power->Sunk());
    QTest::keyRelease(form.get(), Qt::Key_P);
    EXPECT_FALSE(keyForm->sb_Power->Sunk());
    EXPECT_FALSE(jKeypad->sb_Power->Sunk());

    // X11: the plus key goes down as Shift+'+' and may come up as a bare '='.
    QTest::sendKeyEvent(QTest::Press, form.get(), Qt::Key_Plus, QStringLiteral("+"), Qt::ShiftModifier);
    EXPECT_TRUE(keyForm->sb_Right->Sunk());
    QTest::sendKeyEvent(QTest::Release, form.get(), Qt::Key_Equal, QStringLiteral("="), Qt::NoModifier);
    EXPECT_FALSE(keyForm->sb_Right->Sunk());
    EXPECT_EQ(Received(), (Codes{11, 16}));
}

TEST_F(DisplayKeyboardTest, CtrlMinusKeysRunOnEveryKeyDownIncludingRepeats)
{
    QTest::keyPress(form.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->sb_LMinus->Sunk());
    QTest::simulateEvent(form.get(), true, Qt::Key_L, Qt::ControlModifier, QString(), true);
    QTest::simulateEvent(form.get(), false, Qt::Key_L, Qt::ControlModifier, QString(), true); // X11 repeat pair
    EXPECT_TRUE(keyForm->sb_LMinus->Sunk());
    QTest::simulateEvent(form.get(), true, Qt::Key_L, Qt::ControlModifier, QString(), true);
    EXPECT_TRUE(keyForm->sb_LMinus->Sunk());
    QTest::keyRelease(form.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(keyForm->sb_LMinus->Sunk());
    Type(form.get(), Qt::Key_B, Qt::ControlModifier);
    Type(form.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Received(), (Codes{5, 5, 5, 2, 7}));
}

TEST_F(DisplayKeyboardTest, LettingGoOfCtrlFirstReleasesThePlusMember)
{
    QTest::keyPress(form.get(), Qt::Key_L, Qt::ControlModifier);
    QTest::keyRelease(form.get(), Qt::Key_Control, Qt::ControlModifier);
    QTest::keyRelease(form.get(), Qt::Key_L, Qt::NoModifier);
    EXPECT_TRUE(keyForm->sb_LMinus->Down()); // stays sunk ...
    QTest::keyPress(form.get(), Qt::Key_A);  // ... until another left-panel button is held
    EXPECT_FALSE(keyForm->sb_LMinus->Down());
    QTest::keyRelease(form.get(), Qt::Key_A);
    EXPECT_EQ(Received(), (Codes{5, 4}));
}

TEST_F(DisplayKeyboardTest, CtrlLatchKeysToggleOnKeyUpAndAPlainPressEndsTheLatch)
{
    // Only the basic keypad shown: the POWER latch is invisible but counts.
    form->actJKeypad->trigger();
    ASSERT_FALSE(keyForm->isVisible());
    Type(form.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->sb_Power->Down());
    EXPECT_FALSE(jKeypad->sb_Power->Sunk());
    Type(form.get(), Qt::Key_L, Qt::ControlModifier);
    Type(form.get(), Qt::Key_C);
    Type(form.get(), Qt::Key_P); // holds, sends 11, releases
    EXPECT_FALSE(keyForm->sb_Power->Down());
    Type(form.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(Received(), (Codes{28, 25, 11, 5}));

    const std::pair<Qt::Key, SpeedButton*> latches[] = {
        {Qt::Key_T, keyForm->sb_CAT}, {Qt::Key_D, keyForm->sb_Display}, {Qt::Key_O, keyForm->sb_Operate}};
    for (const auto& [key, latch] : latches) {
        Type(form.get(), key, Qt::ControlModifier);
        EXPECT_TRUE(latch->Down()) << key;
        Type(form.get(), key, Qt::ControlModifier);
        EXPECT_FALSE(latch->Down()) << key;
    }
    EXPECT_TRUE(Received().empty());
}

TEST_F(DisplayKeyboardTest, HoldingAKeyOfTheRightPanelEndsALatch)
{
    Type(form.get(), Qt::Key_P, Qt::ControlModifier);
    Type(form.get(), Qt::Key_I); // left panel: the latch stays
    EXPECT_TRUE(keyForm->sb_Power->Down());
    QTest::keyPress(form.get(), Qt::Key_S);
    EXPECT_TRUE(keyForm->sb_Set->Sunk());
    EXPECT_FALSE(keyForm->sb_Power->Down());
    QTest::keyRelease(form.get(), Qt::Key_S);
    EXPECT_EQ(Received(), (Codes{1, 17}));
}

TEST_F(DisplayKeyboardTest, KRaisesTheVisibleKeypadAndCtrlKToggles)
{
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::ControlModifier | Qt::AltModifier}) {
        Activate(form.get());
        Type(form.get(), Qt::Key_K, modifiers);
        EXPECT_TRUE(keyForm->isVisible());
        EXPECT_FALSE(jKeypad->isVisible());
        EXPECT_TRUE(form->actKeypad->isChecked());
        EXPECT_TRUE(BecomesActive(keyForm)) << modifiers;
    }
    Activate(form.get());
    form->actJKeypad->trigger();
    Type(form.get(), Qt::Key_K);
    EXPECT_TRUE(BecomesActive(jKeypad));

    Activate(form.get());
    Type(form.get(), Qt::Key_K, Qt::ControlModifier); // full keypad on, in the basic keypad's place
    EXPECT_TRUE(keyForm->isVisible());
    EXPECT_FALSE(jKeypad->isVisible());
    Activate(form.get());
    Type(form.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_FALSE(keyForm->isVisible());
    EXPECT_TRUE(Received().empty());
}

TEST_F(DisplayKeyboardTest, KeypadShortcutsWorkWhileAKeypadHasTheFocus)
{
    Activate(keyForm);
    Type(keyForm, Qt::Key_J, Qt::ControlModifier);
    EXPECT_TRUE(jKeypad->isVisible());
    EXPECT_FALSE(keyForm->isVisible());
    Activate(jKeypad);
    Type(jKeypad, Qt::Key_K, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->isVisible());
    EXPECT_FALSE(jKeypad->isVisible());
}

TEST_F(DisplayKeyboardTest, ReleasingFAsksTheOffQuestionWhileOnLine)
{
    boxes.answerYes = true;
    Type(form.get(), Qt::Key_F);
    EXPECT_EQ(Received(), Codes{10});

    // Even with actOff disabled (as after a failed update), and after Ctrl+F
    // while Freeze is not available: that key-down reached the window.
    form->DisableKeyActions();
    Type(form.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Received(), Codes{10});
    EXPECT_EQ(boxes.Count(), 2);

    boxes.answerYes = false;
    Type(form.get(), Qt::Key_F);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(boxes.Count(), 3);

    // Not while a firmware transfer runs, and not off-line.
    form->UpdateRunning = true;
    Type(form.get(), Qt::Key_F);
    form->UpdateRunning = false;
    form->OnLine = false;
    Type(form.get(), Qt::Key_F);
    EXPECT_EQ(boxes.Count(), 3);
}

TEST_F(DisplayKeyboardTest, FKeyUpAfterTheFreezeShortcutNeverAsksToSwitchOff)
{
    boxes.answerYes = true;
    form->actFreeze->setEnabled(true);
    Activate(form.get());
    QSignalSpy freezes(form->actFreeze, &QAction::triggered);
    QTest::keyPress(form.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyRelease(form.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyPress(form.get(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyRelease(form.get(), Qt::Key_F, Qt::NoModifier); // Ctrl let go first
    EXPECT_EQ(freezes.count(), 2);
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_TRUE(Received().empty());

    Type(form.get(), Qt::Key_F); // a plain F still asks
    EXPECT_EQ(Received(), Codes{10});
}
