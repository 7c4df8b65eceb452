// The firmware update steps of the soak: updates that go through, updates
// the amplifier refuses, a package that is not one, a cancelled file dialog,
// a USB write failure in the middle of a transfer and time-outs the link
// will not take.

#include "SoakSteps.h"

#include "sim/AmpPanel.h"

#include <QAction>

namespace {

const std::string kConsistencyError = "Data consistency check failed while processing file:\n  ";
const std::string kAuthenticationError = "Authentication failed while processing file:\n  ";
constexpr std::uint8_t kAnnounceCode = 100;
constexpr std::uint8_t kResumeCode = 101;

const char* FaultName(sim::UpdateFault fault)
{
    switch (fault) {
    case sim::UpdateFault::NeverAckStart:
        return "no ACK for the start";
    case sim::UpdateFault::DropAckAtBlock:
        return "no ACK for a block header";
    case sim::UpdateFault::DropAckOnceAtBlock:
        return "one block header ACK lost";
    case sim::UpdateFault::WrongEchoAtBlock:
        return "wrong checksum echo";
    case sim::UpdateFault::WrongEchoOnceAtBlock:
        return "one wrong checksum echo";
    case sim::UpdateFault::SilentFromBlock:
        return "amplifier falls silent";
    case sim::UpdateFault::ShortReplyAtBlock:
        return "short checksum reply";
    case sim::UpdateFault::WrongTotal:
        return "wrong package total";
    case sim::UpdateFault::None:
        break;
    }
    return "none";
}

} // namespace

std::string SoakSteps::FirmwareUpdate()
{
    Describe("firmware update: waiting for the offer");
    SOAK_TRY(UpdateOffered());
    const Package& package = packages_[static_cast<std::size_t>(Uniform(0, static_cast<int>(packages_.size()) - 1))];
    const int blocks = static_cast<int>(package.builder.Blocks().size());
    const int pick = Uniform(0, 99);
    if (pick < 35)
        return UpdateSucceeds(package, sim::UpdateFault::None);
    if (pick < 45)
        return UpdateSucceeds(package, Chance(0.5) ? sim::UpdateFault::DropAckOnceAtBlock
                                                   : sim::UpdateFault::WrongEchoOnceAtBlock);
    if (pick < 75) {
        static const sim::UpdateFault kRefusals[] = {
            sim::UpdateFault::NeverAckStart,   sim::UpdateFault::DropAckAtBlock,    sim::UpdateFault::WrongEchoAtBlock,
            sim::UpdateFault::SilentFromBlock, sim::UpdateFault::ShortReplyAtBlock, sim::UpdateFault::WrongTotal,
        };
        const sim::UpdateFault fault = kRefusals[Uniform(0, static_cast<int>(std::size(kRefusals)) - 1)];
        // The transfer-end code counts as the block after the last one.
        const int block = Uniform(0, fault == sim::UpdateFault::SilentFromBlock ? blocks : blocks - 1);
        return UpdateRefused(package, fault, block);
    }
    if (pick < 83)
        return UpdateBadPackage();
    if (pick < 90)
        return UpdateCancelled();
    if (pick < 96)
        return UpdateUsbFailure(package);
    return UpdateTimeoutsFailure(package);
}

// The update is offered only while ON is the only lamp lit: switching the
// amplifier off and on brings it there from any state.
std::string SoakSteps::UpdateOffered()
{
    if (rig_.form.actLoadUpdate->isEnabled())
        return {};
    if (!rig_.keysExpected)
        SOAK_TRY(RestoreKeys());
    if (rig_.form.actLoadUpdate->isEnabled())
        return {};
    SOAK_TRY(PowerOff());
    SOAK_TRY(PowerOn());
    SOAK_TRY(Finish());
    if (!rig_.form.actLoadUpdate->isEnabled())
        return "firmware update not offered in standby (lamp byte " + Hex(rig_.Amp().lampByte) + ")";
    return {};
}

std::string SoakSteps::RunUpdate(const std::string& path)
{
    chosen_ = QString::fromStdString(path);
    rig_.TakeKeyCodes();
    rig_.boxes.Clear();
    rig_.form.actLoadUpdate->trigger();
    return {};
}

std::string SoakSteps::UpdateSucceeds(const Package& package, sim::UpdateFault onceFault)
{
    const auto& blocks = package.builder.Blocks();
    const int block = Uniform(0, static_cast<int>(blocks.size()) - 1);
    Describe("firmware update of " + std::to_string(blocks.size()) + " blocks" +
             (onceFault == sim::UpdateFault::None
                  ? std::string()
                  : std::string(" through '") + FaultName(onceFault) + "' at block " + std::to_string(block)));
    if (onceFault != sim::UpdateFault::None)
        CountFault(std::string("update: ") + FaultName(onceFault));
    const int version = rig_.WithAmp([](sim::SimAmplifier& amp) { return amp.Panel().FirmwareVersion(); });
    rig_.WithAmp([&](sim::SimAmplifier& amp) { amp.InjectUpdateFault(onceFault, block); });
    RunUpdate(package.path);
    const std::string settled = rig_.Settle(SoakRig::Link::OnLine);
    rig_.WithAmp([](sim::SimAmplifier& amp) { amp.InjectUpdateFault(sim::UpdateFault::None); });
    SOAK_TRY(settled);
    SOAK_TRY(ExpectNoError());

    const std::string image = rig_.WithAmp([&](sim::SimAmplifier& amp) -> std::string {
        if (!amp.UpdateCompleted())
            return "the amplifier did not see the update complete";
        if (amp.Panel().FirmwareVersion() != version + 1)
            return "the amplifier's firmware version did not go up";
        const auto& received = amp.ReceivedImage();
        if (received.size() != blocks.size())
            return "the amplifier received " + std::to_string(received.size()) + " blocks of " +
                   std::to_string(blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i)
            if (received[i].tag != blocks[i].tag || received[i].data != blocks[i].data)
                return "block " + std::to_string(i) + " arrived changed";
        if (!amp.PoweredOn())
            return "the amplifier stayed off after the update";
        return {};
    });
    SOAK_TRY(image);
    rig_.keysExpected = true;
    ++figures_.updatesOk;
    return Finish();
}

std::string SoakSteps::UpdateRefused(const Package& package, sim::UpdateFault fault, int block)
{
    Describe(std::string("firmware update refused: '") + FaultName(fault) + "' at block " + std::to_string(block) +
             " of " + std::to_string(package.builder.Blocks().size()));
    CountFault(std::string("update: ") + FaultName(fault));
    rig_.WithAmp([&](sim::SimAmplifier& amp) { amp.InjectUpdateFault(fault, block); });
    RunUpdate(package.path);
    const std::string settled = rig_.Settle(SoakRig::Link::OnLine);
    rig_.WithAmp([](sim::SimAmplifier& amp) { amp.InjectUpdateFault(sim::UpdateFault::None); });
    SOAK_TRY(settled);
    SOAK_TRY(ExpectError(kConsistencyError + package.path));
    // The resume code ended the amplifier's update mode; the keys stay off
    // until the next connect.
    if (rig_.Amp().updateMode)
        return "the amplifier was left waiting for firmware";
    rig_.keysExpected = false;
    ++figures_.updatesFailed;
    return Finish();
}

std::string SoakSteps::UpdateBadPackage()
{
    Describe("firmware update with a file that is no package");
    CountFault("update: not a package");
    RunUpdate(badPackage_);
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    SOAK_TRY(ExpectError(kAuthenticationError + badPackage_));
    const std::vector<std::uint8_t> codes = rig_.TakeKeyCodes();
    if (codes != std::vector<std::uint8_t>{kAnnounceCode, kResumeCode})
        return "a rejected package sent more than the announce and resume codes (" + std::to_string(codes.size()) +
               " codes)";
    rig_.keysExpected = false;
    ++figures_.updatesFailed;
    return Finish();
}

std::string SoakSteps::UpdateCancelled()
{
    Describe("firmware update: file dialog cancelled");
    const std::uint64_t queries = rig_.tap.Queries();
    RunUpdate({});
    SOAK_TRY(rig_.Settle(SoakRig::Link::OnLine));
    const std::vector<std::uint8_t> codes = rig_.TakeKeyCodes();
    if (codes != std::vector<std::uint8_t>{kAnnounceCode, kResumeCode})
        return "a cancelled update sent " + std::to_string(codes.size()) + " codes instead of announce and resume";
    SOAK_TRY(ExpectNoError());
    if (!rig_.PumpUntil([&] { return rig_.tap.Queries() > queries; }, 5000))
        return "polling did not go on after the cancelled dialog";
    ++figures_.updatesCancelled;
    return Finish();
}

std::string SoakSteps::UpdateUsbFailure(const Package& package)
{
    const int blocks = static_cast<int>(package.builder.Blocks().size());
    const int after = Uniform(1, blocks);
    Describe("firmware update: USB write fails after block data " + std::to_string(after) + " of " +
             std::to_string(blocks));
    CountFault("update: USB write failure");
    rig_.tap.FailWriteAfterBlocks(after);
    RunUpdate(package.path);
    const std::string settled = rig_.Settle(SoakRig::Link::OnLine);
    const bool armed = rig_.tap.Armed();
    rig_.tap.Disarm();
    SOAK_TRY(settled);
    if (armed)
        return "the transfer never reached the armed write";
    // The write of the block's check byte is the one that failed.
    SOAK_TRY(ExpectErrorAt({1613}));
    rig_.keysExpected = false;
    ++figures_.updatesFailed;
    return Finish();
}

std::string SoakSteps::UpdateTimeoutsFailure(const Package& package)
{
    Describe("firmware update: the link refuses the update time-outs");
    CountFault("update: time-outs refused");
    rig_.sim.FailOperation("FT_SetTimeouts", FT_IO_ERROR, 1);
    RunUpdate(package.path);
    rig_.sim.ClearFailures();
    SOAK_TRY(ExpectErrorAt({1405}));
    // Polling has stopped and no job runs: the window must not stay on-line
    // with a display that never changes again.
    SOAK_TRY(rig_.Settle(SoakRig::Link::OffLine));
    SOAK_TRY(rig_.CheckOffline());
    ++figures_.updatesFailed;
    SOAK_TRY(Connect());
    return Finish();
}
