#pragma once
// A driver that passes every call on to another one. Test drivers that watch
// or alter the traffic derive from it and override only the calls they care
// about; OnCall runs first in every call (a place to count or to throw),
// OnHandleCall next in every call on a device handle.

#include "link/FtdiDriver.h"

class ForwardingDriver : public FtdiDriver {
public:
    explicit ForwardingDriver(FtdiDriver& inner) : inner_(inner) {}

    std::string Name() const override { return inner_.Name(); }
    std::string LoadError() const override { return inner_.LoadError(); }

    FT_STATUS FT_Open(int deviceIndex, FT_HANDLE* handle) override
    {
        OnCall("FT_Open");
        return inner_.FT_Open(deviceIndex, handle);
    }
    FT_STATUS FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle) override
    {
        OnCall("FT_OpenEx");
        return inner_.FT_OpenEx(arg, flags, handle);
    }
    FT_STATUS FT_Close(FT_HANDLE handle) override
    {
        OnCall("FT_Close");
        OnHandleCall("FT_Close", handle);
        return inner_.FT_Close(handle);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override
    {
        OnCall("FT_Read");
        OnHandleCall("FT_Read", handle);
        return inner_.FT_Read(handle, buffer, bytesToRead, bytesReturned);
    }
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) override
    {
        OnCall("FT_Write");
        OnHandleCall("FT_Write", handle);
        return inner_.FT_Write(handle, buffer, bytesToWrite, bytesWritten);
    }
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override
    {
        OnCall("FT_Purge");
        OnHandleCall("FT_Purge", handle);
        return inner_.FT_Purge(handle, mask);
    }
    FT_STATUS FT_ResetDevice(FT_HANDLE handle) override
    {
        OnCall("FT_ResetDevice");
        OnHandleCall("FT_ResetDevice", handle);
        return inner_.FT_ResetDevice(handle);
    }
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override
    {
        OnCall("FT_SetBaudRate");
        OnHandleCall("FT_SetBaudRate", handle);
        return inner_.FT_SetBaudRate(handle, baudRate);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override
    {
        OnCall("FT_SetDataCharacteristics");
        OnHandleCall("FT_SetDataCharacteristics", handle);
        return inner_.FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) override
    {
        OnCall("FT_SetFlowControl");
        OnHandleCall("FT_SetFlowControl", handle);
        return inner_.FT_SetFlowControl(handle, flowControl, xonChar, xoffChar);
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override
    {
        OnCall("FT_SetTimeouts");
        OnHandleCall("FT_SetTimeouts", handle);
        return inner_.FT_SetTimeouts(handle, readTimeoutMs, writeTimeoutMs);
    }
    FT_STATUS FT_SetDtr(FT_HANDLE handle) override
    {
        OnCall("FT_SetDtr");
        OnHandleCall("FT_SetDtr", handle);
        return inner_.FT_SetDtr(handle);
    }
    FT_STATUS FT_ClrDtr(FT_HANDLE handle) override
    {
        OnCall("FT_ClrDtr");
        OnHandleCall("FT_ClrDtr", handle);
        return inner_.FT_ClrDtr(handle);
    }
    FT_STATUS FT_SetRts(FT_HANDLE handle) override
    {
        OnCall("FT_SetRts");
        OnHandleCall("FT_SetRts", handle);
        return inner_.FT_SetRts(handle);
    }
    FT_STATUS FT_ClrRts(FT_HANDLE handle) override
    {
        OnCall("FT_ClrRts");
        OnHandleCall("FT_ClrRts", handle);
        return inner_.FT_ClrRts(handle);
    }
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count) override
    {
        OnCall("FT_SetResetPipeRetryCount");
        OnHandleCall("FT_SetResetPipeRetryCount", handle);
        return inner_.FT_SetResetPipeRetryCount(handle, count);
    }
    FT_STATUS FT_CyclePort(FT_HANDLE handle) override
    {
        OnCall("FT_CyclePort");
        OnHandleCall("FT_CyclePort", handle);
        return inner_.FT_CyclePort(handle);
    }
    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override
    {
        OnCall("FT_CreateDeviceInfoList");
        return inner_.FT_CreateDeviceInfoList(numDevices);
    }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                     char* serialNumber, char* description, FT_HANDLE* handle) override
    {
        OnCall("FT_GetDeviceInfoDetail");
        return inner_.FT_GetDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
    }
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs) override
    {
        OnCall("FT_SetLatencyTimer");
        return inner_.FT_SetLatencyTimer(handle, timerMs);
    }

protected:
    virtual void OnCall(const char* /*op*/) {}
    // Runs next in every call on a device handle, with that handle.
    virtual void OnHandleCall(const char* /*op*/, FT_HANDLE /*handle*/) {}
    FtdiDriver& Inner() { return inner_; }

private:
    FtdiDriver& inner_;
};
