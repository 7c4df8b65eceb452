#include "server/PortRequests.h"

#include <gensio/gensio.h>
#include <gensio/sergensio.h>

namespace server {

namespace {

// The driver's parity codes run none, odd, even, mark, space from 0; the
// client's from 1.
bool SetCharacteristics(FtdiDriver& device, FT_HANDLE handle, unsigned dataSize, unsigned parity, unsigned stopBits)
{
    const auto stop = static_cast<UCHAR>(stopBits == 2 ? 2 : 0);
    return device.FT_SetDataCharacteristics(handle, static_cast<UCHAR>(dataSize), stop,
                                            static_cast<UCHAR>(parity - 1)) == FT_OK;
}

bool SetFlowControl(FtdiDriver& device, FT_HANDLE handle, unsigned flow)
{
    const USHORT mode = flow == SERGENSIO_FLOWCONTROL_RTS_CTS    ? 0x0100
                        : flow == SERGENSIO_FLOWCONTROL_XON_XOFF ? 0x0400
                                                                 : 0x0000;
    return device.FT_SetFlowControl(handle, mode, 0x11, 0x13) == FT_OK;
}

} // namespace

bool IsPortRequest(int request)
{
    switch (request) {
    case GENSIO_EVENT_SER_BAUD:
    case GENSIO_EVENT_SER_DATASIZE:
    case GENSIO_EVENT_SER_PARITY:
    case GENSIO_EVENT_SER_STOPBITS:
    case GENSIO_EVENT_SER_FLOWCONTROL:
    case GENSIO_EVENT_SER_IFLOWCONTROL:
    case GENSIO_EVENT_SER_SBREAK:
    case GENSIO_EVENT_SER_DTR:
    case GENSIO_EVENT_SER_RTS:
        return true;
    default:
        return false;
    }
}

unsigned ApplyPortRequest(FtdiDriver& device, FT_HANDLE handle, PortSettings& port, int request, unsigned value)
{
    switch (request) {
    case GENSIO_EVENT_SER_BAUD:
        if (value && device.FT_SetBaudRate(handle, value) == FT_OK)
            port.baud = value;
        return port.baud;
    case GENSIO_EVENT_SER_DATASIZE:
        if (value >= 5 && value <= 8 && SetCharacteristics(device, handle, value, port.parity, port.stopBits))
            port.dataSize = value;
        return port.dataSize;
    case GENSIO_EVENT_SER_PARITY:
        if (value >= SERGENSIO_PARITY_NONE && value <= SERGENSIO_PARITY_SPACE &&
            SetCharacteristics(device, handle, port.dataSize, value, port.stopBits))
            port.parity = value;
        return port.parity;
    case GENSIO_EVENT_SER_STOPBITS:
        if ((value == 1 || value == 2) && SetCharacteristics(device, handle, port.dataSize, port.parity, value))
            port.stopBits = value;
        return port.stopBits;
    case GENSIO_EVENT_SER_FLOWCONTROL:
        if ((value == SERGENSIO_FLOWCONTROL_NONE || value == SERGENSIO_FLOWCONTROL_XON_XOFF ||
             value == SERGENSIO_FLOWCONTROL_RTS_CTS) &&
            SetFlowControl(device, handle, value))
            port.flowControl = value;
        return port.flowControl;
    case GENSIO_EVENT_SER_IFLOWCONTROL:
        return SERGENSIO_FLOWCONTROL_NONE; // the chip has no separate input flow control
    case GENSIO_EVENT_SER_SBREAK:
        return SERGENSIO_BREAK_OFF; // nor a break the amplifier would notice
    case GENSIO_EVENT_SER_DTR:
        if ((value == SERGENSIO_DTR_ON && device.FT_SetDtr(handle) == FT_OK) ||
            (value == SERGENSIO_DTR_OFF && device.FT_ClrDtr(handle) == FT_OK))
            port.dtr = value;
        return port.dtr;
    case GENSIO_EVENT_SER_RTS:
        if ((value == SERGENSIO_RTS_ON && device.FT_SetRts(handle) == FT_OK) ||
            (value == SERGENSIO_RTS_OFF && device.FT_ClrRts(handle) == FT_OK))
            port.rts = value;
        return port.rts;
    default:
        return 0;
    }
}

int AnswerPortRequest(sergensio* sio, int request, unsigned inForce)
{
    switch (request) {
    case GENSIO_EVENT_SER_BAUD:
        return sergensio_baud(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_DATASIZE:
        return sergensio_datasize(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_PARITY:
        return sergensio_parity(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_STOPBITS:
        return sergensio_stopbits(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_FLOWCONTROL:
        return sergensio_flowcontrol(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_IFLOWCONTROL:
        return sergensio_iflowcontrol(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_SBREAK:
        return sergensio_sbreak(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_DTR:
        return sergensio_dtr(sio, inForce, nullptr, nullptr);
    case GENSIO_EVENT_SER_RTS:
        return sergensio_rts(sio, inForce, nullptr, nullptr);
    default:
        return GE_NOTSUP;
    }
}

} // namespace server
