#pragma once
// The station's topics on the broker (version 1) and the small JSON payloads
// that go with them. Station and viewers both build their topic names here.

#include "share/BrokerConfig.h"

#include <cstdint>
#include <string>
#include <vector>

namespace share {

struct Topics {
    explicit Topics(const std::string& station);
    std::string prefix; // vorlinq/v1/NAME/
    std::string state, frame, text, lamps, png, control;
    std::string keys;                                  // vorlinq/v1/NAME/key/+ (the station subscribes)
    std::string Key(const std::string& user) const;    // vorlinq/v1/NAME/key/USER
    std::string Notice(const std::string& user) const; // vorlinq/v1/NAME/notice/USER
    // The USER of a key topic of this station; empty for any other topic.
    std::string KeyUser(const std::string& topic) const;
};

// Why a station is not on-line, as the `reason` of its state.
enum class StationState { Online, Silent, LinkLost, Updating, Stopped, Gone };

// {"v":1,"state":"online"} and the off-line forms with reason and detail.
std::string StateJson(StationState state, const std::string& detail = {});
// The six lamps as the keypads light them (a 0 bit in the lamp byte is lit).
std::string LampsJson(std::uint8_t lampByte);
std::string ControlJson(const std::string& holder); // empty: nobody
std::string NoticeJson(const std::string& text);
// A JSON string literal of `text`, quotes included.
std::string JsonString(const std::string& text);

// The display frame as the amplifier sent it: header, length, complement,
// type, lamp byte, the payload, the 16-bit sum.
std::vector<std::uint8_t> EncodeDisplayFrame(std::uint8_t lampByte, const std::uint8_t* payload, int length);

// What an operator's key message asks for: a front-panel key (codes 1 to
// 31), power-on, the control token or its release. The firmware update's
// codes are told apart, to be refused with the reason.
struct KeyRequest {
    enum Kind { Key, PowerOn, Take, Release, Update, Invalid } kind = Invalid;
    std::uint8_t code = 0; // for Key
};
KeyRequest ParseKeyRequest(const std::string& payload);

} // namespace share
