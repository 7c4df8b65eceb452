#pragma once
// The poll engine's transaction: one query, one display frame read and
// validated, and what it leaves for the main thread's handlers (the frame in
// the receive buffer with its lamp byte, and which of frame, silence or link
// error came). The window and the headless station both poll through it, on
// a TExecThread.

#include "link/FtTypes.h"
#include "protocol/Frames.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

class FtdiDriver;
class TExecThread;

class PollCycle {
public:
    std::array<std::uint8_t, protocol::kReceiveBufferSize> RxBuffer{};
    std::uint8_t LampByte = 0;
    int PayloadLength = 0; // of the last valid frame
    std::atomic<std::uint8_t> FrameReady{0};
    std::atomic<std::uint8_t> DeviceSilent{0};
    std::atomic<std::uint8_t> LinkError{0};

    // Poll thread: one transaction; raises FrameReady or DeviceSilent, or
    // LinkError with the reason in the thread's error text. A bad frame
    // raises nothing.
    void Transaction(FtdiDriver& driver, FT_HANDLE handle, TExecThread* thread);

    void ClearFlags()
    {
        FrameReady = 0;
        DeviceSilent = 0;
        LinkError = 0;
    }
};

// Whoever shares the link besides the one polling it (a station on a broker):
// the poll engine's results on the main thread, inside the hand-over.
class PollListener {
public:
    virtual ~PollListener() = default;
    // A valid frame: its lamp byte and payload (at least the full payload's
    // 360 bytes are readable, as for the drawing).
    virtual void Frame(std::uint8_t lampByte, const std::uint8_t* payload, int length) = 0;
    virtual void Silent() = 0;                            // the amplifier does not answer
    virtual void LinkDown(const std::string& reason) = 0; // the link is closed or lost
    virtual void Updating() = 0;                          // a firmware update took the link
};
