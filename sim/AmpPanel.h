#pragma once
// The front panel of the simulated amplifier: what its keys do, what its
// 40 x 8 display shows and which lamps are lit.
//
// The model: two inputs, four antenna ports (port 4 has no antenna, so a tune
// there ends in the SWR alarm), eleven bands with five segments each, an
// output network with an inductor L (0.10..25.00 uH) and a capacitor C
// (10..1500 pF) tuned by hand or by the automatic TUNE cycle, and a stored
// L/C memory per band, segment and antenna. Three display pages (meters,
// supply meters, information) and the settings menu.

#include "sim/ScreenBuffer.h"
#include "sim/SettingsMenu.h"

#include <cstdint>
#include <map>
#include <string>

namespace sim {

// Key codes of the amplifier's front panel (latch-modified codes included).
enum KeyCode : std::uint8_t {
    kKeyInput = 1,
    kKeyBandMinus = 2,
    kKeyBandPlus = 3,
    kKeyAnt = 4,
    kKeyLMinus = 5,
    kKeyLPlus = 6,
    kKeyCMinus = 7,
    kKeyCPlus = 8,
    kKeyTune = 9,
    kKeyOff = 10,
    kKeyPower = 11,
    kKeyDisplay = 12,
    kKeyOperate = 13,
    kKeyCat = 14,
    kKeyLeft = 15,
    kKeyRight = 16,
    kKeySet = 17,
    kKeyTuneStore = 18,    // TUNE with the OPERATE latch: store L and C
    kKeyInputAuto = 19,    // INPUT with the DISPLAY latch: automatic input selection
    kKeyContrast = 21,     // C + with the DISPLAY latch: display contrast
    kKeyCMinusCoarse = 24, // POWER latch: steps of 50 pF / 0.50 uH
    kKeyCPlusCoarse = 25,
    kKeyCMinusFine = 26, // CAT latch: steps of 1 pF / 0.01 uH
    kKeyCPlusFine = 27,
    kKeyLMinusCoarse = 28,
    kKeyLPlusCoarse = 29,
    kKeyLMinusFine = 30,
    kKeyLPlusFine = 31,
};

class AmpPanel {
public:
    static constexpr std::int64_t kTuneMs = 1500;
    static constexpr int kBandCount = 11;

    AmpPanel();

    // Fresh state after switching on (settings, memories and firmware stay).
    void PowerOn(std::int64_t nowMs);
    // A front-panel key code; unknown codes do nothing.
    void Key(std::uint8_t code, std::int64_t nowMs);
    // Advances the tune cycle to the given time.
    void Tick(std::int64_t nowMs);

    // Lamp byte as the display frame carries it (0 bit = lit; ON always lit).
    std::uint8_t Lamps() const;
    void Render(ScreenBuffer& screen) const;

    // State, for tests and the update screen.
    bool Operate() const { return operate_; }
    bool Tuning() const { return tuning_; }
    bool Alarm() const { return alarm_; }
    int Page() const { return page_; }
    int Input() const { return input_; }
    int Antenna() const { return antenna_; }
    int Band() const { return band_; }
    int Segment() const { return segment_; }
    int InductanceCentiMicroHenry() const { return l_; }
    int CapacitancePicoFarad() const { return c_; }
    const SettingsMenu& Menu() const { return menu_; }
    int FirmwareVersion() const { return firmware_; }
    void SetFirmwareVersion(int version) { firmware_ = version; }

private:
    struct Network {
        int l = 0;
        int c = 0;
    };

    int MemoryKey() const;
    Network Optimum() const;
    Network Stored() const;
    void LoadMemory();
    void StepL(int step);
    void StepC(int step);
    void StartTune(std::int64_t nowMs);
    void FinishTune();
    Network Current() const; // L and C, moving while a tune runs
    double Swr(Network at) const;
    int ForwardPowerW() const;

    void RenderHeader(ScreenBuffer& screen) const;
    void RenderMeters(ScreenBuffer& screen) const;
    void RenderSupply(ScreenBuffer& screen) const;
    void RenderInfo(ScreenBuffer& screen) const;
    void RenderStatusLine(ScreenBuffer& screen) const;

    SettingsMenu menu_;
    std::map<int, Network> memories_;
    std::int64_t nowMs_ = 0;
    int input_ = 1;
    bool inputAuto_ = false;
    int antenna_ = 1;
    int band_ = 5; // 20 m
    int segment_ = 3;
    int l_ = 0;
    int c_ = 0;
    int powerLevel_ = 2;
    int page_ = 0;
    bool operate_ = false;
    bool cat_ = false;
    bool tuning_ = false;
    std::int64_t tuneStartMs_ = 0;
    Network tuneFrom_;
    bool alarm_ = false;
    std::string message_;
    int firmware_ = 207;
};

} // namespace sim
