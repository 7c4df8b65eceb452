#pragma once
// Builds the bytes of a display frame, the amplifier's answer to a query:
// AA AA AA, length L = payload + 2 and its complement (16 bits, little-endian),
// type 1, the lamp byte, the payload and the 16-bit sum of type, lamp and
// payload. A fault spoils the frame in one chosen way.

#include "sim/SimAmplifier.h"

#include <cstdint>
#include <vector>

namespace sim {

void AppendDisplayFrame(std::uint8_t lamp, const std::vector<std::uint8_t>& payload, FrameFault fault,
                        std::vector<std::uint8_t>& out);

} // namespace sim
