#pragma once
// The poll thread: runs one poll transaction after another; after each it
// hands over to the main thread twice (the frame handler, then the fault
// handler) and sleeps 80 ms. A stop request is seen only at the top of the
// loop, so the cycle in progress always finishes, hand-overs included.
// Freeze pauses the loop at its top, never inside a driver call.

#include "toolkit/TThread.h"

#include <functional>
#include <mutex>
#include <string>

class TExecThread : public TThread {
public:
    using Transaction = std::function<void(TExecThread*)>; // runs on the poll thread
    using Handler = std::function<void()>;                 // runs on the main thread

    static constexpr int kPollSleepMs = 80;

    // Starts running at once; any callback may be empty.
    TExecThread(Transaction transaction, Handler frameHandler, Handler faultHandler);

    // Set by the transaction (poll thread), read by the fault handler (main thread).
    void SetErrorText(const std::string& text);
    std::string ErrorText() const;

    // Poll threads that exist and whose loop has not ended yet: running,
    // paused, or told to stop and still finishing their cycle.
    static int Alive();

protected:
    void Execute() override;

private:
    void HandOver(const Handler& handler);

    Transaction transaction_;
    Handler frameHandler_;
    Handler faultHandler_;
    mutable std::mutex errorMutex_;
    std::string errorText_;
};
