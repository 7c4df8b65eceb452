#pragma once
// A network client's serial-port requests (RFC 2217, as gensio's telnet
// server reports them) carried out on the served device.
//
// A request is a gensio server event number with its value; a value of 0
// only asks what is in force. A change the device refuses leaves the
// setting as it was, and the answer is always the setting in force: a
// client asking for 5 data bits from a device that only does 7 and 8 hears
// 8, not 5.

#include "link/FtdiDriver.h"

struct sergensio;

namespace server {

// The port as the device has it; the amplifier's 115200 8N1, DTR on, RTS off
// at open.
struct PortSettings {
    unsigned baud = 115200;
    unsigned dataSize = 8;
    unsigned parity = 1; // none
    unsigned stopBits = 1;
    unsigned flowControl = 1; // none
    unsigned dtr = 1;         // on
    unsigned rts = 2;         // off
};

// True when `request` is a port request handled here.
bool IsPortRequest(int request);
// Changes the device when asked; returns the value in force afterwards.
unsigned ApplyPortRequest(FtdiDriver& device, FT_HANDLE handle, PortSettings& port, int request, unsigned value);
// Tells the client the value in force. A gensio error code, 0 when sent.
int AnswerPortRequest(sergensio* sio, int request, unsigned inForce);

} // namespace server
