#pragma once
// Who may key the amplifier: one operator at a time. The first key, power-on
// or take from anyone while nobody holds the token gives it to them; anyone
// else is refused while it is held. It frees itself on release, on the
// holder's last will (which says release) and after a quiet time without a
// key from the holder. Times come from the caller's clock.

#include <cstdint>
#include <string>

namespace share {

class ControlToken {
public:
    static constexpr std::int64_t kQuietMs = 120000;

    // A request from `user` at `nowMs`: true when they hold the token
    // (taking it if it was free); false when someone else holds it.
    bool Request(const std::string& user, std::int64_t nowMs);
    // True when `user` held the token and gave it back.
    bool Release(const std::string& user);
    // True when the holder's quiet time ran out at `nowMs` and freed it.
    bool Expire(std::int64_t nowMs);

    const std::string& Holder() const { return holder_; }

private:
    std::string holder_;
    std::int64_t lastMs_ = 0;
};

} // namespace share
