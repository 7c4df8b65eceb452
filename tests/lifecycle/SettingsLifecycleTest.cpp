// The display window's settings across a close and a new start: every value
// written at close comes back at the next start, and a first run applies the
// defaults.

#include "support/WindowFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSettings>

#include <array>

using windowtest::WindowFixture;

namespace {

QSize Outer(const TForm1& form)
{
    return {form.OuterWidth(), form.OuterHeight()};
}

bool Painted(const WindowFixture& w)
{
    return WindowFixture::ProcessUntil([&] {
        const int n = w.form->SelectedPreset;
        return w.form->Presets[2 * (n - 1)] == w.form->OuterHeight() &&
               w.form->Presets[2 * (n - 1) + 1] == w.form->OuterWidth();
    });
}

TEST(SettingsLifecycleTest, FirstRunAppliesTheDefaults)
{
    WindowFixture w;
    w.CreateWindows();
    ASSERT_TRUE(Painted(w));

    EXPECT_EQ(w.form->Presets, (std::array<int, 10>{137, 259, 216, 508, 283, 752, 351, 1000, 488, 1424}));
    EXPECT_EQ(w.form->SelectedPreset, 3);
    EXPECT_TRUE(w.form->actPreset[2]->isChecked());
    EXPECT_EQ(w.form->pos(), QPoint(0, 0));
    EXPECT_EQ(Outer(*w.form), QSize(752, 283));
    EXPECT_EQ(w.form->KeypadTop, 280);
    EXPECT_EQ(w.form->KeypadLeft, 0);
    EXPECT_TRUE(w.form->actKeypad->isChecked());
    EXPECT_TRUE(w.keyForm->isVisible());
    EXPECT_EQ(w.keyForm->pos(), QPoint(0, 280));
    EXPECT_FALSE(w.form->actJKeypad->isChecked());
    EXPECT_FALSE(w.jKeypad->isVisible());
    EXPECT_TRUE(w.form->IDString.isEmpty());
    EXPECT_FALSE(w.form->IDAddressing);
    EXPECT_EQ(w.form->StatusPanelText(1), "F3");
    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: Not enabled");
}

TEST(SettingsLifecycleTest, EveryValueComesBackAfterCloseAndNewStart)
{
    WindowFixture w;
    w.CreateWindows();
    ASSERT_TRUE(Painted(w));

    w.form->IDString = "AV77X";
    w.form->IDAddressing = true;
    w.form->Presets = {140, 270, 220, 520, 290, 760, 360, 1010, 490, 1430};
    w.form->actPreset[3]->trigger();
    ASSERT_TRUE(Painted(w));
    w.form->move(33, 44);
    // The basic keypad shown instead of the full one, then moved by the user.
    w.form->actJKeypad->trigger();
    ASSERT_TRUE(w.jKeypad->isVisible());
    ASSERT_FALSE(w.keyForm->isVisible());
    w.jKeypad->move(61, 412);
    const std::array<int, 10> presets = w.form->Presets;
    EXPECT_EQ(Outer(*w.form), QSize(1010, 360));

    w.CloseWindows();
    {
        // Written under the names of the store.
        QSettings store(w.SettingsPath(), QSettings::IniFormat);
        EXPECT_EQ(store.value("FTDI_ID_String").toString(), "AV77X");
        EXPECT_EQ(store.value("ApplicationPresetItem").toInt(), 4);
        EXPECT_EQ(store.value("ApplicationKeypadLeft").toInt(), 61);
    }
    w.CreateWindows();
    ASSERT_TRUE(Painted(w));

    EXPECT_EQ(w.form->IDString, "AV77X");
    EXPECT_TRUE(w.form->IDAddressing);
    EXPECT_EQ(w.form->Presets, presets);
    EXPECT_EQ(w.form->SelectedPreset, 4);
    EXPECT_TRUE(w.form->actPreset[3]->isChecked());
    EXPECT_EQ(Outer(*w.form), QSize(1010, 360));
    EXPECT_EQ(w.form->pos(), QPoint(33, 44));
    EXPECT_EQ(w.form->KeypadTop, 412);
    EXPECT_EQ(w.form->KeypadLeft, 61);
    EXPECT_FALSE(w.form->actKeypad->isChecked());
    EXPECT_TRUE(w.form->actJKeypad->isChecked());
    EXPECT_TRUE(w.jKeypad->isVisible());
    EXPECT_FALSE(w.keyForm->isVisible());
    EXPECT_EQ(w.jKeypad->pos(), QPoint(61, 412));
    EXPECT_EQ(w.form->StatusPanelText(1), "F4");
    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: [AV77X]");

    // A second round changes nothing: the window does not creep.
    w.CloseWindows();
    w.CreateWindows();
    ASSERT_TRUE(Painted(w));
    EXPECT_EQ(w.form->Presets, presets);
    EXPECT_EQ(Outer(*w.form), QSize(1010, 360));
    EXPECT_EQ(w.form->pos(), QPoint(33, 44));
}

} // namespace
