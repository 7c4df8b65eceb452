#pragma once
// The headless station: owns the link to the amplifier through any backend,
// runs the poll engine on it (the window's poll transaction on a poll
// thread, its results handed to the main thread), reopens the link when it is
// lost, and shares everything through the broker (StationCore). Main thread,
// but for the poll thread and the power-on pulse's worker.

#include "PollCycle.h"
#include "link/FtTypes.h"
#include "link/PowerOnPulse.h"
#include "share/StationCore.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <string>
#include <thread>

class FtdiDriver;
class TExecThread;

namespace share {

class Station : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstReopenMs = 1000;
    static constexpr int kLastReopenMs = 30000;

    // The driver must outlive the station.
    Station(FtdiDriver& driver, StationCore::Options options, QObject* parent = nullptr);
    // Polling stopped, the link closed, "stopped" said to the viewers.
    ~Station() override;

    // Connects to the broker (in the background) and opens the link; false
    // when the broker options cannot work.
    bool Start(std::string& error);

    StationCore& Core() { return core_; }
    bool LinkUp() const { return open_; }
    // Valid frames the poll engine delivered so far.
    long long Frames() const { return frames_; }

private:
    void OpenLink();
    void CloseLink();
    void ScheduleReopen(const std::string& reason);
    void StartPolling();
    void StopPolling();
    void FrameHandler();
    void FaultHandler();
    void LinkLost();
    void PowerOn();

    FtdiDriver& driver_;
    std::atomic<FT_HANDLE> handle_{nullptr};
    bool open_ = false;
    PollCycle poll_;
    TExecThread* pollThread_ = nullptr;
    PowerOnPulse pulse_;
    std::thread pulseThread_;
    bool pulsing_ = false;
    QTimer reopenTimer_;
    int reopenDelayMs_ = kFirstReopenMs;
    long long frames_ = 0;
    StationCore core_;
};

} // namespace share
