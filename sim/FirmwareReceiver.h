#pragma once
// The amplifier's firmware receiver: the update side of the wire protocol.
//
// Announce (100) puts the amplifier into "waiting for update"; resume (101)
// returns it to normal operation. Start (102) is answered with the ACK frame
// 55 55 55 01 06 06 once announced and opens a transfer. Each block header
// (55 55 55 02 C0 t k) is ACKed; each block data frame (55 55 55 00, 4096
// bytes, check byte) is answered with the checksum reply
// 55 55 55 04 s0 s1 s2 s3 c: the 32-bit little-endian sum of the data bytes
// received, framed like every other frame (length 4, check byte = sum of the
// four bytes modulo 256). The transfer-end code (207) gets the same reply with
// the sum of all block sums; complete (103) after a correct total keeps the
// image and restarts the amplifier, which then waits to be switched on.
//
// A header that follows a data frame starts the next block; a repeated header
// or a repeated data frame belongs to the same block. Blocks count from 0.

#include "sim/ScreenBuffer.h"
#include "sim/SimAmplifier.h"

#include <cstdint>
#include <vector>

namespace sim {

class FirmwareReceiver {
public:
    enum class Mode { Idle, Announced, Receiving };

    Mode CurrentMode() const { return mode_; }
    bool Active() const { return mode_ != Mode::Idle; }

    // The update codes 100..103 and 207: answers go to `out`; true when the
    // code is one of them (whether it did anything or not).
    bool Code(std::uint8_t code, std::vector<std::uint8_t>& out);
    void Header(std::uint8_t tag, std::vector<std::uint8_t>& out);
    void Data(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out);
    // Switching off ends a transfer; what arrived is kept.
    void Abort();

    void SetFault(UpdateFault fault, int block);

    const std::vector<ReceivedBlock>& Image() const { return image_; }
    bool Completed() const { return completed_; }
    // True once after each completion, for the amplifier to restart.
    bool TakeCompletion();

    void Render(ScreenBuffer& screen) const;

private:
    void Start(std::vector<std::uint8_t>& out);
    void End(std::vector<std::uint8_t>& out);
    bool FaultAt(UpdateFault fault) const { return fault_ == fault && pending_ == faultBlock_; }

    Mode mode_ = Mode::Idle;
    UpdateFault fault_ = UpdateFault::None;
    int faultBlock_ = 0;
    bool silent_ = false;

    std::vector<ReceivedBlock> image_;
    int pending_ = 0; // index of the block the next frames belong to
    bool pendingHasData_ = false;
    std::uint8_t pendingTag_ = 0;
    int headerAttempts_ = 0; // of the pending block
    int dataAttempts_ = 0;
    bool totalAnswered_ = false; // the transfer-end reply carried the true total
    bool completed_ = false;
    bool completionPending_ = false;
};

} // namespace sim
