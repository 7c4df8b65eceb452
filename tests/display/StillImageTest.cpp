#include "display/StillImage.h"

#include "display/Raster.h"

#include "RasterProbe.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

using display::Raster;

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

void DrawSomething(Raster& raster)
{
    raster.SetColours(probe::kOnLine, probe::kBlack);
    raster.Clear();
    raster.ShowOverlayText("  STILL IMAGE\nabc");
    raster.SetPixel(0, 67, 0x00112233);  // bottom-left corner
    raster.SetPixel(243, 0, 0x00445566); // top-right corner
    for (int x = 0; x < 244; ++x) {
        raster.SetPixel(x, 66, static_cast<display::TColor>(x * 0x010307));
    }
}

} // namespace

TEST(StillImage, HeadersAndBottomUpRows)
{
    Raster raster;
    DrawSomething(raster);
    const auto file = display::EncodeStillImage(raster);

    ASSERT_EQ(file.size(), 49830u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 49830u);
    EXPECT_EQ(Le32(file, 6), 0u);
    EXPECT_EQ(Le32(file, 10), 54u);
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 244u);
    EXPECT_EQ(Le32(file, 22), 68u); // positive: bottom row first
    EXPECT_EQ(Le16(file, 26), 1);
    EXPECT_EQ(Le16(file, 28), 24);
    EXPECT_EQ(Le32(file, 30), 0u);
    EXPECT_EQ(Le32(file, 34), 732u * 68u);

    // First stored row is raster row 67, blue first.
    EXPECT_EQ(file[54], 0x11);
    EXPECT_EQ(file[55], 0x22);
    EXPECT_EQ(file[56], 0x33);
    // Last stored row is raster row 0; its last pixel ends the file.
    EXPECT_EQ(file[49827], 0x44);
    EXPECT_EQ(file[49828], 0x55);
    EXPECT_EQ(file[49829], 0x66);
}

TEST(StillImage, SavedFileReadsBackPixelForPixel)
{
    Raster raster;
    DrawSomething(raster);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath("still.bmp");

    const auto result = display::SaveStillImage(raster, name);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(QFileInfo(name).size(), 49830);

    QImage image;
    ASSERT_TRUE(image.load(name, "BMP"));
    ASSERT_EQ(image.width(), 244);
    ASSERT_EQ(image.height(), 68);
    int mismatches = 0;
    for (int y = 0; y < 68; ++y) {
        for (int x = 0; x < 244; ++x) {
            const display::TColor c = raster.PixelColour(x, y);
            const QRgb expected =
                qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
            mismatches += image.pixel(x, y) == expected ? 0 : 1;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(StillImage, OverwritesAnExistingFile)
{
    Raster raster;
    DrawSomething(raster);
    QTemporaryDir dir;
    const QString name = dir.filePath("old.bmp");
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    ASSERT_TRUE(display::SaveStillImage(raster, name).ok);
    EXPECT_EQ(QFileInfo(name).size(), 49830);
}

TEST(StillImage, UnwritablePlaceReportsWhy)
{
    Raster raster;
    QTemporaryDir dir;
    const QString name = dir.filePath("no/such/folder/still.bmp");
    const auto result = display::SaveStillImage(raster, name);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QDir::toNativeSeparators(name))) << result.error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(name));
}
