#pragma once
// The display window with both keypad windows, wired to the simulated
// amplifier and put on-line the way a successful connect leaves it (on-line
// flag, key actions enabled, an open USB handle), without running the
// connect job. Keys and clicks are real QTest events; what the amplifier
// received is read back from the simulator.

#include "Keyboard.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "sim/SimDriver.h"
#include "support/FakeBoxes.h"
#include "toolkit/BevelPanel.h"
#include "toolkit/Clock.h"
#include "toolkit/SpeedButton.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <QWheelEvent>

#include <cstdint>
#include <memory>
#include <vector>

using Codes = std::vector<std::uint8_t>;

class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { QStandardPaths::setTestModeEnabled(true); }

    void SetUp() override
    {
        SetAppClock(&clock);
        sim::SimOptions options;
        options.clock = &clock;
        driver = std::make_unique<sim::SimDriver>(options);
        form = std::make_unique<TForm1>(driver.get(), true);
        Form1 = form.get();
        // The full keypad shown, the basic one hidden, both at the stored place.
        form->actKeypad->setChecked(true);
        form->actJKeypad->setChecked(false);
        form->KeypadLeft = 40;
        form->KeypadTop = 300;
        keyForm = new TKeyForm(*form);
        jKeypad = new TJKeypad(*form);
        form->SetWindows(keyForm, jKeypad, nullptr, nullptr, nullptr);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        Activate(form.get());
    }

    void TearDown() override
    {
        form.reset(); // owns the keypad windows
        Form1 = nullptr;
        driver.reset();
        SetAppClock(nullptr);
    }

    void GoOnline()
    {
        FT_HANDLE handle = nullptr;
        ASSERT_EQ(driver->FT_Open(0, &handle), FT_OK);
        form->USBHandle = handle;
        form->OnLine = true;
        form->EnableKeyActions();
    }

    static void Activate(QWidget* window)
    {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    // Key codes the amplifier received since the last call.
    Codes Received()
    {
        auto lock = driver->Lock();
        Codes codes = driver->Device().KeyCodes();
        driver->Device().ClearKeyCodes();
        return codes;
    }

    // One wheel notch (or part of one) on the full keypad: > 0 away from the user.
    void Wheel(int delta)
    {
        QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(keyForm, &event);
    }

    // A key pressed and released in `window`: key-down, typed character, key-up.
    static void Type(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window, key, modifiers);
    }

    InstantClock clock;
    FakeBoxes boxes;
    std::unique_ptr<sim::SimDriver> driver;
    std::unique_ptr<TForm1> form;
    TKeyForm* keyForm = nullptr;
    TJKeypad* jKeypad = nullptr;
};
