#include "share/Backoff.h"

#include <algorithm>

namespace share {

Backoff::Backoff(int firstMs, int capMs, int holdMs)
    : firstMs_(firstMs), capMs_(std::max(firstMs, capMs)), holdMs_(holdMs), nextMs_(firstMs),
      random_(std::random_device{}())
{
}

int Backoff::Next(std::int64_t heldMs)
{
    if (heldMs >= holdMs_)
        nextMs_ = firstMs_;
    const int base = nextMs_;
    nextMs_ = std::min(nextMs_ * 2, capMs_);
    std::uniform_real_distribution<double> spread(0.75, 1.25);
    return std::max(1, static_cast<int>(base * spread(random_)));
}

} // namespace share
