#include "PollCycle.h"

#include "Execunit.h"

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
    } catch (const std::exception& e) {
        // FT_Exception names the failed call; anything else is treated the
        // same way, with its own message, rather than ending the program.
        thread->SetErrorText(e.what());
        LinkError = 1;
    } catch (...) {
        thread->SetErrorText("Unknown error on the USB link.");
        LinkError = 1;
    }
}
