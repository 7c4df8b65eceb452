#include "app/SingleInstance.h"

#include "app/InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

namespace app {

namespace {

// How long a new copy tries to reach the running one. The running copy takes
// the lock a moment before it listens, so a copy started in that moment
// retries the connection for a while; the reply comes at once once connected.
constexpr int kConnectAttempts = 20;
constexpr int kConnectPauseMs = 50;
constexpr int kReplyWaitMs = 2000;

constexpr char kHandledReply[] = "OK\n";

QString DefaultDirectory()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

} // namespace

SingleInstance::SingleInstance(QString suffix, QString dir, QObject* parent)
    : QObject(parent), suffix_(std::move(suffix)), dir_(dir.isEmpty() ? DefaultDirectory() : std::move(dir))
{
}

SingleInstance::~SingleInstance()
{
    Release();
}

QString SingleInstance::LockFilePath() const
{
    return QDir(dir_).filePath(QLatin1String(kInstanceLockName) + suffix_ + QStringLiteral(".lock"));
}

QString SingleInstance::ServerName() const
{
    return InstanceLock::ChannelAddress(QLatin1String(kBringToFrontName) + suffix_, dir_);
}

bool SingleInstance::TryBecomePrimary()
{
    if (primary_) {
        return true;
    }
    lock_ = std::make_unique<InstanceLock>(QLatin1String(kInstanceLockName) + suffix_, LockFilePath());
    const InstanceLock::Outcome outcome = lock_->TryAcquire();
    if (outcome != InstanceLock::Outcome::Owned) {
        lock_.reset();
        if (outcome == InstanceLock::Outcome::HeldElsewhere) {
            InstanceLock::LetRunningCopyComeForward();
            AskRunningCopyToFront(ServerName());
            return false;
        }
        // The lock cannot be made at all: run without it rather than not at all.
    }
    primary_ = true;
    Listen();
    return true;
}

void SingleInstance::Release()
{
    if (server_) {
        server_->close();
        server_.reset();
    }
    lock_.reset();
    primary_ = false;
}

void SingleInstance::Listen()
{
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    // We own the lock, so a socket of this name can only be left over from a
    // copy that crashed: remove it, or listening would fail.
    QLocalServer::removeServer(ServerName());
    if (!server_->listen(ServerName())) {
        // Nobody can ask us to the front; the program itself works on.
        server_.reset();
    }
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray request = socket->readLine().trimmed();
                if (request == kBringToFrontName) {
                    emit BringToFrontRequested();
                    socket->write(kHandledReply);
                    socket->flush();
                    socket->disconnectFromServer(); // after the reply is written
                    return;
                }
                // Anything else is not for us and is ignored.
            }
        });
    }
}

bool SingleInstance::AskRunningCopyToFront(const QString& serverName)
{
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(serverName);
        if (socket.waitForConnected(kReplyWaitMs)) {
            socket.write(kBringToFrontName);
            socket.write("\n");
            if (!socket.waitForBytesWritten(kReplyWaitMs)) {
                return false;
            }
            // Wait until the running copy has handled the request.
            while (!socket.canReadLine()) {
                if (!socket.waitForReadyRead(kReplyWaitMs)) {
                    return false;
                }
            }
            return socket.readLine() == kHandledReply;
        }
        QThread::msleep(kConnectPauseMs);
    }
    return false;
}

void PostAutoOpenConnection(std::function<void()> connect)
{
    if (!connect) {
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [connect = std::move(connect)] { connect(); }, Qt::QueuedConnection);
}

void BringWindowToFront(QWidget* window)
{
    if (window == nullptr) {
        return;
    }
    if (window->isMinimized()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->raise();
    window->activateWindow();
}

} // namespace app
