#include "app/SettingsStore.h"

#include "app/SettingsBackend.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace app {

namespace {

const QString kIdString = QStringLiteral("FTDI_ID_String");
const QString kIdStringEnable = QStringLiteral("FTDI_ID_StringEnable");
const QString kTop = QStringLiteral("ApplicationTop");
const QString kLeft = QStringLiteral("ApplicationLeft");
const QString kHeight = QStringLiteral("ApplicationHeight");
const QString kWidth = QStringLiteral("ApplicationWidth");
const QString kKeypadTop = QStringLiteral("ApplicationKeypadTop");
const QString kKeypadLeft = QStringLiteral("ApplicationKeypadLeft");
const QString kKeypadVisible = QStringLiteral("ApplicationKeypadVisible");
const QString kJKeypadVisible = QStringLiteral("ApplicationJKeypadVisible");
const QString kPresetItem = QStringLiteral("ApplicationPresetItem");
const QString kRemoteEnable = QStringLiteral("ApplicationRemoteEnable");
const QString kRemoteAddress = QStringLiteral("ApplicationRemoteAddress");
const QString kRemoteTls = QStringLiteral("ApplicationRemoteTls");
const QString kRemoteCa = QStringLiteral("ApplicationRemoteCA");
const QString kRemoteCert = QStringLiteral("ApplicationRemoteCert");
const QString kRemoteKey = QStringLiteral("ApplicationRemoteKey");
const QString kSpokenChanges = QStringLiteral("ApplicationSpokenChanges");
const QString kRemoteName = QStringLiteral("ApplicationRemoteName");
const QString kSharedEnable = QStringLiteral("ApplicationSharedEnable");
const QString kSharedName = QStringLiteral("ApplicationSharedName");
const QString kSharedBroker = QStringLiteral("ApplicationSharedBroker");
const QString kSharedCa = QStringLiteral("ApplicationSharedCA");
const QString kSharedCert = QStringLiteral("ApplicationSharedCert");
const QString kSharedKey = QStringLiteral("ApplicationSharedKey");
const QString kSharedUser = QStringLiteral("ApplicationSharedUser");

// Preset1Height, Preset1Width, Preset2Height, ... Preset5Width: one to one
// with the preset table.
QString PresetName(std::size_t index)
{
    return QStringLiteral("ApplicationPreset%1%2")
        .arg(index / 2 + 1)
        .arg(index % 2 == 0 ? QStringLiteral("Height") : QStringLiteral("Width"));
}

// A stored 32-bit integer. False when the value is missing or is not one.
bool ReadInt(const QSettings& store, const QString& name, int& out)
{
    return StoredInteger(store, store.value(name), out);
}

// Reads in the stored order and applies as it goes; false at the first
// failed read, with everything before it applied.
bool ReadInOrder(const QSettings& store, StoredSettings& s)
{
    const QVariant id = store.value(kIdString);
    if (id.isValid() && !StoredText(store, id)) {
        return false;
    }
    s.idString = id.toString(); // missing: empty
    if (s.idString.isEmpty()) {
        s.idEnabled = false; // nothing to address by; the flag is not read
    } else {
        int enabled = 0;
        if (!ReadInt(store, kIdStringEnable, enabled)) {
            return false;
        }
        s.idEnabled = enabled != 0;
    }

    // The placement values are all read before any is applied.
    const QString placementNames[] = {kTop,       kLeft,       kHeight,        kWidth,
                                      kKeypadTop, kKeypadLeft, kKeypadVisible, kJKeypadVisible};
    int placement[std::size(placementNames)] = {};
    for (std::size_t i = 0; i < std::size(placementNames); ++i) {
        if (!ReadInt(store, placementNames[i], placement[i])) {
            return false;
        }
    }
    s.top = placement[0];
    s.left = placement[1];
    s.height = placement[2];
    s.width = placement[3];
    s.keypadTop = placement[4];
    s.keypadLeft = placement[5];
    s.keypadVisible = placement[6] != 0;
    s.jKeypadVisible = placement[7] != 0;

    for (std::size_t i = 0; i < s.presets.size(); ++i) {
        if (!ReadInt(store, PresetName(i), s.presets[i])) {
            return false;
        }
    }

    int item = 0;
    if (!ReadInt(store, kPresetItem, item)) {
        return false;
    }
    s.presetItem = (item < 1 || item > 5) ? 1 : item;
    return true;
}

} // namespace

bool IntegerInText(const QVariant& value, int& out)
{
    if (!value.isValid()) {
        return false;
    }
    bool ok = false;
    const int number = value.toString().toInt(&ok);
    if (ok) {
        out = number;
    }
    return ok;
}

std::unique_ptr<QSettings> OpenVorlinqSettings()
{
    const QString file = qEnvironmentVariable("VORLINQ_SETTINGS");
    std::unique_ptr<QSettings> store =
        file.isEmpty() ? OpenUserStore() : std::make_unique<QSettings>(file, QSettings::IniFormat);
    // Only the user's own values count: a value missing there is a failed
    // read, not one to be taken from the organisation-wide or system-wide
    // store (or /etc/xdg) instead.
    store->setFallbacksEnabled(false);
    return store;
}

void LoadSettings(QSettings& store, StoredSettings& s)
{
    if (ReadInOrder(store, s)) {
        return;
    }
    // A failed read (a first run, or a damaged store): fall back on the
    // defaults for these; what was read and applied before the failure and
    // is not named here stays.
    s.presets = kDefaultPresets;
    s.keypadTop = 280;
    s.keypadLeft = 0;
    s.keypadVisible = true;
    s.top = 0;
    s.left = 0;
    s.presetItem = 3;
}

bool SaveSettings(QSettings& store, const StoredSettings& s, std::optional<QPoint> visibleKeypadTopLeft)
{
    store.setValue(kIdString, s.idString);
    store.setValue(kIdStringEnable, s.idEnabled ? 1 : 0);
    store.setValue(kTop, s.top);
    store.setValue(kLeft, s.left);
    store.setValue(kHeight, s.height);
    store.setValue(kWidth, s.width);
    if (visibleKeypadTopLeft) {
        store.setValue(kKeypadTop, visibleKeypadTopLeft->y());
        store.setValue(kKeypadLeft, visibleKeypadTopLeft->x());
    }
    store.setValue(kKeypadVisible, s.keypadVisible ? 1 : 0);
    store.setValue(kJKeypadVisible, s.jKeypadVisible ? 1 : 0);
    for (std::size_t i = 0; i < s.presets.size(); ++i) {
        store.setValue(PresetName(i), s.presets[i]);
    }
    store.setValue(kPresetItem, s.presetItem);
    store.sync();
    return store.status() == QSettings::NoError;
}

void LoadRemoteSettings(QSettings& store, StoredRemote& r)
{
    int flag = 0;
    if (ReadInt(store, kRemoteEnable, flag)) {
        r.enabled = flag != 0;
    }
    if (ReadInt(store, kRemoteTls, flag)) {
        r.station.tls = flag != 0;
    }
    const std::pair<const QString*, std::string*> texts[] = {{&kRemoteAddress, &r.station.address},
                                                             {&kRemoteCa, &r.station.caFile},
                                                             {&kRemoteCert, &r.station.certFile},
                                                             {&kRemoteKey, &r.station.keyFile},
                                                             {&kRemoteName, &r.station.serverName}};
    for (const auto& [name, into] : texts) {
        const QVariant value = store.value(*name);
        if (value.isValid()) {
            *into = value.toString().toStdString();
        }
    }

    // The shared station, after everything else.
    if (ReadInt(store, kSharedEnable, flag)) {
        r.shared.enabled = flag != 0;
    }
    share::BrokerLogin& login = r.shared.station.login;
    const std::pair<const QString*, std::string*> sharedTexts[] = {
        {&kSharedName, &r.shared.station.name}, {&kSharedBroker, &login.url},  {&kSharedCa, &login.caFile},
        {&kSharedCert, &login.certFile},        {&kSharedKey, &login.keyFile}, {&kSharedUser, &login.user}};
    for (const auto& [name, into] : sharedTexts) {
        const QVariant value = store.value(*name);
        if (value.isValid()) {
            *into = value.toString().toStdString();
        }
    }
}

bool SaveRemoteSettings(QSettings& store, const StoredRemote& r)
{
    store.setValue(kRemoteEnable, r.enabled ? 1 : 0);
    store.setValue(kRemoteAddress, QString::fromStdString(r.station.address));
    store.setValue(kRemoteTls, r.station.tls ? 1 : 0);
    store.setValue(kRemoteCa, QString::fromStdString(r.station.caFile));
    store.setValue(kRemoteCert, QString::fromStdString(r.station.certFile));
    store.setValue(kRemoteKey, QString::fromStdString(r.station.keyFile));
    store.setValue(kRemoteName, QString::fromStdString(r.station.serverName));
    const share::BrokerLogin& login = r.shared.station.login;
    store.setValue(kSharedEnable, r.shared.enabled ? 1 : 0);
    store.setValue(kSharedName, QString::fromStdString(r.shared.station.name));
    store.setValue(kSharedBroker, QString::fromStdString(login.url));
    store.setValue(kSharedCa, QString::fromStdString(login.caFile));
    store.setValue(kSharedCert, QString::fromStdString(login.certFile));
    store.setValue(kSharedKey, QString::fromStdString(login.keyFile));
    store.setValue(kSharedUser, QString::fromStdString(login.user));
    store.sync();
    return store.status() == QSettings::NoError;
}

QPoint EnsureOnScreen(QRect frame)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        if (screen->geometry().intersects(frame)) {
            return frame.topLeft();
        }
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return frame.topLeft();
    }
    // Onto the primary screen, as near to the stored place as it fits; a
    // window larger than the screen keeps its top-left corner on it.
    const QRect area = primary->availableGeometry();
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

bool LoadSpokenChanges(QSettings& store, bool fallback)
{
    int flag = 0;
    return ReadInt(store, kSpokenChanges, flag) ? flag != 0 : fallback;
}

void SaveSpokenChanges(QSettings& store, bool on)
{
    store.setValue(kSpokenChanges, on ? 1 : 0);
    store.sync();
}

} // namespace app
