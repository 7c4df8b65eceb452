#pragma once
// `vorlinq --station=NAME --broker=URL`: the station without a window, until
// SIGINT, SIGTERM or SIGHUP.

#include "app/CommandLine.h"

#include <iosfwd>

namespace share {

// Problems go to `err`; returns the program's exit status.
int RunStation(int argc, char** argv, const app::AppOptions& options, std::ostream& err);

} // namespace share
