#pragma once
// Real servers for the remote backend's tests, each started on a free
// 127.0.0.1 port and stopped by its destructor: the pty bridge to the
// simulated amplifier, ser2net in front of it (plain or TLS), `vorlinq
// --serve-simulator`, certificates made by openssl, and two misbehaving
// servers of the test's own (a forwarder that delays, a garbage talker).
// Every wait is bounded.

#include "link/RemoteStation.h"
#include "support/ChildProcess.h"

#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace remotetest {

// A port on 127.0.0.1 that nothing listens on right now.
int FreePort();

// The simulated amplifier behind a pseudo-terminal (tests/serial/bridge).
class PtyBridge {
public:
    PtyBridge();
    ~PtyBridge();
    const std::string& Tty() const { return tty_; }
    // The next key code the amplifier reports, or -1 after `timeoutMs`.
    int NextKey(int timeoutMs = 5000);

private:
    ChildProcess process_;
    std::string tty_;
};

// openssl-made certificates: a CA, a server certificate for 127.0.0.1 signed
// by it, a client certificate and one for impostor.example signed by it too,
// and an unrelated CA.
struct Certificates {
    Certificates();
    std::string File(const char* name) const { return dir.filePath(name).toStdString(); }
    QTemporaryDir dir; // ca.crt server.crt server.key client.crt client.key other-ca.crt impostor.crt impostor.key
};

// ser2net serving `tty` on a free port; `tls` adds TLS with the server
// certificate (or `cert`), `clientAuth` makes it demand a client certificate.
class Ser2net {
public:
    explicit Ser2net(const std::string& tty, const Certificates* tls = nullptr, bool clientAuth = false,
                     const char* cert = "server");
    ~Ser2net();
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    QTemporaryDir dir_;
    ChildProcess process_;
    int port_ = 0;
};

// `vorlinq --serve-simulator=127.0.0.1:PORT` (a free port, or the one given).
class SimulatorProcess {
public:
    explicit SimulatorProcess(int port = 0);
    ~SimulatorProcess();
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    qint64 Pid() const { return process_.Pid(); }
    void Kill(); // the server dies without a word
    // SIGTERM; whether the server ended within `ms`.
    bool TerminatesWithin(int ms);

private:
    ChildProcess process_;
    int port_ = 0;
};

// A listener on a free port run by a thread of the test: each accepted
// client is handed to `serve` with its socket, which it must close.
class TestServer {
public:
    using Serve = void (*)(int client, int arg, const std::atomic<bool>& stop);
    TestServer(Serve serve, int arg);
    ~TestServer();
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Forwards to 127.0.0.1:`upstreamPort`, holding every chunk ForwarderDelayMs()
// (50) in each direction. While ForwardersStalled() is set it drops everything
// and keeps both connections open: the station is gone, the connection half-open.
void DelayingForwarder(int client, int upstreamPort, const std::atomic<bool>& stop);
std::atomic<bool>& ForwardersStalled();
std::atomic<int>& ForwarderDelayMs();

// pyserial's RFC 2217 server answering wrong in `mode` (see rfc2217_peer.py).
class Rfc2217Peer {
public:
    explicit Rfc2217Peer(const char* mode);
    ~Rfc2217Peer();
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    ChildProcess process_;
    int port_ = 0;
};
// Talks without listening: bytes that are neither telnet nor display frames.
void GarbageTalker(int client, int, const std::atomic<bool>& stop);

RemoteStation Plain(const std::string& address);

} // namespace remotetest
