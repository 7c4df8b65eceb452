#pragma once
// Where the settings store keeps its values on this system, and what counts
// there as a stored integer or text. One implementation per platform, chosen
// by the build: SettingsBackendPosix.cpp (a per-user INI file) and
// SettingsBackendWindows.cpp (the per-user registry).

#include <QSettings>
#include <QVariant>

#include <memory>

namespace app {

// The current user's store of organisation "Maravel", application "Vorlinq".
std::unique_ptr<QSettings> OpenUserStore();

// Whether `value`, as read from `store`, is a stored 32-bit integer; `out`
// receives it then. Booleans are stored as the integers 0 and 1.
bool StoredInteger(const QSettings& store, const QVariant& value, int& out);

// Whether `value`, as read from `store`, is a stored text.
bool StoredText(const QSettings& store, const QVariant& value);

// An integer as a file store holds it: a whole decimal number in the text.
bool IntegerInText(const QVariant& value, int& out);

} // namespace app
