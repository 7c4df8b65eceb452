#pragma once
// A driver that sits between the windows and the simulated amplifier and
// passes every call through unchanged, watching the traffic on the way:
// it counts the poll transactions (query frames written) and the display
// frames that arrived whole and valid, which are exactly the frames the
// frame handler draws. It can also fail one write in the middle of a
// firmware transfer, after a chosen number of 4096-byte block writes, which
// no call counter of the simulator can aim at while the poll thread runs.

#include "link/FtdiDriver.h"

#include <cstdint>
#include <mutex>
#include <vector>

class TapDriver final : public FtdiDriver {
public:
    explicit TapDriver(FtdiDriver& inner) : inner_(inner) {}

    std::string Name() const override { return inner_.Name(); }
    std::string LoadError() const override { return inner_.LoadError(); }

    FT_STATUS FT_Open(int deviceIndex, FT_HANDLE* handle) override { return inner_.FT_Open(deviceIndex, handle); }
    FT_STATUS FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle) override
    {
        return inner_.FT_OpenEx(arg, flags, handle);
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override { return inner_.FT_Close(handle); }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override { return inner_.FT_Purge(handle, mask); }
    FT_STATUS FT_ResetDevice(FT_HANDLE handle) override { return inner_.FT_ResetDevice(handle); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override
    {
        return inner_.FT_SetBaudRate(handle, baudRate);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override
    {
        return inner_.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) override
    {
        return inner_.FT_SetFlowControl(handle, flowControl, xonChar, xoffChar);
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override
    {
        return inner_.FT_SetTimeouts(handle, readTimeoutMs, writeTimeoutMs);
    }
    FT_STATUS FT_SetDtr(FT_HANDLE handle) override { return inner_.FT_SetDtr(handle); }
    FT_STATUS FT_ClrDtr(FT_HANDLE handle) override { return inner_.FT_ClrDtr(handle); }
    FT_STATUS FT_SetRts(FT_HANDLE handle) override { return inner_.FT_SetRts(handle); }
    FT_STATUS FT_ClrRts(FT_HANDLE handle) override { return inner_.FT_ClrRts(handle); }
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count) override
    {
        return inner_.FT_SetResetPipeRetryCount(handle, count);
    }
    FT_STATUS FT_CyclePort(FT_HANDLE handle) override { return inner_.FT_CyclePort(handle); }
    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override { return inner_.FT_CreateDeviceInfoList(numDevices); }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                     char* serialNumber, char* description, FT_HANDLE* handle) override
    {
        return inner_.FT_GetDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
    }

    std::uint64_t Queries() const;
    std::uint64_t ValidFrames() const;

    // The write that follows the `blocks`-th 4096-byte block write from now
    // on fails with FT_IO_ERROR (once).
    void FailWriteAfterBlocks(int blocks);
    void Disarm();
    bool Armed() const;

private:
    void Collect(const std::uint8_t* bytes, std::size_t count);

    FtdiDriver& inner_;
    mutable std::mutex mutex_;
    std::uint64_t queries_ = 0;
    std::uint64_t validFrames_ = 0;
    bool collecting_ = false;
    std::vector<std::uint8_t> frame_; // what the reads of the current transaction delivered
    int blocksUntilFailure_ = -1;     // < 0: not armed
    bool failNextWrite_ = false;
};
