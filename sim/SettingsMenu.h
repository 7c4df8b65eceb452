#pragma once
// The simulated amplifier's settings menu: opened with SET, the arrows move
// the selection (shown in inverse video), SET on an item edits its value
// between two triangles, the arrows change it, SET again keeps it; SET on
// "EXIT" closes the menu.

#include "sim/ScreenBuffer.h"

namespace sim {

class SettingsMenu {
public:
    enum Item { kBeep, kContrast, kCatBaud, kTxDelay, kTempUnit, kExit, kItemCount };

    bool IsOpen() const { return open_; }
    bool Editing() const { return editing_; }
    int Selected() const { return selected_; }

    void Open();
    void Close();
    void Left();
    void Right();
    void Set();
    // One step of the display contrast, 1..9 and round again.
    void StepContrast();

    bool Beep() const { return beep_; }
    int Contrast() const { return contrast_; }
    int CatBaud() const;
    int TxDelayMs() const { return txDelayMs_; }
    bool Fahrenheit() const { return fahrenheit_; }

    // The whole screen: a box with the title in its top edge, one item a row.
    void Render(ScreenBuffer& screen) const;

private:
    void Change(int step);
    std::string ValueText(int item) const;

    bool open_ = false;
    bool editing_ = false;
    int selected_ = kBeep;
    bool beep_ = true;
    int contrast_ = 5;
    int baudIndex_ = 1;
    int txDelayMs_ = 20;
    bool fahrenheit_ = false;
};

} // namespace sim
