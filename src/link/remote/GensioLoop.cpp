#include "link/remote/GensioLoop.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs_public.h>

#include <csignal>
#include <cstdarg>
#include <mutex>

namespace remote {

namespace {

// How long one pass of the event loop may sleep. Requests made from other
// threads take effect at once (they change the poll set directly); the
// bound only limits how long a timer that another thread started early can
// be late, and how long stopping takes.
constexpr long long kServiceSliceNs = 20'000'000;

std::mutex gLoopMutex;
std::weak_ptr<GensioLoop> gLoop;

// gensio's own log lines are not shown: every failure that matters reaches
// the caller as an error code, which the backend turns into a message.
void QuietLog(gensio_os_funcs*, gensio_log_levels, const char*, va_list) {}

} // namespace

std::shared_ptr<GensioLoop> GensioLoop::Acquire(std::string* error)
{
    std::lock_guard<std::mutex> lock(gLoopMutex);
    if (std::shared_ptr<GensioLoop> loop = gLoop.lock())
        return loop;
    // A peer that goes away while we write must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // The process-wide handler, without a wake-up signal: only our own
    // thread ever waits inside gensio.
    gensio_os_funcs* os = nullptr;
    const int err = gensio_default_os_hnd(0, &os);
    if (err) {
        if (error)
            *error = "The network library could not start: " + ErrorText(err);
        return nullptr;
    }
    gensio_os_funcs_set_vlog(os, QuietLog);
    std::shared_ptr<GensioLoop> loop(new GensioLoop(os));
    gLoop = loop;
    return loop;
}

GensioLoop::GensioLoop(gensio_os_funcs* os) : os_(os)
{
    // The thread keeps its own share of the stop flag: it may outlive this
    // object by one pass (see the destructor).
    thread_ = std::thread([stop = stop_, os] { Run(*stop, os); });
}

GensioLoop::~GensioLoop()
{
    *stop_ = true;
    // The last holder can be a connection whose close completes on the loop
    // thread itself: that thread then ends by itself after this pass.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else if (thread_.joinable())
        thread_.join();
    // The handler is the process's default one and is kept for the next user.
}

void GensioLoop::Run(const std::atomic<bool>& stop, gensio_os_funcs* os)
{
    while (!stop) {
        gensio_time slice = {0, kServiceSliceNs};
        (void)gensio_os_funcs_service(os, &slice);
    }
}

std::string GensioLoop::ErrorText(int err)
{
    return gensio_err_to_str(err);
}

} // namespace remote
