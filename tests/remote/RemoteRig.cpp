#include "remote/RemoteRig.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace remotetest {

namespace {

using Clock = std::chrono::steady_clock;

void Require(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what);
}

// Waits until something accepts connections on the port (at most 10 s).
void WaitForListener(int port, ChildProcess& process)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
        if (probe.waitForConnected(100))
            return;
        Require(process.Running(), "the server ended (its standard error is above)");
        QThread::msleep(100);
    }
    throw std::runtime_error("nothing listens on port " + std::to_string(port));
}

void RunOpenssl(const QString& dir, const QStringList& args)
{
    std::vector<std::string> list;
    for (const QString& arg : args)
        list.push_back(arg.toStdString());
    const QString errors = dir + "/openssl-errors.txt";
    if (ChildProcess::Run(VORLINQ_OPENSSL, list, {dir.toStdString(), errors.toStdString()}) != 0) {
        QFile file(errors);
        Require(false, "openssl " + args.join(' ').toStdString() + ": " +
                           (file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string()));
    }
}

void MakeCa(const QString& dir, const QString& name)
{
    RunOpenssl(dir, {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                     name + ".key", "-out", name + ".crt", "-days", "2", "-subj", "/CN=" + name});
}

void MakeSigned(const QString& dir, const QString& name, const QString& subject, const QString& ext = "san.ext")
{
    RunOpenssl(dir, {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                     name + ".key", "-out", name + ".csr", "-subj", subject});
    RunOpenssl(dir, {"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                     "-out", name + ".crt", "-days", "2", "-extfile", ext});
}

} // namespace

int FreePort()
{
    QTcpServer server;
    Require(server.listen(QHostAddress::LocalHost, 0), "no free port");
    return server.serverPort();
}

RemoteStation Plain(const std::string& address)
{
    RemoteStation station;
    station.address = address;
    return station;
}

PtyBridge::PtyBridge()
{
    ChildProcess::Options options;
    options.pipeInput = true;
    options.pipeOutput = true;
    std::string error;
    Require(process_.Start(VORLINQ_PTY_AMPLIFIER, {}, options, error), "the pty bridge did not start: " + error);
    Require(process_.ReadLine(tty_, 10000) && !tty_.empty(), "the pty bridge named no tty");
}

PtyBridge::~PtyBridge()
{
    process_.CloseInput(); // the bridge ends with its standard input
    if (!process_.Wait(5000))
        process_.Kill();
}

int PtyBridge::NextKey(int timeoutMs)
{
    std::string line;
    if (!process_.ReadLine(line, timeoutMs) || line.rfind("key ", 0) != 0)
        return -1;
    return std::atoi(line.c_str() + 4);
}

Certificates::Certificates()
{
    const QString d = dir.path();
    QFile ext(dir.filePath("san.ext"));
    Require(ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=IP:127.0.0.1\n") > 0, "san.ext");
    ext.close();
    QFile impostor(dir.filePath("impostor.ext"));
    Require(impostor.open(QIODevice::WriteOnly) && impostor.write("subjectAltName=DNS:impostor.example\n") > 0,
            "impostor.ext");
    impostor.close();
    MakeCa(d, "ca");
    MakeCa(d, "other-ca");
    MakeSigned(d, "server", "/CN=127.0.0.1");
    MakeSigned(d, "client", "/CN=vorlinq");
    MakeSigned(d, "impostor", "/CN=impostor.example", "impostor.ext");
}

Ser2net::Ser2net(const std::string& tty, const Certificates* tls, bool clientAuth, const char* cert)
{
    port_ = FreePort();
    std::string accepter = "telnet(rfc2217),";
    // No hold on what the amplifier sends, as the README's station. Unlike
    // there, a newcomer takes the port: the tests connect back to back, and
    // ser2net may still hold a connection the client has already refused.
    std::string options = "    kickolduser: true\n    chardelay: false\n";
    if (tls) {
        accepter += "ssl(key=" + tls->File((cert + std::string(".key")).c_str()) +
                    ",cert=" + tls->File((cert + std::string(".crt")).c_str());
        if (clientAuth) {
            // ser2net checks a client certificate against the certificates
            // in <authdir>/<its common name>/allowed_certs (hashed); the CA
            // there accepts every certificate it signed.
            accepter += ",clientauth";
            const QString allowed = dir_.filePath("auth/vorlinq/allowed_certs");
            Require(QDir().mkpath(allowed) && QFile::copy(tls->dir.filePath("ca.crt"), allowed + "/ca.crt"),
                    "allowed_certs");
            RunOpenssl(dir_.path(), {"rehash", allowed});
            options += "    authdir: " + dir_.filePath("auth").toStdString() + "\n";
        }
        accepter += "),";
    }
    accepter += "tcp(nodelay),127.0.0.1," + std::to_string(port_);
    const std::string yaml = "connection: &amp\n"
                             "  accepter: " +
                             accepter +
                             "\n"
                             "  connector: serialdev," +
                             tty +
                             ",115200n81,local\n"
                             "  options:\n" +
                             options;
    QFile file(dir_.filePath("ser2net.yaml"));
    Require(file.open(QIODevice::WriteOnly) && file.write(yaml.c_str()) > 0, "ser2net.yaml");
    file.close();
    std::string error;
    Require(process_.Start(
                VORLINQ_SER2NET,
                {"-n", "-d", "-c", file.fileName().toStdString(), "-P", dir_.filePath("ser2net.pid").toStdString()}, {},
                error),
            "ser2net did not start: " + error);
    WaitForListener(port_, process_);
}

Ser2net::~Ser2net()
{
    process_.Stop(5000);
}

SimulatorProcess::SimulatorProcess(int port)
{
    ChildProcess::Options options;
    options.pipeOutput = true;
    std::string error;
    Require(process_.Start(VORLINQ_PROGRAM, {"--serve-simulator=127.0.0.1:" + std::to_string(port)}, options, error),
            "vorlinq --serve-simulator did not start: " + error);
    std::string line;
    process_.ReadLine(line, 10000);
    port_ = std::atoi(line.c_str() + (line.rfind(':') == std::string::npos ? line.size() : line.rfind(':') + 1));
    Require(port_ > 0, "no address from --serve-simulator: " + line);
}

SimulatorProcess::~SimulatorProcess()
{
    process_.Stop(5000);
}

bool SimulatorProcess::TerminatesWithin(int ms)
{
    process_.Terminate();
    return process_.Wait(ms);
}

void SimulatorProcess::Kill()
{
    process_.Kill();
    process_.Wait(5000);
}

TestServer::TestServer(Serve serve, int arg)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    Require(listener_ >= 0 && ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                ::listen(listener_, 4) == 0 &&
                ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0,
            "the test server cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, serve, arg] {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                serve(client, arg, stop_);
        }
    });
}

TestServer::~TestServer()
{
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

std::atomic<bool>& ForwardersStalled()
{
    static std::atomic<bool> stalled{false};
    return stalled;
}

std::atomic<int>& ForwarderDelayMs()
{
    static std::atomic<int> delay{50};
    return delay;
}

void DelayingForwarder(int client, int upstreamPort, const std::atomic<bool>& stop)
{
    const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(upstreamPort));
    if (::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(upstream);
        ::close(client);
        return;
    }
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes;
    };
    const int fds[2] = {client, upstream};
    std::deque<Chunk> queued[2]; // [0]: client to upstream, [1]: upstream to client
    bool open = true;
    while (open && !stop) {
        pollfd p[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
        ::poll(p, 2, 5);
        for (int side = 0; side < 2 && open; ++side) {
            if (!(p[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[8192];
            const ssize_t n = ::read(fds[side], buffer, sizeof buffer);
            if (n <= 0)
                open = false;
            else if (!ForwardersStalled())
                queued[side].push_back(
                    {Clock::now() + std::chrono::milliseconds(ForwarderDelayMs().load()), {buffer, buffer + n}});
        }
        for (int side = 0; side < 2; ++side) {
            while (!queued[side].empty() && queued[side].front().due <= Clock::now()) {
                const std::vector<char>& bytes = queued[side].front().bytes;
                if (::send(fds[1 - side], bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0)
                    open = false;
                queued[side].pop_front();
            }
        }
    }
    ::close(upstream);
    ::close(client);
}

Rfc2217Peer::Rfc2217Peer(const char* mode)
{
    ChildProcess::Options options;
    options.pipeOutput = true;
    std::string error;
    Require(process_.Start(VORLINQ_PYTHON3, {VORLINQ_RFC2217_PEER, mode}, options, error),
            "the RFC 2217 peer did not start: " + error);
    std::string line;
    process_.ReadLine(line, 10000);
    port_ = std::atoi(line.c_str());
    Require(port_ > 0, "no port from the RFC 2217 peer (its standard error is above)");
}

Rfc2217Peer::~Rfc2217Peer()
{
    process_.Stop(5000);
}

void GarbageTalker(int client, int, const std::atomic<bool>& stop)
{
    // It agrees to the COM-port option, so the connection opens; after that
    // nothing it says is telnet or a display frame.
    const char agree[] = {'\xFF', '\xFB', 44, '\xFF', '\xFD', 44};
    ::send(client, agree, sizeof agree, MSG_NOSIGNAL);
    std::vector<char> noise;
    for (int i = 0; i < 600; ++i)
        noise.push_back(static_cast<char>(i % 255)); // every byte value but 0xFF
    for (int round = 0; round < 500 && !stop; ++round) {
        char sink[4096];
        while (::recv(client, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        if (::send(client, noise.data(), noise.size(), MSG_NOSIGNAL) < 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(client);
}

} // namespace remotetest
