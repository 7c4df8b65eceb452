// Acceptance of display frames read field by field from the link: what is
// valid, what is no answer, what is a bad frame, how far each outcome reads
// into the stream, and what it leaves in the receive buffer and lamp byte.

#include "FrameBytes.h"

#include <gtest/gtest.h>

using namespace frametest;
using protocol::FrameOutcome;

namespace {

const std::vector<DWORD> kWholeFrameReads{3, 2, 2, 1, 1, 360, 2};

} // namespace

TEST(DisplayFrameValid, FullIdleFrameIsAcceptedAndLandsOverTheHeader)
{
    const Bytes frame = FullZeroFrame();
    ASSERT_EQ(frame.size(), 371u);
    ChunkDriver driver(frame);
    ReceiveBuffer buffer;

    const ReadResult r = ReadFrame(driver, buffer);
    EXPECT_EQ(r.outcome, FrameOutcome::Valid);
    EXPECT_EQ(r.lamp, 0xFE);
    EXPECT_EQ(r.payloadLength, 360);
    EXPECT_EQ(driver.ReadRequests(), kWholeFrameReads);
    EXPECT_EQ(driver.Remaining(), 0u);
    // The payload overwrote the header from byte 0 on; nothing past it moved.
    for (int i = 0; i < 360; ++i)
        ASSERT_EQ(buffer[i], 0x00) << i;
    EXPECT_TRUE(buffer.Untouched(360, protocol::kReceiveBufferSize + ReceiveBuffer::kGuard));
}

TEST(DisplayFrameValid, PayloadBytesAreSummedWithTypeAndLamp)
{
    // 1 + 0xFE + 360 * 1 = 615 = 0x0267.
    ChunkDriver driver(Frame(362, 0xFE95, 1, 0xFE, Bytes(360, 0x01), 0x0267));
    ReceiveBuffer buffer;
    EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);
    EXPECT_EQ(buffer[0], 0x01);
    EXPECT_EQ(buffer[359], 0x01);

    // The same frame checked without the type byte, or with an 8-bit sum, is bad.
    for (std::uint16_t wrong : {std::uint16_t{0x0266}, std::uint16_t{0x0067}}) {
        ChunkDriver bad(Frame(362, 0xFE95, 1, 0xFE, Bytes(360, 0x01), wrong));
        ReceiveBuffer b;
        EXPECT_EQ(ReadFrame(bad, b).outcome, FrameOutcome::Bad) << wrong;
    }
}

TEST(DisplayFrameValid, FieldsMayArriveSplitAcrossReads)
{
    const Bytes frame = FullZeroFrame();

    // Header 1 + 2: the second read asks only for the two still missing.
    {
        ChunkDriver driver(frame, {1, 2});
        ReceiveBuffer buffer;
        EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);
        EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3, 2, 2, 2, 1, 1, 360, 2}));
    }
    // Header one byte at a time.
    {
        ChunkDriver driver(frame, {1, 1, 1});
        ReceiveBuffer buffer;
        EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);
    }
    // Payload in three pieces, each read asking for the rest.
    {
        ChunkDriver driver(frame, {3, 2, 2, 1, 1, 100, 200, 60});
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::Valid);
        EXPECT_EQ(r.payloadLength, 360);
        EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3, 2, 2, 1, 1, 360, 260, 60, 2}));
    }
}

TEST(DisplayFrameValid, LengthTwoMeansNoPayloadAndNoPayloadRead)
{
    // L = 2, complement 0xFFFD, checksum 1 + lamp.
    ChunkDriver driver(Frame(2, 0xFFFD, 1, 0x7F, {}, 0x0080));
    ReceiveBuffer buffer;
    const ReadResult r = ReadFrame(driver, buffer);
    EXPECT_EQ(r.outcome, FrameOutcome::Valid);
    EXPECT_EQ(r.lamp, 0x7F);
    EXPECT_EQ(r.payloadLength, 0);
    EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3, 2, 2, 1, 1, 2}));
    // The header stays where it was read; the rest of the buffer is as before.
    EXPECT_EQ(buffer[0], 0xAA);
    EXPECT_EQ(buffer[2], 0xAA);
    EXPECT_TRUE(buffer.Untouched(3, buffer.bytes.size()));

    // Lamp 0xFF carries into the high byte: checksum 0x0100, sent 00 01.
    ChunkDriver carry(Frame(2, 0xFFFD, 1, 0xFF, {}, 0x0100));
    ReceiveBuffer b;
    EXPECT_EQ(ReadFrame(carry, b).outcome, FrameOutcome::Valid);
}

TEST(DisplayFrameValid, ChecksumWrapsAt16Bits)
{
    // 300 x 0xFF: 1 + 0xFE + 76500 = 76755, which is 0x2BD3 after the wrap.
    ChunkDriver driver(Frame(302, 0xFED1, 1, 0xFE, Bytes(300, 0xFF), 0x2BD3));
    ReceiveBuffer buffer;
    EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);

    // A payload that fills the receive buffer exactly: L = 4098, 4096 x 0xFF,
    // sum 1044735 = 0xF0FF after the wrap. The guard behind it stays clean.
    ChunkDriver largest(Frame(4098, 0xEFFD, 1, 0xFE, Bytes(4096, 0xFF), 0xF0FF));
    ReceiveBuffer big;
    const ReadResult r = ReadFrame(largest, big);
    EXPECT_EQ(r.outcome, FrameOutcome::Valid);
    EXPECT_EQ(r.payloadLength, 4096);
    EXPECT_EQ(big[4095], 0xFF);
    EXPECT_TRUE(big.GuardIntact());
}

TEST(DisplayFrameNoAnswer, MissingOrMisplacedHeader)
{
    // Silence.
    {
        ChunkDriver driver;
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::NoAnswer);
        EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3}));
    }
    // AA AA, then nothing: the second read asks for the last byte and gets none.
    {
        ChunkDriver driver({0xAA, 0xAA});
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::NoAnswer);
        EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3, 1}));
        EXPECT_EQ(r.lamp, 0x99);
    }
    // A stray byte before a good frame: the header is compared where it
    // stands, never searched for, and nothing past it is read.
    {
        const Bytes stream = Cat({{0x00}, FullZeroFrame()});
        ChunkDriver driver(stream);
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::NoAnswer);
        EXPECT_EQ(driver.Position(), 3u);
        EXPECT_EQ(driver.ReadRequests().size(), 1u);
        EXPECT_EQ(r.lamp, 0x99);
    }
    // A wrong third header byte, even when it arrives on its own.
    {
        ChunkDriver driver({0xAA, 0xAA, 0xAB, 0x6A, 0x01}, {2, 1});
        ReceiveBuffer buffer;
        EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::NoAnswer);
        EXPECT_EQ(driver.Position(), 3u);
    }
}

TEST(DisplayFrameBad, LengthAndComplementMustBothArriveAndAgree)
{
    struct Case {
        const char* what;
        Bytes stream;
        std::size_t readUpTo;
    };
    const Case cases[] = {
        {"length repeated", {0xAA, 0xAA, 0xAA, 0x6A, 0x01, 0x6A, 0x01, 0x01, 0xFE}, 7},
        {"one bit off", {0xAA, 0xAA, 0xAA, 0x6A, 0x01, 0x95, 0xFF, 0x01, 0xFE}, 7},
        {"length cut", {0xAA, 0xAA, 0xAA, 0x6A}, 4},
        {"complement cut", {0xAA, 0xAA, 0xAA, 0x6A, 0x01, 0x95}, 6},
    };
    for (const Case& c : cases) {
        ChunkDriver driver(c.stream);
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::Bad) << c.what;
        EXPECT_EQ(driver.Position(), c.readUpTo) << c.what;
        EXPECT_EQ(r.lamp, 0x99) << c.what;
    }
}

TEST(DisplayFrameBad, TypeOtherThanOneEndsTheFrameBeforeTheLamp)
{
    // Consistent in every other respect: checksum 2 + 0xFE = 0x0100.
    for (std::uint8_t type : {std::uint8_t{2}, std::uint8_t{0}}) {
        ChunkDriver driver(Frame(362, 0xFE95, type, 0xFE, Bytes(360, 0), static_cast<std::uint16_t>(type + 0xFE)));
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::Bad) << int(type);
        EXPECT_EQ(driver.Position(), 8u);
        EXPECT_EQ(r.lamp, 0x99);
        EXPECT_EQ(r.payloadLength, -1);
    }
}

TEST(DisplayFrameBad, SwappedChecksumBytes)
{
    // Sum 0x00FF sent as FF 00 is valid (see above); sent as 00 FF it is bad.
    ChunkDriver swapped(Frame(362, 0xFE95, 1, 0xFE, Bytes(360, 0), 0xFF00));
    ReceiveBuffer buffer;
    EXPECT_EQ(ReadFrame(swapped, buffer).outcome, FrameOutcome::Bad);

    // Sum 0x0101 (1 + 0xFE + 1 + 1): both bytes equal, so the swap changes nothing.
    ChunkDriver same(Frame(4, 0xFFFB, 1, 0xFE, {0x01, 0x01}, 0x0101));
    ReceiveBuffer b;
    EXPECT_EQ(ReadFrame(same, b).outcome, FrameOutcome::Valid);
}

TEST(DisplayFrameBad, LengthTheReceiveBufferCannotTakeReadsNoPayload)
{
    struct Case {
        std::uint16_t length;
        std::uint16_t complement;
    };
    // Below 2, one byte more than the buffer, and the largest 16-bit length.
    for (const Case c : {Case{0, 0xFFFF}, Case{1, 0xFFFE}, Case{4099, 0xEFFC}, Case{0xFFFF, 0x0000}}) {
        const Bytes stream = Cat({FrameHead(c.length, c.complement, 1, 0x3C), Bytes(8000, 0x11)});
        ChunkDriver driver(stream);
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::Bad) << c.length;
        EXPECT_EQ(r.lamp, 0x3C) << c.length;
        EXPECT_EQ(driver.ReadRequests().size(), 5u) << c.length;
        EXPECT_EQ(driver.Position(), 9u) << c.length;
        EXPECT_TRUE(buffer.Untouched(3, buffer.bytes.size())) << c.length;
    }
}

TEST(DisplayFrameBad, PayloadOrChecksumCutShort)
{
    const Bytes full = FullZeroFrame();
    struct Case {
        const char* what;
        std::size_t keep;
    };
    for (const Case c : {Case{"payload cut", 9 + 100}, Case{"no checksum", 369}, Case{"half a checksum", 370}}) {
        ChunkDriver driver(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.keep)));
        ReceiveBuffer buffer;
        const ReadResult r = ReadFrame(driver, buffer);
        EXPECT_EQ(r.outcome, FrameOutcome::Bad) << c.what;
        EXPECT_EQ(r.payloadLength, -1) << c.what;
    }

    // A payload cut short reads no checksum: its last read came back empty.
    ChunkDriver driver(Bytes(full.begin(), full.begin() + 109));
    ReceiveBuffer buffer;
    ReadFrame(driver, buffer);
    EXPECT_EQ(driver.ReadRequests(), (std::vector<DWORD>{3, 2, 2, 1, 1, 360, 260}));
}

TEST(DisplayFrameBad, LampIsStoredAsSoonAsItArrives)
{
    // Checksum off by one: the frame is dropped, but the lamp byte and the
    // payload are already in place.
    ChunkDriver driver(Frame(362, 0xFE95, 1, 0x12, Bytes(360, 0x07), 0x0000));
    ReceiveBuffer buffer;
    const ReadResult r = ReadFrame(driver, buffer);
    EXPECT_EQ(r.outcome, FrameOutcome::Bad);
    EXPECT_EQ(r.lamp, 0x12);
    EXPECT_EQ(buffer[0], 0x07);
    EXPECT_EQ(r.payloadLength, -1);
}

TEST(DisplayFrameStream, BackToBackFramesAreReadOneAtATime)
{
    // A valid frame, a bad one and a valid one in one stream: each read takes
    // exactly its own frame's bytes.
    const Bytes good = FullZeroFrame();
    const Bytes bad = Frame(2, 0xFFFD, 1, 0x7F, {}, 0x0081);
    const Bytes small = Frame(2, 0xFFFD, 1, 0x7F, {}, 0x0080);
    ChunkDriver driver(Cat({good, bad, small}));
    ReceiveBuffer buffer;
    EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);
    EXPECT_EQ(driver.Position(), good.size());
    EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Bad);
    EXPECT_EQ(driver.Position(), good.size() + bad.size());
    EXPECT_EQ(ReadFrame(driver, buffer).outcome, FrameOutcome::Valid);
    EXPECT_EQ(driver.Remaining(), 0u);
}
