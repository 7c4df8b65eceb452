#include "Execunit.h"

#include "toolkit/Clock.h"

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

void TExecThread::Execute()
{
    for (;;) {
        PauseGate();
        if (Terminated())
            break;
        if (transaction_)
            transaction_(this);
        Synchronize([this] {
            if (frameHandler_)
                frameHandler_();
        });
        Synchronize([this] {
            if (faultHandler_)
                faultHandler_();
        });
        AppClock().SleepMs(kPollSleepMs);
    }
}
