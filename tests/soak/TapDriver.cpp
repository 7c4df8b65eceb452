#include "TapDriver.h"

#include "protocol/Frames.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kBlockBytes = 4096;
// AA AA AA, length, complement, then `length` bytes (type, lamp, payload), then the checksum.
constexpr std::size_t kFrameOverhead = 3 + 2 + 2 + 2;

std::uint16_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

} // namespace

FT_STATUS TapDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    {
        std::lock_guard lock(mutex_);
        if (failNextWrite_) {
            failNextWrite_ = false;
            if (bytesWritten)
                *bytesWritten = 0;
            return FT_IO_ERROR;
        }
        if (bytesToWrite == kBlockBytes && blocksUntilFailure_ > 0 && --blocksUntilFailure_ == 0) {
            blocksUntilFailure_ = -1;
            failNextWrite_ = true;
        }
        if (bytesToWrite == protocol::kQueryFrame.size() && buffer &&
            std::memcmp(buffer, protocol::kQueryFrame.data(), bytesToWrite) == 0) {
            ++queries_;
            collecting_ = true;
            frame_.clear();
        }
    }
    return Inner().FT_Write(handle, buffer, bytesToWrite, bytesWritten);
}

FT_STATUS TapDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    const FT_STATUS status = Inner().FT_Read(handle, buffer, bytesToRead, bytesReturned);
    if (status == FT_OK && bytesReturned && *bytesReturned > 0)
        Collect(static_cast<const std::uint8_t*>(buffer), *bytesReturned);
    return status;
}

// Gathers the bytes that answer a query; a frame counts once all of it has
// been read and it passes every rule the poll transaction applies.
void TapDriver::Collect(const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard lock(mutex_);
    if (!collecting_)
        return;
    frame_.insert(frame_.end(), bytes, bytes + count);
    const std::size_t header = std::min<std::size_t>(frame_.size(), 3);
    if (!std::all_of(frame_.begin(), frame_.begin() + static_cast<std::ptrdiff_t>(header),
                     [](std::uint8_t b) { return b == protocol::kHeaderByte; })) {
        collecting_ = false;
        return;
    }
    if (frame_.size() < 7)
        return;
    const std::uint16_t length = Le16(&frame_[3]);
    if (Le16(&frame_[5]) != static_cast<std::uint16_t>(length ^ 0xFFFF) || length < 2 ||
        length - 2 > protocol::kReceiveBufferSize) {
        collecting_ = false;
        return;
    }
    const std::size_t total = kFrameOverhead + length;
    if (frame_.size() < total)
        return;
    collecting_ = false;
    if (frame_.size() != total || frame_[7] != protocol::kDisplayType)
        return;
    const std::uint16_t sum = protocol::Sum16(&frame_[7], length);
    if (sum == Le16(&frame_[7 + length]))
        ++validFrames_;
}

std::uint64_t TapDriver::Queries() const
{
    std::lock_guard lock(mutex_);
    return queries_;
}

std::uint64_t TapDriver::ValidFrames() const
{
    std::lock_guard lock(mutex_);
    return validFrames_;
}

void TapDriver::FailWriteAfterBlocks(int blocks)
{
    std::lock_guard lock(mutex_);
    blocksUntilFailure_ = blocks;
    failNextWrite_ = false;
}

void TapDriver::Disarm()
{
    std::lock_guard lock(mutex_);
    blocksUntilFailure_ = -1;
    failNextWrite_ = false;
}

bool TapDriver::Armed() const
{
    std::lock_guard lock(mutex_);
    return blocksUntilFailure_ > 0 || failNextWrite_;
}
