#include "share/StationCore.h"

#include "Mainform.h"
#include "display/CharText.h"
#include "display/FrameDrawing.h"
#include "protocol/Frames.h"
#include "toolkit/Clock.h"

#include <QBuffer>
#include <QImage>
#include <QMetaObject>

namespace share {

namespace {
constexpr int kQos = 1;
constexpr int kQuietCheckMs = 1000;

MqttClient::Options ClientOptions(const StationCore::Options& options, const Topics& topics)
{
    MqttClient::Options o;
    o.login = options.login;
    o.keepAliveSeconds = options.keepAliveSeconds;
    o.will = MqttWill{topics.state, StateJson(StationState::Gone), kQos, true};
    return o;
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
        const std::string user = topics_.KeyUser(message.topic);
        if (user.empty() || message.retained)
            return;
        QMetaObject::invokeMethod(
            this, [this, user, payload = message.payload] { OnKeyMessage(user, payload); }, Qt::QueuedConnection);
    });
    client_.Subscribe(topics_.keys, kQos);
    connect(&quietTimer_, &QTimer::timeout, this, [this] { CheckQuiet(); });
}

StationCore::~StationCore()
{
    if (client_.Connected()) {
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
    return true;
}

void StationCore::Publish(const std::string& topic, const std::string& payload)
{
    // Not connected: the whole picture is published again on connecting.
    client_.Publish(topic, payload, kQos, true);
}

void StationCore::PublishState()
{
    Publish(topics_.state, StateJson(state_, detail_));
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

void StationCore::OnKeyMessage(const std::string& user, const std::string& payload)
{
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
