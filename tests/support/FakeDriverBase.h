#pragma once
// A driver on which every operation succeeds and changes nothing: FT_OK from
// each call, no bytes read, every byte written, a non-null handle from the
// opens, and a device list of `deviceCount` devices (none unless a fake says
// otherwise) whose details are all zero. Test fakes derive from it and
// override only the operations they play a part in.

#include "link/FtdiDriver.h"

#include <cstring>
#include <initializer_list>
#include <string>

class FakeDriverBase : public FtdiDriver {
public:
    // The handle the opens hand out.
    static FT_HANDLE Handle() { return reinterpret_cast<FT_HANDLE>(0x1234); }

    DWORD deviceCount = 0;

    std::string Name() const override { return "fake"; }

    FT_STATUS FT_Open(int, FT_HANDLE* handle) override
    {
        *handle = Handle();
        return FT_OK;
    }
    FT_STATUS FT_OpenEx(const char*, DWORD, FT_HANDLE* handle) override
    {
        *handle = Handle();
        return FT_OK;
    }
    FT_STATUS FT_Close(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_Read(FT_HANDLE, void*, DWORD, DWORD* bytesReturned) override
    {
        *bytesReturned = 0;
        return FT_OK;
    }
    FT_STATUS FT_Write(FT_HANDLE, const void*, DWORD bytesToWrite, DWORD* bytesWritten) override
    {
        *bytesWritten = bytesToWrite;
        return FT_OK;
    }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return FT_OK; }
    FT_STATUS FT_ResetDevice(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return FT_OK; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return FT_OK; }
    FT_STATUS FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return FT_OK; }
    FT_STATUS FT_SetTimeouts(FT_HANDLE, ULONG, ULONG) override { return FT_OK; }
    FT_STATUS FT_SetDtr(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_ClrDtr(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_SetRts(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_ClrRts(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE, DWORD) override { return FT_OK; }
    FT_STATUS FT_CyclePort(FT_HANDLE) override { return FT_OK; }
    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override
    {
        *numDevices = deviceCount;
        return FT_OK;
    }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                     char* serialNumber, char* description, FT_HANDLE* handle) override
    {
        if (index >= deviceCount)
            return FT_DEVICE_NOT_FOUND;
        for (DWORD* field : {flags, type, id, locId})
            if (field)
                *field = 0;
        if (serialNumber)
            std::memset(serialNumber, 0, FT_SERIAL_BUFFER);
        if (description)
            std::memset(description, 0, FT_DESCRIPTION_BUFFER);
        if (handle)
            *handle = nullptr;
        return FT_OK;
    }
};
