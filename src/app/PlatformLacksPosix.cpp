#include "app/PlatformLacks.h"

#include "link/SerialDriver.h"

namespace app {

std::unique_ptr<FtdiDriver> MakeSerialBackend()
{
    return std::make_unique<SerialDriver>();
}

std::string NoSerialBackendReason()
{
    return {};
}

std::string NoNetworkLibraryReason()
{
    return "it was built without gensio";
}

std::string NoMqttLibraryReason()
{
    return "it was built without libmosquitto";
}

} // namespace app
