#pragma once
// The display window's stored settings: window and keypad placement, keypad
// visibility, the five display presets, the selected preset and the USB
// device identification. Read once when the display window is created,
// written once when it closes.
//
// The store is QSettings under organisation "Maravel", application "Vorlinq":
// on Windows the per-user registry key Software\Maravel\Vorlinq, elsewhere a
// per-user INI file (app/SettingsBackend.h). Integers and booleans are stored
// as integers (0/1), REG_DWORD in the registry, and texts as REG_SZ; a value
// that is missing or does not read as a 32-bit integer is a failed read, and
// so is a value of another type where the store expects a text.

#include "link/RemoteStation.h"
#include "share/SharedStation.h"

#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace app {

// The built-in display presets: outer height and width of presets 1 to 5.
inline constexpr std::array<int, 10> kDefaultPresets = {137, 259, 216, 508, 283, 752, 351, 1000, 488, 1424};

// What the display window keeps in the store.
struct StoredSettings {
    QString idString;       // USB serial number of the one device to open
    bool idEnabled = false; // open only the device with idString
    int top = 0;
    int left = 0;
    int height = 214; // the display window's outer size
    int width = 507;
    int keypadTop = 280; // where a keypad window is placed when created
    int keypadLeft = 0;
    bool keypadVisible = true;                     // full keypad shown (actKeypad checked)
    bool jKeypadVisible = false;                   // basic keypad shown (actJKeypad checked)
    std::array<int, 10> presets = kDefaultPresets; // height 1, width 1, ... width 5
    int presetItem = 3;                            // selected preset, 1 to 5

    bool operator==(const StoredSettings&) const = default;
};

// The store the program uses. The environment variable VORLINQ_SETTINGS, when
// set, names an INI file to use instead (tests and demonstrations).
std::unique_ptr<QSettings> OpenVorlinqSettings();

// Reads the stored values into `s`, which comes in holding the display
// window's values at creation. Values are read in a fixed order and the first
// failed read stops the reading: what was applied before it stays, and the
// presets, the window and keypad positions, the full keypad's visibility and
// the selected preset then take their defaults. A selected preset outside 1
// to 5 reads as 1.
void LoadSettings(QSettings& store, StoredSettings& s);

// Writes every value. `visibleKeypadTopLeft` is the position (x = left,
// y = top) of the keypad window that is visible, the basic one when both are;
// with no keypad visible the stored keypad position is left as it was.
// False when the store could not be written; nothing else happens then.
bool SaveSettings(QSettings& store, const StoredSettings& s, std::optional<QPoint> visibleKeypadTopLeft);

// The remote station chosen in the connection dialog. Kept under value names
// of its own ("ApplicationRemoteEnable", "ApplicationRemoteAddress",
// "ApplicationRemoteTls", "ApplicationRemoteCA", "ApplicationRemoteCert",
// "ApplicationRemoteKey") that are read after all the others: a missing or
// unreadable one leaves its value as it was and never brings in the defaults
// of LoadSettings.
// The shared station (a station on an MQTT broker) comes after them under
// names of its own: "ApplicationSharedEnable", "ApplicationSharedName",
// "ApplicationSharedBroker", "ApplicationSharedCA", "ApplicationSharedCert",
// "ApplicationSharedKey", "ApplicationSharedUser". Its password is never
// written to the store. A shared station that is enabled wins over a remote one.
struct StoredShared {
    bool enabled = false; // view the shared station instead of the USB device
    share::SharedStation station;

    bool operator==(const StoredShared&) const = default;
};
struct StoredRemote {
    bool enabled = false; // connect to the remote station instead of the USB device
    RemoteStation station;
    StoredShared shared;

    bool operator==(const StoredRemote&) const = default;
};
void LoadRemoteSettings(QSettings& store, StoredRemote& r);
bool SaveRemoteSettings(QSettings& store, const StoredRemote& r);

// Whether a screen reader speaks the display's changes ("ApplicationSpokenChanges",
// 0 or 1), read on its own like the remote station: missing or unreadable
// gives `fallback`.
bool LoadSpokenChanges(QSettings& store, bool fallback);
void SaveSpokenChanges(QSettings& store, bool on);

// Where to put a window with the frame `frame`: where it is unless it would be
// wholly off every screen (a screen that is no longer attached), in which case
// it is moved onto the primary screen.
QPoint EnsureOnScreen(QRect frame);

} // namespace app
