#pragma once
// The window sharing its own link: File > "Share this station" publishes what
// the window's poll engine reads through a broker, as a headless station
// does, and carries out the control holder's keys on the window's link. The
// choice and the broker details (never the password, which is asked for) are
// kept in the settings.

#include "share/StationCore.h"

#include <QObject>

#include <memory>

class QAction;
class TForm1;

namespace share {

struct ShareSettings {
    bool enabled = false;
    std::string name;
    BrokerLogin login; // without the password
};
ShareSettings LoadShareSettings();
void SaveShareSettings(const ShareSettings& settings);

class WindowShare : public QObject {
    Q_OBJECT

public:
    // Adds the menu item to the window's File menu; shares at once when the
    // settings say so (asking for the password). Must be destroyed after the
    // window's polling has stopped.
    explicit WindowShare(TForm1& form);
    ~WindowShare() override;

    QAction* Action() const { return action_; }
    // Starts sharing with these details; false with the reason when they cannot work.
    bool Share(const ShareSettings& settings, std::string& error);
    void StopSharing();
    bool Sharing() const { return core_ != nullptr; }

private:
    void Toggled(bool on);

    TForm1& form_;
    QAction* action_ = nullptr;
    std::unique_ptr<StationCore> core_;
};

} // namespace share
