#pragma once
// The simulated amplifier on the network: an RFC 2217 server (gensio's
// telnet server side) in front of a driver, normally the simulated
// amplifier's. Data from the client is written to the device; what the
// device sends goes back to the client; baud rate, data bits, parity, stop
// bits, flow control, DTR, RTS and purge requests become the driver's own
// operations, and each request is answered with the value now in force. So a
// remote power-on pulse reaches the simulated amplifier's modem lines.
//
// One client at a time, as with a serial port: a second connection is
// closed at once. A client that goes away releases the device; the next may
// connect.
//
// gensio types stay in the .cpp; gensio's callbacks run on the GensioLoop
// thread; a pump thread per client carries the device's output.

#include "link/FtdiDriver.h"

#include <memory>
#include <string>

namespace server {

class SimulatorServer {
public:
    // `device` must outlive the server; device 0 of its list is served.
    explicit SimulatorServer(FtdiDriver& device);
    ~SimulatorServer();
    SimulatorServer(const SimulatorServer&) = delete;
    SimulatorServer& operator=(const SimulatorServer&) = delete;

    // Listens on host:port (port 0: any free port). False with `error` set
    // when it cannot (a bad host, a port in use, no network library).
    bool Start(const std::string& host, int port, std::string* error);
    // The port listened on, once started.
    int Port() const;
    // Closes the client connection and stops listening. Also done by the destructor.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace server
