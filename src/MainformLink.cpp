// The display window's connection lifecycle: connect, disconnect, loss of the
// link, power-on, the device ID dialog; and the placement commands.

#include "Mainform.h"

#include "Execunit.h"
#include "Fw_update.h"
#include "Wait.h"
#include "app/AboutBox.h"
#include "dialogs/TdlgPreferences.h"
#include "link/FtStatus.h"
#include "link/LinkConfig.h"
#include "protocol/Frames.h"
#include "toolkit/Clock.h"
#include "toolkit/MainThreadCall.h"
#include "toolkit/MessageBoxes.h"

#include <QAction>
#include <QProgressBar>

namespace {
constexpr int kOpenAttempts = 100;
constexpr int kOpenRetryMs = 300;
constexpr int kConnectLocation = 1022;
} // namespace

// --- worker jobs -----------------------------------------------------------------

void TForm1::StartJob(std::function<void(TFW_UpdateThread*)> progress, std::function<void(TFW_UpdateThread*)> job)
{
    ++ActiveJobs;
    new TFW_UpdateThread(std::move(progress), [this, job = std::move(job)](TFW_UpdateThread* thread) {
        // Counted down on every way out of the job, an exception included:
        // closing the window waits for the count to reach 0.
        struct CountDown {
            TForm1* form;
            ~CountDown()
            {
                --form->ActiveJobs;
                mainthread::NotifyStateChanged();
            }
        } countDown{this};
        job(thread);
    });
}

// --- connect -------------------------------------------------------------------

void TForm1::actOpenExecute()
{
    WaitForm->move(x() + 8, y() + 50);
    WaitForm->show();
    actOpen->setEnabled(false);
    actConfigureConnection->setEnabled(false);
    StartJob([this](TFW_UpdateThread* t) { ConnectProgress(t); }, [this](TFW_UpdateThread* t) { ConnectJob(t); });
}

// Called on the worker thread.
void TForm1::ConnectJob(TFW_UpdateThread* thread)
{
    const std::string loadError = driver ? driver->LoadError() : std::string("No FTDI driver backend is available.");
    if (!loadError.empty()) {
        // No driver to talk to: no point in a hundred attempts.
        ConnectFailed(thread, false, false, loadError);
        return;
    }

    const bool byId = IDAddressing && !IDString.isEmpty();
    const QByteArray id = IDString.toLatin1();
    bool halted = false;
    bool opened = false;
    try {
        FT_STATUS status = FT_OK;
        for (int attempt = 0;;) {
            FT_HANDLE handle = nullptr;
            status = byId ? driver->FT_OpenEx(id.constData(), FT_OPEN_BY_SERIAL_NUMBER, &handle)
                          : driver->FT_Open(0, &handle);
            if (status == FT_OK) {
                USBHandle = handle;
                opened = true;
            }
            thread->ReportStatus("RUN");
            if (status == FT_OK)
                break;
            if (!WaitForm->Showing()) {
                status = kAbortCode;
                break;
            }
            AppClock().SleepMs(kOpenRetryMs);
            if (++attempt >= kOpenAttempts)
                break;
        }
        halted = true;
        thread->ReportStatus("HALT");
        CheckFTStatus(status, kConnectLocation);
        ConfigureLink(*driver, USBHandle);
        thread->ReportStatus("DONE");
    } catch (const std::exception& e) {
        // A failed driver call, or anything else that went wrong (a driver
        // that throws, a poll thread that cannot start): the connect fails
        // the same way and says why.
        ConnectFailed(thread, halted, opened, e.what());
    }
}

// Worker thread: back to off-line, the device closed again when it was
// opened (so that the next Connect can open it), then the reason shown.
void TForm1::ConnectFailed(TFW_UpdateThread* thread, bool halted, bool opened, const std::string& message)
{
    try {
        if (!halted)
            thread->ReportStatus("HALT");
        // "EXCEPT" also stops a poll thread that "DONE" may have started
        // before it failed, so nothing polls the handle once it is closed.
        thread->ReportStatus("EXCEPT");
    } catch (const std::exception& e) {
        qWarning("connect clean-up failed: %s", e.what());
    }
    if (opened)
        CloseLink();
    // Closing the window aborts a connect in progress; that needs no box.
    if (!closing_) {
        // A network backend says which address and what went wrong.
        const std::string detail = driver ? driver->ErrorDetail() : std::string();
        const QString text = QString::fromStdString(detail.empty() ? message : message + "\n" + detail);
        mainthread::RunOnMainThread([this, text] { Boxes().Error(this, text); });
    }
}

void TForm1::ConnectProgress(TFW_UpdateThread* thread)
{
    if (!thread)
        return;
    const std::string status = thread->StatusText();
    if (status == "RUN") {
        WaitForm->pbWait->setValue(WaitForm->pbWait->value() + 3);
    } else if (status == "HALT") {
        WaitForm->pbWait->setValue(0);
        WaitForm->hide();
    } else if (status == "DONE") {
        SetOnlineLook();
        actOpen->setEnabled(false);
        actConfigureConnection->setEnabled(false);
        actClose->setEnabled(true);
        actSave->setEnabled(false);
        EnableKeyActions();
        actFreeze->setChecked(false);
        // Freeze and the still image are reachable while on-line.
        actFreeze->setEnabled(true);
        OnLine = true;
        SendCommand(protocol::kResumeCode);
        StartPolling();
        Repaint();
    } else if (status == "EXCEPT") {
        if (OnLine || PollThread || actClose->isEnabled()) {
            // A "DONE" that failed half-way is undone as Disconnect would.
            StopPolling();
            DisableKeyActions();
            SetAllLamps(0);
            actLoadUpdate->setEnabled(false);
            actFreeze->setEnabled(false);
            actClose->setEnabled(false);
        }
        SetOfflineLook();
        OnLine = false;
        actOpen->setEnabled(true);
        actConfigureConnection->setEnabled(true);
        Repaint();
    }
}

void TForm1::SendCommand(std::uint8_t code)
{
    protocol::SendCommand(*driver, USBHandle, code);
}

// --- disconnect and loss of the link ---------------------------------------------

std::uint64_t TForm1::LinkGeneration()
{
    return pulse_.Generation();
}

void TForm1::CutPulseShort()
{
    pulse_.CutShort();
}

void TForm1::CloseLink()
{
    CutPulseShort();
    driver->FT_Close(USBHandle);
}

void TForm1::actCloseExecute()
{
    StopPolling();
    CloseLink();
    DisableKeyActions();
    SetAllLamps(0);
    actLoadUpdate->setEnabled(false);
    actFreeze->setEnabled(false);
    actClose->setEnabled(false);
    actOpen->setEnabled(true);
    actConfigureConnection->setEnabled(true);
    OnLine = false;
    SetOfflineLook();
    Repaint();
    if (Sharing)
        Sharing->LinkDown("the desktop closed its link to the amplifier");
}

// Main thread, inside the poll thread's hand-over: must never wait for it.
void TForm1::LinkLoss()
{
    LinkError = 0;
    if (!PollThread)
        return;
    const QString text = QString::fromStdString(PollThread->ErrorText());
    PollThread->Terminate();
    PollThread = nullptr;
    CutPulseShort();
    driver->FT_CyclePort(USBHandle);
    actCloseExecute();
    if (Sharing)
        Sharing->LinkDown(text.toStdString());
    Boxes().Error(this, text);
}

// --- power-on ------------------------------------------------------------------

void TForm1::actOnExecute()
{
    // One pulse at a time: a double click or a held N adds nothing.
    if (PowerOnRunning)
        return;
    PowerOnRunning = true;
    StopPolling();
    // The link may have gone while the poll thread finished its cycle.
    if (!OnLine) {
        PowerOnRunning = false;
        return;
    }
    // The link of this moment: a Disconnect before the job gets going cuts it short too.
    const std::uint64_t generation = LinkGeneration();
    StartJob(nullptr, [this, generation](TFW_UpdateThread*) {
        struct PulseEnded {
            std::atomic<bool>& running;
            ~PulseEnded() { running = false; }
        } ended{PowerOnRunning};
        PowerOnSequence(generation, true);
    });
}

// Runs on a worker thread (the power-on job, and the update job at its end).
void TForm1::PowerOnSequence(std::uint64_t generation, bool restartPolling)
{
    // Polling restarts through the main thread, and not at all when the link
    // was closed meanwhile.
    if (pulse_.Run(*driver, USBHandle, generation) && restartPolling)
        mainthread::RunOnMainThread([this] { StartPolling(); });
}

// --- device ID dialog ------------------------------------------------------------

void TForm1::actConfigureConnectionExecute()
{
    dlgPreferences->SetRemote(Remote);
    if (dlgPreferences->Configure(IDString, IDAddressing) && dlgPreferences->Remote() != Remote) {
        Remote = dlgPreferences->Remote();
        if (ChooseBackend)
            ChooseBackend(Remote);
    }
    Repaint();
}

// --- placement -------------------------------------------------------------------

void TForm1::actHomeExecute()
{
    move(0, 0);
    actParkExecute();
}

void TForm1::actParkExecute()
{
    const int top = y() + OuterHeight();
    const int left = x();
    for (QWidget* keypad : {KeypadWindow(), JKeypadWindow()}) {
        if (!keypad)
            continue;
        keypad->move(left, top);
        if (keypad->isVisible())
            keypad->raise();
    }
    if (WaitForm) {
        WaitForm->move(left + 8, y() + 50);
        if (WaitForm->isVisible())
            WaitForm->raise();
    }
}

void TForm1::actAboutExecute()
{
    if (HelpDlg)
        HelpDlg->exec();
}
