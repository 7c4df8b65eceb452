// The full keypad window: layout, lamps, latches by mouse, the wheel and its
// own keys.
#include "ControlsFixture.h"

#include "toolkit/Lamp.h"

namespace {

class FullKeypadTest : public ControlsTest {
protected:
    void SetUp() override
    {
        ControlsTest::SetUp();
        GoOnline();
    }
};

struct LampLook {
    QRgb colour;
    QRgb caption;
};

void ExpectLamp(const Lamp* lamp, LampLook look, std::uint8_t states)
{
    EXPECT_EQ(lamp->Color(), QColor(look.colour)) << lamp->text().toStdString() << " with " << int(states);
    EXPECT_EQ(lamp->FontColor(), QColor(look.caption)) << lamp->text().toStdString() << " with " << int(states);
}

} // namespace

TEST_F(FullKeypadTest, WindowButtonsAndLampsAreWhereTheyBelong)
{
    EXPECT_EQ(keyForm->windowTitle(), QStringLiteral("Vorlinq: Keypad"));
    EXPECT_EQ(keyForm->size(), QSize(508, 152));
    EXPECT_TRUE(keyForm->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(keyForm->pos(), QPoint(40, 300));
    EXPECT_EQ(keyForm->pnlLeft->geometry(), QRect(7, 11, 242, 132));
    EXPECT_EQ(keyForm->pnlRight->geometry(), QRect(260, 11, 242, 132));

    using G = SpeedButton::Glyph;
    struct Place {
        SpeedButton* button;
        QWidget* panel;
        QPoint at;
        QAction* action;
        G glyph;
        int spacing;
    };
    const int d = SpeedButton::kDefaultSpacing;
    const Place places[] = {
        {keyForm->sb_Input, keyForm->pnlLeft, {9, 16}, form->actInput, G::None, d},
        {keyForm->sb_Antenna, keyForm->pnlLeft, {65, 16}, form->actAnt, G::None, d},
        {keyForm->sb_LMinus, keyForm->pnlLeft, {121, 16}, form->actLMinus, G::LeftTriangle, 0},
        {keyForm->sb_LPlus, keyForm->pnlLeft, {177, 16}, form->actLPlus, G::RightTriangle, 0},
        {keyForm->sb_BandMinus, keyForm->pnlLeft, {9, 57}, form->actBandMinus, G::LeftTriangle, 0},
        {keyForm->sb_BandPlus, keyForm->pnlLeft, {65, 57}, form->actBandPlus, G::RightTriangle, 0},
        {keyForm->sb_CMinus, keyForm->pnlLeft, {121, 57}, form->actCMinus, G::LeftTriangle, 0},
        {keyForm->sb_CPlus, keyForm->pnlLeft, {177, 57}, form->actCPlus, G::RightTriangle, 0},
        {keyForm->sb_Tune, keyForm->pnlLeft, {149, 97}, form->actTune, G::None, d},
        {keyForm->sb_Display, keyForm->pnlRight, {9, 16}, form->actDisplay, G::None, d},
        {keyForm->sb_Left, keyForm->pnlRight, {65, 16}, form->actLeftArrow, G::LeftTriangle, d},
        {keyForm->sb_Right, keyForm->pnlRight, {121, 16}, form->actRightArrow, G::RightTriangle, d},
        {keyForm->sb_ON, keyForm->pnlRight, {177, 16}, form->actOn, G::None, d},
        {keyForm->sb_Power, keyForm->pnlRight, {9, 57}, form->actPower, G::None, d},
        {keyForm->sb_CAT, keyForm->pnlRight, {65, 57}, form->actCAT, G::None, d},
        {keyForm->sb_Set, keyForm->pnlRight, {121, 57}, form->actSet, G::None, d},
        {keyForm->sb_OFF, keyForm->pnlRight, {177, 57}, form->actOff, G::None, d},
        {keyForm->sb_Operate, keyForm->pnlRight, {37, 97}, form->actOperate, G::None, d},
    };
    for (const Place& p : places) {
        const std::string name = p.action->text().toStdString();
        EXPECT_EQ(p.button->parentWidget(), p.panel) << name;
        EXPECT_EQ(p.button->geometry(), QRect(p.at, QSize(56, 22))) << name;
        EXPECT_EQ(p.button->Action(), p.action) << name;
        EXPECT_EQ(p.button->Caption(), p.action->text()) << name;
        EXPECT_EQ(p.button->GlyphKind(), p.glyph) << name;
        if (p.glyph != G::None) {
            EXPECT_EQ(p.button->Spacing(), p.spacing) << name;
        }
        const QColor caption = p.button == keyForm->sb_ON    ? QColor(0, 128, 0)
                               : p.button == keyForm->sb_OFF ? QColor(255, 0, 0)
                                                             : QColor(0, 0, 0);
        EXPECT_EQ(p.button->CaptionColor(), caption) << name;
    }

    const std::tuple<Lamp*, const char*, QWidget*, QRect> lamps[] = {
        {keyForm->stALARM, "AL", keyForm->pnlLeft, {15, 100, 40, 16}},
        {keyForm->stTUNE, "TUNE", keyForm->pnlLeft, {57, 100, 40, 16}},
        {keyForm->stSET, "SET", keyForm->pnlLeft, {99, 100, 40, 16}},
        {keyForm->stON, "ON", keyForm->pnlRight, {103, 100, 40, 15}},
        {keyForm->stOP, "OP", keyForm->pnlRight, {145, 100, 40, 15}},
        {keyForm->stTX, "TX", keyForm->pnlRight, {187, 100, 40, 15}},
    };
    for (const auto& [lamp, caption, panel, geometry] : lamps) {
        EXPECT_EQ(lamp->text(), QString::fromLatin1(caption));
        EXPECT_EQ(lamp->parentWidget(), panel) << caption;
        EXPECT_EQ(lamp->geometry(), geometry) << caption;
        EXPECT_EQ(lamp->alignment(), Qt::AlignCenter) << caption;
    }
}

TEST_F(FullKeypadTest, SetLampsLightsByBitAndTxNeedsOperateToo)
{
    using namespace lampcolour;
    const LampLook dark[] = {{Maroon, Silver}, {Olive, Silver},  {Green, Silver},
                             {Olive, Silver},  {Maroon, Silver}, {Green, Silver}};
    const LampLook lit[] = {{Red, Black}, {Yellow, Black}, {Lime, Black}, {Yellow, Black}, {Red, Black}, {Lime, Black}};
    const Lamp* lamps[] = {keyForm->stALARM, keyForm->stTUNE, keyForm->stSET,
                           keyForm->stOP,    keyForm->stTX,   keyForm->stON};
    // The look at start is that of set lamps with 0.
    for (int i = 0; i < 6; ++i) {
        ExpectLamp(lamps[i], dark[i], 0);
    }
    const std::pair<std::uint8_t, std::array<bool, 6>> cases[] = {
        {0x00, {false, false, false, false, false, false}}, {0x08, {false, false, false, false, false, false}},
        {0x10, {false, false, false, true, false, false}},  {0x18, {false, false, false, true, true, false}},
        {0x20, {false, false, true, false, false, false}},  {0xFF, {true, true, true, true, true, true}},
        {0x81, {true, false, false, false, false, true}},   {0x46, {false, true, false, false, false, false}},
    };
    for (const auto& [states, on] : cases) {
        keyForm->SetLamps(states);
        for (int i = 0; i < 6; ++i) {
            ExpectLamp(lamps[i], on[i] ? lit[i] : dark[i], states);
        }
    }
}

TEST_F(FullKeypadTest, RightClickLatchesSilentlyAndLeftClickReleasesAndSends)
{
    QTest::mouseClick(keyForm->sb_Power, Qt::RightButton);
    EXPECT_TRUE(keyForm->sb_Power->Down());
    EXPECT_TRUE(keyForm->sb_Power->Sunk());
    QTest::mouseClick(keyForm->sb_Power, Qt::RightButton);
    EXPECT_FALSE(keyForm->sb_Power->Down());
    EXPECT_TRUE(Received().empty());

    QTest::mouseClick(keyForm->sb_Power, Qt::RightButton);
    QTest::mouseClick(keyForm->sb_CAT, Qt::RightButton); // one latch per panel
    EXPECT_TRUE(keyForm->sb_CAT->Down());
    EXPECT_FALSE(keyForm->sb_Power->Down());
    QTest::mouseClick(keyForm->sb_Set, Qt::LeftButton); // a click is no hold: CAT stays
    EXPECT_TRUE(keyForm->sb_CAT->Down());
    QTest::mouseClick(keyForm->sb_CAT, Qt::LeftButton);
    EXPECT_FALSE(keyForm->sb_CAT->Down());
    EXPECT_EQ(keyForm->sb_CAT->GroupIndex(), 0);
    EXPECT_EQ(Received(), (Codes{17, 14}));

    // A left press dragged off the button clears the latch and sends nothing.
    for (SpeedButton* latch : {keyForm->sb_Display, keyForm->sb_Operate}) {
        QTest::mouseClick(latch, Qt::RightButton);
        ASSERT_TRUE(latch->Down());
        QTest::mousePress(latch, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(latch, Qt::LeftButton, {}, QPoint(5, 40));
        EXPECT_FALSE(latch->Down());
    }
    EXPECT_TRUE(Received().empty());
}

TEST_F(FullKeypadTest, WheelStepsTheHoveredPair)
{
    Wheel(-120); // before the mouse has moved over the window: nothing
    EXPECT_EQ(keyForm->HoveredControl(), nullptr);

    QTest::mouseMove(keyForm->sb_BandPlus);
    Wheel(-120);
    Wheel(120);
    QTest::mouseMove(keyForm->sb_BandMinus);
    Wheel(-240); // two notches
    Wheel(60);   // half a notch: nothing yet ...
    Wheel(60);   // ... now one
    QTest::mouseMove(keyForm->sb_Left);
    Wheel(-120);
    EXPECT_EQ(Received(), (Codes{3, 2, 3, 3, 2, 16}));

    // From L - straight onto ANT, which reports no move: the wheel still steps L.
    QTest::mouseMove(keyForm->sb_LMinus);
    QTest::mouseMove(keyForm->sb_Antenna);
    EXPECT_EQ(keyForm->HoveredControl(), keyForm->sb_LMinus);
    Wheel(120);
    EXPECT_EQ(Received(), Codes{5});
    // The panel background ends it; the wheel draws nothing sunk.
    QTest::mouseMove(keyForm->pnlLeft, QPoint(3, 3));
    EXPECT_EQ(keyForm->HoveredControl(), keyForm->pnlLeft);
    Wheel(120);
    EXPECT_TRUE(Received().empty());
    EXPECT_FALSE(keyForm->sb_LMinus->Sunk());
}

TEST_F(FullKeypadTest, OwnKeysHoldButtonsAndAcceleratorsClickThem)
{
    Activate(keyForm);
    QTest::keyPress(keyForm, Qt::Key_P);
    EXPECT_TRUE(keyForm->sb_Power->Down());
    QTest::keyRelease(keyForm, Qt::Key_P);
    EXPECT_FALSE(keyForm->sb_Power->Down());
    Type(keyForm, Qt::Key_L);                      // accelerator of L +
    Type(keyForm, Qt::Key_L, Qt::ControlModifier); // Ctrl: held and run, no letter
    Type(keyForm, Qt::Key_U, Qt::AltModifier);     // with Alt too
    Type(keyForm, Qt::Key_B, Qt::ShiftModifier);   // ignoring case
    QTest::sendKeyEvent(QTest::Click, keyForm, Qt::Key_Minus, QStringLiteral("-"), Qt::NoModifier);
    Type(keyForm, Qt::Key_Q); // no such accelerator
    EXPECT_EQ(Received(), (Codes{11, 6, 5, 9, 3, 15}));

    boxes.answerYes = true;
    Type(keyForm, Qt::Key_F);
    EXPECT_EQ(Received(), Codes{10});

    // Ctrl with a latching key toggles its latch on the key-up here too.
    Type(keyForm, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(keyForm->sb_Operate->Down());
    EXPECT_TRUE(Received().empty());
}
