#pragma once
// The thread that runs gensio's event handling for the remote backend and the
// simulator server. One per process while anything uses it: the first
// Acquire() starts it, the last holder to let go stops it.
//
// Every gensio callback (data, write-ready, open and close done, serial-port
// replies) runs on this thread. Other threads only make non-blocking gensio
// calls (write, request, close) and wait on their own condition variables,
// never inside gensio.

#include <atomic>
#include <memory>
#include <string>
#include <thread>

struct gensio_os_funcs;

namespace remote {

class GensioLoop {
public:
    // The running loop, or null with `error` saying why gensio could not start.
    static std::shared_ptr<GensioLoop> Acquire(std::string* error);

    ~GensioLoop();
    GensioLoop(const GensioLoop&) = delete;
    GensioLoop& operator=(const GensioLoop&) = delete;

    gensio_os_funcs* Os() const { return os_; }

    // A gensio error code in words.
    static std::string ErrorText(int err);

private:
    explicit GensioLoop(gensio_os_funcs* os);
    static void Run(const std::atomic<bool>& stop, gensio_os_funcs* os);

    gensio_os_funcs* os_ = nullptr;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::thread thread_;
};

} // namespace remote
