#include "app/DriverChoice.h"

#include "link/D2xxDriver.h"
#include "sim/SimDriver.h"
#ifndef _WIN32
#include "link/SerialDriver.h"
#endif
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
        throw std::runtime_error("This Vorlinq was built without the network library (gensio): "
                                 "a remote station cannot be reached.");
#endif
    case AppOptions::Driver::Simulator:
        return Simulator();
    case AppOptions::Driver::D2xx:
        return {std::make_unique<D2xxDriver>(), false};
    case AppOptions::Driver::Serial:
#ifndef _WIN32
        return {std::make_unique<SerialDriver>(), false};
#else
        return {std::make_unique<D2xxDriver>(), false};
#endif
    case AppOptions::Driver::Auto:
        break;
    }
    if (D2xxDriver::Available())
        return {std::make_unique<D2xxDriver>(), false};
#ifndef _WIN32
    return {std::make_unique<SerialDriver>(), false};
#else
    return {std::make_unique<D2xxDriver>(), false};
#endif
}

} // namespace app
