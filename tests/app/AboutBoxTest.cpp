#include "app/AboutBox.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

TEST(AboutBox, LayoutTextsAndFonts)
{
    THelpDlg box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Vorlinq: Help"));
    EXPECT_EQ(box.size(), QSize(313, 214));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()); // not resizable

    EXPECT_EQ(box.Bevel1->geometry(), QRect(7, 8, 297, 161));
    EXPECT_EQ(box.Bevel1->frameShape(), QFrame::Box);
    EXPECT_EQ(box.Bevel1->frameShadow(), QFrame::Sunken);

    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(141, 20, 41, 41));
    EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());

    const struct {
        QLabel* label;
        const char* text;
        QPoint at;
        int pixels;
    } labels[] = {{box.ProductName, "Vorlinq", {86, 66}, 19},
                  {box.Comments, "AVELKOR Q9-MX USB terminal", {32, 102}, 16}};
    for (const auto& expected : labels) {
        EXPECT_EQ(expected.label->text(), QLatin1String(expected.text));
        EXPECT_EQ(expected.label->pos(), expected.at) << expected.text;
        EXPECT_EQ(expected.label->font().pixelSize(), expected.pixels) << expected.text;
        EXPECT_TRUE(expected.label->font().bold()) << expected.text;
        EXPECT_TRUE(expected.label->font().italic()) << expected.text;
        // Sized to its text, and the text is not cut off by the box's edge.
        EXPECT_GE(expected.label->width(), expected.label->fontMetrics().horizontalAdvance(expected.label->text()));
        EXPECT_TRUE(box.rect().contains(expected.label->geometry())) << expected.text;
    }

    EXPECT_EQ(box.OKButton->text(), QStringLiteral("OK"));
    EXPECT_EQ(box.OKButton->geometry(), QRect(120, 180, 75, 25));
    EXPECT_TRUE(box.OKButton->isDefault());
}

TEST(AboutBox, CentredOnTheScreenAndClosedByOk)
{
    THelpDlg box;
    box.open();
    ASSERT_TRUE(box.isVisible());
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((box.frameGeometry().center() - screenCentre).manhattanLength(), 2);

    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);

    // Enter closes it too (OK is the default button).
    box.open();
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
}

} // namespace
