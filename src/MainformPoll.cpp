// The display window's side of the poll engine: starting and stopping the
// poll thread, the poll transaction and the two main-thread handlers.

#include "Mainform.h"

#include "Execunit.h"
#include "display/FrameDrawing.h"

#include <QAction>

#include <chrono>
#include <thread>

namespace {
// 1 ms slices: ten poll sleeps.
constexpr int kEndingPollWaitSlices = 10 * TExecThread::kPollSleepMs;
} // namespace

void TForm1::StartPolling()
{
    if (!OnLine || PollThread || pollStops_ > 0 || UpdateRunning || closing_)
        return;
    // A poll thread that the link-loss handling told to stop is past its
    // last hand-over and only finishes its sleep; it needs nothing from this
    // thread, so a plain wait is enough.
    for (int slice = 0; TExecThread::Alive() > 0 && slice < kEndingPollWaitSlices; ++slice)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (TExecThread::Alive() > 0)
        qWarning("a poll thread told to stop is still running");
    PollThread = new TExecThread([this](TExecThread* thread) { PollTransaction(thread); }, [this] { FrameHandler(); },
                                 [this] { FaultHandler(); });
}

void TForm1::StopPolling()
{
    // The reference is cleared before the wait: hand-overs served while we
    // wait then see no poll thread, so the link-loss handling cannot run a
    // second stop from inside this one. And while the wait lasts no hand-over
    // may start another poll thread (a power-on or an update ending now):
    // whoever stops polling decides when it comes back.
    TExecThread* thread = PollThread;
    PollThread = nullptr;
    if (thread) {
        ++pollStops_;
        thread->Resume();
        thread->Terminate();
        thread->WaitFor();
        --pollStops_;
    }
    // A new poll thread never starts under a still image, and the status bar
    // and Save stop showing one at once, not only with the next frame.
    if (actFreeze && actFreeze->isChecked()) {
        actFreeze->setChecked(false);
        Repaint();
    }
}

// Called on the poll thread.
void TForm1::PollTransaction(TExecThread* thread)
{
    Poll.Transaction(*driver, USBHandle, thread);
}

void TForm1::FrameHandler()
{
    if (!FrameReady)
        return;
    // Frozen: nothing changes under "STILL IMAGE" (a transaction that was
    // under way when Freeze came is dropped), but a shared link keeps
    // polling for its viewers.
    if (actFreeze->isChecked()) {
        if (Sharing)
            Sharing->Frame(LampByte, RxBuffer.data(), Poll.PayloadLength);
        FrameReady = 0;
        return;
    }
    SetAllLamps(static_cast<std::uint8_t>(~LampByte));
    // Offered only while ON is lit and AL, TUNE, SET, OP and TX are dark.
    actLoadUpdate->setEnabled((LampByte & 0xF9) == 0xF8);
    display::DrawDisplayFrame(raster, RxBuffer.data());
    Repaint();
    if (Sharing)
        Sharing->Frame(LampByte, RxBuffer.data(), Poll.PayloadLength);
    FrameReady = 0;
}

void TForm1::FaultHandler()
{
    ShowSharedNote();
    if (DeviceSilent && actFreeze->isChecked()) {
        DeviceSilent = 0; // the still image stays as it is
        if (Sharing)
            Sharing->Silent();
    }
    if (DeviceSilent) {
        DeviceSilent = 0;
        raster.Clear();
        Repaint();
        SetAllLamps(0);
        actLoadUpdate->setEnabled(false);
        if (Sharing)
            Sharing->Silent();
    }
    if (LinkError)
        LinkLoss();
}
