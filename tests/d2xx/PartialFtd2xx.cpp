// A D2XX library build without FT_SetResetPipeRetryCount, FT_CyclePort and
// FT_SetLatencyTimer, as some platforms' builds of the real library are. Every other entry point
// succeeds without effect and reports one device.

#include "link/D2xxApi.h"

#if defined(_WIN32)
#define PARTIAL_EXPORT extern "C" __declspec(dllexport)
#else
#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

int dummyDevice;

FT_STATUS Opened(FT_HANDLE* handle)
{
    *handle = &dummyDevice;
    return FT_OK;
}

FT_STATUS Counted(DWORD* count, DWORD value)
{
    *count = value;
    return FT_OK;
}

} // namespace

PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_Open(int, FT_HANDLE* h)
{
    return Opened(h);
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_OpenEx(void*, DWORD, FT_HANDLE* h)
{
    return Opened(h);
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_Close(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_Read(FT_HANDLE, void*, DWORD, DWORD* got)
{
    return Counted(got, 0);
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_Write(FT_HANDLE, void*, DWORD n, DWORD* put)
{
    return Counted(put, n);
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_Purge(FT_HANDLE, ULONG)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_ResetDevice(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetBaudRate(FT_HANDLE, ULONG)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetTimeouts(FT_HANDLE, ULONG, ULONG)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetDtr(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_ClrDtr(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetRts(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_ClrRts(FT_HANDLE)
{
    return FT_OK;
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_CreateDeviceInfoList(DWORD* n)
{
    return Counted(n, 1);
}
PARTIAL_EXPORT FT_STATUS VORLINQ_FTAPI FT_GetDeviceInfoDetail(DWORD, DWORD* flags, DWORD*, DWORD*, DWORD*, void*, void*,
                                                              FT_HANDLE*)
{
    return Counted(flags, 0);
}
