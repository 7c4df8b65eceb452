#pragma once
// The time source of the program's threads and of the simulated amplifier.
//
// Every sleep and every time-out of the poll, connect, power-on and update
// code goes through a Clock, so that tests can replace real time with an
// instant clock and never wait out a 1.2 s read time-out or an 80 ms sleep.

#include <atomic>
#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, monotonic.
    virtual std::int64_t NowMs() const = 0;
    // The same time with a fraction of a millisecond where the clock has one
    // (the simulated amplifier's wire-speed timing needs it).
    virtual double PreciseNowMs() const { return static_cast<double>(NowMs()); }
    // Blocks the calling thread for the given number of milliseconds of this clock.
    virtual void SleepMs(std::int64_t ms) = 0;
    // True when sleeps return at once (time is simulated).
    virtual bool Instant() const { return false; }
};

// Real time (steady clock).
class SystemClock final : public Clock {
public:
    std::int64_t NowMs() const override;
    double PreciseNowMs() const override;
    void SleepMs(std::int64_t ms) override;
};

// Simulated time: a sleep advances the clock by its length and returns at
// once (after yielding the processor briefly, so that a polling loop on this
// clock does not starve the other threads). Shared by all threads.
class InstantClock final : public Clock {
public:
    std::int64_t NowMs() const override { return now_.load(); }
    void SleepMs(std::int64_t ms) override;
    bool Instant() const override { return true; }
    void Advance(std::int64_t ms) { now_ += ms; }

private:
    std::atomic<std::int64_t> now_{0};
};

// The clock the program's threads use. A real clock unless a test or the
// command line installs another one; the clock installed must outlive its use.
Clock& AppClock();
void SetAppClock(Clock* clock); // nullptr restores the real clock
