#pragma once
// The signals that end a headless run (a station, the simulator server):
// SIGINT, SIGTERM and SIGHUP. They are blocked in the calling thread, so that
// every thread started afterwards inherits the mask and one thread alone takes
// them with sigwait.

#include <csignal>

namespace app {

// Blocks the end signals in the calling thread; the set, for sigwait.
sigset_t BlockEndSignals();

} // namespace app
