#pragma once
// A driver with nothing but a device list, for the connection dialog's tests:
// the number of devices, the statuses and flags it reports, and serial numbers
// of any length (written into the caller's 32-byte buffer without a NUL when
// they fill it).

#include "link/FtdiDriver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

class DeviceListDriver final : public FtdiDriver {
public:
    std::vector<std::string> serials;
    bool setsCount = true; // false: the list request fails and leaves the number alone
    FT_STATUS detailStatus = FT_OK;
    DWORD detailFlags = 0;
    int detailCalls = 0;

    std::string Name() const override { return "device list"; }

    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override
    {
        if (!setsCount) {
            return FT_IO_ERROR;
        }
        *numDevices = static_cast<DWORD>(serials.size());
        return FT_OK;
    }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD*, DWORD*, DWORD*, char* serialNumber,
                                     char* description, FT_HANDLE*) override
    {
        ++detailCalls;
        *flags = detailFlags;
        const std::string& serial = serials.at(index);
        std::memset(serialNumber, 0, FT_SERIAL_BUFFER);
        std::memcpy(serialNumber, serial.data(), std::min<size_t>(serial.size(), FT_SERIAL_BUFFER));
        std::strcpy(description, "AVELKOR AMPLIFIER");
        return detailStatus;
    }

    FT_STATUS FT_Open(int, FT_HANDLE*) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_OpenEx(const char*, DWORD, FT_HANDLE*) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_Close(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_Read(FT_HANDLE, void*, DWORD, DWORD*) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_Write(FT_HANDLE, const void*, DWORD, DWORD*) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_Purge(FT_HANDLE, ULONG) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_ResetDevice(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetBaudRate(FT_HANDLE, ULONG) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetTimeouts(FT_HANDLE, ULONG, ULONG) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetDtr(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_ClrDtr(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetRts(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_ClrRts(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE, DWORD) override { return FT_NOT_SUPPORTED; }
    FT_STATUS FT_CyclePort(FT_HANDLE) override { return FT_NOT_SUPPORTED; }
};
