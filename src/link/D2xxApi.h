#pragma once
// The C entry points of FTDI's D2XX library, declared here from its public
// documentation: plain C functions returning a 32-bit FT status, DWORD and
// ULONG 32-bit unsigned, FT_HANDLE an opaque pointer. On 32-bit Windows the
// library uses the WINAPI (__stdcall) convention; everywhere else the
// platform's C convention.

#include "link/FtTypes.h"

#if defined(_WIN32) && !defined(_WIN64)
#define VORLINQ_FTAPI __stdcall
#else
#define VORLINQ_FTAPI
#endif

namespace d2xx {

using Open = FT_STATUS(VORLINQ_FTAPI*)(int deviceNumber, FT_HANDLE* handle);
using OpenEx = FT_STATUS(VORLINQ_FTAPI*)(void* arg, DWORD flags, FT_HANDLE* handle);
using Close = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle);
using Read = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
using Write = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
using Purge = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, ULONG mask);
using ResetDevice = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle);
using SetBaudRate = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, ULONG baudRate);
using SetDataCharacteristics = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                         UCHAR parity);
using SetFlowControl = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar);
using SetTimeouts = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs);
using ModemLine = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle); // FT_SetDtr, FT_ClrDtr, FT_SetRts, FT_ClrRts
using SetResetPipeRetryCount = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, DWORD count);
using CyclePort = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle);
using SetLatencyTimer = FT_STATUS(VORLINQ_FTAPI*)(FT_HANDLE handle, UCHAR timerMs);
using CreateDeviceInfoList = FT_STATUS(VORLINQ_FTAPI*)(DWORD* numDevices);
using GetDeviceInfoDetail = FT_STATUS(VORLINQ_FTAPI*)(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                                      void* serialNumber, void* description, FT_HANDLE* handle);

// The resolved entry points of one loaded library.
struct Api {
    Open open = nullptr;
    OpenEx openEx = nullptr;
    Close close = nullptr;
    Read read = nullptr;
    Write write = nullptr;
    Purge purge = nullptr;
    ResetDevice resetDevice = nullptr;
    SetBaudRate setBaudRate = nullptr;
    SetDataCharacteristics setDataCharacteristics = nullptr;
    SetFlowControl setFlowControl = nullptr;
    SetTimeouts setTimeouts = nullptr;
    ModemLine setDtr = nullptr;
    ModemLine clrDtr = nullptr;
    ModemLine setRts = nullptr;
    ModemLine clrRts = nullptr;
    // These three exist only in some of the library's builds (not every Linux
    // build has them); D2xxDriver stands in for them when they are missing.
    SetResetPipeRetryCount setResetPipeRetryCount = nullptr;
    CyclePort cyclePort = nullptr;
    SetLatencyTimer setLatencyTimer = nullptr;
    CreateDeviceInfoList createDeviceInfoList = nullptr;
    GetDeviceInfoDetail getDeviceInfoDetail = nullptr;
};

} // namespace d2xx
