#pragma once
// A driver that records every call as text ("FT_SetBaudRate(115200)") with
// the handle it was given, and fails one chosen operation with a chosen status.

#include "link/FtdiDriver.h"

#include <string>
#include <vector>

class RecordingDriver final : public FtdiDriver {
public:
    std::vector<std::string> calls;
    std::vector<FT_HANDLE> handles;
    std::string failOp; // operation name, e.g. "FT_SetBaudRate"
    FT_STATUS failStatus = FT_OK;

    std::string Name() const override { return "recording"; }

    FT_STATUS FT_Open(int index, FT_HANDLE* h) override { return Call(nullptr, "FT_Open", Args(index), h); }
    FT_STATUS FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* h) override
    {
        return Call(nullptr, "FT_OpenEx", std::string(arg) + ", " + Args(flags), h);
    }
    FT_STATUS FT_Close(FT_HANDLE h) override { return Call(h, "FT_Close"); }
    FT_STATUS FT_Read(FT_HANDLE h, void*, DWORD count, DWORD* got) override
    {
        *got = 0;
        return Call(h, "FT_Read", Args(count));
    }
    FT_STATUS FT_Write(FT_HANDLE h, const void*, DWORD count, DWORD* put) override
    {
        *put = count;
        return Call(h, "FT_Write", Args(count));
    }
    FT_STATUS FT_Purge(FT_HANDLE h, ULONG mask) override { return Call(h, "FT_Purge", Args(mask)); }
    FT_STATUS FT_ResetDevice(FT_HANDLE h) override { return Call(h, "FT_ResetDevice"); }
    FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG rate) override { return Call(h, "FT_SetBaudRate", Args(rate)); }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR bits, UCHAR stop, UCHAR parity) override
    {
        return Call(h, "FT_SetDataCharacteristics", Args(bits, stop, parity));
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE h, USHORT flow, UCHAR xon, UCHAR xoff) override
    {
        return Call(h, "FT_SetFlowControl", Args(flow, xon, xoff));
    }
    FT_STATUS FT_SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG writeMs) override
    {
        return Call(h, "FT_SetTimeouts", Args(readMs, writeMs));
    }
    FT_STATUS FT_SetDtr(FT_HANDLE h) override { return Call(h, "FT_SetDtr"); }
    FT_STATUS FT_ClrDtr(FT_HANDLE h) override { return Call(h, "FT_ClrDtr"); }
    FT_STATUS FT_SetRts(FT_HANDLE h) override { return Call(h, "FT_SetRts"); }
    FT_STATUS FT_ClrRts(FT_HANDLE h) override { return Call(h, "FT_ClrRts"); }
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE h, DWORD count) override
    {
        return Call(h, "FT_SetResetPipeRetryCount", Args(count));
    }
    FT_STATUS FT_CyclePort(FT_HANDLE h) override { return Call(h, "FT_CyclePort"); }
    FT_STATUS FT_CreateDeviceInfoList(DWORD* n) override
    {
        *n = 0;
        return Call(nullptr, "FT_CreateDeviceInfoList");
    }
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD*, DWORD*, DWORD*, DWORD*, char*, char*, FT_HANDLE*) override
    {
        return Call(nullptr, "FT_GetDeviceInfoDetail", Args(index));
    }

private:
    template <typename... T> static std::string Args(T... values)
    {
        std::string text;
        ((text += (text.empty() ? "" : ", ") + std::to_string(static_cast<unsigned long>(values))), ...);
        return text;
    }

    FT_STATUS Call(FT_HANDLE h, const std::string& op, const std::string& args = {}, FT_HANDLE* out = nullptr)
    {
        calls.push_back(op + "(" + args + ")");
        handles.push_back(h);
        if (op == failOp)
            return failStatus;
        if (out)
            *out = reinterpret_cast<FT_HANDLE>(0x1234);
        return FT_OK;
    }
};
