#pragma once
// How long a client waits before its next attempt to reach a broker: the
// wait doubles from a first one up to a cap, each wait spread by a random
// +-25 % so that many clients that lost the same broker do not come back in
// step, and it starts again from the first only once a connection has held
// for a while: a broker that accepts and drops at once is not asked again
// every first wait for ever.

#include <cstdint>
#include <random>

namespace share {

class Backoff {
public:
    Backoff(int firstMs, int capMs, int holdMs);

    // The wait before the next attempt. `heldMs` is how long the connection
    // that just ended lasted (0 when none came about).
    int Next(std::int64_t heldMs);

private:
    int firstMs_;
    int capMs_;
    int holdMs_;
    int nextMs_;
    std::minstd_rand random_;
};

} // namespace share
