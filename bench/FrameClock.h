#pragma once

#include "LampPanel.h"
#include "Mainform.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace bench {

// Counts the frames the display window draws: the frame handler sets the
// lamps while the frame-ready flag is up.
class FrameClock final : public LampPanel {
public:
    explicit FrameClock(const TForm1& form) : form_(form) {}
    void SetLamps(std::uint8_t) override
    {
        if (form_.FrameReady)
            times.push_back(std::chrono::steady_clock::now());
    }
    std::vector<std::chrono::steady_clock::time_point> times;

private:
    const TForm1& form_;
};

} // namespace bench
