#pragma once
// The connection dialog: shows the USB serial number (ID string) the program
// is tied to, reads it from the single attached FTDI device on request, and
// switches ID addressing on or off. The display window runs it through
// Configure(), which loads the dialog from the window's values every time and
// writes them back only on OK.

#include "app/SettingsStore.h"

#include <QDialog>
#include <QString>

class FtdiDriver;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class TdlgRemoteStation;
class TdlgSharedStation;

class TdlgPreferences final : public QDialog {
    Q_OBJECT

public:
    // `driver` is the program's current FTDI driver; it may be null (no
    // backend could be made), which Acquire treats as no device attached.
    explicit TdlgPreferences(FtdiDriver* driver = nullptr, QWidget* parent = nullptr);

    void SetDriver(FtdiDriver* driver) { driver_ = driver; }
    FtdiDriver* Driver() const { return driver_; }

    // Runs the dialog modally for the display window's ID string and
    // ID-addressing flag. On OK both are updated (an empty ID string switches
    // ID addressing off) and true is returned; on Cancel, Esc or the close box
    // the dialog's controls get their loaded state back, the values stay as
    // they were and false is returned.
    bool Configure(QString& idString, bool& idEnabled);

    // The remote-station choice the dialog works on: set before Configure(),
    // read after it returned true. "Remote station..." edits it, "Shared..."
    // its shared station; choosing one of them gives up the other.
    void SetRemote(const app::StoredRemote& remote) { remote_ = remote; }
    const app::StoredRemote& Remote() const { return remote_; }

    // True from the dialog's activation until it closes; the check-box rules
    // only run while it is set.
    bool Active() const { return active_; }

    // Event handlers, named after the control and the event.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void cbIDClick();
    void btnAcquireClick();
    void btnRemoteClick();
    void btnSharedClick();

    // Controls.
    QFrame* Bevel1 = nullptr;
    QLabel* StaticText1 = nullptr;
    QLabel* stID = nullptr;
    QCheckBox* cbID = nullptr;
    QPushButton* btnAcquire = nullptr;
    QPushButton* btnRemote = nullptr;
    TdlgRemoteStation* dlgRemoteStation = nullptr;
    QPushButton* btnShared = nullptr;
    TdlgSharedStation* dlgSharedStation = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The texts of the dialog's message boxes.
    static const char* const kNoDeviceText;
    static const char* const kSeveralDevicesText;
    static const char* const kAcquisitionErrorText;
    static const char* const kAcquiredText; // %1: the serial number

    // Every way of closing the dialog (OK, Cancel, Esc, the close box) ends here.
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void CentreOnScreen();
    // Plain while ID addressing is checked; italic and struck out while not.
    void SetIdFontStyle();

    FtdiDriver* driver_ = nullptr;
    bool active_ = false;
    app::StoredRemote remote_;
};
