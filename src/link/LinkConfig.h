#pragma once
// The link configuration that makes a freshly opened device ready for the
// amplifier's protocol.

#include "link/FtTypes.h"

class FtdiDriver;

// Runs the eight configuration steps in order, each checked with its own
// location number (1024 to 1031). The first failed step raises its
// FT_Exception and the later steps are not run. Afterwards the port runs at
// 115200 baud, 8 data bits, 1 stop bit, no parity, no flow control, with the
// normal time-outs, and the modem lines rest with DTR set and RTS clear.
//
// Then it asks for a latency timer of kLowLatencyTimerMs, unchecked: a driver
// that cannot set it reports why itself, and the link works without it, only
// slower (every answer waits up to 16 ms longer).
void ConfigureLink(FtdiDriver& driver, FT_HANDLE handle);

// The latency timer the link asks for, in ms.
constexpr UCHAR kLowLatencyTimerMs = 2;
