#include "link/D2xxDriver.h"

#include "link/D2xxLibrary.h"
#include "link/FtStatus.h"

#include <QDir>
#include <QLibrary>

#include <cstdio>

namespace {

// Stored into every out-count of a backend without a library, so that a
// caller that ignores the status still sees nothing read, written or listed.
template <typename T> void Clear(T* out)
{
    if (out)
        *out = 0;
}

// The reason, followed by what to do about it where the system says more.
std::string WithInstallHint(std::string reason)
{
    const std::string hint = d2xx::InstallHint();
    return hint.empty() ? reason : reason + " " + hint;
}

template <typename Fn> bool Resolve(QLibrary& library, const char* symbol, Fn& into)
{
    into = reinterpret_cast<Fn>(library.resolve(symbol));
    return into != nullptr;
}

} // namespace

std::string D2xxDriver::DefaultLibraryName()
{
    return d2xx::LibraryName();
}

D2xxDriver::D2xxDriver(const std::string& library)
    : library_(std::make_unique<QLibrary>(QString::fromStdString(library)))
{
    const std::string shown = QDir::toNativeSeparators(QString::fromStdString(library)).toStdString();
    if (!library_->load()) {
        loadError_ = WithInstallHint("The FTDI D2XX driver library \"" + shown +
                                     "\" could not be loaded: " + library_->errorString().toStdString() + ".");
        return;
    }

    d2xx::Api api;
    std::string missing;
    const auto need = [&](const char* symbol, auto& into) {
        if (!Resolve(*library_, symbol, into))
            missing += missing.empty() ? symbol : std::string(", ") + symbol;
    };
    need("FT_Open", api.open);
    need("FT_OpenEx", api.openEx);
    need("FT_Close", api.close);
    need("FT_Read", api.read);
    need("FT_Write", api.write);
    need("FT_Purge", api.purge);
    need("FT_ResetDevice", api.resetDevice);
    need("FT_SetBaudRate", api.setBaudRate);
    need("FT_SetDataCharacteristics", api.setDataCharacteristics);
    need("FT_SetFlowControl", api.setFlowControl);
    need("FT_SetTimeouts", api.setTimeouts);
    need("FT_SetDtr", api.setDtr);
    need("FT_ClrDtr", api.clrDtr);
    need("FT_SetRts", api.setRts);
    need("FT_ClrRts", api.clrRts);
    need("FT_CreateDeviceInfoList", api.createDeviceInfoList);
    need("FT_GetDeviceInfoDetail", api.getDeviceInfoDetail);
    // Optional: see FT_SetResetPipeRetryCount, FT_CyclePort and FT_SetLatencyTimer below.
    Resolve(*library_, "FT_SetResetPipeRetryCount", api.setResetPipeRetryCount);
    Resolve(*library_, "FT_CyclePort", api.cyclePort);
    Resolve(*library_, "FT_SetLatencyTimer", api.setLatencyTimer);

    if (!missing.empty()) {
        loadError_ = WithInstallHint("The FTDI D2XX driver library \"" + shown + "\" lacks " + missing + ".");
        return;
    }
    api_ = api;
}

D2xxDriver::~D2xxDriver() = default; // the library stays loaded: handles may outlive us

bool D2xxDriver::Available(const std::string& library)
{
    D2xxDriver driver(library);
    DWORD devices = 0;
    return driver.Loaded() && driver.FT_CreateDeviceInfoList(&devices) == FT_OK && devices >= 1;
}

FT_STATUS D2xxDriver::FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    return Loaded() ? api_.open(deviceIndex, handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle)
{
    // The library takes the serial number through an untyped pointer; it only reads it.
    return Loaded() ? api_.openEx(const_cast<char*>(arg), flags, handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_Close(FT_HANDLE handle)
{
    return Loaded() ? api_.close(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    if (!Loaded()) {
        Clear(bytesReturned);
        return FT_DEVICE_NOT_FOUND;
    }
    return api_.read(handle, buffer, bytesToRead, bytesReturned);
}

FT_STATUS D2xxDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    if (!Loaded()) {
        Clear(bytesWritten);
        return FT_DEVICE_NOT_FOUND;
    }
    // The library's buffer parameter is not const, but it only reads from it.
    return api_.write(handle, const_cast<void*>(buffer), bytesToWrite, bytesWritten);
}

FT_STATUS D2xxDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    return Loaded() ? api_.purge(handle, mask) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_ResetDevice(FT_HANDLE handle)
{
    return Loaded() ? api_.resetDevice(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return Loaded() ? api_.setBaudRate(handle, baudRate) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return Loaded() ? api_.setDataCharacteristics(handle, wordLength, stopBits, parity) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xonChar, UCHAR xoffChar)
{
    return Loaded() ? api_.setFlowControl(handle, flowControl, xonChar, xoffChar) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    return Loaded() ? api_.setTimeouts(handle, readTimeoutMs, writeTimeoutMs) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetDtr(FT_HANDLE handle)
{
    return Loaded() ? api_.setDtr(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_ClrDtr(FT_HANDLE handle)
{
    return Loaded() ? api_.clrDtr(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetRts(FT_HANDLE handle)
{
    return Loaded() ? api_.setRts(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_ClrRts(FT_HANDLE handle)
{
    return Loaded() ? api_.clrRts(handle) : FT_DEVICE_NOT_FOUND;
}

FT_STATUS D2xxDriver::FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD count)
{
    if (!Loaded())
        return FT_DEVICE_NOT_FOUND;
    // The retry count only tunes how often the driver retries a stalled USB
    // pipe. A build of the library without this call has no such setting to
    // change, so there is nothing to do and the link configuration goes on.
    return api_.setResetPipeRetryCount ? api_.setResetPipeRetryCount(handle, count) : FT_OK;
}

FT_STATUS D2xxDriver::FT_CyclePort(FT_HANDLE handle)
{
    if (!Loaded())
        return FT_DEVICE_NOT_FOUND;
    // Without the call the device cannot be made to re-enumerate; say so. The
    // program ignores this status and closes the handle right after, which
    // is all that can be done here.
    return api_.cyclePort ? api_.cyclePort(handle) : FT_NOT_SUPPORTED;
}

FT_STATUS D2xxDriver::FT_CreateDeviceInfoList(DWORD* numDevices)
{
    if (!Loaded()) {
        Clear(numDevices);
        return FT_DEVICE_NOT_FOUND;
    }
    return api_.createDeviceInfoList(numDevices);
}

FT_STATUS D2xxDriver::FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                             char* serialNumber, char* description, FT_HANDLE* handle)
{
    if (!Loaded()) {
        if (serialNumber)
            serialNumber[0] = '\0';
        if (description)
            description[0] = '\0';
        return FT_DEVICE_NOT_FOUND;
    }
    return api_.getDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
}

FT_STATUS D2xxDriver::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timerMs)
{
    if (!Loaded())
        return FT_DEVICE_NOT_FOUND;
    if (!api_.setLatencyTimer) {
        ReportLatencyOnce("the D2XX library has no FT_SetLatencyTimer");
        return FT_NOT_SUPPORTED;
    }
    const FT_STATUS status = api_.setLatencyTimer(handle, timerMs);
    if (status != FT_OK)
        ReportLatencyOnce("FT_SetLatencyTimer(" + std::to_string(timerMs) + " ms) failed with status " +
                          std::to_string(status) + " (" + FtStatusText(status) + ")");
    return status;
}

void D2xxDriver::ReportLatencyOnce(const std::string& why)
{
    if (latencyReported_.exchange(true))
        return;
    std::fprintf(stderr,
                 "vorlinq: %s; the chip keeps its latency timer (16 ms unless set), so each reply of the amplifier "
                 "may reach the display up to that much later.\n",
                 why.c_str());
}
