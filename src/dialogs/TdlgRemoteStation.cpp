#include "dialogs/TdlgRemoteStation.h"

#include "app/PlatformLacks.h"

#include "dialogs/FileRow.h"
#include "dialogs/OkCancelRow.h"
#include "toolkit/MessageBoxes.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TdlgRemoteStation::TdlgRemoteStation(QWidget* parent, bool networkBackend)
    : QDialog(parent), networkBackend_(networkBackend)
{
    setObjectName("dlgRemoteStation");
    setWindowTitle("Vorlinq: Remote station");
    auto* layout = new QVBoxLayout(this);

    cbRemote = new QCheckBox("&Use a remote station instead of the USB device", this);
    cbRemote->setObjectName("cbRemote");
    layout->addWidget(cbRemote);
    if (!networkBackend_) {
        auto* why = new QLabel(QString("This build of Vorlinq has no network backend (%1): "
                                       "only the USB device can be used.")
                                   .arg(QString::fromStdString(app::NoNetworkLibraryReason())),
                               this);
        why->setObjectName("lbNoNetwork");
        why->setWordWrap(true);
        layout->addWidget(why);
    }

    auto* form = new QFormLayout;
    edAddress = new QLineEdit(this);
    edAddress->setObjectName("edAddress");
    edAddress->setPlaceholderText("station.example.org:3001");
    form->addRow("&Address (HOST:PORT):", edAddress);
    cbTls = new QCheckBox("Connect over &TLS", this);
    cbTls->setObjectName("cbTls");
    form->addRow(QString(), cbTls);
    form->addRow("&CA certificate:", dialogs::FileRow(this, edCa, "edCa", "CA certificate"));
    form->addRow("Client c&ertificate:", dialogs::FileRow(this, edCert, "edCert", "Client certificate"));
    form->addRow("Client &key:", dialogs::FileRow(this, edKey, "edKey", "Client key"));
    edName = new QLineEdit(this);
    edName->setObjectName("edName");
    edName->setPlaceholderText("the host of the address");
    form->addRow("Station's certificate &name:", edName);
    layout->addLayout(form);

    auto* note = new QLabel("A plain connection is for a LAN or a VPN only; use TLS for anything wider.", this);
    note->setWordWrap(true);
    layout->addWidget(note);

    layout->addLayout(dialogs::OkCancelRow(this, OKBtn, CancelBtn));
    connect(cbRemote, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    connect(cbTls, &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
}

void TdlgRemoteStation::UpdateEnabled()
{
    if (!networkBackend_)
        cbRemote->setChecked(false);
    cbRemote->setEnabled(networkBackend_);
    const bool remote = cbRemote->isChecked();
    const bool tls = remote && cbTls->isChecked();
    edAddress->setEnabled(remote);
    cbTls->setEnabled(remote);
    for (QLineEdit* edit : {edCa, edCert, edKey})
        edit->parentWidget()->setEnabled(tls);
    edName->setEnabled(tls);
}

app::StoredRemote TdlgRemoteStation::Choice() const
{
    app::StoredRemote choice;
    choice.enabled = cbRemote->isChecked();
    choice.station.address = edAddress->text().trimmed().toStdString();
    choice.station.tls = cbTls->isChecked();
    choice.station.caFile = edCa->text().trimmed().toStdString();
    choice.station.certFile = edCert->text().trimmed().toStdString();
    choice.station.keyFile = edKey->text().trimmed().toStdString();
    choice.station.serverName = edName->text().trimmed().toStdString();
    return choice;
}

void TdlgRemoteStation::accept()
{
    const app::StoredRemote choice = Choice();
    if (choice.enabled) {
        const std::string problem = StationProblem(choice.station);
        if (!problem.empty()) {
            Boxes().Error(this, QString::fromStdString(problem));
            return;
        }
    }
    QDialog::accept();
}

bool TdlgRemoteStation::Edit(app::StoredRemote& choice)
{
    cbRemote->setChecked(choice.enabled);
    edAddress->setText(QString::fromStdString(choice.station.address));
    cbTls->setChecked(choice.station.tls);
    edCa->setText(QString::fromStdString(choice.station.caFile));
    edCert->setText(QString::fromStdString(choice.station.certFile));
    edKey->setText(QString::fromStdString(choice.station.keyFile));
    edName->setText(QString::fromStdString(choice.station.serverName));
    UpdateEnabled();
    if (exec() != QDialog::Accepted)
        return false;
    choice = Choice();
    return true;
}
