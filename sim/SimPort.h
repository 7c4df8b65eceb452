#pragma once
// One simulated USB-serial device: the amplifier behind it, its serial
// number, whether it is open, the port settings and modem lines, and the
// receive queue in which every byte carries the time it becomes readable.
//
// At wire speed the chip's way upstream is modelled too: received bytes go
// to the computer in USB packets of 62 data bytes, a full packet at once, a
// partial one only when the chip's latency timer expires. The timer restarts
// whenever a packet goes up and otherwise runs freely (an idle chip sends an
// empty packet each time it expires), so the last bytes of an answer wait
// between nothing and the whole timer, depending on where they fall in its
// period. Instant mode makes every answer readable at once.
//
// Not locked itself: SimDriver holds its lock around every use.

#include "link/FtTypes.h"
#include "sim/SimAmplifier.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim {

class SimPort {
public:
    static constexpr double kBytesPerMs = 11.52; // 115200 baud, 8N1
    static constexpr ULONG kDefaultTimeoutMs = 1200;
    static constexpr ULONG kLinkBaud = 115200;
    static constexpr std::size_t kPacketDataBytes = 62; // a 64-byte USB packet less two status bytes
    static constexpr UCHAR kDefaultLatencyMs = 16;

    SimPort(std::string serial, bool poweredOn) : serial(std::move(serial)), amp(poweredOn) {}

    // Resting state of a freshly opened device.
    void Open(FT_HANDLE newHandle, std::int64_t nowMs);
    void Close(std::int64_t nowMs);
    void SetLines(bool newDtr, bool newRts, std::int64_t nowMs);

    // Bytes written by the program at nowMs. In wire-speed mode they occupy
    // the line after any earlier write; returns the time the last byte is out.
    double Send(const std::uint8_t* bytes, std::size_t count, double nowMs, bool wireSpeed, int usbLatencyMs,
                bool keepWritten);

    std::size_t ReadyCount(double nowMs) const;
    // Time at which the first `count` bytes are readable (or all queued ones, if fewer).
    double ReadyAt(std::size_t count) const;
    std::size_t Take(std::uint8_t* into, std::size_t count);
    void DropReceived();

    // The amplifier only understands the link at 115200 baud, 8 data bits,
    // 1 stop bit, no parity; at any other setting the bytes are lost.
    bool LinkMatches() const;

    std::string serial;
    SimAmplifier amp;
    bool open = false;
    FT_HANDLE handle = nullptr;
    bool dtr = false;
    bool rts = false;
    ULONG readTimeoutMs = kDefaultTimeoutMs;
    ULONG writeTimeoutMs = kDefaultTimeoutMs;
    ULONG baudRate = kLinkBaud;
    UCHAR wordLength = FT_BITS_8;
    UCHAR stopBits = FT_STOP_BITS_1;
    UCHAR parity = FT_PARITY_NONE;
    USHORT flowControl = FT_FLOW_NONE;
    DWORD resetPipeRetryCount = 0;
    UCHAR latencyTimerMs = kDefaultLatencyMs;
    double lastAnswerOutMs = 0;   // the last byte of the latest answer left the amplifier (wire speed)
    double lastAnswerReadyMs = 0; // and became readable, its packet through the chip
    std::vector<std::uint8_t> written;

private:
    struct RxByte {
        std::uint8_t value;
        double readyAtMs;
    };
    // A byte reaches the chip from the line at atMs (wire speed).
    void Arrive(std::uint8_t value, double atMs);

    std::deque<RxByte> rx_;
    double txFreeAtMs_ = 0;
    double rxFreeAtMs_ = 0;
    // The chip's packet being filled: its bytes are the last heldCount_ of
    // rx_, readable at heldUntilMs_ unless the packet fills first.
    double timerFromMs_ = 0; // the latency timer expires at this time plus whole periods
    std::size_t heldCount_ = 0;
    double heldUntilMs_ = 0;
};

} // namespace sim
