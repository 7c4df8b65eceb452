#pragma once
// The simulated AVELKOR amplifier: a device of our own that speaks the real
// wire protocol byte for byte. It consumes the bytes the program writes and
// produces the bytes the program reads; the driver backend around it
// (SimDriver) adds queues, time-outs and the modem lines.
//
// Thread safety: SimAmplifier is not locked itself; SimDriver serialises
// every call into it under its own lock.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class AmpPanel;

// Lamp bits of the frame's lamp byte (a 0 bit means lit).
enum LampBit : std::uint8_t {
    kLampOn = 0x01,
    kLampTx = 0x08, // together with kLampOperate lights TX
    kLampOperate = 0x10,
    kLampSet = 0x20,
    kLampTune = 0x40,
    kLampAlarm = 0x80,
};

// Faults of the display-frame answers. Each applies to the next `count`
// queries (count < 0: until cleared).
enum class FrameFault {
    None,
    Silence,             // no answer at all
    GarbageBeforeHeader, // a stray 0x00, then a valid frame
    WrongComplement,     // the length repeated instead of complemented
    WrongType,           // type byte 2
    BadChecksum,         // checksum off by one
    SwappedChecksum,     // the two checksum bytes swapped
    ShortFrame,          // the frame cut off in the middle of the payload
    HeaderOnly,          // AA AA and then nothing
    HugeLength,          // a length field whose payload exceeds 4096 bytes
};

// Faults of the firmware receiver.
enum class UpdateFault {
    None,
    NeverAckStart,        // never answers the update-start code
    DropAckAtBlock,       // no ACK for the header of block n (every attempt)
    DropAckOnceAtBlock,   // no ACK for the first header attempt of block n only
    WrongEchoAtBlock,     // wrong checksum echo for block n (every attempt)
    WrongEchoOnceAtBlock, // wrong checksum echo for the first data attempt of block n
    SilentFromBlock,      // falls silent from block n on
    ShortReplyAtBlock,    // an eight-byte checksum reply for block n
    WrongTotal,           // wrong package total echoed after the transfer-end code
};

struct ReceivedBlock {
    std::uint8_t tag = 0;
    std::vector<std::uint8_t> data; // 4096 bytes
};

class SimAmplifier {
public:
    explicit SimAmplifier(bool poweredOn = true);

    // --- byte level (called by SimDriver) ---
    // Consumes bytes written by the program; answers are appended to `out`.
    // The first form keeps the amplifier's time where it was; the second
    // advances it to nowMs first (the tune cycle and the parser's inter-byte
    // time-out run on this time).
    void Consume(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out);
    void Consume(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out, std::int64_t nowMs);
    // Modem lines, with the time of the change in ms (the power-on pulse is
    // DTR low and RTS high for about one second, 900 ms or more).
    void SetLines(bool dtr, bool rts, std::int64_t nowMs);

    // --- state ---
    bool PoweredOn() const;
    void SetPoweredOn(bool on);
    std::uint8_t LampByte() const;       // as sent in frames (0 bit = lit)
    void SetLampByte(std::uint8_t lamp); // fixes the lamps (tests)
    void ClearLampOverride();            // back to the model's own lamps
    // The 360-byte payload of the next display frame: 320 codes, 40 attribute bytes.
    std::vector<std::uint8_t> Payload() const;
    // Text of row r as plain ASCII (codes 0..94 mapped back to 0x20..0x7E, others '.').
    std::string RowText(int row) const;
    // Every key code received (command frames with a one-byte payload), in order,
    // the query code excluded.
    const std::vector<std::uint8_t>& KeyCodes() const;
    void ClearKeyCodes();

    // The front panel behind the screen (key effects, tune cycle, settings).
    const AmpPanel& Panel() const;

    // --- faults ---
    void InjectFrameFault(FrameFault fault, int count = 1);
    // Blocks count from 0 in transfer order; for SilentFromBlock the
    // transfer-end code counts as the block after the last one.
    void InjectUpdateFault(UpdateFault fault, int block = 0);

    // --- firmware receiver ---
    bool UpdateMode() const; // between announce/start and complete/resume
    const std::vector<ReceivedBlock>& ReceivedImage() const;
    bool UpdateCompleted() const; // the update-complete code arrived after a matching total
    // After a completed update the amplifier restarts and stays off until the
    // power-on pulse; the firmware version on its information page goes up.

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace sim
