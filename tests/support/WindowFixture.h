#pragma once
// The program's six windows wired to the simulated amplifier on an instant
// clock, created in the entry's order, with a settings file of their own and
// message boxes that record instead of showing. Tests of the display window,
// the poll engine and the connection lifecycle drive the real actions and read
// back what the windows show and what the amplifier received.
//
// Between the windows and the simulated amplifier sits a forwarding driver
// (FrontDriver) that counts the queries and can answer one with bytes of the
// test's own, or throw from a chosen operation.
//
// Use it as a member of a gtest fixture (or on the stack): construct, adjust
// the simulator or the settings file, CreateWindows(); everything is taken
// down by the destructor, polling and worker threads first.

#include "Keyboard.h"
#include "LampPanel.h"
#include "Mainform.h"
#include "Opkeypad.h"
#include "Wait.h"
#include "app/AboutBox.h"
#include "dialogs/TdlgPreferences.h"
#include "link/FtdiDriver.h"
#include "support/ForwardingDriver.h"
#include "sim/SimDriver.h"
#include "support/FakeBoxes.h"
#include "toolkit/Clock.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace windowtest {

using Bytes = std::vector<std::uint8_t>;

// A display frame with the given lamp byte and payload, built from the wire
// layout: AA AA AA, L, ~L, type 1, lamp, payload, 16-bit sum (little-endian).
Bytes DisplayFrame(std::uint8_t lamp, const Bytes& payload);

// Forwards every call to the simulated amplifier's driver.
class FrontDriver final : public ForwardingDriver {
public:
    explicit FrontDriver(sim::SimDriver& sim) : ForwardingDriver(sim), sim_(sim) {}

    // Query frames written so far (55 55 55 01 80 80).
    int Queries() const;
    // The next query is not passed on: its answer is `bytes`, then reads go
    // back to the amplifier. Reads still collecting the answer to an earlier
    // query keep getting the amplifier's bytes.
    void AnswerNextQueryWith(Bytes bytes);
    bool ScriptedAnswerPending() const;
    // The next call of `op` runs `thrower`, which throws, instead of reaching the driver.
    void ThrowFrom(const std::string& op, std::function<void()> thrower);
    // From now on the driver explains its failures as a network backend does.
    void Explain(std::string detail, bool finalOpenFailure)
    {
        detail_ = std::make_shared<const std::string>(std::move(detail));
        final_ = finalOpenFailure;
    }
    std::string ErrorDetail() const override { return *detail_.load(); }
    bool OpenFailureIsFinal() const override { return final_; }

    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) override;

private:
    // Runs the armed thrower when `op` is its operation.
    void OnCall(const char* op) override;

    sim::SimDriver& sim_;
    mutable std::mutex mutex_;
    int queries_ = 0;
    bool armed_ = false;  // the next query gets the scripted answer
    Bytes armedAnswer_;   // that answer, until the query has been written
    Bytes answer_;        // scripted bytes the reads hand out, not read yet
    std::string throwOp_; // operation that throws next, or empty
    std::function<void()> thrower_;
    std::atomic<std::shared_ptr<const std::string>> detail_{std::make_shared<const std::string>()};
    std::atomic<bool> final_{false};
};

// Sees every set-lamps call of the display window. The frame handler sets the
// lamps while the frame-ready flag is still up; the silent-amplifier handling
// and Disconnect set them with the flag down. So the calls tell frames drawn
// from darkened lamps. Main thread only.
class LampProbe final : public LampPanel {
public:
    explicit LampProbe(const TForm1& form) : form_(form) {}
    void SetLamps(std::uint8_t lampStates) override;

    int framesDrawn = 0;
    int darkened = 0;                // calls outside the frame handler
    std::uint8_t lastFrameLamps = 0; // lamp states of the last frame drawn

private:
    const TForm1& form_;
};

class WindowFixture {
public:
    // `options.clock` is replaced by the fixture's instant clock.
    explicit WindowFixture(sim::SimOptions options = {});
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    // The six windows in the entry's order (display window, full keypad,
    // progress window, About box, connection dialog, basic keypad), then the
    // display window shown. The display window reads the settings file.
    void CreateWindows();
    // Waits for the connect, power-on and poll threads to end (stopping
    // polling), closes the display window the way the user does (the
    // settings are written) and destroys all six windows.
    void CloseWindows();

    // Runs Connect and processes events until the window is on-line with a
    // poll thread, or the connect has failed (Connect enabled again and an
    // error box shown). True when on-line.
    bool Connect();
    // Processes events until `n` more valid frames have been drawn.
    bool WaitFrames(int n);
    // Processes events until the silent-amplifier handling (or another
    // darkening) has run `n` more times.
    bool WaitDarkened(int n);
    // Processes events until the amplifier has been queried `n` more times.
    bool WaitQueries(int n);
    // Processes events (hand-overs included) until `done` or the real-time bound.
    static bool ProcessUntil(const std::function<bool()>& done, int realMs = 20000);
    // Processes events for about `realMs` real milliseconds.
    static void ProcessFor(int realMs);
    // Processes events until no thread of the program runs.
    static bool WaitThreadsEnded(int realMs = 20000);

    // The simulated amplifier, locked for the caller.
    template <typename Fn> auto WithDevice(Fn fn, int index = 0)
    {
        auto lock = sim->Lock();
        return fn(sim->Device(index));
    }

    QString SettingsPath() const { return settingsPath_; }

    InstantClock clock;
    FakeBoxes boxes;
    std::unique_ptr<sim::SimDriver> sim;
    std::unique_ptr<FrontDriver> front;

    TForm1* form = nullptr;
    TKeyForm* keyForm = nullptr;
    TWaitForm* waitForm = nullptr;
    THelpDlg* helpDlg = nullptr;
    TdlgPreferences* dlgPreferences = nullptr;
    TJKeypad* jKeypad = nullptr;
    std::unique_ptr<LampProbe> lamps;

private:
    QTemporaryDir dir_;
    QString settingsPath_;
    QByteArray savedSettingsVariable_;
    bool hadSettingsVariable_ = false;
    std::unique_ptr<TForm1> formOwner_;
    std::unique_ptr<TKeyForm> keyFormOwner_;
    std::unique_ptr<TWaitForm> waitFormOwner_;
    std::unique_ptr<THelpDlg> helpDlgOwner_;
    std::unique_ptr<TdlgPreferences> dlgPreferencesOwner_;
    std::unique_ptr<TJKeypad> jKeypadOwner_;
};

// Reads a cell of the raster as eight row bytes in the font's terms: bit 5
// the leftmost pixel, a bit set where the pixel has the raster's foreground
// colour. `clean` turns false when a pixel has neither colour.
std::vector<std::uint8_t> CellRows(const display::Raster& raster, int column, int row, bool* clean = nullptr);
// The glyph rows of `code` as the font table holds them (bits 0 to 5),
// inverted when `inverse`.
std::vector<std::uint8_t> GlyphRows(std::uint8_t code, bool inverse = false);

} // namespace windowtest
