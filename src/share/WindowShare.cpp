#include "share/WindowShare.h"

#include "Execunit.h"
#include "Mainform.h"
#include "app/SettingsStore.h"
#include "toolkit/MessageBoxes.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

namespace share {

namespace {

constexpr const char* kGroup = "ShareStation";

// Asks for the details and the password; false when cancelled.
bool AskDetails(QWidget* owner, ShareSettings& settings)
{
    QDialog dialog(owner);
    dialog.setWindowTitle("Share this station");
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(QString::fromStdString(settings.name), &dialog);
    auto* broker = new QLineEdit(QString::fromStdString(settings.login.url), &dialog);
    broker->setPlaceholderText("mqtts://broker.example.org");
    auto* user = new QLineEdit(QString::fromStdString(settings.login.user), &dialog);
    auto* password = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    auto* ca = new QLineEdit(QString::fromStdString(settings.login.caFile), &dialog);
    ca->setPlaceholderText("the system's CAs");
    form->addRow("Station &name:", name);
    form->addRow("&Broker:", broker);
    form->addRow("&User:", user);
    form->addRow("&Password:", password);
    form->addRow("&CA certificate:", ca);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (settings.name.empty() ? name : password)->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.name = name->text().trimmed().toStdString();
    settings.login.url = broker->text().trimmed().toStdString();
    settings.login.user = user->text().trimmed().toStdString();
    settings.login.password = password->text().toStdString();
    settings.login.caFile = ca->text().trimmed().toStdString();
    return true;
}

} // namespace

ShareSettings LoadShareSettings()
{
    ShareSettings s;
    std::unique_ptr<QSettings> store = app::OpenVorlinqSettings();
    if (!store)
        return s;
    store->beginGroup(kGroup);
    s.enabled = store->value("Enabled", false).toBool();
    s.name = store->value("Name").toString().toStdString();
    s.login.url = store->value("Broker").toString().toStdString();
    s.login.user = store->value("User").toString().toStdString();
    s.login.caFile = store->value("CaFile").toString().toStdString();
    return s;
}

void SaveShareSettings(const ShareSettings& s)
{
    std::unique_ptr<QSettings> store = app::OpenVorlinqSettings();
    if (!store)
        return;
    store->beginGroup(kGroup);
    store->setValue("Enabled", s.enabled);
    store->setValue("Name", QString::fromStdString(s.name));
    store->setValue("Broker", QString::fromStdString(s.login.url));
    store->setValue("User", QString::fromStdString(s.login.user));
    store->setValue("CaFile", QString::fromStdString(s.login.caFile));
}

WindowShare::WindowShare(TForm1& form) : QObject(&form), form_(form)
{
    action_ = new QAction("S&hare this station...", &form);
    action_->setCheckable(true);
    action_->setStatusTip("Share the amplifier through an MQTT broker with viewers and other operators");
    if (QMenu* file = form.menuBar()->actions().value(0) ? form.menuBar()->actions().value(0)->menu() : nullptr) {
        file->insertAction(form.actLoadUpdate, action_);
        file->insertSeparator(form.actLoadUpdate);
    }
    connect(action_, &QAction::triggered, this, &WindowShare::Toggled);
    if (LoadShareSettings().enabled) {
        // After the window is up: the password is asked for.
        QTimer::singleShot(0, this, [this] {
            action_->setChecked(true);
            Toggled(true);
        });
    }
}

WindowShare::~WindowShare()
{
    form_.Sharing = nullptr;
}

bool WindowShare::Share(const ShareSettings& settings, std::string& error)
{
    StopSharing();
    if (!ValidStationName(settings.name)) {
        error = "The station name may have letters, digits, '-' and '_' only, at most 32.";
        return false;
    }
    StationCore::Options options;
    options.name = settings.name;
    options.login = settings.login;
    StationCore::Link link{[this](std::uint8_t code) { form_.SendCommand(code); }, [this] { form_.actOnExecute(); },
                           [this] { return form_.OnLine && !form_.UpdateRunning; }};
    auto core = std::make_unique<StationCore>(std::move(options), std::move(link));
    if (!core->Start(error))
        return false;
    if (!form_.OnLine)
        core->LinkDown("the desktop has no link to the amplifier open");
    // Halted by another writer on the station's topics: sharing ends (not
    // from inside the core's own signal) and the user is told why.
    connect(core.get(), &StationCore::Halted, this, [this](const QString& why) {
        QTimer::singleShot(0, this, [this, why] {
            StopSharing();
            action_->setChecked(false);
            Boxes().Error(&form_, why);
        });
    });
    core_ = std::move(core);
    form_.Sharing = core_.get();
    // A display frozen before sharing began polls again for the viewers.
    if (form_.PollThread && form_.actFreeze->isChecked())
        form_.PollThread->Resume();
    if (const std::string warning = PlainTextPasswordWarning(settings.login); !warning.empty())
        qWarning("%s", warning.c_str());
    return true;
}

void WindowShare::StopSharing()
{
    form_.Sharing = nullptr;
    core_.reset(); // says "stopped" to the viewers
    // Not shared any more, a frozen display stops polling as it always did.
    if (form_.PollThread && form_.actFreeze->isChecked())
        form_.PollThread->Suspend();
}

void WindowShare::Toggled(bool on)
{
    ShareSettings settings = LoadShareSettings();
    if (!on) {
        StopSharing();
        settings.enabled = false;
        SaveShareSettings(settings);
        return;
    }
    std::string error;
    bool shared = false;
    while (!shared && AskDetails(&form_, settings)) {
        shared = Share(settings, error);
        if (!shared)
            Boxes().Error(&form_, QString::fromStdString(error));
    }
    action_->setChecked(shared);
    settings.enabled = shared;
    SaveShareSettings(settings);
}

} // namespace share
