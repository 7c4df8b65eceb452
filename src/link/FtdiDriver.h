#pragma once
// The FTDI driver interface: the nineteen operations the program calls on the
// amplifier's USB-serial chip. Each returns an FT status (0 = FT_OK). Backends:
// the D2XX library loaded at run time, the operating system's serial driver,
// a remote station on the network and the in-process simulated amplifier.
//
// Every backend must be safe to call from the main, poll and worker threads at
// once on the same handle, and a write must never wait behind a blocking read.

#include "link/FtTypes.h"

#include <memory>
#include <string>

class FtdiDriver {
public:
    virtual ~FtdiDriver() = default;

    // A short human-readable name of the backend ("D2XX", "serial", "simulated amplifier").
    virtual std::string Name() const = 0;

    // Empty when the backend is usable; otherwise why not (for instance a
    // library that could not be loaded). Connect reports it to the user.
    virtual std::string LoadError() const { return {}; }

    // Words on why the last failed call failed, beyond what the status says
    // (a network backend names the address and the cause); empty when the
    // status says it all. Connect and the link-loss box add it to theirs.
    virtual std::string ErrorDetail() const { return {}; }

    // True when the last failed open will fail the same way however often it
    // is tried again (a network backend: a refused or unknown address, a
    // rejected certificate). Connect then gives up at once instead of
    // retrying; a USB device may yet be plugged in, so by default it retries.
    virtual bool OpenFailureIsFinal() const { return false; }

    // What a backend shared with other desks has to tell the user beside the
    // display: who has control of the amplifier, and why a key or request of
    // this desk was last refused. Empty for a link of this desk alone. Any thread.
    struct SharedNote {
        std::string control;
        std::string notice;
        // Why the shared station cannot be seen now (the window then shows
        // the off-line look); empty while it can.
        std::string away;
        bool operator==(const SharedNote&) const = default;
    };
    virtual SharedNote ShareNote() const { return {}; }

    // Empty when a firmware update can go through this backend; otherwise
    // why not, in a sentence for the user.
    virtual std::string UpdateRefusal() const { return {}; }

    virtual FT_STATUS FT_Open(int deviceIndex, FT_HANDLE* handle) = 0;
    virtual FT_STATUS FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) = 0;
    virtual FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten) = 0;
    virtual FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) = 0;
    virtual FT_STATUS FT_ResetDevice(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) = 0;
    virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) = 0;
    virtual FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar) = 0;
    virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs) = 0;
    virtual FT_STATUS FT_SetDtr(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_ClrDtr(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_SetRts(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_ClrRts(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count) = 0;
    virtual FT_STATUS FT_CyclePort(FT_HANDLE handle) = 0;
    virtual FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices) = 0;
    virtual FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                             char* serialNumber, char* description, FT_HANDLE* handle) = 0;

    // The chip's latency timer: how long it holds received bytes that do not
    // fill a USB packet before it sends them to the computer (16 ms unless
    // set). Every display frame and every update reply ends in such a packet,
    // so the link configuration asks for a short one. Best effort: a backend
    // reports trouble itself, and the caller goes on whatever the status. A
    // backend without such a timer answers FT_NOT_SUPPORTED.
    virtual FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs)
    {
        (void)handle;
        (void)timerMs;
        return FT_NOT_SUPPORTED;
    }
};
