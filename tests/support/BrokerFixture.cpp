#ifdef VORLINQ_HAVE_MQTT

#include "support/BrokerFixture.h"

#include "support/ChildProcess.h"
#include "support/ProcessEvents.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>
#include <stdexcept>
#include <thread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brokertest {

namespace {

void Require(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what);
}

int FreePort()
{
    QTcpServer server;
    Require(server.listen(QHostAddress::LocalHost, 0), "no free port");
    return server.serverPort();
}

void Run(const QString& program, const QStringList& args, const QString& dir)
{
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    const QString errors = dir + "/run-errors.txt";
    if (ChildProcess::Run(program.toStdString(), list, {dir.toStdString(), errors.toStdString()}) != 0) {
        QFile file(errors);
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        Require(false, program.toStdString() + " " + args.join(' ').toStdString() + ": " + text.toStdString());
    }
}

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size(),
            "cannot write " + path.toStdString());
}

void MakeCertificates(const QString& d)
{
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    for (const char* ca : {"ca", "other-ca"})
        Run(VORLINQ_OPENSSL,
            QStringList{"req", "-x509"} + ec +
                QStringList{"-keyout", QString(ca) + ".key", "-out", QString(ca) + ".crt", "-days", "2", "-subj",
                            QString("/CN=") + ca},
            d);
    WriteText(d + "/san.ext", "subjectAltName=IP:127.0.0.1\n");
    Run(VORLINQ_OPENSSL,
        QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1"},
        d);
    Run(VORLINQ_OPENSSL,
        {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-out",
         "server.crt", "-days", "2", "-extfile", "san.ext"},
        d);
}

} // namespace

Broker::Broker(BrokerSetup setup)
{
    Require(dir_.isValid(), "no temporary directory");
    port_ = FreePort();
    if (setup.tls) {
        tlsPort_ = FreePort();
        MakeCertificates(dir_.path());
    }
    WriteFiles(setup);
    try {
        Start();
    } catch (...) {
        Stop();
        throw;
    }
}

Broker::~Broker()
{
    Stop();
}

void Broker::WriteFiles(const BrokerSetup& setup)
{
    const QString d = dir_.path();
    // Run as whoever runs the test: started by root, mosquitto would become
    // the mosquitto user, who cannot read our files.
    const passwd* self = ::getpwuid(::geteuid());
    Require(self != nullptr, "who am I?");
    QByteArray conf = "user " + QByteArray(self->pw_name) +
                      "\n"
                      "per_listener_settings false\n"
                      "allow_anonymous false\n"
                      "persistence false\n"
                      "log_dest stderr\n"
                      "log_type error\n"
                      "password_file " +
                      (d + "/passwd").toUtf8() + "\nlistener " + QByteArray::number(port_) + " 127.0.0.1\n";
    if (setup.rules)
        conf += "acl_file " + (d + "/acl").toUtf8() + "\nmax_packet_size 65536\n";
    if (setup.tls)
        conf += "listener " + QByteArray::number(tlsPort_) + " 127.0.0.1\ncafile " + (d + "/ca.crt").toUtf8() +
                "\ncertfile " + (d + "/server.crt").toUtf8() + "\nkeyfile " + (d + "/server.key").toUtf8() + "\n";
    WriteText(d + "/mosquitto.conf", conf);
    // As in the README: the station writes its own topics, reads its own
    // state and control (to notice another writer there) and its key
    // topics, and writes its notices.
    QByteArray acl = "user station\ntopic write homeassistant/#\n";
    for (const char* name : kStationNames) {
        const QByteArray prefix = "vorlinq/v1/" + QByteArray(name) + "/";
        for (const char* topic : {"frame", "text", "lamps", "png"})
            acl += "topic write " + prefix + topic + "\n";
        acl += "topic readwrite " + prefix + "state\ntopic readwrite " + prefix + "control\ntopic read " + prefix +
               "key/+\ntopic write " + prefix + "notice/+\n";
    }
    acl += "\n"
           "user alice\n"
           "topic write vorlinq/v1/+/key/alice\n"
           "\n"
           "user bob\n"
           "topic write vorlinq/v1/+/key/bob\n"
           "\n"
           "user monitor\n"
           "topic read vorlinq/v1/#\n"
           "topic read homeassistant/#\n"
           "\n"
           "pattern read vorlinq/v1/+/state\n"
           "pattern read vorlinq/v1/+/frame\n"
           "pattern read vorlinq/v1/+/text\n"
           "pattern read vorlinq/v1/+/lamps\n"
           "pattern read vorlinq/v1/+/png\n"
           "pattern read vorlinq/v1/+/control\n"
           "pattern read vorlinq/v1/+/notice/%u\n";
    WriteText(d + "/acl", acl);
    WriteText(d + "/passwd", "");
    for (const Account& a : {kStation, kAlice, kBob, kWatcher, kMonitor})
        Run(VORLINQ_MOSQUITTO_PASSWD, {"-b", d + "/passwd", a.user, a.password}, d);
    // mosquitto warns about (and later versions refuse) files others can read.
    ::chmod((d + "/passwd").toLocal8Bit().constData(), 0600);
    ::chmod((d + "/acl").toLocal8Bit().constData(), 0600);
}

void Broker::Start()
{
    if (process_.Running())
        return;
    const std::string log = File("mosquitto.log");
    std::string error;
    Require(process_.Start(VORLINQ_MOSQUITTO, {"-c", File("mosquitto.conf")}, {dir_.path().toStdString(), log}, error),
            "mosquitto did not start: " + error);
    for (int port : {port_, tlsPort_}) {
        if (port == 0)
            continue;
        bool listening = false;
        for (int attempt = 0; attempt < 100 && !listening; ++attempt) {
            QTcpSocket probe;
            probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
            listening = probe.waitForConnected(100);
            if (!listening) {
                if (!process_.Running()) {
                    QFile file(QString::fromStdString(log));
                    Require(false, "mosquitto ended: " +
                                       (file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string()));
                }
                QThread::msleep(50);
            }
        }
        Require(listening, "mosquitto does not listen on port " + std::to_string(port));
    }
}

void Broker::Stop()
{
    process_.Stop(5000);
}

share::BrokerLogin Broker::Login(const Account& account, bool tls) const
{
    share::BrokerLogin login;
    login.url = tls ? TlsUrl() : Url();
    if (tls)
        login.caFile = CaFile();
    login.user = account.user;
    login.password = account.password;
    return login;
}

std::string Broker::PasswordFile(const Account& account) const
{
    const QString path = dir_.filePath(QString("%1.password").arg(account.user));
    WriteText(path, QByteArray(account.password) + "\n");
    ::chmod(path.toLocal8Bit().constData(), 0600);
    return path.toStdString();
}

Listener::Listener(const Broker& broker, const Account& account, const std::string& pattern)
    : client_([&] {
          share::MqttClient::Options options;
          options.login = broker.Login(account);
          options.minBackoffMs = 50;
          options.maxBackoffMs = 500;
          return options;
      }())
{
    client_.OnMessage([this](const share::MqttMessage& m) {
        std::lock_guard lock(mutex_);
        messages_[m.topic].push_back(m.payload);
        bytes_ += static_cast<long long>(m.payload.size());
    });
    client_.Subscribe(pattern);
    std::string error;
    Require(client_.Start(error), error);
    Require(WaitUntil([this] { return client_.Connected(); }), "the listener did not connect: " + client_.LastError());
}

Listener::~Listener()
{
    client_.Stop();
}

std::string Listener::WaitFor(const std::string& topic, const std::function<bool(const std::string&)>& accept,
                              int timeoutMs)
{
    std::string found;
    WaitUntil(
        [&] {
            std::lock_guard lock(mutex_);
            auto it = messages_.find(topic);
            if (it == messages_.end() || it->second.empty() || !accept(it->second.back()))
                return false;
            found = it->second.back();
            return true;
        },
        timeoutMs);
    return found;
}

std::vector<std::string> Listener::All(const std::string& topic)
{
    std::lock_guard lock(mutex_);
    return messages_[topic];
}

long long Listener::Bytes()
{
    std::lock_guard lock(mutex_);
    return bytes_;
}

void Listener::Clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
    bytes_ = 0;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    return ProcessEventsUntil(done, timeoutMs);
}

} // namespace brokertest

#endif
