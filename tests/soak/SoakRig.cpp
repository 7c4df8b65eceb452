#include "SoakRig.h"

#include "display/FrameDrawing.h"
#include "toolkit/Lamp.h"
#include "toolkit/TThread.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstring>

namespace {

constexpr int kSettleRealMs = 30000;
constexpr int kPumpRealMs = 60000;
constexpr std::int64_t kPollCycleMs = 80;
// A tune cycle lasts 1.5 s; the mirror gets twice that and more to catch up.
constexpr int kMirrorRounds = 40;
constexpr ULONG kNormalTimeoutMs = 1200;

sim::SimOptions SoakSimOptions(InstantClock& clock)
{
    sim::SimOptions options;
    options.clock = &clock;
    options.recordCalls = false; // a day of polling must not pile up a call log
    return options;
}

} // namespace

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

SoakRig::SoakRig()
    : sim(SoakSimOptions(clock)), tap(sim), form(&tap, true), keyForm(form), waitForm(&form), helpDlg(&form),
      dlgPreferences(&tap, &form), jKeypad(form)
{
    SetAppClock(&clock);
    Form1 = &form;
    form.SetWindows(&keyForm, &jKeypad, &waitForm, &helpDlg, &dlgPreferences);
    boxes.answerYes = true; // "switch the linear off?" - yes
    form.show();
}

SoakRig::~SoakRig()
{
    form.StopPolling();
    PumpUntil([] { return TThread::Running() == 0; }, kSettleRealMs);
    // Threads that ended are released through the event loop.
    PumpReal(20);
    Form1 = nullptr;
    SetAppClock(nullptr);
}

bool SoakRig::PumpUntil(const std::function<bool()>& done, int realMs)
{
    QElapsedTimer timer;
    timer.start();
    // Wakes the loop when no thread posts anything.
    QTimer tick;
    tick.start(2);
    while (!done()) {
        if (timer.elapsed() > realMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool SoakRig::PumpSim(std::int64_t ms)
{
    const std::int64_t until = clock.NowMs() + ms;
    return PumpUntil([&] { return clock.NowMs() >= until; }, kPumpRealMs);
}

void SoakRig::PumpReal(int realMs)
{
    PumpUntil([] { return false; }, realMs);
}

bool SoakRig::WaitPollParked()
{
    constexpr int kStillForMs = 100;
    std::int64_t lastClock = clock.NowMs();
    std::uint64_t lastQueries = tap.Queries();
    QElapsedTimer still;
    still.start();
    return PumpUntil(
        [&] {
            if (clock.NowMs() != lastClock || tap.Queries() != lastQueries) {
                lastClock = clock.NowMs();
                lastQueries = tap.Queries();
                still.restart();
            }
            return still.elapsed() >= kStillForMs;
        },
        kSettleRealMs);
}

std::string SoakRig::Settle(Link expected)
{
    auto state = [this]() -> int {
        if (form.OnLine && form.PollThread && !form.UpdateRunning && form.actClose->isEnabled())
            return 1;
        if (!form.OnLine && !form.PollThread && form.actOpen->isEnabled() && !waitForm.Showing())
            return 2;
        return 0;
    };
    if (!PumpUntil([&] { return state() != 0; }, kSettleRealMs))
        return "no settled state within " + std::to_string(kSettleRealMs / 1000) + " s (on-line flag " +
               std::to_string(form.OnLine.load()) + ", poll thread " + (form.PollThread ? "yes" : "no") +
               ", update running " + std::to_string(form.UpdateRunning.load()) + ")";
    const int reached = state();
    if (expected == Link::OnLine && reached != 1)
        return "expected on-line, found off-line";
    if (expected == Link::OffLine && reached != 2)
        return "expected off-line, found on-line";
    // Jobs and poll threads that were told to end do end: on-line leaves the
    // poll thread alone, off-line none at all.
    const int threads = reached == 1 ? 1 : 0;
    if (!PumpUntil([&] { return TThread::Running() == threads; }, kSettleRealMs))
        return std::to_string(TThread::Running()) + " threads still running " + (reached == 1 ? "on-line" : "off-line");
    return {};
}

std::string SoakRig::CheckOnline() const
{
    if (!form.OnLine || !form.PollThread)
        return "on-line without its poll thread";
    if (!form.actClose->isEnabled() || form.actOpen->isEnabled() || form.actConfigureConnection->isEnabled())
        return "on-line, but Connect/Disconnect/Configure are " + std::to_string(form.actOpen->isEnabled()) + "/" +
               std::to_string(form.actClose->isEnabled()) + "/" +
               std::to_string(form.actConfigureConnection->isEnabled());
    if (!form.actExit->isEnabled() || !form.actKeypad->isEnabled())
        return "on-line, but Exit or the keypad switch stayed disabled";
    if (waitForm.isVisible())
        return "on-line with the progress window still shown";
    for (QAction* action : form.KeyActions())
        if (action->isEnabled() != keysExpected)
            return action->objectName().toStdString() + (keysExpected ? " disabled" : " enabled") + " while on-line";
    // The link as the configuration (or an update's clean-up) leaves it.
    if (!sim.IsOpen())
        return "on-line with the device closed";
    if (!sim.Dtr() || sim.Rts())
        return "on-line with DTR/RTS at " + std::to_string(sim.Dtr()) + "/" + std::to_string(sim.Rts()) +
               " instead of set/clear";
    if (sim.ReadTimeoutMs() != kNormalTimeoutMs || sim.WriteTimeoutMs() != kNormalTimeoutMs)
        return "on-line with time-outs of " + std::to_string(sim.ReadTimeoutMs()) + "/" +
               std::to_string(sim.WriteTimeoutMs()) + " ms";
    const QString status = form.StatusPanelText(0);
    const QString wanted = form.actFreeze->isChecked() ? "STILL IMAGE" : "ON-LINE";
    if (status != wanted)
        return "status panel shows \"" + status.toStdString() + "\" instead of \"" + wanted.toStdString() + "\"";
    return {};
}

std::string SoakRig::CheckOffline() const
{
    if (form.OnLine || form.PollThread)
        return "off-line with a poll thread or the on-line flag";
    if (!form.actOpen->isEnabled() || !form.actConfigureConnection->isEnabled() || form.actClose->isEnabled())
        return "off-line, but Connect/Disconnect/Configure are " + std::to_string(form.actOpen->isEnabled()) + "/" +
               std::to_string(form.actClose->isEnabled()) + "/" +
               std::to_string(form.actConfigureConnection->isEnabled());
    if (form.actLoadUpdate->isEnabled() || form.actFreeze->isEnabled())
        return "off-line with the update or freeze action enabled";
    for (QAction* action : form.KeyActions())
        if (action->isEnabled())
            return action->objectName().toStdString() + " enabled while off-line";
    if (waitForm.isVisible())
        return "off-line with the progress window still shown";
    if (sim.IsOpen())
        return "off-line with the device still open";
    if (const std::string lamps = CheckLamps(0); !lamps.empty())
        return "off-line: " + lamps;
    for (int y = 0; y < display::Raster::kHeight; ++y)
        for (int x = 0; x < display::Raster::kWidth; ++x)
            if (form.raster.PixelColour(x, y) != TForm1::kOfflineBackground)
                return "off-line raster is not plain off-line background at (" + std::to_string(x) + ", " +
                       std::to_string(y) + ")";
    if (form.StatusPanelText(0) != "OFF-LINE")
        return "status panel shows \"" + form.StatusPanelText(0).toStdString() + "\" while off-line";
    return {};
}

std::string SoakRig::CheckLamps(std::uint8_t states) const
{
    using namespace lampcolour;
    struct Expect {
        const char* name;
        const Lamp* lamp;
        QRgb colour;
    };
    const bool tx = (states & 0x18) == 0x18;
    const Expect expected[] = {
        {"full AL", keyForm.stALARM, (states & 0x80) ? Red : Maroon},
        {"full TUNE", keyForm.stTUNE, (states & 0x40) ? Yellow : Olive},
        {"full SET", keyForm.stSET, (states & 0x20) ? Lime : Green},
        {"full OP", keyForm.stOP, (states & 0x10) ? Yellow : Olive},
        {"full TX", keyForm.stTX, tx ? Red : Maroon},
        {"full ON", keyForm.stON, (states & 0x01) ? Lime : Green},
        {"basic AL", jKeypad.stALARM, (states & 0x80) ? Red : Maroon},
        {"basic TUNE", jKeypad.stTUNE, (states & 0x40) ? Yellow : Olive},
        {"basic OP", jKeypad.stOP, tx ? Red : ((states & 0x10) ? Yellow : Olive)},
        {"basic ON", jKeypad.stON, (states & 0x01) ? Lime : Green},
    };
    for (const Expect& e : expected)
        if (e.lamp->Color().rgb() != e.colour)
            return std::string(e.name) + " lamp wrong for lamp states " + Hex(states);
    return {};
}

std::string SoakRig::CheckRaster(const AmpView& amp) const
{
    display::Raster wanted;
    wanted.SetColours(TForm1::kOnlineBackground, TForm1::kForeground);
    wanted.Clear();
    if (amp.powered)
        display::DrawDisplayFrame(wanted, amp.payload.data());
    for (int y = 0; y < display::Raster::kHeight; ++y)
        if (std::memcmp(wanted.ScanLine(y), form.raster.ScanLine(y), display::Raster::kBytesPerRow) != 0)
            return std::string(amp.powered ? "display differs from the amplifier's screen" : "display not blank") +
                   " from raster row " + std::to_string(y);
    return {};
}

std::string SoakRig::CheckMirror()
{
    std::string problem;
    for (int round = 0; round < kMirrorRounds; ++round) {
        if (!PumpSim(3 * kPollCycleMs))
            return "the poll thread stopped moving the clock";
        const AmpView amp = Amp();
        const std::uint8_t states = amp.powered ? static_cast<std::uint8_t>(~amp.lampByte) : 0;
        const bool offered = amp.powered && (amp.lampByte & 0xF9) == 0xF8;
        problem = CheckRaster(amp);
        if (problem.empty())
            problem = CheckLamps(states);
        if (problem.empty() && form.actLoadUpdate->isEnabled() != offered)
            problem = std::string("firmware update ") + (offered ? "not offered" : "offered") + " with lamp byte " +
                      Hex(amp.lampByte);
        if (problem.empty())
            return {};
    }
    return problem;
}

void SoakRig::StandardView()
{
    form.actPreset[2]->trigger();
    PumpSim(4 * kPollCycleMs);
}

AmpView SoakRig::Amp()
{
    return WithAmp([](sim::SimAmplifier& amp) {
        AmpView view;
        view.powered = amp.PoweredOn();
        view.lampByte = amp.LampByte();
        view.payload = amp.Payload();
        view.updateMode = amp.UpdateMode();
        return view;
    });
}

std::vector<std::uint8_t> SoakRig::TakeKeyCodes()
{
    return WithAmp([](sim::SimAmplifier& amp) {
        std::vector<std::uint8_t> codes = amp.KeyCodes();
        amp.ClearKeyCodes();
        return codes;
    });
}
