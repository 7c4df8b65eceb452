// The display window's text for screen readers and the clipboard: the
// accessible text after a frame, the change notices, and the copy action
// under a still image.

#include "support/ScreenText.h"
#include "support/WindowFixture.h"

#include "DisplayAccessible.h"
#include "display/CharText.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

#include <vector>

namespace {

class DisplayTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.CreateWindows();
        area = w.form->findChild<QWidget*>("DrawingArea");
        ASSERT_NE(area, nullptr);
        a11y::DisplayAccess* access = a11y::DisplayAccess::Of(area);
        ASSERT_NE(access, nullptr);
        clock.start();
        QObject::connect(access, &a11y::DisplayAccess::TextTold, access, [this](const QString& inserted) {
            told.push_back(inserted);
            toldAt.push_back(clock.elapsed());
        });
    }

    // The amplifier's screen as text, straight from its frame payload.
    QString AmplifierText()
    {
        const windowtest::Bytes payload = w.WithDevice([](sim::SimAmplifier& amp) { return amp.Payload(); });
        return testsupport::ScreenText(payload);
    }

    windowtest::WindowFixture w;
    QWidget* area = nullptr;
    QElapsedTimer clock;
    std::vector<QString> told; // the new text of every text notice
    std::vector<qint64> toldAt;
};

TEST_F(DisplayTextTest, AccessibleValueAfterAFrameIsTheFramesText)
{
    QAccessibleInterface* display = QAccessible::queryAccessibleInterface(area);
    ASSERT_NE(display, nullptr);
    ASSERT_NE(display->textInterface(), nullptr);
    EXPECT_EQ(display->text(QAccessible::Name), "Amplifier display, off-line");

    ASSERT_TRUE(w.Connect());
    ASSERT_TRUE(w.WaitFrames(2));
    w.form->StopPolling();
    QStringList rows = AmplifierText().split('\n');
    for (QString& row : rows)
        row = row.leftJustified(40); // a screen reader reads every row whole
    const QString expected = rows.join('\n');
    ASSERT_FALSE(expected.trimmed().isEmpty());
    EXPECT_EQ(display->text(QAccessible::Description), "Lamps lit: ON");
    EXPECT_EQ(display->text(QAccessible::Value), expected);
    QAccessibleTextInterface* text = display->textInterface();
    EXPECT_EQ(text->text(0, text->characterCount()), expected);
    int start = 0, end = 0;
    EXPECT_EQ(text->textAtOffset(0, QAccessible::LineBoundary, &start, &end), expected.section('\n', 0, 0) + '\n');
    EXPECT_EQ(display->text(QAccessible::Name), "Amplifier display, on-line");
    QTest::keyClick(area, Qt::Key_Down); // the reading caret moves to the next line
    EXPECT_EQ(text->cursorPosition(), expected.indexOf('\n') + 1);
}

// A notice for every frame, notices closer together than the bound (a flood
// from a changing screen), none for a change, or a stale text all fail here.
TEST_F(DisplayTextTest, ChangedTextIsToldAtABoundedRateAndAnUnchangedFrameTellsNothing)
{
    ASSERT_TRUE(w.Connect());
    ASSERT_TRUE(w.WaitFrames(2));
    ASSERT_TRUE(w.ProcessUntil([&] { return !told.empty(); }, 5000)) << "the first screen was never told";
    w.ProcessFor(400);
    told.clear();
    toldAt.clear();

    ASSERT_TRUE(w.WaitFrames(8));
    w.ProcessFor(400);
    EXPECT_TRUE(told.empty()) << told.size() << " notices for an unchanged screen, first \""
                              << told.front().toStdString() << "\"";

    const QString before = display::RasterGrid(w.form->raster);
    for (int i = 0; i < 3; ++i) { // the amplifier steps through its antennas
        w.form->actAnt->trigger();
        w.ProcessFor(100);
    }
    w.ProcessFor(1000);
    const QString after = display::RasterGrid(w.form->raster);
    ASSERT_NE(after, before);
    ASSERT_FALSE(told.empty()) << "the new antenna was never told";
    EXPECT_TRUE(after.contains(told.back())) << "told \"" << told.back().toStdString() << "\"";
    for (std::size_t i = 1; i < toldAt.size(); ++i)
        EXPECT_GE(toldAt[i] - toldAt[i - 1], a11y::DisplayAccess::kNoticeIntervalMs * 9 / 10) << "notice " << i;
}

TEST_F(DisplayTextTest, CopyTakesTheStillImagesText)
{
    ASSERT_TRUE(w.Connect());
    ASSERT_TRUE(w.WaitFrames(2));
    w.form->actFreeze->trigger();
    ASSERT_TRUE(w.form->actFreeze->isChecked());
    const QString still = display::RasterText(w.form->raster);
    w.form->actAnt->trigger(); // the amplifier's screen moves on, the still image does not
    w.ProcessUntil([&] { return AmplifierText() != still; }, 2000);
    ASSERT_NE(AmplifierText(), still);

    w.form->actCopyText->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), still);
}

} // namespace
