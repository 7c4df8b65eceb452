#pragma once
// A file name entry with a button that picks the file (certificates and
// keys), for the connection dialog's parts.

#include <QString>

class QLineEdit;
class QWidget;

namespace dialogs {

// The row as a widget of `parent`; `edit` receives its entry, named `name`.
QWidget* FileRow(QWidget* parent, QLineEdit*& edit, const QString& name, const QString& title);

} // namespace dialogs
