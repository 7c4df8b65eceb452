// The display window's front-panel keys: the key actions with their codes and
// latch rules, the OFF question, switching between the two keypads, and the
// four stages a key goes through in this window (shortcuts, key-down, typed
// character, key-up).

#include "Keyboard.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/VirtualKeys.h"

#include <QAction>
#include <QKeyEvent>

#include <cstdint>

namespace {

// Key codes of the amplifier's front-panel keys; the latched variants are the
// codes a key sends while a POWER, CAT, DISPLAY or OPERATE latch is held.
namespace keycode {
constexpr std::uint8_t Input = 0x01;
constexpr std::uint8_t BandMinus = 0x02;
constexpr std::uint8_t BandPlus = 0x03;
constexpr std::uint8_t Ant = 0x04;
constexpr std::uint8_t LMinus = 0x05;
constexpr std::uint8_t LPlus = 0x06;
constexpr std::uint8_t CMinus = 0x07;
constexpr std::uint8_t CPlus = 0x08;
constexpr std::uint8_t Tune = 0x09;
constexpr std::uint8_t Off = 0x0A;
constexpr std::uint8_t Power = 0x0B;
constexpr std::uint8_t Display = 0x0C;
constexpr std::uint8_t Operate = 0x0D;
constexpr std::uint8_t CAT = 0x0E;
constexpr std::uint8_t LeftArrow = 0x0F;
constexpr std::uint8_t RightArrow = 0x10;
constexpr std::uint8_t Set = 0x11;
constexpr std::uint8_t OperateTune = 0x12;  // TUNE with OPERATE latched
constexpr std::uint8_t DisplayInput = 0x13; // INPUT with DISPLAY latched
constexpr std::uint8_t DisplayCPlus = 0x15; // C + with DISPLAY latched
constexpr std::uint8_t PowerCMinus = 0x18;
constexpr std::uint8_t PowerCPlus = 0x19;
constexpr std::uint8_t CatCMinus = 0x1A;
constexpr std::uint8_t CatCPlus = 0x1B;
constexpr std::uint8_t PowerLMinus = 0x1C;
constexpr std::uint8_t PowerLPlus = 0x1D;
constexpr std::uint8_t CatLMinus = 0x1E;
constexpr std::uint8_t CatLPlus = 0x1F;
} // namespace keycode

constexpr int kVkK = 0x4B;
constexpr int kVkF = 0x46;

const char* const kOffQuestion = "Do you wish to switch the AVELKOR linear off?";

// The latches of the full keypad, shown or hidden.
TKeyForm::Latches LatchesOf(const TKeyForm* keyForm)
{
    return keyForm ? keyForm->LatchStates() : TKeyForm::Latches{};
}

} // namespace

// ---------------------------------------------------------------- key actions

void TForm1::actInputExecute()
{
    if (LatchesOf(KeyForm).display) {
        SendCommand(keycode::DisplayInput);
        TKeyForm::ReleaseLatch(*KeyForm->sb_Display);
    } else {
        SendCommand(keycode::Input);
    }
}

void TForm1::actAntExecute()
{
    SendCommand(keycode::Ant);
}

void TForm1::actBandMinusExecute()
{
    SendCommand(keycode::BandMinus);
}

void TForm1::actBandPlusExecute()
{
    SendCommand(keycode::BandPlus);
}

void TForm1::actLMinusExecute()
{
    const TKeyForm::Latches latches = LatchesOf(KeyForm);
    if (latches.power) {
        SendCommand(keycode::PowerLMinus);
    } else if (latches.cat) {
        SendCommand(keycode::CatLMinus);
    } else {
        SendCommand(keycode::LMinus);
    }
}

void TForm1::actLPlusExecute()
{
    const TKeyForm::Latches latches = LatchesOf(KeyForm);
    if (latches.power) {
        SendCommand(keycode::PowerLPlus);
    } else if (latches.cat) {
        SendCommand(keycode::CatLPlus);
    } else {
        SendCommand(keycode::LPlus);
    }
}

void TForm1::actCMinusExecute()
{
    const TKeyForm::Latches latches = LatchesOf(KeyForm);
    if (latches.power) {
        SendCommand(keycode::PowerCMinus);
    } else if (latches.cat) {
        SendCommand(keycode::CatCMinus);
    } else {
        SendCommand(keycode::CMinus);
    }
}

void TForm1::actCPlusExecute()
{
    const TKeyForm::Latches latches = LatchesOf(KeyForm);
    if (latches.display) {
        SendCommand(keycode::DisplayCPlus);
        TKeyForm::ReleaseLatch(*KeyForm->sb_Display);
    } else if (latches.power) {
        SendCommand(keycode::PowerCPlus);
    } else if (latches.cat) {
        SendCommand(keycode::CatCPlus);
    } else {
        SendCommand(keycode::CPlus);
    }
}

void TForm1::actTuneExecute()
{
    if (LatchesOf(KeyForm).operate) {
        SendCommand(keycode::OperateTune);
        TKeyForm::ReleaseLatch(*KeyForm->sb_Operate);
    } else {
        SendCommand(keycode::Tune);
    }
}

void TForm1::actPowerExecute()
{
    SendCommand(keycode::Power);
}

void TForm1::actDisplayExecute()
{
    SendCommand(keycode::Display);
}

void TForm1::actOperateExecute()
{
    SendCommand(keycode::Operate);
}

void TForm1::actCATExecute()
{
    SendCommand(keycode::CAT);
}

void TForm1::actLeftArrowExecute()
{
    SendCommand(keycode::LeftArrow);
}

void TForm1::actRightArrowExecute()
{
    SendCommand(keycode::RightArrow);
}

void TForm1::actSetExecute()
{
    SendCommand(keycode::Set);
}

void TForm1::actOffExecute()
{
    // The link may have gone while the question was open: then there is
    // nothing to send the code to.
    if (Boxes().Question(this, QString::fromLatin1(kOffQuestion)) && OnLine) {
        SendCommand(keycode::Off);
    }
}

// ------------------------------------------------------------ keypads on/off

void TForm1::actKeypadExecute()
{
    if (!KeyForm || !JKeypad) {
        return;
    }
    if (KeyForm->isVisible()) {
        KeyForm->hide();
        actKeypad->setChecked(false);
        return;
    }
    // The full keypad takes the basic keypad's place, shown or last shown.
    KeyForm->move(JKeypad->pos());
    KeyForm->show();
    JKeypad->hide();
    actKeypad->setChecked(true);
    actJKeypad->setChecked(false);
}

void TForm1::actJKeypadExecute()
{
    if (!KeyForm || !JKeypad) {
        return;
    }
    if (JKeypad->isVisible()) {
        JKeypad->hide();
        actJKeypad->setChecked(false);
        return;
    }
    JKeypad->move(KeyForm->pos());
    JKeypad->show();
    KeyForm->hide();
    actJKeypad->setChecked(true);
    actKeypad->setChecked(false);
}

void TForm1::ConnectKeyHandlers()
{
    const std::pair<QAction*, void (TForm1::*)()> handlers[] = {
        {actInput, &TForm1::actInputExecute},
        {actAnt, &TForm1::actAntExecute},
        {actLMinus, &TForm1::actLMinusExecute},
        {actLPlus, &TForm1::actLPlusExecute},
        {actBandMinus, &TForm1::actBandMinusExecute},
        {actBandPlus, &TForm1::actBandPlusExecute},
        {actCMinus, &TForm1::actCMinusExecute},
        {actCPlus, &TForm1::actCPlusExecute},
        {actTune, &TForm1::actTuneExecute},
        {actSet, &TForm1::actSetExecute},
        {actLeftArrow, &TForm1::actLeftArrowExecute},
        {actRightArrow, &TForm1::actRightArrowExecute},
        {actDisplay, &TForm1::actDisplayExecute},
        {actPower, &TForm1::actPowerExecute},
        {actOperate, &TForm1::actOperateExecute},
        {actCAT, &TForm1::actCATExecute},
        {actOff, &TForm1::actOffExecute},
        {actOn, &TForm1::actOnExecute},
        {actKeypad, &TForm1::actKeypadExecute},
        {actJKeypad, &TForm1::actJKeypadExecute},
    };
    for (const auto& [action, handler] : handlers) {
        connect(action, &QAction::triggered, this, handler);
    }
}

// ----------------------------------------------------------- keyboard stages

void TForm1::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyDown(stroke.vk, stroke.modifiers);
    // Alt with a key is a menu character, not a typed one.
    if (event->modifiers().testFlag(Qt::AltModifier)) {
        return;
    }
    for (const QChar ch : vkeys::TypedText(*event)) {
        FormKeyPress(ch);
    }
}

void TForm1::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    if (event->isAutoRepeat()) {
        return; // X11 pairs every repeated key-down with a key-up; only the last one counts
    }
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyUp(stroke.vk, stroke.modifiers);
}

void TForm1::FormKeyDown(int vk, Qt::KeyboardModifiers modifiers)
{
    // An F whose key-down a shortcut took (Ctrl+F, Freeze) asks nothing when it comes up.
    if (vk == kVkF) {
        fKeyDownReached_ = true;
    }
    if (vk == kVkK) {
        // Bring the visible keypad to the front, whatever the modifiers.
        QWidget* keypad = nullptr;
        if (KeyForm && KeyForm->isVisible()) {
            keypad = KeyForm;
        } else if (JKeypad && JKeypad->isVisible()) {
            keypad = JKeypad;
        }
        if (keypad) {
            keypad->raise();
            keypad->activateWindow();
        }
        return;
    }
    if (KeyForm) {
        KeyForm->FormKeyDown(vk, modifiers);
    }
    if (JKeypad) {
        JKeypad->FormKeyDown(vk, modifiers);
    }
}

void TForm1::FormKeyPress(QChar ch)
{
    QAction* action = nullptr;
    switch (ch.toUpper().unicode()) {
    case '+':
        action = actRightArrow;
        break;
    case '-':
        action = actLeftArrow;
        break;
    case 'A':
        action = actAnt;
        break;
    case 'B':
        action = actBandPlus;
        break;
    case 'C':
        action = actCPlus;
        break;
    case 'D':
        action = actDisplay;
        break;
    case 'I':
        action = actInput;
        break;
    case 'L':
        action = actLPlus;
        break;
    case 'N':
        action = actOn;
        break;
    case 'O':
        action = actOperate;
        break;
    case 'P':
        action = actPower;
        break;
    case 'S':
        action = actSet;
        break;
    case 'T':
        action = actCAT;
        break;
    case 'U':
        action = actTune;
        break;
    default:
        return;
    }
    action->trigger();
}

void TForm1::FormKeyUp(int vk, Qt::KeyboardModifiers modifiers)
{
    if (vk == kVkF) {
        // Asks even while actOff is disabled (as after a failed update), but
        // not in the middle of a firmware transfer, and only for an F whose
        // key-down came here.
        const bool pressedHere = fKeyDownReached_;
        fKeyDownReached_ = false;
        if (pressedHere && OnLine && !UpdateRunning) {
            actOffExecute();
        }
        return;
    }
    if (KeyForm) {
        KeyForm->FormKeyUp(vk, modifiers);
    }
    if (JKeypad) {
        JKeypad->FormKeyUp(vk, modifiers);
    }
}
