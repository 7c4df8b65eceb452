#pragma once
// The shared-station part of the connection dialog: whether to view a station
// that shares its amplifier through an MQTT broker instead of using the USB
// device, the station's name, the broker's address and the login (user,
// password, TLS files). The password is handed on with the choice but never
// kept in the settings. OK checks the entries and keeps the dialog open,
// with a message, while they cannot work.

#include "app/BackendSwitch.h"
#include "app/SettingsStore.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TdlgSharedStation final : public QDialog {
    Q_OBJECT

public:
    explicit TdlgSharedStation(QWidget* parent = nullptr);

    // Runs the dialog on `choice`; true and `choice` updated on OK.
    bool Edit(app::StoredShared& choice);

    QCheckBox* cbShared = nullptr;
    QLineEdit* edName = nullptr;
    QLineEdit* edBroker = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPassword = nullptr;
    QLineEdit* edCa = nullptr;
    QLineEdit* edCert = nullptr;
    QLineEdit* edKey = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The entries as a choice.
    app::StoredShared Choice() const;
    void accept() override;

    // Empty when the choice can be tried; otherwise why not, for the user.
    static std::string Problem(const app::StoredShared& choice);

private:
    bool brokerClient_ = app::BackendSwitch::SharedAvailable(); // this build has the MQTT client
    void UpdateEnabled();
};
