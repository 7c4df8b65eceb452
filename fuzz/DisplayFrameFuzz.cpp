// libFuzzer target for the display-frame reader. The input is split into a
// control part and the byte stream that the amplifier "sends":
//
//   byte 0      low nibble k: number of chunk sizes that follow;
//               high nibble f: when not 0, driver call f - 1 fails
//   bytes 1..k  chunk sizes: the most that each successive FT_Read delivers
//               (0 = a read that times out empty); later reads are unlimited
//   the rest    the stream
//
// ReadDisplayFrame runs again and again until the stream is used up. Each
// outcome is checked against the bytes it consumed, and the guard region
// behind the 4096-byte receive buffer must stay untouched.

#include "ChunkDriver.h"
#include "link/FtStatus.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using frametest::ChunkDriver;
using protocol::FrameOutcome;

constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kFill = 0xC3;

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::uint16_t Le16(const std::uint8_t* b)
{
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

bool HeaderAt(const std::uint8_t* b)
{
    return b[0] == 0xAA && b[1] == 0xAA && b[2] == 0xAA;
}

bool EndsWithLocation(const std::string& message)
{
    for (const char* location : {"#[1271]", "#[1285]", "#[1293]", "#[1307]", "#[1318]", "#[1352]"}) {
        const std::size_t n = std::strlen(location);
        if (message.size() >= n && message.compare(message.size() - n, n, location) == 0)
            return true;
    }
    return false;
}

// What a valid frame must have consumed: the whole frame, laid out as the
// amplifier sends it, with the payload copied to the start of the buffer.
void CheckValid(const std::uint8_t* frame, std::size_t consumed, const std::uint8_t* rx, std::uint8_t lamp,
                int payloadLength)
{
    Require(payloadLength >= 0 && payloadLength <= protocol::kReceiveBufferSize);
    const auto n = static_cast<std::size_t>(payloadLength);
    Require(consumed == 11 + n);
    Require(HeaderAt(frame));
    const std::uint16_t length = Le16(frame + 3);
    Require(length == n + 2);
    Require(Le16(frame + 5) == static_cast<std::uint16_t>(~length));
    Require(frame[7] == 1);
    Require(frame[8] == lamp);
    Require(std::memcmp(rx, frame + 9, n) == 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 7; i < 9 + n; ++i)
        sum += frame[i];
    Require((sum & 0xFFFF) == Le16(frame + 9 + n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunkCount = std::min<std::size_t>(data[0] & 0x0F, size - 1);
    const int failAt = (data[0] >> 4) - 1;
    std::vector<DWORD> chunks(data + 1, data + 1 + chunkCount);
    const std::uint8_t* stream = data + 1 + chunkCount;
    const std::size_t streamSize = size - 1 - chunkCount;

    ChunkDriver driver(frametest::Bytes(stream, stream + streamSize), std::move(chunks));
    if (failAt >= 0)
        driver.FailCall(failAt, FT_IO_ERROR);

    std::array<std::uint8_t, protocol::kReceiveBufferSize + kGuard> buffer;
    buffer.fill(kFill);
    std::uint8_t lamp = 0;

    // Every round consumes a chunk size, a stream byte or the one failure.
    const std::size_t maxRounds = streamSize + chunkCount + 2;
    for (std::size_t round = 0; round < maxRounds && driver.Remaining() > 0; ++round) {
        const std::size_t start = driver.Position();
        int payloadLength = -1;
        FrameOutcome outcome = FrameOutcome::Bad;
        bool raised = false;
        try {
            outcome = protocol::ReadDisplayFrame(driver, nullptr, buffer.data(), lamp, &payloadLength);
        } catch (const FT_Exception& e) {
            Require(EndsWithLocation(e.what()));
            raised = true;
        }
        Require(std::all_of(buffer.begin() + protocol::kReceiveBufferSize, buffer.end(),
                            [](std::uint8_t b) { return b == kFill; }));
        if (raised)
            continue;

        const std::size_t consumed = driver.Position() - start;
        const std::uint8_t* frame = stream + start;
        switch (outcome) {
        case FrameOutcome::Valid:
            CheckValid(frame, consumed, buffer.data(), lamp, payloadLength);
            break;
        case FrameOutcome::NoAnswer:
            Require(consumed < 3 || (consumed == 3 && !HeaderAt(frame)));
            Require(payloadLength == -1);
            break;
        case FrameOutcome::Bad:
            Require(consumed >= 3 && HeaderAt(frame));
            Require(payloadLength == -1);
            break;
        }
    }
    return 0;
}
