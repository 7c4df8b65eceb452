#include "app/BackendSwitch.h"

#ifdef VORLINQ_HAVE_REMOTE
#include "link/RemoteDriver.h"
#endif
#ifdef VORLINQ_HAVE_MQTT
#include "share/BrokerDriver.h"
#endif

#include <stdexcept>

namespace app {

BackendSwitch::BackendSwitch(const AppOptions& options, const StoredRemote& stored)
{
    // --viewer=NAME brings its own station; without a backend option the stored one counts.
    if (!options.viewer.empty()) {
        ChooseShared(share::SharedStation{options.viewer, options.broker});
        return;
    }
    if (options.driver == AppOptions::Driver::Auto && stored.shared.enabled && SharedAvailable()) {
        ChooseShared(stored.shared.station);
        return;
    }
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

bool BackendSwitch::SharedAvailable()
{
#ifdef VORLINQ_HAVE_MQTT
    return true;
#else
    return false;
#endif
}

FtdiDriver* BackendSwitch::ChooseShared(const share::SharedStation& station)
{
#ifdef VORLINQ_HAVE_MQTT
    if (!shared_)
        shared_ = std::make_unique<share::BrokerDriver>(station);
    static_cast<share::BrokerDriver*>(shared_.get())->SetStation(station);
    current_ = shared_.get();
    simulated_ = false;
#else
    (void)station;
    throw std::runtime_error("This Vorlinq was built without the MQTT library (libmosquitto): "
                             "a shared station cannot be viewed.");
#endif
    return current_;
}

FtdiDriver* BackendSwitch::Choose(const StoredRemote& choice)
{
    if (choice.shared.enabled && SharedAvailable())
        return ChooseShared(choice.shared.station);
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
