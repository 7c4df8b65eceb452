#include "share/MqttClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
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
    mosquitto* mosq = nullptr;
    MessageHandler onMessage;
    ConnectHandler onConnect;
    DisconnectHandler onDisconnect;

    std::thread thread;
    std::mutex stopMutex;
    std::condition_variable stopChanged;
    bool stop = false;
    std::atomic<bool> connected{false};

    // Acknowledgement handlers by message id; an acknowledgement that comes
    // before its handler is stored waits in `early`.
    std::mutex ackMutex;
    std::map<int, AckHandler> acks;
    std::map<int, int> early;

    std::mutex subMutex;
    std::vector<std::pair<std::string, int>> subscriptions;

    mutable std::mutex errorMutex;
    std::string lastError;

    // Network thread only: what the last attempt learnt.
    int connackCode = 0;
    int disconnectCode = 0;
    std::string lastLog;

    ~Impl()
    {
        if (mosq)
            mosquitto_destroy(mosq);
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

    void SubscribeAll()
    {
        std::lock_guard lock(subMutex);
        for (const auto& [pattern, qos] : subscriptions)
            mosquitto_subscribe_v5(mosq, nullptr, pattern.c_str(), qos, 0, nullptr);
    }

    void FailPendingAcks()
    {
        std::map<int, AckHandler> pending;
        {
            std::lock_guard lock(ackMutex);
            pending.swap(acks);
            early.clear();
        }
        for (auto& [mid, ack] : pending)
            ack(kReasonNotDelivered);
    }

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
        int backoff = options.minBackoffMs;
        while (!Stopping()) {
            connackCode = 0;
            disconnectCode = 0;
            lastLog.clear();
            int rc = mosquitto_connect_async(mosq, address.host.c_str(), address.port, options.keepAliveSeconds);
            int err = errno;
            while (rc == MOSQ_ERR_SUCCESS && !Stopping()) {
                rc = mosquitto_loop(mosq, 100, 1);
                err = errno;
                if (connected)
                    backoff = options.minBackoffMs;
            }
            const bool wasConnected = connected.exchange(false);
            if (Stopping()) {
                connected = wasConnected;
                break;
            }
            FailPendingAcks();
            const std::string reason = Describe(rc, err, wasConnected);
            SetLastError(reason);
            if (onDisconnect)
                onDisconnect(reason);
            Sleep(backoff);
            backoff = std::min(backoff * 2, options.maxBackoffMs);
        }
        // Leaving on purpose: a clean DISCONNECT, so the broker keeps the
        // last will to itself. Bounded: a broker that does not answer is left.
        if (connected.exchange(false)) {
            mosquitto_disconnect_v5(mosq, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
            for (int i = 0; i < 20 && mosquitto_loop(mosq, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {
            }
        }
    }

    static Impl* Of(void* obj) { return static_cast<Impl*>(obj); }

    static void ConnectCallback(mosquitto*, void* obj, int rc, int, const mosquitto_property*)
    {
        Impl* self = Of(obj);
        if (rc != 0) {
            self->connackCode = rc;
            return;
        }
        self->connected = true;
        self->SetLastError({});
        self->SubscribeAll();
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
            std::lock_guard lock(self->ackMutex);
            auto it = self->acks.find(mid);
            if (it == self->acks.end()) {
                self->early[mid] = rc;
                return;
            }
            ack = std::move(it->second);
            self->acks.erase(it);
        }
        ack(rc);
    }

    static void MessageCallback(mosquitto*, void* obj, const mosquitto_message* message, const mosquitto_property*)
    {
        Impl* self = Of(obj);
        if (!self->onMessage)
            return;
        MqttMessage m;
        m.topic = message->topic ? message->topic : "";
        if (message->payload && message->payloadlen > 0)
            m.payload.assign(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
        m.retained = message->retain;
        self->onMessage(m);
    }

    static void LogCallback(mosquitto*, void* obj, int level, const char* text)
    {
        if ((level & MOSQ_LOG_ERR) && text)
            Of(obj)->lastLog = text;
    }
};

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
    if (!d.mosq)
        d.mosq = mosquitto_new(d.options.clientId.empty() ? nullptr : d.options.clientId.c_str(), true, &d);
    if (!d.mosq) {
        error = "cannot create the broker connection: " + std::string(std::strerror(errno));
        return false;
    }
    mosquitto* m = d.mosq;
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    if (d.address.tls) {
        const char* ca = login.caFile.empty() ? nullptr : login.caFile.c_str();
        const char* caPath = ca ? nullptr : "/etc/ssl/certs"; // the system's CAs when none is given
        const int rc = mosquitto_tls_set(m, ca, caPath, login.certFile.empty() ? nullptr : login.certFile.c_str(),
                                         login.keyFile.empty() ? nullptr : login.keyFile.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "cannot use the TLS files: " + std::string(mosquitto_strerror(rc));
            return false;
        }
    }
    if (!login.user.empty() &&
        mosquitto_username_pw_set(m, login.user.c_str(), login.password.empty() ? nullptr : login.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        error = "the broker user name or password is not usable";
        return false;
    }
    if (d.options.will) {
        const MqttWill& will = *d.options.will;
        if (mosquitto_will_set_v5(m, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(),
                                  will.qos, will.retain, nullptr) != MOSQ_ERR_SUCCESS) {
            error = "the last will on " + will.topic + " is not usable";
            return false;
        }
    }
    mosquitto_connect_v5_callback_set(m, &Impl::ConnectCallback);
    mosquitto_disconnect_v5_callback_set(m, &Impl::DisconnectCallback);
    mosquitto_publish_v5_callback_set(m, &Impl::PublishCallback);
    mosquitto_message_v5_callback_set(m, &Impl::MessageCallback);
    mosquitto_log_callback_set(m, &Impl::LogCallback);

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
    std::lock_guard lock(d.ackMutex);
    d.acks.clear();
    d.early.clear();
}

bool MqttClient::Connected() const
{
    return impl_->connected;
}

bool MqttClient::Publish(const std::string& topic, const std::string& payload, int qos, bool retain, AckHandler ack)
{
    Impl& d = *impl_;
    if (!d.connected || !d.mosq)
        return false;
    int mid = 0;
    const int rc = mosquitto_publish_v5(d.mosq, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                        qos, retain, nullptr);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    if (!ack)
        return true;
    int earlyCode = 0;
    {
        std::lock_guard lock(d.ackMutex);
        auto it = d.early.find(mid);
        if (it == d.early.end()) {
            d.acks[mid] = std::move(ack);
            return true;
        }
        earlyCode = it->second;
        d.early.erase(it);
    }
    ack(earlyCode);
    return true;
}

void MqttClient::Subscribe(const std::string& pattern, int qos)
{
    Impl& d = *impl_;
    {
        std::lock_guard lock(d.subMutex);
        d.subscriptions.emplace_back(pattern, qos);
    }
    if (d.connected && d.mosq)
        mosquitto_subscribe_v5(d.mosq, nullptr, pattern.c_str(), qos, 0, nullptr);
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
