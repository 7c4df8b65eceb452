#pragma once
// One running copy of Vorlinq per user.
//
// The running copy holds the lock named kInstanceLockName for its whole run (a
// lock file, or on Windows the named mutex; app/InstanceLock.h) and listens on
// a local socket named kBringToFrontName. A copy started while the lock is
// held connects to that socket, asks the running copy to come to the front
// and ends without creating any window. A lock or socket left behind by a copy
// that crashed is recognised and taken over.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QWidget;

namespace app {

class InstanceLock;

// The names shared between copies of the program.
inline constexpr const char* kInstanceLockName = "OneInstance_Vorlinq_Allowed";
inline constexpr const char* kBringToFrontName = "OnlyOne_Vorlinq";
// The connect-at-start request the entry queues for the start of the event loop.
inline constexpr const char* kAutoOpenConnectionName = "AutoOpenConnection_USB";

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // `suffix` is appended to both names and `dir` holds the lock file and, off
    // Windows, the socket; both exist so that tests do not meet a running copy.
    // An empty `dir` means the per-user runtime directory (else the temp dir).
    explicit SingleInstance(QString suffix = {}, QString dir = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this copy is the one that runs: it then holds the lock and
    // listens until Release or destruction. False when another copy runs: that
    // copy has been asked to come to the front, and the caller should end.
    // A lock that cannot be made at all (unwritable directory) is treated as
    // made: the program runs rather than refusing to start.
    bool TryBecomePrimary();

    // Stops listening and gives the lock up, so that a new copy can start.
    void Release();

    bool IsPrimary() const { return primary_; }
    QString LockFilePath() const;
    QString ServerName() const;

signals:
    // Another copy was started and asks this one to come to the front.
    void BringToFrontRequested();

private:
    void Listen();
    void OnNewConnection();
    static bool AskRunningCopyToFront(const QString& serverName);

    QString suffix_;
    QString dir_;
    std::unique_ptr<InstanceLock> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool primary_ = false;
};

// Queues `connect` to run once, on the main thread, as soon as the event loop
// runs (the program's automatic connect at start).
void PostAutoOpenConnection(std::function<void()> connect);

// Restores the window if it is minimised, raises it and gives it the focus.
void BringWindowToFront(QWidget* window);

} // namespace app
