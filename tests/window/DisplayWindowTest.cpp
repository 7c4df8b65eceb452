// The display window around the raster: presets and the paint routine's
// status bar, freeze with the still image, and the placement commands.

#include "support/WindowFixture.h"

#include "Execunit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

class DisplayWindowTest : public ::testing::Test {
protected:
    void SetUp() override { w.CreateWindows(); }

    // The paint routine has run since the window took its present size.
    bool Painted()
    {
        return windowtest::WindowFixture::ProcessUntil([this] {
            const int n = w.form->SelectedPreset;
            return w.form->Presets[2 * (n - 1)] == w.form->OuterHeight() &&
                   w.form->Presets[2 * (n - 1) + 1] == w.form->OuterWidth();
        });
    }

    void Repainted()
    {
        w.form->Repaint();
        windowtest::WindowFixture::ProcessFor(5);
    }

    QSize Outer() const { return {w.form->OuterWidth(), w.form->OuterHeight()}; }

    windowtest::WindowFixture w;
};

TEST_F(DisplayWindowTest, WindowOpensAtTheSelectedPresetsOuterSize)
{
    // First run: preset 3 of the built-in table, frame included.
    ASSERT_TRUE(Painted());
    EXPECT_EQ(w.form->SelectedPreset, 3);
    EXPECT_EQ(Outer(), QSize(752, 283));
    EXPECT_EQ(w.form->Presets, TForm1::kDefaultPresets);
    EXPECT_EQ(w.form->StatusPanelText(1), "F3");
}

TEST_F(DisplayWindowTest, RecalledPresetComesBackAtTheSizeTheUserGaveIt)
{
    w.form->actPreset[1]->trigger();
    ASSERT_TRUE(Painted());
    EXPECT_EQ(Outer(), QSize(508, 216));
    EXPECT_EQ(w.form->StatusPanelText(1), "F2");
    EXPECT_TRUE(w.form->actPreset[1]->isChecked());

    // Resized by hand: preset 2 follows.
    w.form->resize(w.form->width() + 77, w.form->height() + 33);
    ASSERT_TRUE(Painted());
    const QSize handMade = Outer();
    EXPECT_EQ(handMade, QSize(508 + 77, 216 + 33));

    w.form->actPreset[2]->trigger();
    ASSERT_TRUE(Painted());
    EXPECT_EQ(Outer(), QSize(752, 283));
    EXPECT_EQ(w.form->StatusPanelText(1), "F3");
    EXPECT_FALSE(w.form->actPreset[1]->isChecked());

    w.form->actPreset[1]->trigger();
    ASSERT_TRUE(Painted());
    EXPECT_EQ(Outer(), handMade);
    EXPECT_EQ(w.form->StatusPanelText(1), "F2");
    // Preset 3 kept its own size meanwhile.
    EXPECT_EQ(w.form->Presets[4], 283);
    EXPECT_EQ(w.form->Presets[5], 752);
}

// Repaints the window whenever it is resized, as a paint delivered inside a
// resize would.
class PaintOnResize final : public QObject {
public:
    explicit PaintOnResize(TForm1& form) : form_(form) { form.installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &form_ && event->type() == QEvent::Resize)
            form_.Repaint();
        return false;
    }

private:
    TForm1& form_;
};

TEST_F(DisplayWindowTest, PaintInsideThePresetResizeStoresTheSizeIntoTheRecalledPresetOnly)
{
    ASSERT_TRUE(Painted());
    PaintOnResize painter(*w.form);
    w.form->actPreset[1]->trigger();
    ASSERT_TRUE(Painted());
    EXPECT_EQ(Outer(), QSize(508, 216));
    // Preset 3, the one being left, keeps its size.
    EXPECT_EQ(w.form->Presets[4], 283);
    EXPECT_EQ(w.form->Presets[5], 752);
}

TEST_F(DisplayWindowTest, CtrlF4ResetsTheSelectedPresetToTheFourthDefaultSize)
{
    // Preset 4 holds a size of the user's: Ctrl+F4 takes the built-in one.
    w.form->Presets[6] = 300;
    w.form->Presets[7] = 900;
    w.form->actPreset[1]->trigger();
    ASSERT_TRUE(Painted());
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form));
    QTest::keyClick(w.form, Qt::Key_F4, Qt::ControlModifier);
    ASSERT_TRUE(Painted());

    EXPECT_EQ(Outer(), QSize(1000, 351));
    EXPECT_EQ(w.form->SelectedPreset, 2);
    EXPECT_EQ(w.form->Presets[2], 351);
    EXPECT_EQ(w.form->Presets[3], 1000);
    EXPECT_EQ(w.form->StatusPanelText(1), "F2");
    // Preset 4 keeps the user's size.
    EXPECT_EQ(w.form->Presets[6], 300);
    EXPECT_EQ(w.form->Presets[7], 900);
}

TEST_F(DisplayWindowTest, SizePanelsPadToFourDigitsAndCountOneMorePixelThanTheDrawingArea)
{
    // W and H from the layout: the client area less the 2-pixel borders on
    // the left, right and top (the status bar is outside the central area).
    auto expectSizePanels = [this](const char* widthPattern) {
        const QWidget* central = w.form->centralWidget();
        const int width = central->width() - 2 - 2 + 1;
        const int height = central->height() - 2 + 1;
        EXPECT_EQ(w.form->StatusPanelText(2), QString("W: %1").arg(width, 4));
        EXPECT_EQ(w.form->StatusPanelText(3), QString("H: %1").arg(height, 4));
        EXPECT_TRUE(QRegularExpression(widthPattern).match(w.form->StatusPanelText(2)).hasMatch())
            << qPrintable(w.form->StatusPanelText(2));
        EXPECT_EQ(w.form->toolTip(), QString("W: %1; H: %2").arg(width, 4).arg(height, 4));
    };

    w.form->actPreset[0]->trigger(); // 259 wide: a three-digit W
    ASSERT_TRUE(Painted());
    Repainted();
    expectSizePanels("^W:  \\d{3}$");

    w.form->actPreset[4]->trigger(); // 1424 wide: four digits, no padding
    ASSERT_TRUE(Painted());
    Repainted();
    expectSizePanels("^W: \\d{4}$");

    EXPECT_EQ(w.form->StatusPanelText(0), "OFF-LINE");
    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: Not enabled");
    w.form->IDString = "AV1A2B3C";
    w.form->IDAddressing = true;
    Repainted();
    EXPECT_EQ(w.form->StatusPanelText(4), "USB_ID: [AV1A2B3C]");
}

TEST_F(DisplayWindowTest, HomeMovesTheWindowToTheCornerAndParksHiddenKeypadsBelowIt)
{
    w.keyForm->hide();
    w.jKeypad->hide();
    w.form->move(120, 90);
    w.form->actHome->trigger();

    EXPECT_EQ(w.form->pos(), QPoint(0, 0));
    const QPoint below(0, w.form->OuterHeight());
    EXPECT_EQ(w.keyForm->pos(), below);
    EXPECT_EQ(w.jKeypad->pos(), below);
    EXPECT_FALSE(w.keyForm->isVisible());
    EXPECT_FALSE(w.jKeypad->isVisible());
    EXPECT_EQ(w.waitForm->pos(), QPoint(8, 50));

    // Park leaves the display window where it is.
    w.form->move(150, 100);
    w.keyForm->show();
    w.form->actPark->trigger();
    EXPECT_EQ(w.form->pos(), QPoint(150, 100));
    EXPECT_EQ(w.keyForm->pos(), QPoint(150, 100 + w.form->OuterHeight()));
    EXPECT_EQ(w.jKeypad->pos(), QPoint(150, 100 + w.form->OuterHeight()));
    EXPECT_TRUE(w.keyForm->isVisible());
    EXPECT_EQ(w.waitForm->pos(), QPoint(158, 150));
}

// --- on-line: freeze and the still image ---------------------------------------------

class FreezeTest : public DisplayWindowTest {
protected:
    void SetUp() override
    {
        DisplayWindowTest::SetUp();
        ASSERT_TRUE(w.Connect());
        ASSERT_TRUE(w.WaitFrames(2));
    }
};

TEST_F(FreezeTest, FreezeStopsPollingAndShowsStillImageUntilUnfrozen)
{
    EXPECT_TRUE(w.form->actFreeze->isEnabled());
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");
    EXPECT_FALSE(w.form->actSave->isEnabled());

    w.form->actFreeze->trigger();
    EXPECT_EQ(w.form->StatusPanelText(0), "STILL IMAGE");
    EXPECT_TRUE(w.form->actSave->isEnabled());
    // The cycle in progress may still finish, with at most one more query
    // and one more frame; after that nothing is polled. Free-running polling
    // on the instant clock would query many times meanwhile.
    const int queries = w.front->Queries();
    const int frames = w.lamps->framesDrawn;
    windowtest::WindowFixture::ProcessFor(300);
    EXPECT_LE(w.front->Queries(), queries + 1);
    EXPECT_LE(w.lamps->framesDrawn, frames + 1);
    EXPECT_TRUE(w.form->OnLine);

    w.form->actFreeze->trigger();
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");
    EXPECT_FALSE(w.form->actSave->isEnabled());
    EXPECT_TRUE(w.WaitFrames(2));
}

TEST_F(FreezeTest, FrameUnderWayWhenFreezeComesIsNotDrawn)
{
    // The next transaction is held at its purge until Freeze has been chosen.
    std::atomic<bool> underWay{false};
    std::atomic<bool> frozen{false};
    w.front->ThrowFrom("FT_Purge", [&] {
        underWay = true;
        for (int ms = 0; !frozen && ms < 10000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(windowtest::WindowFixture::ProcessUntil([&] { return underWay.load(); }));
    w.form->actFreeze->trigger();
    const int frames = w.lamps->framesDrawn;
    const int queries = w.front->Queries();
    frozen = true;
    ASSERT_TRUE(windowtest::WindowFixture::ProcessUntil([&] { return w.front->Queries() > queries; }));
    windowtest::WindowFixture::ProcessFor(100);
    EXPECT_EQ(w.lamps->framesDrawn, frames);
    EXPECT_EQ(w.form->StatusPanelText(0), "STILL IMAGE");
}

TEST_F(FreezeTest, SavedStillImageIsTheRasterAsA24BitBitmap)
{
    w.form->actFreeze->trigger();
    windowtest::WindowFixture::ProcessFor(30);
    QTemporaryDir dir;
    const QString name = dir.filePath("still.bmp");
    w.form->ChooseStillImageFile = [&] { return name; };
    w.form->actSave->trigger();

    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bmp = file.readAll();
    ASSERT_EQ(bmp.size(), 49830);
    auto u8 = [&](int i) { return static_cast<std::uint8_t>(bmp[i]); };
    auto le32 = [&](int i) { return u8(i) | u8(i + 1) << 8 | u8(i + 2) << 16 | u8(i + 3) << 24; };
    EXPECT_EQ(bmp.left(2), "BM");
    EXPECT_EQ(le32(2), 49830);
    EXPECT_EQ(le32(10), 54);
    EXPECT_EQ(le32(18), 244);
    EXPECT_EQ(le32(22), 68);
    EXPECT_EQ(u8(28), 24);
    // Rows bottom-up, blue, green, red; the colour form is 0x00BBGGRR.
    const display::Raster& raster = w.form->raster;
    int differing = 0;
    for (int y = 0; y < 68; ++y) {
        for (int x = 0; x < 244; ++x) {
            const int at = 54 + (67 - y) * 732 + 3 * x;
            const display::TColor colour = u8(at) << 16 | u8(at + 1) << 8 | u8(at + 2);
            differing += colour != raster.PixelColour(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(differing, 0);
    // The raster shows a frame, not a blank background.
    EXPECT_LT(std::count(bmp.begin() + 54, bmp.end(), '\0'), bmp.size() - 54);

    // Cancel writes nothing; an unwritable name is reported in the error box.
    w.form->ChooseStillImageFile = [] { return QString(); };
    w.form->actSave->trigger();
    EXPECT_EQ(w.boxes.Count(), 0);
    w.form->ChooseStillImageFile = [&] { return dir.filePath("missing/still.bmp"); };
    w.form->actSave->trigger();
    ASSERT_EQ(w.boxes.Count(), 1);
    EXPECT_EQ(w.boxes.Last().kind, "error");
    EXPECT_EQ(w.boxes.Last().owner, w.form);
}

TEST_F(FreezeTest, StoppingPollingClearsTheFreezeAndDisconnectDisablesIt)
{
    w.form->actFreeze->trigger();
    ASSERT_TRUE(w.form->actFreeze->isChecked());
    // Power-on stops polling: the new poll thread does not start under a still image.
    w.form->actOn->trigger();
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    EXPECT_TRUE(w.WaitFrames(2));
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");

    w.form->actFreeze->trigger();
    w.form->actClose->trigger();
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    EXPECT_FALSE(w.form->actFreeze->isEnabled());
    EXPECT_EQ(w.form->StatusPanelText(0), "OFF-LINE");

    ASSERT_TRUE(w.Connect());
    EXPECT_TRUE(w.form->actFreeze->isEnabled());
    EXPECT_FALSE(w.form->actFreeze->isChecked());
}

TEST_F(FreezeTest, FreezeWithoutAPollThreadDoesNothing)
{
    // Power-on runs: no poll thread until the pulse has ended, which needs
    // the main thread's events, so nothing restarts before we look.
    w.form->actOn->trigger();
    ASSERT_EQ(w.form->PollThread, nullptr);
    w.form->actFreeze->trigger();
    EXPECT_FALSE(w.form->actFreeze->isChecked());
    EXPECT_EQ(w.form->StatusPanelText(0), "ON-LINE");
    EXPECT_FALSE(w.form->actSave->isEnabled());

    // Polling comes back and runs.
    ASSERT_TRUE(w.WaitFrames(2));
    ASSERT_NE(w.form->PollThread, nullptr);
    EXPECT_FALSE(w.form->PollThread->Suspended());
}

} // namespace
