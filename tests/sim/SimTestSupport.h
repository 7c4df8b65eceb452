#pragma once
// Helpers of the simulated-amplifier tests: the frames the program sends,
// built by hand from the wire layout, and a way to feed them to an amplifier.

#include "sim/SimAmplifier.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// 55 55 55 01 c c
inline Bytes Command(std::uint8_t code)
{
    return {0x55, 0x55, 0x55, 0x01, code, code};
}

// 55 55 55 02 C0 t k, k = (0xC0 + t) mod 256
inline Bytes BlockHeader(std::uint8_t tag)
{
    return {0x55, 0x55, 0x55, 0x02, 0xC0, tag, static_cast<std::uint8_t>(0xC0 + tag)};
}

// 55 55 55 00, the 4096 bytes, the low byte of their sum
inline Bytes BlockData(const Bytes& data)
{
    Bytes frame(4 + data.size() + 1, 0x55);
    frame[3] = 0x00;
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        frame[4 + i] = data[i];
        check = static_cast<std::uint8_t>(check + data[i]);
    }
    frame.back() = check;
    return frame;
}

inline Bytes Block(std::uint8_t seed)
{
    Bytes data(4096);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return data;
}

inline std::uint32_t Sum32(const Bytes& data)
{
    std::uint32_t sum = 0;
    for (std::uint8_t b : data)
        sum += b;
    return sum;
}

// The nine-byte checksum reply: 55 55 55 04, the sum little-endian, check byte.
inline Bytes SumReply(std::uint32_t sum)
{
    Bytes reply = {0x55,
                   0x55,
                   0x55,
                   0x04,
                   static_cast<std::uint8_t>(sum),
                   static_cast<std::uint8_t>(sum >> 8),
                   static_cast<std::uint8_t>(sum >> 16),
                   static_cast<std::uint8_t>(sum >> 24)};
    reply.push_back(static_cast<std::uint8_t>(reply[4] + reply[5] + reply[6] + reply[7]));
    return reply;
}

inline const Bytes kAck = {0x55, 0x55, 0x55, 0x01, 0x06, 0x06};

// Feeds one frame (or any bytes) and returns the amplifier's answer.
inline Bytes Feed(sim::SimAmplifier& amp, const Bytes& bytes, std::int64_t nowMs = -1)
{
    Bytes out;
    if (nowMs < 0)
        amp.Consume(bytes.data(), bytes.size(), out);
    else
        amp.Consume(bytes.data(), bytes.size(), out, nowMs);
    return out;
}

inline Bytes Key(sim::SimAmplifier& amp, std::uint8_t code, std::int64_t nowMs = -1)
{
    return Feed(amp, Command(code), nowMs);
}

inline Bytes Query(sim::SimAmplifier& amp, std::int64_t nowMs = -1)
{
    return Key(amp, 0x80, nowMs);
}

} // namespace simtest
