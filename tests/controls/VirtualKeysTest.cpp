// Key events to virtual-key codes: by physical key, whatever the character.
#include "toolkit/VirtualKeys.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

using vkeys::NativeKind;
using vkeys::Translate;

namespace {

int Vk(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return Translate(qtKey, modifiers, 0, 0, NativeKind::None).vk;
}

} // namespace

TEST(VirtualKeys, LettersDigitsAndFunctionKeysUseWindowsNumbering)
{
    EXPECT_EQ(Vk(Qt::Key_A), 0x41);
    EXPECT_EQ(Vk(Qt::Key_K, Qt::ShiftModifier), 0x4B);
    EXPECT_EQ(Vk(Qt::Key_Z, Qt::ControlModifier), 0x5A);
    EXPECT_EQ(Vk(Qt::Key_0), 0x30);
    EXPECT_EQ(Vk(Qt::Key_F1), 0x70);
    EXPECT_EQ(Vk(Qt::Key_F5), 0x74);
    EXPECT_EQ(Vk(Qt::Key_Control), 0x11);
    EXPECT_EQ(Vk(Qt::Key_Escape), 0x1B);
    EXPECT_EQ(Vk(Qt::Key_Launch0), 0);
}

TEST(VirtualKeys, PlusAndMinusKeysOfBothBlocks)
{
    // X11: the main plus key goes down as Shift+Key_Plus and may come up as a
    // bare Key_Equal; both are the same key.
    EXPECT_EQ(Vk(Qt::Key_Plus, Qt::ShiftModifier), vkeys::VK_OEM_PLUS);
    EXPECT_EQ(Vk(Qt::Key_Equal), vkeys::VK_OEM_PLUS);
    EXPECT_EQ(vkeys::VK_OEM_PLUS, 0xBB);
    EXPECT_EQ(Vk(Qt::Key_Minus), 0xBD);
    EXPECT_EQ(Vk(Qt::Key_Underscore, Qt::ShiftModifier), 0xBD);
    EXPECT_EQ(Vk(Qt::Key_Plus, Qt::KeypadModifier), 0x6B);
    EXPECT_EQ(Vk(Qt::Key_Minus, Qt::KeypadModifier), 0x6D);
    EXPECT_EQ(Vk(Qt::Key_5, Qt::KeypadModifier), 0x65);
    // Keypad navigation keys share the main block's codes.
    EXPECT_EQ(Vk(Qt::Key_Home, Qt::KeypadModifier), 0x24);
}

TEST(VirtualKeys, KeepsOnlyShiftCtrlAndAlt)
{
    const auto stroke = Translate(
        Qt::Key_Plus, Qt::KeypadModifier | Qt::ControlModifier | Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier,
        0, 0, NativeKind::None);
    EXPECT_EQ(stroke.modifiers, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

TEST(VirtualKeys, NativeCodesWhereTheyNameThePhysicalKey)
{
    // Windows: the native virtual key is taken as it is.
    EXPECT_EQ(Translate(Qt::Key_Plus, Qt::ShiftModifier, 13, 0xBB, NativeKind::Windows).vk, 0xBB);
    EXPECT_EQ(Translate(Qt::Key_A, {}, 30, 0, NativeKind::Windows).vk, 0x41); // no native key: Qt key
    // X11 with a Cyrillic layout: the A key types U+0444 but is still A.
    EXPECT_EQ(Translate(0x0444, {}, 38, 0x6c6, NativeKind::X11).vk, 0x41);
    EXPECT_EQ(Translate(0x043a, {}, 46, 0x6cb, NativeKind::X11).vk, 0x4C);
    // A Latin layout's letter wins over the key's position (AZERTY A is on the Q key).
    EXPECT_EQ(Translate(Qt::Key_A, {}, 24, 0x61, NativeKind::X11).vk, 0x41);
    // Without X11 the scan code is not trusted.
    EXPECT_EQ(Translate(0x0444, {}, 38, 0, NativeKind::None).vk, 0);
}

TEST(VirtualKeys, TranslatesRealEvents)
{
    const QKeyEvent down(QEvent::KeyPress, Qt::Key_Plus, Qt::ShiftModifier, QStringLiteral("+"));
    const QKeyEvent up(QEvent::KeyRelease, Qt::Key_Equal, Qt::NoModifier, QStringLiteral("="));
    EXPECT_EQ(Translate(down).vk, 0xBB);
    EXPECT_EQ(Translate(down).modifiers, Qt::ShiftModifier);
    EXPECT_EQ(Translate(up).vk, 0xBB);
}

TEST(VirtualKeys, TypedTextDropsControlCharactersAndCtrlCombinations)
{
    EXPECT_EQ(vkeys::TypedText(QStringLiteral("l"), Qt::NoModifier), QStringLiteral("l"));
    EXPECT_EQ(vkeys::TypedText(QStringLiteral("p"), Qt::AltModifier), QStringLiteral("p"));
    EXPECT_EQ(vkeys::TypedText(QStringLiteral("l"), Qt::ControlModifier), QString());
    EXPECT_EQ(vkeys::TypedText(QString(QChar(0x0C)), Qt::NoModifier), QString());
    EXPECT_EQ(vkeys::TypedText(QStringLiteral("+"), Qt::KeypadModifier), QStringLiteral("+"));
}
