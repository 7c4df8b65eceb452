#include "share/Topics.h"

#include "protocol/Frames.h"
#include "protocol/KeyCodes.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace share {

Topics::Topics(const std::string& station)
    : prefix(StationPrefix(station)), state(prefix + "state"), frame(prefix + "frame"), text(prefix + "text"),
      lamps(prefix + "lamps"), png(prefix + "png"), control(prefix + "control"), keys(prefix + "key/+")
{
}

std::string Topics::Key(const std::string& user) const
{
    return prefix + "key/" + user;
}

std::string Topics::Notice(const std::string& user) const
{
    return prefix + "notice/" + user;
}

std::string Topics::KeyUser(const std::string& topic) const
{
    const std::string head = prefix + "key/";
    if (topic.size() <= head.size() || topic.compare(0, head.size(), head) != 0)
        return {};
    const std::string user = topic.substr(head.size());
    return user.find('/') == std::string::npos ? user : std::string();
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string StateJson(StationState state, const std::string& detail, const Beat* beat)
{
    std::string beatFields;
    if (beat)
        beatFields = ",\"beat\":" + std::to_string(beat->number) + ",\"period_ms\":" + std::to_string(kBeatPeriodMs) +
                     ",\"poll_ms\":" + std::to_string(beat->pollMs) + ",\"started\":" + std::to_string(beat->started) +
                     ",\"sid\":" + JsonString(beat->sid);
    const char* reason = nullptr;
    const char* fallback = "";
    switch (state) {
    case StationState::Online:
        return R"({"v":1,"state":"online")" + beatFields + "}";
    case StationState::Gone:
        return R"({"v":1,"state":"gone","reason":"gone","detail":"station gone"})";
    case StationState::Silent:
        reason = "silent";
        fallback = "the amplifier does not answer";
        break;
    case StationState::LinkLost:
        reason = "link-lost";
        fallback = "the link to the amplifier is lost";
        break;
    case StationState::Updating:
        reason = "updating";
        fallback = "a firmware update runs over the station's direct link";
        break;
    case StationState::Stopped:
        reason = "stopped";
        fallback = "the station was stopped";
        break;
    }
    return std::string(R"({"v":1,"state":"offline","reason":")") + reason +
           "\",\"detail\":" + JsonString(detail.empty() ? fallback : detail) + beatFields + "}";
}

std::string LampsJson(std::uint8_t lampByte)
{
    // A 1 bit of the complement lights a lamp; TX needs both of its bits,
    // as on the keypads.
    const std::uint8_t lit = static_cast<std::uint8_t>(~lampByte);
    auto b = [](bool on) { return on ? "true" : "false"; };
    return std::string(R"({"v":1,"AL":)") + b(lit & 0x80) + R"(,"TUNE":)" + b(lit & 0x40) + R"(,"SET":)" +
           b(lit & 0x20) + R"(,"OP":)" + b(lit & 0x10) + R"(,"TX":)" + b((lit & 0x18) == 0x18) + R"(,"ON":)" +
           b(lit & 0x01) + "}";
}

std::string ControlJson(const std::string& holder)
{
    return std::string(R"({"v":1,"holder":)") + (holder.empty() ? "null" : JsonString(holder)) + "}";
}

std::string NoticeJson(const std::string& text)
{
    return R"({"v":1,"text":)" + JsonString(text) + "}";
}

std::vector<std::uint8_t> EncodeDisplayFrame(std::uint8_t lampByte, const std::uint8_t* payload, int length)
{
    const auto total = static_cast<std::uint16_t>(length + 2);
    const auto complement = static_cast<std::uint16_t>(total ^ 0xFFFF);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(length) + 11);
    frame[0] = frame[1] = frame[2] = protocol::kHeaderByte;
    frame[3] = static_cast<std::uint8_t>(total & 0xFF);
    frame[4] = static_cast<std::uint8_t>(total >> 8);
    frame[5] = static_cast<std::uint8_t>(complement & 0xFF);
    frame[6] = static_cast<std::uint8_t>(complement >> 8);
    frame[7] = protocol::kDisplayType;
    frame[8] = lampByte;
    std::copy(payload, payload + length, frame.begin() + 9);
    const std::uint16_t sum = protocol::Sum16(payload, static_cast<std::size_t>(length),
                                              static_cast<std::uint16_t>(protocol::kDisplayType + lampByte));
    frame[frame.size() - 2] = static_cast<std::uint8_t>(sum & 0xFF);
    frame[frame.size() - 1] = static_cast<std::uint8_t>(sum >> 8);
    return frame;
}

KeyRequest ParseKeyRequest(const std::string& payload)
{
    KeyRequest request;
    if (payload == "on")
        request.kind = KeyRequest::PowerOn;
    else if (payload == "take")
        request.kind = KeyRequest::Take;
    else if (payload == "release")
        request.kind = KeyRequest::Release;
    else if (!payload.empty() && payload.size() <= 3 && payload.find_first_not_of("0123456789") == std::string::npos) {
        const int code = std::stoi(payload);
        if (code >= 1 && code <= 0xFF && keycode::IsFrontPanelKey(static_cast<std::uint8_t>(code))) {
            request.kind = KeyRequest::Key;
            request.code = static_cast<std::uint8_t>(code);
        } else if ((code >= protocol::kUpdateAnnounceCode && code <= protocol::kUpdateCompleteCode) ||
                   code == protocol::kTransferEndCode) {
            request.kind = KeyRequest::Update;
        }
    }
    return request;
}

std::string RandomToken()
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random()));
    return text;
}

} // namespace share
