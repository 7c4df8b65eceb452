// The running copy's sign on Windows: the named mutex, owned by the running
// copy for its whole run and released by the system when that copy ends, and
// a named pipe as its channel. The mutex alone decides which copy runs: a
// second pipe server of the same name may well be created beside the first.

#include "app/InstanceLock.h"

#include <windows.h>

namespace app {

struct InstanceLock::Held {
    HANDLE mutex = nullptr;
};

InstanceLock::InstanceLock(const QString& name, const QString& filePath) : name_(name), filePath_(filePath) {}

InstanceLock::~InstanceLock()
{
    Release();
}

InstanceLock::Outcome InstanceLock::TryAcquire()
{
    const std::wstring name = name_.toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // A mutex of that name that this user may not open is another copy's.
        return error == ERROR_ACCESS_DENIED ? Outcome::HeldElsewhere : Outcome::Unavailable;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return Outcome::HeldElsewhere;
    }
    held_ = std::make_unique<Held>();
    held_->mutex = mutex;
    return Outcome::Owned;
}

void InstanceLock::Release()
{
    if (held_) {
        ReleaseMutex(held_->mutex);
        CloseHandle(held_->mutex);
        held_.reset();
    }
}

QString InstanceLock::ChannelAddress(const QString& name, const QString&)
{
    return name; // a named pipe: the name is the whole address
}

void InstanceLock::LetRunningCopyComeForward()
{
    // The copy the user just started may give the foreground away; the
    // running copy could not take it by itself.
    AllowSetForegroundWindow(ASFW_ANY);
}

} // namespace app
