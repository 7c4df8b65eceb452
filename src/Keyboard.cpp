#include "Keyboard.h"

#include "Mainform.h"
#include "toolkit/BevelPanel.h"
#include "toolkit/Lamp.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/VirtualKeys.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

constexpr int kWheelNotch = 120;

SpeedButton* MakeButton(QWidget* panel, int left, int top, QAction* action, QRgb captionColour,
                        SpeedButton::Glyph glyph = SpeedButton::Glyph::None, int spacing = SpeedButton::kDefaultSpacing)
{
    auto* button = new SpeedButton(panel);
    button->setGeometry(left, top, 56, 22);
    button->SetAction(action);
    button->SetCaptionColor(QColor(captionColour));
    button->SetGlyph(glyph, spacing);
    return button;
}

Lamp* MakeLamp(QWidget* panel, const char* caption, int left, int top, int height)
{
    auto* lamp = new Lamp(QString::fromLatin1(caption), panel);
    lamp->setGeometry(left, top, 40, height);
    return lamp;
}

void SetLamp(Lamp& lamp, bool lit, QRgb litColour, QRgb darkColour)
{
    lamp.SetColor(QColor(lit ? litColour : darkColour));
    lamp.SetFontColor(QColor(lit ? lampcolour::Black : lampcolour::Silver));
    lamp.SetLit(lit);
}

bool IsPlusKey(int vk)
{
    return vk == vkeys::VK_ADD || vk == vkeys::VK_OEM_PLUS;
}

bool IsMinusKey(int vk)
{
    return vk == vkeys::VK_SUBTRACT || vk == vkeys::VK_OEM_MINUS;
}

} // namespace

TKeyForm::TKeyForm(TForm1& form)
    : QWidget(&form, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), form_(form)
{
    setWindowTitle(QStringLiteral("Vorlinq: Keypad"));
    setFixedSize(508, 152);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    CreateControls();
    SetLamps(0);
    FormCreate();
}

void TKeyForm::CreateControls()
{
    using Glyph = SpeedButton::Glyph;
    const QRgb black = lampcolour::Black;

    pnlLeft = new BevelPanel(this);
    pnlLeft->setGeometry(7, 11, 242, 132);
    sb_LMinus = MakeButton(pnlLeft, 121, 16, form_.actLMinus, black, Glyph::LeftTriangle, 0);
    sb_LPlus = MakeButton(pnlLeft, 177, 16, form_.actLPlus, black, Glyph::RightTriangle, 0);
    sb_CMinus = MakeButton(pnlLeft, 121, 57, form_.actCMinus, black, Glyph::LeftTriangle, 0);
    sb_CPlus = MakeButton(pnlLeft, 177, 57, form_.actCPlus, black, Glyph::RightTriangle, 0);
    sb_Tune = MakeButton(pnlLeft, 149, 97, form_.actTune, black);
    sb_Input = MakeButton(pnlLeft, 9, 16, form_.actInput, black);
    sb_BandMinus = MakeButton(pnlLeft, 9, 57, form_.actBandMinus, black, Glyph::LeftTriangle, 0);
    sb_BandPlus = MakeButton(pnlLeft, 65, 57, form_.actBandPlus, black, Glyph::RightTriangle, 0);
    sb_Antenna = MakeButton(pnlLeft, 65, 16, form_.actAnt, black);
    stALARM = MakeLamp(pnlLeft, "AL", 15, 100, 16);
    stTUNE = MakeLamp(pnlLeft, "TUNE", 57, 100, 16);
    stSET = MakeLamp(pnlLeft, "SET", 99, 100, 16);

    pnlRight = new BevelPanel(this);
    pnlRight->setGeometry(260, 11, 242, 132);
    stTX = MakeLamp(pnlRight, "TX", 187, 100, 15);
    stOP = MakeLamp(pnlRight, "OP", 145, 100, 15);
    stON = MakeLamp(pnlRight, "ON", 103, 100, 15);
    sb_Display = MakeButton(pnlRight, 9, 16, form_.actDisplay, black);
    sb_Left = MakeButton(pnlRight, 65, 16, form_.actLeftArrow, black, Glyph::LeftTriangle);
    sb_Right = MakeButton(pnlRight, 121, 16, form_.actRightArrow, black, Glyph::RightTriangle);
    sb_ON = MakeButton(pnlRight, 177, 16, form_.actOn, lampcolour::Green);
    sb_Power = MakeButton(pnlRight, 9, 57, form_.actPower, black);
    sb_CAT = MakeButton(pnlRight, 65, 57, form_.actCAT, black);
    sb_Operate = MakeButton(pnlRight, 37, 97, form_.actOperate, black);
    sb_Set = MakeButton(pnlRight, 121, 57, form_.actSet, black);
    sb_OFF = MakeButton(pnlRight, 177, 57, form_.actOff, lampcolour::Red);

    for (SpeedButton* latch : {sb_Power, sb_CAT, sb_Display, sb_Operate}) {
        latch->SetLatching(true);
    }
    connect(sb_Power, &SpeedButton::MouseUp, this, [this](Qt::MouseButton b) { sb_PowerMouseUp(b); });
    connect(sb_CAT, &SpeedButton::MouseUp, this, [this](Qt::MouseButton b) { sb_CATMouseUp(b); });
    connect(sb_Display, &SpeedButton::MouseUp, this, [this](Qt::MouseButton b) { sb_DisplayMouseUp(b); });
    connect(sb_Operate, &SpeedButton::MouseUp, this, [this](Qt::MouseButton b) { sb_OperateMouseUp(b); });

    // Mouse moves over the panels and the pair buttons report the hovered
    // control; the other buttons and the lamps report nothing.
    for (QWidget* watched : std::initializer_list<QWidget*>{pnlLeft, pnlRight, sb_BandMinus, sb_BandPlus, sb_LMinus,
                                                            sb_LPlus, sb_CMinus, sb_CPlus, sb_Left, sb_Right}) {
        watched->setMouseTracking(true);
        watched->installEventFilter(this);
    }
}

TKeyForm::Latches TKeyForm::LatchStates() const
{
    return {sb_Power->Down(), sb_CAT->Down(), sb_Display->Down(), sb_Operate->Down()};
}

void TKeyForm::ReleaseLatch(SpeedButton& button)
{
    button.SetDown(false);
    button.SetGroupIndex(0);
}

void TKeyForm::SetLamps(std::uint8_t lampStates)
{
    using namespace lampcolour;
    SetLamp(*stALARM, (lampStates & 0x80) != 0, Red, Maroon);
    SetLamp(*stTUNE, (lampStates & 0x40) != 0, Yellow, Olive);
    SetLamp(*stSET, (lampStates & 0x20) != 0, Lime, Green);
    SetLamp(*stOP, (lampStates & 0x10) != 0, Yellow, Olive);
    SetLamp(*stTX, (lampStates & 0x18) == 0x18, Red, Maroon);
    SetLamp(*stON, (lampStates & 0x01) != 0, Lime, Green);
}

void TKeyForm::FormKeyDown(int vk, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    // With Ctrl, the three minus keys are held and run; S and U are held.
    auto holdAndRun = [](SpeedButton* button) {
        button->Hold();
        button->Click();
    };
    switch (vk) {
    case 'A':
        if (!ctrl) {
            sb_Antenna->Hold();
        }
        break;
    case 'B':
        ctrl ? holdAndRun(sb_BandMinus) : sb_BandPlus->Hold();
        break;
    case 'C':
        ctrl ? holdAndRun(sb_CMinus) : sb_CPlus->Hold();
        break;
    case 'D':
        if (!ctrl) {
            sb_Display->Hold();
        }
        break;
    case 'I':
        if (!ctrl) {
            sb_Input->Hold();
        }
        break;
    case 'L':
        ctrl ? holdAndRun(sb_LMinus) : sb_LPlus->Hold();
        break;
    case 'N':
        if (!ctrl) {
            sb_ON->Hold();
        }
        break;
    case 'O':
        if (!ctrl) {
            sb_Operate->Hold();
        }
        break;
    case 'P':
        if (!ctrl) {
            sb_Power->Hold();
        }
        break;
    case 'S':
        sb_Set->Hold();
        break;
    case 'T':
        if (!ctrl) {
            sb_CAT->Hold();
        }
        break;
    case 'U':
        sb_Tune->Hold();
        break;
    default:
        if (!ctrl && IsPlusKey(vk)) {
            sb_Right->Hold();
        } else if (!ctrl && IsMinusKey(vk)) {
            sb_Left->Hold();
        }
        break;
    }
}

void TKeyForm::FormKeyUp(int vk, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    // With Ctrl, the latching keys toggle their latch instead of releasing it.
    auto releaseOrToggle = [ctrl](SpeedButton* button) { ctrl ? button->Toggle() : button->Release(); };
    switch (vk) {
    case 'A':
        sb_Antenna->Release();
        break;
    case 'B':
        (ctrl ? sb_BandMinus : sb_BandPlus)->Release();
        break;
    case 'C':
        (ctrl ? sb_CMinus : sb_CPlus)->Release();
        break;
    case 'D':
        releaseOrToggle(sb_Display);
        break;
    case 'I':
        sb_Input->Release();
        break;
    case 'L':
        (ctrl ? sb_LMinus : sb_LPlus)->Release();
        break;
    case 'N':
        sb_ON->Release();
        break;
    case 'O':
        releaseOrToggle(sb_Operate);
        break;
    case 'P':
        releaseOrToggle(sb_Power);
        break;
    case 'S':
        sb_Set->Release();
        break;
    case 'T':
        releaseOrToggle(sb_CAT);
        break;
    case 'U':
        sb_Tune->Release();
        break;
    default:
        if (IsPlusKey(vk)) {
            sb_Right->Release();
        } else if (IsMinusKey(vk)) {
            sb_Left->Release();
        }
        break;
    }
}

bool TKeyForm::DialogChar(QChar ch)
{
    return ClickAccelerator(*this, ch);
}

void TKeyForm::LatchMouseUp(SpeedButton& button, Qt::MouseButton mouseButton)
{
    if (mouseButton == Qt::RightButton) {
        button.Toggle(); // latch or unlatch silently
    } else {
        button.Release(); // a left click then sends the key's own code
    }
}

void TKeyForm::sb_PowerMouseUp(Qt::MouseButton button)
{
    LatchMouseUp(*sb_Power, button);
}

void TKeyForm::sb_CATMouseUp(Qt::MouseButton button)
{
    LatchMouseUp(*sb_CAT, button);
}

void TKeyForm::sb_DisplayMouseUp(Qt::MouseButton button)
{
    LatchMouseUp(*sb_Display, button);
}

void TKeyForm::sb_OperateMouseUp(Qt::MouseButton button)
{
    LatchMouseUp(*sb_Operate, button);
}

void TKeyForm::FormMouseMove(QObject* sender)
{
    hovered_ = sender;
}

std::array<SpeedButton*, 2> TKeyForm::HoveredPair() const
{
    const std::array<std::array<SpeedButton*, 2>, 4> pairs = {
        {{sb_BandMinus, sb_BandPlus}, {sb_LMinus, sb_LPlus}, {sb_CMinus, sb_CPlus}, {sb_Left, sb_Right}}};
    for (const auto& pair : pairs) {
        if (hovered_ == pair[0] || hovered_ == pair[1]) {
            return pair;
        }
    }
    return {nullptr, nullptr};
}

void TKeyForm::FormMouseWheelDown()
{
    if (SpeedButton* plus = HoveredPair()[1]) {
        plus->Click();
    }
}

void TKeyForm::FormMouseWheelUp()
{
    if (SpeedButton* minus = HoveredPair()[0]) {
        minus->Click();
    }
}

void TKeyForm::FormCreate()
{
    move(form_.KeypadLeft, form_.KeypadTop);
    setVisible(form_.actKeypad->isChecked());
}

void TKeyForm::FormClose()
{
    hide();
    form_.actKeypad->setChecked(false);
}

void TKeyForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    FormClose();
}

void TKeyForm::keyPressEvent(QKeyEvent* event)
{
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyDown(stroke.vk, stroke.modifiers);
    for (const QChar ch : vkeys::TypedText(*event)) {
        DialogChar(ch);
    }
    event->accept();
}

void TKeyForm::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    if (event->isAutoRepeat()) {
        return; // X11 pairs every repeated key-down with a key-up; only the last one counts
    }
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyUp(stroke.vk, stroke.modifiers);
}

void TKeyForm::mouseMoveEvent(QMouseEvent* event)
{
    FormMouseMove(this);
    event->accept();
}

bool TKeyForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        FormMouseMove(watched);
        // A panel's move must not travel on to the window as well.
        return watched == pnlLeft || watched == pnlRight;
    }
    return QWidget::eventFilter(watched, event);
}

void TKeyForm::wheelEvent(QWheelEvent* event)
{
    event->accept();
    wheelAccumulator_ += event->angleDelta().y();
    while (wheelAccumulator_ >= kWheelNotch) {
        wheelAccumulator_ -= kWheelNotch;
        FormMouseWheelUp();
    }
    while (wheelAccumulator_ <= -kWheelNotch) {
        wheelAccumulator_ += kWheelNotch;
        FormMouseWheelDown();
    }
}
