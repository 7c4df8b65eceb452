#pragma once
// What the 115200-baud link cannot beat, shared by the local and the network
// wire-speed runs: every figure is a ratio to one of these.

#include "link/Timeouts.h"

namespace bench {

constexpr double kBytesPerSecond = 11520.0; // 115200 baud, 8N1
constexpr double kQueryBytes = 6;
constexpr double kFrameBytes = 371; // 9 header bytes, 360 payload bytes, 2 checksum bytes
// The display frame's bytes on the wire. The six query bytes go out before
// the answer can start, so even a perfect transaction comes to
// (6 + 371) / 371 = 1.016 of this.
constexpr double kFrameLimitMs = 1000.0 * kFrameBytes / kBytesPerSecond; // 32.2 ms

// Bytes of a firmware update of `blocks` blocks when nothing fails. Out: the
// update-start code, per block the header frame (7) and the data frame
// (4 + 4096 + 1), the transfer-end and update-complete codes. In: the ACK of
// the start, per block an ACK (6) and a checksum reply (9), the final
// checksum reply.
constexpr double UpdateBytesOut(int blocks)
{
    return 6 + blocks * (7 + 4101) + 6 + 6;
}
constexpr double UpdateBytesIn(int blocks)
{
    return 6 + blocks * (6 + 9) + 9;
}
// Every answer waits for its request, so the two directions add up.
constexpr double UpdateWireLimitS(int blocks)
{
    return (UpdateBytesOut(blocks) + UpdateBytesIn(blocks)) / kBytesPerSecond;
}
// The job's first input drain ends only when a read times out: one full
// update read time-out, whatever the link's speed.
constexpr double kUpdateDrainLimitS = kUpdateTimeoutMs / 1000.0;

} // namespace bench
