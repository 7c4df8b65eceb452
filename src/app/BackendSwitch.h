#pragma once
// The program's driver backends: the one chosen at start, and the switch
// between the local one (USB), the remote station and the shared station
// that the connection dialog offers. Switching happens only off-line (the
// dialog is reachable only then), so no thread is using the backend that is
// put aside; all are kept until the program ends.

#include "app/DriverChoice.h"
#include "app/SettingsStore.h"

#include <memory>

namespace app {

class BackendSwitch {
public:
    // `options` as parsed, `stored` as the settings store holds it: an
    // explicit backend on the command line wins over the stored choice.
    BackendSwitch(const AppOptions& options, const StoredRemote& stored);
    ~BackendSwitch();

    FtdiDriver* Current() const { return current_; }
    // Whether the current backend is the simulated amplifier.
    bool Simulated() const { return simulated_; }

    // The backend for a new choice made in the connection dialog.
    FtdiDriver* Choose(const StoredRemote& choice);

    // Whether this build can view a shared station (it needs libmosquitto).
    static bool SharedAvailable();

private:
    FtdiDriver* ChooseShared(const share::SharedStation& station);

    AppOptions::Driver localChoice_ = AppOptions::Driver::Auto;
    ChosenDriver local_;
    ChosenDriver remote_;
    std::unique_ptr<FtdiDriver> shared_;
    FtdiDriver* current_ = nullptr;
    bool simulated_ = false;
};

} // namespace app
