#pragma once
// A driver that sits between the windows and the simulated amplifier and
// passes every call through unchanged, watching the traffic on the way:
// it counts the poll transactions (query frames written) and the display
// frames that arrived whole and valid, which are exactly the frames the
// frame handler draws. It can also fail one write in the middle of a
// firmware transfer, after a chosen number of 4096-byte block writes, which
// no call counter of the simulator can aim at while the poll thread runs.

#include "support/ForwardingDriver.h"

#include <cstdint>
#include <mutex>
#include <vector>

class TapDriver final : public ForwardingDriver {
public:
    explicit TapDriver(FtdiDriver& inner) : ForwardingDriver(inner) {}

    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) override;

    std::uint64_t Queries() const;
    std::uint64_t ValidFrames() const;

    // The write that follows the `blocks`-th 4096-byte block write from now
    // on fails with FT_IO_ERROR (once).
    void FailWriteAfterBlocks(int blocks);
    void Disarm();
    bool Armed() const;

private:
    void Collect(const std::uint8_t* bytes, std::size_t count);

    mutable std::mutex mutex_;
    std::uint64_t queries_ = 0;
    std::uint64_t validFrames_ = 0;
    bool collecting_ = false;
    std::vector<std::uint8_t> frame_; // what the reads of the current transaction delivered
    int blocksUntilFailure_ = -1;     // < 0: not armed
    bool failNextWrite_ = false;
};
