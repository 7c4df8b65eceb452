#include "toolkit/TThread.h"

#include "toolkit/MainThreadCall.h"

namespace {
std::atomic<int> g_running{0};
} // namespace

int TThread::Running()
{
    return g_running.load();
}

TThread::TThread() : shared_(std::make_shared<Shared>()) {}

TThread::~TThread()
{
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void TThread::Start()
{
    g_running.fetch_add(1);
    std::lock_guard lock(startMutex_);
    thread_ = std::thread([this] { Run(); });
}

void TThread::Run()
{
    try {
        Execute();
    } catch (...) {
        // Execute owns its failures; nothing may escape a thread.
    }
    // Nobody joins a thread: whoever needs its end waits for `finished`. A
    // detached thread also leaves nothing behind when the program ends before
    // the main thread has released the object.
    {
        std::lock_guard lock(startMutex_); // Start() has stored the thread
        thread_.detach();
    }
    std::shared_ptr<Shared> shared = shared_;
    const bool release = FreeOnTerminate;
    shared->finished.store(true);
    g_running.fetch_sub(1);
    mainthread::NotifyStateChanged();
    if (release) {
        // Released on the main thread, never under a WaitFor that still reads it.
        mainthread::PostToMainThread([this] { delete this; });
    }
}

void TThread::Terminate()
{
    terminated_.store(true);
    {
        std::lock_guard lock(pauseMutex_);
    }
    pauseChanged_.notify_all();
}

void TThread::Suspend()
{
    suspended_.store(true);
}

void TThread::Resume()
{
    {
        std::lock_guard lock(pauseMutex_);
        suspended_.store(false);
    }
    pauseChanged_.notify_all();
}

void TThread::PauseGate()
{
    std::unique_lock lock(pauseMutex_);
    pauseChanged_.wait(lock, [this] { return !suspended_.load() || terminated_.load(); });
}

bool TThread::Finished() const
{
    return shared_->finished.load();
}

void TThread::WaitFor()
{
    std::shared_ptr<Shared> shared = shared_;
    if (mainthread::IsMainThread()) {
        mainthread::ServeUntil([shared] { return shared->finished.load(); });
    } else {
        while (!shared->finished.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TThread::Synchronize(const std::function<void()>& fn)
{
    mainthread::RunOnMainThread(fn);
}
