#pragma once
// A TCP relay on 127.0.0.1 between a client under test and the server it
// talks to (a broker, a station), for the faults of a real network. Clients
// connect to Port() and are joined to the target port byte for byte until
// the test interferes:
//
// - Hold() stops passing bytes on in one direction or both; they wait in the
//   relay (a half-open link, an acknowledgement that never comes back), and
//   Release() passes them on late and goes on. A client that gives up
//   meanwhile does not take back what it sent: it still goes on at Release.
// - Cut() ends every connection at once with a reset, dropping what waited.
// - Refuse() turns new clients away (a broker that is out of reach).
//
// One thread of its own serves all connections; every wait is bounded and
// the thread ends with the object.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace relaytest {

class TcpRelay {
public:
    static constexpr int kUp = 1;   // client to target
    static constexpr int kDown = 2; // target to client
    static constexpr int kBoth = kUp | kDown;

    explicit TcpRelay(int targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

    void Hold(int directions);
    void Release(int directions);
    // Returns once every connection is closed.
    void Cut();
    void Refuse(bool refuse);
    // Connections joined now.
    int Connections() const { return connections_; }

private:
    void Run();
    void Wake();

    int target_;
    int port_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<int> held_{0};
    std::atomic<bool> refuse_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::condition_variable cutDone_;
    int cutsAsked_ = 0;
    int cutsDone_ = 0;
    std::thread thread_;
};

} // namespace relaytest
