#include "link/FtStatus.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The user-visible texts, indexed by FT status.
const char* const kTexts[22] = {
    "FT_OK",
    "CAN'T OPEN USB LINK...",
    "USB DEVICE NOT FOUND...",
    "FT_DEVICE_NOT_OPENED",
    "FATAL ERROR ON USB LINK...",
    "FT_INSUFFICIENT_RESOURCES",
    "FT_INVALID_PARAMETER",
    "FT_INVALID_BAUD_RATE",
    "FT_DEVICE_NOT_OPENED_FOR_ERASE",
    "FT_DEVICE_NOT_OPENED_FOR_WRITE",
    "FT_FAILED_TO_WRITE_DEVICE",
    "FT_EEPROM_READ_FAILED",
    "FT_EEPROM_WRITE_FAILED",
    "FT_EEPROM_ERASE_FAILED",
    "FT_EEPROM_NOT_PRESENT",
    "FT_EEPROM_NOT_PROGRAMMED",
    "FT_INVALID_ARGS",
    "FT_NOT_SUPPORTED",
    "FT_OTHER_ERROR",
    "FT_DEVICE_LIST_NOT_READY",
    "FT_UNKNOWN_ERROR",
    "PROCESS ABORTED...",
};

// The message CheckFTStatus raises, or "" when it returns normally.
std::string Raised(FT_STATUS status, int location)
{
    try {
        CheckFTStatus(status, location);
    } catch (const Exception& e) { // FT_Exception is one of the program's exceptions
        EXPECT_NE(dynamic_cast<const FT_Exception*>(&e), nullptr);
        return e.Message();
    }
    return {};
}

} // namespace

TEST(FtStatus, TextOfEveryStatusInTheTable)
{
    for (FT_STATUS status = 0; status < 22; ++status)
        EXPECT_STREQ(FtStatusText(status), kTexts[status]) << "status " << status;
}

TEST(FtStatus, FailedStatusRaisesTextTwoBlanksAndLocation)
{
    for (FT_STATUS status = 1; status < 22; ++status)
        EXPECT_EQ(Raised(status, 1031), std::string(kTexts[status]) + "  #[1031]") << "status " << status;
    EXPECT_EQ(Raised(FT_DEVICE_NOT_FOUND, 1022), "USB DEVICE NOT FOUND...  #[1022]");
    EXPECT_EQ(Raised(FT_IO_ERROR, 1271), "FATAL ERROR ON USB LINK...  #[1271]");
}

TEST(FtStatus, UnknownAndAbortStatusesAtTheOpen)
{
    EXPECT_EQ(Raised(20, 1022), "FT_UNKNOWN_ERROR  #[1022]");
    EXPECT_EQ(Raised(21, 1022), "PROCESS ABORTED...  #[1022]");
    EXPECT_EQ(Raised(22, 1022), "PROCESS ABORTED...  #[1022]");
    EXPECT_EQ(Raised(255, 1022), "PROCESS ABORTED...  #[1022]");
    EXPECT_EQ(Raised(kAbortCode, 1022), "PROCESS ABORTED...  #[1022]");
    EXPECT_EQ(Raised(0x7FFFFFFF, 1022), "PROCESS ABORTED...  #[1022]");
}

TEST(FtStatus, ZeroAndNegativeStatusesPass)
{
    for (FT_STATUS status : {0u, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFC18u /* -1000 */})
        EXPECT_NO_THROW(CheckFTStatus(status, 1024)) << "status " << status;
}
