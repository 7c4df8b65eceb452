#pragma once
// `vorlinq --station=NAME --broker=URL`: the station without a window, until
// SIGINT, SIGTERM or SIGHUP, or until it halts because another client writes
// its topics (exit status 3).

#include "app/CommandLine.h"

#include <iosfwd>

namespace share {

// Problems go to `err`; returns the program's exit status.
int RunStation(int argc, char** argv, const app::AppOptions& options, std::ostream& err);

} // namespace share
