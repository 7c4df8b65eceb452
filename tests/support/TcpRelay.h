#pragma once
// A TCP relay on 127.0.0.1 between a client under test and its server, for
// the faults of a real network. Clients connect to Port() and are joined to
// the target port byte for byte, until the test interferes: Hold() keeps the
// bytes of one direction or both waiting in the relay (a half-open link, a
// lost acknowledgement) and Release() passes them on late, even for a client
// that gave up meanwhile; Cut() resets every connection and drops what
// waited; Refuse() turns new clients away. One thread of its own, ended with
// the object; every wait is bounded.

#include <atomic>
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

    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    void Hold(int directions) { held_ |= directions; }
    void Release(int directions) { held_ &= ~directions; }
    void Cut(); // returns once every connection is closed
    void Refuse(bool refuse) { refuse_ = refuse; }

private:
    void Run();
    int target_, port_ = 0, listener_ = -1;
    std::atomic<int> held_{0}, cuts_{0}, cutsDone_{0};
    std::atomic<bool> refuse_{false}, stop_{false};
    std::thread thread_;
};

} // namespace relaytest
