// The poll transaction's driver traffic and its status checks: which failed
// call raises FT_Exception with which location number, and which does not.

#include "FrameBytes.h"
#include "link/FtStatus.h"

#include <gtest/gtest.h>

#include <string>

using namespace frametest;
using protocol::FrameOutcome;

namespace {

// The message of the FT_Exception that `run` raises, or "" when none.
template <typename Run> std::string RaisedMessage(Run run)
{
    try {
        run();
    } catch (const FT_Exception& e) {
        return e.what();
    }
    return {};
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(DisplayFrameStatus, EachCheckedReadNamesItsLocation)
{
    struct Case {
        int readIndex; // the failing FT_Read of a whole frame read in one piece per field
        int location;
    };
    for (const Case c : {Case{0, 1271}, Case{1, 1285}, Case{2, 1293}, Case{3, 1307}, Case{4, 1318}, Case{6, 1352}}) {
        ChunkDriver driver(FullZeroFrame());
        driver.FailCall(c.readIndex, FT_IO_ERROR);
        ReceiveBuffer buffer;
        std::uint8_t lamp = 0;
        const std::string message =
            RaisedMessage([&] { protocol::ReadDisplayFrame(driver, nullptr, buffer.rx(), lamp); });
        EXPECT_TRUE(EndsWith(message, "#[" + std::to_string(c.location) + "]")) << message;
        // Nothing is read after the failed call.
        EXPECT_EQ(driver.Calls().size(), static_cast<std::size_t>(c.readIndex + 1)) << c.location;
    }

    // The whole text: status text, two blanks, location.
    ChunkDriver driver(FullZeroFrame());
    driver.FailCall(0, FT_IO_ERROR);
    ReceiveBuffer buffer;
    std::uint8_t lamp = 0;
    EXPECT_EQ(RaisedMessage([&] { protocol::ReadDisplayFrame(driver, nullptr, buffer.rx(), lamp); }),
              "FATAL ERROR ON USB LINK...  #[1271]");
}

TEST(DisplayFrameStatus, EveryHeaderReadIsChecked)
{
    // The first header read brings one byte; the second one fails.
    ChunkDriver driver(FullZeroFrame(), {1});
    driver.FailCall(1, FT_DEVICE_NOT_OPENED);
    ReceiveBuffer buffer;
    std::uint8_t lamp = 0;
    EXPECT_EQ(RaisedMessage([&] { protocol::ReadDisplayFrame(driver, nullptr, buffer.rx(), lamp); }),
              "FT_DEVICE_NOT_OPENED  #[1271]");
}

TEST(DisplayFrameStatus, FailedPayloadReadMakesABadFrameNotAnError)
{
    // The first payload read fails outright.
    {
        ChunkDriver driver(FullZeroFrame());
        driver.FailCall(5, FT_IO_ERROR);
        ReceiveBuffer buffer;
        ReadResult r;
        EXPECT_NO_THROW(r = ReadFrame(driver, buffer));
        EXPECT_EQ(r.outcome, FrameOutcome::Bad);
        EXPECT_EQ(r.lamp, 0xFE);
        EXPECT_EQ(driver.Calls().size(), 6u); // no checksum read
    }
    // A later payload read fails after part of the payload came.
    {
        ChunkDriver driver(FullZeroFrame(), {3, 2, 2, 1, 1, 100});
        driver.FailCall(6, FT_IO_ERROR);
        ReceiveBuffer buffer;
        ReadResult r;
        EXPECT_NO_THROW(r = ReadFrame(driver, buffer));
        EXPECT_EQ(r.outcome, FrameOutcome::Bad);
        EXPECT_EQ(driver.Calls().size(), 7u);
    }
}

TEST(PollOnce, PurgesBothQueuesWritesTheQueryThenReadsTheAnswer)
{
    ChunkDriver driver(FullZeroFrame());
    ReceiveBuffer buffer;
    std::uint8_t lamp = 0;
    int length = -1;
    EXPECT_EQ(protocol::PollOnce(driver, nullptr, buffer.rx(), lamp, &length), FrameOutcome::Valid);
    EXPECT_EQ(lamp, 0xFE);
    EXPECT_EQ(length, 360);

    const auto& calls = driver.Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].op, ChunkDriver::Op::Purge);
    EXPECT_EQ(calls[0].mask, 3u);
    EXPECT_EQ(calls[1].op, ChunkDriver::Op::Write);
    EXPECT_EQ(calls[1].written, (Bytes{0x55, 0x55, 0x55, 0x01, 0x80, 0x80}));
    for (std::size_t i = 2; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].op, ChunkDriver::Op::Read) << i;
}

TEST(PollOnce, PurgeAndQueryWriteFailuresNameTheirLocations)
{
    for (const auto& [callIndex, expected] :
         {std::pair{0, "FATAL ERROR ON USB LINK...  #[1255]"}, std::pair{1, "FATAL ERROR ON USB LINK...  #[1256]"}}) {
        ChunkDriver driver(FullZeroFrame());
        driver.FailCall(callIndex, FT_IO_ERROR);
        ReceiveBuffer buffer;
        std::uint8_t lamp = 0;
        EXPECT_EQ(RaisedMessage([&] { protocol::PollOnce(driver, nullptr, buffer.rx(), lamp); }), expected);
        EXPECT_EQ(driver.Calls().size(), static_cast<std::size_t>(callIndex + 1));
        EXPECT_EQ(driver.Position(), 0u);
    }
}
