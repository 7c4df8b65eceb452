#include "link/PowerOnPulse.h"

#include "link/FtdiDriver.h"
#include "toolkit/Clock.h"

#include <QtGlobal>

#include <exception>

namespace {
constexpr int kPulseSliceMs = 20;
} // namespace

std::uint64_t PowerOnPulse::Generation()
{
    std::lock_guard lock(mutex_);
    return generation_;
}

void PowerOnPulse::CutShort()
{
    std::lock_guard lock(mutex_);
    ++generation_;
}

bool PowerOnPulse::Run(FtdiDriver& driver, const std::atomic<FT_HANDLE>& handle, std::uint64_t generation)
{
    // One modem-line call, made only while the link the pulse began on is
    // still open; false once it has been closed (the call is not made).
    auto line = [&](FT_STATUS (FtdiDriver::*op)(FT_HANDLE)) {
        std::lock_guard lock(mutex_);
        if (generation != generation_)
            return false;
        (driver.*op)(handle); // status not looked at
        return true;
    };
    auto cut = [&] {
        std::lock_guard lock(mutex_);
        return generation != generation_;
    };
    try {
        if (!line(&FtdiDriver::FT_ClrDtr) || !line(&FtdiDriver::FT_SetRts))
            return false;
        // The second of the pulse in slices, so that closing the link ends it early.
        for (int slept = 0; slept < kPulseMs; slept += kPulseSliceMs) {
            if (cut())
                return false;
            AppClock().SleepMs(kPulseSliceMs);
        }
        if (!line(&FtdiDriver::FT_SetDtr) || !line(&FtdiDriver::FT_ClrRts))
            return false;
    } catch (const std::exception& e) {
        qWarning("power-on pulse: %s", e.what());
        if (cut())
            return false;
    }
    return true;
}
