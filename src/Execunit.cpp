#include "Execunit.h"

#include "toolkit/Clock.h"

#include <QtGlobal>

#include <exception>

TExecThread::TExecThread(Transaction transaction, Handler frameHandler, Handler faultHandler)
    : transaction_(std::move(transaction)), frameHandler_(std::move(frameHandler)),
      faultHandler_(std::move(faultHandler))
{
    Start();
}

void TExecThread::SetErrorText(const std::string& text)
{
    std::lock_guard lock(errorMutex_);
    errorText_ = text;
}

std::string TExecThread::ErrorText() const
{
    std::lock_guard lock(errorMutex_);
    return errorText_;
}

void TExecThread::HandOver(const Handler& handler)
{
    if (!handler)
        return;
    try {
        Synchronize(handler);
    } catch (const std::exception& e) {
        // A handler that fails must not end the loop behind the window's
        // back: the window still holds this thread and will stop it.
        qWarning("poll hand-over failed: %s", e.what());
    } catch (...) {
        qWarning("poll hand-over failed");
    }
}

void TExecThread::Execute()
{
    for (;;) {
        PauseGate();
        if (Terminated())
            break;
        if (transaction_)
            transaction_(this);
        HandOver(frameHandler_);
        HandOver(faultHandler_);
        AppClock().SleepMs(kPollSleepMs);
    }
}
