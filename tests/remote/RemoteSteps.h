#pragma once
// What the remote tests do over a connection, the way the program does it.

#include "link/FtdiDriver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace remotetest {

// Polls `count` times; the number of valid display frames. The payload of
// the last one goes to `payload` when given.
int ValidPolls(FtdiDriver& driver, FT_HANDLE handle, int count, std::vector<std::uint8_t>* payload = nullptr);

// A firmware update of `blocks` blocks through the update engine, with
// `timeoutMs` read and write time-outs; empty when it completed, otherwise
// the message that ended it.
std::string RunUpdate(FtdiDriver& driver, FT_HANDLE handle, int blocks, unsigned timeoutMs);

// The message of the FT_Exception the link configuration raises; empty if none.
std::string ConfigureError(FtdiDriver& driver, FT_HANDLE handle);

} // namespace remotetest
