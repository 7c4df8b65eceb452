#include "dialogs/TdlgSharedStation.h"

#include "app/BackendSwitch.h"
#include "app/PlatformLacks.h"

#include "dialogs/FileRow.h"
#include "dialogs/OkCancelRow.h"
#include "share/BrokerConfig.h"
#include "toolkit/MessageBoxes.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* Entry(QWidget* parent, const QString& name, const QString& placeholder = {})
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setPlaceholderText(placeholder);
    return edit;
}

std::string Trimmed(const QLineEdit* edit)
{
    return edit->text().trimmed().toStdString();
}

} // namespace

TdlgSharedStation::TdlgSharedStation(QWidget* parent) : QDialog(parent)
{
    setObjectName("dlgSharedStation");
    setWindowTitle("Vorlinq: Shared station");
    auto* layout = new QVBoxLayout(this);

    cbShared = new QCheckBox("&View a station shared through a broker instead of the USB device", this);
    cbShared->setObjectName("cbShared");
    layout->addWidget(cbShared);
    if (!brokerClient_) {
        auto* why = new QLabel(QString("This build of Vorlinq cannot view a shared station (%1).")
                                   .arg(QString::fromStdString(app::NoMqttLibraryReason())),
                               this);
        why->setObjectName("lbNoBroker");
        why->setWordWrap(true);
        layout->addWidget(why);
    }

    auto* form = new QFormLayout;
    edName = Entry(this, "edName", "shack");
    form->addRow("Station &name:", edName);
    edBroker = Entry(this, "edBroker", "mqtts://broker.example.org:8883");
    form->addRow("&Broker (mqtt:// or mqtts://):", edBroker);
    edUser = Entry(this, "edUser");
    form->addRow("&User:", edUser);
    edPassword = Entry(this, "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    form->addRow("&Password:", edPassword);
    form->addRow("&CA certificate:", dialogs::FileRow(this, edCa, "edCa", "CA certificate"));
    form->addRow("Client c&ertificate:", dialogs::FileRow(this, edCert, "edCert", "Client certificate"));
    form->addRow("Client &key:", dialogs::FileRow(this, edKey, "edKey", "Client key"));
    layout->addLayout(form);

    auto* note = new QLabel("The password is kept in the desktop's password store, never in the settings. "
                            "A plain connection (mqtt://) is for a LAN or a VPN only.",
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    layout->addLayout(dialogs::OkCancelRow(this, OKBtn, CancelBtn));
    connect(cbShared, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(edBroker, &QLineEdit::textChanged, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
}

void TdlgSharedStation::UpdateEnabled()
{
    if (!brokerClient_)
        cbShared->setChecked(false);
    cbShared->setEnabled(brokerClient_);
    const bool shared = cbShared->isChecked();
    const bool tls = shared && edBroker->text().trimmed().startsWith("mqtts://");
    for (QLineEdit* edit : {edName, edBroker, edUser, edPassword})
        edit->setEnabled(shared);
    for (QLineEdit* edit : {edCa, edCert, edKey})
        edit->parentWidget()->setEnabled(tls);
}

app::StoredShared TdlgSharedStation::Choice() const
{
    app::StoredShared choice;
    choice.enabled = cbShared->isChecked();
    choice.station.name = Trimmed(edName);
    share::BrokerLogin& login = choice.station.login;
    login.url = Trimmed(edBroker);
    login.user = Trimmed(edUser);
    login.password = edPassword->text().toStdString();
    login.caFile = Trimmed(edCa);
    login.certFile = Trimmed(edCert);
    login.keyFile = Trimmed(edKey);
    return choice;
}

std::string TdlgSharedStation::Problem(const app::StoredShared& choice)
{
    if (!share::ValidStationName(choice.station.name))
        return "The station's name is letters, digits, '-' and '_', at most 32 characters.";
    std::string error;
    if (!share::ParseBrokerUrl(choice.station.login.url, error))
        return error;
    const share::BrokerLogin& login = choice.station.login;
    if (login.certFile.empty() != login.keyFile.empty())
        return "A client certificate and its key go together.";
    return {};
}

void TdlgSharedStation::accept()
{
    const app::StoredShared choice = Choice();
    if (choice.enabled) {
        if (const std::string problem = Problem(choice); !problem.empty()) {
            Boxes().Error(this, QString::fromStdString(problem));
            return;
        }
    }
    QDialog::accept();
}

bool TdlgSharedStation::Edit(app::StoredShared& choice)
{
    const share::BrokerLogin& login = choice.station.login;
    cbShared->setChecked(choice.enabled);
    edName->setText(QString::fromStdString(choice.station.name));
    edBroker->setText(QString::fromStdString(login.url));
    edUser->setText(QString::fromStdString(login.user));
    edPassword->setText(QString::fromStdString(login.password));
    edCa->setText(QString::fromStdString(login.caFile));
    edCert->setText(QString::fromStdString(login.certFile));
    edKey->setText(QString::fromStdString(login.keyFile));
    UpdateEnabled();
    if (exec() != QDialog::Accepted)
        return false;
    choice = Choice();
    return true;
}
