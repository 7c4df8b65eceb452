// The soak's steps on the link: lost and unplugged links, connects that
// retry, are aborted or fail in the link configuration, the user's own
// Disconnect and Connect, and switching the amplifier off and on.

#include "SoakSteps.h"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace soaktime;

namespace {

const std::vector<int> kPollReadLocations = {1271, 1285, 1293, 1307, 1318, 1352};
const std::vector<int> kPollLocations = {1255, 1256, 1271, 1285, 1293, 1307, 1318, 1352};

} // namespace

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
