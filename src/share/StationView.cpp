#include "share/StationView.h"

#include "protocol/Frames.h"
#include "share/Topics.h"
#include "toolkit/Clock.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <chrono>

namespace share {

namespace {

constexpr int kVersion = 1;

// The payload as a JSON object of our version; empty when it is not one.
QJsonObject VersionedObject(std::string_view json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())));
    if (!doc.isObject())
        return {};
    QJsonObject object = doc.object();
    if (object.value("v").toInt(-1) != kVersion)
        return {};
    return object;
}

} // namespace

void StationView::Changed()
{
    ++now_.version;
    changed_.notify_all();
}

bool StationView::TakeFrame(const std::uint8_t* payload, std::size_t size)
{
    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx;
    std::uint8_t lamp = 0;
    if (protocol::CheckDisplayFrame(payload, size, rx.data(), lamp) != protocol::FrameOutcome::Valid)
        return false;
    now_.frame.assign(payload, payload + size);
    ++now_.frameSeq;
    return true;
}

bool StationView::TakeState(std::string_view json, bool retained)
{
    const QJsonObject object = VersionedObject(json);
    if (!retained && !object.isEmpty()) {
        heardAtMs_ = AppClock().NowMs();
        if (object.value("beat").isDouble()) {
            now_.beat = static_cast<std::uint64_t>(object.value("beat").toDouble());
            beatAtMs_ = heardAtMs_;
        }
        const int period = object.value("period_ms").toInt(0);
        periodMs_ = period > 0 ? period : 0;
    }
    const QString state = object.value("state").toString();
    const QString reason = object.value("reason").toString();
    std::string detail = object.value("detail").toString().toStdString();
    State next = State::Unknown;
    if (state == "online") {
        next = State::Online;
    } else if (state == "offline" && (reason == "silent" || reason == "updating")) {
        next = State::Quiet;
    } else if (state == "offline" || state == "gone") {
        next = State::Down;
        if (detail.empty())
            detail = state == "gone" ? "station gone" : "The shared station is off-line.";
    } else {
        return false;
    }
    if (next == State::Down && now_.state != State::Down) {
        beforeDown_ = now_.state;
        downSince_ = std::chrono::steady_clock::now();
    }
    now_.state = next;
    now_.detail = std::move(detail);
    return true;
}

bool StationView::TakeControl(std::string_view json)
{
    const QJsonObject object = VersionedObject(json);
    if (!object.contains("holder"))
        return false;
    const QJsonValue holder = object.value("holder");
    if (!holder.isNull() && !holder.isString())
        return false;
    now_.holder = holder.toString().toStdString();
    return true;
}

bool StationView::TakeNotice(std::string_view json)
{
    const QJsonObject object = VersionedObject(json);
    if (!object.value("text").isString())
        return false;
    now_.notice = object.value("text").toString().toStdString();
    return true;
}

void StationView::OnMessage(std::string_view subtopic, const std::uint8_t* payload, std::size_t size, bool retained)
{
    const std::string_view text(reinterpret_cast<const char*>(payload), size);
    std::lock_guard lock(mutex_);
    bool taken = false;
    if (subtopic == "frame")
        taken = TakeFrame(payload, size);
    else if (subtopic == "state")
        taken = TakeState(text, retained);
    else if (subtopic == "control")
        taken = TakeControl(text);
    else if (subtopic.starts_with("notice/"))
        taken = TakeNotice(text);
    if (taken)
        Changed();
}

void StationView::SetBrokerUp(bool up, const std::string& why)
{
    std::lock_guard lock(mutex_);
    if (up && !now_.brokerUp)
        heardAtMs_ = AppClock().NowMs(); // the station has its missed beats from now on
    now_.brokerUp = up;
    now_.brokerDetail = up ? std::string() : why;
    if (!up && now_.state == State::Down &&
        std::chrono::steady_clock::now() - downSince_ < std::chrono::milliseconds(kDownSettleMs)) {
        now_.state = beforeDown_;
        now_.detail.clear();
    }
    Changed();
}

void StationView::SetNotice(const std::string& text)
{
    std::lock_guard lock(mutex_);
    now_.notice = text;
    Changed();
}

void StationView::SetAclWarning(const std::string& text)
{
    std::lock_guard lock(mutex_);
    now_.aclWarning = text;
    Changed();
}

void StationView::Reset()
{
    std::lock_guard lock(mutex_);
    now_.state = State::Unknown;
    now_.detail.clear();
    now_.holder.clear();
    now_.notice.clear();
    now_.brokerUp = false;
    now_.brokerDetail.clear();
    Changed();
}

StationView::Snapshot StationView::WithAge(Snapshot snapshot) const
{
    const std::int64_t nowMs = AppClock().NowMs();
    snapshot.sinceBeatMs = snapshot.beat ? nowMs - beatAtMs_ : 0;
    const std::int64_t quietMs = nowMs - heardAtMs_;
    const int periodMs = periodMs_ > 0 ? periodMs_ : kBeatPeriodMs;
    snapshot.notHeardMs = snapshot.brokerUp && quietMs > kMissedBeats * periodMs ? quietMs : 0;
    if (snapshot.state == State::Down)
        snapshot.downForMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - downSince_)
                .count();
    return snapshot;
}

std::string StationView::Away(const Snapshot& snapshot)
{
    if (!snapshot.brokerUp)
        return "no connection to the broker" +
               (snapshot.brokerDetail.empty() ? std::string() : ": " + snapshot.brokerDetail);
    if (snapshot.notHeardMs > 0)
        return "station not heard for " + std::to_string(snapshot.notHeardMs / 1000) + " s";
    return {};
}

StationView::Snapshot StationView::Get() const
{
    std::lock_guard lock(mutex_);
    return WithAge(now_);
}

StationView::Snapshot StationView::WaitChange(std::uint64_t seen, int ms)
{
    std::unique_lock lock(mutex_);
    const std::uint64_t interrupts = interrupts_;
    changed_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return now_.version != seen || interrupts_ != interrupts; });
    return WithAge(now_);
}

void StationView::Interrupt()
{
    std::lock_guard lock(mutex_);
    ++interrupts_;
    changed_.notify_all();
}

} // namespace share
