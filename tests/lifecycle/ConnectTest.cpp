// Connect: the open attempts with the progress window, the abort, the link
// configuration, the on-line look and the start of polling; device selection
// by list position or by serial number.

#include "support/WindowFixture.h"

#include "link/FtStatus.h"
#include "toolkit/MessageBoxes.h"

#include <gtest/gtest.h>

#include "toolkit/TThread.h"

#include <QAction>
#include <QTimer>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using windowtest::WindowFixture;

namespace {

sim::SimOptions Devices(std::vector<std::string> serials)
{
    sim::SimOptions options;
    options.serials = std::move(serials);
    return options;
}

std::vector<sim::CallRecord> CallsOf(const sim::SimDriver& driver, const std::string& op)
{
    std::vector<sim::CallRecord> found;
    for (const sim::CallRecord& call : driver.Calls())
        if (call.op == op)
            found.push_back(call);
    return found;
}

std::vector<std::string> Ops(const sim::SimDriver& driver)
{
    std::vector<std::string> ops;
    for (const sim::CallRecord& call : driver.Calls())
        ops.push_back(call.op);
    return ops;
}

// How often the amplifier received the six bytes of a command frame.
int TimesWritten(const sim::SimDriver& driver, std::uint8_t code)
{
    const std::vector<std::uint8_t> frame = {0x55, 0x55, 0x55, 0x01, code, code};
    int n = 0;
    for (const sim::CallRecord& call : driver.Calls())
        n += call.op == "FT_Write" && call.bytes == frame ? 1 : 0;
    return n;
}

// Every value the progress bar took, in order; `onValue` runs inside the
// connect progress handler, as a user's click would land between two attempts.
struct BarRecorder {
    BarRecorder(QProgressBar* bar, std::function<void(int)> onValue = {})
    {
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [this, onValue](int value) {
            values.push_back(value);
            if (onValue)
                onValue(value);
        });
    }
    std::vector<int> values;
};

void ExpectOffline(const WindowFixture& w)
{
    EXPECT_FALSE(w.form->OnLine);
    EXPECT_EQ(w.form->PollThread, nullptr);
    EXPECT_TRUE(w.form->actOpen->isEnabled());
    EXPECT_TRUE(w.form->actConfigureConnection->isEnabled());
    EXPECT_FALSE(w.form->actClose->isEnabled());
    EXPECT_FALSE(w.form->actFreeze->isEnabled());
    EXPECT_FALSE(w.form->actLoadUpdate->isEnabled());
    for (QAction* key : w.form->KeyActions())
        EXPECT_FALSE(key->isEnabled()) << qPrintable(key->objectName());
    EXPECT_FALSE(w.waitForm->isVisible());
    EXPECT_EQ(w.form->raster.Background(), 0xB4CDBBu);
    EXPECT_EQ(w.form->palette().color(QPalette::Window), QColor(0xBB, 0xCD, 0xB4));
    EXPECT_EQ(w.form->StatusPanelText(0), "OFF-LINE");
}

TEST(ConnectTest, NoDeviceGivesAHundredAttemptsThreeHundredMillisecondsApart)
{
    WindowFixture w(Devices({}));
    w.CreateWindows();
    BarRecorder bar(w.waitForm->pbWait, [&](int value) {
        // A second Connect cannot start while this one runs.
        if (value == 30)
            w.form->actOpen->trigger();
    });
    EXPECT_FALSE(w.Connect());

    const std::vector<sim::CallRecord> opens = CallsOf(*w.sim, "FT_Open");
    ASSERT_EQ(opens.size(), 100u);
    for (std::size_t i = 1; i < opens.size(); ++i)
        EXPECT_GE(opens[i].atMs - opens[i - 1].atMs, 300) << "attempt " << i;
    EXPECT_TRUE(CallsOf(*w.sim, "FT_OpenEx").empty());

    // Up by 3 per attempt to 300, then back to 0 as the window hides.
    std::vector<int> expected;
    for (int v = 3; v <= 300; v += 3)
        expected.push_back(v);
    expected.push_back(0);
    EXPECT_EQ(bar.values, expected);

    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().kind, "error");
    EXPECT_EQ(w.boxes.Last().text, "USB DEVICE NOT FOUND...  #[1022]");
    EXPECT_EQ(w.boxes.Last().owner, w.form);
    ExpectOffline(w);
}

// A refused address or certificate used to be tried a hundred times.
TEST(ConnectTest, AFinalOpenFailureEndsTheAttemptsAtOnceWithItsReason)
{
    WindowFixture w(Devices({}));
    w.CreateWindows();
    w.front->Explain("The remote station h:1 refused the connection.", true);
    EXPECT_FALSE(w.Connect());
    EXPECT_EQ(CallsOf(*w.sim, "FT_Open").size(), 1u);
    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().text, "USB DEVICE NOT FOUND...  #[1022]\nThe remote station h:1 refused the connection.");
    ExpectOffline(w);
}

TEST(ConnectTest, AbortStopsAfterTheAttemptInProgress)
{
    WindowFixture w(Devices({}));
    w.CreateWindows();
    BarRecorder bar(w.waitForm->pbWait, [&](int value) {
        if (value == 9)
            w.waitForm->btnAbort->click();
    });
    EXPECT_FALSE(w.Connect());

    EXPECT_EQ(CallsOf(*w.sim, "FT_Open").size(), 3u);
    EXPECT_EQ(bar.values, (std::vector<int>{3, 6, 9, 0}));
    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().text, "PROCESS ABORTED...  #[1022]");
    ExpectOffline(w);
}

TEST(ConnectTest, AbortDuringAnAttemptThatSucceedsStillConnects)
{
    WindowFixture w;
    w.sim->FailOperation("FT_Open", FT_DEVICE_NOT_FOUND, 2);
    w.CreateWindows();
    BarRecorder bar(w.waitForm->pbWait, [&](int value) {
        if (value == 9)
            w.waitForm->btnAbort->click();
    });
    EXPECT_TRUE(w.Connect());
    EXPECT_EQ(CallsOf(*w.sim, "FT_Open").size(), 3u);
    EXPECT_EQ(w.boxes.Count(), 0);
    EXPECT_TRUE(w.WaitFrames(1));
}

TEST(ConnectTest, PresentDeviceIsConfiguredResumedAndPolled)
{
    WindowFixture w;
    w.CreateWindows();
    w.form->move(100, 70);
    QPoint waitShownAt;
    BarRecorder bar(w.waitForm->pbWait, [&](int value) {
        if (value == 3)
            waitShownAt = w.waitForm->isVisible() ? w.waitForm->pos() : QPoint(-1, -1);
    });
    ASSERT_TRUE(w.Connect());
    EXPECT_EQ(bar.values, (std::vector<int>{3, 0}));
    EXPECT_EQ(waitShownAt, QPoint(108, 120));
    EXPECT_FALSE(w.waitForm->isVisible());

    // Opened by list position, configured step by step, the latency timer
    // asked down, then the resume code.
    const std::vector<sim::CallRecord> calls = w.sim->Calls();
    const std::vector<std::string> head = {"FT_Open",
                                           "FT_SetResetPipeRetryCount",
                                           "FT_ResetDevice",
                                           "FT_SetBaudRate",
                                           "FT_SetDataCharacteristics",
                                           "FT_SetFlowControl",
                                           "FT_SetTimeouts",
                                           "FT_SetDtr",
                                           "FT_ClrRts",
                                           "FT_SetLatencyTimer",
                                           "FT_Write"};
    ASSERT_GE(calls.size(), head.size());
    for (std::size_t i = 0; i < head.size(); ++i)
        EXPECT_EQ(calls[i].op, head[i]) << "call " << i;
    EXPECT_EQ(calls[0].arg, 0u);
    EXPECT_EQ(calls[1].arg, 10000u);
    EXPECT_EQ(calls[3].arg, 115200u);
    EXPECT_EQ(calls[4].arg, 8u); // 8 data bits, 1 stop bit, no parity
    EXPECT_EQ(calls[5].arg, 0u);
    EXPECT_EQ(calls[6].arg, 1200u);
    EXPECT_EQ(calls[6].arg2, 1200u);
    EXPECT_EQ(calls[9].arg, 2u);
    EXPECT_EQ(calls[10].bytes, (std::vector<std::uint8_t>{0x55, 0x55, 0x55, 0x01, 0x65, 0x65}));
    EXPECT_TRUE(w.sim->Dtr());
    EXPECT_FALSE(w.sim->Rts());

    // The on-line look and actions.
    EXPECT_EQ(w.form->palette().color(QPalette::Window), QColor(0x9D, 0xFF, 0xFF));
    EXPECT_EQ(w.form->raster.Background(), 0xFFFF9Du);
    EXPECT_FALSE(w.form->actOpen->isEnabled());
    EXPECT_FALSE(w.form->actConfigureConnection->isEnabled());
    EXPECT_TRUE(w.form->actClose->isEnabled());
    EXPECT_FALSE(w.form->actSave->isEnabled());
    EXPECT_TRUE(w.form->actFreeze->isEnabled());
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    for (QAction* key : w.form->KeyActions())
        EXPECT_TRUE(key->isEnabled()) << qPrintable(key->objectName());

    ASSERT_TRUE(w.WaitFrames(3));
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");
    EXPECT_EQ(TimesWritten(*w.sim, 0x65), 1);
    EXPECT_EQ(w.boxes.Count(), 0);
}

TEST(ConnectTest, IdAddressingOpensTheDeviceWithThatSerialNumber)
{
    WindowFixture w(Devices({"AV000001", "AV000002"}));
    w.CreateWindows();
    w.form->IDString = "AV000002";
    w.form->IDAddressing = true;
    ASSERT_TRUE(w.Connect());

    EXPECT_TRUE(CallsOf(*w.sim, "FT_Open").empty());
    const std::vector<sim::CallRecord> opens = CallsOf(*w.sim, "FT_OpenEx");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].arg, static_cast<std::uint32_t>(FT_OPEN_BY_SERIAL_NUMBER));
    EXPECT_EQ(std::string(opens[0].bytes.begin(), opens[0].bytes.end()), "AV000002");
    EXPECT_TRUE(w.sim->IsOpen(1));
    EXPECT_FALSE(w.sim->IsOpen(0));
    EXPECT_TRUE(w.WaitFrames(1));
}

TEST(ConnectTest, IdAddressingWithAnEmptyIdOpensTheFirstDevice)
{
    WindowFixture w(Devices({"AV000001", "AV000002"}));
    w.CreateWindows();
    w.form->IDString.clear();
    w.form->IDAddressing = true;
    ASSERT_TRUE(w.Connect());
    EXPECT_TRUE(CallsOf(*w.sim, "FT_OpenEx").empty());
    ASSERT_EQ(CallsOf(*w.sim, "FT_Open").size(), 1u);
    EXPECT_EQ(CallsOf(*w.sim, "FT_Open")[0].arg, 0u);
    EXPECT_TRUE(w.sim->IsOpen(0));
}

// Records, for each error box, whether the device was still open when it showed.
class OpenWhenShown final : public MessageBoxes {
public:
    explicit OpenWhenShown(const sim::SimDriver& driver) : driver_(driver) { SetBoxes(this); }
    ~OpenWhenShown() override { SetBoxes(nullptr); }
    void Error(QWidget*, const QString& text) override
    {
        texts.push_back(text);
        openAtBox.push_back(driver_.IsOpen());
    }
    void Information(QWidget*, const QString&) override {}
    bool Question(QWidget*, const QString&) override { return false; }

    std::vector<QString> texts;
    std::vector<bool> openAtBox;

private:
    const sim::SimDriver& driver_;
};

TEST(ConnectTest, FailedConfigurationStepIsReportedWithItsLocationAndTheDeviceClosedFirst)
{
    WindowFixture w;
    w.CreateWindows();
    w.sim->FailOperation("FT_SetBaudRate", FT_INVALID_BAUD_RATE);
    {
        OpenWhenShown boxes(*w.sim);
        w.form->actOpenExecute();
        ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return !boxes.texts.empty(); }));
        WindowFixture::WaitThreadsEnded();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], "FT_INVALID_BAUD_RATE  #[1026]");
        EXPECT_FALSE(boxes.openAtBox[0]);
    }
    // Nothing after the failed step, then the close.
    const std::vector<std::string> ops = Ops(*w.sim);
    const auto failed = std::find(ops.begin(), ops.end(), "FT_SetBaudRate");
    ASSERT_NE(failed, ops.end());
    EXPECT_EQ(std::vector<std::string>(failed + 1, ops.end()), std::vector<std::string>{"FT_Close"});
    ExpectOffline(w);

    // The device is free again: the next Connect succeeds.
    ASSERT_TRUE(w.Connect());
    EXPECT_TRUE(w.WaitFrames(1));
}

TEST(ConnectTest, ClosingTheWindowDuringTheAttemptsAbortsThemAndEndsOffline)
{
    WindowFixture w(Devices({}));
    w.CreateWindows();
    BarRecorder bar(w.waitForm->pbWait, [&](int value) {
        if (value == 6)
            QTimer::singleShot(0, w.form, [&] { w.form->close(); });
    });
    w.form->actOpenExecute();
    ASSERT_TRUE(WindowFixture::ProcessUntil([&] { return !w.form->isVisible(); }));
    // The close has waited for the connect job.
    EXPECT_EQ(TThread::Running(), 0);
    EXPECT_LT(CallsOf(*w.sim, "FT_Open").size(), 100u);
    EXPECT_FALSE(w.form->OnLine);
    EXPECT_EQ(w.form->PollThread, nullptr);
    EXPECT_FALSE(w.waitForm->isVisible());
}

} // namespace
