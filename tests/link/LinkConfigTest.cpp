#include "link/FtStatus.h"
#include "link/LinkConfig.h"
#include "link/Timeouts.h"

#include "RecordingDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> kSteps = {
    "FT_SetResetPipeRetryCount(10000)",
    "FT_ResetDevice()",
    "FT_SetBaudRate(115200)",
    "FT_SetDataCharacteristics(8, 0, 0)",
    "FT_SetFlowControl(0, 0, 0)",
    "FT_SetTimeouts(1200, 1200)",
    "FT_SetDtr()",
    "FT_ClrRts()",
};

const auto kHandle = reinterpret_cast<FT_HANDLE>(0xBEEF);

std::string OpName(const std::string& call)
{
    return call.substr(0, call.find('('));
}

} // namespace

TEST(LinkConfig, EightStepsInOrderOnTheGivenHandle)
{
    RecordingDriver driver;
    ConfigureLink(driver, kHandle);
    EXPECT_EQ(driver.calls, kSteps);
    EXPECT_EQ(driver.handles, std::vector<FT_HANDLE>(kSteps.size(), kHandle));
}

TEST(LinkConfig, FailedStepStopsTheSequenceWithItsLocation)
{
    for (std::size_t step = 0; step < kSteps.size(); ++step) {
        RecordingDriver driver;
        driver.failOp = OpName(kSteps[step]);
        driver.failStatus = FT_IO_ERROR;
        try {
            ConfigureLink(driver, kHandle);
            ADD_FAILURE() << "no exception at step " << step + 1;
        } catch (const FT_Exception& e) {
            EXPECT_EQ(e.Message(), "FATAL ERROR ON USB LINK...  #[" + std::to_string(1024 + step) + "]");
        }
        const std::vector<std::string> expected(kSteps.begin(), kSteps.begin() + static_cast<long>(step) + 1);
        EXPECT_EQ(driver.calls, expected) << "step " << step + 1;
    }
}

TEST(LinkConfig, BaudRateFailureLeavesPortSettingsAndModemLinesAlone)
{
    RecordingDriver driver;
    driver.failOp = "FT_SetBaudRate";
    driver.failStatus = FT_INVALID_BAUD_RATE;
    try {
        ConfigureLink(driver, kHandle);
        FAIL() << "no exception";
    } catch (const FT_Exception& e) {
        EXPECT_EQ(e.Message(), "FT_INVALID_BAUD_RATE  #[1026]");
    }
    EXPECT_EQ(driver.calls.size(), 3u);
    EXPECT_EQ(driver.calls.back(), "FT_SetBaudRate(115200)");
}

TEST(LinkConfig, NegativeStatusIsNotAFailure)
{
    RecordingDriver driver;
    driver.failOp = "FT_ResetDevice";
    driver.failStatus = 0x80000000u;
    EXPECT_NO_THROW(ConfigureLink(driver, kHandle));
    EXPECT_EQ(driver.calls, kSteps);
}

TEST(LinkConfig, TimeoutModes)
{
    EXPECT_EQ(kNormalTimeoutMs, 1200u);
    EXPECT_EQ(kUpdateTimeoutMs, 3000u);
}
