#pragma once
// One open serial port on POSIX termios, behind a serial-backend handle.
//
// The descriptor is non-blocking and every wait is a poll() with the port's
// time-out, so that reads and writes return on time and a vanished device is
// an error rather than a hang. Reads and writes have separate locks: a write
// from the main thread never waits behind a read that blocks in the poll
// thread, while each read and each write still keeps its bytes together.
// Shutdown() wakes every blocked call through a pipe; the descriptor itself is
// closed only when the object is destroyed, after the last call has left.

#include "link/FtTypes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct termios;

namespace serial {

class SerialPort {
public:
    // Opens the tty for exclusive use and prepares it: raw mode at 115200 8N1
    // without flow control, DTR set and RTS clear, low-latency mode where the
    // driver offers it, both queues empty. On failure returns nullptr and an
    // FT status in *status.
    static std::unique_ptr<SerialPort> Open(const std::string& device, FT_STATUS* status);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    const std::string& Device() const { return device_; }

    // True when someone else holds the tty: it refuses to open (exclusive
    // use) or another open descriptor has it locked. Opening it for the check
    // raises DTR and RTS; the check puts them back to rest (DTR set, RTS clear).
    static bool InUseElsewhere(const std::string& device);

    // Returns when `count` bytes arrived, the read time-out passed (FT_OK with
    // fewer bytes, none included), the device vanished (FT_IO_ERROR) or the
    // port was shut down (FT_INVALID_HANDLE). *got is always set.
    FT_STATUS Read(void* buffer, DWORD count, DWORD* got);
    // Returns when every byte is handed to the driver or the write time-out
    // passed (FT_OK with the count written so far); errors as for Read.
    FT_STATUS Write(const void* buffer, DWORD count, DWORD* written);
    FT_STATUS Purge(ULONG mask);
    FT_STATUS SetBaudRate(ULONG baudRate);
    FT_STATUS SetDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity);
    FT_STATUS SetFlowControl(USHORT flowControl, UCHAR xonChar, UCHAR xoffChar);
    // 0 means: do not wait, take what is there (read) or what fits (write).
    void SetTimeouts(ULONG readTimeoutMs, ULONG writeTimeoutMs);
    enum class Line { Dtr, Rts };
    // Sets (on) or clears a modem line. A port without modem lines (a
    // pseudo-terminal) answers FT_OTHER_ERROR, a vanished one FT_IO_ERROR.
    FT_STATUS SetLine(Line line, bool on);

    // Asks the driver again for low-latency mode and reads back whether it is
    // on: 1 on, 0 refused, -1 the driver has no such mode (a pseudo-terminal).
    int RequestLowLatency();

    // Makes every blocked and every later call return FT_INVALID_HANDLE.
    void Shutdown();

    static constexpr ULONG kDefaultTimeoutMs = 1200;

private:
    SerialPort(std::string device, int fd, int wakeRead, int wakeWrite);
    // Waits until the descriptor is ready for `events` or the deadline passes.
    FT_STATUS WaitFor(short events, long long deadlineMs, bool* timedOut, bool* hangup);
    FT_STATUS ChangeTermios(const std::function<FT_STATUS(termios&)>& change);

    const std::string device_;
    const int fd_;
    const int wakeRead_;
    const int wakeWrite_;
    std::atomic<bool> shutdown_{false};
    std::atomic<ULONG> readTimeoutMs_{kDefaultTimeoutMs};
    std::atomic<ULONG> writeTimeoutMs_{kDefaultTimeoutMs};
    std::mutex readMutex_;
    std::mutex writeMutex_;
    std::mutex configMutex_;
};

} // namespace serial
