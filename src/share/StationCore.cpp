#include "share/StationCore.h"

#include "Execunit.h"
#include "Mainform.h"
#include "display/CharText.h"
#include "display/FrameDrawing.h"
#include "protocol/Frames.h"
#include "toolkit/Clock.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include <charconv>
#include <chrono>

namespace share {

namespace {
constexpr int kQos = 1;
constexpr int kQuietCheckMs = 1000;
// How many viewers' last key numbers are kept; beyond it the oldest go.
constexpr std::size_t kMaxSeen = 256;

MqttClient::Options ClientOptions(const StationCore::Options& options, const Topics& topics)
{
    MqttClient::Options o;
    o.login = options.login;
    o.keepAliveSeconds = options.keepAliveSeconds;
    o.will = MqttWill{topics.state, StateJson(StationState::Gone), kQos, true};
    o.maxPacketBytes = StationCore::kMaxPacketBytes;
    // A key message longer than any key is dropped before it is copied.
    const std::string keyHead = topics.prefix + "key/";
    o.accept = [keyHead](const std::string& topic, std::size_t bytes) {
        return bytes <= kMaxKeyPayload || topic.compare(0, keyHead.size(), keyHead) != 0;
    };
    return o;
}

bool ToNumber(const std::string& text, std::uint64_t& value)
{
    const char* end = text.data() + text.size();
    return !text.empty() && std::from_chars(text.data(), end, value).ptr == end;
}
} // namespace

std::string EncodePng(const display::Raster& raster)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    raster.ToImage().save(&buffer, "PNG");
    return bytes.toStdString();
}

StationCore::StationCore(Options options, Link link, QObject* parent)
    : QObject(parent), options_(std::move(options)), link_(std::move(link)), topics_(options_.name),
      client_(ClientOptions(options_, topics_))
{
    // The window's on-line colours, so that the picture is its still image.
    raster_.SetColours(TForm1::kOnlineBackground, TForm1::kForeground);
    raster_.Clear();
    // The network thread hands everything to the main thread; queued calls
    // to this object die with it.
    client_.OnConnect([this] {
        QMetaObject::invokeMethod(
            this, [this] { PublishAll(); }, Qt::QueuedConnection);
    });
    client_.OnDisconnect([this](const std::string& reason) {
        QMetaObject::invokeMethod(
            this, [reason] { qWarning("broker: %s", reason.c_str()); }, Qt::QueuedConnection);
    });
    client_.OnMessage([this](const MqttMessage& message) {
        // Retained messages are what was there before we came: neither a key
        // pressed now nor another writer now.
        if (message.retained)
            return;
        if (message.topic == topics_.state || message.topic == topics_.control) {
            QMetaObject::invokeMethod(
                this, [this, topic = message.topic, payload = message.payload] { OnOwnTopic(topic, payload); },
                Qt::QueuedConnection);
            return;
        }
        const std::string user = topics_.KeyUser(message.topic);
        if (user.empty())
            return;
        const KeyStamp stamp{message.Property(kSessionProperty), message.Property(kSequenceProperty),
                             message.Property(kBeatProperty), message.Property(kAgeProperty)};
        QMetaObject::invokeMethod(
            this, [this, user, payload = message.payload, stamp] { OnKeyMessage(user, payload, stamp); },
            Qt::QueuedConnection);
    });
    client_.Subscribe(topics_.keys, kQos);
    // Our own topics, without what we publish ourselves: anything there is
    // another writer.
    client_.Subscribe(topics_.state, kQos, true);
    client_.Subscribe(topics_.control, kQos, true);
    connect(&quietTimer_, &QTimer::timeout, this, [this] { CheckQuiet(); });
    beat_.pollMs = options_.pollMs > 0 ? options_.pollMs : TExecThread::kPollSleepMs;
    beat_.started =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    beat_.sid = RandomToken();
    connect(&beatTimer_, &QTimer::timeout, this, [this] { PublishState(); });
}

StationCore::~StationCore()
{
    if (haltReason_.empty() && client_.Connected()) {
        state_ = StationState::Stopped;
        detail_.clear();
        PublishState();
    }
    client_.Stop();
}

bool StationCore::Start(std::string& error)
{
    if (!client_.Start(error))
        return false;
    quietTimer_.start(kQuietCheckMs);
    beatTimer_.start(kBeatPeriodMs);
    return true;
}

void StationCore::Publish(const std::string& topic, const std::string& payload)
{
    if (!haltReason_.empty())
        return;
    // Not connected: the whole picture is published again on connecting.
    client_.Publish(topic, payload, kQos, true);
}

void StationCore::PublishState()
{
    if (!haltReason_.empty())
        return;
    ++beat_.number;
    beatTimes_[beat_.number % beatTimes_.size()] = {beat_.number, AppClock().NowMs()};
    Publish(topics_.state, StateJson(state_, detail_, &beat_));
}

void StationCore::PublishControl()
{
    Publish(topics_.control, ControlJson(token_.Holder()));
}

void StationCore::PublishAll()
{
    PublishState();
    PublishControl();
    if (!frame_.empty()) {
        Publish(topics_.frame, std::string(frame_.begin(), frame_.end()));
        Publish(topics_.text, text_);
        Publish(topics_.lamps, lamps_);
        Publish(topics_.png, png_);
    }
    if (options_.haDiscovery)
        PublishDiscovery();
}

void StationCore::SetState(StationState state, const std::string& detail)
{
    if (state == state_ && detail == detail_)
        return;
    state_ = state;
    detail_ = detail;
    PublishState();
}

void StationCore::Frame(std::uint8_t lampByte, const std::uint8_t* payload, int length)
{
    SetState(StationState::Online);
    std::vector<std::uint8_t> frame = EncodeDisplayFrame(lampByte, payload, length);
    if (frame == frame_)
        return;
    const bool picture =
        frame_.size() != frame.size() || !std::equal(frame.begin() + 9, frame.end() - 2, frame_.begin() + 9);
    frame_ = std::move(frame);
    Publish(topics_.frame, std::string(frame_.begin(), frame_.end()));
    if (picture) {
        // A short frame draws what it has: the same as the window does.
        display::DrawDisplayFrame(raster_, payload);
        std::string text = display::RasterText(raster_).toStdString();
        if (text != text_) {
            text_ = std::move(text);
            Publish(topics_.text, text_);
        }
        png_ = EncodePng(raster_);
        Publish(topics_.png, png_);
    }
    std::string lamps = LampsJson(lampByte);
    if (lamps != lamps_) {
        lamps_ = std::move(lamps);
        Publish(topics_.lamps, lamps_);
    }
}

void StationCore::Notice(const std::string& user, const std::string& text)
{
    client_.Publish(topics_.Notice(user), NoticeJson(text), kQos, false);
}

bool StationCore::Resent(const std::string& user, const KeyStamp& stamp)
{
    std::uint64_t seq = 0;
    if (stamp.sid.empty() || !ToNumber(stamp.seq, seq))
        return false;
    auto it = seen_.find(user);
    if (it == seen_.end()) {
        if (seen_.size() >= kMaxSeen)
            seen_.erase(seen_.begin());
        it = seen_.emplace(user, Seen{}).first;
    }
    Seen& seen = it->second;
    if (seen.sid == stamp.sid && seq <= seen.seq)
        return true;
    if (seen.sid != stamp.sid)
        seen = Seen{stamp.sid, seq};
    else
        seen.seq = seq;
    return false;
}

bool StationCore::Late(const KeyStamp& stamp) const
{
    std::uint64_t beat = 0, age = 0;
    if (stamp.beat.empty() && stamp.age.empty())
        return false;
    if (!ToNumber(stamp.beat, beat) || !ToNumber(stamp.age, age))
        return true;
    const auto& [number, sentMs] = beatTimes_[beat % beatTimes_.size()];
    if (number != beat || beat == 0)
        return true; // too old for us to know, or not one of ours
    const std::int64_t pressedMs = sentMs + static_cast<std::int64_t>(std::min<std::uint64_t>(age, 1u << 30));
    return AppClock().NowMs() - pressedMs > kLateKeyMs;
}

void StationCore::OnKeyMessage(const std::string& user, const std::string& payload, const KeyStamp& stamp)
{
    if (!haltReason_.empty())
        return;
    if (Resent(user, stamp)) {
        qInfo("station: a key from %s came again (session %s, number %s); it was carried out once", user.c_str(),
              stamp.sid.c_str(), stamp.seq.c_str());
        return;
    }
    if (Late(stamp)) {
        Notice(user, kLateKeyText);
        return;
    }
    const KeyRequest request = ParseKeyRequest(payload);
    const std::string holderBefore = token_.Holder();
    switch (request.kind) {
    case KeyRequest::Release:
        if (token_.Release(user))
            PublishControl();
        return;
    case KeyRequest::Update:
        Notice(user, "The firmware update needs a direct link to the amplifier (USB, serial or remote station); "
                     "it cannot be sent through the broker.");
        return;
    case KeyRequest::Invalid:
        Notice(user, "The station does not know the request \"" + payload.substr(0, 16) + "\".");
        return;
    case KeyRequest::Key:
    case KeyRequest::PowerOn:
    case KeyRequest::Take:
        break;
    }
    if (!token_.Request(user, AppClock().NowMs())) {
        Notice(user, token_.Holder() + " has control of the amplifier; your request was not carried out.");
        return;
    }
    if (token_.Holder() != holderBefore)
        PublishControl();
    if (request.kind == KeyRequest::Take)
        return;
    if (link_.linkUp && !link_.linkUp()) {
        Notice(user, "The station has no link to the amplifier now; nothing was sent.");
        return;
    }
    if (request.kind == KeyRequest::PowerOn) {
        if (link_.powerOn)
            link_.powerOn();
    } else if (link_.sendKey) {
        link_.sendKey(request.code);
    }
}

void StationCore::OnOwnTopic(const std::string& topic, const std::string& payload)
{
    if (!haltReason_.empty())
        return;
    const std::string noAcl = "The broker lets another client write this station's topics (" + topic +
                              "): it has no ACL for them. The station " + options_.name + " stops.";
    if (topic != topics_.state) {
        // A newcomer of our name publishes its control right after its
        // state; it stops on our answer, and the topic is ours again.
        if (AppClock().NowMs() < rivalUntilMs_) {
            PublishControl();
            return;
        }
        Halt(noAcl);
        return;
    }
    const QJsonObject object =
        QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size()))).object();
    const QString state = object.value("state").toString();
    const bool station = object.value("started").isDouble() && object.value("sid").isString();
    if (!station) {
        // A station's last will, published by the broker (a station of this
        // name that vanished before we came); anything else is a stranger.
        if (object.value("v").toInt() == 1 && state == "gone") {
            PublishState();
            return;
        }
        Halt(noAcl);
        return;
    }
    if (state == "offline" && object.value("reason").toString() == "stopped") {
        PublishState(); // a station of this name leaving: the topic is ours again
        return;
    }
    const auto theirStart = static_cast<std::int64_t>(object.value("started").toDouble());
    const std::string theirSid = object.value("sid").toString().toStdString();
    if (theirStart < beat_.started || (theirStart == beat_.started && theirSid < beat_.sid)) {
        Halt("Another station named " + options_.name + " already publishes on this broker; this one stops.");
        return;
    }
    qWarning("station: another station named %s came to the broker after us; it is told that we are here",
             options_.name.c_str());
    rivalUntilMs_ = AppClock().NowMs() + 2 * kBeatPeriodMs;
    PublishAll(); // its picture too is overwritten by ours
}

void StationCore::Halt(const std::string& why)
{
    haltReason_ = why;
    beatTimer_.stop();
    quietTimer_.stop();
    // Nothing more of ours: the topics are someone else's now.
    client_.Stop();
    qWarning("station: %s", why.c_str());
    emit Halted(QString::fromStdString(why));
}

void StationCore::CheckQuiet()
{
    if (token_.Expire(AppClock().NowMs()))
        PublishControl();
}

void StationCore::PublishDiscovery()
{
    const std::string id = "vorlinq_" + options_.name;
    const std::string device = R"("device":{"identifiers":[")" + id + R"("],"name":"AVELKOR )" + options_.name +
                               R"(","model":"HF linear amplifier","sw_version":")" VORLINQ_VERSION R"("})";
    const std::string availability =
        R"("availability_topic":")" + topics_.state +
        R"(","availability_template":"{{ 'online' if value_json.state == 'online' else 'offline' }}")";
    for (const char* lamp : {"AL", "TUNE", "SET", "OP", "TX", "ON"}) {
        const std::string object = id + "_" + lamp;
        Publish("homeassistant/binary_sensor/" + object + "/config",
                R"({"name":")" + std::string(lamp) + R"(","unique_id":")" + object + R"(","state_topic":")" +
                    topics_.lamps + R"(","value_template":"{{ 'ON' if value_json.)" + lamp + R"( else 'OFF' }}",)" +
                    availability + "," + device + "}");
    }
    // One sensor per display line: a whole display is longer than a sensor's state may be.
    for (int line = 0; line < protocol::kRows; ++line) {
        const std::string object = id + "_line" + std::to_string(line + 1);
        const std::string index = std::to_string(line);
        Publish("homeassistant/sensor/" + object + "/config",
                R"({"name":"Display line )" + std::to_string(line + 1) + R"(","unique_id":")" + object +
                    R"(","state_topic":")" + topics_.text +
                    R"(","value_template":"{% set l = value.split('\n') %}{{ l[)" + index + "] if l|length > " + index +
                    R"( else '' }}",)" + availability + "," + device + "}");
    }
}

} // namespace share
