#pragma once
// The one broker of all broker tests: a real mosquitto on a free 127.0.0.1
// port, with the configuration, password file (mosquitto_passwd) and ACL file
// that the README sets up for a station: the station's account (for the
// stations kStationNames), two operators who may key, a watcher who may only
// look, and the tests' own monitor that reads everything. Or, for the faults
// of a careless set-up, a broker without an ACL or a packet size limit.
// Optionally a TLS listener with certificates made by openssl. It can be
// stopped and started again on the same ports. Plus a listening client that
// collects what the broker sends. Every wait is bounded.

#ifdef VORLINQ_HAVE_MQTT

#include "share/MqttClient.h"
#include "support/ChildProcess.h"

#include <QTemporaryDir>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace brokertest {

struct Account {
    const char* user;
    const char* password;
};
inline constexpr Account kStation{"station", "station-secret"};
inline constexpr Account kAlice{"alice", "alice-secret"}; // operator
inline constexpr Account kBob{"bob", "bob-secret"};       // operator
inline constexpr Account kWatcher{"watcher", "watcher-secret"};
inline constexpr Account kMonitor{"monitor", "monitor-secret"}; // the tests' eyes: reads every topic
// The stations the station account may publish.
inline constexpr const char* kStationNames[] = {"shack", "bench"};

// How the broker is set up.
struct BrokerSetup {
    bool tls = false;  // adds a TLS listener with a server certificate for 127.0.0.1
    bool rules = true; // the README's ACL and packet size limit; false: neither
};

class Broker {
public:
    // `tls` adds a TLS listener with a server certificate for 127.0.0.1.
    explicit Broker(bool tls = false) : Broker(BrokerSetup{tls, true}) {}
    explicit Broker(BrokerSetup setup);
    ~Broker();
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    std::string TlsUrl() const { return "mqtts://127.0.0.1:" + std::to_string(tlsPort_); }
    int Port() const { return port_; }
    // The CA that signed the broker's certificate, and one that did not.
    std::string CaFile() const { return File("ca.crt"); }
    std::string OtherCaFile() const { return File("other-ca.crt"); }

    void Stop();
    void Start(); // on the same ports as before
    void Restart()
    {
        Stop();
        Start();
    }

    // The account's login for Url() (TlsUrl() and CaFile() with `tls`).
    share::BrokerLogin Login(const Account& account, bool tls = false) const;
    // A file holding the account's password, readable by its owner only.
    std::string PasswordFile(const Account& account) const;
    std::string File(const char* name) const { return dir_.filePath(name).toStdString(); }

private:
    void WriteFiles(const BrokerSetup& setup);
    QTemporaryDir dir_;
    ChildProcess process_;
    int port_ = 0;
    int tlsPort_ = 0;
};

// A client of the test's own that subscribes to `pattern` and keeps every
// message it gets.
class Listener {
public:
    Listener(const Broker& broker, const Account& account, const std::string& pattern);
    ~Listener();

    // The newest payload on `topic` once `accept` takes it, waiting up to
    // `timeoutMs` (serving the main thread's events); empty when none came.
    std::string WaitFor(const std::string& topic, const std::function<bool(const std::string&)>& accept,
                        int timeoutMs = 10000);
    std::string WaitFor(const std::string& topic, int timeoutMs = 10000)
    {
        return WaitFor(
            topic, [](const std::string&) { return true; }, timeoutMs);
    }
    // Every message on `topic` so far, oldest first.
    std::vector<std::string> All(const std::string& topic);
    // Total payload bytes received on all topics.
    long long Bytes();
    void Clear();
    share::MqttClient& Client() { return client_; }

private:
    share::MqttClient client_;
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> messages_;
    long long bytes_ = 0;
};

// Waits until `done` is true, at most `timeoutMs`, serving the main thread's
// events meanwhile; true when it became true.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

} // namespace brokertest

#endif
