// libFuzzer target for a viewer's decoding of a shared station's messages:
// whatever a client with write rights publishes under the station's prefix.
//
//   byte 0    low 2 bits: the topic (frame, state, control, notice/alice)
//   the rest  the payload
//
// A second message, a known good frame, goes first, so that a bad frame has
// something to leave in place. A frame is taken exactly when the poll
// engine's rules accept it as one whole frame; anything else changes nothing.

#include "protocol/Frames.h"
#include "share/StationView.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A small valid frame: lamp 0xFF, two payload bytes.
std::vector<std::uint8_t> GoodFrame()
{
    std::vector<std::uint8_t> frame = {0xAA, 0xAA, 0xAA, 4, 0, 0xFB, 0xFF, 1, 0xFF, 'A', 'B'};
    const std::uint16_t sum = protocol::Sum16(frame.data() + 7, 4);
    frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(sum >> 8));
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kTopics[] = {"frame", "state", "control", "notice/alice"};
    const char* topic = kTopics[data[0] & 3];
    const std::uint8_t* payload = data + 1;
    const std::size_t length = size - 1;

    share::StationView view;
    const std::vector<std::uint8_t> good = GoodFrame();
    view.OnMessage("frame", good.data(), good.size());
    const share::StationView::Snapshot before = view.Get();
    Require(before.frameSeq == 1 && before.frame == good);

    view.OnMessage(topic, payload, length);
    const share::StationView::Snapshot after = view.Get();

    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx;
    std::uint8_t lamp = 0;
    const bool valid = (data[0] & 3) == 0 &&
                       protocol::CheckDisplayFrame(payload, length, rx.data(), lamp) == protocol::FrameOutcome::Valid;
    if (valid) {
        Require(after.frameSeq == 2);
        Require(after.frame == std::vector<std::uint8_t>(payload, payload + length));
    } else {
        Require(after.frameSeq == 1 && after.frame == good);
    }
    if ((data[0] & 3) != 1)
        Require(after.state == before.state);
    return 0;
}
