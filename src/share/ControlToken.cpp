#include "share/ControlToken.h"

namespace share {

bool ControlToken::Request(const std::string& user, std::int64_t nowMs)
{
    Expire(nowMs);
    if (!holder_.empty() && holder_ != user)
        return false;
    holder_ = user;
    lastMs_ = nowMs;
    return true;
}

bool ControlToken::Release(const std::string& user)
{
    if (holder_.empty() || holder_ != user)
        return false;
    holder_.clear();
    return true;
}

bool ControlToken::Expire(std::int64_t nowMs)
{
    if (holder_.empty() || nowMs - lastMs_ < kQuietMs)
        return false;
    holder_.clear();
    return true;
}

} // namespace share
