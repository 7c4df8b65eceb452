#pragma once
// One simulated USB-serial device: the amplifier behind it, its serial
// number, whether it is open, the port settings and modem lines, and the
// receive queue in which every byte carries the time it becomes readable.
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
    std::vector<std::uint8_t> written;

private:
    struct RxByte {
        std::uint8_t value;
        double readyAtMs;
    };
    std::deque<RxByte> rx_;
    double txFreeAtMs_ = 0;
    double rxFreeAtMs_ = 0;
};

} // namespace sim
