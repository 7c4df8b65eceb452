// The link while on-line: Disconnect (frozen too), the loss of the link in a
// poll transaction, while the OFF question or the package dialog is open,
// power-on with its modem-line pulse, closing the window (refused during a
// transfer), and the device ID dialog's effect on the status bar.

#include "support/WindowFixture.h"

#include "Execunit.h"
#include "link/FtStatus.h"
#include "toolkit/Lamp.h"
#include "update/PackageBuilder.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

using windowtest::WindowFixture;

namespace {

std::vector<std::string> OpsFrom(const std::vector<sim::CallRecord>& calls, std::size_t from)
{
    std::vector<std::string> ops;
    for (std::size_t i = from; i < calls.size(); ++i)
        ops.push_back(calls[i].op);
    return ops;
}

std::size_t IndexOf(const std::vector<sim::CallRecord>& calls, const std::string& op, std::size_t from = 0)
{
    for (std::size_t i = from; i < calls.size(); ++i)
        if (calls[i].op == op)
            return i;
    return calls.size();
}

bool PollCall(const std::string& op)
{
    return op == "FT_Purge" || op == "FT_Read" || op == "FT_Write";
}

int CallsOf(const std::vector<sim::CallRecord>& calls, const std::string& op)
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const auto& c) { return c.op == op; }));
}

class OnlineLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.CreateWindows();
        ASSERT_TRUE(w.Connect());
        ASSERT_TRUE(w.WaitFrames(2));
    }

    void ExpectOfflineWithLampsDark()
    {
        EXPECT_FALSE(w.form->OnLine);
        EXPECT_EQ(w.form->PollThread, nullptr);
        EXPECT_TRUE(w.form->actOpen->isEnabled());
        EXPECT_TRUE(w.form->actConfigureConnection->isEnabled());
        EXPECT_FALSE(w.form->actClose->isEnabled());
        EXPECT_FALSE(w.form->actFreeze->isEnabled());
        EXPECT_FALSE(w.form->actLoadUpdate->isEnabled());
        EXPECT_FALSE(w.form->actOn->isEnabled());
        EXPECT_EQ(w.form->StatusPanelText(0), "OFF-LINE");
        EXPECT_EQ(w.form->raster.Background(), 0xB4CDBBu);
        EXPECT_EQ(w.keyForm->stON->Color().rgb(), lampcolour::Green);
        EXPECT_EQ(w.jKeypad->stON->Color().rgb(), lampcolour::Green);
        EXPECT_FALSE(w.sim->IsOpen());
    }

    // The link-loss handling after a failed call: the port cycled, then
    // closed, and no call after that.
    void ExpectCycledThenClosedAfter(std::size_t failedIndex)
    {
        ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
        const std::vector<sim::CallRecord> calls = w.sim->Calls();
        EXPECT_EQ(OpsFrom(calls, failedIndex + 1), (std::vector<std::string>{"FT_CyclePort", "FT_Close"}));
    }

    WindowFixture w;
};

TEST_F(OnlineLinkTest, DisconnectWhileFrozenEndsAndLeavesTheWindowOffline)
{
    w.form->actFreeze->trigger();
    ASSERT_TRUE(w.form->PollThread->Suspended());
    w.form->actClose->trigger();

    ExpectOfflineWithLampsDark();
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    EXPECT_EQ(w.boxes.Count(), 0);
    // The poll thread has ended: nothing reaches the device any more.
    const std::size_t calls = w.sim->Calls().size();
    WindowFixture::ProcessFor(50);
    EXPECT_EQ(w.sim->Calls().size(), calls);
}

// The loss box showed only the location though the backend knew why.
TEST_F(OnlineLinkTest, ALinkLossShowsTheBackendsReasonBelowTheLocation)
{
    w.front->Explain("The remote station h:1 stopped answering.", false);
    w.sim->FailOperation("FT_Purge", FT_IO_ERROR);
    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return w.boxes.Count() > 0; }));
    EXPECT_EQ(w.boxes.Last().text, "FATAL ERROR ON USB LINK...  #[1255]\nThe remote station h:1 stopped answering.");
}

TEST_F(OnlineLinkTest, FailedPurgeEndsPollingCyclesThePortAndShowsTheCallAndLocation)
{
    w.sim->FailOperation("FT_Purge", FT_IO_ERROR);
    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return w.boxes.Count() > 0; }));
    EXPECT_EQ(w.boxes.Last().kind, "error");
    EXPECT_EQ(w.boxes.Last().text, "FATAL ERROR ON USB LINK...  #[1255]");
    EXPECT_EQ(w.boxes.Last().owner, w.form);
    ExpectOfflineWithLampsDark();

    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    std::size_t failed = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].op == "FT_Purge" && calls[i].status == FT_IO_ERROR)
            failed = i;
    ASSERT_LT(failed, calls.size());
    ExpectCycledThenClosedAfter(failed);
}

TEST_F(OnlineLinkTest, UnpluggedDeviceWhilePollingIsALinkLoss)
{
    w.sim->Unplug();
    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return w.boxes.Count() > 0; }));
    // Whichever checked call of the transaction met the unplugged device.
    const QRegularExpression text(
        "^FATAL ERROR ON USB LINK\\.\\.\\.  #\\[(1255|1256|1271|1285|1293|1307|1318|1352)\\]$");
    EXPECT_TRUE(text.match(w.boxes.Last().text).hasMatch()) << qPrintable(w.boxes.Last().text);
    EXPECT_EQ(w.boxes.Count(), 1);
    ExpectOfflineWithLampsDark();
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].op, "FT_CyclePort");
    EXPECT_EQ(calls.back().op, "FT_Close");

    w.sim->Replug();
    EXPECT_TRUE(w.Connect());
}

TEST_F(OnlineLinkTest, OtherExceptionInTheTransactionIsHandledLikeALinkError)
{
    w.front->ThrowFrom("FT_Purge", [] { throw std::runtime_error("driver backend gave up"); });
    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return w.boxes.Count() > 0; }));
    EXPECT_EQ(w.boxes.Last().text, "driver backend gave up");
    ExpectOfflineWithLampsDark();
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].op, "FT_CyclePort");
    EXPECT_EQ(calls.back().op, "FT_Close");
}

TEST_F(OnlineLinkTest, OnPulsesDtrLowAndRtsHighForOneSecondThenPollingResumes)
{
    w.sim->ClearCalls();
    w.form->actOn->trigger();
    ASSERT_TRUE(w.WaitFrames(2));

    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    const std::size_t clrDtr = IndexOf(calls, "FT_ClrDtr");
    const std::size_t setRts = IndexOf(calls, "FT_SetRts", clrDtr);
    const std::size_t setDtr = IndexOf(calls, "FT_SetDtr", setRts);
    const std::size_t clrRts = IndexOf(calls, "FT_ClrRts", setDtr);
    ASSERT_LT(clrRts, calls.size()) << "the four line calls in order";
    EXPECT_EQ(setRts, clrDtr + 1);
    EXPECT_EQ(clrRts, setDtr + 1);
    EXPECT_GE(calls[setDtr].atMs - calls[setRts].atMs, 1000);
    // The display stands still: no poll traffic from the stop to the end of the pulse.
    for (std::size_t i = clrDtr; i <= clrRts; ++i)
        EXPECT_FALSE(PollCall(calls[i].op)) << calls[i].op << " during the pulse";
    EXPECT_NE(IndexOf(calls, "FT_Purge", clrRts), calls.size());
    EXPECT_TRUE(w.sim->Dtr());
    EXPECT_FALSE(w.sim->Rts());
    EXPECT_TRUE(w.form->OnLine);
    EXPECT_NE(w.form->PollThread, nullptr);
}

TEST_F(OnlineLinkTest, OnSwitchesASilentAmplifierOn)
{
    w.WithDevice([](sim::SimAmplifier& amp) { amp.SetPoweredOn(false); });
    ASSERT_TRUE(w.WaitDarkened(1));
    w.form->actOn->trigger();
    ASSERT_TRUE(w.WaitFrames(2));
    EXPECT_TRUE(w.WithDevice([](sim::SimAmplifier& amp) { return amp.PoweredOn(); }));
    EXPECT_EQ(w.keyForm->stON->Color().rgb(), lampcolour::Lime);
}

TEST_F(OnlineLinkTest, DisconnectDuringPowerOnDoesNotRestartPolling)
{
    // The pulse's end reaches the main thread only through its events, so
    // Disconnect lands in the middle of the power-on job.
    w.form->actOn->trigger();
    w.form->actClose->trigger();
    const std::size_t closed = IndexOf(w.sim->Calls(), "FT_Close");
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    WindowFixture::ProcessFor(30);

    EXPECT_EQ(w.form->PollThread, nullptr);
    ExpectOfflineWithLampsDark();
    EXPECT_EQ(w.boxes.Count(), 0);
    // Neither the poll thread nor the cut-short pulse touches the closed handle.
    EXPECT_EQ(OpsFrom(w.sim->Calls(), closed + 1), std::vector<std::string>{});
}

TEST_F(OnlineLinkTest, YesToTheOffQuestionAfterTheLinkWentAwaySendsNothing)
{
    w.boxes.answerYes = true;
    w.boxes.whileAsking = [&] {
        w.sim->Unplug();
        WindowFixture::ProcessUntil([&] { return !w.form->OnLine; });
    };
    QTest::keyClick(w.form, Qt::Key_F);
    ASSERT_FALSE(w.form->OnLine);
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    EXPECT_EQ(OpsFrom(calls, IndexOf(calls, "FT_Close") + 1), std::vector<std::string>{});
    EXPECT_EQ(w.boxes.Count(), 2); // the question, then the loss of the link
}

TEST_F(OnlineLinkTest, LinkLostWhileThePackageDialogIsOpenGivesOneBoxAndOneClose)
{
    w.form->ChoosePackageFile = [&] {
        w.sim->Unplug();
        WindowFixture::ProcessUntil([&] { return !w.form->OnLine; });
        return QString("/nowhere/firmware.pk1");
    };
    w.form->actLoadUpdateExecute();
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    EXPECT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(CallsOf(w.sim->Calls(), "FT_CyclePort"), 1);
    EXPECT_EQ(CallsOf(w.sim->Calls(), "FT_Close"), 1);
    ExpectOfflineWithLampsDark();
}

TEST_F(OnlineLinkTest, ClosingIsRefusedWhileFirmwareIsWrittenAndWorksAfterwards)
{
    pkgtest::TempDir dir;
    const std::string package = pkgtest::PackageBuilder().AddBlock(0x40, 0x11).WriteTo(dir.File("fw.pk1"));
    w.form->ChoosePackageFile = [&] { return QString::fromStdString(package); };
    w.form->actLoadUpdateExecute();
    ASSERT_TRUE(w.form->UpdateRunning);
    w.form->close();
    EXPECT_TRUE(w.form->isVisible());
    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().kind, "information");

    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return !w.form->UpdateRunning && w.form->PollThread; }));
    w.form->close();
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_TRUE(WindowFixture::WaitThreadsEnded());
}

TEST_F(OnlineLinkTest, ClosingTheWindowWhileOnlineStopsPollingAndClosesTheLink)
{
    w.form->close();
    EXPECT_EQ(w.form->PollThread, nullptr);
    EXPECT_FALSE(w.form->OnLine);
    EXPECT_FALSE(w.sim->IsOpen());
    ASSERT_TRUE(WindowFixture::WaitThreadsEnded());
    const std::size_t calls = w.sim->Calls().size();
    WindowFixture::ProcessFor(30);
    EXPECT_EQ(w.sim->Calls().size(), calls);
    EXPECT_EQ(w.sim->Calls().back().op, "FT_Close");
}

TEST(DeviceIdTest, DialogOkShowsTheAcquiredIdInTheStatusBarAndConnectUsesIt)
{
    WindowFixture w;
    w.CreateWindows();
    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: Not enabled");
    QTimer::singleShot(0, w.dlgPreferences, [&] {
        w.dlgPreferences->btnAcquire->click();
        w.dlgPreferences->OKBtn->click();
    });
    w.form->actConfigureConnection->trigger();

    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: [AV1A2B3C]");
    EXPECT_EQ(w.form->IDString, "AV1A2B3C");
    EXPECT_TRUE(w.form->IDAddressing);

    ASSERT_TRUE(w.Connect());
    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    const std::size_t open = IndexOf(calls, "FT_OpenEx");
    ASSERT_LT(open, calls.size());
    EXPECT_EQ(std::string(calls[open].bytes.begin(), calls[open].bytes.end()), "AV1A2B3C");
    EXPECT_EQ(IndexOf(calls, "FT_Open"), calls.size());
}

} // namespace
