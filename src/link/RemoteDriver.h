#pragma once
// The remote backend of the FTDI driver interface: the amplifier's serial
// port served on the network by an RFC 2217 server (ser2net on a computer
// next to the amplifier, or `vorlinq --serve-simulator`), reached through
// gensio, in plain text or over TLS.
//
// The device list is the configured station: one device whose serial number
// is its address text ("HOST:PORT"), so the connection dialog's Acquire and
// ID addressing work as for USB. Device index 0 of FT_Open is the station;
// FT_OpenEx finds it by that address (a 31-character prefix of a longer
// address, as the device list's serial-number field holds it, is accepted).
// One connection at a time.
//
// Operations:
// - data through the connection; time-outs kept here (reads wait for the
//   count or the read time-out, writes for room up to the write time-out); a
//   station that stops answering altogether is a lost link (remote::Liveness);
// - baud rate, data characteristics, flow control, DTR and RTS through the
//   server's COM-port control, each waiting for the server's answer up to
//   the write time-out; a server that never answers (ser2net on a port
//   without modem lines does this for DTR and RTS), or answers with another
//   value than asked, fails the call with FT_IO_ERROR and says so in
//   ErrorDetail(); the connection stays;
// - purge empties our queue and asks the server to empty its own buffers;
// - FT_ResetDevice and FT_CyclePort empty the queues, as the serial backend
//   does; FT_SetResetPipeRetryCount is accepted and has no effect;
// - a connection the server closes (or that breaks) fails every later call
//   with FT_IO_ERROR: the program's link-loss handling takes over;
// - ErrorDetail() says why the last failed call failed, naming the address;
//   an open that cannot succeed by trying again (refused, unknown name,
//   certificate) says so through OpenFailureIsFinal().
//
// Threads: safe from any number of threads at once; a write never waits
// behind a blocking read. FT_Close wakes the calls still waiting on the handle
// (they return FT_INVALID_HANDLE) and no call touches a connection after it is
// gone; it never waits for the network (the next open waits, bounded, for the
// connection's close to finish). gensio's event handling runs on a thread of
// its own.

#include "link/FtdiDriver.h"
#include "link/RemoteStation.h"
#include "link/remote/Liveness.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace remote {
class GensioLoop;
class RemoteLink;
} // namespace remote

class RemoteDriver final : public FtdiDriver {
public:
    explicit RemoteDriver(RemoteStation station = {});
    ~RemoteDriver() override;
    RemoteDriver(const RemoteDriver&) = delete;
    RemoteDriver& operator=(const RemoteDriver&) = delete;

    std::string Name() const override { return "remote"; }
    std::string LoadError() const override;
    std::string ErrorDetail() const override;
    bool OpenFailureIsFinal() const override;

    // The station to reach from the next open on; connections already open stay.
    void SetStation(const RemoteStation& station);
    RemoteStation Station() const;
    // When a quiet connection counts as lost, from the next open on.
    void SetLiveness(const remote::Liveness& liveness);

    // How long an open may take (resolving, connecting, TLS, telnet): long
    // enough for a TLS handshake with a slow station computer.
    static constexpr int kOpenTimeoutMs = 5000;

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

private:
    struct Open;
    std::shared_ptr<Open> Find(FT_HANDLE handle) const;
    FT_STATUS OpenStation(FT_HANDLE* handle);
    FT_STATUS Setting(FT_HANDLE handle, int setting, unsigned value);
    void Note(const std::string& detail, bool final = false) const;
    // Notes why the call on `entry` failed, when it did.
    FT_STATUS Noted(const Open& entry, FT_STATUS status) const;

    std::shared_ptr<remote::GensioLoop> loop_;
    std::string loadError_;
    std::mutex openMutex_; // one open or close at a time
    mutable std::mutex mutex_;
    RemoteStation station_;
    remote::Liveness liveness_;
    std::map<FT_HANDLE, std::shared_ptr<Open>> open_;
    std::shared_ptr<remote::RemoteLink> closing_; // the last connection closed, until it has
    mutable std::string detail_;
    mutable bool final_ = false;
};
