#pragma once
// FTDI's D2XX library as this system has it. One implementation per platform,
// chosen by the build: D2xxLibraryPosix.cpp and D2xxLibraryWindows.cpp.

#include <string>

namespace d2xx {

// The library's name, found through the system's standard search path.
std::string LibraryName();

// What a user whose library is missing or unusable should do about it; empty
// where there is nothing better to say than the loader's own reason.
std::string InstallHint();

} // namespace d2xx
