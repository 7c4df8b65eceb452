#pragma once
// `vorlinq --serve-simulator=[HOST:]PORT`: the simulated amplifier served on
// the network over RFC 2217, without a window. Runs until SIGINT, SIGTERM or
// SIGHUP.

#include <iosfwd>
#include <string>

namespace server {

// `where` is [HOST:]PORT; the host defaults to 127.0.0.1, port 0 takes any
// free port. Prints the address it serves on as the first line of `out`
// ("Serving the simulated amplifier on 127.0.0.1:PORT"), problems on `err`.
// Returns the program's exit status.
int ServeSimulator(const std::string& where, std::ostream& out, std::ostream& err);

} // namespace server
