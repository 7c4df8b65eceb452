#pragma once
// The program's command line: which FTDI backend to use (a remote station with
// its TLS files among them), help, version, the package check, the
// simulator server, and sharing the amplifier through an MQTT broker (as the
// station that owns the link, or as a viewer of one).

#include "link/RemoteStation.h"
#include "share/BrokerConfig.h"

#include <QString>
#include <QStringList>

#include <string>

namespace app {

struct AppOptions {
    enum class Driver { Auto, D2xx, Serial, Simulator, Remote };
    Driver driver = Driver::Auto;
    RemoteStation remote;       // --remote=HOST:PORT and the --remote-* options; address empty if not given
    std::string serveSimulator; // --serve-simulator=[HOST:]PORT: serve the simulated amplifier and end
    bool help = false;
    bool version = false;
    std::string checkPackage;  // --check-package FILE: check the file and end
    std::string station;       // --station=NAME: run without a window and share the link under NAME
    std::string viewer;        // --viewer=NAME: the window, fed from station NAME on the broker
    share::BrokerLogin broker; // --broker=URL and --broker-*; the password read from --broker-password-file
    std::string brokerPasswordFile;
    bool haDiscovery = false; // --ha-discovery: the station announces its lamps and text to Home Assistant
    std::string error;        // not empty: the command line is wrong, this says why
};

// `args` as QCoreApplication::arguments() gives them: the first entry is the
// program itself and is skipped. Stops at the first mistake and reports it in
// `error`.
AppOptions ParseCommandLine(const QStringList& args);

// The text for --help and for a wrong command line.
QString UsageText();

} // namespace app
