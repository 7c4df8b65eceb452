#pragma once
// Real time that a test can move forward at once: sleeps take real time (so
// the poll engine runs as ever), while everything that measures time on
// AppClock() (a station's beats, a viewer's missed beats, the control
// token's quiet time) sees the jump. Installed for its lifetime.

#include "toolkit/Clock.h"

#include <atomic>

class ShiftedClock final : public Clock {
public:
    ShiftedClock() { SetAppClock(this); }
    ~ShiftedClock() override { SetAppClock(nullptr); }
    ShiftedClock(const ShiftedClock&) = delete;
    ShiftedClock& operator=(const ShiftedClock&) = delete;

    std::int64_t NowMs() const override { return real_.NowMs() + shift_; }
    double PreciseNowMs() const override { return real_.PreciseNowMs() + static_cast<double>(shift_); }
    void SleepMs(std::int64_t ms) override { real_.SleepMs(ms); }
    void Advance(std::int64_t ms) { shift_ += ms; }

private:
    SystemClock real_;
    std::atomic<std::int64_t> shift_{0};
};
