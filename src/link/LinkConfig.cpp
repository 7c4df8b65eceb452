#include "link/LinkConfig.h"

#include "link/FtStatus.h"
#include "link/FtdiDriver.h"
#include "link/Timeouts.h"

namespace {

constexpr DWORD kResetPipeRetries = 10000;
constexpr ULONG kBaudRate = 115200;

} // namespace

void ConfigureLink(FtdiDriver& driver, FT_HANDLE handle)
{
    CheckFTStatus(driver.FT_SetResetPipeRetryCount(handle, kResetPipeRetries), 1024);
    CheckFTStatus(driver.FT_ResetDevice(handle), 1025);
    CheckFTStatus(driver.FT_SetBaudRate(handle, kBaudRate), 1026);
    CheckFTStatus(driver.FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), 1027);
    CheckFTStatus(driver.FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0), 1028);
    CheckFTStatus(driver.FT_SetTimeouts(handle, kNormalTimeoutMs, kNormalTimeoutMs), 1029);
    CheckFTStatus(driver.FT_SetDtr(handle), 1030);
    CheckFTStatus(driver.FT_ClrRts(handle), 1031);
    (void)driver.FT_SetLatencyTimer(handle, kLowLatencyTimerMs);
}
