#pragma once
// The worker thread of Connect, power-on and the firmware update: runs one
// job once, reports status texts to a main-thread progress handler through a
// blocking hand-over, and releases itself when the job returns.

#include "toolkit/TThread.h"

#include <functional>
#include <mutex>
#include <string>

class TFW_UpdateThread : public TThread {
public:
    using Callback = std::function<void(TFW_UpdateThread*)>;

    // Starts running at once; either callback may be empty.
    TFW_UpdateThread(Callback progressHandler, Callback job);

    // Called by the job (worker thread): stores the text, then runs the
    // progress handler on the main thread and waits until it has returned.
    void ReportStatus(const std::string& text);

    // The last status the job reported (read by the progress handler).
    std::string StatusText() const;

protected:
    void Execute() override;

private:
    Callback progressHandler_;
    Callback job_;
    mutable std::mutex statusMutex_;
    std::string statusText_;
};
