#pragma once
// The OK and Cancel buttons at the foot of a connection dialog, right-aligned:
// OK is the default button and accepts (through the dialog's own accept),
// Cancel rejects.

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace dialogs {

// The row for `dialog`; `ok` and `cancel` receive its buttons, named OKBtn and CancelBtn.
QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

} // namespace dialogs
