#include "Opkeypad.h"

#include "Mainform.h"
#include "toolkit/BevelPanel.h"
#include "toolkit/Lamp.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/VirtualKeys.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>

namespace {

SpeedButton* MakeButton(QWidget* panel, int left, int top, int width, QAction* action, QRgb captionColour)
{
    auto* button = new SpeedButton(panel);
    button->setGeometry(left, top, width, 22);
    button->SetAction(action);
    button->SetCaptionColor(QColor(captionColour));
    return button;
}

Lamp* MakeBar(QWidget* panel, int left, int width)
{
    auto* lamp = new Lamp(QString(), panel);
    lamp->setGeometry(left, 4, width, 10);
    return lamp;
}

BevelPanel* MakePanel(QWidget* window, int top, int height)
{
    auto* panel = new BevelPanel(window);
    panel->setGeometry(7, top, 130, height);
    return panel;
}

} // namespace

TJKeypad::TJKeypad(TForm1& form)
    : QWidget(&form, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), form_(form)
{
    setWindowTitle(QStringLiteral("Vorlinq: JKeypad"));
    setFixedSize(143, 169);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    setFocusPolicy(Qt::StrongFocus);
    CreateControls();
    SetLamps(0);
    FormCreate();
}

void TJKeypad::CreateControls()
{
    const QRgb black = lampcolour::Black;

    Panel1 = MakePanel(this, 53, 66);
    stOP = MakeBar(Panel1, 4, 122);
    sb_Operate = MakeButton(Panel1, 3, 15, 61, form_.actOperate, black);
    sb_Power = MakeButton(Panel1, 64, 15, 62, form_.actPower, black);

    Panel2 = MakePanel(this, 7, 43);
    stON = MakeBar(Panel2, 4, 122);
    sb_ON = MakeButton(Panel2, 3, 15, 61, form_.actOn, lampcolour::Green);
    SpeedButton1 = MakeButton(Panel2, 64, 15, 62, form_.actOff, lampcolour::Red);

    Panel3 = MakePanel(this, 121, 43);
    sb_Tune = MakeButton(Panel3, 3, 15, 61, form_.actTune, black);
    stTUNE = MakeBar(Panel3, 4, 60);
    sb_Display = MakeButton(Panel3, 64, 15, 62, form_.actDisplay, black);
    stALARM = MakeBar(Panel3, 64, 62);

    sb_Input = MakeButton(Panel1, 3, 38, 61, form_.actInput, black);
    sb_Antenna = MakeButton(Panel1, 64, 38, 62, form_.actAnt, black);

    // The bars have no caption; assistive technology reads these names.
    stON->setAccessibleName(QStringLiteral("ON"));
    stOP->setAccessibleName(QStringLiteral("OP"));
    stTUNE->setAccessibleName(QStringLiteral("TUNE"));
    stALARM->setAccessibleName(QStringLiteral("AL"));
}

void TJKeypad::SetLamps(std::uint8_t lampStates)
{
    using namespace lampcolour;
    auto set = [](Lamp* lamp, bool lit, QRgb litColour, QRgb darkColour) {
        lamp->SetColor(QColor(lit ? litColour : darkColour));
        lamp->SetLit(lit);
    };
    set(stALARM, (lampStates & 0x80) != 0, Red, Maroon);
    set(stTUNE, (lampStates & 0x40) != 0, Yellow, Olive);
    set(stOP, (lampStates & 0x10) != 0, Yellow, Olive);
    // No TX lamp here: the OP bar turns red while OP and TX are both on, and
    // then reads as TX.
    const bool tx = (lampStates & 0x18) == 0x18;
    if (tx) {
        stOP->SetColor(QColor(Red));
    }
    const QString opName = tx ? QStringLiteral("TX") : QStringLiteral("OP");
    if (stOP->accessibleName() != opName) {
        stOP->setAccessibleName(opName);
    }
    set(stON, (lampStates & 0x01) != 0, Lime, Green);
}

void TJKeypad::FormKeyDown(int vk, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    SpeedButton* button = nullptr;
    switch (vk) {
    case 'A':
        button = sb_Antenna;
        break;
    case 'D':
        button = sb_Display;
        break;
    case 'I':
        button = sb_Input;
        break;
    case 'N':
        button = sb_ON;
        break;
    case 'O':
        button = sb_Operate;
        break;
    case 'P':
        button = sb_Power;
        break;
    case 'U':
        sb_Tune->Hold(); // with or without Ctrl
        return;
    default:
        return;
    }
    if (!ctrl) {
        button->Hold();
    }
}

void TJKeypad::FormKeyUp(int vk, Qt::KeyboardModifiers /*modifiers*/)
{
    switch (vk) {
    case 'A':
        sb_Antenna->Release();
        break;
    case 'D':
        sb_Display->Release();
        break;
    case 'I':
        sb_Input->Release();
        break;
    case 'N':
        sb_ON->Release();
        break;
    case 'O':
        sb_Operate->Release();
        break;
    case 'P':
        sb_Power->Release();
        break;
    case 'U':
        sb_Tune->Release();
        break;
    default:
        break;
    }
}

bool TJKeypad::DialogChar(QChar ch)
{
    return ClickAccelerator(*this, ch);
}

void TJKeypad::FormCreate()
{
    move(form_.KeypadLeft, form_.KeypadTop);
    setVisible(form_.actJKeypad->isChecked());
}

void TJKeypad::FormClose()
{
    hide();
    form_.actJKeypad->setChecked(false);
}

void TJKeypad::closeEvent(QCloseEvent* event)
{
    event->accept();
    FormClose();
}

void TJKeypad::keyPressEvent(QKeyEvent* event)
{
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyDown(stroke.vk, stroke.modifiers);
    for (const QChar ch : vkeys::TypedText(*event)) {
        DialogChar(ch);
    }
    event->accept();
}

void TJKeypad::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
    if (event->isAutoRepeat()) {
        return; // X11 pairs every repeated key-down with a key-up; only the last one counts
    }
    const vkeys::KeyStroke stroke = vkeys::Translate(*event);
    FormKeyUp(stroke.vk, stroke.modifiers);
}
