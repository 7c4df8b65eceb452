// The simulated driver backend: handles, the device list, queues, time-outs
// on the injected clock, modem lines, injected failures and unplugging.

#include "SimTestSupport.h"
#include "protocol/Frames.h"
#include "sim/SimDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace simtest;

namespace {

class SimDriverTest : public ::testing::Test {
protected:
    SimDriverTest() : driver(Options()) {}

    sim::SimOptions Options()
    {
        sim::SimOptions options;
        options.clock = &clock;
        options.serials = {"AV1A2B3C", "AV9Z8Y7X"};
        return options;
    }

    FT_HANDLE Open(int index = 0)
    {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(driver.FT_Open(index, &handle), FT_OK);
        return handle;
    }

    protocol::FrameOutcome Poll(FT_HANDLE handle)
    {
        std::uint8_t rx[protocol::kReceiveBufferSize];
        std::uint8_t lamp = 0;
        return protocol::PollOnce(driver, handle, rx, lamp);
    }

    void Write(FT_HANDLE handle, const Bytes& bytes)
    {
        DWORD written = 0;
        ASSERT_EQ(driver.FT_Write(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written), FT_OK);
        EXPECT_EQ(written, bytes.size());
    }

    InstantClock clock;
    sim::SimDriver driver;
};

} // namespace

TEST_F(SimDriverTest, QueryIsAnsweredWithAValidFrame)
{
    const FT_HANDLE handle = Open();
    std::uint8_t rx[protocol::kReceiveBufferSize];
    std::uint8_t lamp = 0;
    int length = 0;
    EXPECT_EQ(protocol::PollOnce(driver, handle, rx, lamp, &length), protocol::FrameOutcome::Valid);
    EXPECT_EQ(length, 360);
    EXPECT_EQ(lamp, 0xFE);
    EXPECT_EQ(rx[0], 'A' - 32);  // "AVELKOR" in the top row
    EXPECT_EQ(clock.NowMs(), 0); // nothing waited
}

TEST_F(SimDriverTest, EachFrameFaultGivesTheExpectedOutcome)
{
    const FT_HANDLE handle = Open();
    using sim::FrameFault;
    using Outcome = protocol::FrameOutcome;
    const std::pair<FrameFault, Outcome> cases[] = {
        {FrameFault::None, Outcome::Valid},
        {FrameFault::Silence, Outcome::NoAnswer},
        {FrameFault::GarbageBeforeHeader, Outcome::NoAnswer},
        {FrameFault::WrongComplement, Outcome::Bad},
        {FrameFault::WrongType, Outcome::Bad},
        {FrameFault::BadChecksum, Outcome::Bad},
        {FrameFault::SwappedChecksum, Outcome::Bad},
        {FrameFault::ShortFrame, Outcome::Bad},
        {FrameFault::HeaderOnly, Outcome::NoAnswer},
        {FrameFault::HugeLength, Outcome::Bad},
    };
    for (const auto& [fault, outcome] : cases) {
        {
            auto lock = driver.Lock();
            driver.Device().InjectFrameFault(fault, 1);
        }
        EXPECT_EQ(Poll(handle), outcome) << static_cast<int>(fault);
        EXPECT_EQ(Poll(handle), Outcome::Valid) << static_cast<int>(fault); // the purge clears what is left
    }
}

TEST_F(SimDriverTest, InstantReadTimeOutAdvancesTheClockInsteadOfSleeping)
{
    const FT_HANDLE handle = Open();
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 3000, 3000), FT_OK);
    const auto started = std::chrono::steady_clock::now();
    std::uint8_t buffer[8];
    DWORD got = 99;
    EXPECT_EQ(driver.FT_Read(handle, buffer, 3, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.NowMs(), 3000);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));

    // A short read delivers what is there once the time-out has passed.
    Write(handle, Command(0x80));
    EXPECT_EQ(driver.FT_Read(handle, buffer, 8, &got), FT_OK);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(clock.NowMs(), 3000);
    Bytes rest(400);
    EXPECT_EQ(driver.FT_Read(handle, rest.data(), 400, &got), FT_OK);
    EXPECT_EQ(got, 371u - 8u);
    EXPECT_EQ(clock.NowMs(), 6000);
}

TEST_F(SimDriverTest, DefaultTimeoutsAre1200AndSetTimeoutsIsStored)
{
    const FT_HANDLE handle = Open();
    EXPECT_EQ(driver.ReadTimeoutMs(), 1200u);
    EXPECT_EQ(driver.WriteTimeoutMs(), 1200u);
    driver.FT_SetTimeouts(handle, 3000, 2500);
    EXPECT_EQ(driver.ReadTimeoutMs(), 3000u);
    EXPECT_EQ(driver.WriteTimeoutMs(), 2500u);
    std::uint8_t b;
    DWORD got = 0;
    driver.FT_Read(handle, &b, 1, &got);
    EXPECT_EQ(clock.NowMs(), 3000);
}

TEST_F(SimDriverTest, PurgeDropsPendingAnswer)
{
    const FT_HANDLE handle = Open();
    Write(handle, Command(0x80));
    ASSERT_EQ(driver.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    std::uint8_t b[4];
    DWORD got = 0;
    driver.FT_Read(handle, b, 3, &got);
    EXPECT_EQ(got, 0u);
}

TEST_F(SimDriverTest, OpenByIndexAndBySerialNumber)
{
    FT_HANDLE first = Open(0);
    ASSERT_NE(first, nullptr);
    FT_HANDLE again = nullptr;
    EXPECT_EQ(driver.FT_Open(0, &again), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver.FT_Open(2, &again), FT_DEVICE_NOT_FOUND);

    FT_HANDLE second = nullptr;
    EXPECT_EQ(driver.FT_OpenEx("AV1A2B3C", FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(driver.FT_OpenEx("NOSUCH", FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(driver.FT_OpenEx("AV9Z8Y7X", FT_OPEN_BY_SERIAL_NUMBER, &second), FT_OK);
    EXPECT_NE(second, first);
    Write(second, Command(4));
    EXPECT_EQ(driver.Written(1), Command(4));
    EXPECT_TRUE(driver.Written(0).empty());
    EXPECT_EQ(driver.Device(1).KeyCodes(), (Bytes{4}));

    EXPECT_EQ(driver.FT_Close(first), FT_OK);
    EXPECT_FALSE(driver.IsOpen(0));
    EXPECT_EQ(driver.FT_Purge(first, 3), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Close(first), FT_INVALID_HANDLE);
    FT_HANDLE reopened = Open(0);
    EXPECT_NE(reopened, first); // a fresh handle for every open
}

TEST_F(SimDriverTest, DeviceInfoReportsSerialDescriptionAndOpenFlag)
{
    DWORD count = 0;
    EXPECT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 2u);

    DWORD flags = 99, type = 0, id = 0, loc = 0;
    char serial[FT_SERIAL_BUFFER];
    char description[FT_DESCRIPTION_BUFFER];
    std::memset(serial, 'x', sizeof serial);
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(1);
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serial, description, &handle), FT_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_STREQ(serial, "AV1A2B3C");
    EXPECT_STREQ(description, "AVELKOR Q9-MX");
    EXPECT_EQ(handle, nullptr);

    const FT_HANDLE open = Open(0);
    driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serial, description, &handle);
    EXPECT_EQ(flags & FT_FLAGS_OPENED, FT_FLAGS_OPENED);
    EXPECT_EQ(handle, open);
    EXPECT_EQ(driver.FT_GetDeviceInfoDetail(2, &flags, &type, &id, &loc, serial, description, &handle),
              FT_DEVICE_NOT_FOUND);
}

TEST_F(SimDriverTest, PowerOnPulseThroughTheModemLines)
{
    const FT_HANDLE handle = Open();
    driver.FT_SetDtr(handle);
    driver.FT_ClrRts(handle);
    protocol::SendCommand(driver, handle, 10); // OFF
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::NoAnswer);

    auto pulse = [&](int ms) {
        driver.FT_ClrDtr(handle);
        driver.FT_SetRts(handle);
        EXPECT_FALSE(driver.Dtr());
        EXPECT_TRUE(driver.Rts());
        clock.SleepMs(ms);
        driver.FT_SetDtr(handle);
        driver.FT_ClrRts(handle);
    };
    pulse(300);
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::NoAnswer);
    pulse(1000);
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::Valid);
}

TEST_F(SimDriverTest, FailedOperationReturnsItsStatusWithoutEffect)
{
    const FT_HANDLE handle = Open();
    driver.FailOperation("FT_Write", FT_IO_ERROR, 1);
    DWORD written = 99;
    const Bytes query = Command(0x80);
    EXPECT_EQ(driver.FT_Write(handle, query.data(), 6, &written), FT_IO_ERROR);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(driver.Written().empty());
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::Valid);

    driver.FailOperation("FT_Purge", FT_OTHER_ERROR, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(driver.FT_Purge(handle, 3), FT_OTHER_ERROR);
    driver.ClearFailures();
    EXPECT_EQ(driver.FT_Purge(handle, 3), FT_OK);

    driver.FailOperation("FT_Open", FT_DEVICE_NOT_FOUND, 2);
    FT_HANDLE other = nullptr;
    EXPECT_EQ(driver.FT_Open(1, &other), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_Open(1, &other), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_Open(1, &other), FT_OK);
}

TEST_F(SimDriverTest, UnpluggedDeviceFailsEveryCall)
{
    const FT_HANDLE handle = Open();
    driver.Unplug();
    std::uint8_t b[3];
    DWORD got = 0;
    EXPECT_EQ(driver.FT_Read(handle, b, 3, &got), FT_IO_ERROR);
    EXPECT_EQ(driver.FT_Purge(handle, 3), FT_IO_ERROR);
    const Bytes query = Command(0x80);
    EXPECT_EQ(driver.FT_Write(handle, query.data(), 6, &got), FT_IO_ERROR);
    FT_HANDLE other = nullptr;
    EXPECT_EQ(driver.FT_Open(0, &other), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_OpenEx("AV1A2B3C", FT_OPEN_BY_SERIAL_NUMBER, &other), FT_DEVICE_NOT_FOUND);
    DWORD count = 5;
    driver.FT_CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(driver.IsOpen());

    driver.Replug();
    EXPECT_EQ(driver.FT_Purge(handle, 3), FT_IO_ERROR); // the old handle stays dead
    EXPECT_EQ(driver.FT_Close(handle), FT_IO_ERROR);    // but is released
    EXPECT_EQ(driver.FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(Poll(Open()), protocol::FrameOutcome::Valid);
}

TEST_F(SimDriverTest, WrongLinkSettingsLoseTheBytes)
{
    const FT_HANDLE handle = Open();
    driver.FT_SetBaudRate(handle, 9600);
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::NoAnswer);
    driver.FT_SetBaudRate(handle, 115200);
    EXPECT_EQ(Poll(handle), protocol::FrameOutcome::Valid);
    EXPECT_EQ(driver.FT_SetBaudRate(handle, 0), FT_INVALID_BAUD_RATE);
}

TEST_F(SimDriverTest, CallsAreRecordedWithArgumentsBytesAndStatus)
{
    const FT_HANDLE handle = Open();
    driver.FT_SetTimeouts(handle, 1200, 1000);
    driver.FT_CyclePort(handle);
    Write(handle, Command(0x80));
    std::uint8_t b[3];
    DWORD got = 0;
    driver.FT_Read(handle, b, 3, &got);
    driver.FT_Close(handle);

    const std::vector<sim::CallRecord> calls = driver.Calls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].op, "FT_Open");
    EXPECT_EQ(calls[1].op, "FT_SetTimeouts");
    EXPECT_EQ(calls[1].arg, 1200u);
    EXPECT_EQ(calls[1].arg2, 1000u);
    EXPECT_EQ(calls[2].op, "FT_CyclePort");
    EXPECT_EQ(calls[3].bytes, Command(0x80));
    EXPECT_EQ(calls[4].op, "FT_Read");
    EXPECT_EQ(calls[4].bytes, (Bytes{0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(calls[5].op, "FT_Close");
    EXPECT_EQ(driver.IsOpen(), false);

    driver.ClearCalls();
    EXPECT_EQ(driver.FT_Close(handle), FT_INVALID_HANDLE);
    ASSERT_EQ(driver.Calls().size(), 1u);
    EXPECT_EQ(driver.Calls()[0].status, FT_INVALID_HANDLE);
}

TEST_F(SimDriverTest, NoHandleOrBadArgumentsAreRefused)
{
    std::uint8_t b[3];
    DWORD got = 0;
    EXPECT_EQ(driver.FT_Read(nullptr, b, 3, &got), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_SetDtr(reinterpret_cast<FT_HANDLE>(0x1234)), FT_INVALID_HANDLE);
    EXPECT_EQ(driver.FT_Open(0, nullptr), FT_INVALID_PARAMETER);
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver.FT_OpenEx("AV1A2B3C", 0x40, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_OpenEx("AVELKOR Q9-MX", FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
}
