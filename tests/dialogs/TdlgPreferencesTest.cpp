#include "dialogs/TdlgPreferences.h"

#include "dialogs/TdlgRemoteStation.h"
#include "dialogs/TdlgSharedStation.h"

#include "FullSerialDriver.h"
#include "sim/SimDriver.h"
#include "support/FakeBoxes.h"
#include "support/ProcessEvents.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace {

const QString kNoDevice = "There is no USB device linked to the system.\nPlease connect an AVELKOR linear "
                          "amplifier\nand try pressing \"Acquire ID string\" again.";
const QString kSeveral = "There is more than 1 USB device linked to the system.\nPlease disconnect all but the "
                         "AVELKOR linear amplifier\nand try pressing \"Acquire ID string\" again.";
const QString kAcqError = "Data acquisition error thru the USB data-link.\nTry pressing \"Acquire ID string\" again.";

class Preferences : public ::testing::Test {
protected:
    // Runs Configure; `whileOpen` acts on the shown dialog and closes it.
    bool Run(QString& id, bool& enabled, const std::function<void()>& whileOpen)
    {
        bool ran = false;
        QTimer::singleShot(0, &dlg, [&] {
            ProcessEventsUntil([&] { return dlg.isVisible() && dlg.Active(); }, 5000);
            openedActive = dlg.Active();
            whileOpen();
            ran = true;
            if (dlg.isVisible()) {
                dlg.reject(); // never leave a failing test hanging in exec()
            }
        });
        const bool ok = dlg.Configure(id, enabled);
        EXPECT_TRUE(ran);
        return ok;
    }
    bool StruckOut() const { return dlg.stID->font().italic() && dlg.stID->font().strikeOut(); }
    bool Plain() const { return !dlg.stID->font().italic() && !dlg.stID->font().strikeOut(); }
    static void Click(QAbstractButton* button) { button->click(); }
    void Key(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg, &press);
    }

    // A simulated amplifier per serial number.
    void Attach(std::vector<std::string> serials)
    {
        driver = std::make_unique<sim::SimDriver>(sim::SimOptions{.serials = std::move(serials)});
        dlg.SetDriver(driver.get());
    }

    FakeBoxes boxes;
    std::unique_ptr<sim::SimDriver> driver;
    TdlgPreferences dlg;
    bool openedActive = false;
};

TEST_F(Preferences, LayoutTextsAndFont)
{
    EXPECT_EQ(dlg.windowTitle(), "Vorlinq: Configure connection");
    EXPECT_EQ(dlg.size(), QSize(313, 158));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_EQ(dlg.Bevel1->geometry(), QRect(9, 8, 297, 105));
    EXPECT_EQ(dlg.StaticText1->geometry(), QRect(20, 15, 105, 17));
    EXPECT_EQ(dlg.StaticText1->text(), "FTDI device ID string");
    EXPECT_EQ(dlg.stID->geometry(), QRect(20, 35, 129, 17));
    EXPECT_EQ(dlg.stID->alignment(), Qt::AlignCenter);
    EXPECT_EQ(dlg.stID->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(dlg.stID->font().family(), "Courier");
    EXPECT_EQ(dlg.stID->font().pixelSize(), 13);
    EXPECT_EQ(dlg.cbID->geometry(), QRect(168, 35, 128, 17));
    EXPECT_EQ(dlg.cbID->text(), "&Enable ID Addressing");
    EXPECT_EQ(dlg.btnAcquire->geometry(), QRect(20, 73, 129, 25));
    EXPECT_EQ(dlg.btnAcquire->text(), "&Acquire ID string");
    EXPECT_EQ(dlg.OKBtn->geometry(), QRect(79, 124, 75, 25));
    EXPECT_EQ(dlg.OKBtn->text(), "OK");
    EXPECT_TRUE(dlg.OKBtn->isDefault());
    EXPECT_EQ(dlg.CancelBtn->geometry(), QRect(159, 124, 75, 25));
    EXPECT_EQ(dlg.CancelBtn->text(), "Cancel");
    EXPECT_FALSE(dlg.Active());
}

TEST_F(Preferences, AcquireRefusesWithoutExactlyOneUsableDevice)
{
    struct Case {
        const char* name;
        std::optional<std::vector<std::string>> serials; // none: no driver at all
        const char* failingOp;                           // made to fail with FT_IO_ERROR
        bool opened;                                     // the device is open already
        QString text;
    };
    const std::vector<Case> cases = {
        {"no device", std::vector<std::string>{}, nullptr, false, kNoDevice},
        {"failed list request", std::vector<std::string>{"AV1"}, "FT_CreateDeviceInfoList", false, kNoDevice},
        {"no driver", std::nullopt, nullptr, false, kNoDevice},
        {"two devices", std::vector<std::string>{"AV1", "AV2"}, nullptr, false, kSeveral},
        {"device open", std::vector<std::string>{"AV1"}, nullptr, true, kAcqError},
        {"detail failed", std::vector<std::string>{"AV1"}, "FT_GetDeviceInfoDetail", false, kAcqError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.Clear();
        dlg.SetDriver(nullptr);
        if (c.serials) {
            Attach(*c.serials);
        }
        if (c.failingOp) {
            driver->FailOperation(c.failingOp, FT_IO_ERROR);
        }
        FT_HANDLE handle = nullptr;
        if (c.opened) {
            ASSERT_EQ(driver->FT_Open(0, &handle), FT_OK);
        }
        QString id = "OLD42";
        bool enabled = false;
        EXPECT_FALSE(Run(id, enabled, [&] {
            Click(dlg.btnAcquire);
            EXPECT_EQ(dlg.stID->text(), "OLD42");
            EXPECT_FALSE(dlg.cbID->isChecked());
            EXPECT_TRUE(StruckOut());
        }));
        ASSERT_EQ(boxes.Count(), 1);
        EXPECT_EQ(boxes.Last().kind, "error");
        EXPECT_EQ(boxes.Last().text, c.text);
        EXPECT_EQ(boxes.Last().owner, &dlg);
    }
    EXPECT_TRUE(openedActive);
}

TEST_F(Preferences, AcquireOfOneDeviceThenCancelRestoresEverything)
{
    Attach({"AV1A2B3C"});
    QString id = "OLD42";
    bool enabled = false;
    EXPECT_FALSE(Run(id, enabled, [&] {
        Click(dlg.btnAcquire);
        EXPECT_EQ(dlg.stID->text(), "AV1A2B3C");
        EXPECT_TRUE(dlg.cbID->isChecked());
        EXPECT_TRUE(Plain());
        Click(dlg.CancelBtn);
    }));
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Last().kind, "information");
    EXPECT_EQ(boxes.Last().text, "USB_ID string [AV1A2B3C] has been\ncorrectly acquired thru the USB data-link.");
    EXPECT_EQ(id, "OLD42");
    EXPECT_FALSE(enabled);
    EXPECT_EQ(dlg.stID->text(), "OLD42");
    EXPECT_FALSE(dlg.cbID->isChecked());
    EXPECT_FALSE(dlg.Active());
}

TEST_F(Preferences, AcquireThenOkHandsOverTheFullBufferSerial)
{
    // A serial number that fills the whole 32-byte buffer, with no NUL.
    FullSerialDriver full;
    dlg.SetDriver(&full);
    const QString serial = FullSerialDriver::kSerial;
    QString id;
    bool enabled = false;
    EXPECT_TRUE(Run(id, enabled, [&] {
        Click(dlg.btnAcquire);
        Click(dlg.OKBtn);
    }));
    EXPECT_EQ(id, serial);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(boxes.Last().text.startsWith("USB_ID string [" + serial + "] has"));
}

TEST_F(Preferences, CheckBoxRulesWhileOpen)
{
    QString id;
    bool enabled = false;
    Run(id, enabled, [&] {
        Click(dlg.cbID); // no ID string: it will not stay checked
        EXPECT_FALSE(dlg.cbID->isChecked());
        EXPECT_TRUE(StruckOut());
        dlg.stID->setText("AV9");
        Click(dlg.cbID);
        EXPECT_TRUE(dlg.cbID->isChecked());
        EXPECT_TRUE(Plain());
        Click(dlg.cbID);
        EXPECT_TRUE(StruckOut());
        Key(Qt::Key_Escape);
    });
    EXPECT_TRUE(id.isEmpty());
    EXPECT_FALSE(enabled);
}

TEST_F(Preferences, LoadingSkipsTheRulesAndOkFixesAnEmptyIdString)
{
    // Stored as enabled with no ID string: shown checked and plain, but OK
    // switches ID addressing off.
    QString id;
    bool enabled = true;
    EXPECT_TRUE(Run(id, enabled, [&] {
        EXPECT_TRUE(dlg.cbID->isChecked());
        EXPECT_TRUE(Plain());
        Key(Qt::Key_Return);
    }));
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(id.isEmpty());
}

TEST_F(Preferences, OkWithAddressingOffKeepsTheIdString)
{
    QString id = "AV1A2B3C";
    bool enabled = false;
    EXPECT_TRUE(Run(id, enabled, [&] {
        EXPECT_TRUE(StruckOut());
        Click(dlg.OKBtn);
    }));
    EXPECT_EQ(id, "AV1A2B3C");
    EXPECT_FALSE(enabled);
}

TEST_F(Preferences, CloseBoxRestoresLikeCancel)
{
    QString id = "AV1";
    bool enabled = true;
    EXPECT_FALSE(Run(id, enabled, [&] {
        dlg.stID->setText("AV2");
        Click(dlg.cbID);
        dlg.close();
    }));
    EXPECT_EQ(id, "AV1");
    EXPECT_TRUE(enabled);
    EXPECT_EQ(dlg.stID->text(), "AV1");
    EXPECT_TRUE(dlg.cbID->isChecked());
}

// The remote station is edited in a dialog of its own; a choice that cannot
// work is refused there, and only the connection dialog's OK hands it on.
TEST_F(Preferences, RemoteStationIsRefusedUntilItCanWorkAndKeptOnlyOnOk)
{
    QString id;
    bool enabled = false;
    TdlgRemoteStation& remote = *dlg.dlgRemoteStation;
    auto editRemote = [&] {
        QTimer::singleShot(0, &remote, [&] {
            ProcessEventsUntil([&] { return remote.isVisible(); }, 5000);
            remote.cbRemote->setChecked(true);
            remote.edAddress->setText("station.example.org:3002");
            remote.cbTls->setChecked(true);
            remote.OKBtn->click(); // TLS without a CA file
            EXPECT_TRUE(remote.isVisible());
            EXPECT_EQ(boxes.Last().text, "A TLS connection to station.example.org:3002 needs a CA file to check "
                                         "the server's certificate.");
            remote.edCa->setText("/etc/ca.crt");
            remote.OKBtn->click();
            if (remote.isVisible())
                remote.reject();
        });
        Click(dlg.btnRemote);
    };

    dlg.SetRemote({});
    EXPECT_FALSE(Run(id, enabled, [&] {
        editRemote();
        dlg.reject();
    }));
    dlg.SetRemote({});
    EXPECT_TRUE(Run(id, enabled, [&] {
        editRemote();
        Click(dlg.OKBtn);
    }));
    EXPECT_TRUE(dlg.Remote().enabled);
    EXPECT_EQ(dlg.Remote().station.address, "station.example.org:3002");
    EXPECT_TRUE(dlg.Remote().station.tls);
    EXPECT_EQ(dlg.Remote().station.caFile, "/etc/ca.crt");
}

TEST(RemoteStationDialog, ABuildWithoutANetworkBackendOffersNoStationAndSaysWhy)
{
    TdlgRemoteStation remote(nullptr, false);
    QTimer::singleShot(0, &remote, [&] {
        ProcessEventsUntil([&] { return remote.isVisible(); }, 5000);
        remote.OKBtn->click();
    });
    app::StoredRemote choice;
    choice.enabled = true; // kept by a build that had one
    ASSERT_TRUE(remote.Edit(choice));
    EXPECT_FALSE(choice.enabled);
    EXPECT_FALSE(remote.cbRemote->isEnabled());
    EXPECT_TRUE(remote.findChild<QLabel*>("lbNoNetwork")->text().contains("no network backend"));
}

} // namespace

namespace {

// A shared station is checked in its own dialog, and choosing it gives up the
// remote station: the program has one way to the amplifier at a time.
TEST_F(Preferences, SharedStationIsRefusedUntilItCanWorkAndReplacesTheRemoteStation)
{
    QString id;
    bool enabled = false;
    TdlgSharedStation& shared = *dlg.dlgSharedStation;
    app::StoredRemote remote;
    remote.enabled = true;
    remote.station.address = "station.example.org:3001";
    dlg.SetRemote(remote);
    EXPECT_TRUE(Run(id, enabled, [&] {
        QTimer::singleShot(0, &shared, [&] {
            ProcessEventsUntil([&] { return shared.isVisible(); }, 5000);
            shared.cbShared->setChecked(true);
            shared.edName->setText("the shack");
            shared.edBroker->setText("mqtts://broker.example.org");
            shared.edUser->setText("alice");
            shared.edPassword->setText("secret");
            shared.OKBtn->click(); // a name with a blank
            EXPECT_TRUE(shared.isVisible());
            shared.edName->setText("shack");
            shared.OKBtn->click();
            if (shared.isVisible())
                shared.reject();
        });
        Click(dlg.btnShared);
        Click(dlg.OKBtn);
    }));
    EXPECT_FALSE(dlg.Remote().enabled);
    EXPECT_TRUE(dlg.Remote().shared.enabled);
    EXPECT_EQ(dlg.Remote().shared.station.name, "shack");
    EXPECT_EQ(dlg.Remote().shared.station.login.password, "secret") << "handed on, for the password store";
}

} // namespace
