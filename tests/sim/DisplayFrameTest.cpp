// The display frame that answers a query, byte for byte, and the wire parser
// that finds the query in whatever the program writes.

#include "SimTestSupport.h"
#include "sim/DisplayFrameWriter.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

std::uint16_t Le16(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

} // namespace

TEST(DisplayFrame, IdleAnswerIsAFull371ByteFrame)
{
    sim::SimAmplifier amp;
    const Bytes frame = Query(amp);
    ASSERT_EQ(frame.size(), 371u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), (Bytes{0xAA, 0xAA, 0xAA, 0x6A, 0x01, 0x95, 0xFE, 0x01, 0xFE}));
    std::uint16_t sum = 0;
    for (std::size_t i = 7; i < 7 + 362; ++i)
        sum = static_cast<std::uint16_t>(sum + frame[i]);
    EXPECT_EQ(Le16(frame, 369), sum);
    EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 369), amp.Payload());
}

TEST(DisplayFrame, ZeroPayloadWithLampFEHasChecksumFF00)
{
    Bytes out;
    sim::AppendDisplayFrame(0xFE, Bytes(360, 0), sim::FrameFault::None, out);
    ASSERT_EQ(out.size(), 371u);
    EXPECT_EQ(out[369], 0xFF);
    EXPECT_EQ(out[370], 0x00);
}

TEST(DisplayFrame, FaultsSpoilTheFrameAsNamed)
{
    const Bytes payload(360, 0x21);
    auto build = [&](sim::FrameFault fault) {
        Bytes out;
        sim::AppendDisplayFrame(0xFE, payload, fault, out);
        return out;
    };
    const Bytes good = build(sim::FrameFault::None);

    EXPECT_TRUE(build(sim::FrameFault::Silence).empty());
    EXPECT_EQ(build(sim::FrameFault::HeaderOnly), (Bytes{0xAA, 0xAA}));

    Bytes garbage = build(sim::FrameFault::GarbageBeforeHeader);
    EXPECT_EQ(garbage[0], 0x00);
    EXPECT_EQ(Bytes(garbage.begin() + 1, garbage.end()), good);

    const Bytes complement = build(sim::FrameFault::WrongComplement);
    EXPECT_EQ(Le16(complement, 5), 362);

    const Bytes type = build(sim::FrameFault::WrongType);
    EXPECT_EQ(type[7], 2);
    EXPECT_EQ(Le16(type, 369), static_cast<std::uint16_t>(Le16(good, 369) + 1)); // consistent with type 2

    EXPECT_EQ(Le16(build(sim::FrameFault::BadChecksum), 369), static_cast<std::uint16_t>(Le16(good, 369) + 1));

    const Bytes swapped = build(sim::FrameFault::SwappedChecksum);
    EXPECT_EQ(swapped[369], good[370]);
    EXPECT_EQ(swapped[370], good[369]);

    EXPECT_EQ(build(sim::FrameFault::ShortFrame).size(), 9u + 180u);

    const Bytes huge = build(sim::FrameFault::HugeLength);
    EXPECT_GT(Le16(huge, 3) - 2, 4096);
    EXPECT_EQ(Le16(huge, 5), static_cast<std::uint16_t>(~Le16(huge, 3)));
}

TEST(DisplayFrame, SwappedChecksumStaysWrongWhenBothBytesAreEqual)
{
    // Type 1 + lamp 1 + 255 = 0x0101: swapping its bytes would change nothing.
    Bytes payload(360, 0);
    payload[0] = 0xFF;
    Bytes good;
    Bytes swapped;
    sim::AppendDisplayFrame(0x01, payload, sim::FrameFault::None, good);
    sim::AppendDisplayFrame(0x01, payload, sim::FrameFault::SwappedChecksum, swapped);
    ASSERT_EQ(Le16(good, 369), 0x0101);
    EXPECT_NE(Le16(swapped, 369), 0x0101);
}

TEST(DisplayFrame, FrameFaultCountsDownAndNegativeCountLastsUntilCleared)
{
    sim::SimAmplifier amp;
    amp.InjectFrameFault(sim::FrameFault::Silence, 2);
    EXPECT_TRUE(Query(amp).empty());
    EXPECT_TRUE(Query(amp).empty());
    EXPECT_EQ(Query(amp).size(), 371u);

    amp.InjectFrameFault(sim::FrameFault::Silence, -1);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(Query(amp).empty());
    amp.InjectFrameFault(sim::FrameFault::None);
    EXPECT_EQ(Query(amp).size(), 371u);
}

TEST(WireParser, QuerySplitIntoSingleBytesIsAnsweredOnce)
{
    sim::SimAmplifier amp;
    Bytes answer;
    for (std::uint8_t b : Command(0x80)) {
        const Bytes part = Feed(amp, Bytes{b});
        answer.insert(answer.end(), part.begin(), part.end());
    }
    EXPECT_EQ(answer.size(), 371u);
}

TEST(WireParser, ResynchronisesAfterGarbageAndExtraSyncBytes)
{
    sim::SimAmplifier amp;
    Bytes stream = {0x00, 0x13, 0x55, 0x55, 0x42, 0x55}; // noise, a broken sync
    const Bytes ant = Command(4);
    stream.insert(stream.end(), ant.begin(), ant.end());
    stream.push_back(0x55); // a fourth sync byte before the next frame
    const Bytes query = Command(0x80);
    stream.insert(stream.end(), query.begin(), query.end());

    EXPECT_EQ(Feed(amp, stream).size(), 371u);
    EXPECT_EQ(amp.KeyCodes(), (Bytes{4}));
}

TEST(WireParser, FrameWithWrongCheckByteIsIgnored)
{
    sim::SimAmplifier amp;
    EXPECT_TRUE(Feed(amp, Bytes{0x55, 0x55, 0x55, 0x01, 0x80, 0x81}).empty());
    EXPECT_TRUE(Feed(amp, Bytes{0x55, 0x55, 0x55, 0x01, 0x04, 0x05}).empty());
    EXPECT_TRUE(amp.KeyCodes().empty());
    EXPECT_EQ(Query(amp).size(), 371u);
}

TEST(WireParser, StalledFrameIsDroppedAfterHalfASecond)
{
    sim::SimAmplifier amp;
    // The start of a block data frame that never gets its 4096 bytes.
    EXPECT_TRUE(Feed(amp, Bytes{0x55, 0x55, 0x55, 0x00, 0x01}, 1000).empty());
    EXPECT_TRUE(Query(amp, 1400).empty()); // still swallowed as data
    EXPECT_EQ(Query(amp, 2000).size(), 371u);
}

TEST(WireParser, KeyCodesAreRecordedInOrderWithoutTheQuery)
{
    sim::SimAmplifier amp;
    for (std::uint8_t code : {1, 0x80, 4, 0x80, 13, 200})
        Key(amp, code);
    EXPECT_EQ(amp.KeyCodes(), (Bytes{1, 4, 13, 200}));
    amp.ClearKeyCodes();
    EXPECT_TRUE(amp.KeyCodes().empty());
}
