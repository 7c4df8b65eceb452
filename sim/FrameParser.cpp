#include "sim/FrameParser.h"

#include <algorithm>

namespace sim {

namespace {
constexpr std::uint8_t kSync = 0x55;
}

void FrameParser::Reset()
{
    stage_ = Stage::Sync;
    syncCount_ = 0;
    expected_ = 0;
    frame_ = WireFrame{};
}

void FrameParser::Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t nowMs, std::vector<WireFrame>& frames)
{
    if (count == 0)
        return;
    if (InFrame() && nowMs - lastByteMs_ > kInterByteTimeoutMs)
        Reset();
    lastByteMs_ = nowMs;

    std::size_t i = 0;
    while (i < count) {
        switch (stage_) {
        case Stage::Sync: {
            const std::uint8_t byte = bytes[i++];
            if (byte == kSync) {
                ++syncCount_;
            } else if (syncCount_ >= 3) {
                frame_ = WireFrame{};
                frame_.lengthByte = byte;
                expected_ = byte == 0 ? kBlockDataSize : byte;
                frame_.payload.reserve(expected_);
                stage_ = Stage::Payload;
                syncCount_ = 0;
            } else {
                syncCount_ = 0;
            }
            break;
        }
        case Stage::Payload: {
            const std::size_t take = std::min(count - i, expected_ - frame_.payload.size());
            frame_.payload.insert(frame_.payload.end(), bytes + i, bytes + i + take);
            i += take;
            if (frame_.payload.size() == expected_)
                stage_ = Stage::Check;
            break;
        }
        case Stage::Check: {
            std::uint8_t sum = 0;
            for (std::uint8_t b : frame_.payload)
                sum = static_cast<std::uint8_t>(sum + b);
            frame_.checkOk = sum == bytes[i++];
            frames.push_back(std::move(frame_));
            Reset();
            break;
        }
        }
    }
}

} // namespace sim
