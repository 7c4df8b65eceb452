#pragma once
// The power-on pulse on the modem lines: DTR cleared and RTS set for one
// second, then DTR set and RTS cleared. Ordered against closing the link: the
// generation advances whenever the link is closed or cycled, and a pulse
// touches the lines only while its own generation is current, so closing
// the link cuts a pulse short without it touching the handle again.

#include "link/FtTypes.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class FtdiDriver;

class PowerOnPulse {
public:
    static constexpr int kPulseMs = 1000;

    // The link of this moment, to hand to Run.
    std::uint64_t Generation();
    // Before closing or cycling the link: a pulse under way stops.
    void CutShort();
    // Worker thread: the pulse on `handle`, slept through the program's
    // clock. False when it was cut short (the link was closed meanwhile);
    // true when it ended, or failed on a link that is still open (the next
    // poll transaction then finds out what is wrong with it).
    bool Run(FtdiDriver& driver, const std::atomic<FT_HANDLE>& handle, std::uint64_t generation);

private:
    std::mutex mutex_;
    std::uint64_t generation_ = 0;
};
