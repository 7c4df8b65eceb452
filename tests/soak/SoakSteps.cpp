#include "SoakSteps.h"

#include "toolkit/SpeedButton.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <array>
#include <utility>

using namespace soaktime;

namespace {

const QString kOffQuestion = "Do you wish to switch the AVELKOR linear off?";

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
    rig_.TakeKeyCodes();
    rig_.form.actOpen->trigger();
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    rig_.keysExpected = true;
    ++figures_.reconnects;
    // The resume code, once.
    if (rig_.TakeKeyCodes() != std::vector<std::uint8_t>{101})
        return "connecting did not send the resume code once and nothing else";
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
