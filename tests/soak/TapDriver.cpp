#include "TapDriver.h"

#include "Execunit.h"
#include "protocol/Frames.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

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
    OnCall("FT_Write");
    OnHandleCall("FT_Write", handle);
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
            if (transferRunning_ && transferRunning_())
                Breach("query frame written while a firmware transfer runs");
            if (const int alive = TExecThread::Alive(); alive > 1)
                Breach(std::to_string(alive) + " poll threads alive at a query");
            frame_.clear();
        }
    }
    return Inner().FT_Write(handle, buffer, bytesToWrite, bytesWritten);
}

FT_STATUS TapDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    OnCall("FT_Read");
    OnHandleCall("FT_Read", handle);
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

void TapDriver::SetTransferRunning(std::function<bool()> running)
{
    std::lock_guard lock(mutex_);
    transferRunning_ = std::move(running);
}

void TapDriver::SetRtsDelayUs(int us)
{
    std::lock_guard lock(mutex_);
    rtsDelayUs_ = us;
}

void TapDriver::ThrowFrom(const std::string& op)
{
    std::lock_guard lock(mutex_);
    throwOp_ = op;
}

bool TapDriver::ThrowArmed() const
{
    std::lock_guard lock(mutex_);
    return !throwOp_.empty();
}

std::vector<std::string> TapDriver::TakeBreaches()
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> taken;
    taken.swap(breaches_);
    return taken;
}

void TapDriver::Breach(std::string what)
{
    breaches_.push_back(std::move(what));
}

void TapDriver::OnCall(const char* op)
{
    std::lock_guard lock(mutex_);
    if (throwOp_ != op)
        return;
    throwOp_.clear();
    throw std::runtime_error(std::string("Injected failure in ") + op + ".");
}

void TapDriver::OnHandleCall(const char* op, FT_HANDLE handle)
{
    const std::string name = op;
    int delayUs = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_.count(handle))
            Breach(name + " on a handle after its FT_Close");
        if (name == "FT_Close")
            closed_.insert(handle);
        // One pulse at a time: DTR cleared, RTS set, DTR set, RTS cleared. At
        // rest DTR may be set and RTS cleared again (the link configuration).
        int& step = pulseStep_[handle];
        const int before = step;
        if (name == "FT_ClrDtr")
            step = before == 0 ? 1 : -1;
        else if (name == "FT_SetRts")
            step = before == 1 ? 2 : -1;
        else if (name == "FT_SetDtr")
            step = before == 2 ? 3 : before == 0 ? 0 : -1;
        else if (name == "FT_ClrRts")
            step = before == 3 || before == 0 ? 0 : -1;
        if (step < 0) {
            Breach(name + " out of turn in a power-on pulse (after step " + std::to_string(before) + ")");
            step = 0;
        }
        if (name == "FT_SetRts")
            delayUs = rtsDelayUs_;
    }
    if (delayUs > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
}
