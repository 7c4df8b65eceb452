// Command frames: 55 55 55 01 c c for every key code, written in one FT_Write
// whose status is ignored.

#include "ChunkDriver.h"
#include "protocol/Frames.h"

#include <gtest/gtest.h>

using namespace frametest;

TEST(CommandFrame, EveryCodeIsSentAsSyncLengthCodeAndCheckByte)
{
    for (int code = 0; code <= 255; ++code) {
        const auto c = static_cast<std::uint8_t>(code);
        const Bytes expected{0x55, 0x55, 0x55, 0x01, c, c};

        const protocol::CommandFrame frame = protocol::BuildCommandFrame(c);
        ASSERT_EQ(Bytes(frame.begin(), frame.end()), expected) << code;

        ChunkDriver driver;
        protocol::SendCommand(driver, nullptr, c);
        ASSERT_EQ(driver.Calls().size(), 1u) << code;
        ASSERT_EQ(driver.Calls()[0].op, ChunkDriver::Op::Write) << code;
        ASSERT_EQ(driver.Calls()[0].written, expected) << code;
    }
}

TEST(CommandFrame, CodesBoundToNoKey)
{
    EXPECT_EQ(protocol::kQueryCode, 0x80);
    EXPECT_EQ(protocol::kUpdateAnnounceCode, 0x64);
    EXPECT_EQ(protocol::kResumeCode, 0x65);
    EXPECT_EQ(protocol::kUpdateStartCode, 0x66);
    EXPECT_EQ(protocol::kUpdateCompleteCode, 0x67);
    EXPECT_EQ(protocol::kTransferEndCode, 0xCF);
    EXPECT_EQ(protocol::kAckCode, 0x06);
    EXPECT_EQ(protocol::kQueryFrame, (protocol::CommandFrame{0x55, 0x55, 0x55, 0x01, 0x80, 0x80}));
}

TEST(CommandFrame, FailedWriteIsIgnored)
{
    ChunkDriver driver;
    driver.FailCall(0, FT_IO_ERROR);
    EXPECT_NO_THROW(protocol::SendCommand(driver, nullptr, protocol::kResumeCode));
    ASSERT_EQ(driver.Calls().size(), 1u);
    EXPECT_EQ(driver.Calls()[0].status, FT_IO_ERROR);
}
