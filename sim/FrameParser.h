#pragma once
// Splits the byte stream from the program into frames: 55 55 55, a length
// byte, the payload and a check byte (sum of the payload modulo 256). A
// length byte of 0 announces the 4096-byte block data of a firmware update.
//
// Robust against what a serial line delivers: bytes before the sync are
// skipped, extra 55 bytes before the length are taken as sync (so a payload
// length of 0x55 cannot occur), a frame may arrive in any number of pieces,
// and a frame whose bytes stop for more than half a second is dropped, so
// that a write cut short cannot swallow the frames that follow it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct WireFrame {
    std::uint8_t lengthByte = 0;
    std::vector<std::uint8_t> payload;
    bool checkOk = false;
};

class FrameParser {
public:
    static constexpr std::size_t kBlockDataSize = 4096;
    static constexpr std::int64_t kInterByteTimeoutMs = 500;

    // Feeds bytes that arrived at nowMs; complete frames are appended to `frames`.
    void Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs, std::vector<WireFrame>& frames);
    void Reset();
    bool InFrame() const { return stage_ != Stage::Sync || syncCount_ > 0; }

private:
    enum class Stage { Sync, Payload, Check };

    Stage stage_ = Stage::Sync;
    int syncCount_ = 0;
    std::size_t expected_ = 0;
    WireFrame frame_;
    std::int64_t lastByteMs_ = 0;
};

} // namespace sim
