#include "sim/FirmwareReceiver.h"

namespace sim {

namespace {

constexpr std::uint8_t kAnnounce = 100;
constexpr std::uint8_t kResume = 101;
constexpr std::uint8_t kStart = 102;
constexpr std::uint8_t kComplete = 103;
constexpr std::uint8_t kTransferEnd = 207;

void AppendAck(std::vector<std::uint8_t>& out)
{
    out.insert(out.end(), {0x55, 0x55, 0x55, 0x01, 0x06, 0x06});
}

// 55 55 55 04, the sum little-endian, the check byte; eight bytes when cut short.
void AppendSumReply(std::vector<std::uint8_t>& out, std::uint32_t sum, bool cutShort)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8),
                                   static_cast<std::uint8_t>(sum >> 16), static_cast<std::uint8_t>(sum >> 24)};
    out.insert(out.end(), {0x55, 0x55, 0x55, 0x04});
    out.insert(out.end(), bytes, bytes + 4);
    if (!cutShort)
        out.push_back(static_cast<std::uint8_t>(bytes[0] + bytes[1] + bytes[2] + bytes[3]));
}

std::uint32_t Sum32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t sum = 0;
    for (std::uint8_t b : data)
        sum += b;
    return sum;
}

} // namespace

bool FirmwareReceiver::Code(std::uint8_t code, std::vector<std::uint8_t>& out)
{
    switch (code) {
    case kAnnounce:
        mode_ = Mode::Announced;
        silent_ = false;
        return true;
    case kResume:
        mode_ = Mode::Idle;
        silent_ = false;
        return true;
    case kStart:
        if (mode_ != Mode::Idle && !silent_ && fault_ != UpdateFault::NeverAckStart)
            Start(out);
        return true;
    case kTransferEnd:
        if (mode_ == Mode::Receiving && !silent_)
            End(out);
        return true;
    case kComplete:
        if (mode_ == Mode::Receiving && !silent_ && totalAnswered_) {
            completed_ = true;
            completionPending_ = true;
            mode_ = Mode::Idle;
        }
        return true;
    default:
        return false;
    }
}

void FirmwareReceiver::Start(std::vector<std::uint8_t>& out)
{
    mode_ = Mode::Receiving;
    image_.clear();
    pending_ = 0;
    pendingHasData_ = false;
    pendingTag_ = 0;
    headerAttempts_ = 0;
    dataAttempts_ = 0;
    totalAnswered_ = false;
    completed_ = false;
    AppendAck(out);
}

void FirmwareReceiver::Header(std::uint8_t tag, std::vector<std::uint8_t>& out)
{
    if (mode_ != Mode::Receiving || silent_)
        return;
    if (pendingHasData_) {
        ++pending_;
        pendingHasData_ = false;
        headerAttempts_ = 0;
        dataAttempts_ = 0;
    }
    ++headerAttempts_;
    pendingTag_ = tag;
    if (fault_ == UpdateFault::SilentFromBlock && pending_ >= faultBlock_) {
        silent_ = true;
        return;
    }
    if (FaultAt(UpdateFault::DropAckAtBlock) || (FaultAt(UpdateFault::DropAckOnceAtBlock) && headerAttempts_ == 1))
        return;
    AppendAck(out);
}

void FirmwareReceiver::Data(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out)
{
    if (mode_ != Mode::Receiving || silent_)
        return;
    ++dataAttempts_;
    if (image_.size() <= static_cast<std::size_t>(pending_))
        image_.resize(static_cast<std::size_t>(pending_) + 1);
    image_[static_cast<std::size_t>(pending_)] = ReceivedBlock{pendingTag_, data};
    pendingHasData_ = true;

    std::uint32_t sum = Sum32(data);
    if (FaultAt(UpdateFault::WrongEchoAtBlock) || (FaultAt(UpdateFault::WrongEchoOnceAtBlock) && dataAttempts_ == 1))
        sum += 1;
    AppendSumReply(out, sum, FaultAt(UpdateFault::ShortReplyAtBlock));
}

void FirmwareReceiver::End(std::vector<std::uint8_t>& out)
{
    // The transfer end counts as the block after the last one for a fault
    // that silences the receiver "from block n".
    const int endIndex = static_cast<int>(image_.size());
    if (fault_ == UpdateFault::SilentFromBlock && endIndex >= faultBlock_) {
        silent_ = true;
        return;
    }
    std::uint32_t total = 0;
    for (const ReceivedBlock& block : image_)
        total += Sum32(block.data);
    totalAnswered_ = fault_ != UpdateFault::WrongTotal;
    if (!totalAnswered_)
        total += 1;
    AppendSumReply(out, total, false);
}

void FirmwareReceiver::Abort()
{
    mode_ = Mode::Idle;
    silent_ = false;
}

void FirmwareReceiver::SetFault(UpdateFault fault, int block)
{
    fault_ = fault;
    faultBlock_ = block;
    if (fault == UpdateFault::None)
        silent_ = false;
}

bool FirmwareReceiver::TakeCompletion()
{
    const bool was = completionPending_;
    completionPending_ = false;
    return was;
}

void FirmwareReceiver::Render(ScreenBuffer& screen) const
{
    screen.Clear();
    screen.Box();
    screen.PutCentered(0, " FIRMWARE UPDATE ");
    if (mode_ == Mode::Receiving) {
        screen.PutCentered(3, Format("RECEIVING BLOCK %d", pending_ + (pendingHasData_ ? 1 : 0)));
        screen.PutCentered(5, "DO NOT SWITCH OFF");
    } else {
        screen.PutCentered(3, "WAITING FOR FIRMWARE...");
    }
}

} // namespace sim
