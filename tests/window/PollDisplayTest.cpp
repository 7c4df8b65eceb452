// The poll engine as the display window shows it: valid frames drawn into the
// raster and the lamps of both keypads, a silent amplifier, frames dropped
// for their faults, a short frame over the receive buffer, and the lamp-byte
// rule of the firmware-update action.

#include "support/WindowFixture.h"

#include "Execunit.h"
#include "toolkit/Lamp.h"

#include <gtest/gtest.h>

#include <QAction>

#include <cstdint>
#include <vector>

using windowtest::Bytes;
using windowtest::CellRows;
using windowtest::GlyphRows;

namespace {

constexpr display::TColor kOnlineBackground = 0xFFFF9D; // RGB 9D FF FF
constexpr display::TColor kBlack = 0x000000;

struct RasterCopy {
    std::vector<display::TColor> pixels;
    bool operator==(const RasterCopy&) const = default;
};

RasterCopy Copy(const display::Raster& raster)
{
    RasterCopy copy;
    for (int y = 0; y < display::Raster::kHeight; ++y)
        for (int x = 0; x < display::Raster::kWidth; ++x)
            copy.pixels.push_back(raster.PixelColour(x, y));
    return copy;
}

// Cells whose pixels do not show `payload` (code and inverse bit of each
// cell), as "(column,row)" texts; empty when the raster shows the payload.
std::vector<std::string> CellsNotShowing(const display::Raster& raster, const Bytes& payload)
{
    std::vector<std::string> wrong;
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 40; ++c) {
            const std::uint8_t code = payload[static_cast<std::size_t>(40 * r + c)];
            const bool inverse = (payload[static_cast<std::size_t>(320 + c)] >> r) & 1;
            bool clean = false;
            if (CellRows(raster, c, r, &clean) != GlyphRows(code, inverse) || !clean)
                wrong.push_back("(" + std::to_string(c) + "," + std::to_string(r) + ")");
        }
    }
    return wrong;
}

bool AllPixels(const display::Raster& raster, display::TColor colour)
{
    for (int y = 0; y < display::Raster::kHeight; ++y)
        for (int x = 0; x < display::Raster::kWidth; ++x)
            if (raster.PixelColour(x, y) != colour)
                return false;
    return true;
}

QRgb Colour(const Lamp* lamp)
{
    return lamp->Color().rgb();
}

class PollDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.CreateWindows();
        ASSERT_TRUE(w.Connect());
        ASSERT_TRUE(w.WaitFrames(2));
    }

    Bytes Payload()
    {
        return w.WithDevice([](sim::SimAmplifier& amp) { return amp.Payload(); });
    }

    // Every lamp of both keypads shows its dark colour.
    void ExpectAllLampsDark()
    {
        using namespace lampcolour;
        EXPECT_EQ(Colour(w.keyForm->stALARM), Maroon);
        EXPECT_EQ(Colour(w.keyForm->stTUNE), Olive);
        EXPECT_EQ(Colour(w.keyForm->stSET), Green);
        EXPECT_EQ(Colour(w.keyForm->stOP), Olive);
        EXPECT_EQ(Colour(w.keyForm->stTX), Maroon);
        EXPECT_EQ(Colour(w.keyForm->stON), Green);
        EXPECT_EQ(Colour(w.jKeypad->stALARM), Maroon);
        EXPECT_EQ(Colour(w.jKeypad->stTUNE), Olive);
        EXPECT_EQ(Colour(w.jKeypad->stOP), Olive);
        EXPECT_EQ(Colour(w.jKeypad->stON), Green);
    }

    windowtest::WindowFixture w;
};

TEST_F(PollDisplayTest, ValidFrameIsDrawnCellByCellWithTheAmplifierLamps)
{
    // Stop where we are, so that the raster holds the amplifier's current screen.
    w.form->StopPolling();
    const Bytes payload = Payload();
    const std::string row0 = w.WithDevice([](sim::SimAmplifier& amp) { return amp.RowText(0); });
    ASSERT_EQ(payload.size(), 360u);

    const display::Raster& raster = w.form->raster;
    EXPECT_EQ(raster.Background(), kOnlineBackground);
    EXPECT_EQ(raster.Foreground(), kBlack);
    const std::vector<std::string> wrong = CellsNotShowing(raster, payload);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " cells differ, first " << wrong.front();

    // A letter of the amplifier's top row, read back through the font.
    const std::size_t letter = row0.find_first_not_of(" .");
    ASSERT_NE(letter, std::string::npos) << "row 0 is blank: " << row0;
    const int column = static_cast<int>(letter);
    const bool inverse = payload[320 + letter] & 1;
    EXPECT_EQ(CellRows(raster, column, 0), GlyphRows(static_cast<std::uint8_t>(row0[letter] - 0x20), inverse))
        << "row 0 reads \"" << row0 << "\"";
    // The 2-pixel margin stays background.
    EXPECT_EQ(raster.PixelColour(0, 0), kOnlineBackground);
    EXPECT_EQ(raster.PixelColour(243, 67), kOnlineBackground);

    // The powered amplifier lights ON only: lamp byte FE, lamp states 01.
    EXPECT_EQ(w.lamps->lastFrameLamps, 0x01);
    EXPECT_EQ(Colour(w.keyForm->stON), lampcolour::Lime);
    EXPECT_EQ(Colour(w.jKeypad->stON), lampcolour::Lime);
    EXPECT_EQ(Colour(w.keyForm->stOP), lampcolour::Olive);
    EXPECT_TRUE(w.form->actLoadUpdate->isEnabled());
}

TEST_F(PollDisplayTest, SilentAmplifierBlanksTheDisplayAndDarkensTheLampsUntilItAnswersAgain)
{
    w.WithDevice([](sim::SimAmplifier& amp) { amp.SetPoweredOn(false); });
    ASSERT_TRUE(w.WaitDarkened(2));

    EXPECT_TRUE(AllPixels(w.form->raster, kOnlineBackground));
    ExpectAllLampsDark();
    EXPECT_FALSE(w.form->actLoadUpdate->isEnabled());
    // Nothing tells the user but the display: still on-line, no box.
    EXPECT_TRUE(w.form->OnLine);
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");
    EXPECT_EQ(w.boxes.Count(), 0);

    w.WithDevice([](sim::SimAmplifier& amp) { amp.SetPoweredOn(true); });
    ASSERT_TRUE(w.WaitFrames(2));
    w.form->StopPolling();
    const std::vector<std::string> wrong = CellsNotShowing(w.form->raster, Payload());
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " cells differ";
    EXPECT_EQ(Colour(w.keyForm->stON), lampcolour::Lime);
    EXPECT_TRUE(w.form->actLoadUpdate->isEnabled());
}

TEST_F(PollDisplayTest, FaultyFramesLeaveDisplayAndLampsAsTheyWere)
{
    const sim::FrameFault faults[] = {sim::FrameFault::BadChecksum,     sim::FrameFault::SwappedChecksum,
                                      sim::FrameFault::WrongComplement, sim::FrameFault::WrongType,
                                      sim::FrameFault::ShortFrame,      sim::FrameFault::HugeLength};
    for (sim::FrameFault fault : faults) {
        SCOPED_TRACE(static_cast<int>(fault));
        // The amplifier's screen and lamps change, but only faulty frames say so.
        w.WithDevice([fault](sim::SimAmplifier& amp) {
            amp.InjectFrameFault(fault, -1);
            amp.SetLampByte(0x00);
            const Bytes display = {0x55, 0x55, 0x55, 0x01, 12, 12}; // DISPLAY: the next page
            std::vector<std::uint8_t> answer;
            amp.Consume(display.data(), display.size(), answer);
        });
        // Once the next query is out, the cycle before it has been handed over.
        ASSERT_TRUE(w.WaitQueries(1));
        const RasterCopy before = Copy(w.form->raster);
        const int drawn = w.lamps->framesDrawn;
        const int darkened = w.lamps->darkened;
        ASSERT_TRUE(w.WaitQueries(4));
        EXPECT_EQ(w.lamps->framesDrawn, drawn);
        EXPECT_EQ(w.lamps->darkened, darkened);
        EXPECT_TRUE(Copy(w.form->raster) == before);
        EXPECT_EQ(Colour(w.keyForm->stALARM), lampcolour::Maroon);
        EXPECT_EQ(Colour(w.keyForm->stON), lampcolour::Lime);
        EXPECT_TRUE(w.form->actLoadUpdate->isEnabled());
        EXPECT_EQ(w.boxes.Count(), 0);

        // The first good frame shows the new lamps.
        w.WithDevice([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::None); });
        ASSERT_TRUE(w.WaitFrames(2));
        EXPECT_EQ(w.lamps->lastFrameLamps, 0xFF);
        EXPECT_EQ(Colour(w.keyForm->stALARM), lampcolour::Red);
        w.WithDevice([](sim::SimAmplifier& amp) { amp.ClearLampOverride(); });
        ASSERT_TRUE(w.WaitFrames(2));
    }
}

TEST_F(PollDisplayTest, ShortValidFrameRedrawsEveryCellOverTheReceiveBuffer)
{
    const RasterCopy before = Copy(w.form->raster);
    const Bytes payload = Payload();
    // From now on the amplifier's own frames are dropped, so the short frame
    // stays on the display once drawn.
    w.WithDevice([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::BadChecksum, -1); });
    // A good frame queried before that is handed over before the next query.
    ASSERT_TRUE(w.WaitQueries(1));
    const std::uint8_t code = 0x2A; // any glyph unlike the header's
    w.front->AnswerNextQueryWith(windowtest::DisplayFrame(0xFE, {code}));
    ASSERT_TRUE(w.WaitFrames(1));
    ASSERT_FALSE(w.front->ScriptedAnswerPending());
    ASSERT_TRUE(w.WaitQueries(2));

    const display::Raster& raster = w.form->raster;
    // Byte 0 comes from the payload; bytes 1 and 2 still hold the header AA AA.
    EXPECT_EQ(CellRows(raster, 0, 0), GlyphRows(code, payload[320] & 1));
    EXPECT_EQ(CellRows(raster, 1, 0), GlyphRows(170, payload[321] & 1));
    EXPECT_EQ(CellRows(raster, 2, 0), GlyphRows(170, payload[322] & 1));
    // Every other cell shows what the receive buffer held: the earlier frame.
    Bytes expected = payload;
    expected[0] = code;
    expected[1] = 0xAA;
    expected[2] = 0xAA;
    const std::vector<std::string> wrong = CellsNotShowing(raster, expected);
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " cells differ, first " << wrong.front();
    EXPECT_FALSE(Copy(raster) == before);
}

TEST_F(PollDisplayTest, LampByteDecidesWhetherTheFirmwareUpdateIsOffered)
{
    struct Case {
        std::uint8_t lamp;
        bool offered;
    };
    // FE: only ON lit. F8: ON lit, bits 1 and 2 do not matter. FF: ON dark. EE: OP lit.
    const Case cases[] = {{0xFE, true}, {0xFF, false}, {0xF8, true}, {0xEE, false}, {0xFA, true}, {0xF9, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lamp);
        w.WithDevice([&](sim::SimAmplifier& amp) { amp.SetLampByte(c.lamp); });
        ASSERT_TRUE(w.WaitFrames(2));
        EXPECT_EQ(w.lamps->lastFrameLamps, static_cast<std::uint8_t>(~c.lamp));
        EXPECT_EQ(w.form->actLoadUpdate->isEnabled(), c.offered);
    }
    // OP lit (EE): the OP lamps follow the complement on both keypads.
    w.WithDevice([](sim::SimAmplifier& amp) { amp.SetLampByte(0xEE); });
    ASSERT_TRUE(w.WaitFrames(2));
    EXPECT_EQ(Colour(w.keyForm->stOP), lampcolour::Yellow);
    EXPECT_EQ(Colour(w.jKeypad->stOP), lampcolour::Yellow);
    EXPECT_EQ(Colour(w.keyForm->stTX), lampcolour::Maroon);
    // A silent amplifier withdraws the offer even after FE.
    w.WithDevice([](sim::SimAmplifier& amp) { amp.SetLampByte(0xFE); });
    ASSERT_TRUE(w.WaitFrames(2));
    ASSERT_TRUE(w.form->actLoadUpdate->isEnabled());
    w.WithDevice([](sim::SimAmplifier& amp) { amp.InjectFrameFault(sim::FrameFault::Silence, -1); });
    ASSERT_TRUE(w.WaitDarkened(1));
    EXPECT_FALSE(w.form->actLoadUpdate->isEnabled());
    ExpectAllLampsDark();
}

} // namespace
