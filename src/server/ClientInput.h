#pragma once
// What a network client asked of the served device, in the client's order:
// bytes for the line, purges and port settings. A setting or a purge takes
// effect behind the bytes sent before it, as on a real serial port.
//
// Bounded: Full() tells the server to stop reading from the client until the
// device has taken enough; a client can then never make the server hold more
// than the bound plus one network read.
//
// Not thread-safe: the server guards it with its own mutex.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace server {

struct ClientStep {
    enum class Kind { Bytes, Purge, Setting };
    Kind kind = Kind::Bytes;
    std::vector<std::uint8_t> bytes; // Bytes
    int request = 0;                 // Purge: what to purge; Setting: which setting
    unsigned value = 0;              // Setting: the value asked (0: only ask what is in force)
};

class ClientInput {
public:
    explicit ClientInput(std::size_t limitBytes) : limit_(limitBytes) {}

    void PushBytes(const std::uint8_t* bytes, std::size_t count);
    void PushRequest(ClientStep::Kind kind, int request, unsigned value);
    // The next step; a long run of bytes comes in pieces of at most
    // `maxBytes`, so that the one taking them can look up between pieces.
    bool Take(std::size_t maxBytes, ClientStep& step);
    void Clear();

    bool Full() const { return held_ >= limit_; }
    // Low enough to read from the client again after it was full.
    bool Drained() const { return held_ <= limit_ / 2; }
    std::size_t Held() const { return held_; }

private:
    // What a request costs against the bound: a client that sends nothing
    // but requests is bounded too.
    static constexpr std::size_t kRequestCost = 16;

    std::size_t limit_;
    std::size_t held_ = 0;
    std::deque<ClientStep> steps_;
    std::size_t frontTaken_ = 0; // bytes of the front step already taken
};

} // namespace server
