// The settings store in the registry, looked at with reg.exe as a user or an
// earlier install would: the key, every value name and its registry type.
#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <map>
#include <utility>

namespace {

const QString kKey = QStringLiteral("HKCU\\Software\\Maravel\\Vorlinq");

struct RegValue {
    QString type;
    QString data;
};

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { Reg({"delete", kKey, "/f"}); }

    static QString Reg(const QStringList& args)
    {
        QProcess reg;
        reg.start(QStringLiteral("reg"), args);
        reg.waitForFinished(30000);
        return QString::fromLocal8Bit(reg.readAllStandardOutput());
    }

    // Every value under the key, as reg query lists it.
    static std::map<QString, RegValue> Query()
    {
        std::map<QString, RegValue> values;
        static const QRegularExpression line(QStringLiteral("^\\s+(\\S+)\\s+(REG_\\w+)\\s*(.*?)\\s*$"));
        for (const QString& text : Reg({"query", kKey}).split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = line.match(text);
            if (m.hasMatch()) {
                values[m.captured(1)] = {m.captured(2), m.captured(3)};
            }
        }
        return values;
    }

    static void Add(const QString& name, const QString& type, const QString& data)
    {
        Reg({"add", kKey, "/v", name, "/t", type, "/d", data, "/f"});
    }

    static app::StoredSettings Load()
    {
        app::StoredSettings s;
        app::LoadSettings(*app::OpenVorlinqSettings(), s);
        return s;
    }
};

// The layout as an earlier install left it: name, registry type, data.
const std::pair<const char*, RegValue> kLayout[] = {
    {"FTDI_ID_String", {"REG_SZ", "FT4XK7QZ"}},          {"FTDI_ID_StringEnable", {"REG_DWORD", "0x1"}},
    {"ApplicationTop", {"REG_DWORD", "0x28"}},           {"ApplicationLeft", {"REG_DWORD", "0x32"}},
    {"ApplicationHeight", {"REG_DWORD", "0x12c"}},       {"ApplicationWidth", {"REG_DWORD", "0x258"}},
    {"ApplicationKeypadTop", {"REG_DWORD", "0x159"}},    {"ApplicationKeypadLeft", {"REG_DWORD", "0x43"}},
    {"ApplicationKeypadVisible", {"REG_DWORD", "0x0"}},  {"ApplicationJKeypadVisible", {"REG_DWORD", "0x1"}},
    {"ApplicationPreset1Height", {"REG_DWORD", "0x65"}}, {"ApplicationPreset1Width", {"REG_DWORD", "0xc9"}},
    {"ApplicationPreset2Height", {"REG_DWORD", "0x66"}}, {"ApplicationPreset2Width", {"REG_DWORD", "0xca"}},
    {"ApplicationPreset3Height", {"REG_DWORD", "0x67"}}, {"ApplicationPreset3Width", {"REG_DWORD", "0xcb"}},
    {"ApplicationPreset4Height", {"REG_DWORD", "0x68"}}, {"ApplicationPreset4Width", {"REG_DWORD", "0xcc"}},
    {"ApplicationPreset5Height", {"REG_DWORD", "0x69"}}, {"ApplicationPreset5Width", {"REG_DWORD", "0xcd"}},
    {"ApplicationPresetItem", {"REG_DWORD", "0x2"}},
};

// kLayout as the display window holds it (in StoredSettings' order: ID, flag,
// top, left, height, width, keypad top and left, both keypads, presets, item).
const app::StoredSettings kLayoutSettings = {
    "FT4XK7QZ", true, 40, 50, 300, 600, 345, 67, false, true, {101, 201, 102, 202, 103, 203, 104, 204, 105, 205}, 2};

TEST_F(RegistryStoreTest, SavedValuesLandUnderTheUserKeyAsDwordsAndStrings)
{
    ASSERT_TRUE(app::SaveSettings(*app::OpenVorlinqSettings(), kLayoutSettings, QPoint(67, 345)));
    const std::map<QString, RegValue> stored = Query();
    for (const auto& [name, value] : kLayout) {
        ASSERT_TRUE(stored.contains(name)) << name;
        EXPECT_EQ(stored.at(name).type, value.type) << name;
        EXPECT_EQ(stored.at(name).data.toUInt(nullptr, 0), value.data.toUInt(nullptr, 0)) << name;
    }
    EXPECT_EQ(stored.at("FTDI_ID_String").data, "FT4XK7QZ");
}

TEST_F(RegistryStoreTest, AnEarlierLayoutIsReadAsItStandsAndAValueOfTheWrongTypeFailsTheRead)
{
    auto addLayout = [] {
        for (const auto& [name, value] : kLayout) {
            const bool number = value.type == "REG_DWORD";
            Add(name, value.type, number ? QString::number(value.data.toUInt(nullptr, 0)) : value.data);
        }
    };
    addLayout();
    EXPECT_EQ(Load(), kLayoutSettings);

    // A boolean or a number kept as text, a text kept as a number: each ends
    // the reading, and the defaults come in (the selected preset becomes 3).
    const std::pair<const char*, RegValue> mistyped[] = {{"ApplicationJKeypadVisible", {"REG_SZ", "1"}},
                                                         {"ApplicationKeypadVisible", {"REG_SZ", "true"}},
                                                         {"ApplicationPreset5Width", {"REG_SZ", "205"}},
                                                         {"FTDI_ID_String", {"REG_DWORD", "7"}}};
    for (const auto& [name, value] : mistyped) {
        SCOPED_TRACE(name);
        addLayout();
        Add(name, value.type, value.data);
        const app::StoredSettings s = Load();
        EXPECT_EQ(s.presetItem, 3);
        EXPECT_EQ(s.presets, app::kDefaultPresets);
    }
}

} // namespace
