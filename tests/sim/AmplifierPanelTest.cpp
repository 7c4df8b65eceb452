// The amplifier's front panel as the program sees it: key codes in, screen
// codes, inverse-video attributes and lamp bits out.

#include "SimTestSupport.h"
#include "sim/AmpPanel.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr std::uint8_t kIdleLamps = 0xFE; // only ON lit

std::uint8_t CodeAt(const sim::SimAmplifier& amp, int col, int row)
{
    return amp.Payload()[static_cast<std::size_t>(40 * row + col)];
}

bool InverseAt(const sim::SimAmplifier& amp, int col, int row)
{
    return (amp.Payload()[static_cast<std::size_t>(320 + col)] >> row) & 1;
}

bool RowHas(const sim::SimAmplifier& amp, int row, const std::string& text)
{
    return amp.RowText(row).find(text) != std::string::npos;
}

} // namespace

TEST(AmplifierPanel, IdleStateLightsOnlyOnAndShowsStandby)
{
    sim::SimAmplifier amp;
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
    EXPECT_EQ(amp.RowText(0).substr(0, 13), "AVELKOR Q9-MX");
    EXPECT_TRUE(RowHas(amp, 0, "STANDBY"));
    EXPECT_TRUE(RowHas(amp, 1, "ANT 1"));
    EXPECT_TRUE(RowHas(amp, 1, "20m"));
    for (int col = 0; col < 40; ++col)
        EXPECT_EQ(amp.Payload()[static_cast<std::size_t>(320 + col)], 0) << col;
}

TEST(AmplifierPanel, SelectorKeysChangeTheScreen)
{
    sim::SimAmplifier amp;
    Key(amp, 4); // ANT
    EXPECT_TRUE(RowHas(amp, 1, "ANT 2"));
    Key(amp, 3); // BAND +
    EXPECT_TRUE(RowHas(amp, 1, "17m"));
    Key(amp, 2);
    Key(amp, 2); // BAND - twice
    EXPECT_TRUE(RowHas(amp, 1, "30m"));
    Key(amp, 1); // INPUT
    EXPECT_TRUE(RowHas(amp, 1, "IN 2 "));
    Key(amp, 19); // INPUT with the DISPLAY latch
    EXPECT_TRUE(RowHas(amp, 1, "IN 2A"));
    Key(amp, 11); // POWER
    EXPECT_TRUE(RowHas(amp, 1, "PWR LOW"));
    Key(amp, 16); // right arrow outside the menu: next segment
    EXPECT_TRUE(RowHas(amp, 1, "SEG 4"));
    Key(amp, 14); // CAT
    EXPECT_TRUE(RowHas(amp, 7, "CAT 9600"));
}

TEST(AmplifierPanel, LAndCStepByLatchModifiedCodes)
{
    sim::SimAmplifier amp;
    const int l = amp.Panel().InductanceCentiMicroHenry();
    const int c = amp.Panel().CapacitancePicoFarad();
    struct Pair {
        std::uint8_t plus, minus;
        int step;
        bool inductor;
    };
    // Plain, POWER latch (coarse) and CAT latch (fine) codes of L and C.
    const Pair pairs[] = {{6, 5, 5, true},  {29, 28, 50, true},  {31, 30, 1, true},
                          {8, 7, 5, false}, {25, 24, 50, false}, {27, 26, 1, false}};
    for (const Pair& pair : pairs) {
        Key(amp, pair.plus);
        EXPECT_EQ(amp.Panel().InductanceCentiMicroHenry(), l + (pair.inductor ? pair.step : 0)) << int(pair.plus);
        EXPECT_EQ(amp.Panel().CapacitancePicoFarad(), c + (pair.inductor ? 0 : pair.step)) << int(pair.plus);
        Key(amp, pair.minus);
        EXPECT_EQ(amp.Panel().InductanceCentiMicroHenry(), l) << int(pair.minus);
        EXPECT_EQ(amp.Panel().CapacitancePicoFarad(), c) << int(pair.minus);
    }
    Key(amp, 6);
    EXPECT_TRUE(RowHas(amp, 2, "L  1.60"));
    EXPECT_EQ(CodeAt(amp, 7, 2), 128); // micro sign before the H
}

TEST(AmplifierPanel, OperateTogglesTheOpLampAndInvertsTheStatusWord)
{
    sim::SimAmplifier amp;
    Key(amp, 13);
    EXPECT_EQ(amp.LampByte(), 0xEE);
    EXPECT_TRUE(RowHas(amp, 0, "OPERATE"));
    EXPECT_TRUE(InverseAt(amp, 39, 0));
    EXPECT_TRUE(InverseAt(amp, 33, 0));
    EXPECT_FALSE(InverseAt(amp, 32, 0));
    Key(amp, 13);
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
    EXPECT_FALSE(InverseAt(amp, 39, 0));
}

TEST(AmplifierPanel, BarGraphsAreBuiltFromTheBarGlyphs)
{
    sim::SimAmplifier amp;
    // Idle: empty bar from column 4 to 33, a tall tick every fifth segment.
    EXPECT_EQ(CodeAt(amp, 4, 4), 129);
    EXPECT_EQ(CodeAt(amp, 5, 4), 130);
    EXPECT_EQ(CodeAt(amp, 9, 4), 131);
    EXPECT_EQ(CodeAt(amp, 33, 4), 132);

    Key(amp, 13, 0); // OPERATE
    Key(amp, 9, 0);  // TUNE: 100 W tune carrier
    EXPECT_EQ(CodeAt(amp, 4, 4), 133);
    EXPECT_EQ(CodeAt(amp, 5, 4), 136);
    EXPECT_EQ(CodeAt(amp, 6, 4), 136);
    EXPECT_EQ(CodeAt(amp, 7, 4), 130);
    EXPECT_TRUE(RowHas(amp, 4, "100W"));
    for (int col = 4; col <= 33; ++col) {
        const std::uint8_t code = CodeAt(amp, col, 5);
        EXPECT_TRUE(code >= 129 && code <= 140) << col;
    }
}

TEST(AmplifierPanel, TuneLightsTuneAndTxUntilTheCycleEnds)
{
    sim::SimAmplifier amp;
    Key(amp, 5, 0);
    Key(amp, 5, 0); // detune by hand
    Key(amp, 9, 0);
    EXPECT_EQ(amp.LampByte(), 0xBE); // TUNE lit
    Query(amp, 1499);
    EXPECT_TRUE(amp.Panel().Tuning());
    Query(amp, 1500);
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
    EXPECT_TRUE(RowHas(amp, 7, "TUNED"));

    Key(amp, 13, 2000); // OPERATE
    Key(amp, 9, 2000);
    EXPECT_EQ(amp.LampByte(), 0xA6); // TUNE, OP and TX lit
}

TEST(AmplifierPanel, TuneOnTheEmptyAntennaPortRaisesTheAlarm)
{
    sim::SimAmplifier amp;
    for (int i = 0; i < 3; ++i)
        Key(amp, 4, 0); // ANT 4
    Key(amp, 13, 0);
    Key(amp, 9, 0);
    Query(amp, 2000);
    EXPECT_EQ(amp.LampByte(), 0x7E); // ALARM and ON; operate dropped
    EXPECT_TRUE(RowHas(amp, 7, "HIGH SWR"));
    Key(amp, 4, 2100); // any key acknowledges it
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
}

TEST(AmplifierPanel, SettingsMenuSelectionIsInverseVideo)
{
    sim::SimAmplifier amp;
    Key(amp, 17); // SET opens the menu
    EXPECT_EQ(amp.LampByte(), 0xDE);
    EXPECT_TRUE(RowHas(amp, 0, "SETTINGS"));
    EXPECT_EQ(CodeAt(amp, 0, 0), 165); // box corner
    EXPECT_EQ(CodeAt(amp, 39, 7), 163);
    EXPECT_TRUE(InverseAt(amp, 10, 1)); // first item selected
    EXPECT_FALSE(InverseAt(amp, 10, 2));

    Key(amp, 16); // right arrow: next item
    EXPECT_FALSE(InverseAt(amp, 10, 1));
    EXPECT_TRUE(InverseAt(amp, 10, 2));
    EXPECT_TRUE(RowHas(amp, 2, "CONTRAST"));

    Key(amp, 17); // edit: only the value stays inverse, between triangles
    EXPECT_FALSE(InverseAt(amp, 10, 2));
    EXPECT_TRUE(InverseAt(amp, 35, 2));
    EXPECT_EQ(CodeAt(amp, 34, 2), 157);
    EXPECT_EQ(CodeAt(amp, 36, 2), 158);
    Key(amp, 16);
    Key(amp, 17); // keep 6
    EXPECT_EQ(amp.Panel().Menu().Contrast(), 6);

    Key(amp, 15);
    Key(amp, 15); // wrap round to EXIT
    EXPECT_TRUE(RowHas(amp, 6, "EXIT"));
    EXPECT_TRUE(InverseAt(amp, 10, 6));
    Key(amp, 17);
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
    EXPECT_TRUE(RowHas(amp, 0, "STANDBY"));
}

TEST(AmplifierPanel, DisplayKeyCyclesThePages)
{
    sim::SimAmplifier amp;
    Key(amp, 12);
    EXPECT_TRUE(RowHas(amp, 3, "HV 50.0V"));
    Key(amp, 12);
    EXPECT_TRUE(RowHas(amp, 1, "FIRMWARE VERSION"));
    EXPECT_TRUE(RowHas(amp, 1, "2.07"));
    Key(amp, 12);
    EXPECT_TRUE(RowHas(amp, 4, "PWR"));
}

TEST(AmplifierPanel, OffCodeSilencesAndIgnoresKeysUntilSwitchedOn)
{
    sim::SimAmplifier amp;
    Key(amp, 10);
    EXPECT_FALSE(amp.PoweredOn());
    EXPECT_TRUE(Query(amp).empty());
    EXPECT_TRUE(Key(amp, 4).empty());
    EXPECT_EQ(amp.KeyCodes(), (Bytes{10, 4})); // received, not acted on
    amp.SetPoweredOn(true);
    EXPECT_TRUE(RowHas(amp, 1, "ANT 1"));
    EXPECT_EQ(Query(amp).size(), 371u);
}

TEST(AmplifierPanel, PowerOnNeedsDtrLowRtsHighForAboutASecond)
{
    sim::SimAmplifier amp(false);
    amp.SetLines(true, false, 0); // resting: DTR set, RTS clear

    amp.SetLines(false, true, 1000); // a short pulse
    amp.SetLines(true, false, 1899);
    EXPECT_FALSE(amp.PoweredOn());
    EXPECT_TRUE(Query(amp).empty());

    amp.SetLines(false, false, 3000); // DTR low alone does nothing
    amp.SetLines(false, true, 3000);
    EXPECT_FALSE(amp.PoweredOn()); // not before the lines come back
    amp.SetLines(true, true, 3900);
    EXPECT_TRUE(amp.PoweredOn());
    amp.SetLines(true, false, 3900);
    EXPECT_EQ(Query(amp).size(), 371u);
    EXPECT_EQ(amp.LampByte(), kIdleLamps);
}

TEST(AmplifierPanel, LampOverrideIsSentUntilCleared)
{
    sim::SimAmplifier amp;
    amp.SetLampByte(0x18);
    EXPECT_EQ(Query(amp)[8], 0x18);
    amp.ClearLampOverride();
    EXPECT_EQ(Query(amp)[8], kIdleLamps);
}
