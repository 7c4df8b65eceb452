#include "app/PlatformLacks.h"

#include "link/FtdiDriver.h"

namespace app {

std::unique_ptr<FtdiDriver> MakeSerialBackend()
{
    return nullptr;
}

std::string NoSerialBackendReason()
{
    return "the serial backend is Linux's; on Windows FTDI's D2XX driver is the one to use (--driver=d2xx)";
}

std::string NoNetworkLibraryReason()
{
    return "the network library it needs, gensio, is not built for Windows";
}

std::string NoMqttLibraryReason()
{
    return "the MQTT library it needs, libmosquitto, is not built for Windows; "
           "on Windows, watch a shared station through its web panel in a browser";
}

} // namespace app
