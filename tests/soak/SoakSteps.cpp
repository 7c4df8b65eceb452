#include "SoakSteps.h"

#include "toolkit/SpeedButton.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <array>
#include <utility>

namespace {

constexpr std::int64_t kCycleMs = 80;
constexpr std::int64_t kSilentCycleMs = 1200 + kCycleMs; // a read time-out, then the sleep
constexpr int kWaitRealMs = 20000;
const QString kOffQuestion = "Do you wish to switch the AVELKOR linear off?";
const std::vector<int> kPollReadLocations = {1271, 1285, 1293, 1307, 1318, 1352};
const std::vector<int> kPollLocations = {1255, 1256, 1271, 1285, 1293, 1307, 1318, 1352};

// The location number that ends an FT_Exception message ("...  #[1256]"), or -1.
int LocationOf(const QString& message)
{
    const qsizetype at = message.lastIndexOf("  #[");
    if (at < 0 || !message.endsWith(']'))
        return -1;
    bool ok = false;
    const int location = message.mid(at + 4, message.size() - at - 5).toInt(&ok);
    return ok ? location : -1;
}

std::vector<FakeBoxes::Shown> Errors(const FakeBoxes& boxes)
{
    std::vector<FakeBoxes::Shown> errors;
    for (const FakeBoxes::Shown& shown : boxes.All())
        if (shown.kind == "error")
            errors.push_back(shown);
    return errors;
}

std::string Quote(const QString& text)
{
    return "\"" + text.toStdString() + "\"";
}

} // namespace

SoakSteps::SoakSteps(SoakRig& rig, std::uint64_t seed) : rig_(rig), rng_(seed)
{
    // Packages of one, three and five blocks with tags from all over the range.
    for (int blocks : {1, 3, 5}) {
        Package package;
        for (int i = 0; i < blocks; ++i)
            package.builder.AddPatternBlock(static_cast<std::uint8_t>(Uniform(0, 0xFE)), static_cast<unsigned>(i));
        package.path = package.builder.WriteTo(dir_.File("fw" + std::to_string(blocks) + ".pk1"));
        packages_.push_back(std::move(package));
    }
    badPackage_ = pkgtest::PackageBuilder().Magic(".PK2").AddBlock(0x40, 0x11).WriteTo(dir_.File("bad.pk1"));
    rig_.form.ChoosePackageFile = [this] { return chosen_; };
}

int SoakSteps::Uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng_);
}

bool SoakSteps::Chance(double p)
{
    return std::bernoulli_distribution(p)(rng_);
}

void SoakSteps::Describe(std::string text)
{
    description_ = std::move(text);
}

void SoakSteps::CountFault(const std::string& kind)
{
    ++figures_.faults[kind];
}

std::string SoakSteps::Start()
{
    Describe("start-up connect");
    rig_.form.actOpenExecute();
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    SOAK_TRY(rig_.CheckOnline());
    return Finish();
}

std::string SoakSteps::Step()
{
    using StepFn = std::string (SoakSteps::*)();
    static const std::array<std::pair<StepFn, double>, 15> kSteps = {{
        {&SoakSteps::Idle, 30},
        {&SoakSteps::Keys, 20},
        {&SoakSteps::Silence, 6},
        {&SoakSteps::CorruptFrames, 8},
        {&SoakSteps::LinkFailure, 5},
        {&SoakSteps::UnplugReplug, 3},
        {&SoakSteps::ConnectRetries, 3},
        {&SoakSteps::ConnectAbort, 2},
        {&SoakSteps::ConnectConfigFailure, 2},
        {&SoakSteps::UserReconnect, 3},
        {&SoakSteps::PowerCycle, 4},
        {&SoakSteps::OnWhileOn, 2},
        {&SoakSteps::Freeze, 3},
        {&SoakSteps::View, 2},
        {&SoakSteps::FirmwareUpdate, 5},
    }};
    std::vector<double> weights;
    for (const auto& step : kSteps)
        weights.push_back(step.second);
    const std::size_t pick = std::discrete_distribution<std::size_t>(weights.begin(), weights.end())(rng_);

    ++figures_.steps;
    // Nothing may pile up over a long run.
    rig_.boxes.Clear();
    rig_.TakeKeyCodes();
    return (this->*kSteps[pick].first)();
}

// ------------------------------------------------------------------ building blocks

std::string SoakSteps::Finish()
{
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    SOAK_TRY(rig_.CheckOnline());
    return rig_.CheckMirror();
}

std::string SoakSteps::Connect()
{
    rig_.form.actOpen->trigger();
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    rig_.keysExpected = true;
    ++figures_.reconnects;
    if (rig_.waitForm.pbWait->value() != 0)
        return "progress bar left at " + std::to_string(rig_.waitForm.pbWait->value()) + " after connecting";
    return rig_.CheckOnline();
}

std::string SoakSteps::Disconnect()
{
    rig_.form.actClose->trigger();
    SOAK_TRY(rig_.Settle(SoakRig::Link::OffLine));
    return rig_.CheckOffline();
}

std::string SoakSteps::ExpectError(const std::string& contains)
{
    rig_.PumpUntil([this] { return !Errors(rig_.boxes).empty(); }, kWaitRealMs);
    const auto errors = Errors(rig_.boxes);
    if (errors.size() != 1)
        return "expected one error box with \"" + contains + "\", got " + std::to_string(errors.size());
    if (!errors.front().text.contains(QString::fromStdString(contains)))
        return "error box " + Quote(errors.front().text) + " lacks \"" + contains + "\"";
    if (errors.front().owner != &rig_.form)
        return "error box " + Quote(errors.front().text) + " not owned by the display window";
    rig_.boxes.Clear();
    return {};
}

std::string SoakSteps::ExpectErrorAt(const std::vector<int>& locations)
{
    rig_.PumpUntil([this] { return !Errors(rig_.boxes).empty(); }, kWaitRealMs);
    const auto errors = Errors(rig_.boxes);
    if (errors.size() != 1)
        return "expected one error box, got " + std::to_string(errors.size());
    const int location = LocationOf(errors.front().text);
    if (std::find(locations.begin(), locations.end(), location) == locations.end())
        return "error box " + Quote(errors.front().text) + " names an unexpected location";
    rig_.boxes.Clear();
    return {};
}

std::string SoakSteps::ExpectNoError()
{
    const auto errors = Errors(rig_.boxes);
    if (!errors.empty())
        return "unexpected error box " + Quote(errors.front().text);
    return {};
}

std::string SoakSteps::RestoreKeys()
{
    // After a failed update only a new connection brings the key actions back.
    SOAK_TRY(Disconnect());
    SOAK_TRY(Connect());
    return Finish();
}

std::string SoakSteps::PowerOff()
{
    rig_.TakeKeyCodes();
    rig_.boxes.Clear();
    switch (Uniform(0, 2)) {
    case 0:
        rig_.form.actOff->trigger();
        break;
    case 1:
        QTest::mouseClick(rig_.keyForm.sb_OFF, Qt::LeftButton);
        break;
    default:
        QTest::keyClick(&rig_.form, Qt::Key_F); // released F asks too
        break;
    }
    const auto shown = rig_.boxes.All();
    if (shown.size() != 1 || shown.front().kind != "question" || shown.front().text != kOffQuestion)
        return "OFF did not ask " + Quote(kOffQuestion);
    const std::vector<std::uint8_t> codes = rig_.TakeKeyCodes();
    if (codes != std::vector<std::uint8_t>{10})
        return "OFF sent " + std::to_string(codes.size()) + " key codes instead of code 10";
    if (rig_.Amp().powered)
        return "the amplifier stayed on after code 10";
    rig_.boxes.Clear();
    // Silent now: blank display, dark lamps, no update offered.
    return rig_.CheckMirror();
}

std::string SoakSteps::PowerOn()
{
    switch (Uniform(0, 3)) {
    case 0:
        rig_.form.actOn->trigger();
        break;
    case 1:
        QTest::keyClick(&rig_.form, Qt::Key_N);
        break;
    case 2:
        QTest::mouseClick(rig_.keyForm.sb_ON, Qt::LeftButton);
        break;
    default:
        QTest::mouseClick(rig_.jKeypad.sb_ON, Qt::LeftButton);
        break;
    }
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    if (!rig_.Amp().powered)
        return "the power-on pulse did not switch the amplifier on";
    return {};
}

// ------------------------------------------------------------------ the steps

std::string SoakSteps::Idle()
{
    const int cycles = Uniform(1, 150);
    Describe("polling for " + std::to_string(cycles) + " cycles");
    if (!rig_.PumpSim(cycles * kCycleMs))
        return "polling stopped moving the clock";
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::Keys()
{
    struct KeyStroke {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    static const KeyStroke kStrokes[] = {
        {Qt::Key_A, Qt::NoModifier},      {Qt::Key_B, Qt::NoModifier},      {Qt::Key_C, Qt::NoModifier},
        {Qt::Key_D, Qt::NoModifier},      {Qt::Key_I, Qt::NoModifier},      {Qt::Key_L, Qt::NoModifier},
        {Qt::Key_O, Qt::NoModifier},      {Qt::Key_P, Qt::NoModifier},      {Qt::Key_S, Qt::NoModifier},
        {Qt::Key_T, Qt::NoModifier},      {Qt::Key_U, Qt::NoModifier},      {Qt::Key_Plus, Qt::NoModifier},
        {Qt::Key_Minus, Qt::NoModifier},  {Qt::Key_B, Qt::ControlModifier}, {Qt::Key_C, Qt::ControlModifier},
        {Qt::Key_L, Qt::ControlModifier},
    };
    const std::vector<SpeedButton*> buttons = {
        rig_.keyForm.sb_LMinus,  rig_.keyForm.sb_LPlus,   rig_.keyForm.sb_CMinus,    rig_.keyForm.sb_CPlus,
        rig_.keyForm.sb_Tune,    rig_.keyForm.sb_Input,   rig_.keyForm.sb_BandMinus, rig_.keyForm.sb_BandPlus,
        rig_.keyForm.sb_Antenna, rig_.keyForm.sb_Display, rig_.keyForm.sb_Left,      rig_.keyForm.sb_Right,
        rig_.keyForm.sb_Power,   rig_.keyForm.sb_CAT,     rig_.keyForm.sb_Operate,   rig_.keyForm.sb_Set,
        rig_.jKeypad.sb_Operate, rig_.jKeypad.sb_Power,   rig_.jKeypad.sb_Input,     rig_.jKeypad.sb_Antenna,
        rig_.jKeypad.sb_Tune,    rig_.jKeypad.sb_Display,
    };
    const int presses = Uniform(1, 6);
    Describe(std::to_string(presses) + " key presses");
    for (int i = 0; i < presses; ++i) {
        std::string what;
        std::size_t expected = rig_.keysExpected ? 1 : 0;
        rig_.TakeKeyCodes();
        const int kind = Uniform(0, 9);
        if (kind < 6) {
            const KeyStroke& stroke = kStrokes[Uniform(0, std::size(kStrokes) - 1)];
            what = "key " + QKeySequence(stroke.key | stroke.modifiers).toString().toStdString();
            QTest::keyClick(&rig_.form, stroke.key, stroke.modifiers);
        } else {
            SpeedButton* button = buttons[static_cast<std::size_t>(Uniform(0, buttons.size() - 1))];
            what = "button " + button->Caption().toStdString();
            if (kind == 9) {
                what += " (right button)"; // runs nothing
                expected = 0;
                QTest::mouseClick(button, Qt::RightButton);
            } else {
                QTest::mouseClick(button, Qt::LeftButton);
            }
        }
        Describe(std::to_string(presses) + " key presses, at " + what);
        const std::vector<std::uint8_t> codes = rig_.TakeKeyCodes();
        if (codes.size() != expected)
            return what + " sent " + std::to_string(codes.size()) + " key codes, expected " + std::to_string(expected);
        ++figures_.keyPresses;
        if (!rig_.PumpSim(Uniform(1, 4) * kCycleMs))
            return "polling stopped after " + what;
    }
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::Silence()
{
    const int cycles = Uniform(1, 12);
    Describe("amplifier silent for " + std::to_string(cycles) + " cycles");
    CountFault("silence");
    const std::uint64_t q0 = rig_.tap.Queries();
    rig_.WithAmp([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::Silence, -1); });
    // Once the next query has gone out, the one before it went unanswered.
    if (!rig_.PumpUntil([&] { return rig_.tap.Queries() >= q0 + 2; }, kWaitRealMs))
        return "polling stopped while the amplifier was silent";
    for (int round = 0; round < 2; ++round) {
        SOAK_TRY(rig_.CheckRaster(AmpView{}));
        SOAK_TRY(rig_.CheckLamps(0));
        if (rig_.form.actLoadUpdate->isEnabled())
            return "firmware update offered by a silent amplifier";
        if (!rig_.PumpSim(cycles * kSilentCycleMs))
            return "polling stopped while the amplifier was silent";
    }
    rig_.WithAmp([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::None); });
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::CorruptFrames()
{
    struct Kind {
        sim::FrameFault fault;
        const char* name;
        bool readsAsSilence; // the header itself is wrong or short
    };
    static const Kind kKinds[] = {
        {sim::FrameFault::GarbageBeforeHeader, "garbage before the header", true},
        {sim::FrameFault::HeaderOnly, "header only", true},
        {sim::FrameFault::WrongComplement, "wrong length complement", false},
        {sim::FrameFault::WrongType, "wrong type", false},
        {sim::FrameFault::BadChecksum, "bad checksum", false},
        {sim::FrameFault::SwappedChecksum, "swapped checksum bytes", false},
        {sim::FrameFault::ShortFrame, "short frame", false},
        {sim::FrameFault::HugeLength, "oversized length", false},
    };
    const Kind& kind = kKinds[Uniform(0, std::size(kKinds) - 1)];
    const int cycles = Uniform(1, 10);
    Describe(std::string("corrupt frames (") + kind.name + ") for " + std::to_string(cycles) + " cycles");
    CountFault(std::string("corrupt frame: ") + kind.name);

    const std::uint64_t q0 = rig_.tap.Queries();
    rig_.WithAmp([&](sim::SimAmplifier& amp) { amp.InjectFrameFault(kind.fault, -1); });
    if (!rig_.PumpUntil([&] { return rig_.tap.Queries() >= q0 + 2; }, kWaitRealMs))
        return "polling stopped on corrupt frames";
    // From here on no frame is valid: the display must stand still (or stay
    // blank, when the header itself is bad).
    const std::uint64_t valid = rig_.tap.ValidFrames();
    std::vector<std::uint8_t> before;
    for (int y = 0; y < display::Raster::kHeight; ++y)
        before.insert(before.end(), rig_.form.raster.ScanLine(y),
                      rig_.form.raster.ScanLine(y) + display::Raster::kBytesPerRow);
    const std::uint64_t q1 = rig_.tap.Queries();
    if (!rig_.PumpUntil([&] { return rig_.tap.Queries() >= q1 + static_cast<std::uint64_t>(cycles); }, kWaitRealMs))
        return "polling stopped on corrupt frames";
    if (rig_.tap.ValidFrames() != valid)
        return "a valid frame came through while the amplifier sent corrupt ones";
    if (kind.readsAsSilence) {
        SOAK_TRY(rig_.CheckRaster(AmpView{}));
        SOAK_TRY(rig_.CheckLamps(0));
    } else {
        for (int y = 0; y < display::Raster::kHeight; ++y)
            if (!std::equal(rig_.form.raster.ScanLine(y), rig_.form.raster.ScanLine(y) + display::Raster::kBytesPerRow,
                            before.begin() + y * display::Raster::kBytesPerRow))
                return "the display changed on a corrupt frame (raster row " + std::to_string(y) + ")";
    }
    rig_.WithAmp([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::None); });
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::LinkFailure()
{
    static const char* const kOps[] = {"FT_Read", "FT_Write", "FT_Purge"};
    static const FT_STATUS kStatuses[] = {FT_IO_ERROR, FT_DEVICE_NOT_FOUND, FT_OTHER_ERROR, FT_INSUFFICIENT_RESOURCES};
    const std::string op = kOps[Uniform(0, 2)];
    const FT_STATUS status = kStatuses[Uniform(0, 3)];
    Describe("link lost: " + op + " fails with status " + std::to_string(status));
    CountFault("link loss: " + op);

    rig_.sim.FailOperation(op, status, -1);
    const bool lost = rig_.PumpUntil([this] { return !rig_.form.OnLine; }, kWaitRealMs);
    rig_.sim.ClearFailures();
    if (!lost)
        return "still on-line after " + op + " failed";
    SOAK_TRY(rig_.Settle(SoakRig::Link::OffLine));
    SOAK_TRY(rig_.CheckOffline());
    const std::vector<int> expected = op == "FT_Purge"   ? std::vector<int>{1255}
                                      : op == "FT_Write" ? std::vector<int>{1256}
                                                         : kPollReadLocations;
    SOAK_TRY(ExpectErrorAt(expected));
    SOAK_TRY(Connect());
    return Finish();
}

std::string SoakSteps::UnplugReplug()
{
    const bool tryWhileUnplugged = Chance(0.4);
    Describe(std::string("USB cable pulled") + (tryWhileUnplugged ? ", Connect while unplugged" : "") +
             ", plugged in again");
    CountFault("unplug");
    rig_.sim.Unplug();
    const bool lost = rig_.PumpUntil([this] { return !rig_.form.OnLine; }, kWaitRealMs);
    if (!lost) {
        rig_.sim.Replug();
        return "still on-line with the device unplugged";
    }
    SOAK_TRY(rig_.Settle(SoakRig::Link::OffLine));
    SOAK_TRY(rig_.CheckOffline());
    SOAK_TRY(ExpectErrorAt(kPollLocations));
    if (tryWhileUnplugged) {
        // A hundred attempts, 300 ms apart, then the last status at 1022.
        rig_.form.actOpen->trigger();
        SOAK_TRY(rig_.Settle(SoakRig::Link::OffLine));
        SOAK_TRY(ExpectErrorAt({1022}));
        SOAK_TRY(rig_.CheckOffline());
    }
    rig_.sim.Replug();
    SOAK_TRY(Connect());
    return Finish();
}

std::string SoakSteps::ConnectRetries()
{
    const int failures = Uniform(1, 30);
    Describe("connect through " + std::to_string(failures) + " failed opens");
    CountFault("failed opens before a connect");
    SOAK_TRY(Disconnect());
    rig_.sim.FailOperation("FT_Open", FT_DEVICE_NOT_FOUND, failures);
    SOAK_TRY(Connect());
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::ConnectAbort()
{
    const int attempts = Uniform(0, 15);
    Describe("connect aborted after about " + std::to_string(attempts) + " failed opens");
    CountFault("connect aborted");
    SOAK_TRY(Disconnect());
    rig_.sim.FailOperation("FT_Open", FT_DEVICE_NOT_FOUND, -1);
    rig_.form.actOpen->trigger();
    rig_.PumpUntil([&] { return rig_.waitForm.pbWait->value() >= 3 * attempts; }, kWaitRealMs);
    if (Chance(0.5))
        QTest::mouseClick(rig_.waitForm.btnAbort, Qt::LeftButton);
    else
        rig_.waitForm.close(); // the title-bar close box
    const std::string settled = rig_.Settle(SoakRig::Link::OffLine);
    rig_.sim.ClearFailures();
    SOAK_TRY(settled);
    SOAK_TRY(ExpectError("PROCESS ABORTED...  #[1022]"));
    SOAK_TRY(rig_.CheckOffline());
    SOAK_TRY(Connect());
    return Finish();
}

std::string SoakSteps::ConnectConfigFailure()
{
    static const std::pair<const char*, int> kSteps[] = {
        {"FT_SetResetPipeRetryCount", 1024},
        {"FT_ResetDevice", 1025},
        {"FT_SetBaudRate", 1026},
        {"FT_SetDataCharacteristics", 1027},
        {"FT_SetFlowControl", 1028},
        {"FT_SetTimeouts", 1029},
        {"FT_SetDtr", 1030},
        {"FT_ClrRts", 1031},
    };
    const auto& [op, location] = kSteps[Uniform(0, std::size(kSteps) - 1)];
    Describe(std::string("connect with ") + op + " failing");
    CountFault("link configuration failure");
    SOAK_TRY(Disconnect());
    rig_.sim.FailOperation(op, FT_IO_ERROR, 1);
    rig_.form.actOpen->trigger();
    const std::string settled = rig_.Settle(SoakRig::Link::OffLine);
    rig_.sim.ClearFailures();
    SOAK_TRY(settled);
    SOAK_TRY(ExpectErrorAt({location}));
    SOAK_TRY(rig_.CheckOffline());
    // The next Connect must be able to open the device again.
    SOAK_TRY(Connect());
    return Finish();
}

std::string SoakSteps::UserReconnect()
{
    Describe("Disconnect, then Connect");
    SOAK_TRY(Disconnect());
    SOAK_TRY(Connect());
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::PowerCycle()
{
    if (!rig_.keysExpected) {
        Describe("reconnect to get the keys back before OFF");
        SOAK_TRY(RestoreKeys());
    }
    const int offCycles = Uniform(1, 20);
    Describe("amplifier switched off for " + std::to_string(offCycles) + " cycles, then on");
    CountFault("power cycle");
    ++figures_.powerCycles;
    SOAK_TRY(PowerOff());
    if (!rig_.PumpSim(offCycles * kSilentCycleMs))
        return "polling stopped while the amplifier was off";
    SOAK_TRY(PowerOn());
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::OnWhileOn()
{
    if (!rig_.keysExpected) {
        Describe("reconnect to get the keys back before ON");
        SOAK_TRY(RestoreKeys());
    }
    Describe("ON while the amplifier is on");
    SOAK_TRY(PowerOn());
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::Freeze()
{
    const int ending = Uniform(0, 2);
    static const char* const kEndings[] = {"unfreeze", "Disconnect while frozen", "ON while frozen"};
    Describe(std::string("freeze, key press, ") + kEndings[ending]);
    if (!rig_.form.actFreeze->isEnabled())
        return "Freeze not available while on-line";
    ++figures_.freezes;
    rig_.form.actFreeze->trigger();
    if (!rig_.WaitPollParked())
        return "polling did not stop under Freeze";
    if (rig_.form.StatusPanelText(0) != "STILL IMAGE" || !rig_.form.actSave->isEnabled())
        return "frozen display without \"STILL IMAGE\" or Save";
    const std::uint64_t queries = rig_.tap.Queries();
    std::vector<std::uint8_t> before;
    for (int y = 0; y < display::Raster::kHeight; ++y)
        before.insert(before.end(), rig_.form.raster.ScanLine(y),
                      rig_.form.raster.ScanLine(y) + display::Raster::kBytesPerRow);
    QTest::keyClick(&rig_.form, Qt::Key_B); // a new band on the amplifier's screen
    rig_.PumpReal(20);
    if (rig_.tap.Queries() != queries)
        return "polling went on while frozen";
    for (int y = 0; y < display::Raster::kHeight; ++y)
        if (!std::equal(rig_.form.raster.ScanLine(y), rig_.form.raster.ScanLine(y) + display::Raster::kBytesPerRow,
                        before.begin() + y * display::Raster::kBytesPerRow))
            return "the frozen display changed";

    if (ending == 0) {
        rig_.form.actFreeze->trigger();
    } else if (ending == 1) {
        SOAK_TRY(Disconnect());
        SOAK_TRY(Connect());
    } else if (rig_.keysExpected) {
        SOAK_TRY(PowerOn());
    } else {
        rig_.form.actFreeze->trigger();
    }
    SOAK_TRY(ExpectNoError());
    return Finish();
}

std::string SoakSteps::View()
{
    const int what = Uniform(0, 5);
    const int n = Uniform(1, 5);
    static const char* const kNames[] = {"preset", "default size",       "Home",
                                         "Park",   "full keypad on/off", "basic keypad on/off"};
    Describe(std::string("view: ") + kNames[what] + (what < 2 ? " " + std::to_string(n) : ""));
    TForm1& form = rig_.form;
    QAction* actions[] = {form.actPreset[static_cast<std::size_t>(n - 1)],
                          form.actDefPreset[static_cast<std::size_t>(n - 1)],
                          form.actHome,
                          form.actPark,
                          form.actKeypad,
                          form.actJKeypad};
    actions[what]->trigger();
    SOAK_TRY(ExpectNoError());
    return Finish();
}
