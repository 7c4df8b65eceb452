// The running copy's sign on a system without named mutexes: a lock file,
// released by the system when its owner ends, and a socket file beside it.

#include "app/InstanceLock.h"

#include <QDir>
#include <QLockFile>

namespace app {

struct InstanceLock::Held {
    explicit Held(const QString& path) : file(path) {}
    QLockFile file;
};

InstanceLock::InstanceLock(const QString& name, const QString& filePath) : name_(name), filePath_(filePath) {}

InstanceLock::~InstanceLock()
{
    Release();
}

InstanceLock::Outcome InstanceLock::TryAcquire()
{
    auto held = std::make_unique<Held>(filePath_);
    // Held for the whole run, so age says nothing: only an owner that no
    // longer runs (a crashed copy) makes the lock stale.
    held->file.setStaleLockTime(0);
    if (held->file.tryLock(0)) {
        held_ = std::move(held);
        return Outcome::Owned;
    }
    return held->file.error() == QLockFile::LockFailedError ? Outcome::HeldElsewhere : Outcome::Unavailable;
}

void InstanceLock::Release()
{
    if (held_) {
        held_->file.unlock();
        held_.reset();
    }
}

QString InstanceLock::ChannelAddress(const QString& name, const QString& dir)
{
    return QDir(dir).filePath(name); // a socket file in our (per-user) directory
}

void InstanceLock::LetRunningCopyComeForward() {}

} // namespace app
