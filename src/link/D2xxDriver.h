#pragma once
// The D2XX backend of the FTDI driver interface: FTDI's own driver library,
// loaded at run time. The program starts without it; a library that cannot be
// loaded leaves a backend whose LoadError() says why and whose every operation
// fails with FT_DEVICE_NOT_FOUND, so Connect can tell the user.
//
// The library is thread-safe per handle. This wrapper adds no lock: the
// resolved entry points never change after construction, so a command write
// from the main thread goes straight to the library even while the poll
// thread sits in a blocking FT_Read.

#include "link/D2xxApi.h"
#include "link/FtdiDriver.h"

#include <atomic>
#include <memory>
#include <string>

class QLibrary;

class D2xxDriver final : public FtdiDriver {
public:
    // The library's name on this system: "ftd2xx" (ftd2xx.dll) on Windows,
    // "libftd2xx.so" on Linux, found through the standard search path (so
    // LD_LIBRARY_PATH applies).
    static std::string DefaultLibraryName();

    // Loads the library by the given name or path.
    explicit D2xxDriver(const std::string& library = DefaultLibraryName());
    ~D2xxDriver() override;

    D2xxDriver(const D2xxDriver&) = delete;
    D2xxDriver& operator=(const D2xxDriver&) = delete;

    // True when the library loads and reports at least one device; the
    // program's choice of backend asks this.
    static bool Available(const std::string& library = DefaultLibraryName());

    std::string Name() const override { return "D2XX"; }
    std::string LoadError() const override { return loadError_; }

    FT_STATUS FT_Open(int deviceIndex, FT_HANDLE* handle) override;
    FT_STATUS FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override;
    FT_STATUS FT_ResetDevice(FT_HANDLE handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) override;
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) override;
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) override;
    FT_STATUS FT_SetDtr(FT_HANDLE handle) override;
    FT_STATUS FT_ClrDtr(FT_HANDLE handle) override;
    FT_STATUS FT_SetRts(FT_HANDLE handle) override;
    FT_STATUS FT_ClrRts(FT_HANDLE handle) override;
    FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count) override;
    FT_STATUS FT_CyclePort(FT_HANDLE handle) override;
    FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) override;
    FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                     char* serialNumber, char* description, FT_HANDLE* handle) override;
    // A library without FT_SetLatencyTimer, or a failed call, is reported on
    // standard error, the first time only: the link works on, only slower.
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs) override;

private:
    bool Loaded() const { return loadError_.empty(); }
    void ReportLatencyOnce(const std::string& why);

    std::unique_ptr<QLibrary> library_;
    d2xx::Api api_; // all null unless loaded; never changed afterwards
    std::string loadError_;
    std::atomic<bool> latencyReported_{false};
};
