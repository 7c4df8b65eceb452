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

void TForm1::actLoadUpdateExecute()
{
    SendCommand(protocol::kUpdateAnnounceCode);

    // Polling goes on while the dialog is open.
    QString fileName;
    if (ChoosePackageFile)
        fileName = ChoosePackageFile();
    else
        fileName = RunFileDialog(this, "Open Package file", "Package file (.pk1) (*.pk1)", QFileDialog::AcceptOpen);
    if (fileName.isEmpty()) {
        SendCommand(protocol::kResumeCode);
        return;
    }

    StopPolling();
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
    // Raised here, not by the job: a key-up handled before the worker thread
    // gets going must already see the update running.
    UpdateRunning = true;
    StartJob([this](TFW_UpdateThread* t) { UpdateProgress(t); }, [this](TFW_UpdateThread* t) { UpdateJob(t); });
}

// Called on the worker thread.
void TForm1::UpdateJob(TFW_UpdateThread* thread)
{
    const std::array<QAction*, 4> menuActions = {actLoadUpdate, actClose, actExit, actKeypad};
    mainthread::RunOnMainThread([&] {
        for (QAction* action : menuActions)
            action->setEnabled(false);
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

    if (succeeded) {
        PowerOnSequence();
        mainthread::RunOnMainThread([this] { EnableKeyActions(); });
    }

    // Cleanup, whatever the outcome.
    PackageFile->Close();
    mainthread::RunOnMainThread([&] {
        for (QAction* action : menuActions)
            action->setEnabled(true);
    });
    driver->FT_SetTimeouts(USBHandle, kNormalTimeoutMs, kNormalTimeoutMs);
    UpdateRunning = false;
    mainthread::RunOnMainThread([this] {
        if (!PollThread && OnLine)
            StartPolling();
    });
}

void TForm1::UpdateProgress(TFW_UpdateThread* thread)
{
    raster.ShowOverlayText(thread->StatusText().c_str());
    Repaint();
}
