#pragma once
// Translates Qt key events into Windows virtual-key codes (A = 0x41,
// numeric-keypad plus 0x6B, VK_OEM_PLUS 0xBB ...) with the Shift/Ctrl/Alt
// state, which is what the keypad tables of the program are written in.
//
// Keys are identified by the physical key, not by the character it types: on
// X11 the main keyboard's plus is Shift+'=' and arrives as Key_Plus with Shift
// going down but may come back as Key_Equal without modifiers going up; both
// must name the same key (VK_OEM_PLUS). The modifier state is that of the
// moment of the event, so letting go of Ctrl before a letter gives a plain
// key-up of that letter.

#include <QString>
#include <QtGlobal>
#include <qnamespace.h>

class QKeyEvent;

namespace vkeys {

// Windows virtual-key codes the program uses by name.
enum : int {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12, // Alt
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,      // numeric-keypad plus
    VK_SUBTRACT = 0x6D, // numeric-keypad minus
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F1 = 0x70,
    VK_OEM_1 = 0xBA,
    VK_OEM_PLUS = 0xBB, // the main keyboard's plus (=+) key
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD, // the main keyboard's minus key
    VK_OEM_PERIOD = 0xBE,
};

// The windowing system the event came from; it decides which native codes
// can be trusted.
enum class NativeKind {
    None,    // no usable native codes (offscreen, tests, Wayland ...)
    Windows, // nativeVirtualKey() is the virtual-key code itself
    X11,     // nativeScanCode() is an X keycode (evdev + 8)
};

struct KeyStroke {
    int vk = 0;                      // 0: a key without a virtual-key code of ours
    Qt::KeyboardModifiers modifiers; // only Shift, Ctrl and Alt
};

// The core translation, independent of the running platform.
KeyStroke Translate(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode, quint32 nativeVirtualKey,
                    NativeKind native);

// The native kind of the running application (from the platform plugin's name).
NativeKind CurrentNativeKind();

// Translates a key press or release of the running application.
KeyStroke Translate(const QKeyEvent& event);

// The typed-character stage of a key press: the printable characters it
// types. Ctrl with a key types none (it would be a control character).
QString TypedText(const QKeyEvent& event);
QString TypedText(const QString& text, Qt::KeyboardModifiers modifiers);

} // namespace vkeys
