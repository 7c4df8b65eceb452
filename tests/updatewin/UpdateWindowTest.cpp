// The firmware update through the display window: the real action, the job on
// its worker thread and the progress texts on the mirrored display, against
// the simulated amplifier on an instant clock.

#include "OverlayTexts.h"

#include "Opkeypad.h"
#include "support/WindowFixture.h"
#include "toolkit/TThread.h"
#include "update/PackageBuilder.h"
#include "update/PackageFile.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using pkgtest::PackageBuilder;

const std::string kValidating = "    PACKAGE VALIDATION IN PROGRESS...   ";
const std::string kStarting = "       STARTING FIRMWARE UPDATE...      ";
const std::string kUpdated = "    FIRMWARE SUCCESSFULLY UPDATED...    ";
const std::string kFailed = "             PROCESS FAILED.            \n"
                            "       FIRMWARE UPDATE ABORTED...       ";
const std::string kInterrupted = "          PROCESS INTERRUPTED.          \n"
                                 "       FIRMWARE UPDATE ABORTED...       ";
std::string Progress(const char* number)
{
    return std::string("    FIRMWARE UPDATE IN PROGRESS:") + number + "%    ";
}

const QString kConsistency = "Data consistency check failed while processing file:\n  ";
const QString kAuthentication = "Authentication failed while processing file:\n  ";

constexpr std::uint8_t kAnnounce = 100, kResume = 101, kStart = 102, kComplete = 103, kTransferEnd = 207;
const Bytes kQuery = {0x55, 0x55, 0x55, 0x01, 0x80, 0x80};
const Bytes kHeaderStart = {0x55, 0x55, 0x55, 0x02, 0xC0};
const Bytes kDataStart = {0x55, 0x55, 0x55, 0x00};

Bytes CommandFrame(std::uint8_t code)
{
    return {0x55, 0x55, 0x55, 0x01, code, code};
}

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.CreateWindows();
        form = w.form;
        ASSERT_TRUE(w.Connect());
        // The update is offered once a frame shows ON lit and the rest dark.
        ASSERT_TRUE(w.ProcessUntil([this] { return form->actLoadUpdate->isEnabled(); }));
        w.WithDevice([](sim::SimAmplifier& amp) { amp.ClearKeyCodes(); });
        w.sim->ClearCalls();
        overlay = std::make_unique<OverlayTexts>(*form);
    }

    std::string Write(const PackageBuilder& package, const char* name = "fw.pk1")
    {
        return package.WriteTo(dir.File(name));
    }

    // Runs the update action with `path` as the user's choice and waits until
    // the job has ended: polling restarted (or the window off-line) and no
    // thread but the poll thread left.
    bool RunUpdate(const std::string& path)
    {
        form->ChoosePackageFile = [path] { return QString::fromStdString(path); };
        return Trigger();
    }
    bool Trigger()
    {
        EXPECT_TRUE(form->actLoadUpdate->isEnabled());
        // The action does nothing until the job before it (connecting) has wound up.
        EXPECT_TRUE(w.ProcessUntil([this] { return form->ActiveJobs == 0; }));
        form->actLoadUpdate->trigger();
        return WaitJobEnded();
    }
    bool WaitJobEnded()
    {
        return w.ProcessUntil([this] {
            const int pollThreads = form->PollThread ? 1 : 0;
            return !form->UpdateRunning && TThread::Running() == pollThreads && (pollThreads == 1 || !form->OnLine);
        });
    }

    std::vector<std::uint8_t> KeyCodes()
    {
        return w.WithDevice([](sim::SimAmplifier& amp) { return amp.KeyCodes(); });
    }
    void Inject(sim::UpdateFault fault, int block = 0)
    {
        w.WithDevice([&](sim::SimAmplifier& amp) { amp.InjectUpdateFault(fault, block); });
    }
    int CountWrites(const Bytes& bytes) const
    {
        const auto calls = w.sim->Calls();
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const sim::CallRecord& c) {
            return c.op == "FT_Write" && c.bytes == bytes;
        }));
    }
    static std::size_t Find(const std::vector<sim::CallRecord>& calls,
                            const std::function<bool(const sim::CallRecord&)>& match, std::size_t from = 0)
    {
        for (std::size_t i = from; i < calls.size(); ++i) {
            if (match(calls[i]))
                return i;
        }
        return calls.size();
    }
    static auto IsWrite(const Bytes& bytes)
    {
        return [bytes](const sim::CallRecord& c) { return c.op == "FT_Write" && c.bytes == bytes; };
    }
    static auto IsTimeouts(std::uint32_t ms)
    {
        return [ms](const sim::CallRecord& c) { return c.op == "FT_SetTimeouts" && c.arg == ms && c.arg2 == ms; };
    }

    void ExpectKeyActions(bool enabled)
    {
        for (QAction* action : form->KeyActions())
            EXPECT_EQ(action->isEnabled(), enabled) << action->text().toStdString();
    }
    void ExpectMenuActionsEnabled()
    {
        for (QAction* action : {form->actClose, form->actExit, form->actKeypad})
            EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
        // The update itself comes back with the next frame that allows it.
        EXPECT_TRUE(w.ProcessUntil([this] { return form->actLoadUpdate->isEnabled(); }));
    }
    // Polling runs again on the normal time-outs, and frames are drawn.
    void ExpectPollingAgain()
    {
        EXPECT_TRUE(form->PollThread);
        EXPECT_EQ(w.sim->ReadTimeoutMs(), 1200u);
        EXPECT_EQ(w.sim->WriteTimeoutMs(), 1200u);
        EXPECT_TRUE(w.WaitFrames(2));
        EXPECT_FALSE(form->PackageFile && form->PackageFile->IsOpen());
    }
    void ExpectOneError(const QString& text)
    {
        ASSERT_EQ(w.boxes.Count(), 1);
        EXPECT_EQ(w.boxes.Last().kind, "error");
        EXPECT_EQ(w.boxes.Last().text, text);
        EXPECT_EQ(w.boxes.Last().owner, form);
    }

    windowtest::WindowFixture w;
    TForm1* form = nullptr;
    pkgtest::TempDir dir;
    std::unique_ptr<OverlayTexts> overlay;
};

TEST_F(UpdateWindow, CancellingTheDialogSendsAnnounceAndResumeWhilePollingGoesOn)
{
    TExecThread* poller = form->PollThread;
    bool pollingDuringDialog = false;
    form->ChoosePackageFile = [&] {
        pollingDuringDialog = w.WaitFrames(2);
        return QString();
    };
    form->actLoadUpdate->trigger();

    EXPECT_TRUE(pollingDuringDialog);
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kResume}));
    EXPECT_EQ(form->PollThread, poller);
    EXPECT_TRUE(w.WaitFrames(2));
    const auto calls = w.sim->Calls();
    EXPECT_EQ(Find(calls, [](const sim::CallRecord& c) { return c.op == "FT_SetTimeouts"; }), calls.size());
    EXPECT_TRUE(overlay->Texts().empty());
    EXPECT_EQ(w.boxes.Count(), 0);
    ExpectKeyActions(true);
}

TEST_F(UpdateWindow, OneBlockReportsOneProgressTextOf100)
{
    PackageBuilder package;
    package.AddPatternBlock(0x12, 5);
    ASSERT_TRUE(RunUpdate(Write(package)));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kStarting, Progress("100"), kUpdated}));
    EXPECT_EQ(w.boxes.Count(), 0);
}

TEST_F(UpdateWindow, ThreeBlocksArriveIntactAndTheWindowComesBack)
{
    PackageBuilder package;
    package.AddPatternBlock(0x00, 1).AddBlock(0x40, 0xFF).AddPatternBlock(0xFE, 3);
    const std::string path = Write(package);
    ASSERT_TRUE(RunUpdate(path));

    EXPECT_EQ(overlay->Texts(),
              (Texts{kValidating, kStarting, Progress(" 33"), Progress(" 66"), Progress(" 99"), kUpdated}));
    EXPECT_EQ(w.boxes.Count(), 0);
    EXPECT_EQ(form->PackageFileName.toStdString(), path);
    {
        auto lock = w.sim->Lock();
        const auto& image = w.sim->Device().ReceivedImage();
        ASSERT_EQ(image.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(image[i].tag, package.Blocks()[i].tag) << "block " << i;
            EXPECT_EQ(image[i].data, package.Blocks()[i].data) << "block " << i;
        }
        EXPECT_TRUE(w.sim->Device().UpdateCompleted());
    }
    // No resume code after a success: the update-complete code ends it.
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kStart, kTransferEnd, kComplete}));

    // The job alone used the link from the update time-outs to the power-on
    // pulse, which follows the update-complete code and lasts a second.
    const auto calls = w.sim->Calls();
    const std::size_t longTimeouts = Find(calls, IsTimeouts(3000));
    const std::size_t complete = Find(calls, IsWrite(CommandFrame(kComplete)), longTimeouts);
    ASSERT_LT(complete, calls.size());
    for (std::size_t i = longTimeouts; i < complete; ++i)
        EXPECT_NE(calls[i].bytes, kQuery) << "a query during the transfer, call " << i;
    std::vector<std::string> pulse;
    std::size_t i = complete + 1;
    for (; i < calls.size() && pulse.size() < 4; ++i) {
        if (calls[i].op != "FT_Read" && calls[i].op != "FT_Write" && calls[i].op != "FT_Purge")
            pulse.push_back(calls[i].op);
    }
    EXPECT_EQ(pulse, (std::vector<std::string>{"FT_ClrDtr", "FT_SetRts", "FT_SetDtr", "FT_ClrRts"}));
    const std::size_t rtsUp = Find(
        calls, [](const sim::CallRecord& c) { return c.op == "FT_SetRts"; }, complete);
    const std::size_t dtrUp = Find(
        calls, [](const sim::CallRecord& c) { return c.op == "FT_SetDtr"; }, rtsUp);
    ASSERT_LT(dtrUp, calls.size());
    EXPECT_GE(calls[dtrUp].atMs - calls[rtsUp].atMs, 1000);
    EXPECT_LT(dtrUp, Find(calls, IsTimeouts(1200), complete));

    ExpectKeyActions(true);
    ExpectMenuActionsEnabled();
    ExpectPollingAgain();
    EXPECT_TRUE(form->OnLine);
}

TEST_F(UpdateWindow, SilentAmplifierFailsTheHandshakeAfterTenAttempts)
{
    Inject(sim::UpdateFault::NeverAckStart);
    const std::string path = Write(PackageBuilder().AddBlock(0x01, 0x5A));
    const std::int64_t startMs = w.clock.NowMs();
    ASSERT_TRUE(RunUpdate(path));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kStarting, kFailed}));
    ExpectOneError(kConsistency + QString::fromStdString(path));
    Bytes expected = {kAnnounce};
    expected.insert(expected.end(), 10, kStart);
    expected.push_back(kResume);
    EXPECT_EQ(KeyCodes(), expected);
    // Ten ACK waits and ten drains, each at least one 3 s read time-out.
    EXPECT_GE(w.clock.NowMs() - startMs, 60000);
    ExpectPollingAgain();
}

TEST_F(UpdateWindow, WrongEchoRepeatsOnlyTheDataThreeTimes)
{
    Inject(sim::UpdateFault::WrongEchoAtBlock, 1);
    PackageBuilder package;
    package.AddPatternBlock(0x10, 1).AddPatternBlock(0x11, 2).AddPatternBlock(0x12, 3);
    const std::string path = Write(package);
    ASSERT_TRUE(RunUpdate(path));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kStarting, Progress(" 33"), kFailed}));
    ExpectOneError(kConsistency + QString::fromStdString(path));
    EXPECT_EQ(CountWrites(kHeaderStart), 2); // blocks 0 and 1, once each
    EXPECT_EQ(CountWrites(kDataStart), 4);   // block 0 once, block 1 three times
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kStart, kResume}));
    ExpectPollingAgain();
}

TEST_F(UpdateWindow, WrongMagicSendsNothingButAnnounceAndResume)
{
    const std::string path = Write(PackageBuilder().Magic(".pk1").AddBlock(0x01, 0x11));
    ASSERT_TRUE(RunUpdate(path));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kFailed}));
    ExpectOneError(kAuthentication + QString::fromStdString(path));
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kResume}));
    // Between the two only queries, and none once the update time-outs are set.
    const auto calls = w.sim->Calls();
    const std::size_t announce = Find(calls, IsWrite(CommandFrame(kAnnounce)));
    const std::size_t longTimeouts = Find(calls, IsTimeouts(3000), announce);
    const std::size_t resume = Find(calls, IsWrite(CommandFrame(kResume)), announce);
    ASSERT_LT(longTimeouts, resume);
    ASSERT_LT(resume, calls.size());
    for (std::size_t i = announce + 1; i < resume; ++i) {
        if (calls[i].op == "FT_Write") {
            EXPECT_TRUE(calls[i].bytes == kQuery && i < longTimeouts) << "call " << i;
        }
    }
    ExpectPollingAgain();
}

TEST_F(UpdateWindow, PackageWithoutBlocksIsRefusedBeforeTheHandshake)
{
    const std::string path = Write(PackageBuilder());
    ASSERT_TRUE(RunUpdate(path));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kFailed}));
    ExpectOneError(kConsistency + QString::fromStdString(path));
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kResume}));
    ExpectPollingAgain();
}

TEST_F(UpdateWindow, AfterAFailureTheMenuWorksAgainAndTheKeysStayDisabled)
{
    const std::string bad = Write(PackageBuilder().Magic("PK1.").AddBlock(0x01, 0x22), "bad.pk1");
    ASSERT_TRUE(RunUpdate(bad));
    ASSERT_EQ(w.boxes.Count(), 1);

    ExpectMenuActionsEnabled();
    ExpectKeyActions(false);
    const bool keypadShown = w.keyForm->isVisible();
    form->actKeypad->trigger();
    EXPECT_NE(w.keyForm->isVisible(), keypadShown);
    // Frames keep coming and do not bring the keys back.
    EXPECT_TRUE(w.WaitFrames(3));
    ExpectKeyActions(false);

    // A new try starts from the announce code and, succeeding, brings them back.
    w.WithDevice([](sim::SimAmplifier& amp) { amp.ClearKeyCodes(); });
    overlay->Clear();
    ASSERT_TRUE(RunUpdate(Write(PackageBuilder().AddBlock(0x01, 0x22), "good.pk1")));
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kStart, kTransferEnd, kComplete}));
    EXPECT_EQ(overlay->Texts().back(), kUpdated);
    ExpectKeyActions(true);
}

TEST_F(UpdateWindow, UsbFailureInTheFirstDrainInterruptsAndCleansUp)
{
    const std::string path = Write(PackageBuilder().AddBlock(0x01, 0x33));
    form->ChoosePackageFile = [&] {
        // The job's first read is the input drain: nothing else may read first.
        form->StopPolling();
        w.sim->FailOperation("FT_Read", FT_IO_ERROR, 1);
        return QString::fromStdString(path);
    };
    ASSERT_TRUE(Trigger());

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kInterrupted}));
    ExpectOneError("FATAL ERROR ON USB LINK...  #[1809]");
    // No resume code after a USB failure.
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce}));
    ExpectMenuActionsEnabled();
    ExpectKeyActions(false);
    ExpectPollingAgain();
    EXPECT_TRUE(form->OnLine);
}

TEST_F(UpdateWindow, UnpluggedDuringTheTransferIsReportedTwiceAndEndsOffLine)
{
    // The job reports the failed call; the polling its cleanup restarts
    // then finds the link gone and takes the window off-line.
    overlay->onText = [&](const std::string& text) {
        if (text == Progress(" 33"))
            w.sim->Unplug();
    };
    PackageBuilder package;
    package.AddPatternBlock(0x01, 1).AddPatternBlock(0x02, 2).AddPatternBlock(0x03, 3);
    ASSERT_TRUE(RunUpdate(Write(package)));
    ASSERT_TRUE(w.ProcessUntil([this] { return w.boxes.Count() == 2 && TThread::Running() == 0; }));

    EXPECT_EQ(overlay->Texts(), (Texts{kValidating, kStarting, Progress(" 33"), kInterrupted}));
    const auto shown = w.boxes.All();
    EXPECT_EQ(shown[0].kind, "error");
    EXPECT_TRUE(shown[0].text.startsWith("FATAL ERROR ON USB LINK...  #[")) << shown[0].text.toStdString();
    EXPECT_EQ(shown[1].kind, "error");
    EXPECT_EQ(shown[1].text, "FATAL ERROR ON USB LINK...  #[1255]");
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce, kStart}));
    EXPECT_FALSE(form->OnLine);
    EXPECT_FALSE(form->PollThread);
    EXPECT_TRUE(form->actOpen->isEnabled());
    EXPECT_EQ(form->StatusPanelText(0), "OFF-LINE");
}

TEST_F(UpdateWindow, FailedUpdateTimeoutsAreShownAndTakeTheWindowOffLine)
{
    const std::string path = Write(PackageBuilder().AddBlock(0x01, 0x44));
    form->ChoosePackageFile = [&] {
        w.sim->FailOperation("FT_SetTimeouts", FT_IO_ERROR, 1);
        return QString::fromStdString(path);
    };
    form->actLoadUpdate->trigger();
    ASSERT_TRUE(w.WaitThreadsEnded());

    ExpectOneError("FATAL ERROR ON USB LINK...  #[1405]");
    EXPECT_FALSE(form->OnLine);
    EXPECT_FALSE(form->PollThread);
    EXPECT_FALSE(w.sim->IsOpen());
    EXPECT_TRUE(form->actOpen->isEnabled());
    EXPECT_FALSE(form->actClose->isEnabled());
    EXPECT_FALSE(form->actLoadUpdate->isEnabled());
    ExpectKeyActions(false);
    EXPECT_EQ(form->StatusPanelText(0), "OFF-LINE");
    // The job never started.
    EXPECT_TRUE(overlay->Texts().empty());
    EXPECT_EQ(KeyCodes(), (Bytes{kAnnounce}));
}

TEST_F(UpdateWindow, ReleasingFDuringTheTransferAsksNothing)
{
    PackageBuilder package;
    package.AddPatternBlock(0x01, 1).AddPatternBlock(0x02, 2);
    const std::string path = Write(package);

    // At once after the action, before the job can have done anything.
    form->ChoosePackageFile = [path] { return QString::fromStdString(path); };
    form->actLoadUpdate->trigger();
    QTest::keyClick(form, Qt::Key_F);
    ASSERT_TRUE(WaitJobEnded());
    EXPECT_EQ(w.boxes.Count(), 0);

    // In the middle of the transfer.
    bool released = false;
    overlay->onText = [&](const std::string& text) {
        if (text != kStarting)
            return;
        EXPECT_TRUE(form->UpdateRunning);
        QTest::keyClick(form, Qt::Key_F);
        released = true;
    };
    ASSERT_TRUE(w.ProcessUntil([this] { return form->actLoadUpdate->isEnabled(); }));
    ASSERT_TRUE(RunUpdate(path));
    ASSERT_TRUE(released);
    EXPECT_EQ(w.boxes.Count(), 0);

    // Once the update is over the same key asks again.
    overlay->onText = nullptr;
    QTest::keyClick(form, Qt::Key_F);
    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().kind, "question");
}

} // namespace
