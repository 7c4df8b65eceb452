// The settings store in a per-user INI file (~/.config/Maravel/Vorlinq.ini),
// where every value is text.

#include "app/SettingsBackend.h"

namespace app {

std::unique_ptr<QSettings> OpenUserStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Maravel"),
                                       QStringLiteral("Vorlinq"));
}

bool StoredInteger(const QSettings&, const QVariant& value, int& out)
{
    return IntegerInText(value, out);
}

bool StoredText(const QSettings&, const QVariant& value)
{
    return value.isValid();
}

} // namespace app
