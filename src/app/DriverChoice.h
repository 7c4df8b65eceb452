#pragma once
// Which FTDI driver backend the program talks through.

#include "app/CommandLine.h"
#include "link/FtdiDriver.h"

#include <memory>

namespace app {

struct ChosenDriver {
    std::unique_ptr<FtdiDriver> driver;
    bool simulated = false;
};

// --driver=d2xx, serial, simulator or remote as asked (remote reaches
// `station`). Without an option: FTDI's D2XX library when it loads and sees a
// device, else the operating system's serial driver (POSIX), else the D2XX
// backend, whose load error Connect reports.
ChosenDriver MakeDriver(AppOptions::Driver choice, const RemoteStation& station = {});

// Whether this build has the remote backend and the simulator server (it
// needs gensio at build time).
bool RemoteAvailable();

} // namespace app
