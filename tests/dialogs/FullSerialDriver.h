#pragma once
// A driver with one device whose serial number fills the whole 32-byte buffer
// with no NUL after it, as a real driver may hand it back. Nothing else works.

#include "link/FtdiDriver.h"

#include <cstring>

class FullSerialDriver final : public FtdiDriver {
public:
    static constexpr char kSerial[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    static_assert(sizeof kSerial - 1 == FT_SERIAL_BUFFER);

    std::string Name() const override { return "full serial"; }

    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override
    {
        *numDevices = 1;
        return FT_OK;
    }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD, DWORD* flags, DWORD*, DWORD*, DWORD*, char* serialNumber, char* description,
                                     FT_HANDLE*) override
    {
        *flags = 0;
        std::memcpy(serialNumber, kSerial, FT_SERIAL_BUFFER);
        std::strcpy(description, "AVELKOR AMPLIFIER");
        return FT_OK;
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
