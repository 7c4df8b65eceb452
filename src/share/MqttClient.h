#pragma once
// A connection to an MQTT broker, over libmosquitto (whose types stay inside
// this folder): MQTT 5, TLS, user and password, a last will, retained
// publishing with the broker's acknowledgement, user properties and message
// expiry, subscriptions that survive reconnects, and reconnecting with
// back-off by itself.
//
// Every connection is a fresh client session: what was published and not
// acknowledged when a connection ended is dropped with it (its handler hears
// kReasonUnacknowledged), never sent again on the next connection, so that a
// key is carried out once or not at all. The client id stays the same
// across connections, so that the broker drops a stale half-open connection
// of ours the moment we are back.
//
// Threads: the client runs libmosquitto's network loop on a thread of its
// own; every handler is called on that thread, one at a time. Publish and
// Subscribe may be called from any thread (handlers included). Stop (and the
// destructor) wait for the network thread: once they return no handler runs
// any more. They must not be called from a handler.

#include "share/BrokerConfig.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace share {

using MqttProperties = std::vector<std::pair<std::string, std::string>>;

struct MqttMessage {
    std::string topic;
    std::string payload;
    // Set on a retained message that the broker hands over as we subscribe;
    // a message published while we listen has it clear.
    bool retained = false;
    MqttProperties properties; // MQTT 5 user properties, in order
    // The first user property of that name; empty when there is none.
    std::string Property(const std::string& name) const;
};

// The MQTT 5 extras of one publication.
struct MqttExtras {
    MqttProperties properties;
    int expirySeconds = 0; // message expiry interval; 0: none
};

struct MqttWill {
    std::string topic;
    std::string payload;
    int qos = 1;
    bool retain = true;
};

// MQTT 5 reason codes a client meets in acknowledgements.
constexpr int kReasonSuccess = 0x00;
constexpr int kReasonNoSubscribers = 0x10;
constexpr int kReasonNotAuthorised = 0x87;
// Not an MQTT code: the connection ended before the broker acknowledged,
// so whether the broker took the message is not known.
constexpr int kReasonUnacknowledged = -1;

class MqttClient {
public:
    struct Options {
        BrokerLogin login;
        std::string clientId; // empty: the library makes one up
        int keepAliveSeconds = 15;
        std::optional<MqttWill> will;
        int minBackoffMs = 250;   // first wait after a failed connection
        int maxBackoffMs = 30000; // the wait doubles up to this
        int holdMs = 10000;       // a connection that held this long starts the waits afresh
        // Asked of the broker on connecting (MQTT 5 Maximum Packet Size): it
        // sends us nothing larger. 0: no limit.
        int maxPacketBytes = 0;
        // Which messages are taken, by topic and payload size, before their
        // payload is copied; the others are dropped. None: all are taken.
        std::function<bool(const std::string& topic, std::size_t bytes)> accept;
    };
    using MessageHandler = std::function<void(const MqttMessage&)>;
    using ConnectHandler = std::function<void()>;
    // Why the connection ended or a connection attempt failed, in words for
    // the user ("the broker refused the user name or password", ...).
    using DisconnectHandler = std::function<void(const std::string& reason)>;
    // The broker's answer to one publication: kReasonSuccess (or
    // kReasonNoSubscribers), kReasonNotAuthorised, another MQTT 5 reason
    // code, or kReasonUnacknowledged.
    using AckHandler = std::function<void(int reasonCode)>;

    explicit MqttClient(Options options);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Set before Start.
    void OnMessage(MessageHandler handler);
    void OnConnect(ConnectHandler handler);
    void OnDisconnect(DisconnectHandler handler);

    // Checks the options (address, TLS files) and starts connecting in the
    // background; false with the reason when they cannot work. A broker that
    // cannot be reached is no error here: the client keeps trying.
    bool Start(std::string& error);
    // Leaves the broker cleanly (no last will) and ends the network thread.
    void Stop();

    bool Connected() const;

    // Publishes when connected; false (nothing queued) when not. `ack` is
    // called on the network thread with the broker's answer: for QoS 1 and 2
    // the acknowledgement, for QoS 0 kReasonSuccess once sent.
    bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain, AckHandler ack = {},
                 const MqttExtras& extras = {});
    // Kept and sent again after every reconnect. With `noLocal` the broker
    // does not hand us back what we publish ourselves.
    void Subscribe(const std::string& pattern, int qos = 1, bool noLocal = false);

    // The reason of the last failed or ended connection; empty while none.
    std::string LastError() const;

    // Words for an MQTT 5 reason code.
    static std::string ReasonText(int reasonCode);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace share
