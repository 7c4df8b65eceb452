// The display window's front-panel keys: the key actions with their codes and
// latch rules, the OFF question, switching between the two keypads, and the
// four stages a key goes through in this window (shortcuts, key-down, typed
// character, key-up).

#include "Keyboard.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "protocol/KeyCodes.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/VirtualKeys.h"

#include <QAction>
#include <QKeyEvent>

#include <cstdint>

namespace {

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
