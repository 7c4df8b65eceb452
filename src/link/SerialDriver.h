#pragma once
// The serial backend of the FTDI driver interface: FTDI chips reached through
// the operating system's serial driver (on Linux /dev/ttyUSB*), on POSIX
// termios. POSIX only.
//
// The device list is the list of the PortLister (by default the FTDI ttys
// found in sysfs, in natural order of their names); device index n of
// FT_Open is entry n, FT_OpenEx finds a port by USB serial number or product
// description. A handle points to the open port's own object (SerialPort).
//
// Threads: every operation may run on the main, poll and worker threads at
// once. The driver's lock is held only to look a handle up; reads, writes and
// port settings each have their own lock in the port, so a write never waits
// behind a blocking read.
//
// Closing while another thread is still inside a call on the same handle:
// FT_Close takes the handle out of the table at once (later calls answer
// FT_INVALID_HANDLE), wakes every read or write blocked on it (they return
// FT_INVALID_HANDLE), waits for them to leave and then deletes the port,
// closing its file descriptor. Every call holds the port through a PortUse,
// counted under the driver's lock, so no call ever touches a closed or reused
// descriptor, and the delete is ordered after the last call by that lock.
// Should a call still be inside after the wait (the woken calls return at
// once, so this is only a safeguard), the last one to leave deletes the port.
//
// Operations the serial driver has no counterpart for:
// - FT_ResetDevice empties both queues; the chip itself cannot be reset
//   through a tty, and an empty, freshly configured port is what the caller
//   relies on after a reset.
// - FT_SetResetPipeRetryCount is accepted and has no effect: USB transfer
//   retries are the kernel driver's business.
// - FT_CyclePort empties both queues. Re-enumerating the USB device needs
//   privileges a desktop program does not have, and the handle is closed
//   right after anyway; the next open finds the port afresh.
// - FT_GetDeviceInfoDetail reports type 3 (unknown), the USB vendor and
//   product as ID and location 0.
// - FT_SetLatencyTimer asks for the driver's low-latency mode (the kernel's
//   FTDI driver then sets the chip's timer to 1 ms) and reads the timer back
//   from sysfs; it reports on standard error what the port ended up with,
//   whenever there is a timer to tell of, so that a slow link can be
//   explained. FT_OK when the port's timer is at most the one asked for or
//   low-latency mode is confirmed; FT_NOT_SUPPORTED when the port has neither
//   (a pseudo-terminal); FT_OTHER_ERROR when the timer stays longer.

#include "link/FtdiDriver.h"
#include "link/SerialPorts.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace serial {
class SerialPort;
}

class SerialDriver final : public FtdiDriver {
public:
    // `lister` supplies the device list; empty: the FTDI ports found in /sys.
    explicit SerialDriver(serial::PortLister lister = {});
    ~SerialDriver() override;
    SerialDriver(const SerialDriver&) = delete;
    SerialDriver& operator=(const SerialDriver&) = delete;

    std::string Name() const override { return "serial"; }

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
    FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs) override;

private:
    struct OpenPort {
        std::unique_ptr<serial::SerialPort> port;
        int users = 0;         // calls inside the port now (under mutex_)
        bool orphaned = false; // closed with calls still inside: the last to leave deletes it
    };

    // A call's hold on an open port: while it is held the port is not deleted.
    class PortUse {
    public:
        PortUse() = default;
        PortUse(const SerialDriver* driver, OpenPort* entry) : driver_(driver), entry_(entry) {}
        PortUse(PortUse&& other) noexcept
            : driver_(std::exchange(other.driver_, nullptr)), entry_(std::exchange(other.entry_, nullptr))
        {
        }
        PortUse(const PortUse&) = delete;
        PortUse& operator=(const PortUse&) = delete;
        PortUse& operator=(PortUse&&) = delete;
        ~PortUse()
        {
            if (entry_)
                driver_->Leave(entry_);
        }
        explicit operator bool() const { return entry_ != nullptr; }
        serial::SerialPort* operator->() const { return entry_->port.get(); }

    private:
        const SerialDriver* driver_ = nullptr;
        OpenPort* entry_ = nullptr;
    };

    PortUse Find(FT_HANDLE handle) const;
    void Leave(OpenPort* entry) const;
    FT_HANDLE HandleOf(const std::string& device) const;
    FT_STATUS OpenDevice(const std::string& device, FT_HANDLE* handle);

    serial::PortLister lister_;
    std::mutex openMutex_; // one open or close at a time
    mutable std::mutex mutex_;
    mutable std::condition_variable left_; // a call left a port
    std::map<FT_HANDLE, std::unique_ptr<OpenPort>> open_;
    mutable std::vector<std::unique_ptr<OpenPort>> orphans_;
    std::vector<serial::SerialPortInfo> list_; // as of the last FT_CreateDeviceInfoList
    bool listMade_ = false;
};
