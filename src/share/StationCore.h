#pragma once
// The broker side of a station, whoever owns the link (the headless station
// or the window sharing its own): publishes what the poll engine reads,
// keeps the station's state, hands out the control token and turns the
// holder's key messages into keys and power-on requests for the link's owner.
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

#include <cstdint>
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
    };
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

private:
    void PublishAll();
    void PublishState();
    void PublishControl();
    void Publish(const std::string& topic, const std::string& payload);
    void Notice(const std::string& user, const std::string& text);
    void OnKeyMessage(const std::string& user, const std::string& payload);
    void CheckQuiet();
    void PublishDiscovery();

    Options options_;
    Link link_;
    Topics topics_;
    MqttClient client_;
    ControlToken token_;
    display::Raster raster_;
    QTimer quietTimer_;

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
