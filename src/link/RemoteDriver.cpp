#include "link/RemoteDriver.h"

#include "link/Timeouts.h"
#include "link/remote/GensioLoop.h"
#include "link/remote/RemoteLink.h"

#include <gensio/sergensio.h>

#include <algorithm>
#include <atomic>
#include <cstring>

using remote::RemoteLink;

namespace {

// How long the next open, and the end of the driver, wait for a closed
// connection to finish closing (a TLS goodbye to a live station).
constexpr int kCloseTimeoutMs = 2000;
constexpr DWORD kDeviceTypeUnknown = 3;

void CopyText(const std::string& text, char* into, std::size_t size)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(into, text.data(), n);
    into[n] = '\0';
}

} // namespace

struct RemoteDriver::Open {
    std::shared_ptr<RemoteLink> link;
    std::atomic<ULONG> readTimeoutMs{kNormalTimeoutMs};
    std::atomic<ULONG> writeTimeoutMs{kNormalTimeoutMs};
};

RemoteDriver::RemoteDriver(RemoteStation station) : station_(std::move(station))
{
    loop_ = remote::GensioLoop::Acquire(&loadError_);
}

RemoteDriver::~RemoteDriver()
{
    std::map<FT_HANDLE, std::shared_ptr<Open>> left;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        left.swap(open_);
    }
    for (auto& [handle, entry] : left)
        entry->link->Close();
    // Nothing of gensio's may be left running when the program ends.
    for (auto& [handle, entry] : left)
        entry->link->WaitClosed(kCloseTimeoutMs);
    if (closing_)
        closing_->WaitClosed(kCloseTimeoutMs);
}

std::string RemoteDriver::LoadError() const
{
    if (!loadError_.empty())
        return loadError_;
    return StationProblem(Station());
}

std::string RemoteDriver::ErrorDetail() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return detail_;
}

bool RemoteDriver::OpenFailureIsFinal() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return final_;
}

void RemoteDriver::Note(const std::string& detail, bool final) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    detail_ = detail;
    final_ = final;
}

FT_STATUS RemoteDriver::Noted(const Open& entry, FT_STATUS status) const
{
    if (status != FT_OK && status != FT_INVALID_HANDLE)
        Note(entry.link->LastProblem());
    return status;
}

void RemoteDriver::SetLiveness(const remote::Liveness& liveness)
{
    std::lock_guard<std::mutex> lock(mutex_);
    liveness_ = liveness;
}

void RemoteDriver::SetStation(const RemoteStation& station)
{
    std::lock_guard<std::mutex> lock(mutex_);
    station_ = station;
}

RemoteStation RemoteDriver::Station() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return station_;
}

std::shared_ptr<RemoteDriver::Open> RemoteDriver::Find(FT_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second;
}

FT_STATUS RemoteDriver::OpenStation(FT_HANDLE* handle)
{
    if (!loop_) {
        Note(loadError_);
        return FT_DEVICE_NOT_FOUND;
    }
    std::lock_guard<std::mutex> openLock(openMutex_);
    const RemoteStation station = Station();
    if (const std::string problem = StationProblem(station); !problem.empty()) {
        Note(problem, true);
        return FT_DEVICE_NOT_FOUND;
    }
    remote::Liveness liveness;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_.empty()) {
            detail_ = "The remote station " + station.address + " is already open.";
            final_ = false;
            return FT_DEVICE_NOT_OPENED;
        }
        liveness = liveness_;
    }
    // The connection closed last says goodbye first: a server that takes one
    // client at a time would otherwise still count it.
    if (closing_) {
        closing_->WaitClosed(kCloseTimeoutMs);
        closing_.reset();
    }
    RemoteLink::Failure failure;
    std::shared_ptr<RemoteLink> link = RemoteLink::Connect(loop_, station, liveness, kOpenTimeoutMs, &failure);
    if (!link) {
        Note(failure.why, failure.final);
        return FT_DEVICE_NOT_FOUND;
    }
    auto entry = std::make_shared<Open>();
    entry->link = std::move(link);
    *handle = entry->link.get();
    std::lock_guard<std::mutex> lock(mutex_);
    open_.emplace(*handle, std::move(entry));
    detail_.clear();
    final_ = false;
    return FT_OK;
}

FT_STATUS RemoteDriver::FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    if (deviceIndex != 0) {
        Note("There is only one remote station.");
        return FT_DEVICE_NOT_FOUND;
    }
    return OpenStation(handle);
}

FT_STATUS RemoteDriver::FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle)
{
    if (!arg || !handle || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return FT_INVALID_PARAMETER;
    const std::string wanted = arg;
    const std::string address = Station().address;
    // The device list's serial-number field holds 31 characters.
    const bool matches = !wanted.empty() && (wanted == address || (wanted.size() == FT_SERIAL_BUFFER - 1 &&
                                                                   address.compare(0, wanted.size(), wanted) == 0));
    if (flags != FT_OPEN_BY_SERIAL_NUMBER || !matches) {
        Note("The configured remote station is " + (address.empty() ? std::string("not set") : address) + ", not \"" +
             wanted + "\".");
        return FT_DEVICE_NOT_FOUND;
    }
    return OpenStation(handle);
}

FT_STATUS RemoteDriver::FT_Close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> openLock(openMutex_);
    std::shared_ptr<Open> entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = open_.find(handle);
        if (it == open_.end())
            return FT_INVALID_HANDLE;
        entry = std::move(it->second);
        open_.erase(it);
    }
    entry->link->Close();
    closing_ = entry->link;
    return FT_OK;
}

FT_STATUS RemoteDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    if (!bytesReturned || (!buffer && bytesToRead > 0))
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    return Noted(*entry,
                 entry->link->Read(buffer, bytesToRead, bytesReturned, static_cast<int>(entry->readTimeoutMs.load())));
}

FT_STATUS RemoteDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    if (!bytesWritten || (!buffer && bytesToWrite > 0))
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    return Noted(
        *entry, entry->link->Write(buffer, bytesToWrite, bytesWritten, static_cast<int>(entry->writeTimeoutMs.load())));
}

FT_STATUS RemoteDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    const auto entry = Find(handle);
    return entry ? Noted(*entry, entry->link->Purge(mask)) : FT_INVALID_HANDLE;
}

FT_STATUS RemoteDriver::FT_ResetDevice(FT_HANDLE handle)
{
    return FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
}

FT_STATUS RemoteDriver::Setting(FT_HANDLE handle, int setting, unsigned value)
{
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    return Noted(*entry, entry->link->Request(static_cast<RemoteLink::Setting>(setting), value,
                                              static_cast<int>(entry->writeTimeoutMs.load())));
}

FT_STATUS RemoteDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    if (baudRate == 0)
        return FT_INVALID_BAUD_RATE;
    return Setting(handle, static_cast<int>(RemoteLink::Setting::Baud), baudRate);
}

FT_STATUS RemoteDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    // Word length 7 or 8; stop bits 0 (one) or 2 (two); parity none, odd,
    // even, mark, space, which the COM-port option numbers from 1.
    if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
        return FT_INVALID_PARAMETER;
    FT_STATUS status = Setting(handle, static_cast<int>(RemoteLink::Setting::DataSize), wordLength);
    if (status == FT_OK)
        status = Setting(handle, static_cast<int>(RemoteLink::Setting::Parity), parity + 1u);
    if (status == FT_OK)
        status = Setting(handle, static_cast<int>(RemoteLink::Setting::StopBits), stopBits == 0 ? 1u : 2u);
    return status;
}

FT_STATUS RemoteDriver::FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR, UCHAR)
{
    unsigned value = 0;
    switch (flowControl) {
    case 0x0000:
        value = SERGENSIO_FLOWCONTROL_NONE;
        break;
    case 0x0100:
        value = SERGENSIO_FLOWCONTROL_RTS_CTS;
        break;
    case 0x0400:
        value = SERGENSIO_FLOWCONTROL_XON_XOFF;
        break;
    default:
        return FT_INVALID_PARAMETER;
    }
    return Setting(handle, static_cast<int>(RemoteLink::Setting::FlowControl), value);
}

FT_STATUS RemoteDriver::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    entry->readTimeoutMs = readTimeoutMs;
    entry->writeTimeoutMs = writeTimeoutMs;
    return FT_OK;
}

FT_STATUS RemoteDriver::FT_SetDtr(FT_HANDLE handle)
{
    return Setting(handle, static_cast<int>(RemoteLink::Setting::Dtr), SERGENSIO_DTR_ON);
}

FT_STATUS RemoteDriver::FT_ClrDtr(FT_HANDLE handle)
{
    return Setting(handle, static_cast<int>(RemoteLink::Setting::Dtr), SERGENSIO_DTR_OFF);
}

FT_STATUS RemoteDriver::FT_SetRts(FT_HANDLE handle)
{
    return Setting(handle, static_cast<int>(RemoteLink::Setting::Rts), SERGENSIO_RTS_ON);
}

FT_STATUS RemoteDriver::FT_ClrRts(FT_HANDLE handle)
{
    return Setting(handle, static_cast<int>(RemoteLink::Setting::Rts), SERGENSIO_RTS_OFF);
}

FT_STATUS RemoteDriver::FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS RemoteDriver::FT_CyclePort(FT_HANDLE handle)
{
    return FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
}

FT_STATUS RemoteDriver::FT_CreateDeviceInfoList(DWORD* numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    *numDevices = Station().address.empty() ? 0 : 1;
    return FT_OK;
}

FT_STATUS RemoteDriver::FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                               char* serialNumber, char* description, FT_HANDLE* handle)
{
    const RemoteStation station = Station();
    if (index != 0 || station.address.empty())
        return FT_DEVICE_NOT_FOUND;
    FT_HANDLE ours = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_.empty())
            ours = open_.begin()->first;
    }
    if (flags)
        *flags = ours ? FT_FLAGS_OPENED : 0;
    if (type)
        *type = kDeviceTypeUnknown;
    if (id)
        *id = 0;
    if (locId)
        *locId = 0;
    if (serialNumber)
        CopyText(station.address, serialNumber, FT_SERIAL_BUFFER);
    if (description)
        CopyText(station.tls ? "Remote station (RFC 2217 over TLS)" : "Remote station (RFC 2217)", description,
                 FT_DESCRIPTION_BUFFER);
    if (handle)
        *handle = ours;
    return FT_OK;
}
