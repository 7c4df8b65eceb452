#include "Wait.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>

TWaitForm::TWaitForm(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setObjectName("WaitForm");
    setWindowTitle("Vorlinq: Connection in progress...");
    resize(245, 101);

    pbWait = new QProgressBar(this);
    pbWait->setObjectName("pbWait");
    pbWait->setGeometry(10, 8, 210, 17);
    pbWait->setRange(0, 300);
    pbWait->setValue(0);
    pbWait->setTextVisible(false);

    btnAbort = new QPushButton("Abort process", this);
    btnAbort->setObjectName("btnAbort");
    btnAbort->setGeometry(56, 33, 118, 25);
    connect(btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });
}

void TWaitForm::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    showing_.store(isVisible());
}

void TWaitForm::btnAbortClick()
{
    hide();
}

void TWaitForm::closeEvent(QCloseEvent* event)
{
    hide();
    event->accept();
}
