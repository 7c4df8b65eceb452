#pragma once
// Status check of driver calls: a failed status becomes an FT_Exception whose
// message names the status and the fixed location number of the call.

#include "link/FtTypes.h"
#include "toolkit/Exception.h"

#include <string>

class FT_Exception : public Exception {
public:
    using Exception::Exception;
};

// The abort code that Connect passes when the user aborts the open attempts.
constexpr FT_STATUS kAbortCode = 1000;

// Text of a status: the table entry for 0..21, entry 21 for every larger value.
const char* FtStatusText(FT_STATUS status);

// "%s  #[%d]" with the status text and the location.
std::string FtStatusMessage(FT_STATUS status, int location);

// Returns when the status, read as a signed 32-bit number, is 0 or negative;
// otherwise raises FT_Exception with FtStatusMessage(status, location).
void CheckFTStatus(FT_STATUS status, int location);
