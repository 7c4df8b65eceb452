// The display window's firmware update: the update action on the main thread
// and the update job on its worker thread.

#include "Mainform.h"

#include "Fw_update.h"
#include "link/FtStatus.h"
#include "link/Timeouts.h"
#include "protocol/Frames.h"
#include "toolkit/MainThreadCall.h"
#include "toolkit/MessageBoxes.h"
#include "update/PackageFile.h"
#include "update/Transfer.h"

#include <QAction>
#include <QFileDialog>

namespace {
constexpr int kUpdateTimeoutLocation = 1405;
} // namespace

void TForm1::SetUpdateMenuActions(bool enabled)
{
    for (QAction* action : {actLoadUpdate, actClose, actExit, actKeypad})
        action->setEnabled(enabled);
}

void TForm1::actLoadUpdateExecute()
{
    // One update at a time and none beside another job: a second Ctrl+U
    // while the dialog is open or before the job has got going does nothing.
    if (choosingPackage_ || UpdateRunning || ActiveJobs > 0)
        return;
    const std::uint64_t generation = LinkGeneration();
    SendCommand(protocol::kUpdateAnnounceCode);

    // Polling goes on while the dialog is open.
    QString fileName;
    choosingPackage_ = true;
    if (ChoosePackageFile)
        fileName = ChoosePackageFile();
    else
        fileName = RunFileDialog(this, "Open Package file", "Package file (.pk1) (*.pk1)", QFileDialog::AcceptOpen);
    choosingPackage_ = false;
    auto linkChanged = [this, generation] { return LinkGeneration() != generation; };
    // The link went away while the dialog was open: its loss has been
    // reported and the device closed; nothing more to say or to send.
    if (!OnLine || linkChanged())
        return;
    // Cancelled, or a job began meanwhile (ON): the amplifier goes back to work.
    if (fileName.isEmpty() || ActiveJobs > 0) {
        SendCommand(protocol::kResumeCode);
        return;
    }

    StopPolling();
    // The poll thread's last cycle may have found the link gone.
    if (!OnLine || linkChanged())
        return;
    try {
        CheckFTStatus(driver->FT_SetTimeouts(USBHandle, kUpdateTimeoutMs, kUpdateTimeoutMs), kUpdateTimeoutLocation);
    } catch (const FT_Exception& e) {
        // The link cannot take the update's time-outs: it is as good as lost.
        // Show why, then go off-line rather than leave a display that never
        // changes again.
        Boxes().Error(this, QString::fromStdString(e.Message()));
        driver->FT_CyclePort(USBHandle);
        actCloseExecute();
        return;
    }
    chosenPackage_ = fileName;
    updateGeneration_ = generation;
    // Raised here, not by the job: a key-up handled before the worker thread
    // gets going must already see the update running. The controls go now
    // for the same reason: no Disconnect or second update in between.
    UpdateRunning = true;
    if (Sharing)
        Sharing->Updating();
    SetUpdateMenuActions(false);
    DisableKeyActions();
    StartJob([this](TFW_UpdateThread* t) { UpdateProgress(t); }, [this](TFW_UpdateThread* t) { UpdateJob(t); });
}

// Called on the worker thread.
void TForm1::UpdateJob(TFW_UpdateThread* thread)
{
    mainthread::RunOnMainThread([this] {
        SetUpdateMenuActions(false);
        DisableKeyActions();
    });

    auto showError = [this](const std::string& message) {
        const QString text = QString::fromStdString(message);
        mainthread::RunOnMainThread([this, text] { Boxes().Error(this, text); });
    };

    PackageFile = std::make_unique<update::PackageFile>();
    bool succeeded = false;
    try {
        update::UpdateTransfer transfer(*driver, USBHandle, *PackageFile, chosenPackage_.toStdString(),
                                        [this, thread](const std::string& text) {
                                            if (text == update::kStatusValidating)
                                                PackageFileName = chosenPackage_;
                                            thread->ReportStatus(text);
                                        });
        transfer.Run();
        succeeded = true;
    } catch (const Upd_Exception& e) {
        thread->ReportStatus(update::kStatusFailed);
        showError(e.Message());
        SendCommand(protocol::kResumeCode);
    } catch (const std::exception& e) {
        // FT_Exception from a checked call; anything else is handled the same way.
        thread->ReportStatus(update::kStatusInterrupted);
        showError(e.what());
    }

    // Polling restarts below, once the time-outs are back to normal.
    if (succeeded)
        PowerOnSequence(updateGeneration_, false);

    // Cleanup, whatever the outcome. The key actions (after success),
    // Disconnect and the update come back only while on-line.
    PackageFile->Close();
    mainthread::RunOnMainThread([this, succeeded] {
        actExit->setEnabled(true);
        actKeypad->setEnabled(true);
        if (!OnLine)
            return;
        if (succeeded)
            EnableKeyActions();
        actClose->setEnabled(true);
        actLoadUpdate->setEnabled(true);
    });
    if (OnLine)
        driver->FT_SetTimeouts(USBHandle, kNormalTimeoutMs, kNormalTimeoutMs);
    UpdateRunning = false;
    mainthread::RunOnMainThread([this] { StartPolling(); });
}

void TForm1::UpdateProgress(TFW_UpdateThread* thread)
{
    raster.ShowOverlayText(thread->StatusText().c_str());
    Repaint();
}
