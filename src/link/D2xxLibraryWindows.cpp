#include "link/D2xxLibrary.h"

namespace d2xx {

std::string LibraryName()
{
    // ftd2xx.dll, which FTDI's driver installs into the system folder; one
    // beside the program is found first.
    return "ftd2xx";
}

std::string InstallHint()
{
    return "Install FTDI's D2XX driver for Windows (from ftdichip.com, \"Drivers\", \"D2XX Drivers\"), "
           "which puts ftd2xx.dll into the system folder, then connect again.";
}

} // namespace d2xx
