#include "server/ClientInput.h"

#include <algorithm>

namespace server {

void ClientInput::PushBytes(const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0)
        return;
    // Runs of bytes join the step before them when that is bytes too, so a
    // client writing one byte at a time does not cost a step per byte; not
    // the step being taken, whose taken part would then never be freed.
    if (!steps_.empty() && steps_.back().kind == ClientStep::Kind::Bytes && (steps_.size() > 1 || frontTaken_ == 0))
        steps_.back().bytes.insert(steps_.back().bytes.end(), bytes, bytes + count);
    else
        steps_.push_back({ClientStep::Kind::Bytes, {bytes, bytes + count}, 0, 0});
    held_ += count;
}

void ClientInput::PushRequest(ClientStep::Kind kind, int request, unsigned value)
{
    steps_.push_back({kind, {}, request, value});
    held_ += kRequestCost;
}

bool ClientInput::Take(std::size_t maxBytes, ClientStep& step)
{
    if (steps_.empty())
        return false;
    ClientStep& front = steps_.front();
    if (front.kind != ClientStep::Kind::Bytes) {
        step = std::move(front);
        steps_.pop_front();
        held_ -= kRequestCost;
        return true;
    }
    const std::size_t count = std::min(maxBytes, front.bytes.size() - frontTaken_);
    const auto begin = front.bytes.begin() + static_cast<std::ptrdiff_t>(frontTaken_);
    step.kind = ClientStep::Kind::Bytes;
    step.bytes.assign(begin, begin + static_cast<std::ptrdiff_t>(count));
    frontTaken_ += count;
    held_ -= count;
    if (frontTaken_ == front.bytes.size()) {
        steps_.pop_front();
        frontTaken_ = 0;
    }
    return true;
}

void ClientInput::Clear()
{
    steps_.clear();
    frontTaken_ = 0;
    held_ = 0;
}

} // namespace server
