#include "sim/AmpPanel.h"

#include "sim/SimAmplifier.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sim {

namespace {

struct BandInfo {
    const char* name;
    int l; // optimum inductance on antenna 1, segment 3, in 0.01 uH
    int c; // optimum capacitance in pF
};

constexpr std::array<BandInfo, AmpPanel::kBandCount> kBands = {{
    {"160m", 1200, 900},
    {"80m", 620, 470},
    {"60m", 410, 330},
    {"40m", 310, 240},
    {"30m", 215, 170},
    {"20m", 155, 120},
    {"17m", 120, 95},
    {"15m", 105, 80},
    {"12m", 88, 68},
    {"10m", 78, 60},
    {"6m", 45, 35},
}};

// How each antenna port moves the optimum; port 4 has no antenna.
constexpr std::array<double, 4> kAntennaL = {1.0, 1.15, 0.85, 1.0};
constexpr std::array<double, 4> kAntennaC = {1.0, 0.9, 1.1, 1.0};
constexpr int kOpenAntenna = 4;

constexpr std::array<const char*, 3> kPowerLevels = {"LOW", "MID", "HIGH"};
constexpr int kPageCount = 3;

constexpr int kLMin = 10, kLMax = 2500;
constexpr int kCMin = 10, kCMax = 1500;

// Bar graphs: 30 cells from column 4, so 28 segments or 56 half segments; a
// tall tick closes every fifth segment, so full scale is 28 / 5 tick steps.
constexpr int kBarCol = 4;
constexpr int kBarCells = 30;
constexpr int kBarHalves = 2 * (kBarCells - 2);
constexpr int kValueEndCol = 39;

int Halves(double value, double full)
{
    return static_cast<int>(std::lround(std::clamp(value / full, 0.0, 1.0) * kBarHalves));
}

// Labels under the tall ticks: one every five segments.
void Scale(ScreenBuffer& screen, int row, int stepValue)
{
    for (int i = 1; i <= 5; ++i) {
        const std::string label = Format("%d", i * stepValue);
        const int tickCol = kBarCol + 5 * i;
        screen.Put(tickCol - static_cast<int>(label.size()) / 2, row, label);
    }
}

} // namespace

AmpPanel::AmpPanel()
{
    LoadMemory();
}

void AmpPanel::PowerOn(std::int64_t nowMs)
{
    nowMs_ = nowMs;
    menu_.Close();
    operate_ = false;
    tuning_ = false;
    alarm_ = false;
    page_ = 0;
    message_.clear();
    LoadMemory();
}

int AmpPanel::MemoryKey() const
{
    return (band_ * 8 + segment_) * 8 + antenna_;
}

AmpPanel::Network AmpPanel::Optimum() const
{
    const BandInfo& band = kBands[static_cast<std::size_t>(band_)];
    const double shift = (segment_ - 3) * 0.03;
    const auto port = static_cast<std::size_t>(antenna_ - 1);
    Network t;
    t.l = static_cast<int>(std::lround(band.l * (1.0 - shift) * kAntennaL[port]));
    t.c = static_cast<int>(std::lround(band.c * (1.0 - shift) * kAntennaC[port]));
    return t;
}

AmpPanel::Network AmpPanel::Stored() const
{
    const auto it = memories_.find(MemoryKey());
    return it != memories_.end() ? it->second : Optimum();
}

void AmpPanel::LoadMemory()
{
    const Network t = Stored();
    l_ = t.l;
    c_ = t.c;
}

void AmpPanel::StepL(int step)
{
    l_ = std::clamp(l_ + step, kLMin, kLMax);
}

void AmpPanel::StepC(int step)
{
    c_ = std::clamp(c_ + step, kCMin, kCMax);
}

void AmpPanel::Key(std::uint8_t code, std::int64_t nowMs)
{
    Tick(nowMs);
    alarm_ = false; // any key acknowledges the alarm
    message_.clear();
    if (tuning_) {
        tuning_ = false;
        const Network at = Current();
        l_ = at.l;
        c_ = at.c;
        message_ = "TUNE ABORTED";
        if (code == kKeyTune)
            return;
    }
    const bool menuKey = code == kKeyLeft || code == kKeyRight || code == kKeySet || code == kKeyContrast;
    if (menu_.IsOpen() && !menuKey)
        menu_.Close();

    switch (code) {
    case kKeyInput:
        input_ = 3 - input_;
        break;
    case kKeyInputAuto:
        inputAuto_ = !inputAuto_;
        message_ = inputAuto_ ? "AUTOMATIC INPUT ON" : "AUTOMATIC INPUT OFF";
        break;
    case kKeyAnt:
        antenna_ = antenna_ % 4 + 1;
        LoadMemory();
        break;
    case kKeyBandMinus:
    case kKeyBandPlus:
        band_ = std::clamp(band_ + (code == kKeyBandPlus ? 1 : -1), 0, kBandCount - 1);
        LoadMemory();
        break;
    case kKeyLMinus:
        StepL(-5);
        break;
    case kKeyLPlus:
        StepL(5);
        break;
    case kKeyLMinusCoarse:
        StepL(-50);
        break;
    case kKeyLPlusCoarse:
        StepL(50);
        break;
    case kKeyLMinusFine:
        StepL(-1);
        break;
    case kKeyLPlusFine:
        StepL(1);
        break;
    case kKeyCMinus:
        StepC(-5);
        break;
    case kKeyCPlus:
        StepC(5);
        break;
    case kKeyCMinusCoarse:
        StepC(-50);
        break;
    case kKeyCPlusCoarse:
        StepC(50);
        break;
    case kKeyCMinusFine:
        StepC(-1);
        break;
    case kKeyCPlusFine:
        StepC(1);
        break;
    case kKeyContrast:
        menu_.StepContrast();
        message_ = Format("CONTRAST %d", menu_.Contrast());
        break;
    case kKeyTune:
        StartTune(nowMs);
        break;
    case kKeyTuneStore:
        memories_[MemoryKey()] = Network{l_, c_};
        message_ = Format("L/C STORED FOR %s SEGMENT %d", kBands[static_cast<std::size_t>(band_)].name, segment_);
        break;
    case kKeyPower:
        powerLevel_ = (powerLevel_ + 1) % static_cast<int>(kPowerLevels.size());
        break;
    case kKeyDisplay:
        page_ = (page_ + 1) % kPageCount;
        break;
    case kKeyOperate:
        operate_ = !operate_;
        break;
    case kKeyCat:
        cat_ = !cat_;
        break;
    case kKeyLeft:
    case kKeyRight:
        if (menu_.IsOpen()) {
            code == kKeyLeft ? menu_.Left() : menu_.Right();
        } else {
            segment_ = std::clamp(segment_ + (code == kKeyRight ? 1 : -1), 1, 5);
            LoadMemory();
        }
        break;
    case kKeySet:
        if (menu_.IsOpen())
            menu_.Set();
        else
            menu_.Open();
        break;
    default:
        break;
    }
}

void AmpPanel::StartTune(std::int64_t nowMs)
{
    tuning_ = true;
    tuneStartMs_ = nowMs;
    tuneFrom_ = Network{l_, c_};
}

void AmpPanel::Tick(std::int64_t nowMs)
{
    nowMs_ = std::max(nowMs_, nowMs);
    if (tuning_ && nowMs_ - tuneStartMs_ >= kTuneMs)
        FinishTune();
}

void AmpPanel::FinishTune()
{
    tuning_ = false;
    if (antenna_ == kOpenAntenna) {
        alarm_ = true;
        operate_ = false;
        message_ = "ALARM: HIGH SWR - CHECK ANTENNA";
        return;
    }
    const Network best = Optimum();
    l_ = best.l;
    c_ = best.c;
    memories_[MemoryKey()] = best;
    message_ = "TUNED AND STORED";
}

AmpPanel::Network AmpPanel::Current() const
{
    if (!tuning_)
        return Network{l_, c_};
    const Network to = antenna_ == kOpenAntenna ? Network{kLMax, kCMin} : Optimum();
    const double p = std::clamp(static_cast<double>(nowMs_ - tuneStartMs_) / kTuneMs, 0.0, 1.0);
    Network at;
    at.l = static_cast<int>(std::lround(tuneFrom_.l + (to.l - tuneFrom_.l) * p));
    at.c = static_cast<int>(std::lround(tuneFrom_.c + (to.c - tuneFrom_.c) * p));
    return at;
}

double AmpPanel::Swr(Network at) const
{
    if (antenna_ == kOpenAntenna)
        return 9.99;
    const Network best = Optimum();
    const double mismatch =
        std::abs(at.l - best.l) / static_cast<double>(best.l) + std::abs(at.c - best.c) / static_cast<double>(best.c);
    return std::min(1.0 + 4.0 * mismatch, 9.99);
}

int AmpPanel::ForwardPowerW() const
{
    // The tune carrier: full tune power through the amplifier when operating,
    // the transceiver's drive alone in standby.
    if (!tuning_)
        return 0;
    return operate_ ? 100 : 20;
}

std::uint8_t AmpPanel::Lamps() const
{
    std::uint8_t lamps = 0xFF & ~kLampOn;
    if (operate_)
        lamps &= static_cast<std::uint8_t>(~kLampOperate);
    if (tuning_) {
        lamps &= static_cast<std::uint8_t>(~kLampTune);
        if (operate_)
            lamps &= static_cast<std::uint8_t>(~kLampTx);
    }
    if (menu_.IsOpen())
        lamps &= static_cast<std::uint8_t>(~kLampSet);
    if (alarm_)
        lamps &= static_cast<std::uint8_t>(~kLampAlarm);
    return lamps;
}

void AmpPanel::Render(ScreenBuffer& screen) const
{
    screen.Clear();
    if (menu_.IsOpen()) {
        menu_.Render(screen);
        return;
    }
    switch (page_) {
    case 1:
        RenderHeader(screen);
        RenderSupply(screen);
        RenderStatusLine(screen);
        break;
    case 2:
        RenderInfo(screen);
        break;
    default:
        RenderHeader(screen);
        RenderMeters(screen);
        RenderStatusLine(screen);
        break;
    }
}

void AmpPanel::RenderHeader(ScreenBuffer& screen) const
{
    screen.Put(0, 0, "AVELKOR Q9-MX");
    const char* state = tuning_ ? "TUNING" : operate_ ? "OPERATE" : "STANDBY";
    const std::string word = Format("%s", state);
    screen.PutRight(kValueEndCol, 0, word);
    if (operate_)
        screen.Invert(0, kValueEndCol + 1 - static_cast<int>(word.size()), kValueEndCol);

    screen.Put(0, 1,
               Format("IN %d%c  ANT %d  %-4s  SEG %d  PWR %s", input_, inputAuto_ ? 'A' : ' ', antenna_,
                      kBands[static_cast<std::size_t>(band_)].name, segment_,
                      kPowerLevels[static_cast<std::size_t>(powerLevel_)]));
    const Network at = Current();
    screen.Put(0, 2, Format("L %5.2f%cH  C %4dpF", at.l / 100.0, static_cast<char>(glyph::kMicro), at.c));
    const Network stored = Stored();
    if (!tuning_ && at.l == stored.l && at.c == stored.c)
        screen.PutRight(kValueEndCol, 2, "MEMORY");
}

void AmpPanel::RenderMeters(ScreenBuffer& screen) const
{
    if (tuning_)
        screen.PutCentered(3, "AUTOMATIC TUNE IN PROGRESS");
    const int power = ForwardPowerW();
    screen.Put(0, 4, "PWR");
    screen.Bar(kBarCol, 4, kBarCells, Halves(power, 1400.0));
    screen.PutRight(kValueEndCol, 4, Format("%dW", power));
    screen.Put(0, 5, "SWR");
    if (power > 0) {
        const double swr = Swr(Current());
        screen.Bar(kBarCol, 5, kBarCells, Halves(swr - 1.0, 2.0));
        screen.PutRight(kValueEndCol, 5, Format("%.2f", swr));
    } else {
        screen.Bar(kBarCol, 5, kBarCells, 0);
        screen.PutRight(kValueEndCol, 5, "---");
    }
    Scale(screen, 6, 250);
}

void AmpPanel::RenderSupply(ScreenBuffer& screen) const
{
    const bool loaded = tuning_ && operate_;
    const double volts = loaded ? 49.2 : 50.0;
    const double amps = loaded ? 8.5 : 0.0;
    const int celsius = operate_ ? 38 : 35;
    const int shown = menu_.Fahrenheit() ? celsius * 9 / 5 + 32 : celsius;
    const char unit = menu_.Fahrenheit() ? 'F' : 'C';
    screen.Put(0, 3, Format("HV %.1fV", volts));
    screen.Put(0, 4, "TMP");
    screen.Bar(kBarCol, 4, kBarCells, Halves(celsius - 20.0, 100.0));
    screen.PutRight(kValueEndCol, 4, Format("%d%c%c", shown, static_cast<char>(glyph::kDegree), unit));
    // Drain current with the scale under it: 10 A a tall tick, 56 A full.
    screen.Put(0, 5, "ID");
    screen.Bar(kBarCol, 5, kBarCells, Halves(amps, 56.0));
    screen.PutRight(kValueEndCol, 5, Format("%.1fA", amps));
    Scale(screen, 6, 10);
}

void AmpPanel::RenderInfo(ScreenBuffer& screen) const
{
    screen.Box();
    screen.PutCentered(0, " INFORMATION ");
    screen.Put(2, 1, "FIRMWARE VERSION");
    screen.PutRight(37, 1, Format("%d.%02d", firmware_ / 100, firmware_ % 100));
    screen.Put(2, 2, "OPERATING HOURS");
    screen.PutRight(37, 2, "1234");
    screen.Put(2, 3, "CAT INTERFACE");
    screen.PutRight(37, 3, cat_ ? Format("%d BAUD", menu_.CatBaud()) : std::string("OFF"));
    screen.Put(2, 4, "TX DELAY");
    screen.PutRight(37, 4, Format("%d MS", menu_.TxDelayMs()));
    screen.Put(2, 5, "BEEP");
    screen.PutRight(37, 5, menu_.Beep() ? "ON" : "OFF");
    screen.Put(2, 6, "SELF TEST");
    screen.PutCode(37, 6, glyph::kTick);
}

void AmpPanel::RenderStatusLine(ScreenBuffer& screen) const
{
    if (!message_.empty()) {
        screen.Put(0, 7, message_);
        return;
    }
    screen.Put(0, 7, cat_ ? Format("CAT %d", menu_.CatBaud()) : std::string("CAT OFF"));
    screen.PutRight(kValueEndCol, 7, Format("CONTRAST %d", menu_.Contrast()));
}

} // namespace sim
