#pragma once
// The full keypad window: the amplifier's front panel with one button per
// front-panel key action of the display window, six status lamps, and the
// four latching buttons POWER, CAT, DISPLAY and OPERATE whose held state
// changes the codes some keys send. The mouse wheel steps the four
// minus/plus pairs; the keyboard draws the matching button sunk while a key
// is down. Created once at start; hidden, never destroyed, and even while
// hidden it keeps its latches and takes the key events the display window
// passes on.

#include "LampPanel.h"

#include <QWidget>

#include <array>
#include <cstdint>

class BevelPanel;
class Lamp;
class SpeedButton;
class TForm1;

class TKeyForm : public QWidget, public LampPanel {
    Q_OBJECT

public:
    explicit TKeyForm(TForm1& form);

    // The down flags of the latching buttons.
    struct Latches {
        bool power = false;
        bool cat = false;
        bool display = false;
        bool operate = false;
    };
    Latches LatchStates() const;
    // Ends the DISPLAY or OPERATE latch: down := false, then group := 0.
    static void ReleaseLatch(SpeedButton& button);

    // Lights the lamps by the 1 bits of `lampStates`; 0 darkens them all.
    void SetLamps(std::uint8_t lampStates) override;

    // Key tables, for this window's own key events and those the display
    // window passes on. Only Ctrl of the modifiers is looked at.
    void FormKeyDown(int vk, Qt::KeyboardModifiers modifiers);
    void FormKeyUp(int vk, Qt::KeyboardModifiers modifiers);
    // A character typed while this window has the focus: clicks the enabled
    // button whose caption has it as accelerator. True when one was clicked.
    bool DialogChar(QChar ch);

    // The mouse-up handlers of the latching buttons.
    void sb_PowerMouseUp(Qt::MouseButton button);
    void sb_CATMouseUp(Qt::MouseButton button);
    void sb_DisplayMouseUp(Qt::MouseButton button);
    void sb_OperateMouseUp(Qt::MouseButton button);

    // The hovered control: the window, a panel or a pair button the mouse last
    // moved over; nullptr until the mouse has moved over one.
    void FormMouseMove(QObject* sender);
    QObject* HoveredControl() const { return hovered_; }
    void FormMouseWheelDown(); // one notch towards the user: the pair's plus member
    void FormMouseWheelUp();   // one notch away from the user: the pair's minus member

    void FormCreate();
    void FormClose();

    // Controls, in their declared order.
    BevelPanel* pnlLeft = nullptr;
    SpeedButton* sb_LMinus = nullptr;
    SpeedButton* sb_LPlus = nullptr;
    SpeedButton* sb_CMinus = nullptr;
    SpeedButton* sb_CPlus = nullptr;
    SpeedButton* sb_Tune = nullptr;
    SpeedButton* sb_Input = nullptr;
    SpeedButton* sb_BandMinus = nullptr;
    SpeedButton* sb_BandPlus = nullptr;
    SpeedButton* sb_Antenna = nullptr;
    Lamp* stALARM = nullptr;
    Lamp* stTUNE = nullptr;
    Lamp* stSET = nullptr;
    BevelPanel* pnlRight = nullptr;
    Lamp* stTX = nullptr;
    Lamp* stOP = nullptr;
    Lamp* stON = nullptr;
    SpeedButton* sb_Display = nullptr;
    SpeedButton* sb_Left = nullptr;
    SpeedButton* sb_Right = nullptr;
    SpeedButton* sb_ON = nullptr;
    SpeedButton* sb_Power = nullptr;
    SpeedButton* sb_CAT = nullptr;
    SpeedButton* sb_Operate = nullptr;
    SpeedButton* sb_Set = nullptr;
    SpeedButton* sb_OFF = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void LatchMouseUp(SpeedButton& button, Qt::MouseButton mouseButton);
    // The pair (minus, plus) the hovered control belongs to, or nullptrs.
    std::array<SpeedButton*, 2> HoveredPair() const;

    TForm1& form_;
    QObject* hovered_ = nullptr;
    int wheelAccumulator_ = 0;
};
