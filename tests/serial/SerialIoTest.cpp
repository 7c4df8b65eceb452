// Reads, writes and their time-outs on one open pseudo-terminal, with the
// threads the program uses: these run on real time-outs, since the waiting
// happens in the operating system. Where a call must return before its
// time-out, the time-out is long and the bound half of it, so that a busy
// machine does not fail the test.
#include "PtyPair.h"

#include "link/SerialDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <numeric>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

class SerialIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override { driver.FT_Close(handle); }

    // Reads on another thread; the future holds status and bytes.
    std::future<std::pair<FT_STATUS, std::vector<std::uint8_t>>> ReadInBackground(DWORD count)
    {
        return std::async(std::launch::async, [this, count] {
            std::vector<std::uint8_t> buffer(count);
            DWORD got = 0;
            const FT_STATUS status = driver.FT_Read(handle, buffer.data(), count, &got);
            buffer.resize(got);
            return std::make_pair(status, buffer);
        });
    }

    PtyPair pty;
    SerialDriver driver{[this] { return std::vector<serial::SerialPortInfo>{pty.Info("PTY00001")}; }};
    FT_HANDLE handle = nullptr;
};

// Lets a background call get into its wait before the test goes on.
void LetItBlock()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

TEST_F(SerialIo, ReadReturnsAsSoonAsTheCountHasArrivedEvenInPieces)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 5000, 5000), FT_OK);

    pty.Send(Bytes("AAAA"));
    std::uint8_t buffer[8] = {};
    DWORD got = 0;
    auto start = Clock::now();
    EXPECT_EQ(driver.FT_Read(handle, buffer, 4, &got), FT_OK);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, buffer + got), "AAAA");
    EXPECT_LT(ElapsedMs(start), 2500);

    // Timed from before the device starts: the second piece comes 40 ms or
    // more after this.
    start = Clock::now();
    std::thread device([this] {
        pty.Send(Bytes("ab"));
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        pty.Send(Bytes("cd"));
    });
    EXPECT_EQ(driver.FT_Read(handle, buffer, 4, &got), FT_OK);
    const long long took = ElapsedMs(start);
    device.join();
    EXPECT_EQ(std::string(buffer, buffer + got), "abcd");
    EXPECT_GE(took, 30);
    EXPECT_LT(took, 2500);
}

TEST_F(SerialIo, ReadTimeOutGivesWhatCameWithStatusOk)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 80, 80), FT_OK);
    std::uint8_t buffer[8] = {};
    DWORD got = 99;

    pty.Send(Bytes("xy"));
    auto start = Clock::now();
    EXPECT_EQ(driver.FT_Read(handle, buffer, 5, &got), FT_OK);
    long long took = ElapsedMs(start);
    EXPECT_EQ(std::string(buffer, buffer + got), "xy");
    EXPECT_GE(took, 70);
    EXPECT_LT(took, 2000);

    start = Clock::now();
    EXPECT_EQ(driver.FT_Read(handle, buffer, 3, &got), FT_OK);
    took = ElapsedMs(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(took, 70);
    EXPECT_LT(took, 2000);

    // A zero time-out takes what is there without waiting: nothing at
    // first, the byte once the pseudo-terminal has passed it on.
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 0, 0), FT_OK);
    start = Clock::now();
    EXPECT_EQ(driver.FT_Read(handle, buffer, 4, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_LT(ElapsedMs(start), 1000);
    pty.Send(Bytes("z"));
    std::string read;
    start = Clock::now();
    while (read.empty() && ElapsedMs(start) < 5000) {
        const auto call = Clock::now();
        EXPECT_EQ(driver.FT_Read(handle, buffer, 4, &got), FT_OK);
        EXPECT_LT(ElapsedMs(call), 1000);
        read.assign(buffer, buffer + got);
    }
    EXPECT_EQ(read, "z");
}

TEST_F(SerialIo, PurgeDropsPendingInputAndThePortGoesOn)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 60, 60), FT_OK);
    pty.Send(Bytes("stale"));
    std::uint8_t buffer[8] = {};
    DWORD got = 0;
    ASSERT_EQ(driver.FT_Read(handle, buffer, 1, &got), FT_OK); // the bytes are in the port now
    ASSERT_EQ(got, 1u);

    EXPECT_EQ(driver.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    pty.Send(Bytes("new"));
    EXPECT_EQ(driver.FT_Read(handle, buffer, 8, &got), FT_OK);
    EXPECT_EQ(std::string(buffer, buffer + got), "new");
}

TEST_F(SerialIo, BytesPassUnchangedBothWays)
{
    // Every byte value, control characters included: no echo, no line-end
    // translation, no flow-control or signal characters taken out.
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 500, 500), FT_OK);

    pty.Send(all);
    std::vector<std::uint8_t> in(256);
    DWORD got = 0;
    EXPECT_EQ(driver.FT_Read(handle, in.data(), 256, &got), FT_OK);
    in.resize(got);
    EXPECT_EQ(in, all);

    DWORD written = 0;
    EXPECT_EQ(driver.FT_Write(handle, all.data(), 256, &written), FT_OK);
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(pty.Receive(256), all);
    EXPECT_TRUE(pty.Receive(1, 50).empty()) << "nothing echoed or added";
}

TEST_F(SerialIo, WritesGoOutAtOnceWhileAnotherThreadWaitsInRead)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 10000, 10000), FT_OK);
    auto reader = ReadInBackground(3);
    LetItBlock();

    std::vector<std::uint8_t> sent;
    for (std::uint8_t code = 1; code <= 20; ++code) {
        const std::uint8_t frame[6] = {0x55, 0x55, 0x55, 0x01, code, code};
        DWORD written = 0;
        const auto start = Clock::now();
        EXPECT_EQ(driver.FT_Write(handle, frame, 6, &written), FT_OK);
        EXPECT_LT(ElapsedMs(start), 3000) << "write of frame " << int(code) << " waited";
        sent.insert(sent.end(), frame, frame + 6);
    }
    EXPECT_EQ(pty.Receive(sent.size()), sent);
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout)
        << "the read is still waiting";

    pty.Send(Bytes("ok!"));
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(5000)), std::future_status::ready);
    const auto [status, bytes] = reader.get();
    EXPECT_EQ(status, FT_OK);
    EXPECT_EQ(bytes, Bytes("ok!"));
}

TEST_F(SerialIo, WriteTimeOutReturnsWhenTheDeviceTakesNoMore)
{
    // Nobody reads the master: the pseudo-terminal's buffer fills up.
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 50, 50), FT_OK);
    std::vector<std::uint8_t> lots(1 << 20, 0x41);
    DWORD written = 0;
    const auto start = Clock::now();
    EXPECT_EQ(driver.FT_Write(handle, lots.data(), static_cast<DWORD>(lots.size()), &written), FT_OK);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, lots.size());
}

TEST_F(SerialIo, VanishedDeviceIsAnIoErrorNotAHang)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 10000, 10000), FT_OK);
    auto reader = ReadInBackground(6);
    LetItBlock();
    pty.CloseMaster();

    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(5000)), std::future_status::ready) << "read hangs";
    EXPECT_EQ(reader.get().first, FT_IO_ERROR);

    std::uint8_t buffer[4] = {1, 2, 3, 4};
    DWORD count = 0;
    const auto start = Clock::now();
    EXPECT_EQ(driver.FT_Read(handle, buffer, 4, &count), FT_IO_ERROR);
    EXPECT_EQ(driver.FT_Write(handle, buffer, 4, &count), FT_IO_ERROR);
    EXPECT_EQ(driver.FT_SetDtr(handle), FT_IO_ERROR);
    EXPECT_LT(ElapsedMs(start), 2000);
}

TEST_F(SerialIo, CloseWakesABlockedReaderAndFreesThePort)
{
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 10000, 10000), FT_OK);
    auto reader = ReadInBackground(6);
    LetItBlock();

    const auto start = Clock::now();
    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
    EXPECT_LT(ElapsedMs(start), 5000);
    ASSERT_EQ(reader.wait_for(std::chrono::milliseconds(5000)), std::future_status::ready);
    EXPECT_EQ(reader.get().first, FT_INVALID_HANDLE);

    std::uint8_t byte = 0;
    DWORD count = 0;
    EXPECT_EQ(driver.FT_Read(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Write(handle, &byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Purge(handle, FT_PURGE_RX), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_ClrRts(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(handle), FT_INVALID_HANDLE);

    // The descriptor and its lock are gone: the port opens again at once.
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
}

} // namespace
