// Loads the D2XX library by its standard name, the way the program does,
// and polls one display frame from the first device. Run by test_d2xx with
// a library path that leads to the test library. Prints what it found;
// exits 0 only when a valid frame came back.

#include "link/D2xxDriver.h"
#include "link/FtStatus.h"
#include "link/LinkConfig.h"
#include "protocol/Frames.h"

#include <cstdio>

int main()
{
    D2xxDriver driver;
    if (!driver.LoadError().empty()) {
        std::printf("load error: %s\n", driver.LoadError().c_str());
        return 1;
    }
    std::printf("available: %s\n", D2xxDriver::Available() ? "yes" : "no");
    try {
        FT_HANDLE handle = nullptr;
        CheckFTStatus(driver.FT_Open(0, &handle), 1022);
        ConfigureLink(driver, handle);
        std::uint8_t rx[protocol::kReceiveBufferSize] = {};
        std::uint8_t lamp = 0;
        int length = 0;
        const bool valid = protocol::PollOnce(driver, handle, rx, lamp, &length) == protocol::FrameOutcome::Valid;
        driver.FT_Close(handle);
        std::printf("frame: %s, %d payload bytes\n", valid ? "valid" : "not valid", length);
        return valid ? 0 : 1;
    } catch (const FT_Exception& e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
}
