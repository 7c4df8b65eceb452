#include "server/ServeSimulator.h"

#include "app/EndSignals.h"
#include "link/RemoteStation.h"
#include "server/SimulatorServer.h"
#include "sim/SimDriver.h"

#include <csignal>
#include <ostream>

#include <pthread.h>

namespace server {

int ServeSimulator(const std::string& where, std::ostream& out, std::ostream& err)
{
    const std::optional<HostPort> address = ParseHostPort(where, "127.0.0.1", true);
    if (!address) {
        err << "vorlinq: --serve-simulator needs [HOST:]PORT, not \"" << where << "\"\n";
        return 2;
    }
    // The end signals are taken by sigwait below; every thread started from
    // here on inherits the mask, so none of them is interrupted by one.
    const sigset_t endSignals = app::BlockEndSignals();

    // The simulated amplifier at the link's real pace.
    sim::SimDriver amplifier(sim::DemoOptions());
    SimulatorServer server(amplifier);
    std::string problem;
    if (!server.Start(address->host, address->port, &problem)) {
        err << "vorlinq: " << problem << "\n";
        return 1;
    }
    const std::string shown = address->host.find(':') != std::string::npos ? "[" + address->host + "]" : address->host;
    out << "Serving the simulated amplifier on " << shown << ":" << server.Port() << std::endl;

    int signal = 0;
    sigwait(&endSignals, &signal);
    server.Stop();
    return 0;
}

} // namespace server
