// The headless station on the simulated amplifier, against a real mosquitto:
// what it publishes, who may key it, and how it lives through a broker that
// is down, restarts, and a station that dies.

#include "display/CharText.h"
#include "display/FrameDrawing.h"
#include "display/Raster.h"
#include "protocol/Frames.h"
#include "share/ControlToken.h"
#include "share/Station.h"
#include "share/Topics.h"
#include "share/WindowShare.h"
#include "sim/SimDriver.h"
#include "support/BrokerFixture.h"
#include "support/WindowFixture.h"

#include <QImage>
#include <QTemporaryDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <atomic>
#include <memory>

namespace {

using namespace brokertest;

constexpr const char* kName = "shack";

// An operator's (or the watcher's) own connection.
class Operator {
public:
    Operator(const Broker& broker, const Account& account)
        : user_(account.user), client_([&] {
              share::MqttClient::Options o;
              o.login = broker.Login(account);
              return o;
          }())
    {
        std::string error;
        EXPECT_TRUE(client_.Start(error)) << error;
        EXPECT_TRUE(WaitUntil([this] { return client_.Connected(); }));
    }
    // Sends a key message; the broker's answer, or -2 when none came.
    int Send(const std::string& payload)
    {
        auto answer = std::make_shared<std::atomic<int>>(-2);
        if (!client_.Publish(share::Topics(kName).Key(user_), payload, 1, false, [answer](int rc) { *answer = rc; }))
            return -3;
        WaitUntil([&] { return *answer != -2; });
        return *answer;
    }

private:
    std::string user_;
    share::MqttClient client_;
};

class StationTest : public ::testing::Test {
protected:
    share::StationCore::Options Options() const
    {
        share::StationCore::Options o;
        o.name = kName;
        o.login = broker.Login(kStation);
        return o;
    }
    std::vector<std::uint8_t> Keys()
    {
        auto lock = driver.Lock();
        return driver.Device().KeyCodes();
    }
    bool Pressed(std::uint8_t code)
    {
        const std::vector<std::uint8_t> keys = Keys();
        return std::find(keys.begin(), keys.end(), code) != keys.end();
    }

    Broker broker;
    sim::SimDriver driver{[] {
        sim::SimOptions o;
        o.recordCalls = false;
        return o;
    }()};
    share::Topics topics{kName};
};

const auto kOnline = [](const std::string& s) { return s.find("\"online\"") != std::string::npos; };

TEST_F(StationTest, PublishesTheWindowsPictureOnceAndOnlyWhenItChanges)
{
    share::StationCore::Options options = Options();
    options.haDiscovery = true;
    share::Station station(driver, options);
    std::string error;
    ASSERT_TRUE(station.Start(error)) << error;
    Listener watcher(broker, kWatcher, topics.prefix + "#");
    Listener homeAssistant(broker, kMonitor, "homeassistant/#");
    ASSERT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
    ASSERT_FALSE(watcher.WaitFor(topics.png).empty());

    // The frame as the amplifier sent it, and the text and picture the window
    // makes of the same frame.
    const std::string frame = watcher.WaitFor(topics.frame);
    ASSERT_GE(frame.size(), 11u + protocol::kFullPayload);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.data());
    const int length = bytes[3] | (bytes[4] << 8);
    ASSERT_EQ(frame.size(), static_cast<std::size_t>(length) + 9);
    EXPECT_EQ(bytes[0] & bytes[1] & bytes[2], protocol::kHeaderByte);
    const std::uint16_t sum = protocol::Sum16(bytes + 9, length - 2, bytes[7] + bytes[8]);
    EXPECT_EQ(bytes[frame.size() - 2] | (bytes[frame.size() - 1] << 8), sum);
    display::Raster raster;
    raster.SetColours(0xFFFF9D, 0);
    raster.Clear();
    display::DrawDisplayFrame(raster, bytes + 9);
    EXPECT_EQ(watcher.WaitFor(topics.text), display::RasterText(raster).toStdString());
    const std::string png = watcher.WaitFor(topics.png);
    const QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32), raster.ToImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_NE(watcher.WaitFor(topics.lamps).find("\"ON\":true"), std::string::npos);

    // Home Assistant's configurations are JSON that point at the station's topics.
    for (const char* object : {"binary_sensor/vorlinq_shack_TX", "sensor/vorlinq_shack_line8"}) {
        const std::string config = homeAssistant.WaitFor(std::string("homeassistant/") + object + "/config");
        const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(config)).object();
        EXPECT_EQ(json.value("availability_topic").toString().toStdString(), topics.state) << config;
        EXPECT_TRUE(json.value("state_topic").toString().startsWith(QString::fromStdString(topics.prefix))) << config;
    }

    // A still screen polled a dozen times a second is not published again.
    const std::size_t frames = watcher.All(topics.frame).size(), pictures = watcher.All(topics.png).size();
    const long long polled = station.Frames();
    ASSERT_TRUE(WaitUntil([&] { return station.Frames() > polled + 10; }));
    EXPECT_EQ(watcher.All(topics.frame).size(), frames);
    EXPECT_EQ(watcher.All(topics.png).size(), pictures);
}

TEST_F(StationTest, OnlyTheHolderKeysOthersAreToldWhyAndTheWatcherIsRefusedByTheBroker)
{
    share::Station station(driver, Options());
    std::string error;
    ASSERT_TRUE(station.Start(error)) << error;
    Listener notices(broker, kMonitor, topics.prefix + "#");
    ASSERT_FALSE(notices.WaitFor(topics.state, kOnline).empty());
    Operator alice(broker, kAlice), bob(broker, kBob), watcher(broker, kWatcher);

    EXPECT_EQ(alice.Send("9"), share::kReasonSuccess); // TUNE
    EXPECT_TRUE(WaitUntil([&] { return Pressed(9); }));
    EXPECT_FALSE(
        notices.WaitFor(topics.control, [](const std::string& s) { return s.find("\"alice\"") != std::string::npos; })
            .empty());

    bob.Send("4");
    EXPECT_FALSE(notices
                     .WaitFor(topics.Notice("bob"),
                              [](const std::string& s) { return s.find("alice has control") != std::string::npos; })
                     .empty());
    bob.Send("100"); // the firmware update's announcement
    EXPECT_FALSE(notices
                     .WaitFor(topics.Notice("bob"),
                              [](const std::string& s) { return s.find("direct link") != std::string::npos; })
                     .empty());
    EXPECT_EQ(watcher.Send("take"), share::kReasonNotAuthorised);
    EXPECT_FALSE(Pressed(4));

    alice.Send("release");
    EXPECT_NE(notices.WaitFor(topics.control, [](const std::string& s) { return s.find("null") != std::string::npos; }),
              "");
    bob.Send("4");
    EXPECT_TRUE(WaitUntil([&] { return Pressed(4); }));
    EXPECT_EQ(station.Core().Holder(), "bob");
}

TEST(ControlToken, FreesItselfAfterTheQuietTimeNotBefore)
{
    share::ControlToken token;
    EXPECT_TRUE(token.Request("alice", 0));
    EXPECT_FALSE(token.Request("bob", share::ControlToken::kQuietMs - 1));
    EXPECT_TRUE(token.Request("alice", share::ControlToken::kQuietMs - 1)); // a key restarts the quiet time
    EXPECT_FALSE(token.Request("bob", 2 * share::ControlToken::kQuietMs - 2));
    EXPECT_TRUE(token.Request("bob", 2 * share::ControlToken::kQuietMs - 1));
    EXPECT_FALSE(token.Release("alice"));
}

TEST_F(StationTest, BrokerDownAtStartRestartedAndALostLinkAreAllRecovered)
{
    broker.Stop();
    share::Station station(driver, Options());
    std::string error;
    ASSERT_TRUE(station.Start(error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return station.Frames() > 3; })) << "the station must poll without its broker";

    broker.Start();
    Listener watcher(broker, kWatcher, topics.prefix + "#");
    EXPECT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
    EXPECT_FALSE(watcher.WaitFor(topics.frame).empty());

    broker.Restart(); // the broker forgets everything retained
    watcher.Clear();
    EXPECT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
    EXPECT_FALSE(watcher.WaitFor(topics.frame).empty());

    driver.Unplug();
    EXPECT_FALSE(
        watcher.WaitFor(topics.state, [](const std::string& s) { return s.find("link-lost") != std::string::npos; })
            .empty());
    driver.Replug();
    EXPECT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
}

// The systemd unit's own command line, with the password handed over as
// systemd hands a credential (a directory of its own, the file mode 440):
// the station starts from it.
TEST_F(StationTest, StartsFromItsCredentialAsTheUnitRunsIt)
{
    std::ifstream unit(VORLINQ_STATION_UNIT);
    std::string line;
    while (std::getline(unit, line) && line.rfind("ExecStart=", 0) != 0) {
    }
    QTemporaryDir credentials;
    const std::string secret = credentials.filePath("broker-password").toStdString();
    std::ofstream(secret) << kStation.password << "\n";
    ASSERT_EQ(::chmod(secret.c_str(), 0440), 0);
    std::vector<std::string> args;
    std::istringstream words(line.substr(std::strlen("ExecStart=")));
    for (std::string word; words >> word;) {
        if (word == "$VORLINQ_STATION_OPTIONS") {
            args.insert(args.end(), {"--simulator", "--broker=" + broker.Url(), "--broker-user=station"});
            continue;
        }
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"%i", kName}, {"%d", credentials.path().toStdString()}})
            if (const std::size_t at = word.find(from); at != std::string::npos)
                word.replace(at, from.size(), to);
        args.push_back(word);
    }
    ASSERT_GE(args.size(), 3u) << line;
    qputenv("CREDENTIALS_DIRECTORY", credentials.path().toLocal8Bit());
    Listener watcher(broker, kWatcher, topics.prefix + "#");
    ChildProcess station;
    ASSERT_TRUE(station.Start(VORLINQ_PROGRAM, {args.begin() + 1, args.end()}));
    qunsetenv("CREDENTIALS_DIRECTORY");
    EXPECT_FALSE(watcher.WaitFor(topics.state, kOnline).empty()) << line;
}

TEST_F(StationTest, AKilledStationReadsAsGone)
{
    Listener watcher(broker, kWatcher, topics.prefix + "#");
    ChildProcess station;
    ASSERT_TRUE(station.Start(VORLINQ_PROGRAM,
                              {"--station=" + std::string(kName), "--simulator", "--broker=" + broker.Url(),
                               "--broker-user=station", "--broker-password-file=" + broker.PasswordFile(kStation)}));
    ASSERT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
    station.Kill();
    station.Wait(5000);
    EXPECT_EQ(watcher.WaitFor(topics.state), share::StateJson(share::StationState::Gone));
}

} // namespace

namespace {

// The window connected over its own link shares it from its frame hand-over:
// the viewers get its frames (frozen or not), the holder's keys reach its
// amplifier, and closing the link tells them so.
TEST(WindowShare, TheWindowsOwnLinkIsSharedFromItsFrameHandOver)
{
    Broker broker;
    windowtest::WindowFixture w;
    w.CreateWindows();
    share::WindowShare windowShare(*w.form);
    ASSERT_TRUE(w.Connect());
    share::ShareSettings settings;
    settings.name = kName;
    settings.login = broker.Login(kStation);
    std::string error;
    ASSERT_TRUE(windowShare.Share(settings, error)) << error;

    const share::Topics topics(kName);
    Listener watcher(broker, kWatcher, topics.prefix + "#");
    EXPECT_FALSE(watcher.WaitFor(topics.state, kOnline).empty());
    EXPECT_FALSE(watcher.WaitFor(topics.frame).empty());
    // Frozen while shared: the picture here stands still, the viewers' goes on.
    w.form->actFreeze->trigger();
    const QImage still = w.form->raster.ToImage();
    const std::size_t frames = watcher.All(topics.frame).size();
    Operator alice(broker, kAlice);
    alice.Send("12"); // DISPLAY: another screen
    EXPECT_TRUE(WaitUntil([&] { return watcher.All(topics.frame).size() > frames; }));
    EXPECT_EQ(w.form->raster.ToImage(), still);
    EXPECT_TRUE(WaitUntil([&] {
        return w.WithDevice([](sim::SimAmplifier& amp) {
            const auto& keys = amp.KeyCodes();
            return std::find(keys.begin(), keys.end(), 12) != keys.end();
        });
    }));

    w.form->actCloseExecute();
    EXPECT_FALSE(
        watcher.WaitFor(topics.state, [](const std::string& s) { return s.find("link-lost") != std::string::npos; })
            .empty());
}

} // namespace
