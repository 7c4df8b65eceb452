#pragma once
// The remote-station part of the connection dialog: whether to reach the
// amplifier through a remote station (an RFC 2217 serial server such as
// ser2net) instead of the USB device, its address, and TLS with its files.
// OK checks the entries and keeps the dialog open, with a message, while
// they cannot work. A build without a network backend offers no remote
// station and says why.

#include "app/DriverChoice.h"
#include "app/SettingsStore.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TdlgRemoteStation final : public QDialog {
    Q_OBJECT

public:
    // `networkBackend`: whether this build can reach a station at all.
    explicit TdlgRemoteStation(QWidget* parent = nullptr, bool networkBackend = app::RemoteAvailable());

    // Runs the dialog on `choice`; true and `choice` updated on OK.
    bool Edit(app::StoredRemote& choice);

    QCheckBox* cbRemote = nullptr;
    QLineEdit* edAddress = nullptr;
    QCheckBox* cbTls = nullptr;
    QLineEdit* edCa = nullptr;
    QLineEdit* edCert = nullptr;
    QLineEdit* edKey = nullptr;
    QLineEdit* edName = nullptr; // the name the station's certificate carries, when not the host
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The entries as a choice.
    app::StoredRemote Choice() const;
    void accept() override;

private:
    void UpdateEnabled();

    bool networkBackend_ = true;
};
