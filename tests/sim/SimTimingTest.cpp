// Wire-speed pacing and the driver's behaviour under three threads at once.

#include "SimTestSupport.h"
#include "protocol/Frames.h"
#include "sim/SimDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace simtest;
using namespace std::chrono;

namespace {

FT_HANDLE OpenFirst(sim::SimDriver& driver)
{
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_OK);
    return handle;
}

// One poll transaction from the open, on the instant clock.
std::int64_t PollTimeMs(int usbLatencyMs, UCHAR latencyTimerMs = 1)
{
    InstantClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    options.usbLatencyMs = usbLatencyMs;
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver);
    EXPECT_EQ(driver.FT_SetLatencyTimer(handle, latencyTimerMs), FT_OK);
    std::uint8_t rx[protocol::kReceiveBufferSize];
    std::uint8_t lamp = 0;
    EXPECT_EQ(protocol::PollOnce(driver, handle, rx, lamp), protocol::FrameOutcome::Valid);
    return clock.NowMs();
}

} // namespace

TEST(SimTiming, WireSpeedPollTakesTheFrameTimeOnTheClock)
{
    // 6 + 371 bytes at 11,520 bytes/s: about 32.7 ms.
    const std::int64_t plain = PollTimeMs(0);
    EXPECT_GE(plain, 32);
    EXPECT_LE(plain, 35);
    EXPECT_NEAR(PollTimeMs(16) - plain, 16, 1);
}

TEST(SimTiming, PartialPacketIsHeldUntilTheLatencyTimerExpires)
{
    InstantClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver); // the timer's period starts here, at 0
    EXPECT_EQ(driver.LatencyTimerMs(), 16);
    driver.FT_SetTimeouts(handle, 40, 40);
    const Bytes query = {0x55, 0x55, 0x55, 0x01, 0x80, 0x80};
    DWORD n = 0;
    driver.FT_Write(handle, query.data(), 6, &n);
    // The frame's last byte is on the wire at 32.7 ms, but only its five full
    // 62-byte packets are through: the last 61 bytes wait for the timer,
    // which restarted when the fifth packet went up at 27.4 ms.
    std::uint8_t frame[371];
    ASSERT_EQ(driver.FT_Read(handle, frame, 371, &n), FT_OK);
    EXPECT_EQ(n, 310u);
    EXPECT_EQ(clock.NowMs(), 41);
    ASSERT_EQ(driver.FT_Read(handle, frame + 310, 61, &n), FT_OK);
    EXPECT_EQ(n, 61u);
    EXPECT_EQ(clock.NowMs(), 44); // 27.4 + 16
    EXPECT_EQ(frame[0], 0xAA);

    // Set low, the frame comes whole at the first expiry after its last byte;
    // the driver honours the setting until the next open.
    EXPECT_EQ(PollTimeMs(0, 16), 44);
    EXPECT_EQ(PollTimeMs(0, 2), 34);
    EXPECT_EQ(driver.FT_SetLatencyTimer(handle, 2), FT_OK);
    EXPECT_EQ(driver.FT_SetLatencyTimer(handle, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.LatencyTimerMs(), 2);
    driver.FT_Close(handle);
    OpenFirst(driver);
    EXPECT_EQ(driver.LatencyTimerMs(), 16);
}

TEST(SimTiming, WireSpeedBlockWriteTakesItsLineTime)
{
    InstantClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver);
    const Bytes frame = BlockData(Block(0));
    DWORD written = 0;
    driver.FT_Write(handle, frame.data(), static_cast<DWORD>(frame.size()), &written);
    EXPECT_NEAR(static_cast<double>(clock.NowMs()), 4101 / 11.52, 1.0);
}

TEST(SimTiming, WriteReturnsPromptlyWhileAnotherThreadIsBlockedInRead)
{
    SystemClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    options.poweredOn = false; // a silent amplifier: the read waits out its time-out
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver);
    driver.FT_SetTimeouts(handle, 3000, 3000);

    std::atomic<bool> reading{false};
    std::atomic<bool> readEnded{false};
    DWORD got = 99;
    std::thread reader([&] {
        std::uint8_t b[3];
        reading = true;
        driver.FT_Read(handle, b, 3, &got);
        readEnded = true;
    });
    while (!reading)
        std::this_thread::yield();
    std::this_thread::sleep_for(milliseconds(50)); // let it block

    const auto started = steady_clock::now();
    const Bytes command = Command(13);
    DWORD written = 0;
    EXPECT_EQ(driver.FT_Write(handle, command.data(), 6, &written), FT_OK);
    // Behind the read it would have waited out the 3 s time-out.
    EXPECT_FALSE(readEnded) << "the write waited for the read";
    EXPECT_LT(steady_clock::now() - started, milliseconds(1500));
    reader.join();
    EXPECT_EQ(got, 0u);
    auto lock = driver.Lock();
    EXPECT_EQ(driver.Device().KeyCodes(), (Bytes{13}));
}

TEST(SimTiming, BlockedReadReturnsAsSoonAsTheAnswerArrives)
{
    SystemClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver);
    driver.FT_SetTimeouts(handle, 5000, 5000);

    std::atomic<bool> reading{false};
    DWORD got = 0;
    std::thread reader([&] {
        std::uint8_t b[3];
        reading = true;
        driver.FT_Read(handle, b, 3, &got);
    });
    while (!reading)
        std::this_thread::yield();
    const auto started = steady_clock::now();
    protocol::SendCommand(driver, handle, protocol::kQueryCode);
    reader.join();
    EXPECT_EQ(got, 3u);
    EXPECT_LT(steady_clock::now() - started, milliseconds(2500)); // half the time-out
}

TEST(SimTiming, ThreeThreadsAtOnceLoseNoCommand)
{
    InstantClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    sim::SimDriver driver(options);
    const FT_HANDLE handle = OpenFirst(driver);
    constexpr int kCommands = 300;

    std::atomic<bool> stop{false};
    std::atomic<int> polls{0};
    std::thread poller([&] {
        std::uint8_t rx[protocol::kReceiveBufferSize];
        std::uint8_t lamp = 0;
        while (!stop) {
            protocol::PollOnce(driver, handle, rx, lamp);
            ++polls;
        }
    });
    std::thread worker([&] {
        for (int i = 0; i < kCommands; ++i) {
            driver.FT_SetTimeouts(handle, 1200, 1200);
            driver.FT_SetDtr(handle);
            auto lock = driver.Lock();
            (void)driver.Device().LampByte();
        }
    });
    for (int i = 0; i < kCommands; ++i)
        protocol::SendCommand(driver, handle, static_cast<std::uint8_t>(i % 2 ? 4 : 14));
    worker.join();
    while (polls < 10)
        std::this_thread::yield();
    stop = true;
    poller.join();

    auto lock = driver.Lock();
    EXPECT_EQ(driver.Device().KeyCodes().size(), static_cast<std::size_t>(kCommands));
}
