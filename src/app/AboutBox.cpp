#include "app/AboutBox.h"

#include "app/ProgramIcon.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kIconSize = 41;

QFont BoldItalic(const QFont& base, int pixelSize)
{
    QFont font(base);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setItalic(true);
    return font;
}

} // namespace

THelpDlg::THelpDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpDlg"));
    setWindowTitle(QStringLiteral("Vorlinq: Help"));
    setModal(true);
    setFixedSize(313, 214);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(7, 8, 297, 161);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(141, 20, kIconSize, kIconSize);
    const QIcon appIcon = QApplication::windowIcon();
    ProgramIcon->setPixmap(appIcon.isNull() ? app::ProgramIconPixmap(kIconSize) : appIcon.pixmap(kIconSize, kIconSize));

    ProductName = new QLabel(QStringLiteral("Vorlinq"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    ProductName->setFont(BoldItalic(font(), 19));
    ProductName->move(86, 66);
    ProductName->adjustSize();

    Comments = new QLabel(QStringLiteral("AVELKOR Q9-MX USB terminal"), this);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setFont(BoldItalic(font(), 16));
    Comments->move(32, 102);
    Comments->adjustSize();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(120, 180, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    CentreOnScreen();
}

void THelpDlg::showEvent(QShowEvent* event)
{
    CentreOnScreen();
    QDialog::showEvent(event);
}

void THelpDlg::CentreOnScreen()
{
    const QScreen* onScreen = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (onScreen == nullptr) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(onScreen->availableGeometry().center());
    move(frame.topLeft());
}
