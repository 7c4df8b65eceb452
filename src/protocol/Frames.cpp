#include "protocol/Frames.h"

#include "link/FtStatus.h"
#include "link/FtdiDriver.h"

#include <algorithm>

namespace protocol {

void SendCommand(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t code)
{
    const CommandFrame frame = BuildCommandFrame(code);
    DWORD written = 0;
    (void)driver.FT_Write(handle, frame.data(), static_cast<DWORD>(frame.size()), &written);
}

std::uint16_t Sum16(const std::uint8_t* bytes, std::size_t count, std::uint16_t start)
{
    std::uint16_t sum = start;
    for (std::size_t i = 0; i < count; ++i)
        sum = static_cast<std::uint16_t>(sum + bytes[i]);
    return sum;
}

namespace {

// One checked read of a fixed small field; true when the whole field came.
template <typename Read> bool ReadField(const Read& read, std::uint8_t* into, DWORD count, int location)
{
    DWORD got = 0;
    CheckFTStatus(read(into, count, &got), location);
    return got == count;
}

std::uint16_t Le16(const std::uint8_t* b)
{
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

// The acceptance rules over any byte source: `read(into, count, &got)`
// behaves as FT_Read on the link.
template <typename Read>
FrameOutcome ReadFrameFrom(const Read& read, std::uint8_t* rx, std::uint8_t& lamp, int* payloadLength)
{
    // Header: read until three bytes arrived or a read delivers nothing.
    DWORD have = 0;
    while (have < 3) {
        DWORD got = 0;
        CheckFTStatus(read(rx + have, 3 - have, &got), 1271);
        if (got == 0)
            break;
        have += got > 3 - have ? 3 - have : got;
    }
    if (have < 3 || rx[0] != kHeaderByte || rx[1] != kHeaderByte || rx[2] != kHeaderByte)
        return FrameOutcome::NoAnswer;

    std::uint8_t field[2];
    if (!ReadField(read, field, 2, 1285))
        return FrameOutcome::Bad;
    const std::uint16_t length = Le16(field);

    if (!ReadField(read, field, 2, 1293))
        return FrameOutcome::Bad;
    if (Le16(field) != (length ^ 0xFFFF))
        return FrameOutcome::Bad;

    std::uint8_t type = 0;
    if (!ReadField(read, &type, 1, 1307) || type != kDisplayType)
        return FrameOutcome::Bad;

    if (!ReadField(read, &lamp, 1, 1318))
        return FrameOutcome::Bad;

    // The payload must fit the receive buffer; a frame that claims more (or a
    // length below 2) is dropped before a single payload byte is read.
    if (length < 2 || length - 2 > kReceiveBufferSize)
        return FrameOutcome::Bad;
    const DWORD wanted = length - 2u;
    DWORD received = 0;
    while (received < wanted) {
        DWORD got = 0;
        const FT_STATUS status = read(rx + received, wanted - received, &got);
        if (status != FT_OK || got == 0)
            break;
        received += got > wanted - received ? wanted - received : got;
    }
    if (received != wanted)
        return FrameOutcome::Bad;

    if (!ReadField(read, field, 2, 1352))
        return FrameOutcome::Bad;
    const std::uint16_t sum = Sum16(rx, wanted, static_cast<std::uint16_t>(type + lamp));
    if (sum != Le16(field))
        return FrameOutcome::Bad;

    if (payloadLength)
        *payloadLength = static_cast<int>(wanted);
    return FrameOutcome::Valid;
}

} // namespace

FrameOutcome ReadDisplayFrame(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t* rx, std::uint8_t& lamp,
                              int* payloadLength)
{
    return ReadFrameFrom(
        [&](std::uint8_t* into, DWORD count, DWORD* got) { return driver.FT_Read(handle, into, count, got); }, rx, lamp,
        payloadLength);
}

FrameOutcome CheckDisplayFrame(const std::uint8_t* bytes, std::size_t size, std::uint8_t* rx, std::uint8_t& lamp,
                               int* payloadLength)
{
    // The bytes as a link that has nothing more to give once they are read.
    std::size_t at = 0;
    auto read = [&](std::uint8_t* into, DWORD count, DWORD* got) {
        const std::size_t n = std::min<std::size_t>(count, size - at);
        std::copy_n(bytes + at, n, into);
        at += n;
        *got = static_cast<DWORD>(n);
        return FT_STATUS{FT_OK};
    };
    const FrameOutcome outcome = ReadFrameFrom(read, rx, lamp, payloadLength);
    // A valid frame with anything behind it is not one frame.
    if (outcome == FrameOutcome::Valid && at != size)
        return FrameOutcome::Bad;
    return outcome;
}

FrameOutcome PollOnce(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t* rx, std::uint8_t& lamp, int* payloadLength)
{
    CheckFTStatus(driver.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), 1255);
    DWORD written = 0;
    CheckFTStatus(driver.FT_Write(handle, kQueryFrame.data(), static_cast<DWORD>(kQueryFrame.size()), &written), 1256);
    return ReadDisplayFrame(driver, handle, rx, lamp, payloadLength);
}

} // namespace protocol
