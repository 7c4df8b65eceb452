#include "Fw_update.h"

TFW_UpdateThread::TFW_UpdateThread(Callback progressHandler, Callback job)
    : progressHandler_(std::move(progressHandler)), job_(std::move(job))
{
    Start();
}

void TFW_UpdateThread::ReportStatus(const std::string& text)
{
    {
        std::lock_guard lock(statusMutex_);
        statusText_ = text;
    }
    Synchronize([this] {
        if (progressHandler_)
            progressHandler_(this);
    });
}

std::string TFW_UpdateThread::StatusText() const
{
    std::lock_guard lock(statusMutex_);
    return statusText_;
}

void TFW_UpdateThread::Execute()
{
    if (job_)
        job_(this);
}
