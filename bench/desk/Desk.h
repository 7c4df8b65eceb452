#pragma once
// The two kinds of process of the desk benchmark: a station on the simulated
// amplifier, and one viewer window. Both log in with a password file and
// share the answer clock (AnswerClock.h) by its file.

#include "share/BrokerConfig.h"

#include <string>

namespace desk {

struct Setup {
    std::string station; // the station's name on the broker
    std::string url;
    std::string user;
    std::string passwordFile;
    std::string clockFile;
};

// The login of `setup`, its password read from its file.
share::BrokerLogin LoginOf(const Setup& setup);

// Runs a station until it is terminated; says "ready" on its output once it
// has started (it connects to the broker in the background).
int RunStation(const Setup& setup);

// Runs a viewer window until its input ends; says "ready" once it polls,
// and at the end one line per new screen it painted: the age of the screen
// at the paint and at the viewer backend's read, in ms.
int RunViewer(const Setup& setup);

} // namespace desk
