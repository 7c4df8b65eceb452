// The soak's steps on the amplifier's side of the display: polling, key
// presses, silence, corrupt frames, Freeze and the view commands.

#include "SoakSteps.h"

#include "toolkit/SpeedButton.h"

#include <QAction>
#include <QTest>

using namespace soaktime;

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
    const int selected = form.SelectedPreset;
    actions[what]->trigger();
    SOAK_TRY(ExpectNoError());
    SOAK_TRY(Finish());
    // Recalling a preset selects it; resetting one to its default size does not.
    const QString wanted = QString("F%1").arg(what == 0 ? n : selected);
    if (form.StatusPanelText(1) != wanted)
        return "status panel shows \"" + form.StatusPanelText(1).toStdString() + "\" instead of \"" +
               wanted.toStdString() + "\"";
    return {};
}
