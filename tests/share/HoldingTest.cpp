// A shared station where networks fail: a station on the simulated amplifier
// in this process, a real mosquitto, and relays that lose acknowledgements,
// go half-open and cut connections between them. Time that the station and
// the viewers measure jumps forward instead of being waited out.

#include "WindowViewer.h"
#include "protocol/Frames.h"
#include "protocol/KeyCodes.h"
#include "share/Station.h"
#include "share/Topics.h"
#include "sim/SimDriver.h"
#include "support/BrokerFixture.h"
#include "support/ChildProcess.h"
#include "support/FakeBoxes.h"
#include "support/ShiftedClock.h"
#include "support/TcpRelay.h"
#include "toolkit/TThread.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

using namespace brokertest;
using relaytest::TcpRelay;
using sharetest::Viewer;

constexpr const char* kName = "shack";
const auto kOnline = [](const std::string& s) { return s.find("\"online\"") != std::string::npos; };

class Holding : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VORLINQ_SETTINGS", settings.filePath("viewer.ini").toLocal8Bit());
        share::StationCore::Options options;
        options.name = kName;
        options.login = broker.Login(kStation);
        options.login.url = stationLink.Url();
        station = std::make_unique<share::Station>(driver, options);
        std::string error;
        ASSERT_TRUE(station->Start(error)) << error;
        ASSERT_FALSE(monitor.WaitFor(topics.state, kOnline).empty());
    }
    void TearDown() override
    {
        station.reset();
        WaitUntil([] { return TThread::Running() == 0; });
    }
    // Presses of `code` the amplifier has had.
    long Count(std::uint8_t code)
    {
        auto lock = driver.Lock();
        const std::vector<std::uint8_t>& keys = driver.Device().KeyCodes();
        return std::count(keys.begin(), keys.end(), code);
    }
    // A viewer's backend reaching the broker through the viewers' relay.
    share::SharedStation Through(const Account& account)
    {
        share::SharedStation s{kName, broker.Login(account)};
        s.login.url = viewerLink.Url();
        return s;
    }
    // The next beat, heard by everyone who listens.
    void NextBeat()
    {
        monitor.Clear();
        ASSERT_FALSE(monitor.WaitFor(topics.state).empty());
        WaitUntil([] { return false; }, 100);
    }

    ShiftedClock clock;
    QTemporaryDir settings;
    FakeBoxes boxes;
    Broker broker;
    TcpRelay stationLink{broker.Port()};
    TcpRelay viewerLink{broker.Port()};
    share::Topics topics{kName};
    Listener monitor{broker, kMonitor, topics.prefix + "#"};
    sim::SimDriver driver{[] {
        sim::SimOptions o;
        o.recordCalls = false;
        return o;
    }()};
    std::unique_ptr<share::Station> station;
};

// A key at the backend, as the window writes it.
void Press(share::BrokerDriver& backend, FT_HANDLE handle, std::uint8_t code)
{
    const protocol::CommandFrame frame = protocol::BuildCommandFrame(code);
    DWORD written = 0;
    backend.FT_Write(handle, frame.data(), static_cast<DWORD>(frame.size()), &written);
}

TEST_F(Holding, AKeyIsCarriedOutOnceWhenItsAcknowledgementIsLostOrItComesAgain)
{
    share::BrokerDriver alice(Through(kAlice));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(alice.FT_Open(0, &handle), FT_OK) << alice.ErrorDetail();

    // L- reaches the station, its acknowledgement does not come back, and
    // the connection is cut: the viewer cannot know, and nothing sends it again.
    viewerLink.Hold(TcpRelay::kDown);
    Press(alice, handle, keycode::LMinus);
    ASSERT_TRUE(WaitUntil([&] { return Count(keycode::LMinus) == 1; }));
    viewerLink.Cut();
    viewerLink.Release(TcpRelay::kBoth);
    EXPECT_TRUE(WaitUntil([&] { return alice.ShareNote().notice.find("may not have reached") != std::string::npos; }))
        << alice.ShareNote().notice;
    ASSERT_TRUE(WaitUntil([&] { return alice.ShareNote().away.empty(); })) << alice.ShareNote().away;
    // A later key on the new connection is behind anything resent on it.
    Press(alice, handle, keycode::LPlus);
    ASSERT_TRUE(WaitUntil([&] { return Count(keycode::LPlus) == 1; })) << alice.ShareNote().notice;
    EXPECT_EQ(Count(keycode::LMinus), 1);
    EXPECT_EQ(alice.ShareNote().notice.find(share::kNoAclText), std::string::npos) << "the README's broker has an ACL";

    // The same session and number twice (a client that resends): once.
    share::MqttClient::Options o;
    o.login = broker.Login(kAlice);
    share::MqttClient resender(o);
    std::string error;
    ASSERT_TRUE(resender.Start(error) && WaitUntil([&] { return resender.Connected(); }));
    const share::MqttExtras extras{{{"sid", "0123456789abcdef"}, {"seq", "1"}}, 2};
    for (int i = 0; i < 2; ++i)
        resender.Publish(topics.Key("alice"), std::to_string(keycode::CPlus), 1, false, {}, extras);
    resender.Publish(topics.Key("alice"), std::to_string(keycode::CMinus), 1, false, {});
    ASSERT_TRUE(WaitUntil([&] { return Count(keycode::CMinus) == 1; }));
    EXPECT_EQ(Count(keycode::CPlus), 1);
}

TEST_F(Holding, KeysPressedOnAHalfOpenLinkAreNotCarriedOutWhenTheyArriveLate)
{
    share::BrokerDriver alice(Through(kAlice));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(alice.FT_Open(0, &handle), FT_OK) << alice.ErrorDetail();
    NextBeat();

    viewerLink.Hold(TcpRelay::kBoth);
    Press(alice, handle, keycode::Tune);
    Press(alice, handle, keycode::Ant);
    WaitUntil([] { return false; }, 200);
    clock.Advance(3000);
    viewerLink.Release(TcpRelay::kBoth);
    EXPECT_FALSE(monitor
                     .WaitFor(topics.Notice("alice"),
                              [](const std::string& s) { return s.find(share::kLateKeyText) != std::string::npos; })
                     .empty());
    WaitUntil([&] { return monitor.All(topics.Notice("alice")).size() >= 2; }, 2000);
    EXPECT_EQ(Count(keycode::Tune) + Count(keycode::Ant), 0);
}

TEST_F(Holding, TheWindowGoesOffLineAtOnceWithoutItsBrokerAndWhenTheStationIsNotHeard)
{
    Viewer alice(Through(kAlice));
    ASSERT_EQ(alice.opened, FT_OK) << alice.driver.ErrorDetail();
    ASSERT_TRUE(WaitUntil([&] { return !alice.Text().trimmed().isEmpty(); }));

    // The broker connection dies (and stays out of reach): no keep-alive is waited out.
    viewerLink.Refuse(true);
    viewerLink.Cut();
    EXPECT_TRUE(WaitUntil([&] { return alice.Status() == "OFF-LINE"; }, 2000));
    EXPECT_TRUE(alice.Notice().contains("no connection to the broker")) << alice.Notice().toStdString();
    EXPECT_TRUE(alice.Text().trimmed().isEmpty()) << "the last picture is not shown as current";
    viewerLink.Refuse(false);
    EXPECT_TRUE(WaitUntil([&] { return alice.Status() == "ON-LINE" && !alice.Text().trimmed().isEmpty(); }));

    // The station's messages stop reaching the broker while its connection
    // stays up: after three missed beats it is not heard, and keys stay here.
    stationLink.Hold(TcpRelay::kUp);
    clock.Advance(7000);
    EXPECT_TRUE(WaitUntil([&] { return alice.Status() == "OFF-LINE"; }, 3000));
    EXPECT_TRUE(alice.Notice().contains("station not heard for 7 s")) << alice.Notice().toStdString();
    alice.form.actAntExecute();
    stationLink.Release(TcpRelay::kUp);
    EXPECT_TRUE(WaitUntil([&] { return alice.Status() == "ON-LINE"; }));
    EXPECT_EQ(Count(keycode::Ant), 0);
    EXPECT_TRUE(alice.form.OnLine);
}

TEST_F(Holding, ASecondStationOfTheSameNameIsStoppedAndTheFirstGoesOn)
{
    sim::SimDriver other;
    share::StationCore::Options options;
    options.name = kName;
    options.login = broker.Login(kStation);
    share::Station second(other, options);
    std::string error;
    ASSERT_TRUE(second.Start(error)) << error;
    EXPECT_TRUE(WaitUntil([&] { return !second.Core().HaltReason().empty(); }));
    EXPECT_NE(second.Core().HaltReason().find("Another station named shack"), std::string::npos);
    EXPECT_TRUE(station->Core().HaltReason().empty());
    NextBeat();
    EXPECT_TRUE(kOnline(monitor.WaitFor(topics.state)));
}

// A broker set up without an ACL or a packet size limit: the viewer warns,
// a huge key leaves the station as it was, and a stranger writing the
// station's topics stops it.
TEST(CarelessBroker, IsDetectedByTheViewerAndNeitherFloodsNorFoolsTheStation)
{
    Broker broker(BrokerSetup{false, false});
    const share::Topics topics(kName);
    Listener monitor(broker, kMonitor, topics.prefix + "#");
    QTemporaryDir dir;
    const std::string errors = dir.filePath("station.txt").toStdString();
    ChildProcess station;
    std::string error;
    ASSERT_TRUE(station.Start(VORLINQ_PROGRAM,
                              {"--station=shack", "--simulator", "--broker=" + broker.Url(), "--broker-user=station",
                               "--broker-password-file=" + broker.PasswordFile(kStation)},
                              {"", errors}, error));
    ASSERT_FALSE(monitor.WaitFor(topics.state, kOnline).empty());

    share::BrokerDriver alice(share::SharedStation{kName, broker.Login(kAlice)});
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(alice.FT_Open(0, &handle), FT_OK) << alice.ErrorDetail();
    EXPECT_TRUE(WaitUntil([&] { return alice.ShareNote().notice.find(share::kNoAclText) != std::string::npos; }));

    auto peakKb = [&] {
        std::ifstream status("/proc/" + std::to_string(station.Pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::stol(line.substr(6));
        return 0L;
    };
    const long before = peakKb();
    Listener bob(broker, kBob, topics.Notice("bob"));
    ASSERT_TRUE(bob.Client().Publish(topics.Key("bob"), std::string(64 << 20, '1'), 1, false));
    ASSERT_TRUE(bob.Client().Publish(topics.Key("bob"), "take", 1, false));
    EXPECT_FALSE(
        monitor.WaitFor(topics.control, [](const std::string& s) { return s.find("bob") != std::string::npos; })
            .empty());
    EXPECT_LT(peakKb() - before, 8 * 1024) << "kB more at the peak";

    ASSERT_TRUE(bob.Client().Publish(topics.control, R"({"v":1,"holder":"bob"})", 1, true));
    EXPECT_TRUE(WaitUntil([&] { return !station.Running(); }));
    EXPECT_EQ(station.ExitCode(), 3);
    std::ifstream said(errors);
    const std::string text((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("no ACL"), std::string::npos) << text;

    share::BrokerDriver slashed(share::SharedStation{kName, broker.Login(Account{"a/b", "x"})});
    EXPECT_NE(slashed.FT_Open(0, &handle), FT_OK);
    EXPECT_NE(slashed.ErrorDetail().find("'/'"), std::string::npos) << slashed.ErrorDetail();
}

} // namespace
