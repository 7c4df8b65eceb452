#include "sim/DisplayFrameWriter.h"

namespace sim {

namespace {

constexpr std::uint8_t kHeader = 0xAA;
constexpr std::uint8_t kType = 1;
constexpr std::uint8_t kWrongType = 2;
// A length whose payload (L - 2) is larger than the program's 4096-byte receive buffer.
constexpr std::uint16_t kHugeLength = 4096 + 2 + 1;

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

} // namespace

void AppendDisplayFrame(std::uint8_t lamp, const std::vector<std::uint8_t>& payload, FrameFault fault,
                        std::vector<std::uint8_t>& out)
{
    switch (fault) {
    case FrameFault::Silence:
        return;
    case FrameFault::HeaderOnly:
        out.push_back(kHeader);
        out.push_back(kHeader);
        return;
    case FrameFault::GarbageBeforeHeader:
        out.push_back(0x00);
        break;
    default:
        break;
    }

    const auto length = static_cast<std::uint16_t>(payload.size() + 2);
    const std::uint8_t type = fault == FrameFault::WrongType ? kWrongType : kType;
    std::uint16_t sum = static_cast<std::uint16_t>(type + lamp);
    for (std::uint8_t b : payload)
        sum = static_cast<std::uint16_t>(sum + b);

    out.insert(out.end(), {kHeader, kHeader, kHeader});
    const std::uint16_t lengthField = fault == FrameFault::HugeLength ? kHugeLength : length;
    PutLe16(out, lengthField);
    PutLe16(out, fault == FrameFault::WrongComplement ? lengthField : static_cast<std::uint16_t>(~lengthField));
    out.push_back(type);
    out.push_back(lamp);

    if (fault == FrameFault::ShortFrame) {
        out.insert(out.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(payload.size() / 2));
        return;
    }
    out.insert(out.end(), payload.begin(), payload.end());

    if (fault == FrameFault::BadChecksum)
        sum = static_cast<std::uint16_t>(sum + 1);
    if (fault == FrameFault::SwappedChecksum) {
        const auto swapped = static_cast<std::uint16_t>((sum << 8) | (sum >> 8));
        // Two equal bytes swap into the same sum; the frame must still be wrong.
        sum = swapped != sum ? swapped : static_cast<std::uint16_t>(sum + 1);
    }
    PutLe16(out, sum);
}

} // namespace sim
