// The settings store in the registry, under
// HKEY_CURRENT_USER\Software\Maravel\Vorlinq. QSettings' native format keeps
// an int as REG_DWORD and a QString as REG_SZ and reads each back with its
// type, which is the layout the store has always had; booleans reach it as
// the integers 0 and 1. A value of another registry type than the one its
// name calls for is a failed read, even a REG_SZ that holds digits.

#include "app/SettingsBackend.h"

namespace app {

namespace {

bool InRegistry(const QSettings& store)
{
    return store.format() == QSettings::NativeFormat;
}

} // namespace

std::unique_ptr<QSettings> OpenUserStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Maravel"),
                                       QStringLiteral("Vorlinq"));
}

bool StoredInteger(const QSettings& store, const QVariant& value, int& out)
{
    if (!InRegistry(store)) {
        return IntegerInText(value, out);
    }
    if (value.typeId() != QMetaType::Int) { // REG_DWORD
        return false;
    }
    out = value.toInt();
    return true;
}

bool StoredText(const QSettings& store, const QVariant& value)
{
    return InRegistry(store) ? value.typeId() == QMetaType::QString : value.isValid(); // REG_SZ
}

} // namespace app
