// The display window's side of the settings store: what it reads while it is
// created and writes when it closes.

#include "Mainform.h"

#include "app/SettingsStore.h"

#include <QAction>

void TForm1::LoadStoredSettings()
{
    app::StoredSettings s;
    s.idString = IDString;
    s.idEnabled = IDAddressing;
    s.top = y();
    s.left = x();
    s.height = OuterHeight();
    s.width = OuterWidth();
    s.keypadTop = KeypadTop;
    s.keypadLeft = KeypadLeft;
    s.keypadVisible = actKeypad->isChecked();
    s.jKeypadVisible = actJKeypad->isChecked();
    s.presets = Presets;
    s.presetItem = SelectedPreset;

    if (std::unique_ptr<QSettings> store = app::OpenVorlinqSettings()) {
        app::LoadSettings(*store, s);
        app::LoadRemoteSettings(*store, Remote);
        actSpeakChanges->setChecked(app::LoadSpokenChanges(*store, actSpeakChanges->isChecked()));
    }

    IDString = s.idString;
    IDAddressing = s.idEnabled;
    SetOuterSize(s.height, s.width);
    const QPoint topLeft = app::EnsureOnScreen(QRect(s.left, s.top, s.width, s.height));
    move(topLeft);
    // A keypad stored on a screen that is gone comes back onto the primary
    // screen (measured with the full keypad's size, the larger of the two).
    const QPoint keypad = app::EnsureOnScreen(QRect(s.keypadLeft, s.keypadTop, 508, 152));
    KeypadTop = keypad.y();
    KeypadLeft = keypad.x();
    actKeypad->setChecked(s.keypadVisible);
    actJKeypad->setChecked(s.jKeypadVisible);
    Presets = s.presets;
    SelectedPreset = s.presetItem;
}

void TForm1::SaveStoredSettings()
{
    app::StoredSettings s;
    s.idString = IDString;
    s.idEnabled = IDAddressing;
    s.top = y();
    s.left = x();
    s.height = OuterHeight();
    s.width = OuterWidth();
    s.keypadVisible = actKeypad->isChecked();
    s.jKeypadVisible = actJKeypad->isChecked();
    s.presets = Presets;
    s.presetItem = SelectedPreset;

    std::optional<QPoint> keypad;
    for (QWidget* window : {KeypadWindow(), JKeypadWindow()}) {
        if (window && window->isVisible())
            keypad = QPoint(window->x(), window->y());
    }
    if (std::unique_ptr<QSettings> store = app::OpenVorlinqSettings()) {
        app::SaveSettings(*store, s, keypad);
        app::SaveRemoteSettings(*store, Remote);
        app::SaveSpokenChanges(*store, actSpeakChanges->isChecked());
    }
}
