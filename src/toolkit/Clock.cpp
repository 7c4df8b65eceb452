#include "toolkit/Clock.h"

#include <chrono>
#include <thread>

std::int64_t SystemClock::NowMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

double SystemClock::PreciseNowMs() const
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMs(std::int64_t ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void InstantClock::SleepMs(std::int64_t ms)
{
    if (ms > 0)
        now_ += ms;
    std::this_thread::sleep_for(std::chrono::microseconds(ms > 0 ? 200 : 0));
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_appClock{nullptr};
} // namespace

Clock& AppClock()
{
    Clock* clock = g_appClock.load();
    return clock ? *clock : g_systemClock;
}

void SetAppClock(Clock* clock)
{
    g_appClock.store(clock);
}
