#include "app/DriverChoice.h"

#include "app/PlatformLacks.h"
#include "link/D2xxDriver.h"
#include "sim/SimDriver.h"
#ifdef VORLINQ_HAVE_REMOTE
#include "link/RemoteDriver.h"
#endif

#include <stdexcept>

namespace app {

namespace {

ChosenDriver Simulator()
{
    // At the link's real pace, on the real clock, recording nothing.
    return {std::make_unique<sim::SimDriver>(sim::DemoOptions()), true};
}

} // namespace

bool RemoteAvailable()
{
#ifdef VORLINQ_HAVE_REMOTE
    return true;
#else
    return false;
#endif
}

ChosenDriver MakeDriver(AppOptions::Driver choice, const RemoteStation& station)
{
    switch (choice) {
    case AppOptions::Driver::Remote:
#ifdef VORLINQ_HAVE_REMOTE
        return {std::make_unique<RemoteDriver>(station), false};
#else
        (void)station;
        throw std::runtime_error("This Vorlinq cannot reach a remote station: " + NoNetworkLibraryReason() + ".");
#endif
    case AppOptions::Driver::Simulator:
        return Simulator();
    case AppOptions::Driver::D2xx:
        return {std::make_unique<D2xxDriver>(), false};
    case AppOptions::Driver::Serial:
        if (std::unique_ptr<FtdiDriver> serial = MakeSerialBackend())
            return {std::move(serial), false};
        throw std::runtime_error("This Vorlinq has no serial backend: " + NoSerialBackendReason() + ".");
    case AppOptions::Driver::Auto:
        break;
    }
    if (D2xxDriver::Available())
        return {std::make_unique<D2xxDriver>(), false};
    if (std::unique_ptr<FtdiDriver> serial = MakeSerialBackend())
        return {std::move(serial), false};
    return {std::make_unique<D2xxDriver>(), false};
}

} // namespace app
