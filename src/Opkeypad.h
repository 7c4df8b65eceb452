#pragma once
// The basic keypad window: eight keys (ON, OFF, OPERATE, POWER, INPUT, ANT,
// TUNE, DISPLAY) and four caption-less lamp bars. It has no latches of its
// own: its buttons run the display window's actions, whose codes follow the
// full keypad's latches whether that window is shown or not. Created once at
// start; hidden, never destroyed.

#include "LampPanel.h"

#include <QWidget>

#include <cstdint>

class BevelPanel;
class Lamp;
class SpeedButton;
class TForm1;

class TJKeypad : public QWidget, public LampPanel {
    Q_OBJECT

public:
    explicit TJKeypad(TForm1& form);

    // Lights the lamp bars by the 1 bits of `lampStates`; 0 darkens them all.
    void SetLamps(std::uint8_t lampStates) override;

    // Key tables: hold on key-down, release on key-up; they send nothing.
    // Only Ctrl of the modifiers is looked at.
    void FormKeyDown(int vk, Qt::KeyboardModifiers modifiers);
    void FormKeyUp(int vk, Qt::KeyboardModifiers modifiers);
    // A character typed while this window has the focus: clicks the enabled
    // button whose caption has it as accelerator. True when one was clicked.
    bool DialogChar(QChar ch);

    void FormCreate();
    void FormClose();

    // Controls, in their declared order.
    BevelPanel* Panel1 = nullptr;
    Lamp* stOP = nullptr;
    SpeedButton* sb_Operate = nullptr;
    SpeedButton* sb_Power = nullptr;
    BevelPanel* Panel2 = nullptr;
    Lamp* stON = nullptr;
    SpeedButton* sb_ON = nullptr;
    SpeedButton* SpeedButton1 = nullptr; // OFF
    BevelPanel* Panel3 = nullptr;
    SpeedButton* sb_Tune = nullptr;
    Lamp* stTUNE = nullptr;
    SpeedButton* sb_Display = nullptr;
    Lamp* stALARM = nullptr;
    SpeedButton* sb_Input = nullptr;
    SpeedButton* sb_Antenna = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void CreateControls();

    TForm1& form_;
};
