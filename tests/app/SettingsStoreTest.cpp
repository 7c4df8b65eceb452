#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <map>

namespace app {

// Readable failures for EXPECT_EQ on whole settings.
void PrintTo(const StoredSettings& s, std::ostream* os)
{
    *os << "{id \"" << s.idString.toStdString() << "\" " << s.idEnabled << " win " << s.top << "," << s.left << " "
        << s.height << "x" << s.width << " keypad " << s.keypadTop << "," << s.keypadLeft << " vis " << s.keypadVisible
        << s.jKeypadVisible << " presets";
    for (int p : s.presets) {
        *os << " " << p;
    }
    *os << " item " << s.presetItem << "}";
}

} // namespace app

namespace {

using app::StoredSettings;

// The window's values at creation, deliberately unlike every default so that
// a test can tell "kept" from "defaulted".
StoredSettings AtCreation()
{
    StoredSettings s;
    s.idString = QString();
    s.idEnabled = false;
    s.top = 11;
    s.left = 12;
    s.height = 230;
    s.width = 520;
    s.keypadTop = 13;
    s.keypadLeft = 14;
    s.keypadVisible = false;
    s.jKeypadVisible = false;
    s.presets = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    s.presetItem = 4;
    return s;
}

// A complete store, every value different from the defaults and from AtCreation.
std::map<QString, QString> FullStore()
{
    return {
        {"FTDI_ID_String", "FT4XK7QZ"},      {"FTDI_ID_StringEnable", "1"},       {"ApplicationTop", "40"},
        {"ApplicationLeft", "-50"},          {"ApplicationHeight", "300"},        {"ApplicationWidth", "600"},
        {"ApplicationKeypadTop", "345"},     {"ApplicationKeypadLeft", "67"},     {"ApplicationKeypadVisible", "0"},
        {"ApplicationJKeypadVisible", "1"},  {"ApplicationPreset1Height", "101"}, {"ApplicationPreset1Width", "201"},
        {"ApplicationPreset2Height", "102"}, {"ApplicationPreset2Width", "202"},  {"ApplicationPreset3Height", "103"},
        {"ApplicationPreset3Width", "203"},  {"ApplicationPreset4Height", "104"}, {"ApplicationPreset4Width", "204"},
        {"ApplicationPreset5Height", "105"}, {"ApplicationPreset5Width", "205"},  {"ApplicationPresetItem", "2"},
    };
}

StoredSettings FullStoreRead()
{
    StoredSettings s;
    s.idString = "FT4XK7QZ";
    s.idEnabled = true;
    s.top = 40;
    s.left = -50;
    s.height = 300;
    s.width = 600;
    s.keypadTop = 345;
    s.keypadLeft = 67;
    s.keypadVisible = false;
    s.jKeypadVisible = true;
    s.presets = {101, 201, 102, 202, 103, 203, 104, 204, 105, 205};
    s.presetItem = 2;
    return s;
}

// What the defaults of a failed read do to `s`.
StoredSettings Defaulted(StoredSettings s)
{
    s.presets = {137, 259, 216, 508, 283, 752, 351, 1000, 488, 1424};
    s.keypadTop = 280;
    s.keypadLeft = 0;
    s.keypadVisible = true;
    s.top = 0;
    s.left = 0;
    s.presetItem = 3;
    return s;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir_;
    QString file_ = dir_.filePath(QStringLiteral("Vorlinq.ini"));

    void Store(const std::map<QString, QString>& values)
    {
        QSettings store(file_, QSettings::IniFormat);
        store.clear();
        for (const auto& [name, value] : values) {
            store.setValue(name, value);
        }
    }

    StoredSettings Load(StoredSettings s = AtCreation())
    {
        QSettings store(file_, QSettings::IniFormat);
        app::LoadSettings(store, s);
        return s;
    }

    QString Stored(const QString& name)
    {
        QSettings store(file_, QSettings::IniFormat);
        return store.value(name).toString();
    }
};

TEST_F(SettingsStoreTest, FirstRunGivesTheDefaults)
{
    StoredSettings expected = Defaulted(AtCreation());
    EXPECT_EQ(Load(), expected);
    EXPECT_TRUE(expected.idString.isEmpty());
    EXPECT_FALSE(expected.idEnabled);
    EXPECT_FALSE(expected.jKeypadVisible);
    // The window's own size is not among the defaults.
    EXPECT_EQ(expected.height, 230);
    EXPECT_EQ(expected.width, 520);
}

TEST_F(SettingsStoreTest, CompleteStoreIsReadAsStored)
{
    Store(FullStore());
    EXPECT_EQ(Load(), FullStoreRead());
}

TEST_F(SettingsStoreTest, SelectedPresetOutsideOneToFiveReadsAsOne)
{
    for (const auto& [stored, read] : std::map<QString, int>{{"0", 1}, {"6", 1}, {"-1", 1}, {"1", 1}, {"5", 5}}) {
        auto values = FullStore();
        values["ApplicationPresetItem"] = stored;
        Store(values);
        StoredSettings expected = FullStoreRead();
        expected.presetItem = read;
        EXPECT_EQ(Load(), expected) << "stored " << stored.toStdString();
    }
}

TEST_F(SettingsStoreTest, EmptyIdStringTurnsAddressingOffWithoutReadingTheFlag)
{
    auto values = FullStore();
    values["FTDI_ID_String"] = "";
    Store(values);
    StoredSettings expected = FullStoreRead();
    expected.idString.clear();
    expected.idEnabled = false;
    StoredSettings enabledAtCreation = AtCreation();
    enabledAtCreation.idEnabled = true;
    EXPECT_EQ(Load(enabledAtCreation), expected);

    // The flag is not read at all: its absence is no failure either.
    values.erase("FTDI_ID_String");
    values.erase("FTDI_ID_StringEnable");
    Store(values);
    EXPECT_EQ(Load(enabledAtCreation), expected);
}

TEST_F(SettingsStoreTest, MissingAddressingFlagKeepsTheIdStringAndDefaultsTheRest)
{
    auto values = FullStore();
    values.erase("FTDI_ID_StringEnable");
    Store(values);
    StoredSettings expected = Defaulted(AtCreation());
    expected.idString = "FT4XK7QZ";
    EXPECT_EQ(Load(), expected);
}

TEST_F(SettingsStoreTest, OnlyLastPresetValueMissingDefaultsAfterApplyingTheRest)
{
    auto values = FullStore();
    values.erase("ApplicationPreset5Width");
    Store(values);

    const StoredSettings loaded = Load();
    // Applied before the failure and not among the defaults: kept.
    EXPECT_EQ(loaded.idString, "FT4XK7QZ");
    EXPECT_TRUE(loaded.idEnabled);
    EXPECT_EQ(loaded.height, 300);
    EXPECT_EQ(loaded.width, 600);
    EXPECT_TRUE(loaded.jKeypadVisible);
    // Replaced by the defaults.
    EXPECT_EQ(loaded.top, 0);
    EXPECT_EQ(loaded.left, 0);
    EXPECT_EQ(loaded.keypadTop, 280);
    EXPECT_EQ(loaded.keypadLeft, 0);
    EXPECT_TRUE(loaded.keypadVisible);
    EXPECT_EQ(loaded.presets, app::kDefaultPresets);
    EXPECT_EQ(loaded.presetItem, 3);
}

TEST_F(SettingsStoreTest, PlacementIsAppliedOnlyWhenAllOfItWasRead)
{
    // The last placement value missing: none of the placement is applied, so
    // the window keeps its size from creation.
    auto values = FullStore();
    values.erase("ApplicationJKeypadVisible");
    Store(values);
    StoredSettings expected = Defaulted(AtCreation());
    expected.idString = "FT4XK7QZ";
    expected.idEnabled = true;
    EXPECT_EQ(Load(), expected);
}

TEST_F(SettingsStoreTest, MistypedValueFailsLikeAMissingOne)
{
    auto missing = FullStore();
    missing.erase("ApplicationPreset5Width");
    Store(missing);
    const StoredSettings whenMissing = Load();

    for (const char* bad : {"abc", "1.5", "", "true", "0x10", "99999999999"}) {
        auto values = FullStore();
        values["ApplicationPreset5Width"] = bad;
        Store(values);
        EXPECT_EQ(Load(), whenMissing) << "stored \"" << bad << "\"";
    }

    // The selected preset too: a mistyped one is a failure, not preset 1.
    auto values = FullStore();
    values["ApplicationPresetItem"] = "two";
    Store(values);
    EXPECT_EQ(Load().presetItem, 3);
    EXPECT_EQ(Load().presets, app::kDefaultPresets);
}

TEST_F(SettingsStoreTest, EveryValueSurvivesARoundTripUnderItsOwnName)
{
    StoredSettings saved = FullStoreRead();
    saved.idString = "FT 12,AB"; // a blank and a comma, which an INI file quotes
    {
        QSettings store(file_, QSettings::IniFormat);
        ASSERT_TRUE(app::SaveSettings(store, saved, QPoint(saved.keypadLeft, saved.keypadTop)));
    }
    EXPECT_EQ(Load(), saved);

    // Stored under exactly these names, booleans and integers as integers.
    const std::map<QString, QString> expected = {
        {"FTDI_ID_StringEnable", "1"},       {"ApplicationTop", "40"},           {"ApplicationLeft", "-50"},
        {"ApplicationHeight", "300"},        {"ApplicationWidth", "600"},        {"ApplicationKeypadTop", "345"},
        {"ApplicationKeypadLeft", "67"},     {"ApplicationKeypadVisible", "0"},  {"ApplicationJKeypadVisible", "1"},
        {"ApplicationPreset1Height", "101"}, {"ApplicationPreset3Width", "203"}, {"ApplicationPreset5Width", "205"},
        {"ApplicationPresetItem", "2"},
    };
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(Stored(name), value) << name.toStdString();
    }
    QFile ini(file_);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly | QIODevice::Text)); // line ends as this system writes them
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("ApplicationKeypadVisible=0\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("FTDI_ID_StringEnable=1\n")) << text.toStdString();
}

TEST_F(SettingsStoreTest, KeypadPositionIsWrittenOnlyFromAVisibleKeypad)
{
    Store(FullStore());
    StoredSettings closing = FullStoreRead();
    closing.keypadVisible = false;
    closing.jKeypadVisible = false;
    closing.top = 77;
    {
        QSettings store(file_, QSettings::IniFormat);
        ASSERT_TRUE(app::SaveSettings(store, closing, std::nullopt));
    }
    EXPECT_EQ(Stored("ApplicationKeypadTop"), "345");
    EXPECT_EQ(Stored("ApplicationKeypadLeft"), "67");
    EXPECT_EQ(Stored("ApplicationTop"), "77");
    EXPECT_EQ(Stored("ApplicationKeypadVisible"), "0");

    closing.jKeypadVisible = true;
    {
        QSettings store(file_, QSettings::IniFormat);
        ASSERT_TRUE(app::SaveSettings(store, closing, QPoint(500, 600)));
    }
    EXPECT_EQ(Stored("ApplicationKeypadTop"), "600");
    EXPECT_EQ(Stored("ApplicationKeypadLeft"), "500");
}

TEST_F(SettingsStoreTest, FailedWriteIsReportedNotFatal)
{
    QFile blocker(dir_.filePath(QStringLiteral("not-a-directory")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings store(blocker.fileName() + QStringLiteral("/Vorlinq.ini"), QSettings::IniFormat);
    EXPECT_FALSE(app::SaveSettings(store, FullStoreRead(), QPoint(1, 2)));
}

TEST_F(SettingsStoreTest, StoreLocation)
{
    const QByteArray before = qgetenv("VORLINQ_SETTINGS");
    qputenv("VORLINQ_SETTINGS", file_.toLocal8Bit());
    {
        const auto store = app::OpenVorlinqSettings();
        EXPECT_EQ(store->fileName(), file_);
        EXPECT_EQ(store->format(), QSettings::IniFormat);
    }
    qunsetenv("VORLINQ_SETTINGS");
    {
        // Only looked at, never written: this is the user's own store.
        const auto store = app::OpenVorlinqSettings();
        EXPECT_EQ(store->organizationName(), QStringLiteral("Maravel"));
        EXPECT_EQ(store->applicationName(), QStringLiteral("Vorlinq"));
        EXPECT_EQ(store->scope(), QSettings::UserScope);
    }
    if (!before.isNull()) {
        qputenv("VORLINQ_SETTINGS", before);
    }
}

TEST_F(SettingsStoreTest, ValuesOfTheOrganisationAndSystemStoresAreNotTheUsers)
{
    // The user's own store is empty; the organisation-wide file of the same
    // user and the system-wide one hold a complete set.
    const QString user = dir_.filePath(QStringLiteral("user"));
    const QString system = dir_.filePath(QStringLiteral("system"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, user);
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, system);
    for (const QString& other : {user + QStringLiteral("/Maravel.ini"), system + QStringLiteral("/Maravel/Vorlinq.ini"),
                                 system + QStringLiteral("/Maravel.ini")}) {
        QSettings elsewhere(other, QSettings::IniFormat);
        for (const auto& [name, value] : FullStore()) {
            elsewhere.setValue(name, value);
        }
    }
    const QByteArray before = qgetenv("VORLINQ_SETTINGS");
    qunsetenv("VORLINQ_SETTINGS");
    {
        const auto store = app::OpenVorlinqSettings();
        ASSERT_EQ(store->fileName(), user + QStringLiteral("/Maravel/Vorlinq.ini"));
        StoredSettings s = AtCreation();
        app::LoadSettings(*store, s);
        EXPECT_EQ(s, Defaulted(AtCreation())); // a first run
    }
    if (!before.isNull()) {
        qputenv("VORLINQ_SETTINGS", before);
    }
}

TEST_F(SettingsStoreTest, RemoteStationIsReadAfterTheRestAndAMissingValueNeverDefaultsAnything)
{
    std::map<QString, QString> values = FullStore();
    values["ApplicationRemoteEnable"] = "1";
    values["ApplicationRemoteAddress"] = "station.example.org:3002";
    values["ApplicationRemoteTls"] = "1";
    values["ApplicationRemoteCA"] = "/etc/ca.crt";
    Store(values); // no client certificate or key stored
    EXPECT_EQ(Load(), FullStoreRead()) << "the existing values read exactly as before";

    QSettings store(file_, QSettings::IniFormat);
    app::StoredRemote remote;
    remote.station.certFile = "as before";
    app::LoadRemoteSettings(store, remote);
    EXPECT_TRUE(remote.enabled);
    EXPECT_EQ(remote.station.address, "station.example.org:3002");
    EXPECT_TRUE(remote.station.tls);
    EXPECT_EQ(remote.station.caFile, "/etc/ca.crt");
    EXPECT_EQ(remote.station.certFile, "as before");

    remote.station.certFile = "op.crt";
    remote.station.keyFile = "op.key";
    ASSERT_TRUE(app::SaveRemoteSettings(store, remote));
    app::StoredRemote back;
    app::LoadRemoteSettings(store, back);
    EXPECT_EQ(back, remote);
}

TEST_F(SettingsStoreTest, SharedStationIsKeptButNeverItsPassword)
{
    Store(FullStore());
    app::StoredRemote remote;
    remote.shared.enabled = true;
    remote.shared.station = {"shack", {"mqtts://broker.example.org", "ca.crt", "", "", "alice", "hunter2-secret"}};
    {
        QSettings store(file_, QSettings::IniFormat);
        ASSERT_TRUE(app::SaveRemoteSettings(store, remote));
    }
    QFile written(file_);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_FALSE(written.readAll().contains("hunter2")) << "the password reached the settings file";
    EXPECT_EQ(Load(), FullStoreRead()) << "the existing values read exactly as before";

    QSettings store(file_, QSettings::IniFormat);
    app::StoredRemote back;
    app::LoadRemoteSettings(store, back);
    remote.shared.station.login.password.clear();
    EXPECT_EQ(back, remote);
}

TEST(EnsureOnScreen, OnlyAWindowWhollyOffEveryScreenIsMoved)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();

    const QRect inside(screen.left() + 10, screen.top() + 20, 200, 100);
    EXPECT_EQ(app::EnsureOnScreen(inside), inside.topLeft());
    const QRect partlyOff(screen.left() - 150, screen.top() + 20, 200, 100);
    EXPECT_EQ(app::EnsureOnScreen(partlyOff), partlyOff.topLeft());

    for (const QRect& off : {QRect(screen.right() + 100, screen.top() + 30, 200, 100),
                             QRect(screen.left() - 5000, screen.top() - 5000, 200, 100),
                             QRect(screen.left() + 30, screen.bottom() + 1, 200, 100)}) {
        const QPoint moved = app::EnsureOnScreen(off);
        EXPECT_TRUE(area.contains(QRect(moved, off.size()))) << off.x() << "," << off.y();
    }
}

} // namespace
