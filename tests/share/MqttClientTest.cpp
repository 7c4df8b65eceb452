// The broker connection against a real mosquitto: the reasons a user is
// told, the broker's refusal of a publication, and subscriptions that come
// back after the broker restarts.

#include "share/MqttClient.h"
#include "support/BrokerFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace {

using namespace brokertest;

struct Probe {
    explicit Probe(share::BrokerLogin login)
        : client([&] {
              share::MqttClient::Options o;
              o.login = std::move(login);
              o.minBackoffMs = 50;
              o.maxBackoffMs = 200;
              return o;
          }())
    {
        client.OnDisconnect([this](const std::string& why) {
            std::lock_guard lock(mutex);
            reason = why;
        });
    }
    std::string Reason()
    {
        std::lock_guard lock(mutex);
        return reason;
    }
    std::mutex mutex;
    std::string reason;
    share::MqttClient client; // last: stopped before what its thread writes goes
};

TEST(MqttClient, WrongPasswordBadCaAndRefusedKeyAreToldApart)
{
    Broker broker(true);
    std::string error;

    share::BrokerLogin wrong = broker.Login(kAlice);
    wrong.password = "guess";
    Probe badPassword(wrong);
    ASSERT_TRUE(badPassword.client.Start(error)) << error;
    EXPECT_TRUE(WaitUntil([&] { return badPassword.Reason().find("password") != std::string::npos; }))
        << badPassword.Reason();

    share::BrokerLogin otherCa = broker.Login(kAlice, true);
    otherCa.caFile = broker.OtherCaFile();
    Probe badCa(otherCa);
    ASSERT_TRUE(badCa.client.Start(error)) << error;
    EXPECT_TRUE(WaitUntil([&] { return badCa.Reason().find("CA") != std::string::npos; })) << badCa.Reason();

    Probe down(share::BrokerLogin{"mqtt://127.0.0.1:1", "", "", "", "a", "b"});
    ASSERT_TRUE(down.client.Start(error));
    EXPECT_TRUE(WaitUntil([&] { return down.Reason().find("cannot be reached") != std::string::npos; }))
        << down.Reason();

    // Over TLS with the right CA the watcher gets in, and the broker's ACL
    // refuses its key in the acknowledgement.
    Probe watcher(broker.Login(kWatcher, true));
    ASSERT_TRUE(watcher.client.Start(error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return watcher.client.Connected(); })) << watcher.Reason();
    std::atomic<int> answer{1000};
    ASSERT_TRUE(watcher.client.Publish("vorlinq/v1/s/key/watcher", "1", 1, false, [&](int rc) { answer = rc; }));
    EXPECT_TRUE(WaitUntil([&] { return answer != 1000; }));
    EXPECT_EQ(answer, share::kReasonNotAuthorised);

    EXPECT_FALSE(badPassword.client.Start(error)) << "a second start must be refused";
}

TEST(MqttClient, SubscriptionsAndPublishingResumeAfterBrokerRestart)
{
    Broker broker;
    Listener listener(broker, kAlice, "vorlinq/v1/shack/#");
    Probe station(broker.Login(kStation));
    std::string error;
    ASSERT_TRUE(station.client.Start(error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return station.client.Connected(); }));

    broker.Restart();
    EXPECT_TRUE(WaitUntil([&] { return !station.Reason().empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return station.client.Connected() && listener.Client().Connected(); }));
    // The listener subscribed again by itself: a retained message reaches it.
    ASSERT_TRUE(station.client.Publish("vorlinq/v1/shack/state", "after", 1, true));
    EXPECT_EQ(listener.WaitFor("vorlinq/v1/shack/state"), "after");
}

} // namespace
