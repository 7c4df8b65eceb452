#pragma once
// The station's topics on the broker (version 1) and the small JSON payloads
// that go with them. Station and viewers both build their topic names here.

#include "share/BrokerConfig.h"

#include <cstddef>
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

// The station's heartbeat: it publishes its state every kBeatPeriodMs, and
// every state it publishes carries the beat, so that a viewer knows it hears
// a live station and a key can say which beat it was pressed after.
constexpr int kBeatPeriodMs = 2000;
// A viewer that has heard no beat for this many periods takes the station
// for not heard.
constexpr int kMissedBeats = 3;
struct Beat {
    std::uint64_t number = 0; // 1 for the station's first state, one more for each
    int pollMs = 0;           // the station's poll interval
    std::int64_t started = 0; // the station's start, ms since the Unix epoch
    std::string sid;          // the station's random token, chosen at its start
};

// {"v":1,"state":"online"} and the off-line forms with reason and detail,
// with the beat's fields when one is given (the last will has none).
std::string StateJson(StationState state, const std::string& detail = {}, const Beat* beat = nullptr);
// The six lamps as the keypads light them (a 0 bit in the lamp byte is lit).
std::string LampsJson(std::uint8_t lampByte);
std::string ControlJson(const std::string& holder); // empty: nobody
std::string NoticeJson(const std::string& text);
// A JSON string literal of `text`, quotes included.
std::string JsonString(const std::string& text);

// The display frame as the amplifier sent it: header, length, complement,
// type, lamp byte, the payload, the 16-bit sum.
std::vector<std::uint8_t> EncodeDisplayFrame(std::uint8_t lampByte, const std::uint8_t* payload, int length);

// What an operator's key message asks for: a front-panel key (a code that
// one of the window's keys sends), power-on, the control token or its
// release. The firmware update's codes are told apart, to be refused with the
// reason.
struct KeyRequest {
    enum Kind { Key, PowerOn, Take, Release, Update, Invalid } kind = Invalid;
    std::uint8_t code = 0; // for Key
};
KeyRequest ParseKeyRequest(const std::string& payload);
// No key message is longer ("release"); longer ones are dropped unread.
constexpr std::size_t kMaxKeyPayload = 8;

// The MQTT 5 user properties of a key message, all optional: the viewer's
// session token (new for every broker connection), the key's number in that
// session, the beat it was pressed after and how long after (ms).
inline constexpr const char* kSessionProperty = "sid";
inline constexpr const char* kSequenceProperty = "seq";
inline constexpr const char* kBeatProperty = "beat";
inline constexpr const char* kAgeProperty = "age";
// A key message expires at the broker after this long (MQTT 5 message
// expiry), and the station refuses one pressed longer ago than kLateKeyMs.
constexpr int kKeyExpirySeconds = 2;
constexpr int kLateKeyMs = 2000;
inline constexpr const char* kLateKeyText = "key arrived too late and was not carried out";

// The key topic user that viewers try once after connecting: a broker that
// takes a key under that name from them has no ACL for the key topics.
inline constexpr const char* kAclProbeUser = "vorlinq-acl-probe";
inline constexpr const char* kNoAclText = "The broker has no ACL for key topics: anyone can key as anyone.";

// 16 random characters of [0-9a-f].
std::string RandomToken();

} // namespace share
