#pragma once
// The six windows of the program, created in the entry's order, on the
// simulated amplifier and an instant clock; the main thread's event loop run
// in bounded slices; and the checks that the windows are in a state a user
// could be left in.
//
// Every check returns an empty string when it holds, otherwise what is wrong.

#include "Keyboard.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "TapDriver.h"
#include "Wait.h"
#include "app/AboutBox.h"
#include "dialogs/TdlgPreferences.h"
#include "sim/SimDriver.h"
#include "support/FakeBoxes.h"
#include "toolkit/Clock.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the amplifier shows at one moment.
struct AmpView {
    bool powered = false;
    std::uint8_t lampByte = 0xFF;
    std::vector<std::uint8_t> payload;
    bool updateMode = false;
};

class SoakRig {
public:
    SoakRig();
    ~SoakRig();
    SoakRig(const SoakRig&) = delete;
    SoakRig& operator=(const SoakRig&) = delete;

    // Runs the main thread's events until done() holds or `realMs` of real
    // time have passed; false on the time limit.
    bool PumpUntil(const std::function<bool()>& done, int realMs);
    // Runs events while the poll thread moves the clock on by `ms`.
    bool PumpSim(std::int64_t ms);
    // Runs events for `realMs` of real time (for states in which nothing moves the clock).
    void PumpReal(int realMs);
    // After Freeze: runs events until the poll thread has finished the cycle
    // it was in and stands still (neither the clock nor the query count moves
    // for a while). False when it keeps going.
    bool WaitPollParked();

    // Waits until no connect, power-on or update job is under way: on-line
    // with a poll thread, or off-line with Connect available.
    enum class Link { OnLine, OffLine };
    std::string Settle(Link expected);

    // The whole state of an on-line or off-line window, after Settle.
    std::string CheckOnline() const;
    std::string CheckOffline() const;
    // The display, the lamps of both keypads and the update offer follow the
    // amplifier; polled a few cycles at a time until they agree (a tune
    // cycle changes the screen for a while).
    std::string CheckMirror();
    // The display against the amplifier's screen (blank when it is off), and
    // the lamps of both keypads against lamp states (1 bit = lit).
    std::string CheckRaster(const AmpView& amp) const;
    std::string CheckLamps(std::uint8_t states) const;

    // Preset 3, so that memory is compared with windows of the same size.
    void StandardView();

    AmpView Amp();
    template <typename F> auto WithAmp(F&& f)
    {
        auto lock = sim.Lock();
        return f(sim.Device());
    }
    // Key codes the amplifier received since the last call.
    std::vector<std::uint8_t> TakeKeyCodes();

    // Whether the front-panel key actions should be enabled while on-line:
    // a connect enables them, a failed update leaves them disabled.
    bool keysExpected = true;

    InstantClock clock;
    FakeBoxes boxes;
    sim::SimDriver sim;
    TapDriver tap;
    // The windows, in the order the entry creates them.
    TForm1 form;
    TKeyForm keyForm;
    TWaitForm waitForm;
    THelpDlg helpDlg;
    TdlgPreferences dlgPreferences;
    TJKeypad jKeypad;
};

std::string Hex(std::uint32_t value);
