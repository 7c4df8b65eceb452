// The remote backend against the simulated amplifier on the network: the
// `vorlinq --serve-simulator` program, and the server in this process where
// the test needs to see what the amplifier received.
#include "link/FtStatus.h"
#include "link/RemoteDriver.h"
#include "protocol/Frames.h"
#include "remote/RemoteRig.h"
#include "remote/RemoteSteps.h"
#include "server/SimulatorServer.h"
#include "sim/SimDriver.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>

using namespace remotetest;

namespace {

TEST(ServeSimulator, TheOnPulseSwitchesTheAmplifierOnAcrossTheNetwork)
{
    SimulatorProcess server;
    RemoteDriver driver(Plain(server.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    ASSERT_EQ(ValidPolls(driver, handle, 1), 1);

    protocol::SendCommand(driver, handle, 10); // OFF
    driver.FT_SetTimeouts(handle, 300, 300);
    // Frames already on their way may still come; then the amplifier is silent.
    int silentFrom = -1;
    for (int i = 0; i < 10 && silentFrom < 0; ++i) {
        if (ValidPolls(driver, handle, 1) == 0)
            silentFrom = i;
    }
    ASSERT_GE(silentFrom, 0) << "the amplifier never went off";

    EXPECT_EQ(driver.FT_ClrDtr(handle), FT_OK);
    EXPECT_EQ(driver.FT_SetRts(handle), FT_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(driver.FT_SetDtr(handle), FT_OK);
    EXPECT_EQ(driver.FT_ClrRts(handle), FT_OK);
    driver.FT_SetTimeouts(handle, 1200, 1200);
    EXPECT_GE(ValidPolls(driver, handle, 3), 2) << "the amplifier is on again";
    driver.FT_Close(handle);
}

TEST(ServeSimulator, AServerKilledMidPollIsALinkLossAndConnectWorksOnceItIsBack)
{
    auto server = std::make_unique<SimulatorProcess>();
    const int port = server->Port();
    RemoteDriver driver(Plain(server->Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ValidPolls(driver, handle, 1), 1);

    server->Kill();
    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx{};
    std::uint8_t lamp = 0;
    std::string lost;
    for (int i = 0; i < 5 && lost.empty(); ++i) {
        try {
            protocol::PollOnce(driver, handle, rx.data(), lamp);
        } catch (const FT_Exception& e) {
            lost = e.Message();
        }
    }
    EXPECT_EQ(lost.rfind("FATAL ERROR ON USB LINK...  #[", 0), 0u) << lost;
    EXPECT_EQ(driver.FT_CyclePort(handle), FT_IO_ERROR);
    EXPECT_NE(driver.ErrorDetail().find(":" + std::to_string(port)), std::string::npos) << "a purge says why";
    driver.FT_Close(handle);

    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND) << "nobody listens now";
    server = std::make_unique<SimulatorProcess>(port);
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    EXPECT_EQ(ValidPolls(driver, handle, 1), 1);
    driver.FT_Close(handle);
}

// The server in this process, in front of an instant simulated amplifier.
class InProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
        address = "127.0.0.1:" + std::to_string(server.Port());
    }
    sim::SimDriver amplifier;
    server::SimulatorServer server{amplifier};
    std::string address;
};

TEST_F(InProcess, ConnectPollKeysAndAnUpdateReachTheAmplifier)
{
    RemoteDriver driver(Plain(address));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    EXPECT_TRUE(amplifier.Dtr());
    EXPECT_FALSE(amplifier.Rts());
    EXPECT_EQ(ValidPolls(driver, handle, 3), 3);
    protocol::SendCommand(driver, handle, 0x04);
    EXPECT_EQ(RunUpdate(driver, handle, 3, 1500), "");
    driver.FT_Close(handle);
    // The close does not wait for the network; the last bytes still arrive.
    const auto completed = [&] {
        auto lock = amplifier.Lock();
        return amplifier.Device().UpdateCompleted();
    };
    for (int i = 0; i < 200 && !completed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    auto lock = amplifier.Lock();
    ASSERT_FALSE(amplifier.Device().KeyCodes().empty());
    EXPECT_EQ(amplifier.Device().KeyCodes().front(), 0x04) << "then the update's own codes";
    EXPECT_EQ(amplifier.Device().ReceivedImage().size(), 3u);
    EXPECT_TRUE(amplifier.Device().UpdateCompleted());
}

TEST_F(InProcess, AWriteDoesNotWaitBehindABlockedReadAndCloseWakesTheRead)
{
    RemoteDriver driver(Plain(address));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 5000, 1000);
    FT_STATUS readStatus = FT_OK;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration readTook{};
    std::thread reader([&] {
        std::uint8_t byte = 0;
        DWORD got = 0;
        readStatus = driver.FT_Read(handle, &byte, 1, &got); // nothing comes: no query was sent
        readTook = std::chrono::steady_clock::now() - start;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto writeStart = std::chrono::steady_clock::now();
    protocol::SendCommand(driver, handle, 0x05);
    EXPECT_LT(std::chrono::steady_clock::now() - writeStart, std::chrono::milliseconds(1000));
    driver.FT_Close(handle);
    reader.join();
    EXPECT_EQ(readStatus, FT_INVALID_HANDLE);
    EXPECT_LT(readTook, std::chrono::milliseconds(4000)) << "the close woke the read";
    // The server hands the key on to the amplifier on its own thread.
    std::vector<std::uint8_t> keys;
    for (int i = 0; i < 200 && keys.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto lock = amplifier.Lock();
        keys = amplifier.Device().KeyCodes();
    }
    EXPECT_EQ(keys, std::vector<std::uint8_t>{0x05});
}

TEST_F(InProcess, PollingGoesOnWithFiftyMillisecondsAddedEachWay)
{
    TestServer delay(&DelayingForwarder, server.Port());
    RemoteDriver driver(Plain(delay.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    EXPECT_EQ(ValidPolls(driver, handle, 5), 5);
    driver.FT_Close(handle);
}

// The liveness probe, judged by the read time-out, declared slow links lost;
// a full receive queue left reading paused after a purge.
TEST_F(InProcess, ASlowLinkABacklogAndASilentAmplifierAreNoLinkLoss)
{
    constexpr int kReadMs = 400;
    ForwarderDelayMs() = kReadMs * 8 / 20; // a round trip of 0.8 read time-outs
    TestServer delay(&DelayingForwarder, server.Port());
    RemoteDriver driver(Plain(delay.Address()));
    driver.SetLiveness({100, 1000});
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, kReadMs, 1000);
    std::uint8_t bytes[3];
    DWORD got = 0;
    // Nothing asked, nothing sent back, for longer than the probe's deadline.
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(driver.FT_Read(handle, bytes, 3, &got), FT_OK) << i << ": " << driver.ErrorDetail();

    // 240 frames (over 64 KiB) left unread, then purged: what came after the
    // queue filled is read at once, and polling goes on.
    std::vector<std::uint8_t> queries;
    for (int i = 0; i < 240; ++i)
        queries.insert(queries.end(), protocol::kQueryFrame.begin(), protocol::kQueryFrame.end());
    ASSERT_EQ(driver.FT_Write(handle, queries.data(), static_cast<DWORD>(queries.size()), &got), FT_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kReadMs));
    ASSERT_EQ(driver.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(driver.FT_Read(handle, bytes, 1, &got), FT_OK) << driver.ErrorDetail();
    EXPECT_EQ(got, 1u) << "reading resumed with the purge";
    for (int i = 0; i < 100 && got > 0; ++i) // the rest of the backlog
        driver.FT_Read(handle, queries.data(), static_cast<DWORD>(queries.size()), &got);
    driver.FT_SetTimeouts(handle, 2 * kReadMs, 1000);
    EXPECT_EQ(ValidPolls(driver, handle, 2), 2) << driver.ErrorDetail();
    ForwarderDelayMs() = 50;
    driver.FT_Close(handle);
}

} // namespace
