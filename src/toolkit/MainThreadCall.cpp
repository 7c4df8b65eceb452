#include "toolkit/MainThreadCall.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace mainthread {
namespace {

struct Call {
    std::function<void()> fn;
    bool done = false;
    std::exception_ptr error;
};

struct HandOver {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Call>> pending;
};

HandOver& State()
{
    static HandOver* state = new HandOver; // never destroyed: threads may outlive statics
    return *state;
}

void RunOne(const std::shared_ptr<Call>& call)
{
    try {
        call->fn();
    } catch (...) {
        call->error = std::current_exception();
    }
    HandOver& s = State();
    {
        std::lock_guard lock(s.mutex);
        call->done = true;
    }
    s.changed.notify_all();
}

bool TakeOne(std::shared_ptr<Call>& call)
{
    HandOver& s = State();
    std::lock_guard lock(s.mutex);
    if (s.pending.empty())
        return false;
    call = s.pending.front();
    s.pending.pop_front();
    return true;
}

} // namespace

bool IsMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void RunOnMainThread(const std::function<void()>& fn)
{
    if (IsMainThread() || !QCoreApplication::instance()) {
        fn();
        return;
    }
    auto call = std::make_shared<Call>();
    call->fn = fn;
    HandOver& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.pending.push_back(call);
    }
    s.changed.notify_all();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { ServePending(); }, Qt::QueuedConnection);
    {
        std::unique_lock lock(s.mutex);
        s.changed.wait(lock, [&] { return call->done; });
    }
    if (call->error)
        std::rethrow_exception(call->error);
}

void ServePending()
{
    std::shared_ptr<Call> call;
    while (TakeOne(call))
        RunOne(call);
}

void ServeUntil(const std::function<bool()>& done)
{
    HandOver& s = State();
    for (;;) {
        ServePending();
        std::unique_lock lock(s.mutex);
        if (done())
            return;
        s.changed.wait(lock, [&] { return done() || !s.pending.empty(); });
        if (done() && s.pending.empty())
            return;
    }
}

void NotifyStateChanged()
{
    HandOver& s = State();
    {
        std::lock_guard lock(s.mutex);
    }
    s.changed.notify_all();
}

void PostToMainThread(std::function<void()> fn)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
    else
        fn();
}

} // namespace mainthread
