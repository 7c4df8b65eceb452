#include "share/BrokerDriver.h"

#include "link/Timeouts.h"
#include "protocol/Frames.h"
#include "share/MqttClient.h"
#include "share/StationView.h"
#include "share/Topics.h"

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <vector>

namespace share {

const char* const BrokerDriver::kWatchOnlyText = "You may only watch this station: the broker refuses your keys.";
const char* const BrokerDriver::kUpdateRefusedText =
    "The firmware update needs a direct link to the amplifier (USB, serial or a remote station); "
    "it cannot go through a shared station.";

namespace {

// Front-panel key codes, latched variants included; the query, update and
// resume codes are this desk's own business with a link and never leave it.
constexpr std::uint8_t kFirstKeyCode = 0x01;
constexpr std::uint8_t kLastKeyCode = 0x1F;
// How long a closing viewer waits for the broker to take its release.
constexpr int kReleaseWaitMs = 500;
// A desk waits no longer than this between attempts to reach a broker that
// went away.
constexpr int kMaxBackoffMs = 5000;

using Clock = std::chrono::steady_clock;

} // namespace

struct BrokerDriver::Open {
    explicit Open(const std::string& station) : name(station), topics(station) {}
    std::string name;
    Topics topics;
    std::string user;
    StationView view;
    std::atomic<bool> closed{false};
    std::atomic<ULONG> readTimeoutMs{kNormalTimeoutMs};
    std::atomic<bool> watchOnly{false};

    std::mutex mutex; // the read and line state below
    std::vector<std::uint8_t> pending;
    std::size_t at = 0;
    bool armed = false;
    std::uint64_t delivered = 0;
    bool dtr = true;
    bool rts = false;

    // This connection's session: a new token, and keys counted from 1.
    std::mutex sessionMutex;
    std::string sid;
    std::uint64_t seq = 0;
    std::string plainTextWarning;

    // Last: destroyed first, so no handler outlives the members it uses.
    std::unique_ptr<MqttClient> client;

    std::string KeyTopic() const { return topics.Key(user); }
    void Request(const std::string& what);
    // Publishes a key message with what the station needs to carry it out
    // once and in time; false when there is no connection.
    bool PublishKey(const std::string& what, MqttClient::AckHandler ack);
    void Connected();
};

bool BrokerDriver::Open::PublishKey(const std::string& what, MqttClient::AckHandler ack)
{
    const StationView::Snapshot now = view.Get();
    MqttExtras extras;
    extras.expirySeconds = kKeyExpirySeconds;
    {
        std::lock_guard lock(sessionMutex);
        extras.properties = {{kSessionProperty, sid}, {kSequenceProperty, std::to_string(++seq)}};
    }
    if (now.beat > 0) {
        extras.properties.emplace_back(kBeatProperty, std::to_string(now.beat));
        extras.properties.emplace_back(kAgeProperty, std::to_string(std::max<std::int64_t>(0, now.sinceBeatMs)));
    }
    return client->Publish(KeyTopic(), what, 1, false, std::move(ack), extras);
}

// A new connection: a new session for the keys, and once the check that
// the broker refuses us a key under another name.
void BrokerDriver::Open::Connected()
{
    {
        std::lock_guard lock(sessionMutex);
        sid = RandomToken();
        seq = 0;
    }
    view.SetBrokerUp(true);
    if (user == kAclProbeUser)
        return;
    MqttExtras extras;
    extras.expirySeconds = kKeyExpirySeconds;
    client->Publish(
        topics.Key(kAclProbeUser), "release", 1, false,
        [this](int reason) {
            if (reason >= 0 && reason < 0x80)
                view.SetAclWarning(kNoAclText);
        },
        extras);
}

// Publishes a key or request under our own user name; a refusal by the
// broker is remembered and told, and later keys are not even sent.
void BrokerDriver::Open::Request(const std::string& what)
{
    if (user.empty()) {
        view.SetNotice("Keys need a broker user name: this viewer logged in without one.");
        return;
    }
    if (watchOnly) {
        view.SetNotice(kWatchOnlyText);
        return;
    }
    if (const std::string away = StationView::Away(view.Get()); !away.empty()) {
        view.SetNotice("The key was not sent: " + away + ".");
        return;
    }
    view.SetNotice({});
    const bool sent = PublishKey(what, [this](int reason) {
        if (reason == kReasonNotAuthorised) {
            watchOnly = true;
            view.SetNotice(kWatchOnlyText);
        } else if (reason == kReasonNoSubscribers) {
            view.SetNotice("The key did not reach the station: no station listens on the broker.");
        } else if (reason == kReasonUnacknowledged) {
            view.SetNotice("The key may not have reached the station: the connection to the broker ended before "
                           "the broker answered.");
        } else if (reason != kReasonSuccess) {
            view.SetNotice("The key did not reach the station: " + MqttClient::ReasonText(reason));
        }
    });
    if (!sent)
        view.SetNotice("The key was not sent: there is no connection to the broker.");
}

BrokerDriver::BrokerDriver(SharedStation station) : station_(std::move(station)) {}

BrokerDriver::~BrokerDriver()
{
    std::vector<FT_HANDLE> handles;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [handle, entry] : open_)
            handles.push_back(handle);
    }
    for (FT_HANDLE handle : handles)
        FT_Close(handle);
}

std::string BrokerDriver::LoadError() const
{
    const SharedStation station = Station();
    if (!ValidStationName(station.name))
        return "The shared station needs a name: letters, digits, '-' and '_', at most 32 characters.";
    std::string error;
    if (!ParseBrokerUrl(station.login.url, error))
        return error;
    if (std::string problem = TopicUserProblem(station.login.user); !problem.empty()) {
        problem[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(problem[0])));
        return problem + ".";
    }
    return {};
}

std::string BrokerDriver::ErrorDetail() const
{
    std::lock_guard lock(mutex_);
    return detail_;
}

void BrokerDriver::Detail(const std::string& text) const
{
    std::lock_guard lock(mutex_);
    detail_ = text;
}

std::string BrokerDriver::UpdateRefusal() const
{
    return kUpdateRefusedText;
}

void BrokerDriver::SetStation(const SharedStation& station)
{
    std::lock_guard lock(mutex_);
    station_ = station;
}

SharedStation BrokerDriver::Station() const
{
    std::lock_guard lock(mutex_);
    return station_;
}

std::shared_ptr<BrokerDriver::Open> BrokerDriver::Find(FT_HANDLE handle) const
{
    std::lock_guard lock(mutex_);
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second;
}

std::shared_ptr<BrokerDriver::Open> BrokerDriver::Current() const
{
    std::lock_guard lock(mutex_);
    return open_.empty() ? nullptr : open_.begin()->second;
}

FtdiDriver::SharedNote BrokerDriver::ShareNote() const
{
    const auto entry = Current();
    if (!entry)
        return {};
    const StationView::Snapshot now = entry->view.Get();
    SharedNote note;
    note.control = "shared station " + entry->name + ": ";
    if (!now.brokerUp)
        note.control += "reconnecting to the broker";
    else if (now.holder.empty())
        note.control += "nobody has control";
    else if (now.holder == entry->user)
        note.control += "you have control";
    else
        note.control += now.holder + " has control";
    note.away = StationView::Away(now);
    note.notice = now.notice;
    if (!note.away.empty())
        note.notice = "Off-line: " + note.away + ".";
    else if (note.notice.empty() && now.state == StationView::State::Quiet)
        note.notice = now.detail;
    for (const std::string* warning :
         std::initializer_list<const std::string*>{&now.aclWarning, &entry->plainTextWarning})
        if (!warning->empty())
            note.notice += (note.notice.empty() ? "" : " ") + *warning;
    return note;
}

FT_STATUS BrokerDriver::OpenStation(FT_HANDLE* handle)
{
    std::lock_guard openLock(openMutex_);
    const SharedStation station = Station();
    if (const std::string problem = LoadError(); !problem.empty()) {
        Detail(problem);
        return FT_DEVICE_NOT_FOUND;
    }
    {
        std::lock_guard lock(mutex_);
        if (!open_.empty()) {
            detail_ = "The shared station " + station.name + " is already open.";
            return FT_DEVICE_NOT_OPENED;
        }
    }

    auto entry = std::make_shared<Open>(station.name);
    entry->user = station.login.user;
    entry->plainTextWarning = PlainTextPasswordWarning(station.login);
    MqttClient::Options options;
    options.login = station.login;
    options.maxBackoffMs = kMaxBackoffMs;
    // A viewer that vanishes gives the control token back.
    if (!entry->user.empty())
        options.will = MqttWill{entry->KeyTopic(), "release", 1, false};
    entry->client = std::make_unique<MqttClient>(options);
    Open* open = entry.get();
    entry->client->OnMessage([open](const MqttMessage& message) {
        const std::string& prefix = open->topics.prefix;
        if (message.topic.size() > prefix.size() && message.topic.starts_with(prefix))
            open->view.OnMessage(std::string_view(message.topic).substr(prefix.size()),
                                 reinterpret_cast<const std::uint8_t*>(message.payload.data()), message.payload.size(),
                                 message.retained);
    });
    entry->client->OnConnect([open] { open->Connected(); });
    entry->client->OnDisconnect([open](const std::string& reason) { open->view.SetBrokerUp(false, reason); });
    for (const std::string* topic : {&entry->topics.state, &entry->topics.frame, &entry->topics.control})
        entry->client->Subscribe(*topic);
    if (!entry->user.empty())
        entry->client->Subscribe(entry->topics.Notice(entry->user));

    std::string error;
    if (!entry->client->Start(error)) {
        Detail(error);
        return FT_DEVICE_NOT_FOUND;
    }
    // Connected, and the station's retained state is in; or the first
    // failure (a refused login says so at once), or nothing by the deadline.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kOpenWaitMs);
    StationView::Snapshot now = entry->view.Get();
    bool failed = false;
    while (now.state == StationView::State::Unknown && Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const std::uint64_t seen = now.version;
        now = entry->view.WaitChange(seen, static_cast<int>(left.count()) + 1);
        if (!now.brokerUp && !now.brokerDetail.empty()) {
            failed = true;
            break;
        }
    }
    std::string why;
    if (failed)
        why = "The broker " + station.login.url + " cannot be used: " + now.brokerDetail;
    else if (now.state == StationView::State::Unknown && !now.brokerUp)
        why = "The broker " + station.login.url + " does not answer.";
    else if (now.state == StationView::State::Unknown)
        why = "Nothing is published for the station " + station.name + " on the broker " + station.login.url +
              ": is the station running, and is its name right?";
    else if (now.state == StationView::State::Down)
        why = "The shared station " + station.name + " is off-line: " + now.detail;
    if (!why.empty()) {
        entry->client->Stop();
        Detail(why);
        return FT_DEVICE_NOT_FOUND;
    }
    entry->delivered = 0;
    *handle = entry.get();
    std::lock_guard lock(mutex_);
    open_.emplace(*handle, std::move(entry));
    detail_.clear();
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    if (deviceIndex != 0) {
        Detail("There is only one shared station.");
        return FT_DEVICE_NOT_FOUND;
    }
    return OpenStation(handle);
}

FT_STATUS BrokerDriver::FT_OpenEx(const char* arg, DWORD flags, FT_HANDLE* handle)
{
    if (!arg || !handle || (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION))
        return FT_INVALID_PARAMETER;
    const std::string name = Station().name;
    if (flags != FT_OPEN_BY_SERIAL_NUMBER || name.empty() || name != arg) {
        Detail("The configured shared station is " + (name.empty() ? std::string("not set") : name) + ", not \"" + arg +
               "\".");
        return FT_DEVICE_NOT_FOUND;
    }
    return OpenStation(handle);
}

FT_STATUS BrokerDriver::FT_Close(FT_HANDLE handle)
{
    std::lock_guard openLock(openMutex_);
    std::shared_ptr<Open> entry;
    {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(handle);
        if (it == open_.end())
            return FT_INVALID_HANDLE;
        entry = std::move(it->second);
        open_.erase(it);
    }
    entry->closed = true;
    entry->view.Interrupt();
    // Leaving cleanly sends no last will: the holder gives control back itself.
    if (!entry->user.empty() && entry->view.Get().holder == entry->user) {
        auto taken = std::make_shared<std::promise<void>>();
        std::future<void> done = taken->get_future();
        if (entry->PublishKey("release", [taken](int) { taken->set_value(); }))
            done.wait_for(std::chrono::milliseconds(kReleaseWaitMs));
    }
    entry->client->Stop();
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    if (!bytesReturned || (!buffer && bytesToRead > 0))
        return FT_INVALID_PARAMETER;
    *bytesReturned = 0;
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    Open& open = *entry;
    std::unique_lock lock(open.mutex);
    if (open.at >= open.pending.size()) {
        // Nothing asked, nothing answered.
        if (!open.armed)
            return FT_OK;
        open.armed = false;
        const std::uint64_t delivered = open.delivered;
        lock.unlock();
        // The answer: a newer frame at once, any other change at once, the
        // same frame again when nothing changes for a while.
        const int waitMs = std::min<int>(kRepeatMs, static_cast<int>(open.readTimeoutMs.load()));
        StationView::Snapshot now = open.view.Get();
        const bool news =
            (now.state == StationView::State::Online && now.frameSeq != delivered && StationView::Away(now).empty()) ||
            now.state == StationView::State::Down;
        if (!news)
            now = open.view.WaitChange(now.version, waitMs);
        // A station gone the moment the broker shuts down may only be the
        // broker's farewell: it counts once it has lasted.
        for (int i = 0; i < 10 && now.state == StationView::State::Down && now.brokerUp &&
                        now.downForMs < StationView::kDownSettleMs;
             ++i)
            now = open.view.WaitChange(now.version, static_cast<int>(StationView::kDownSettleMs - now.downForMs) + 1);
        if (open.closed)
            return FT_INVALID_HANDLE;
        if (now.state == StationView::State::Down && now.brokerUp) {
            Detail(now.detail);
            return FT_IO_ERROR;
        }
        lock.lock();
        // Silent, not known since the broker came back, or out of reach (no
        // broker, or a station not heard): no answer, and the picture is
        // answered afresh once it is back.
        if (!StationView::Away(now).empty()) {
            open.delivered = 0;
            return FT_OK;
        }
        if (now.state != StationView::State::Online || now.frame.empty())
            return FT_OK;
        open.pending = std::move(now.frame);
        open.at = 0;
        open.delivered = now.frameSeq;
    }
    const std::size_t n = std::min<std::size_t>(bytesToRead, open.pending.size() - open.at);
    std::memcpy(buffer, open.pending.data() + open.at, n);
    open.at += n;
    *bytesReturned = static_cast<DWORD>(n);
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_Write(FT_HANDLE handle, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    if (!bytesWritten || (!buffer && bytesToWrite > 0))
        return FT_INVALID_PARAMETER;
    *bytesWritten = 0;
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    // Command frames, 55 55 55 01 c c, one after another; other bytes are
    // for a link this backend is not.
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (DWORD i = 0; i + 6 <= bytesToWrite; i += 6) {
        const std::uint8_t code = bytes[i + 4];
        if (!std::equal(bytes + i, bytes + i + 6, protocol::BuildCommandFrame(code).begin()))
            break;
        if (code == protocol::kQueryCode) {
            std::lock_guard lock(entry->mutex);
            entry->pending.clear();
            entry->at = 0;
            entry->armed = true;
        } else if (code >= kFirstKeyCode && code <= kLastKeyCode) {
            entry->Request(std::to_string(code));
        }
    }
    *bytesWritten = bytesToWrite;
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_Purge(FT_HANDLE handle, ULONG mask)
{
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    if (mask & FT_PURGE_RX) {
        std::lock_guard lock(entry->mutex);
        entry->pending.clear();
        entry->at = 0;
    }
    return FT_OK;
}

// DTR low with RTS high is the power-on pulse: the station pulses its own
// lines when asked.
FT_STATUS BrokerDriver::Line(FT_HANDLE handle, bool dtr, bool value)
{
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    bool pulse = false;
    {
        std::lock_guard lock(entry->mutex);
        const bool before = !entry->dtr && entry->rts;
        (dtr ? entry->dtr : entry->rts) = value;
        pulse = !before && !entry->dtr && entry->rts;
    }
    if (pulse)
        entry->Request("on");
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_SetDtr(FT_HANDLE handle)
{
    return Line(handle, true, true);
}

FT_STATUS BrokerDriver::FT_ClrDtr(FT_HANDLE handle)
{
    return Line(handle, true, false);
}

FT_STATUS BrokerDriver::FT_SetRts(FT_HANDLE handle)
{
    return Line(handle, false, true);
}

FT_STATUS BrokerDriver::FT_ClrRts(FT_HANDLE handle)
{
    return Line(handle, false, false);
}

FT_STATUS BrokerDriver::FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG /*writeTimeoutMs*/)
{
    const auto entry = Find(handle);
    if (!entry)
        return FT_INVALID_HANDLE;
    entry->readTimeoutMs = readTimeoutMs;
    return FT_OK;
}

// The station's link settings are the station's: accepted, nothing to do.
FT_STATUS BrokerDriver::FT_ResetDevice(FT_HANDLE handle)
{
    return FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
}

FT_STATUS BrokerDriver::FT_SetBaudRate(FT_HANDLE handle, ULONG /*baudRate*/)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS BrokerDriver::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR, UCHAR, UCHAR)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS BrokerDriver::FT_SetFlowControl(FT_HANDLE handle, USHORT, UCHAR, UCHAR)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS BrokerDriver::FT_SetResetPipeRetryCount(FT_HANDLE handle, DWORD)
{
    return Find(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FT_STATUS BrokerDriver::FT_CyclePort(FT_HANDLE handle)
{
    return FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX);
}

FT_STATUS BrokerDriver::FT_CreateDeviceInfoList(DWORD* numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    *numDevices = 1;
    return FT_OK;
}

FT_STATUS BrokerDriver::FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                               char* serialNumber, char* description, FT_HANDLE* handle)
{
    if (index != 0)
        return FT_DEVICE_NOT_FOUND;
    const bool open = Current() != nullptr;
    if (flags)
        *flags = open ? FT_FLAGS_OPENED : 0;
    if (type)
        *type = 0;
    if (id)
        *id = 0;
    if (locId)
        *locId = 0;
    if (serialNumber) {
        const std::string name = Station().name.substr(0, FT_SERIAL_BUFFER - 1);
        std::memset(serialNumber, 0, FT_SERIAL_BUFFER);
        std::memcpy(serialNumber, name.data(), name.size());
    }
    if (description)
        std::snprintf(description, FT_DESCRIPTION_BUFFER, "Vorlinq shared station");
    if (handle)
        *handle = nullptr;
    return FT_OK;
}

} // namespace share
