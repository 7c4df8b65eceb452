// The amplifier's side of a firmware transfer: the handshake, the per-block
// ACKs and checksum echoes, the final total, and each fault on demand.

#include "SimTestSupport.h"
#include "sim/AmpPanel.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr std::uint8_t kAnnounce = 100, kResume = 101, kStart = 102, kComplete = 103, kEnd = 207;

class FirmwareReceiver : public ::testing::Test {
protected:
    // Announce and start; true when the start was ACKed.
    bool Begin()
    {
        Key(amp, kAnnounce);
        return Key(amp, kStart) == kAck;
    }

    // One block attempt as the program sends it: header, then data.
    struct Answers {
        Bytes headerAnswer, dataAnswer;
    };
    Answers SendBlock(std::uint8_t tag, const Bytes& data)
    {
        Answers a;
        a.headerAnswer = Feed(amp, BlockHeader(tag));
        a.dataAnswer = Feed(amp, BlockData(data));
        return a;
    }

    sim::SimAmplifier amp;
};

} // namespace

TEST_F(FirmwareReceiver, HappyPathKeepsTheImageAndRestartsTheAmplifier)
{
    Key(amp, kAnnounce);
    EXPECT_TRUE(amp.UpdateMode());
    EXPECT_NE(amp.RowText(3).find("WAITING FOR FIRMWARE"), std::string::npos);
    EXPECT_EQ(Key(amp, kStart), kAck);

    const Bytes first = Block(1), second = Block(2);
    const Answers a = SendBlock(0x10, first);
    EXPECT_EQ(a.headerAnswer, kAck);
    EXPECT_EQ(a.dataAnswer, SumReply(Sum32(first)));
    const Answers b = SendBlock(0x11, second);
    EXPECT_EQ(b.headerAnswer, kAck);
    EXPECT_EQ(b.dataAnswer, SumReply(Sum32(second)));

    EXPECT_EQ(Key(amp, kEnd), SumReply(Sum32(first) + Sum32(second)));
    EXPECT_FALSE(amp.UpdateCompleted());
    EXPECT_TRUE(Key(amp, kComplete).empty());
    EXPECT_TRUE(amp.UpdateCompleted());
    EXPECT_FALSE(amp.UpdateMode());

    ASSERT_EQ(amp.ReceivedImage().size(), 2u);
    EXPECT_EQ(amp.ReceivedImage()[0].tag, 0x10);
    EXPECT_EQ(amp.ReceivedImage()[0].data, first);
    EXPECT_EQ(amp.ReceivedImage()[1].tag, 0x11);
    EXPECT_EQ(amp.ReceivedImage()[1].data, second);

    // The new firmware waits for the power-on pulse and shows its version.
    EXPECT_FALSE(amp.PoweredOn());
    amp.SetPoweredOn(true);
    Key(amp, 12);
    Key(amp, 12);
    EXPECT_NE(amp.RowText(1).find("2.08"), std::string::npos);
}

TEST_F(FirmwareReceiver, ChecksumReplyOfAllFFBlockCarries1044480)
{
    ASSERT_TRUE(Begin());
    const Answers a = SendBlock(0x40, Bytes(4096, 0xFF));
    ASSERT_EQ(a.dataAnswer.size(), 9u);
    EXPECT_EQ(Bytes(a.dataAnswer.begin() + 4, a.dataAnswer.begin() + 8), (Bytes{0x00, 0xF0, 0x0F, 0x00}));
}

TEST_F(FirmwareReceiver, StartWithoutAnnounceIsNotAnswered)
{
    EXPECT_TRUE(Key(amp, kStart).empty());
    EXPECT_FALSE(amp.UpdateMode());
    EXPECT_TRUE(Feed(amp, BlockHeader(1)).empty());
}

TEST_F(FirmwareReceiver, ResumeReturnsToNormalOperationAndUnlocksTheKeys)
{
    Key(amp, kAnnounce);
    Key(amp, 4); // ignored while an update is pending
    EXPECT_EQ(amp.Panel().Antenna(), 1);
    Key(amp, kResume);
    EXPECT_FALSE(amp.UpdateMode());
    Key(amp, 4);
    EXPECT_EQ(amp.Panel().Antenna(), 2);
    EXPECT_EQ(amp.LampByte(), 0xFE);
}

TEST_F(FirmwareReceiver, RepeatedDataFrameReplacesTheSameBlock)
{
    ASSERT_TRUE(Begin());
    SendBlock(0x01, Block(1));
    Feed(amp, BlockData(Block(9))); // a data retry without a new header
    SendBlock(0x02, Block(2));
    ASSERT_EQ(amp.ReceivedImage().size(), 2u);
    EXPECT_EQ(amp.ReceivedImage()[0].data, Block(9));
    EXPECT_EQ(amp.ReceivedImage()[1].tag, 0x02);
}

TEST_F(FirmwareReceiver, NeverAckStart)
{
    amp.InjectUpdateFault(sim::UpdateFault::NeverAckStart);
    for (int attempt = 0; attempt < 10; ++attempt)
        EXPECT_FALSE(Begin());
}

TEST_F(FirmwareReceiver, DropAckAtBlockOnEveryAttempt)
{
    amp.InjectUpdateFault(sim::UpdateFault::DropAckAtBlock, 1);
    ASSERT_TRUE(Begin());
    EXPECT_EQ(SendBlock(0, Block(0)).headerAnswer, kAck);
    for (int attempt = 0; attempt < 3; ++attempt)
        EXPECT_TRUE(Feed(amp, BlockHeader(1)).empty()) << attempt;
}

TEST_F(FirmwareReceiver, DropAckOnceAtBlockAcksTheRetry)
{
    amp.InjectUpdateFault(sim::UpdateFault::DropAckOnceAtBlock, 0);
    ASSERT_TRUE(Begin());
    EXPECT_TRUE(Feed(amp, BlockHeader(7)).empty());
    EXPECT_EQ(Feed(amp, BlockHeader(7)), kAck);
    EXPECT_EQ(Feed(amp, BlockData(Block(7))), SumReply(Sum32(Block(7))));
    EXPECT_EQ(Feed(amp, BlockHeader(8)), kAck); // the next block is not affected
}

TEST_F(FirmwareReceiver, WrongEchoAtBlockOnEveryAttempt)
{
    amp.InjectUpdateFault(sim::UpdateFault::WrongEchoAtBlock, 0);
    ASSERT_TRUE(Begin());
    const Bytes data = Block(3);
    EXPECT_EQ(SendBlock(0, data).dataAnswer, SumReply(Sum32(data) + 1));
    EXPECT_EQ(Feed(amp, BlockData(data)), SumReply(Sum32(data) + 1));
    EXPECT_EQ(SendBlock(1, data).dataAnswer, SumReply(Sum32(data)));
}

TEST_F(FirmwareReceiver, WrongEchoOnceAtBlockEchoesTheRetryRight)
{
    amp.InjectUpdateFault(sim::UpdateFault::WrongEchoOnceAtBlock, 1);
    ASSERT_TRUE(Begin());
    SendBlock(0, Block(0));
    const Bytes data = Block(4);
    EXPECT_EQ(SendBlock(1, data).dataAnswer, SumReply(Sum32(data) + 1));
    EXPECT_EQ(Feed(amp, BlockData(data)), SumReply(Sum32(data)));
}

TEST_F(FirmwareReceiver, SilentFromBlockAnswersNothingAfterwards)
{
    amp.InjectUpdateFault(sim::UpdateFault::SilentFromBlock, 1);
    ASSERT_TRUE(Begin());
    EXPECT_EQ(SendBlock(0, Block(0)).headerAnswer, kAck);
    const Answers a = SendBlock(1, Block(1));
    EXPECT_TRUE(a.headerAnswer.empty());
    EXPECT_TRUE(a.dataAnswer.empty());
    EXPECT_TRUE(Key(amp, kEnd).empty());
    // The program's resume after the error box brings it back.
    Key(amp, kResume);
    EXPECT_EQ(Query(amp).size(), 371u);
}

TEST_F(FirmwareReceiver, SilentFromTheBlockAfterTheLastSilencesTheTotal)
{
    amp.InjectUpdateFault(sim::UpdateFault::SilentFromBlock, 1);
    ASSERT_TRUE(Begin());
    SendBlock(0, Block(0));
    EXPECT_TRUE(Key(amp, kEnd).empty());
}

TEST_F(FirmwareReceiver, ShortReplyAtBlockHasEightBytes)
{
    amp.InjectUpdateFault(sim::UpdateFault::ShortReplyAtBlock, 0);
    ASSERT_TRUE(Begin());
    const Bytes data = Block(5);
    const Bytes reply = SendBlock(0, data).dataAnswer;
    const Bytes full = SumReply(Sum32(data));
    EXPECT_EQ(reply, Bytes(full.begin(), full.begin() + 8));
}

TEST_F(FirmwareReceiver, WrongTotalIsEchoedAndCompleteIsRefused)
{
    amp.InjectUpdateFault(sim::UpdateFault::WrongTotal);
    ASSERT_TRUE(Begin());
    const Bytes data = Block(6);
    SendBlock(0, data);
    EXPECT_EQ(Key(amp, kEnd), SumReply(Sum32(data) + 1));
    Key(amp, kComplete);
    EXPECT_FALSE(amp.UpdateCompleted());
    EXPECT_TRUE(amp.PoweredOn());
}

TEST_F(FirmwareReceiver, BlockDataWithWrongCheckByteIsNotAnswered)
{
    ASSERT_TRUE(Begin());
    Feed(amp, BlockHeader(0));
    Bytes frame = BlockData(Block(1));
    frame.back() = static_cast<std::uint8_t>(frame.back() + 1);
    EXPECT_TRUE(Feed(amp, frame).empty());
    EXPECT_TRUE(amp.ReceivedImage().empty());
}
