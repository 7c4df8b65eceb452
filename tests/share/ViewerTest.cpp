// Viewers of a shared station against the real thing: the program running as
// a station on the simulated amplifier, a real mosquitto between, and display
// windows fed by the shared-station backend, as operators and a watcher.

#include "Mainform.h"
#include "display/CharText.h"
#include "link/LinkConfig.h"
#include "share/BrokerDriver.h"
#include "share/MqttClient.h"
#include "support/BrokerFixture.h"
#include "WindowViewer.h"
#include "support/FakeBoxes.h"
#include "support/ProcessEvents.h"
#include "toolkit/TThread.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>

#include <memory>

namespace {

using namespace brokertest;
using sharetest::Viewer;

constexpr const char* kName = "shack";
constexpr int kWaitMs = 15000;

class SharedStationViewers : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VORLINQ_SETTINGS", settings.filePath("viewer.ini").toLocal8Bit());
        StartStation();
    }
    void TearDown() override
    {
        station.Kill();
        station.Wait(5000);
        // A poll thread ended by a lost link releases itself through the event loop.
        ProcessEventsUntil([] { return TThread::Running() == 0; }, kWaitMs);
        ProcessEventsUntil([] { return false; }, 5);
    }

    void StartStation()
    {
        ASSERT_TRUE(station.Start(
            VORLINQ_PROGRAM, {std::string("--station=") + kName, "--broker=" + broker.Url(), "--broker-user=station",
                              "--broker-password-file=" + broker.PasswordFile(kStation), "--simulator"}));
        ASSERT_FALSE(watch.WaitFor(std::string("vorlinq/v1/") + kName + "/frame", kWaitMs).empty())
            << "the station publishes no frame";
    }

    // The station's published screen text, once it is not blank.
    std::string StationText()
    {
        return watch.WaitFor(
            std::string("vorlinq/v1/") + kName + "/text",
            [](const std::string& text) { return text.find_first_not_of(" \n") != std::string::npos; }, kWaitMs);
    }

    static bool Until(const std::function<bool()>& done) { return ProcessEventsUntil(done, kWaitMs); }
    share::SharedStation At(const Account& account) const { return {kName, broker.Login(account)}; }

    QTemporaryDir settings;
    FakeBoxes boxes;
    Broker broker;
    Listener watch{broker, kMonitor, std::string("vorlinq/v1/") + kName + "/#"};
    ChildProcess station;
};

TEST_F(SharedStationViewers, TwoViewersShowTheStationsScreenAndOnlyTheHoldersKeysReachTheAmplifier)
{
    Viewer alice(At(kAlice));
    Viewer bob(At(kBob));
    ASSERT_EQ(alice.opened, FT_OK) << alice.driver.ErrorDetail();
    ASSERT_EQ(bob.opened, FT_OK) << bob.driver.ErrorDetail();
    const QString shown = QString::fromStdString(StationText());
    EXPECT_TRUE(Until([&] { return alice.Text() == shown && bob.Text() == shown; }))
        << alice.Text().toStdString() << "\n--\n"
        << bob.Text().toStdString();
    EXPECT_EQ(alice.form.raster.ToImage(), bob.form.raster.ToImage()) << "pixel for pixel the same";

    // Alice's key moves the amplifier's screen on every viewer, and gives her control.
    alice.form.actAntExecute();
    EXPECT_TRUE(Until([&] { return alice.Text() != shown && bob.Text() == alice.Text(); }));
    EXPECT_TRUE(Until([&] { return bob.form.windowTitle().endsWith("alice has control"); }));
    EXPECT_TRUE(Until([&] { return alice.form.windowTitle().endsWith("you have control"); }));

    // Bob's key is refused by the station, and he is told why.
    const QString after = alice.Text();
    bob.form.actAntExecute();
    EXPECT_TRUE(Until([&] { return !bob.Notice().isEmpty(); }));
    EXPECT_EQ(alice.Text(), after) << "bob's key reached the amplifier";

    alice.form.actLoadUpdateExecute();
    EXPECT_EQ(boxes.Last().text, share::BrokerDriver::kUpdateRefusedText);

    // OFF asked at the viewer, then ON as a request that the station pulses.
    boxes.answerYes = true;
    alice.form.actOffExecute();
    EXPECT_TRUE(Until([&] { return alice.Text().trimmed().isEmpty() && bob.Text().trimmed().isEmpty(); }))
        << "a silent amplifier is a blank display";
    alice.form.actOnExecute();
    EXPECT_TRUE(Until([&] { return !alice.Text().trimmed().isEmpty() && bob.Text() == alice.Text(); }));
}

TEST_F(SharedStationViewers, AWatcherCannotKeyAndIsToldSoAndGarbageFramesAreIgnored)
{
    Viewer impostor(At(Account{"alice", "not-her-password"}));
    EXPECT_NE(impostor.opened, FT_OK);
    EXPECT_NE(impostor.driver.ErrorDetail().find("password"), std::string::npos) << impostor.driver.ErrorDetail();

    Viewer watcher(At(kWatcher));
    ASSERT_EQ(watcher.opened, FT_OK) << watcher.driver.ErrorDetail();
    const QString shown = QString::fromStdString(StationText());
    ASSERT_TRUE(Until([&] { return watcher.Text() == shown; }));

    watcher.form.actAntExecute();
    EXPECT_TRUE(Until([&] { return watcher.Notice() == share::BrokerDriver::kWatchOnlyText; }));
    EXPECT_TRUE(watch.All(std::string("vorlinq/v1/") + kName + "/key/watcher").empty()) << "the broker passed it on";

    // Someone with write rights puts garbage on the frame topic; a notice
    // behind it shows when the viewer has had it all.
    const std::string prefix = std::string("vorlinq/v1/") + kName + "/";
    Listener writer(broker, kStation, prefix + "text");
    for (const std::string& garbage :
         {std::string("\xAA\xAA\xAA\x05\x00", 5), std::string(5000, '\xAA'), std::string()}) {
        ASSERT_TRUE(writer.Client().Publish(prefix + "frame", garbage, 1, false));
    }
    ASSERT_TRUE(writer.Client().Publish(prefix + "notice/watcher", R"({"v":1,"text":"zed"})", 1, false));
    EXPECT_TRUE(Until([&] { return watcher.Notice() == "zed"; }));
    EXPECT_EQ(watcher.Text(), shown);
    EXPECT_TRUE(watcher.form.OnLine);
}

TEST_F(SharedStationViewers, ViewersRideOutABrokerRestartAndGoOffLineWhenTheStationIsKilled)
{
    Viewer alice(At(kAlice));
    ASSERT_EQ(alice.opened, FT_OK) << alice.driver.ErrorDetail();
    const QString shown = QString::fromStdString(StationText());
    ASSERT_TRUE(Until([&] { return alice.Text() == shown; }));

    // Keys and frames flow again by themselves: a key sent before the viewer
    // is back is not sent (and it says so), a later one moves the screen.
    watch.Clear();
    broker.Restart();
    ASSERT_FALSE(watch.WaitFor(std::string("vorlinq/v1/") + kName + "/state", kWaitMs).empty());
    bool moved = false;
    for (int attempt = 0; attempt < 20 && !moved; ++attempt) {
        alice.form.actAntExecute();
        moved = ProcessEventsUntil([&] { return !alice.form.OnLine || alice.Text() != shown; }, 1000);
    }
    EXPECT_TRUE(moved) << "the viewer did not come back: " << alice.form.windowTitle().toStdString();
    EXPECT_TRUE(alice.form.OnLine) << boxes.Last().text.toStdString();

    station.Kill();
    EXPECT_TRUE(Until([&] { return !alice.form.OnLine; }));
    EXPECT_TRUE(boxes.Last().text.endsWith("station gone")) << boxes.Last().text.toStdString();

    // Connecting to a station that is gone says so.
    Viewer late(At(kBob));
    EXPECT_NE(late.opened, FT_OK);
    EXPECT_NE(late.driver.ErrorDetail().find("station gone"), std::string::npos) << late.driver.ErrorDetail();
}

} // namespace
