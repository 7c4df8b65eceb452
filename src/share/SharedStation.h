#pragma once
// A station shared through an MQTT broker, as a viewer reaches it: the
// station's name and the broker login. Free of the MQTT library, so the
// settings and the connection dialog know it in every build.

#include "share/BrokerConfig.h"

#include <string>

namespace share {

struct SharedStation {
    std::string name; // the station's name on the broker (--viewer=NAME)
    BrokerLogin login;

    bool operator==(const SharedStation& other) const
    {
        const BrokerLogin& a = login;
        const BrokerLogin& b = other.login;
        return name == other.name && a.url == b.url && a.caFile == b.caFile && a.certFile == b.certFile &&
               a.keyFile == b.keyFile && a.user == b.user && a.password == b.password;
    }
};

} // namespace share
