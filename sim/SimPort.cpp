#include "sim/SimPort.h"

#include <algorithm>
#include <cmath>

namespace sim {

void SimPort::Open(FT_HANDLE newHandle, std::int64_t nowMs)
{
    open = true;
    handle = newHandle;
    readTimeoutMs = kDefaultTimeoutMs;
    writeTimeoutMs = kDefaultTimeoutMs;
    baudRate = kLinkBaud;
    wordLength = FT_BITS_8;
    stopBits = FT_STOP_BITS_1;
    parity = FT_PARITY_NONE;
    flowControl = FT_FLOW_NONE;
    latencyTimerMs = kDefaultLatencyMs;
    DropReceived();
    txFreeAtMs_ = 0;
    timerFromMs_ = static_cast<double>(nowMs);
    SetLines(false, false, nowMs);
}

void SimPort::Close(std::int64_t nowMs)
{
    open = false;
    handle = nullptr;
    DropReceived();
    SetLines(false, false, nowMs);
}

void SimPort::SetLines(bool newDtr, bool newRts, std::int64_t nowMs)
{
    dtr = newDtr;
    rts = newRts;
    amp.SetLines(dtr, rts, nowMs);
}

bool SimPort::LinkMatches() const
{
    return baudRate == kLinkBaud && wordLength == FT_BITS_8 && stopBits == FT_STOP_BITS_1 && parity == FT_PARITY_NONE;
}

double SimPort::Send(const std::uint8_t* bytes, std::size_t count, double nowMs, bool wireSpeed, int usbLatencyMs,
                     bool keepWritten)
{
    double doneMs = nowMs;
    if (wireSpeed) {
        doneMs = std::max(nowMs, txFreeAtMs_) + static_cast<double>(count) / kBytesPerMs;
        txFreeAtMs_ = doneMs;
    }
    if (keepWritten)
        written.insert(written.end(), bytes, bytes + count);
    if (!LinkMatches())
        return doneMs;

    std::vector<std::uint8_t> answer;
    amp.Consume(bytes, count, answer, static_cast<std::int64_t>(std::ceil(doneMs)));
    if (answer.empty())
        return doneMs;
    if (!wireSpeed) {
        for (std::uint8_t b : answer)
            rx_.push_back(RxByte{b, nowMs});
        return doneMs;
    }
    // The answer starts after the USB latency, behind whatever is still on its way.
    double t = std::max(doneMs + usbLatencyMs, rxFreeAtMs_);
    for (std::uint8_t b : answer) {
        t += 1.0 / kBytesPerMs;
        Arrive(b, t);
    }
    rxFreeAtMs_ = t;
    lastAnswerOutMs = t;
    lastAnswerReadyMs = rx_.back().readyAtMs;
    return doneMs;
}

void SimPort::Arrive(std::uint8_t value, double atMs)
{
    const double period = std::max<double>(1, latencyTimerMs);
    if (heldCount_ > 0 && atMs > heldUntilMs_) {
        // The timer expired before this byte came: the held packet went up then.
        timerFromMs_ = heldUntilMs_;
        heldCount_ = 0;
    }
    if (heldCount_ == 0) {
        // A new packet goes up at the timer's first expiry after its first byte.
        heldUntilMs_ = timerFromMs_ + (std::floor((atMs - timerFromMs_) / period) + 1) * period;
    }
    rx_.push_back(RxByte{value, heldUntilMs_});
    if (++heldCount_ == kPacketDataBytes) {
        // A full packet goes up at once, and the timer starts again.
        const std::size_t n = std::min(heldCount_, rx_.size());
        for (std::size_t i = rx_.size() - n; i < rx_.size(); ++i)
            rx_[i].readyAtMs = atMs;
        timerFromMs_ = atMs;
        heldCount_ = 0;
    }
}

std::size_t SimPort::ReadyCount(double nowMs) const
{
    // Ready times never decrease along the queue.
    std::size_t n = 0;
    while (n < rx_.size() && rx_[n].readyAtMs <= nowMs)
        ++n;
    return n;
}

double SimPort::ReadyAt(std::size_t count) const
{
    if (rx_.empty() || count == 0)
        return 0;
    return rx_[std::min(count, rx_.size()) - 1].readyAtMs;
}

std::size_t SimPort::Take(std::uint8_t* into, std::size_t count)
{
    const std::size_t n = std::min(count, rx_.size());
    for (std::size_t i = 0; i < n; ++i) {
        into[i] = rx_.front().value;
        rx_.pop_front();
    }
    return n;
}

void SimPort::DropReceived()
{
    rx_.clear();
    rxFreeAtMs_ = 0;
    heldCount_ = 0; // the timer runs on
}

} // namespace sim
