#pragma once
// The desktop's broker password: kept in the desktop's password store
// (through QtKeychain), never in the settings file. Where the store is
// missing or holds nothing (no keyring service running, a first use), the
// user is asked. Main thread only: the store's answer comes through the
// event loop.

#include "share/BrokerConfig.h"

#include <string>

class QWidget;

namespace app {

// The password for `login` (its user at its broker): from the store, else
// asked for and then kept in the store. False when the user cancelled.
bool DesktopBrokerPassword(share::BrokerLogin& login, QWidget* parent = nullptr);

// Keeps the password of `login` in the store; false with the reason when the
// store cannot take it (the password then lives only as long as the program).
bool KeepBrokerPassword(const share::BrokerLogin& login, std::string& error);

} // namespace app
