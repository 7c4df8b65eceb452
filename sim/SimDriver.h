#pragma once
// The simulated-amplifier backend of the FTDI driver interface.
//
// One or more simulated devices (each a SimAmplifier with a USB serial
// number) behind the nineteen driver operations. Reads honour the read
// time-out on the injected clock: in instant mode (an InstantClock) a read
// that cannot be satisfied returns what is there after advancing the clock by
// the time-out; in wire-speed mode bytes arrive at 11,520 bytes per second
// each way, plus an optional USB latency, and reach the reader in the chip's
// 62-byte packets, a partial packet only when the chip's latency timer
// expires (16 ms unless FT_SetLatencyTimer sets it; see SimPort). All operations are safe from any
// number of threads; a write never waits behind a blocking read.
//
// Unlike the vendor's driver, a freshly opened device has read and write
// time-outs of 1200 ms (not "none"), so that a test that forgets to set them
// cannot hang; a time-out of 0 returns at once with what is there. Writes
// never time out: the amplifier takes every byte at once. The
// device also starts at the amplifier's 115200 baud, 8N1; set to anything
// else, the bytes written are lost on the way.
//
// Handles are opaque values, never dereferenced, unique for each open. The
// driver must outlive every thread that calls it.

#include "link/FtdiDriver.h"
#include "sim/SimAmplifier.h"
#include "toolkit/Clock.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct SimOptions {
    Clock* clock = nullptr;                          // nullptr: AppClock()
    bool wireSpeed = false;                          // pace bytes at 11,520 bytes/s each way
    int usbLatencyMs = 0;                            // extra delay before the first byte of an answer
    std::vector<std::string> serials = {"AV1A2B3C"}; // one device per serial number
    bool poweredOn = true;
    bool recordCalls = true; // keep Calls() and Written(); off for long runs
};

// The program's --simulator mode: one powered amplifier at wire speed on the
// application clock, nothing recorded.
SimOptions DemoOptions();

// One recorded driver call, for tests.
struct CallRecord {
    std::string op;                  // "FT_Open", "FT_SetDtr", ...
    std::int64_t atMs = 0;           // clock time of the call
    std::vector<std::uint8_t> bytes; // FT_Write: the bytes written
    std::uint32_t arg = 0;           // FT_SetTimeouts: read time-out; FT_Purge: mask; FT_SetBaudRate: rate ...
    std::uint32_t arg2 = 0;          // FT_SetTimeouts: write time-out
    FT_STATUS status = FT_OK;        // what the call returned
};
// Besides the written bytes, `bytes` holds what an FT_Read delivered and the
// text passed to FT_OpenEx. `arg` is the device index of FT_Open and
// FT_GetDeviceInfoDetail, the flags of FT_OpenEx, the count of FT_Read and
// FT_Write, the flow control of FT_SetFlowControl, the count of
// FT_SetResetPipeRetryCount and word length | stop bits << 8 | parity << 16
// for FT_SetDataCharacteristics.

class SimDriver final : public FtdiDriver {
public:
    explicit SimDriver(SimOptions options = {});
    ~SimDriver() override;

    std::string Name() const override { return "simulated amplifier"; }

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
    // 1 to 255 ms; back to 16 ms at every open. Recorded with the value in `arg`.
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs) override;

    // --- for tests, the demo and the benchmarks ---
    SimAmplifier& Device(int index = 0); // lock with Lock() when the driver is in use by threads
    std::unique_lock<std::recursive_mutex> Lock();

    // Makes the next `count` calls of operation `op` (e.g. "FT_Read") return
    // `status` without effect (they are still recorded); count < 0: until
    // ClearFailures().
    void FailOperation(const std::string& op, FT_STATUS status, int count = 1);
    void ClearFailures();
    // An unplugged device: every call on an open handle returns FT_IO_ERROR,
    // opens return FT_DEVICE_NOT_FOUND, the device list is empty. FT_Close
    // still releases such a handle (and returns FT_IO_ERROR). After Replug the
    // devices can be opened again; handles from before stay dead. The
    // amplifiers keep running: they have their own supply.
    void Unplug();
    void Replug();

    std::vector<CallRecord> Calls() const; // every driver call so far, in order
    void ClearCalls();
    // All bytes the program wrote to device `index`, in order.
    std::vector<std::uint8_t> Written(int index = 0) const;
    void ClearWritten();
    bool IsOpen(int index = 0) const;
    bool Dtr(int index = 0) const;
    bool Rts(int index = 0) const;
    ULONG ReadTimeoutMs(int index = 0) const;
    ULONG WriteTimeoutMs(int index = 0) const;
    ULONG BaudRate(int index = 0) const;
    UCHAR LatencyTimerMs(int index = 0) const;
    // At wire speed: when the last byte of the latest answer left the
    // amplifier, and when the chip let it through to the reader, in the
    // clock's PreciseNowMs() time.
    double LastAnswerOutMs(int index = 0) const;
    double LastAnswerReadyMs(int index = 0) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace sim
