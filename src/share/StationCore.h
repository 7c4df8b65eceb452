#pragma once
// The broker side of a station, whoever owns the link (the headless station
// or the window sharing its own): publishes what the poll engine reads,
// keeps the station's state, hands out the control token and turns the
// holder's key messages into keys and power-on requests for the link's owner.
//
// A key is carried out once or not at all, and never late: a resent key
// (the same viewer session and a number not above the highest seen) is
// dropped, and one pressed more than kLateKeyMs before it arrives (measured
// from the beat it was pressed after) is refused. Key messages longer than
// any key are dropped before they are copied, and the broker is asked to
// send nothing longer than kMaxPacketBytes.
//
// The station listens to its own state and control topics: another writer
// there (a second station of the same name, or anyone on a broker without an
// ACL) halts it with the reason, publishing nothing more.
//
// Main thread only, but for the broker's network thread, whose messages are
// queued to the main thread.

#include "share/ControlToken.h"
#include "share/MqttClient.h"
#include "share/Topics.h"

#include "PollCycle.h"
#include "display/Raster.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <map>
#include <functional>
#include <string>
#include <vector>

namespace share {

class StationCore : public QObject, public PollListener {
    Q_OBJECT

public:
    struct Options {
        std::string name; // the station's name in its topics
        BrokerLogin login;
        bool haDiscovery = false;
        int keepAliveSeconds = 15;
        int pollMs = 0; // the poll interval told with every beat; 0: the poll engine's own
    };
    static constexpr int kMaxPacketBytes = 4096;
    // What the link's owner does for an operator; main thread.
    struct Link {
        std::function<void(std::uint8_t code)> sendKey;
        std::function<void()> powerOn;
        std::function<bool()> linkUp; // keys are refused while the link is down
    };

    StationCore(Options options, Link link, QObject* parent = nullptr);
    // Says "stopped" to the viewers and leaves the broker.
    ~StationCore() override;

    // Connects in the background; false when the broker options cannot work.
    bool Start(std::string& error);

    // Inside the frame hand-over: a valid frame (lamp byte, payload of
    // `length` bytes); published when it differs from the last one.
    void Frame(std::uint8_t lampByte, const std::uint8_t* payload, int length) override;
    void Silent() override { SetState(StationState::Silent); }
    void LinkDown(const std::string& reason) override { SetState(StationState::LinkLost, reason); }
    void Updating() override { SetState(StationState::Updating); }
    // The station's state for the viewers; published when it changes.
    void SetState(StationState state, const std::string& detail = {});

    const std::string& Holder() const { return token_.Holder(); }
    bool BrokerConnected() const { return client_.Connected(); }
    const Topics& StationTopics() const { return topics_; }
    // Why the station halted; empty while it runs.
    const std::string& HaltReason() const { return haltReason_; }

signals:
    // The station stopped sharing for `why` (another writer on its topics).
    void Halted(const QString& why);

private:
    // What a key message says about itself in its user properties.
    struct KeyStamp {
        std::string sid, seq, beat, age;
    };
    struct Seen {
        std::string sid;
        std::uint64_t seq = 0;
    };
    bool Resent(const std::string& user, const KeyStamp& stamp);
    bool Late(const KeyStamp& stamp) const;
    void OnOwnTopic(const std::string& topic, const std::string& payload);
    void Halt(const std::string& why);

    void PublishAll();
    void PublishState();
    void PublishControl();
    void Publish(const std::string& topic, const std::string& payload);
    void Notice(const std::string& user, const std::string& text);
    void OnKeyMessage(const std::string& user, const std::string& payload, const KeyStamp& stamp);
    void CheckQuiet();
    void PublishDiscovery();

    Options options_;
    Link link_;
    Topics topics_;
    MqttClient client_;
    ControlToken token_;
    display::Raster raster_;
    QTimer quietTimer_;
    QTimer beatTimer_;
    std::string haltReason_;
    std::int64_t rivalUntilMs_ = 0; // control writes before this are a newcomer's on its way out

    Beat beat_;
    // When the last beats were published (AppClock), by number modulo the size.
    std::array<std::pair<std::uint64_t, std::int64_t>, 16> beatTimes_{};
    std::map<std::string, Seen> seen_; // by key-topic user

    std::vector<std::uint8_t> frame_; // the last frame published (empty: none yet)
    std::string text_;
    std::string lamps_;
    std::string png_;
    StationState state_ = StationState::Silent;
    std::string detail_;
};

// The raster as PNG: the still image at scale 1.
std::string EncodePng(const display::Raster& raster);

} // namespace share
