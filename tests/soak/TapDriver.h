#pragma once
// A driver that sits between the windows and the simulated amplifier and
// passes every call through unchanged, watching the traffic on the way:
// it counts the poll transactions (query frames written) and the display
// frames that arrived whole and valid, which are exactly the frames the
// frame handler draws. It can also fail one write in the middle of a
// firmware transfer, after a chosen number of 4096-byte block writes, which
// no call counter of the simulator can aim at while the poll thread runs.
//
// For the interleaving run it also watches the rules that hold whatever the
// user does, and keeps a note of every breach: no call on a handle after its
// FT_Close, the modem lines pulsed one power-on at a time, no query frame
// while a firmware transfer runs, at most one poll thread alive at any query.
// It can hold the pulse's RTS step for a while of real time (a slow driver),
// so that overlapping power-on jobs really overlap, and make one chosen
// operation throw.

#include "support/ForwardingDriver.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
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

    // True while a firmware transfer runs (read from any thread).
    void SetTransferRunning(std::function<bool()> running);
    // Real microseconds that FT_SetRts takes.
    void SetRtsDelayUs(int us);
    // The next call of `op` throws std::runtime_error instead of reaching the driver.
    void ThrowFrom(const std::string& op);
    bool ThrowArmed() const;
    // The breaches noted since the last call.
    std::vector<std::string> TakeBreaches();

protected:
    void OnCall(const char* op) override;
    void OnHandleCall(const char* op, FT_HANDLE handle) override;

private:
    void Collect(const std::uint8_t* bytes, std::size_t count);
    void Breach(std::string what); // mutex_ held

    mutable std::mutex mutex_;
    std::uint64_t queries_ = 0;
    std::uint64_t validFrames_ = 0;
    bool collecting_ = false;
    std::vector<std::uint8_t> frame_; // what the reads of the current transaction delivered
    int blocksUntilFailure_ = -1;     // < 0: not armed
    bool failNextWrite_ = false;

    std::function<bool()> transferRunning_;
    int rtsDelayUs_ = 0;
    std::string throwOp_;
    std::set<FT_HANDLE> closed_;
    std::map<FT_HANDLE, int> pulseStep_; // 0 at rest, 1 DTR cleared, 2 RTS set, 3 DTR set again
    std::vector<std::string> breaches_;
};
