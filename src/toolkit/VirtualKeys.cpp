#include "toolkit/VirtualKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace vkeys {
namespace {

constexpr Qt::KeyboardModifiers kKeptModifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// Keys whose virtual-key code does not depend on the numeric keypad.
int FromQtKey(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return key; // Qt numbers the letters like the virtual keys
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return key;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return VK_F1 + (key - Qt::Key_F1);
    }
    switch (key) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: // the plus key unshifted (X11 may report its release so)
        return VK_OEM_PLUS;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return VK_OEM_MINUS;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return VK_OEM_COMMA;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return VK_OEM_PERIOD;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK_MENU;
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

// Keys of the numeric keypad that have virtual-key codes of their own.
int FromKeypadKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return VK_NUMPAD0 + (key - Qt::Key_0);
    }
    switch (key) {
    case Qt::Key_Plus:
        return VK_ADD;
    case Qt::Key_Minus:
        return VK_SUBTRACT;
    case Qt::Key_Asterisk:
        return VK_MULTIPLY;
    case Qt::Key_Slash:
        return VK_DIVIDE;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return VK_DECIMAL;
    default:
        return 0; // navigation keys of the keypad share the main block's codes
    }
}

// X keycodes (evdev code + 8) of the physical keys, for layouts whose key
// symbols are not Latin (a Cyrillic or Greek layout still has an A key).
int FromX11KeyCode(quint32 keycode)
{
    static constexpr char kTopRow[] = "QWERTYUIOP"; // keycodes 24..33
    static constexpr char kHomeRow[] = "ASDFGHJKL"; // 38..46
    static constexpr char kBottomRow[] = "ZXCVBNM"; // 52..58
    if (keycode >= 10 && keycode <= 18) {
        return '1' + static_cast<int>(keycode - 10);
    }
    if (keycode == 19) {
        return '0';
    }
    if (keycode >= 24 && keycode <= 33) {
        return kTopRow[keycode - 24];
    }
    if (keycode >= 38 && keycode <= 46) {
        return kHomeRow[keycode - 38];
    }
    if (keycode >= 52 && keycode <= 58) {
        return kBottomRow[keycode - 52];
    }
    switch (keycode) {
    case 20:
        return VK_OEM_MINUS;
    case 21:
        return VK_OEM_PLUS;
    case 82:
        return VK_SUBTRACT;
    case 86:
        return VK_ADD;
    default:
        return 0;
    }
}

} // namespace

KeyStroke Translate(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode, quint32 nativeVirtualKey,
                    NativeKind native)
{
    KeyStroke stroke;
    stroke.modifiers = modifiers & kKeptModifiers;
    if (native == NativeKind::Windows && nativeVirtualKey != 0 && nativeVirtualKey <= 0xFF) {
        stroke.vk = static_cast<int>(nativeVirtualKey);
        return stroke;
    }
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        stroke.vk = FromKeypadKey(qtKey);
    }
    if (stroke.vk == 0) {
        stroke.vk = FromQtKey(qtKey);
    }
    if (stroke.vk == 0 && native == NativeKind::X11) {
        stroke.vk = FromX11KeyCode(nativeScanCode);
    }
    return stroke;
}

NativeKind CurrentNativeKind()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("windows")) {
        return NativeKind::Windows;
    }
    if (platform == QLatin1String("xcb")) {
        return NativeKind::X11;
    }
    return NativeKind::None;
}

KeyStroke Translate(const QKeyEvent& event)
{
    return Translate(event.key(), event.modifiers(), event.nativeScanCode(), event.nativeVirtualKey(),
                     CurrentNativeKind());
}

QString TypedText(const QString& text, Qt::KeyboardModifiers modifiers)
{
    QString typed;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        return typed;
    }
    for (const QChar ch : text) {
        if (ch.isPrint()) {
            typed.append(ch);
        }
    }
    return typed;
}

QString TypedText(const QKeyEvent& event)
{
    return TypedText(event.text(), event.modifiers());
}

} // namespace vkeys
