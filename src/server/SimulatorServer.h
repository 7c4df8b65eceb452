#pragma once
// The simulated amplifier on the network: an RFC 2217 server (gensio's
// telnet server side) in front of a driver, normally the simulated
// amplifier's. Data from the client is written to the device; what the
// device sends goes back to the client; baud rate, data bits, parity, stop
// bits, flow control, DTR, RTS and purge requests become the driver's own
// operations, done in order with the data sent before them, and each
// request is answered with the value now in force. So a remote power-on
// pulse reaches the simulated amplifier's modem lines. (The order is the one
// gensio's telnet layer reports: a request that comes in the same network
// read as bytes sent before it is reported ahead of those bytes.)
//
// One client at a time, as with a serial port. A second connection is
// closed at once, unless the client holding the device has sent nothing
// for `idleLimit` or has sent more than the line carries: then that one
// gives way and the newcomer gets the device as soon as it is released.
// What a client sent is held only up to `inputLimit`; beyond that the
// server stops reading from it until the device has taken the bytes. A
// client that goes away releases the device, and what it sent that the
// device has not taken yet is dropped.
//
// gensio types stay in the .cpp; gensio's callbacks run on the GensioLoop
// thread and never wait for the device. One worker thread of the server
// does every device operation.

#include "link/FtdiDriver.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace server {

struct ServerLimits {
    std::chrono::milliseconds idleLimit{4000};
    std::size_t inputLimit = 32 * 1024;
};

class SimulatorServer {
public:
    // `device` must outlive the server; device 0 of its list is served.
    explicit SimulatorServer(FtdiDriver& device, ServerLimits limits = {});
    ~SimulatorServer();
    SimulatorServer(const SimulatorServer&) = delete;
    SimulatorServer& operator=(const SimulatorServer&) = delete;

    // Listens on host:port (port 0: any free port). False with `error` set
    // when it cannot (a bad host, a port in use, no network library).
    bool Start(const std::string& host, int port, std::string* error);
    // The port listened on, once started.
    int Port() const;
    // Stops listening, ends every connection and waits until gensio has
    // finished with all of them. Also done by the destructor.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace server
