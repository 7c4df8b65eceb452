// A stand-in for FTDI's D2XX library, built as libftd2xx.so by the tests: the
// same nineteen C entry points, served by the simulated amplifier. It lets the
// D2XX backend be loaded by path or by its standard name and drive a device
// end to end without the real library or hardware.
//
// The simulated driver runs on this library's own real clock with its
// default device: one powered-on amplifier, serial number "AV1A2B3C".
// Beyond the library's API it exports FakeFtd2xxCalls, the driver calls it
// has served so far, for the tests to check their order.

#include "link/D2xxApi.h"
#include "sim/SimDriver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

sim::SimDriver& Sim()
{
    static sim::SimDriver driver;
    return driver;
}

} // namespace

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_Open(int deviceNumber, FT_HANDLE* handle)
{
    return Sim().FT_Open(deviceNumber, handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle)
{
    return Sim().FT_OpenEx(static_cast<const char*>(arg), flags, handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_Close(FT_HANDLE handle)
{
    return Sim().FT_Close(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    return Sim().FT_Read(handle, buffer, bytesToRead, bytesReturned);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    return Sim().FT_Write(handle, buffer, bytesToWrite, bytesWritten);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_Purge(FT_HANDLE handle, ULONG mask)
{
    return Sim().FT_Purge(handle, mask);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_ResetDevice(FT_HANDLE handle)
{
    return Sim().FT_ResetDevice(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return Sim().FT_SetBaudRate(handle, baudRate);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                                              UCHAR parity)
{
    return Sim().FT_SetDataCharacteristics(handle, wordLength, stopBits, parity);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar,
                                                      UCHAR xoffChar)
{
    return Sim().FT_SetFlowControl(handle, flowControl, xonChar, xoffChar);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    return Sim().FT_SetTimeouts(handle, readTimeoutMs, writeTimeoutMs);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetDtr(FT_HANDLE handle)
{
    return Sim().FT_SetDtr(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_ClrDtr(FT_HANDLE handle)
{
    return Sim().FT_ClrDtr(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetRts(FT_HANDLE handle)
{
    return Sim().FT_SetRts(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_ClrRts(FT_HANDLE handle)
{
    return Sim().FT_ClrRts(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count)
{
    return Sim().FT_SetResetPipeRetryCount(handle, count);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_CyclePort(FT_HANDLE handle)
{
    return Sim().FT_CyclePort(handle);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs)
{
    return Sim().FT_SetLatencyTimer(handle, timerMs);
}

// "FT_Open 0,FT_SetResetPipeRetryCount 10000,..." (operation and first
// argument of each call) into `into`, cut at `size` - 1 characters.
FAKE_EXPORT void FakeFtd2xxCalls(char* into, std::size_t size)
{
    std::string calls;
    for (const sim::CallRecord& call : Sim().Calls())
        calls += (calls.empty() ? "" : ",") + call.op + " " + std::to_string(call.arg);
    const std::size_t n = std::min(calls.size(), size - 1);
    std::memcpy(into, calls.data(), n);
    into[n] = '\0';
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_CreateDeviceInfoList(DWORD* numDevices)
{
    return Sim().FT_CreateDeviceInfoList(numDevices);
}

FAKE_EXPORT FT_STATUS VORLINQ_FTAPI FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id,
                                                           DWORD* locId, void* serialNumber, void* description,
                                                           FT_HANDLE* handle)
{
    return Sim().FT_GetDeviceInfoDetail(index, flags, type, id, locId, static_cast<char*>(serialNumber),
                                        static_cast<char*>(description), handle);
}

// Each entry point must match the type the D2XX backend resolves it as.
static_assert(std::is_same_v<decltype(&FT_Open), d2xx::Open>);
static_assert(std::is_same_v<decltype(&FT_OpenEx), d2xx::OpenEx>);
static_assert(std::is_same_v<decltype(&FT_Close), d2xx::Close>);
static_assert(std::is_same_v<decltype(&FT_Read), d2xx::Read>);
static_assert(std::is_same_v<decltype(&FT_Write), d2xx::Write>);
static_assert(std::is_same_v<decltype(&FT_Purge), d2xx::Purge>);
static_assert(std::is_same_v<decltype(&FT_ResetDevice), d2xx::ResetDevice>);
static_assert(std::is_same_v<decltype(&FT_SetBaudRate), d2xx::SetBaudRate>);
static_assert(std::is_same_v<decltype(&FT_SetDataCharacteristics), d2xx::SetDataCharacteristics>);
static_assert(std::is_same_v<decltype(&FT_SetFlowControl), d2xx::SetFlowControl>);
static_assert(std::is_same_v<decltype(&FT_SetTimeouts), d2xx::SetTimeouts>);
static_assert(std::is_same_v<decltype(&FT_SetDtr), d2xx::ModemLine>);
static_assert(std::is_same_v<decltype(&FT_ClrDtr), d2xx::ModemLine>);
static_assert(std::is_same_v<decltype(&FT_SetRts), d2xx::ModemLine>);
static_assert(std::is_same_v<decltype(&FT_ClrRts), d2xx::ModemLine>);
static_assert(std::is_same_v<decltype(&FT_SetResetPipeRetryCount), d2xx::SetResetPipeRetryCount>);
static_assert(std::is_same_v<decltype(&FT_CyclePort), d2xx::CyclePort>);
static_assert(std::is_same_v<decltype(&FT_SetLatencyTimer), d2xx::SetLatencyTimer>);
static_assert(std::is_same_v<decltype(&FT_CreateDeviceInfoList), d2xx::CreateDeviceInfoList>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoDetail), d2xx::GetDeviceInfoDetail>);
