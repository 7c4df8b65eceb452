#include "Execunit.h"

#include "toolkit/Clock.h"

#include <QtGlobal>

#include <atomic>
#include <exception>

namespace {
std::atomic<int> g_alive{0};
} // namespace

int TExecThread::Alive()
{
    return g_alive.load();
}

TExecThread::TExecThread(Transaction transaction, Handler frameHandler, Handler faultHandler)
    : transaction_(std::move(transaction)), frameHandler_(std::move(frameHandler)),
      faultHandler_(std::move(faultHandler))
{
    g_alive.fetch_add(1);
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
    struct AliveUntilReturn {
        ~AliveUntilReturn() { g_alive.fetch_sub(1); }
    } alive;
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
