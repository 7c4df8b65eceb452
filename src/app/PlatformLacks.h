#pragma once
// What the program cannot offer on this system, and why, in the words shown
// where the user would have looked for it. One implementation per platform,
// chosen by the build: PlatformLacksPosix.cpp and PlatformLacksWindows.cpp.

#include <memory>
#include <string>

class FtdiDriver;

namespace app {

// The operating system's serial driver for FTDI chips as a backend; null
// where this system has none.
std::unique_ptr<FtdiDriver> MakeSerialBackend();

// Why there is no serial backend (empty where there is one).
std::string NoSerialBackendReason();

// Why this build lacks the network library that the remote station and the
// simulator server need, and the MQTT library of a shared station.
std::string NoNetworkLibraryReason();
std::string NoMqttLibraryReason();

} // namespace app
