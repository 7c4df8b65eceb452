#include "link/SerialDriver.h"

#include "link/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

using serial::SerialPort;

namespace {

// How long FT_Close waits for calls still running on the handle to leave.
constexpr auto kCloseWait = std::chrono::seconds(2);

constexpr DWORD kDeviceTypeUnknown = 3;

void CopyText(const std::string& text, char* into, std::size_t size)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(into, text.data(), n);
    into[n] = '\0';
}

} // namespace

SerialDriver::SerialDriver(serial::PortLister lister) : lister_(std::move(lister))
{
    if (!lister_)
        lister_ = [] { return serial::ScanFtdiPorts(); };
}

SerialDriver::~SerialDriver()
{
    // Calls still running are woken and waited for; the driver must outlive
    // the threads that use it, so none should be.
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto& [handle, entry] : open_)
        entry->port->Shutdown();
    const auto idle = [this] {
        const auto unused = [](const std::unique_ptr<OpenPort>& entry) { return entry->users == 0; };
        return std::all_of(orphans_.begin(), orphans_.end(), unused) &&
               std::all_of(open_.begin(), open_.end(), [&](const auto& item) { return unused(item.second); });
    };
    left_.wait_for(lock, kCloseWait, idle);
}

SerialDriver::PortUse SerialDriver::Find(FT_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = open_.find(handle);
    if (it == open_.end())
        return {};
    ++it->second->users;
    return PortUse(this, it->second.get());
}

void SerialDriver::Leave(OpenPort* entry) const
{
    std::unique_ptr<OpenPort> last;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--entry->users == 0 && entry->orphaned) {
            const auto it = std::find_if(orphans_.begin(), orphans_.end(),
                                         [entry](const std::unique_ptr<OpenPort>& o) { return o.get() == entry; });
            if (it != orphans_.end()) {
                last = std::move(*it);
                orphans_.erase(it);
            }
        }
    }
    left_.notify_all();
    // `last`, if this was the last call in a closed port, deletes it here,
    // outside the lock.
}

FT_HANDLE SerialDriver::HandleOf(const std::string& device) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [handle, entry] : open_) {
        if (entry->port->Device() == device)
            return handle;
    }
    return nullptr;
}

FT_STATUS SerialDriver::OpenDevice(const std::string& device, FT_HANDLE* handle)
{
    std::lock_guard<std::mutex> openLock(openMutex_);
    if (HandleOf(device))
        return FT_DEVICE_NOT_OPENED; // already open through another handle
    FT_STATUS status = FT_OK;
    auto entry = std::make_unique<OpenPort>();
    entry->port = SerialPort::Open(device, &status);
    if (!entry->port)
        return status;
    *handle = entry->port.get();
    std::lock_guard<std::mutex> lock(mutex_);
    open_.emplace(*handle, std::move(entry));
    return FT_OK;
}

FT_STATUS SerialDriver::FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    const std::vector<serial::SerialPortInfo> ports = lister_();
    if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= ports.size())
        return FT_DEVICE_NOT_FOUND;
    return OpenDevice(ports[static_cast<std::size_t>(deviceIndex)].device, handle);
}

FT_STATUS SerialDriver::FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle)
{
    if (!arg || !handle || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return FT_INVALID_PARAMETER;
    const std::string wanted = arg;
    if (wanted.empty())
        return FT_DEVICE_NOT_FOUND; // a port without a serial number is not addressable by it
    for (const serial::SerialPortInfo& port : lister_()) {
        const std::string& key = flags == FT_OPEN_BY_SERIAL_NUMBER ? port.serial : port.description;
        if (key == wanted)
            return OpenDevice(port.device, handle);
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SerialDriver::FT_Close(FT_HANDLE handle)
{
    std::lock_guard<std::mutex> openLock(openMutex_);
    std::unique_ptr<OpenPort> entry;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto it = open_.find(handle);
        if (it == open_.end())
            return FT_INVALID_HANDLE;
        entry = std::move(it->second);
        open_.erase(it);
        // Woken calls return at once; once they have left, the port is ours.
        entry->port->Shutdown();
        if (!left_.wait_for(lock, kCloseWait, [&] { return entry->users == 0; })) {
            entry->orphaned = true;
            orphans_.push_back(std::move(entry));
            return FT_OK;
        }
    }
    // Closes the descriptor: the device is free for the next open.
    entry.reset();
    return FT_OK;
}

FT_STATUS SerialDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    if (!bytesReturned || (!buffer && bytesToRead > 0))
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    const auto port = Find(handle);
    return port ? port->Read(buffer, bytesToRead, bytesReturned) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    if (!bytesWritten || (!buffer && bytesToWrite > 0))
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    const auto port = Find(handle);
    return port ? port->Write(buffer, bytesToWrite, bytesWritten) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    const auto port = Find(handle);
    return port ? port->Purge(mask) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_ResetDevice(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->Purge(FT_PURGE_RX | FT_PURGE_TX) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    const auto port = Find(handle);
    return port ? port->SetBaudRate(baudRate) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    const auto port = Find(handle);
    return port ? port->SetDataCharacteristics(wordLength, stopBits, parity) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar)
{
    const auto port = Find(handle);
    return port ? port->SetFlowControl(flowControl, xonChar, xoffChar) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    const auto port = Find(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    port->SetTimeouts(readTimeoutMs, writeTimeoutMs);
    return FT_OK;
}

FT_STATUS SerialDriver::FT_SetDtr(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->SetLine(SerialPort::Line::Dtr, true) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_ClrDtr(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->SetLine(SerialPort::Line::Dtr, false) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetRts(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->SetLine(SerialPort::Line::Rts, true) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_ClrRts(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->SetLine(SerialPort::Line::Rts, false) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_CyclePort(FT_HANDLE handle)
{
    const auto port = Find(handle);
    return port ? port->Purge(FT_PURGE_RX | FT_PURGE_TX) : FT_INVALID_HANDLE;
}

FT_STATUS SerialDriver::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs)
{
    const auto port = Find(handle);
    if (!port)
        return FT_INVALID_HANDLE;
    const int lowLatency = port->RequestLowLatency();
    const int timer = serial::LatencyTimerOf(port->Device());
    if (timer < 0 && lowLatency < 0)
        return FT_NOT_SUPPORTED;
    const bool low = timer >= 0 ? timer <= timerMs : lowLatency == 1;
    const char* mode = lowLatency == 1 ? "on" : lowLatency == 0 ? "refused" : "not offered";
    if (timer >= 0) {
        std::fprintf(stderr, "vorlinq: %s: latency timer %d ms, low-latency mode %s%s\n", port->Device().c_str(), timer,
                     mode,
                     low ? ""
                         : "; every reply of the amplifier may wait that long (see the README on the latency "
                           "timer)");
    } else if (!low) {
        std::fprintf(stderr,
                     "vorlinq: %s: low-latency mode refused and the latency timer unknown; replies may wait up to "
                     "16 ms\n",
                     port->Device().c_str());
    }
    return low ? FT_OK : FT_OTHER_ERROR;
}

FT_STATUS SerialDriver::FT_CreateDeviceInfoList(DWORD* numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    std::vector<serial::SerialPortInfo> ports = lister_();
    std::lock_guard<std::mutex> lock(mutex_);
    list_ = std::move(ports);
    listMade_ = true;
    *numDevices = static_cast<DWORD>(list_.size());
    return FT_OK;
}

FT_STATUS SerialDriver::FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                               char* serialNumber, char* description, FT_HANDLE* handle)
{
    serial::SerialPortInfo info;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!listMade_) {
            lock.unlock();
            DWORD count = 0;
            (void)FT_CreateDeviceInfoList(&count);
            lock.lock();
        }
        if (index >= list_.size())
            return FT_DEVICE_NOT_FOUND;
        info = list_[index];
    }
    const FT_HANDLE ours = HandleOf(info.device);
    const bool busy = ours || SerialPort::InUseElsewhere(info.device);
    if (flags)
        *flags = busy ? FT_FLAGS_OPENED : 0;
    if (type)
        *type = kDeviceTypeUnknown;
    if (id)
        *id = (info.vendorId << 16) | (info.productId & 0xFFFF);
    if (locId)
        *locId = 0;
    if (serialNumber)
        CopyText(info.serial, serialNumber, FT_SERIAL_BUFFER);
    if (description)
        CopyText(info.description, description, FT_DESCRIPTION_BUFFER);
    if (handle)
        *handle = ours;
    return FT_OK;
}
