#pragma once
// The system-wide sign that a copy of the program runs, and the address at
// which the running copy listens. One implementation per platform, chosen by
// the build: InstanceLockPosix.cpp (a lock file and a socket file in a
// per-user directory) and InstanceLockWindows.cpp (a named mutex and a named
// pipe).

#include <QString>

#include <memory>

namespace app {

class InstanceLock {
public:
    enum class Outcome {
        Owned,         // this copy holds the lock now
        HeldElsewhere, // another running copy holds it
        Unavailable,   // the lock cannot be made at all
    };

    // `name` names the lock; `filePath` is the lock file, where the platform
    // uses one.
    InstanceLock(const QString& name, const QString& filePath);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Outcome TryAcquire();
    void Release();

    // The running copy's channel for `name`, with socket files kept in `dir`.
    static QString ChannelAddress(const QString& name, const QString& dir);

    // Called by a copy that is about to ask the running one to the front: lets
    // the running copy take the foreground, where the system restricts that.
    static void LetRunningCopyComeForward();

private:
    struct Held;
    QString name_;
    QString filePath_;
    std::unique_ptr<Held> held_;
};

} // namespace app
