#include "share/MqttClient.h"

#include "share/Backoff.h"
#include "share/Topics.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace share {

namespace {

void InitLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool Readable(const std::string& path)
{
    return ::access(path.c_str(), R_OK) == 0;
}

} // namespace

struct MqttClient::Impl {
    Options options;
    BrokerAddress address;
    std::string clientId; // the same for every connection

    // The session of the current connection attempt; a new one for every
    // attempt. Guarded by `mutex`, which Publish holds from the call into
    // the library until its handler is filed, so that an acknowledgement
    // always finds its handler.
    std::mutex mutex;
    mosquitto* mosq = nullptr;
    std::map<int, AckHandler> acks;
    MessageHandler onMessage;
    ConnectHandler onConnect;
    DisconnectHandler onDisconnect;

    std::thread thread;
    std::mutex stopMutex;
    std::condition_variable stopChanged;
    bool stop = false;
    std::atomic<bool> connected{false};

    struct Subscription {
        std::string pattern;
        int qos;
        bool noLocal;
    };
    std::mutex subMutex;
    std::vector<Subscription> subscriptions;

    mutable std::mutex errorMutex;
    std::string lastError;

    // Network thread only: what the last attempt learnt.
    int connackCode = 0;
    int disconnectCode = 0;
    std::string lastLog;
    std::chrono::steady_clock::time_point connectedAt;

    ~Impl() { Drop(); }

    // Ends the current session; whatever it had not had acknowledged goes with it.
    void Drop()
    {
        mosquitto* old = nullptr;
        {
            std::lock_guard lock(mutex);
            std::swap(old, mosq);
        }
        if (old)
            mosquitto_destroy(old);
    }

    std::string Where() const { return address.host + ":" + std::to_string(address.port); }

    bool Stopping()
    {
        std::lock_guard lock(stopMutex);
        return stop;
    }

    void Sleep(int ms)
    {
        std::unique_lock lock(stopMutex);
        stopChanged.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop; });
    }

    void SetLastError(const std::string& text)
    {
        std::lock_guard lock(errorMutex);
        lastError = text;
    }

    static void SubscribeOne(mosquitto* m, const Subscription& s)
    {
        mosquitto_subscribe_v5(m, nullptr, s.pattern.c_str(), s.qos, s.noLocal ? MQTT_SUB_OPT_NO_LOCAL : 0, nullptr);
    }

    void SubscribeAll(mosquitto* m)
    {
        std::lock_guard lock(subMutex);
        for (const Subscription& s : subscriptions)
            SubscribeOne(m, s);
    }

    void FailPendingAcks()
    {
        std::map<int, AckHandler> pending;
        {
            std::lock_guard lock(mutex);
            pending.swap(acks);
        }
        for (auto& [mid, ack] : pending)
            ack(kReasonUnacknowledged);
    }

    // A configured session for one connection attempt; nullptr with the
    // reason when the options cannot work.
    mosquitto* NewSession(std::string& error);
    // Starts connecting `m` without waiting for the network.
    int Connect(mosquitto* m);

    std::string Describe(int rc, int err, bool wasConnected) const
    {
        // A broker answers a wrong password with either code.
        if (connackCode == 0x86 || connackCode == 0x87)
            return "the broker at " + Where() + " refused the user name or password (" + ReasonText(connackCode) + ")";
        if (connackCode != 0)
            return "the broker at " + Where() + " refused the connection: " + ReasonText(connackCode);
        if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE || lastLog.find("OpenSSL") != std::string::npos) {
            if (lastLog.find("certificate verify failed") != std::string::npos)
                return "TLS with the broker at " + Where() +
                       " failed: its certificate is not signed by the CA given (--broker-ca), or not made out to " +
                       address.host;
            return "TLS with the broker at " + Where() + " failed" + (lastLog.empty() ? "" : ": " + lastLog);
        }
        if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_LOOKUP)
            return "the broker's host name " + address.host + " is not known";
        if (rc == MOSQ_ERR_ERRNO && !wasConnected)
            return "the broker at " + Where() + " cannot be reached: " + std::strerror(err);
        if (rc == MOSQ_ERR_KEEPALIVE)
            return "the broker at " + Where() + " stopped answering";
        if (wasConnected && disconnectCode >= 0x80)
            return "the broker at " + Where() + " ended the connection: " + ReasonText(disconnectCode);
        if (wasConnected)
            return "the connection to the broker at " + Where() + " was lost";
        return "the broker at " + Where() + " closed the connection: " + mosquitto_strerror(rc);
    }

    void Run()
    {
        Backoff backoff(options.minBackoffMs, options.maxBackoffMs, options.holdMs);
        while (!Stopping()) {
            connackCode = 0;
            disconnectCode = 0;
            lastLog.clear();
            std::string error;
            mosquitto* m = nullptr;
            {
                std::lock_guard lock(mutex);
                if (!mosq)
                    mosq = NewSession(error);
                m = mosq;
            }
            int rc = m ? Connect(m) : MOSQ_ERR_NOMEM;
            int err = errno;
            while (rc == MOSQ_ERR_SUCCESS && !Stopping()) {
                rc = mosquitto_loop(m, 100, 1);
                err = errno;
            }
            const bool wasConnected = connected.exchange(false);
            if (Stopping()) {
                connected = wasConnected;
                break;
            }
            const std::int64_t heldMs = wasConnected ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           std::chrono::steady_clock::now() - connectedAt)
                                                           .count()
                                                     : 0;
            Drop();
            FailPendingAcks();
            const std::string reason = m ? Describe(rc, err, wasConnected) : "cannot start a broker session: " + error;
            SetLastError(reason);
            if (onDisconnect)
                onDisconnect(reason);
            Sleep(backoff.Next(heldMs));
        }
        // Leaving on purpose: a clean DISCONNECT, so the broker keeps the
        // last will to itself. Bounded: a broker that does not answer is left.
        mosquitto* m = nullptr;
        {
            std::lock_guard lock(mutex);
            m = mosq;
        }
        if (m && connected.exchange(false)) {
            mosquitto_disconnect_v5(m, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
            for (int i = 0; i < 20 && mosquitto_loop(m, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {
            }
        }
        Drop();
    }

    static Impl* Of(void* obj) { return static_cast<Impl*>(obj); }

    static void ConnectCallback(mosquitto* mosq, void* obj, int rc, int, const mosquitto_property*)
    {
        Impl* self = Of(obj);
        if (rc != 0) {
            self->connackCode = rc;
            return;
        }
        self->connectedAt = std::chrono::steady_clock::now();
        self->connected = true;
        self->SetLastError({});
        self->SubscribeAll(mosq);
        if (self->onConnect)
            self->onConnect();
    }

    static void DisconnectCallback(mosquitto*, void* obj, int rc, const mosquitto_property*)
    {
        Of(obj)->disconnectCode = rc;
    }

    static void PublishCallback(mosquitto*, void* obj, int mid, int rc, const mosquitto_property*)
    {
        Impl* self = Of(obj);
        AckHandler ack;
        {
            // Publications without a handler leave nothing behind.
            std::lock_guard lock(self->mutex);
            auto it = self->acks.find(mid);
            if (it == self->acks.end())
                return;
            ack = std::move(it->second);
            self->acks.erase(it);
        }
        ack(rc);
    }

    static void MessageCallback(mosquitto*, void* obj, const mosquitto_message* message,
                                const mosquitto_property* properties)
    {
        Impl* self = Of(obj);
        if (!self->onMessage)
            return;
        MqttMessage m;
        m.topic = message->topic ? message->topic : "";
        const auto size = static_cast<std::size_t>(std::max(0, message->payloadlen));
        if (self->options.accept && !self->options.accept(m.topic, size))
            return;
        if (message->payload && size > 0)
            m.payload.assign(static_cast<const char*>(message->payload), size);
        m.retained = message->retain;
        for (const mosquitto_property* p = properties; p; p = mosquitto_property_next(p)) {
            if (mosquitto_property_identifier(p) != MQTT_PROP_USER_PROPERTY)
                continue;
            char* name = nullptr;
            char* value = nullptr;
            if (mosquitto_property_read_string_pair(p, MQTT_PROP_USER_PROPERTY, &name, &value, false)) {
                m.properties.emplace_back(name ? name : "", value ? value : "");
            }
            std::free(name);
            std::free(value);
        }
        self->onMessage(m);
    }

    static void LogCallback(mosquitto*, void* obj, int level, const char* text)
    {
        if ((level & MOSQ_LOG_ERR) && text)
            Of(obj)->lastLog = text;
    }
};

mosquitto* MqttClient::Impl::NewSession(std::string& error)
{
    const BrokerLogin& login = options.login;
    mosquitto* m = mosquitto_new(clientId.c_str(), true, this);
    if (!m) {
        error = "cannot create the broker connection: " + std::string(std::strerror(errno));
        return nullptr;
    }
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    const auto fail = [&](const std::string& why) {
        error = why;
        mosquitto_destroy(m);
        return nullptr;
    };
    if (address.tls) {
        const char* ca = login.caFile.empty() ? nullptr : login.caFile.c_str();
        const char* caPath = ca ? nullptr : "/etc/ssl/certs"; // the system's CAs when none is given
        const int rc = mosquitto_tls_set(m, ca, caPath, login.certFile.empty() ? nullptr : login.certFile.c_str(),
                                         login.keyFile.empty() ? nullptr : login.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail("cannot use the TLS files: " + std::string(mosquitto_strerror(rc)));
    }
    if (!login.user.empty() &&
        mosquitto_username_pw_set(m, login.user.c_str(), login.password.empty() ? nullptr : login.password.c_str()) !=
            MOSQ_ERR_SUCCESS)
        return fail("the broker user name or password is not usable");
    if (options.will) {
        const MqttWill& will = *options.will;
        if (mosquitto_will_set_v5(m, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(),
                                  will.qos, will.retain, nullptr) != MOSQ_ERR_SUCCESS)
            return fail("the last will on " + will.topic + " is not usable");
    }
    mosquitto_connect_v5_callback_set(m, &Impl::ConnectCallback);
    mosquitto_disconnect_v5_callback_set(m, &Impl::DisconnectCallback);
    mosquitto_publish_v5_callback_set(m, &Impl::PublishCallback);
    mosquitto_message_v5_callback_set(m, &Impl::MessageCallback);
    mosquitto_log_callback_set(m, &Impl::LogCallback);
    return m;
}

int MqttClient::Impl::Connect(mosquitto* m)
{
    if (options.maxPacketBytes > 0) {
        // libmosquitto 2.0 takes CONNECT properties only with its blocking
        // connect and keeps a copy for the session's connects. Handed over
        // without a host, they are kept and nothing is connected, so that the
        // connect below still waits for nothing.
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                     static_cast<std::uint32_t>(options.maxPacketBytes));
        mosquitto_connect_bind_v5(m, nullptr, address.port, options.keepAliveSeconds, nullptr, properties);
        mosquitto_property_free_all(&properties);
    }
    return mosquitto_connect_async(m, address.host.c_str(), address.port, options.keepAliveSeconds);
}

std::string MqttMessage::Property(const std::string& name) const
{
    for (const auto& [key, value] : properties)
        if (key == name)
            return value;
    return {};
}

MqttClient::MqttClient(Options options) : impl_(std::make_unique<Impl>())
{
    impl_->options = std::move(options);
}

MqttClient::~MqttClient()
{
    Stop();
}

void MqttClient::OnMessage(MessageHandler handler)
{
    impl_->onMessage = std::move(handler);
}

void MqttClient::OnConnect(ConnectHandler handler)
{
    impl_->onConnect = std::move(handler);
}

void MqttClient::OnDisconnect(DisconnectHandler handler)
{
    impl_->onDisconnect = std::move(handler);
}

bool MqttClient::Start(std::string& error)
{
    Impl& d = *impl_;
    if (d.thread.joinable()) {
        error = "the broker connection is already started";
        return false;
    }
    const BrokerLogin& login = d.options.login;
    const std::optional<BrokerAddress> address = ParseBrokerUrl(login.url, error);
    if (!address)
        return false;
    d.address = *address;
    const bool tlsFiles = !login.caFile.empty() || !login.certFile.empty() || !login.keyFile.empty();
    if (tlsFiles && !d.address.tls) {
        error = "--broker-ca, --broker-cert and --broker-key need an mqtts:// broker address";
        return false;
    }
    if (login.certFile.empty() != login.keyFile.empty()) {
        error = "--broker-cert and --broker-key go together";
        return false;
    }
    for (const std::string* file : {&login.caFile, &login.certFile, &login.keyFile}) {
        if (!file->empty() && !Readable(*file)) {
            error = "cannot read " + *file + ": " + std::strerror(errno);
            return false;
        }
    }

    InitLibraryOnce();
    if (d.clientId.empty())
        d.clientId = d.options.clientId.empty() ? "vorlinq-" + RandomToken() : d.options.clientId;
    d.Drop();
    mosquitto* first = d.NewSession(error);
    if (!first)
        return false;
    {
        std::lock_guard lock(d.mutex);
        d.mosq = first;
    }
    {
        std::lock_guard lock(d.stopMutex);
        d.stop = false;
    }
    d.thread = std::thread([&d] { d.Run(); });
    return true;
}

void MqttClient::Stop()
{
    Impl& d = *impl_;
    if (!d.thread.joinable())
        return;
    {
        std::lock_guard lock(d.stopMutex);
        d.stop = true;
    }
    d.stopChanged.notify_all();
    d.thread.join();
    std::lock_guard lock(d.mutex);
    d.acks.clear();
}

bool MqttClient::Connected() const
{
    return impl_->connected;
}

bool MqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain, AckHandler ack,
                         const MqttExtras& extras)
{
    Impl& d = *impl_;
    mosquitto_property* properties = nullptr;
    for (const auto& [name, value] : extras.properties)
        mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, name.c_str(), value.c_str());
    if (extras.expirySeconds > 0)
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL,
                                     static_cast<std::uint32_t>(extras.expirySeconds));
    int rc = MOSQ_ERR_NO_CONN;
    {
        std::lock_guard lock(d.mutex);
        int mid = 0;
        if (d.connected && d.mosq)
            rc = mosquitto_publish_v5(d.mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                      qos, retain, properties);
        if (rc == MOSQ_ERR_SUCCESS && ack)
            d.acks[mid] = std::move(ack);
    }
    mosquitto_property_free_all(&properties);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::Subscribe(const std::string& pattern, int qos, bool noLocal)
{
    Impl& d = *impl_;
    const Impl::Subscription subscription{pattern, qos, noLocal};
    {
        std::lock_guard lock(d.subMutex);
        d.subscriptions.push_back(subscription);
    }
    std::lock_guard lock(d.mutex);
    if (d.connected && d.mosq)
        Impl::SubscribeOne(d.mosq, subscription);
}

std::string MqttClient::LastError() const
{
    std::lock_guard lock(impl_->errorMutex);
    return impl_->lastError;
}

std::string MqttClient::ReasonText(int reasonCode)
{
    switch (reasonCode) {
    case 0x00:
        return "success";
    case 0x10:
        return "no subscribers";
    case 0x80:
        return "unspecified error";
    case 0x84:
        return "the broker does not speak MQTT 5";
    case 0x85:
        return "the client identifier is not accepted";
    case 0x86:
        return "wrong user name or password";
    case 0x87:
        return "not authorised";
    case 0x88:
        return "the broker is unavailable";
    case 0x89:
        return "the broker is busy";
    case 0x8A:
        return "banned";
    case 0x8B:
        return "the broker is shutting down";
    case 0x8E:
        return "another client took over this session";
    case 0x8D:
        return "keep-alive time-out";
    case 0x90:
        return "the topic name is not valid";
    case 0x97:
        return "quota exceeded";
    case 0x9F:
        return "connection rate exceeded";
    default:
        return "reason code " + std::to_string(reasonCode);
    }
}

} // namespace share
