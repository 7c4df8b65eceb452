#include "app/BackendSwitch.h"

#ifdef VORLINQ_HAVE_REMOTE
#include "link/RemoteDriver.h"
#endif

namespace app {

BackendSwitch::BackendSwitch(const AppOptions& options, const StoredRemote& stored)
{
    const bool remote = options.driver == AppOptions::Driver::Remote ||
                        (options.driver == AppOptions::Driver::Auto && stored.enabled && RemoteAvailable());
    if (remote) {
        // --remote=HOST:PORT brings its own station; --driver=remote alone uses the stored one.
        const RemoteStation station = options.remote.address.empty() ? stored.station : options.remote;
        remote_ = MakeDriver(AppOptions::Driver::Remote, station);
        current_ = remote_.driver.get();
    } else {
        localChoice_ = options.driver;
        local_ = MakeDriver(localChoice_);
        current_ = local_.driver.get();
        simulated_ = local_.simulated;
    }
}

BackendSwitch::~BackendSwitch() = default;

FtdiDriver* BackendSwitch::Choose(const StoredRemote& choice)
{
    if (choice.enabled && RemoteAvailable()) {
        if (!remote_.driver)
            remote_ = MakeDriver(AppOptions::Driver::Remote, choice.station);
#ifdef VORLINQ_HAVE_REMOTE
        static_cast<RemoteDriver*>(remote_.driver.get())->SetStation(choice.station);
#endif
        current_ = remote_.driver.get();
        simulated_ = false;
    } else {
        if (!local_.driver)
            local_ = MakeDriver(localChoice_);
        current_ = local_.driver.get();
        simulated_ = local_.simulated;
    }
    return current_;
}

} // namespace app
