#pragma once
// The shared-station backend of the FTDI driver interface: a viewer of a
// station that polls the amplifier and publishes what it reads on an MQTT
// broker. The window above it polls as it polls any link; this backend
// answers from the station's messages and turns what the window writes into
// requests to the station.
//
// The device list is the station: one device whose serial number is its name.
// One connection to the broker per open.
//
// - FT_Open connects, subscribes and waits (up to kOpenWaitMs) for the
//   station's state: a refused login, a broker that cannot be reached, a
//   station that publishes nothing or is gone fail the open and say why in
//   ErrorDetail().
// - A query frame written arms the next read. That read returns the station's
//   latest frame as soon as one newer than the last returned arrives, or the
//   same frame again after kRepeatMs (an unchanged screen is no silence).
//   While the station's amplifier is silent (or being updated) the read
//   returns nothing, as a direct link would; once the station has lost its
//   link, stopped or gone, the read fails with FT_IO_ERROR and the station's
//   words in ErrorDetail().
// - A command frame with a front-panel key code becomes a key message on the
//   station's key topic for our broker user; other codes stay here. DTR low
//   with RTS high (the power-on pulse) becomes the `on` request.
// - Who holds control, and the station's or the broker's refusal of our keys,
//   come through ShareNote(). A firmware update is refused (UpdateRefusal()).
// - While the broker connection is down, or the station has missed three
//   beats, the station is out of reach: ShareNote() says why in `away`, reads
//   return nothing and keys are not sent. Every connection is a new key
//   session (sid, seq); each key says which beat it was pressed after, and a
//   key whose connection ended unanswered "may not have reached the
//   station". After connecting, a key under another name
//   (kAclProbeUser) that the broker takes means it has no ACL: ShareNote()
//   warns.
//
// Threads: safe from any number of threads; a write never waits behind a
// read. FT_Close wakes the reads still waiting on the handle (they return
// FT_INVALID_HANDLE).

#include "link/FtdiDriver.h"
#include "share/SharedStation.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace share {

class BrokerDriver final : public FtdiDriver {
public:
    explicit BrokerDriver(SharedStation station = {});
    ~BrokerDriver() override;
    BrokerDriver(const BrokerDriver&) = delete;
    BrokerDriver& operator=(const BrokerDriver&) = delete;

    std::string Name() const override { return "shared station"; }
    std::string LoadError() const override;
    std::string ErrorDetail() const override;
    SharedNote ShareNote() const override;
    std::string UpdateRefusal() const override;

    // The station to view from the next open on; an open connection stays.
    void SetStation(const SharedStation& station);
    SharedStation Station() const;

    static constexpr int kOpenWaitMs = 5000;
    static constexpr int kRepeatMs = 1000;

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

    // Texts the user meets.
    static const char* const kWatchOnlyText;
    static const char* const kUpdateRefusedText;

private:
    struct Open;
    std::shared_ptr<Open> Find(FT_HANDLE handle) const;
    std::shared_ptr<Open> Current() const;
    FT_STATUS OpenStation(FT_HANDLE* handle);
    FT_STATUS Line(FT_HANDLE handle, bool dtr, bool value);
    void Detail(const std::string& text) const;

    std::mutex openMutex_; // one open or close at a time
    mutable std::mutex mutex_;
    SharedStation station_;
    std::map<FT_HANDLE, std::shared_ptr<Open>> open_;
    mutable std::string detail_;
};

} // namespace share
