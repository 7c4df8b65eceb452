#pragma once
// Command, query and display frames of the amplifier's wire protocol.
//
// Command frame (program to amplifier): 55 55 55, payload length, payload,
// check byte = sum of the payload bytes modulo 256; for a key code c the six
// bytes 55 55 55 01 c c.
//
// Display frame (amplifier to program, little-endian): AA AA AA, length L,
// ~L, type 1, lamp byte, L - 2 payload bytes (320 character codes and 40
// attribute bytes in a full frame), 16-bit sum of type, lamp and payload.

#include "link/FtTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

class FtdiDriver;

namespace protocol {

// Codes bound to no front-panel key.
constexpr std::uint8_t kQueryCode = 0x80;
constexpr std::uint8_t kUpdateAnnounceCode = 0x64;
constexpr std::uint8_t kResumeCode = 0x65;
constexpr std::uint8_t kUpdateStartCode = 0x66;
constexpr std::uint8_t kUpdateCompleteCode = 0x67;
constexpr std::uint8_t kTransferEndCode = 0xCF;
constexpr std::uint8_t kAckCode = 0x06;

constexpr std::uint8_t kSync = 0x55;
constexpr std::uint8_t kHeaderByte = 0xAA;
constexpr std::uint8_t kDisplayType = 1;

constexpr int kColumns = 40;
constexpr int kRows = 8;
constexpr int kCharBytes = kColumns * kRows;        // 320
constexpr int kFullPayload = kCharBytes + kColumns; // 360
constexpr int kReceiveBufferSize = 4096;

using CommandFrame = std::array<std::uint8_t, 6>;

// 55 55 55 01 c c
constexpr CommandFrame BuildCommandFrame(std::uint8_t code)
{
    return {kSync, kSync, kSync, 0x01, code, code};
}

// The constant query frame 55 55 55 01 80 80.
constexpr CommandFrame kQueryFrame = BuildCommandFrame(kQueryCode);

// Writes the command frame for code with one FT_Write; the status is ignored
// (a dead link shows at the next poll transaction).
void SendCommand(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t code);

// 16-bit wrap-around sum used by display frames.
std::uint16_t Sum16(const std::uint8_t* bytes, std::size_t count, std::uint16_t start = 0);

enum class FrameOutcome {
    Valid,    // frame-ready
    NoAnswer, // device-silent: fewer than three header bytes, or not AA AA AA
    Bad,      // dropped without a trace
};

// Reads one display frame field by field, applying the acceptance rules in
// order. The header goes to rx[0..2]; the payload is read over it from rx[0];
// the lamp byte is stored into `lamp` as soon as it arrives. A length below 2
// or a payload longer than the receive buffer is a bad frame and no payload
// byte is read. Checked calls raise FT_Exception (locations 1271, 1285, 1293,
// 1307, 1318, 1352); payload reads ignore their status. `payloadLength`
// receives L - 2 of a valid frame.
FrameOutcome ReadDisplayFrame(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t* rx, std::uint8_t& lamp,
                              int* payloadLength = nullptr);

// The same rules applied to a frame held in memory (a frame that came by
// another way than the link): `bytes` must be exactly one frame. The payload
// goes to rx[0..] (room for kReceiveBufferSize bytes), the lamp byte to
// `lamp`. Never raises: memory does not fail.
FrameOutcome CheckDisplayFrame(const std::uint8_t* bytes, std::size_t size, std::uint8_t* rx, std::uint8_t& lamp,
                               int* payloadLength = nullptr);

// One poll transaction's traffic: purge both queues (1255), write the query
// frame (1256), then ReadDisplayFrame.
FrameOutcome PollOnce(FtdiDriver& driver, FT_HANDLE handle, std::uint8_t* rx, std::uint8_t& lamp,
                      int* payloadLength = nullptr);

} // namespace protocol
