#include "protocol/Frames.h"

#include <gtest/gtest.h>

TEST(CommandFrame, KeyCodeIsPayloadAndCheckByte)
{
    EXPECT_EQ(protocol::BuildCommandFrame(0x04), (protocol::CommandFrame{0x55, 0x55, 0x55, 0x01, 0x04, 0x04}));
    EXPECT_EQ(protocol::kQueryFrame, (protocol::CommandFrame{0x55, 0x55, 0x55, 0x01, 0x80, 0x80}));
    EXPECT_EQ(protocol::BuildCommandFrame(protocol::kResumeCode), (protocol::CommandFrame{0x55, 0x55, 0x55, 0x01, 0x65, 0x65}));
    EXPECT_EQ(protocol::BuildCommandFrame(0xCF), (protocol::CommandFrame{0x55, 0x55, 0x55, 0x01, 0xCF, 0xCF}));
}
