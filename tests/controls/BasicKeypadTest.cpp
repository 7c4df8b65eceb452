// The basic keypad window: layout, lamp bars, its keys and its buttons, whose
// codes follow the full keypad's latches.
#include "ControlsFixture.h"

#include "toolkit/Lamp.h"

namespace {

class BasicKeypadTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        GoOnline();
        form->actJKeypad->trigger(); // the basic keypad in the full keypad's place
    }
};

} // namespace

TEST_F(BasicKeypadTest, WindowButtonsAndBarsAreWhereTheyBelong)
{
    EXPECT_EQ(jKeypad->windowTitle(), QStringLiteral("Vorlinq: JKeypad"));
    EXPECT_EQ(jKeypad->size(), QSize(143, 169));
    EXPECT_EQ(jKeypad->Panel2->geometry(), QRect(7, 7, 130, 43));
    EXPECT_EQ(jKeypad->Panel1->geometry(), QRect(7, 53, 130, 66));
    EXPECT_EQ(jKeypad->Panel3->geometry(), QRect(7, 121, 130, 43));

    const std::tuple<SpeedButton*, QWidget*, QRect, QAction*> buttons[] = {
        {jKeypad->sb_ON, jKeypad->Panel2, {3, 15, 61, 22}, form->actOn},
        {jKeypad->SpeedButton1, jKeypad->Panel2, {64, 15, 62, 22}, form->actOff},
        {jKeypad->sb_Operate, jKeypad->Panel1, {3, 15, 61, 22}, form->actOperate},
        {jKeypad->sb_Power, jKeypad->Panel1, {64, 15, 62, 22}, form->actPower},
        {jKeypad->sb_Input, jKeypad->Panel1, {3, 38, 61, 22}, form->actInput},
        {jKeypad->sb_Antenna, jKeypad->Panel1, {64, 38, 62, 22}, form->actAnt},
        {jKeypad->sb_Tune, jKeypad->Panel3, {3, 15, 61, 22}, form->actTune},
        {jKeypad->sb_Display, jKeypad->Panel3, {64, 15, 62, 22}, form->actDisplay},
    };
    for (const auto& [button, panel, geometry, action] : buttons) {
        EXPECT_EQ(button->parentWidget(), panel) << action->text().toStdString();
        EXPECT_EQ(button->geometry(), geometry) << action->text().toStdString();
        EXPECT_EQ(button->Action(), action);
    }
    EXPECT_EQ(jKeypad->sb_ON->CaptionColor(), QColor(0, 128, 0));
    EXPECT_EQ(jKeypad->SpeedButton1->CaptionColor(), QColor(255, 0, 0));

    const std::tuple<Lamp*, QWidget*, QRect> bars[] = {
        {jKeypad->stON, jKeypad->Panel2, {4, 4, 122, 10}},
        {jKeypad->stOP, jKeypad->Panel1, {4, 4, 122, 10}},
        {jKeypad->stTUNE, jKeypad->Panel3, {4, 4, 60, 10}},
        {jKeypad->stALARM, jKeypad->Panel3, {64, 4, 62, 10}},
    };
    for (const auto& [bar, panel, geometry] : bars) {
        EXPECT_TRUE(bar->text().isEmpty());
        EXPECT_EQ(bar->parentWidget(), panel);
        EXPECT_EQ(bar->geometry(), geometry);
    }
}

TEST_F(BasicKeypadTest, SetLampsAndTheRedOperateBar)
{
    using namespace lampcolour;
    struct Case {
        std::uint8_t states;
        QRgb on, op, tune, alarm;
    };
    const Case cases[] = {
        {0x00, Green, Olive, Olive, Maroon}, {0x08, Green, Olive, Olive, Maroon}, {0x10, Green, Yellow, Olive, Maroon},
        {0x18, Green, Red, Olive, Maroon},   {0x20, Green, Olive, Olive, Maroon}, {0xFF, Lime, Red, Yellow, Red},
        {0xF7, Lime, Yellow, Yellow, Red},   {0x41, Lime, Olive, Yellow, Maroon},
    };
    for (const Case& c : cases) {
        jKeypad->SetLamps(c.states);
        EXPECT_EQ(jKeypad->stON->Color(), QColor(c.on)) << int(c.states);
        EXPECT_EQ(jKeypad->stOP->Color(), QColor(c.op)) << int(c.states);
        EXPECT_EQ(jKeypad->stTUNE->Color(), QColor(c.tune)) << int(c.states);
        EXPECT_EQ(jKeypad->stALARM->Color(), QColor(c.alarm)) << int(c.states);
    }
}

TEST_F(BasicKeypadTest, ButtonsNeverLatchButFollowTheFullKeypadsLatches)
{
    QTest::mouseClick(jKeypad->sb_Power, Qt::LeftButton);
    QTest::mouseClick(jKeypad->sb_Power, Qt::RightButton);
    EXPECT_FALSE(jKeypad->sb_Power->Down());

    keyForm->sb_Operate->Toggle(); // latched on the hidden full keypad
    QTest::mouseClick(jKeypad->sb_Tune, Qt::LeftButton);
    EXPECT_FALSE(keyForm->sb_Operate->Down());
    QTest::mouseClick(jKeypad->sb_Tune, Qt::LeftButton);
    EXPECT_EQ(Received(), (Codes{11, 18, 9}));
}

TEST_F(BasicKeypadTest, KeysHoldOnlyTheirButtonsAndUAlsoWithCtrl)
{
    const std::pair<Qt::Key, SpeedButton*> keys[] = {
        {Qt::Key_A, jKeypad->sb_Antenna}, {Qt::Key_D, jKeypad->sb_Display}, {Qt::Key_I, jKeypad->sb_Input},
        {Qt::Key_N, jKeypad->sb_ON},      {Qt::Key_O, jKeypad->sb_Operate}, {Qt::Key_P, jKeypad->sb_Power},
        {Qt::Key_U, jKeypad->sb_Tune},
    };
    for (const auto& [key, button] : keys) {
        jKeypad->FormKeyDown(key, Qt::NoModifier);
        EXPECT_TRUE(button->Sunk()) << key;
        jKeypad->FormKeyUp(key, Qt::ControlModifier);
        EXPECT_FALSE(button->Sunk()) << key;
        jKeypad->FormKeyDown(key, Qt::ControlModifier);
        EXPECT_EQ(button->Sunk(), key == Qt::Key_U) << key;
        jKeypad->FormKeyUp(key, Qt::NoModifier);
    }
    // Both on one panel: OPERATE comes up when POWER goes down.
    QTest::keyPress(form.get(), Qt::Key_O);
    QTest::keyPress(form.get(), Qt::Key_P);
    EXPECT_FALSE(jKeypad->sb_Operate->Sunk());
    EXPECT_TRUE(jKeypad->sb_Power->Sunk());
    QTest::keyRelease(form.get(), Qt::Key_P);
    QTest::keyRelease(form.get(), Qt::Key_O);
    // The key handling itself sends nothing: 13 and 11 come from the typed letters.
    EXPECT_EQ(Received(), (Codes{13, 11}));
}

TEST_F(BasicKeypadTest, AcceleratorsClickTheButtonsAndFAsksToSwitchOff)
{
    Activate(jKeypad);
    Type(jKeypad, Qt::Key_O);
    Type(jKeypad, Qt::Key_P, Qt::AltModifier);
    Type(jKeypad, Qt::Key_I);
    Type(jKeypad, Qt::Key_A);
    Type(jKeypad, Qt::Key_U);
    Type(jKeypad, Qt::Key_D);
    Type(jKeypad, Qt::Key_L); // not on this keypad
    Type(jKeypad, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(Received(), (Codes{13, 11, 1, 4, 9, 12}));
    EXPECT_FALSE(keyForm->sb_Power->Down()); // no latch from this window's own keys

    boxes.answerYes = true;
    Type(jKeypad, Qt::Key_F);
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(Received(), Codes{10});
}
