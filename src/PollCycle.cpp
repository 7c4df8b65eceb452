#include "PollCycle.h"

#include "Execunit.h"
#include "link/FtStatus.h"
#include "link/FtdiDriver.h"

#include <exception>

void PollCycle::Transaction(FtdiDriver& driver, FT_HANDLE handle, TExecThread* thread)
{
    try {
        switch (protocol::PollOnce(driver, handle, RxBuffer.data(), LampByte, &PayloadLength)) {
        case protocol::FrameOutcome::Valid:
            FrameReady = 1;
            break;
        case protocol::FrameOutcome::NoAnswer:
            DeviceSilent = 1;
            break;
        case protocol::FrameOutcome::Bad:
            break;
        }
    } catch (const FT_Exception& e) {
        // FT_Exception names the failed call; a backend that knows more (a
        // shared station's reason for going off-line) says it after that.
        const std::string detail = driver.ErrorDetail();
        thread->SetErrorText(detail.empty() ? std::string(e.what()) : e.what() + std::string("\n") + detail);
        LinkError = 1;
    } catch (const std::exception& e) {
        // Anything else is treated the same way, with its own message,
        // rather than ending the program.
        thread->SetErrorText(e.what());
        LinkError = 1;
    } catch (...) {
        thread->SetErrorText("Unknown error on the USB link.");
        LinkError = 1;
    }
}
