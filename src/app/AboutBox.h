#pragma once
// The About box (form HelpDlg), chosen from Help > About... and shown modally.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class THelpDlg final : public QDialog {
    Q_OBJECT
public:
    explicit THelpDlg(QWidget* parent = nullptr);

    QFrame* Bevel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CentreOnScreen();
};
