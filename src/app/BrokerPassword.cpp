#include "app/BrokerPassword.h"

#include <QInputDialog>
#include <QLineEdit>
#ifdef VORLINQ_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>
#endif

namespace app {

namespace {

#ifdef VORLINQ_HAVE_KEYCHAIN
const QString kService = QStringLiteral("Vorlinq broker");
// A store that does not answer (a keyring service that never starts) is no store.
constexpr int kStoreWaitMs = 5000;

QString StoreKey(const share::BrokerLogin& login)
{
    return QString::fromStdString(login.user + "@" + login.url);
}

// Runs a store job to its end, bounded; true when it succeeded.
bool RunJob(QKeychain::Job& job, std::string& error)
{
    job.setAutoDelete(false);
    bool done = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(kStoreWaitMs, &loop, &QEventLoop::quit);
    job.start();
    if (!done)
        loop.exec();
    if (!done) {
        error = "the password store does not answer";
        return false;
    }
    if (job.error() != QKeychain::NoError) {
        error = job.errorString().toStdString();
        return false;
    }
    return true;
}
#endif

} // namespace

bool KeepBrokerPassword(const share::BrokerLogin& login, std::string& error)
{
#ifdef VORLINQ_HAVE_KEYCHAIN
    QKeychain::WritePasswordJob job(kService);
    job.setKey(StoreKey(login));
    job.setTextData(QString::fromStdString(login.password));
    return RunJob(job, error);
#else
    (void)login;
    error = "this Vorlinq was built without a password store";
    return false;
#endif
}

bool DesktopBrokerPassword(share::BrokerLogin& login, QWidget* parent)
{
#ifdef VORLINQ_HAVE_KEYCHAIN
    {
        QKeychain::ReadPasswordJob job(kService);
        job.setKey(StoreKey(login));
        std::string error;
        if (RunJob(job, error) && !job.textData().isEmpty()) {
            login.password = job.textData().toStdString();
            return true;
        }
    }
#endif
    bool ok = false;
    const QString password = QInputDialog::getText(
        parent, "Vorlinq: Broker password",
        QString::fromStdString("Password of " + login.user + " at " + login.url + ":"), QLineEdit::Password, {}, &ok);
    if (!ok)
        return false;
    login.password = password.toStdString();
    std::string error;
    if (!KeepBrokerPassword(login, error))
        qWarning("the broker password is not kept: %s", error.c_str());
    return true;
}

} // namespace app
