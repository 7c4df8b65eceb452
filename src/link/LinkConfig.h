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
void ConfigureLink(FtdiDriver& driver, FT_HANDLE handle);
