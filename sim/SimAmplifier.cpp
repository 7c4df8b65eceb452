#include "sim/SimAmplifier.h"

#include "sim/AmpPanel.h"
#include "sim/DisplayFrameWriter.h"
#include "sim/FirmwareReceiver.h"
#include "sim/FrameParser.h"
#include "sim/ScreenBuffer.h"

#include <optional>

namespace sim {

namespace {

constexpr std::uint8_t kQueryCode = 0x80;
constexpr std::uint8_t kBlockHeaderMark = 0xC0;
// DTR low and RTS high for at least this long, then released, switches the amplifier on.
constexpr std::int64_t kPowerPulseMs = 900;

} // namespace

struct SimAmplifier::Impl {
    bool powered = true;
    std::optional<std::uint8_t> lampOverride;
    FrameParser parser;
    AmpPanel panel;
    FirmwareReceiver receiver;
    std::vector<std::uint8_t> keyCodes;
    FrameFault frameFault = FrameFault::None;
    int frameFaultCount = 0;
    bool pulse = false;
    std::int64_t pulseStartMs = 0;
    std::int64_t nowMs = 0;
    std::vector<WireFrame> frames;

    void Advance(std::int64_t now)
    {
        if (now > nowMs)
            nowMs = now;
        panel.Tick(nowMs);
    }

    void PowerOn()
    {
        powered = true;
        panel.PowerOn(nowMs);
        receiver.Abort();
    }

    void PowerOff()
    {
        powered = false;
        receiver.Abort();
    }

    ScreenBuffer Screen() const
    {
        ScreenBuffer screen;
        if (!powered)
            return screen;
        if (receiver.Active())
            receiver.Render(screen);
        else
            panel.Render(screen);
        return screen;
    }

    std::uint8_t Lamps() const
    {
        if (lampOverride)
            return *lampOverride;
        if (!powered)
            return 0xFF;
        if (receiver.Active())
            return static_cast<std::uint8_t>(0xFF & ~kLampOn);
        return panel.Lamps();
    }

    FrameFault NextFrameFault()
    {
        if (frameFaultCount == 0)
            return FrameFault::None;
        const FrameFault fault = frameFault;
        if (frameFaultCount > 0 && --frameFaultCount == 0)
            frameFault = FrameFault::None;
        return fault;
    }

    void Code(std::uint8_t code, std::vector<std::uint8_t>& out)
    {
        if (code != kQueryCode)
            keyCodes.push_back(code);
        if (!powered)
            return;
        if (code == kQueryCode) {
            AppendDisplayFrame(Lamps(), Screen().Payload(), NextFrameFault(), out);
            return;
        }
        if (receiver.Code(code, out)) {
            if (receiver.TakeCompletion()) {
                panel.SetFirmwareVersion(panel.FirmwareVersion() + 1);
                PowerOff();
            }
            return;
        }
        if (receiver.Active())
            return; // the front panel is locked while an update is pending
        if (code == kKeyOff)
            PowerOff();
        else
            panel.Key(code, nowMs);
    }

    void Dispatch(const WireFrame& frame, std::vector<std::uint8_t>& out)
    {
        if (!frame.checkOk)
            return;
        if (frame.lengthByte == 1) {
            Code(frame.payload[0], out);
            return;
        }
        if (!powered)
            return;
        if (frame.lengthByte == 2 && frame.payload[0] == kBlockHeaderMark)
            receiver.Header(frame.payload[1], out);
        else if (frame.lengthByte == 0)
            receiver.Data(frame.payload, out);
    }
};

SimAmplifier::SimAmplifier(bool poweredOn) : impl_(std::make_shared<Impl>())
{
    impl_->powered = poweredOn;
}

void SimAmplifier::Consume(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out)
{
    Consume(bytes, count, out, impl_->nowMs);
}

void SimAmplifier::Consume(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out,
                           std::int64_t nowMs)
{
    Impl& d = *impl_;
    d.Advance(nowMs);
    d.frames.clear();
    d.parser.Feed(bytes, count, d.nowMs, d.frames);
    for (const WireFrame& frame : d.frames)
        d.Dispatch(frame, out);
}

void SimAmplifier::SetLines(bool dtr, bool rts, std::int64_t nowMs)
{
    Impl& d = *impl_;
    d.Advance(nowMs);
    const bool pulse = !dtr && rts;
    if (pulse && !d.pulse)
        d.pulseStartMs = d.nowMs;
    if (!pulse && d.pulse && d.nowMs - d.pulseStartMs >= kPowerPulseMs && !d.powered)
        d.PowerOn();
    d.pulse = pulse;
}

bool SimAmplifier::PoweredOn() const
{
    return impl_->powered;
}

void SimAmplifier::SetPoweredOn(bool on)
{
    if (on && !impl_->powered)
        impl_->PowerOn();
    else if (!on)
        impl_->PowerOff();
}

std::uint8_t SimAmplifier::LampByte() const
{
    return impl_->Lamps();
}

void SimAmplifier::SetLampByte(std::uint8_t lamp)
{
    impl_->lampOverride = lamp;
}

void SimAmplifier::ClearLampOverride()
{
    impl_->lampOverride.reset();
}

std::vector<std::uint8_t> SimAmplifier::Payload() const
{
    return impl_->Screen().Payload();
}

std::string SimAmplifier::RowText(int row) const
{
    return impl_->Screen().RowText(row);
}

const std::vector<std::uint8_t>& SimAmplifier::KeyCodes() const
{
    return impl_->keyCodes;
}

void SimAmplifier::ClearKeyCodes()
{
    impl_->keyCodes.clear();
}

const AmpPanel& SimAmplifier::Panel() const
{
    return impl_->panel;
}

void SimAmplifier::InjectFrameFault(FrameFault fault, int count)
{
    impl_->frameFault = fault;
    impl_->frameFaultCount = fault == FrameFault::None ? 0 : count;
}

void SimAmplifier::InjectUpdateFault(UpdateFault fault, int block)
{
    impl_->receiver.SetFault(fault, block);
}

bool SimAmplifier::UpdateMode() const
{
    return impl_->receiver.Active();
}

const std::vector<ReceivedBlock>& SimAmplifier::ReceivedImage() const
{
    return impl_->receiver.Image();
}

bool SimAmplifier::UpdateCompleted() const
{
    return impl_->receiver.Completed();
}

} // namespace sim
