// The key actions of the display window: codes, latch rules, the OFF
// question and switching between the keypads.
#include "ControlsFixture.h"

#include <QWidget>

#include <utility>

namespace {

class KeyActionsTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        GoOnline();
    }

    // Holds the given latches at once. On the keypad they exclude one another
    // (one panel), so each is first moved onto a panel of its own; only the
    // order in which the key actions test them is looked at.
    void ForceLatches(std::initializer_list<SpeedButton*> latches)
    {
        for (SpeedButton* latch : latches) {
            latch->setParent(new QWidget(keyForm));
            latch->Hold();
        }
    }
};

} // namespace

TEST_F(KeyActionsTest, EveryKeyWithoutLatchesSendsItsOwnCode)
{
    const std::pair<QAction*, std::uint8_t> keys[] = {
        {form->actInput, 1},  {form->actBandMinus, 2},  {form->actBandPlus, 3},    {form->actAnt, 4},
        {form->actLMinus, 5}, {form->actLPlus, 6},      {form->actCMinus, 7},      {form->actCPlus, 8},
        {form->actTune, 9},   {form->actPower, 11},     {form->actDisplay, 12},    {form->actOperate, 13},
        {form->actCAT, 14},   {form->actLeftArrow, 15}, {form->actRightArrow, 16}, {form->actSet, 17},
    };
    for (const auto& [action, code] : keys) {
        action->trigger();
        EXPECT_EQ(Received(), Codes{code}) << action->text().toStdString();
    }
}

TEST_F(KeyActionsTest, AKeyGoesOutAsOneCommandFrame)
{
    driver->ClearWritten();
    form->actAnt->trigger();
    EXPECT_EQ(driver->Written(), (Codes{0x55, 0x55, 0x55, 0x01, 0x04, 0x04}));
}

TEST_F(KeyActionsTest, EachLatchChangesItsKeysAndOnlyDisplayAndOperateAreReleased)
{
    constexpr std::uint8_t kStays = 0;
    struct Case {
        SpeedButton* TKeyForm::*latch;
        QAction* TForm1::*action;
        std::uint8_t code;
        std::uint8_t next; // the code of the next press once the latch is released, or kStays
    };
    const Case cases[] = {
        {&TKeyForm::sb_Power, &TForm1::actLMinus, 28, kStays},  {&TKeyForm::sb_Power, &TForm1::actLPlus, 29, kStays},
        {&TKeyForm::sb_Power, &TForm1::actCMinus, 24, kStays},  {&TKeyForm::sb_Power, &TForm1::actCPlus, 25, kStays},
        {&TKeyForm::sb_Power, &TForm1::actInput, 1, kStays},    {&TKeyForm::sb_Power, &TForm1::actTune, 9, kStays},
        {&TKeyForm::sb_CAT, &TForm1::actLMinus, 30, kStays},    {&TKeyForm::sb_CAT, &TForm1::actLPlus, 31, kStays},
        {&TKeyForm::sb_CAT, &TForm1::actCMinus, 26, kStays},    {&TKeyForm::sb_CAT, &TForm1::actCPlus, 27, kStays},
        {&TKeyForm::sb_CAT, &TForm1::actSet, 17, kStays},       {&TKeyForm::sb_Display, &TForm1::actInput, 19, 1},
        {&TKeyForm::sb_Display, &TForm1::actCPlus, 21, 8},      {&TKeyForm::sb_Display, &TForm1::actLPlus, 6, kStays},
        {&TKeyForm::sb_Display, &TForm1::actCMinus, 7, kStays}, {&TKeyForm::sb_Display, &TForm1::actTune, 9, kStays},
        {&TKeyForm::sb_Operate, &TForm1::actTune, 18, 9},       {&TKeyForm::sb_Operate, &TForm1::actLPlus, 6, kStays},
        {&TKeyForm::sb_Operate, &TForm1::actInput, 1, kStays},  {&TKeyForm::sb_Operate, &TForm1::actCPlus, 8, kStays},
    };
    for (const Case& c : cases) {
        SpeedButton* latch = keyForm->*c.latch;
        QAction* action = form.get()->*c.action;
        const std::string what = latch->Caption().toStdString() + " + " + action->text().toStdString();
        latch->Toggle();
        ASSERT_TRUE(latch->Down()) << what;
        action->trigger();
        EXPECT_EQ(Received(), Codes{c.code}) << what;
        EXPECT_EQ(latch->Down(), c.next == kStays) << what;
        action->trigger();
        EXPECT_EQ(Received(), Codes{c.next == kStays ? c.code : c.next}) << what;
        if (c.next != kStays) {
            EXPECT_EQ(latch->GroupIndex(), 0) << what;
        }
        latch->Release();
    }
}

TEST_F(KeyActionsTest, LatchesAreTestedDisplayFirstThenPowerThenCat)
{
    ForceLatches({keyForm->sb_Display, keyForm->sb_Power, keyForm->sb_CAT});
    form->actCPlus->trigger(); // DISPLAY wins and is released
    form->actCPlus->trigger(); // then POWER
    form->actLMinus->trigger();
    form->actCMinus->trigger();
    keyForm->sb_Power->Release();
    form->actCPlus->trigger(); // then CAT
    form->actLPlus->trigger();
    EXPECT_EQ(Received(), (Codes{21, 25, 28, 24, 27, 31}));
}

TEST_F(KeyActionsTest, OffAsksFirstAndSendsOnlyOnYes)
{
    boxes.answerYes = false;
    form->actOff->trigger();
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Last().kind, QStringLiteral("question"));
    EXPECT_EQ(boxes.Last().text, QStringLiteral("Do you wish to switch the AVELKOR linear off?"));
    EXPECT_EQ(boxes.Last().owner, form.get());
    EXPECT_TRUE(Received().empty());

    boxes.answerYes = true;
    form->actOff->trigger();
    EXPECT_EQ(Received(), Codes{10});
}

TEST_F(KeyActionsTest, OffLineNothingIsSentButKeysStillSinkButtonsAndToggleLatches)
{
    form->DisableKeyActions();
    form->OnLine = false;
    for (QAction* action : form->KeyActions()) {
        action->trigger();
    }
    QTest::mouseClick(keyForm->sb_Set, Qt::LeftButton);
    QTest::mouseMove(keyForm->sb_BandPlus);
    Wheel(-120);
    QTest::keyPress(form.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->sb_LMinus->Sunk());
    QTest::keyRelease(form.get(), Qt::Key_L, Qt::ControlModifier);
    Type(form.get(), Qt::Key_A);
    Type(form.get(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->sb_Power->Down());
    Type(form.get(), Qt::Key_F);
    Activate(keyForm);
    Type(keyForm, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_FALSE(keyForm->sb_Set->isEnabled());
}

TEST_F(KeyActionsTest, SwitchingKeypadsSwapsTheirPlaces)
{
    ASSERT_TRUE(keyForm->isVisible());
    keyForm->move(120, 340);
    form->actJKeypad->trigger();
    EXPECT_TRUE(jKeypad->isVisible());
    EXPECT_FALSE(keyForm->isVisible());
    EXPECT_EQ(jKeypad->pos(), QPoint(120, 340));
    EXPECT_TRUE(form->actJKeypad->isChecked());
    EXPECT_FALSE(form->actKeypad->isChecked());

    jKeypad->move(200, 50);
    form->actKeypad->trigger();
    EXPECT_TRUE(keyForm->isVisible());
    EXPECT_FALSE(jKeypad->isVisible());
    EXPECT_EQ(keyForm->pos(), QPoint(200, 50));
    EXPECT_TRUE(form->actKeypad->isChecked());
    EXPECT_FALSE(form->actJKeypad->isChecked());

    // Switching the shown keypad off leaves none on screen.
    form->actKeypad->trigger();
    EXPECT_FALSE(keyForm->isVisible());
    EXPECT_FALSE(jKeypad->isVisible());
    EXPECT_FALSE(form->actKeypad->isChecked());
}

TEST_F(KeyActionsTest, CloseBoxHidesTheKeypadAndUnchecksItsAction)
{
    keyForm->close();
    EXPECT_FALSE(keyForm->isVisible());
    EXPECT_FALSE(form->actKeypad->isChecked());
    form->actJKeypad->trigger();
    jKeypad->close();
    EXPECT_FALSE(jKeypad->isVisible());
    EXPECT_FALSE(form->actJKeypad->isChecked());
    // Both live on and keep working.
    form->actKeypad->trigger();
    EXPECT_TRUE(keyForm->isVisible());
}
