#include "link/FtStatus.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// Entries 1, 2 and 4 are the program's own wording, 3 and 5 to 19 the
// library's status names, 20 an extra name and 21 the abort text, which also
// stands for every larger status.
constexpr std::array<const char*, 22> kStatusTexts = {
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

} // namespace

const char* FtStatusText(FT_STATUS status)
{
    return kStatusTexts[status < kStatusTexts.size() ? status : kStatusTexts.size() - 1];
}

std::string FtStatusMessage(FT_STATUS status, int location)
{
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s  #[%d]", FtStatusText(status), location);
    return buffer;
}

void CheckFTStatus(FT_STATUS status, int location)
{
    if (static_cast<std::int32_t>(status) <= 0)
        return;
    throw FT_Exception(FtStatusMessage(status, location));
}
