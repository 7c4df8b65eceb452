#include "sim/SimDriver.h"

#include "sim/SimPort.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <thread>

namespace sim {

namespace {

constexpr const char* kDescription = "AVELKOR Q9-MX";
constexpr DWORD kDeviceType = 5;     // the chip family of the amplifier's USB bridge
constexpr DWORD kUsbId = 0x04036001; // vendor 0403, product 6001
constexpr DWORD kLocationBase = 0x1011;
constexpr std::size_t kNoRecord = std::numeric_limits<std::size_t>::max();

void CopyText(char* into, std::size_t size, const std::string& text)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(into, text.data(), n);
    into[n] = '\0';
}

} // namespace

SimOptions DemoOptions()
{
    SimOptions options;
    options.wireSpeed = true;
    options.recordCalls = false;
    return options;
}

struct SimDriver::Impl {
    struct Failure {
        FT_STATUS status = FT_OK;
        int count = 0;
    };

    SimOptions options;
    mutable std::recursive_mutex mutex;
    std::condition_variable_any changed;
    std::vector<std::unique_ptr<SimPort>> ports;
    std::map<FT_HANDLE, std::size_t> handles; // open handles and their device
    std::set<FT_HANDLE> deadHandles;          // handles of an unplugged device, until closed
    std::uintptr_t nextHandle = 0x5A10;
    bool unplugged = false;
    std::map<std::string, Failure> failures;
    std::vector<CallRecord> calls;
    std::size_t callsBase = 0; // number of records dropped by ClearCalls

    Clock& GetClock() const { return options.clock ? *options.clock : AppClock(); }
    std::int64_t NowMs() const { return GetClock().NowMs(); }

    std::size_t Begin(const char* op, std::uint32_t arg = 0, std::uint32_t arg2 = 0, const void* bytes = nullptr,
                      std::size_t count = 0)
    {
        if (!options.recordCalls)
            return kNoRecord;
        CallRecord record;
        record.op = op;
        record.atMs = NowMs();
        record.arg = arg;
        record.arg2 = arg2;
        if (bytes && count)
            record.bytes.assign(static_cast<const std::uint8_t*>(bytes),
                                static_cast<const std::uint8_t*>(bytes) + count);
        calls.push_back(std::move(record));
        return callsBase + calls.size() - 1;
    }

    CallRecord* Record(std::size_t id)
    {
        if (id == kNoRecord || id < callsBase || id - callsBase >= calls.size())
            return nullptr;
        return &calls[id - callsBase];
    }

    FT_STATUS Finish(std::size_t id, FT_STATUS status)
    {
        if (CallRecord* record = Record(id))
            record->status = status;
        return status;
    }

    // An injected failure of this operation, or FT_OK.
    FT_STATUS Injected(const std::string& op)
    {
        const auto it = failures.find(op);
        if (it == failures.end() || it->second.count == 0)
            return FT_OK;
        const FT_STATUS status = it->second.status;
        if (it->second.count > 0 && --it->second.count == 0)
            failures.erase(it);
        return status;
    }

    FT_STATUS Validate(FT_HANDLE handle, SimPort*& port)
    {
        if (deadHandles.count(handle))
            return FT_IO_ERROR;
        const auto it = handles.find(handle);
        if (it == handles.end())
            return FT_INVALID_HANDLE;
        port = ports[it->second].get();
        return FT_OK;
    }

    // Start of every call on a handle: an injected failure, then the handle.
    FT_STATUS Enter(const char* op, FT_HANDLE handle, SimPort*& port)
    {
        const FT_STATUS failure = Injected(op);
        if (failure != FT_OK)
            return failure;
        return Validate(handle, port);
    }

    FT_STATUS OpenPort(std::size_t index, FT_HANDLE* handle)
    {
        SimPort& port = *ports[index];
        if (port.open)
            return FT_DEVICE_NOT_OPENED;
        nextHandle += 0x10;
        const auto newHandle = reinterpret_cast<FT_HANDLE>(nextHandle);
        port.Open(newHandle, NowMs());
        handles[newHandle] = index;
        *handle = newHandle;
        return FT_OK;
    }

    SimPort& Port(int index) const { return *ports.at(static_cast<std::size_t>(index)); }

    // A simple operation on an open handle: record, check, apply.
    template <typename Apply>
    FT_STATUS Simple(const char* op, FT_HANDLE handle, std::uint32_t arg, std::uint32_t arg2, Apply apply)
    {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        const std::size_t id = Begin(op, arg, arg2);
        SimPort* port = nullptr;
        FT_STATUS status = Enter(op, handle, port);
        if (status == FT_OK)
            status = apply(*port);
        changed.notify_all();
        return Finish(id, status);
    }
};

SimDriver::SimDriver(SimOptions options) : impl_(std::make_unique<Impl>())
{
    impl_->options = std::move(options);
    for (const std::string& serial : impl_->options.serials)
        impl_->ports.push_back(std::make_unique<SimPort>(serial, impl_->options.poweredOn));
}

SimDriver::~SimDriver() = default;

FT_STATUS SimDriver::FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t id = impl_->Begin("FT_Open", static_cast<std::uint32_t>(deviceIndex));
    FT_STATUS status = impl_->Injected("FT_Open");
    if (status != FT_OK)
        return impl_->Finish(id, status);
    if (!handle)
        return impl_->Finish(id, FT_INVALID_PARAMETER);
    if (impl_->unplugged || deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= impl_->ports.size())
        return impl_->Finish(id, FT_DEVICE_NOT_FOUND);
    return impl_->Finish(id, impl_->OpenPort(static_cast<std::size_t>(deviceIndex), handle));
}

FT_STATUS SimDriver::FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t id = impl_->Begin("FT_OpenEx", flags, 0, arg, arg ? std::strlen(arg) : 0);
    FT_STATUS status = impl_->Injected("FT_OpenEx");
    if (status != FT_OK)
        return impl_->Finish(id, status);
    if (!arg || !handle || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return impl_->Finish(id, FT_INVALID_PARAMETER);
    if (impl_->unplugged)
        return impl_->Finish(id, FT_DEVICE_NOT_FOUND);
    // The first matching device that is not open yet.
    bool matchedOpen = false;
    for (std::size_t i = 0; i < impl_->ports.size(); ++i) {
        const SimPort& port = *impl_->ports[i];
        const std::string key = flags == FT_OPEN_BY_SERIAL_NUMBER ? port.serial : std::string(kDescription);
        if (key != arg)
            continue;
        if (!port.open)
            return impl_->Finish(id, impl_->OpenPort(i, handle));
        matchedOpen = true;
    }
    return impl_->Finish(id, matchedOpen ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND);
}

FT_STATUS SimDriver::FT_Close(FT_HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t id = impl_->Begin("FT_Close");
    const FT_STATUS failure = impl_->Injected("FT_Close");
    if (failure != FT_OK)
        return impl_->Finish(id, failure);
    if (impl_->deadHandles.erase(handle))
        return impl_->Finish(id, FT_IO_ERROR);
    SimPort* port = nullptr;
    const FT_STATUS status = impl_->Validate(handle, port);
    if (status != FT_OK)
        return impl_->Finish(id, status);
    impl_->handles.erase(handle);
    port->Close(impl_->NowMs());
    impl_->changed.notify_all();
    return impl_->Finish(id, FT_OK);
}

FT_STATUS SimDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    std::unique_lock<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t id = impl_->Begin("FT_Read", bytesToRead);
    if (bytesReturned)
        *bytesReturned = 0;
    SimPort* port = nullptr;
    FT_STATUS status = impl_->Enter("FT_Read", handle, port);
    if (status != FT_OK)
        return impl_->Finish(id, status);
    if (!bytesReturned || (!buffer && bytesToRead > 0))
        return impl_->Finish(id, FT_INVALID_PARAMETER);

    // Wire-speed timing on the real clock needs the fraction of a millisecond:
    // a display frame is 32 ms on the wire, and a whole millisecond more per
    // read would hide what the chip's latency timer costs.
    Clock& clock = impl_->GetClock();
    const double deadline = clock.PreciseNowMs() + port->readTimeoutMs;
    for (;;) {
        // The handle may have been closed or unplugged while this read waited.
        status = impl_->Validate(handle, port);
        if (status != FT_OK)
            return impl_->Finish(id, status == FT_INVALID_HANDLE ? FT_IO_ERROR : status);
        const double now = clock.PreciseNowMs();
        const std::size_t ready = port->ReadyCount(now);
        if (ready >= bytesToRead || now >= deadline) {
            auto* into = static_cast<std::uint8_t*>(buffer);
            const std::size_t got = port->Take(into, std::min<std::size_t>(ready, bytesToRead));
            *bytesReturned = static_cast<DWORD>(got);
            if (CallRecord* record = impl_->Record(id))
                record->bytes.assign(into, into + got);
            return impl_->Finish(id, FT_OK);
        }
        double wake = deadline;
        const double needed = port->ReadyAt(bytesToRead);
        if (needed > now)
            wake = std::min(wake, needed);
        if (clock.Instant()) {
            // Simulated time: nothing can arrive but by moving the clock on.
            const auto waitMs = std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(wake - now)));
            lock.unlock();
            clock.SleepMs(waitMs);
            lock.lock();
        } else {
            const auto waitUs = std::max<std::int64_t>(50, static_cast<std::int64_t>(std::ceil((wake - now) * 1000)));
            impl_->changed.wait_for(lock, std::chrono::microseconds(waitUs));
        }
    }
}

FT_STATUS SimDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    double doneMs = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
        const std::size_t id = impl_->Begin("FT_Write", bytesToWrite, 0, buffer, bytesToWrite);
        if (bytesWritten)
            *bytesWritten = 0;
        SimPort* port = nullptr;
        const FT_STATUS status = impl_->Enter("FT_Write", handle, port);
        if (status != FT_OK)
            return impl_->Finish(id, status);
        if (!buffer && bytesToWrite > 0)
            return impl_->Finish(id, FT_INVALID_PARAMETER);
        doneMs = port->Send(static_cast<const std::uint8_t*>(buffer), bytesToWrite, impl_->GetClock().PreciseNowMs(),
                            impl_->options.wireSpeed, impl_->options.usbLatencyMs, impl_->options.recordCalls);
        if (bytesWritten)
            *bytesWritten = bytesToWrite;
        impl_->Finish(id, FT_OK);
        impl_->changed.notify_all();
    }
    // The bytes take their time on the line; no lock is held meanwhile.
    if (impl_->options.wireSpeed) {
        Clock& clock = impl_->GetClock();
        const double remaining = doneMs - clock.PreciseNowMs();
        if (remaining > 0 && clock.Instant())
            clock.SleepMs(static_cast<std::int64_t>(std::ceil(remaining)));
        else if (remaining > 0)
            std::this_thread::sleep_for(
                std::chrono::microseconds(static_cast<std::int64_t>(std::ceil(remaining * 1000))));
    }
    return FT_OK;
}

FT_STATUS SimDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    // Written bytes reach the amplifier at once, so only the receive side holds anything.
    return impl_->Simple("FT_Purge", handle, mask, 0, [&](SimPort& port) {
        if (mask & FT_PURGE_RX)
            port.DropReceived();
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_ResetDevice(FT_HANDLE handle)
{
    return impl_->Simple("FT_ResetDevice", handle, 0, 0, [](SimPort& port) {
        port.DropReceived();
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return impl_->Simple("FT_SetBaudRate", handle, baudRate, 0, [&](SimPort& port) -> FT_STATUS {
        if (baudRate < 300 || baudRate > 3000000)
            return FT_INVALID_BAUD_RATE;
        port.baudRate = baudRate;
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    const std::uint32_t arg = wordLength | (stopBits << 8) | (parity << 16);
    return impl_->Simple("FT_SetDataCharacteristics", handle, arg, 0, [&](SimPort& port) -> FT_STATUS {
        if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) || parity > 4)
            return FT_INVALID_PARAMETER;
        port.wordLength = wordLength;
        port.stopBits = stopBits;
        port.parity = parity;
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar)
{
    return impl_->Simple("FT_SetFlowControl", handle, flowControl, static_cast<std::uint32_t>(xonChar << 8 | xoffChar),
                         [&](SimPort& port) {
                             port.flowControl = flowControl;
                             return FT_OK;
                         });
}

FT_STATUS SimDriver::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    return impl_->Simple("FT_SetTimeouts", handle, readTimeoutMs, writeTimeoutMs, [&](SimPort& port) {
        port.readTimeoutMs = readTimeoutMs;
        port.writeTimeoutMs = writeTimeoutMs;
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetDtr(FT_HANDLE handle)
{
    return impl_->Simple("FT_SetDtr", handle, 0, 0, [&](SimPort& port) {
        port.SetLines(true, port.rts, impl_->NowMs());
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_ClrDtr(FT_HANDLE handle)
{
    return impl_->Simple("FT_ClrDtr", handle, 0, 0, [&](SimPort& port) {
        port.SetLines(false, port.rts, impl_->NowMs());
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetRts(FT_HANDLE handle)
{
    return impl_->Simple("FT_SetRts", handle, 0, 0, [&](SimPort& port) {
        port.SetLines(port.dtr, true, impl_->NowMs());
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_ClrRts(FT_HANDLE handle)
{
    return impl_->Simple("FT_ClrRts", handle, 0, 0, [&](SimPort& port) {
        port.SetLines(port.dtr, false, impl_->NowMs());
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count)
{
    return impl_->Simple("FT_SetResetPipeRetryCount", handle, count, 0, [&](SimPort& port) {
        port.resetPipeRetryCount = count;
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_CyclePort(FT_HANDLE handle)
{
    return impl_->Simple("FT_CyclePort", handle, 0, 0, [](SimPort&) { return FT_OK; });
}

FT_STATUS SimDriver::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs)
{
    return impl_->Simple("FT_SetLatencyTimer", handle, timerMs, 0, [&](SimPort& port) -> FT_STATUS {
        if (timerMs == 0)
            return FT_INVALID_PARAMETER;
        port.latencyTimerMs = timerMs;
        return FT_OK;
    });
}

FT_STATUS SimDriver::FT_CreateDeviceInfoList(DWORD* numDevices)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t id = impl_->Begin("FT_CreateDeviceInfoList");
    const FT_STATUS failure = impl_->Injected("FT_CreateDeviceInfoList");
    if (failure != FT_OK)
        return impl_->Finish(id, failure);
    if (!numDevices)
        return impl_->Finish(id, FT_INVALID_PARAMETER);
    *numDevices = impl_->unplugged ? 0 : static_cast<DWORD>(impl_->ports.size());
    return impl_->Finish(id, FT_OK);
}

FT_STATUS SimDriver::FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                            char* serialNumber, char* description, FT_HANDLE* handle)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    const std::size_t record = impl_->Begin("FT_GetDeviceInfoDetail", index);
    const FT_STATUS failure = impl_->Injected("FT_GetDeviceInfoDetail");
    if (failure != FT_OK)
        return impl_->Finish(record, failure);
    if (impl_->unplugged || index >= impl_->ports.size())
        return impl_->Finish(record, FT_DEVICE_NOT_FOUND);
    const SimPort& port = *impl_->ports[index];
    if (flags)
        *flags = port.open ? FT_FLAGS_OPENED : 0;
    if (type)
        *type = kDeviceType;
    if (id)
        *id = kUsbId;
    if (locId)
        *locId = kLocationBase + index;
    if (serialNumber)
        CopyText(serialNumber, FT_SERIAL_BUFFER, port.serial);
    if (description)
        CopyText(description, FT_DESCRIPTION_BUFFER, kDescription);
    if (handle)
        *handle = port.open ? port.handle : nullptr;
    return impl_->Finish(record, FT_OK);
}

SimAmplifier& SimDriver::Device(int index)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).amp;
}

std::unique_lock<std::recursive_mutex> SimDriver::Lock()
{
    return std::unique_lock<std::recursive_mutex>(impl_->mutex);
}

void SimDriver::FailOperation(const std::string& op, FT_STATUS status, int count)
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    if (count == 0)
        impl_->failures.erase(op);
    else
        impl_->failures[op] = Impl::Failure{status, count};
}

void SimDriver::ClearFailures()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->failures.clear();
}

void SimDriver::Unplug()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->unplugged = true;
    for (const auto& [handle, index] : impl_->handles) {
        impl_->deadHandles.insert(handle);
        impl_->ports[index]->Close(impl_->NowMs());
    }
    impl_->handles.clear();
    impl_->changed.notify_all();
}

void SimDriver::Replug()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->unplugged = false;
}

std::vector<CallRecord> SimDriver::Calls() const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->calls;
}

void SimDriver::ClearCalls()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    impl_->callsBase += impl_->calls.size();
    impl_->calls.clear();
}

std::vector<std::uint8_t> SimDriver::Written(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).written;
}

void SimDriver::ClearWritten()
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    for (auto& port : impl_->ports)
        port->written.clear();
}

bool SimDriver::IsOpen(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).open;
}

bool SimDriver::Dtr(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).dtr;
}

bool SimDriver::Rts(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).rts;
}

ULONG SimDriver::ReadTimeoutMs(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).readTimeoutMs;
}

ULONG SimDriver::WriteTimeoutMs(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).writeTimeoutMs;
}

ULONG SimDriver::BaudRate(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).baudRate;
}

UCHAR SimDriver::LatencyTimerMs(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).latencyTimerMs;
}

double SimDriver::LastAnswerOutMs(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).lastAnswerOutMs;
}

double SimDriver::LastAnswerReadyMs(int index) const
{
    std::lock_guard<std::recursive_mutex> lock(impl_->mutex);
    return impl_->Port(index).lastAnswerReadyMs;
}

} // namespace sim
