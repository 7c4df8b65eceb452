#pragma once
// Byte-level helpers for the display-frame tests: frames put together field by
// field exactly as given (nothing is computed, so a test states its own
// length, complement and checksum), and a receive buffer with a guard region.

#include "ChunkDriver.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>

namespace frametest {

inline void PutLe16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// AA AA AA, length, complement, type, lamp: the nine bytes before the payload.
inline Bytes FrameHead(std::uint16_t length, std::uint16_t complement, std::uint8_t type, std::uint8_t lamp)
{
    Bytes out{0xAA, 0xAA, 0xAA};
    PutLe16(out, length);
    PutLe16(out, complement);
    out.push_back(type);
    out.push_back(lamp);
    return out;
}

inline Bytes Frame(std::uint16_t length, std::uint16_t complement, std::uint8_t type, std::uint8_t lamp,
                   const Bytes& payload, std::uint16_t checksum)
{
    Bytes out = Cat({FrameHead(length, complement, type, lamp), payload});
    PutLe16(out, checksum);
    return out;
}

// The amplifier's idle answer: L = 362, complement 0xFE95, type 1, lamp 0xFE
// (only ON lit), 360 zero bytes, checksum 0x00FF.
inline Bytes FullZeroFrame()
{
    Bytes out{0xAA, 0xAA, 0xAA, 0x6A, 0x01, 0x95, 0xFE, 0x01, 0xFE};
    out.resize(9 + 360, 0x00);
    out.push_back(0xFF);
    out.push_back(0x00);
    return out;
}

// The 4096-byte receive buffer followed by a guard region; every byte starts
// as kFill so that untouched bytes can be told from written ones.
struct ReceiveBuffer {
    static constexpr std::uint8_t kFill = 0x5A;
    static constexpr std::size_t kGuard = 256;

    ReceiveBuffer() { bytes.fill(kFill); }

    std::uint8_t* rx() { return bytes.data(); }
    std::uint8_t operator[](std::size_t i) const { return bytes[i]; }

    bool GuardIntact() const
    {
        return std::all_of(bytes.begin() + protocol::kReceiveBufferSize, bytes.end(),
                           [](std::uint8_t b) { return b == kFill; });
    }
    // True when bytes [from, to) still hold kFill.
    bool Untouched(std::size_t from, std::size_t to) const
    {
        return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                           bytes.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == kFill; });
    }

    std::array<std::uint8_t, protocol::kReceiveBufferSize + kGuard> bytes{};
};

// One ReadDisplayFrame over a fresh receive buffer, with what it left behind.
struct ReadResult {
    protocol::FrameOutcome outcome = protocol::FrameOutcome::Bad;
    std::uint8_t lamp = 0;
    int payloadLength = -1;
};

inline ReadResult ReadFrame(ChunkDriver& driver, ReceiveBuffer& buffer, std::uint8_t lampBefore = 0x99)
{
    ReadResult r;
    r.lamp = lampBefore;
    r.outcome = protocol::ReadDisplayFrame(driver, nullptr, buffer.rx(), r.lamp, &r.payloadLength);
    return r;
}

} // namespace frametest
