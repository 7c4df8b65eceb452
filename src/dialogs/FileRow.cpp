#include "dialogs/FileRow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace dialogs {

QWidget* FileRow(QWidget* parent, QLineEdit*& edit, const QString& name, const QString& title)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(row);
    edit->setObjectName(name);
    auto* browse = new QPushButton("...", row);
    browse->setFixedWidth(28);
    browse->setAccessibleName(title);
    layout->addWidget(edit);
    layout->addWidget(browse);
    QLineEdit* target = edit;
    QObject::connect(browse, &QPushButton::clicked, row, [row, target, title] {
        const QString file = QFileDialog::getOpenFileName(row, title, target->text(),
                                                          "Certificates and keys (*.crt *.pem *.key);;All files (*)");
        if (!file.isEmpty())
            target->setText(file);
    });
    return row;
}

} // namespace dialogs
