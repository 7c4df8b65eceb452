#include "support/ProcessEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>

bool ProcessEventsUntil(const std::function<bool()>& done, int realMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= realMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
