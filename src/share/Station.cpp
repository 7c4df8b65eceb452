#include "share/Station.h"

#include "Execunit.h"
#include "link/FtStatus.h"
#include "link/FtdiDriver.h"
#include "link/LinkConfig.h"
#include "protocol/Frames.h"

#include <QMetaObject>

#include <algorithm>
#include <exception>

namespace share {

Station::Station(FtdiDriver& driver, StationCore::Options options, QObject* parent)
    : QObject(parent), driver_(driver),
      core_(std::move(options),
            StationCore::Link{[this](std::uint8_t code) { protocol::SendCommand(driver_, handle_, code); },
                              [this] { PowerOn(); }, [this] { return open_; }})
{
    reopenTimer_.setSingleShot(true);
    connect(&reopenTimer_, &QTimer::timeout, this, [this] { OpenLink(); });
}

Station::~Station()
{
    reopenTimer_.stop();
    pulse_.CutShort();
    StopPolling();
    if (pulseThread_.joinable())
        pulseThread_.join();
    CloseLink();
}

bool Station::Start(std::string& error)
{
    core_.SetState(StationState::LinkLost, "the station is opening the link to the amplifier");
    if (!core_.Start(error))
        return false;
    OpenLink();
    return true;
}

void Station::OpenLink()
{
    const std::string loadError = driver_.LoadError();
    if (!loadError.empty()) {
        ScheduleReopen(loadError);
        return;
    }
    FT_HANDLE handle = nullptr;
    const FT_STATUS status = driver_.FT_Open(0, &handle);
    if (status != FT_OK) {
        const std::string detail = driver_.ErrorDetail();
        ScheduleReopen(FtStatusText(status) + (detail.empty() ? "" : ": " + detail));
        return;
    }
    handle_ = handle;
    open_ = true;
    try {
        ConfigureLink(driver_, handle_);
    } catch (const std::exception& e) {
        CloseLink();
        ScheduleReopen(e.what());
        return;
    }
    reopenDelayMs_ = kFirstReopenMs;
    protocol::SendCommand(driver_, handle_, protocol::kResumeCode);
    StartPolling();
}

void Station::CloseLink()
{
    if (!open_)
        return;
    pulse_.CutShort();
    driver_.FT_Close(handle_);
    handle_ = nullptr;
    open_ = false;
}

void Station::ScheduleReopen(const std::string& reason)
{
    core_.SetState(StationState::LinkLost, reason);
    reopenTimer_.start(reopenDelayMs_);
    reopenDelayMs_ = std::min(reopenDelayMs_ * 2, kLastReopenMs);
}

void Station::StartPolling()
{
    if (!open_ || pollThread_ || pulsing_)
        return;
    pollThread_ = new TExecThread([this](TExecThread* thread) { poll_.Transaction(driver_, handle_, thread); },
                                  [this] { FrameHandler(); }, [this] { FaultHandler(); });
}

void Station::StopPolling()
{
    TExecThread* thread = pollThread_;
    pollThread_ = nullptr;
    if (!thread)
        return;
    thread->Terminate();
    thread->WaitFor();
    poll_.ClearFlags();
}

// Main thread, inside the poll thread's hand-over.
void Station::FrameHandler()
{
    if (!poll_.FrameReady)
        return;
    ++frames_;
    core_.Frame(poll_.LampByte, poll_.RxBuffer.data(), poll_.PayloadLength);
    poll_.FrameReady = 0;
}

// Main thread, inside the poll thread's hand-over: must never wait for it.
void Station::FaultHandler()
{
    if (poll_.DeviceSilent) {
        poll_.DeviceSilent = 0;
        core_.SetState(StationState::Silent);
    }
    if (poll_.LinkError)
        LinkLost();
}

void Station::LinkLost()
{
    poll_.LinkError = 0;
    if (!pollThread_)
        return;
    // The poll thread is past its last hand-over: it only finishes its sleep.
    const std::string text = pollThread_->ErrorText();
    pollThread_->Terminate();
    pollThread_ = nullptr;
    pulse_.CutShort();
    driver_.FT_CyclePort(handle_);
    CloseLink();
    ScheduleReopen(text);
}

void Station::PowerOn()
{
    // One pulse at a time, with polling paused as the window does.
    if (pulsing_ || !open_)
        return;
    pulsing_ = true;
    StopPolling();
    if (pulseThread_.joinable())
        pulseThread_.join();
    const std::uint64_t generation = pulse_.Generation();
    pulseThread_ = std::thread([this, generation] {
        const bool ended = pulse_.Run(driver_, handle_, generation);
        QMetaObject::invokeMethod(
            this,
            [this, ended] {
                pulsing_ = false;
                if (ended)
                    StartPolling();
            },
            Qt::QueuedConnection);
    });
}

} // namespace share
