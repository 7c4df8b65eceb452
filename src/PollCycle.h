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
