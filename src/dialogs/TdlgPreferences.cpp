#include "dialogs/TdlgPreferences.h"

#include "dialogs/TdlgRemoteStation.h"
#include "dialogs/TdlgSharedStation.h"
#include "link/FtdiDriver.h"
#include "toolkit/MessageBoxes.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <cstring>

const char* const TdlgPreferences::kNoDeviceText = "There is no USB device linked to the system.\n"
                                                   "Please connect an AVELKOR linear amplifier\n"
                                                   "and try pressing \"Acquire ID string\" again.";
const char* const TdlgPreferences::kSeveralDevicesText = "There is more than 1 USB device linked to the system.\n"
                                                         "Please disconnect all but the AVELKOR linear amplifier\n"
                                                         "and try pressing \"Acquire ID string\" again.";
const char* const TdlgPreferences::kAcquisitionErrorText = "Data acquisition error thru the USB data-link.\n"
                                                           "Try pressing \"Acquire ID string\" again.";
const char* const TdlgPreferences::kAcquiredText = "USB_ID string [%1] has been\n"
                                                   "correctly acquired thru the USB data-link.";

TdlgPreferences::TdlgPreferences(FtdiDriver* driver, QWidget* parent) : QDialog(parent), driver_(driver)
{
    setObjectName("dlgPreferences");
    setWindowTitle("Vorlinq: Configure connection");
    // A dialog border: fixed size, no resizing, no help button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(313, 158);
    BuildControls();
    FormCreate();
}

void TdlgPreferences::BuildControls()
{
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(9, 8, 297, 105);

    StaticText1 = new QLabel("FTDI device ID string", this);
    StaticText1->setObjectName("StaticText1");
    StaticText1->setGeometry(20, 15, 105, 17);

    stID = new QLabel(this);
    stID->setObjectName("stID");
    stID->setGeometry(20, 35, 129, 17);
    stID->setAlignment(Qt::AlignCenter);
    stID->setFrameStyle(QFrame::Box | QFrame::Plain);
    stID->setLineWidth(1);
    stID->setAutoFillBackground(true);
    QPalette palette = stID->palette();
    palette.setColor(QPalette::Window, Qt::white);
    stID->setPalette(palette);
    QFont font("Courier");
    font.setStyleHint(QFont::TypeWriter); // any fixed-pitch face where Courier is missing
    font.setPixelSize(13);
    stID->setFont(font);

    cbID = new QCheckBox("&Enable ID Addressing", this);
    cbID->setObjectName("cbID");
    cbID->setGeometry(168, 35, 128, 17);
    // toggled, not clicked: the rules also apply when the program checks the
    // box itself (Acquire); the active flag keeps them quiet while loading.
    connect(cbID, &QCheckBox::toggled, this, [this] { cbIDClick(); });

    btnAcquire = new QPushButton("&Acquire ID string", this);
    btnAcquire->setObjectName("btnAcquire");
    btnAcquire->setGeometry(20, 73, 129, 25);
    connect(btnAcquire, &QPushButton::clicked, this, [this] { btnAcquireClick(); });

    // Beside Acquire: the way to a remote station instead of the USB device.
    btnRemote = new QPushButton("&Remote station...", this);
    btnRemote->setObjectName("btnRemote");
    btnRemote->setGeometry(168, 73, 129, 25);
    connect(btnRemote, &QPushButton::clicked, this, [this] { btnRemoteClick(); });
    dlgRemoteStation = new TdlgRemoteStation(this);

    // Beside Cancel: the way to a station shared through a broker.
    btnShared = new QPushButton("&Shared...", this);
    btnShared->setObjectName("btnShared");
    btnShared->setAccessibleName("Shared station");
    btnShared->setToolTip("View a station shared through an MQTT broker");
    btnShared->setGeometry(240, 124, 66, 25);
    connect(btnShared, &QPushButton::clicked, this, [this] { btnSharedClick(); });
    dlgSharedStation = new TdlgSharedStation(this);

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry(79, 124, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    // Esc rejects the dialog as well (QDialog's own key handling).
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setGeometry(159, 124, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool TdlgPreferences::Configure(QString& idString, bool& idEnabled)
{
    // Loaded while inactive, so the check-box rules stay out of the way.
    cbID->setChecked(idEnabled);
    stID->setText(idString);
    const bool rememberedChecked = cbID->isChecked();
    const QString rememberedText = stID->text();

    if (exec() == QDialog::Accepted) {
        if (stID->text().isEmpty()) {
            cbID->setChecked(false);
        }
        idEnabled = cbID->isChecked();
        idString = stID->text();
        return true;
    }
    cbID->setChecked(rememberedChecked);
    stID->setText(rememberedText);
    return false;
}

void TdlgPreferences::FormCreate()
{
    active_ = false;
}

void TdlgPreferences::FormActivate()
{
    SetIdFontStyle();
    active_ = true;
}

void TdlgPreferences::FormClose()
{
    active_ = false;
}

void TdlgPreferences::cbIDClick()
{
    if (!active_) {
        return;
    }
    // ID addressing cannot be switched on without an ID string.
    if (stID->text().isEmpty()) {
        cbID->setChecked(false);
    }
    SetIdFontStyle();
}

void TdlgPreferences::btnAcquireClick()
{
    // The status of the list request is not looked at: a count the driver
    // did not set stays 0.
    DWORD count = 0;
    if (driver_) {
        driver_->FT_CreateDeviceInfoList(&count);
    }
    if (count == 0) {
        Boxes().Error(this, kNoDeviceText);
        return;
    }
    if (count > 1) {
        Boxes().Error(this, kSeveralDevicesText);
        return;
    }

    DWORD flags = 0;
    DWORD type = 0;
    DWORD id = 0;
    DWORD locId = 0;
    char serial[FT_SERIAL_BUFFER] = {};
    char description[FT_DESCRIPTION_BUFFER] = {};
    FT_HANDLE handle = nullptr;
    const FT_STATUS status =
        driver_->FT_GetDeviceInfoDetail(0, &flags, &type, &id, &locId, serial, description, &handle);
    // Any flag bit (an open device, for instance) makes the details unusable.
    if (status != FT_OK || flags != 0) {
        Boxes().Error(this, kAcquisitionErrorText);
        return;
    }

    // The serial number ends at its NUL or at the end of its buffer, whichever
    // comes first: a driver may fill all 32 bytes.
    const QString serialNumber = QString::fromLatin1(serial, static_cast<qsizetype>(strnlen(serial, sizeof serial)));
    stID->setText(serialNumber);
    cbID->setChecked(true);
    Boxes().Information(this, QString(kAcquiredText).arg(serialNumber));
}

void TdlgPreferences::btnRemoteClick()
{
    // Kept by this dialog until its own OK; Cancel there drops it.
    if (dlgRemoteStation->Edit(remote_) && remote_.enabled)
        remote_.shared.enabled = false; // one choice instead of the USB device
}

void TdlgPreferences::btnSharedClick()
{
    if (dlgSharedStation->Edit(remote_.shared) && remote_.shared.enabled)
        remote_.enabled = false;
}

void TdlgPreferences::SetIdFontStyle()
{
    const bool plain = cbID->isChecked();
    QFont font = stID->font();
    font.setItalic(!plain);
    font.setStrikeOut(!plain);
    stID->setFont(font);
}

void TdlgPreferences::CentreOnScreen()
{
    QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

void TdlgPreferences::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    CentreOnScreen();
    // The dialog counts as activated once it is shown: a window manager may
    // activate it late or not at all, and nothing can reach the controls in
    // between. A later activation (after a message box) runs it again.
    FormActivate();
}

bool TdlgPreferences::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && isVisible()) {
        FormActivate();
    }
    return QDialog::event(event);
}

void TdlgPreferences::done(int result)
{
    FormClose();
    QDialog::done(result);
}
