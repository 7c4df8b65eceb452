#include "display/StillImage.h"

#include "display/Raster.h"

#include <QDir>
#include <QSaveFile>

// The bitmap is written by hand rather than through QImage's writer so that
// the headers are exactly ours: a BITMAPINFOHEADER with 24 bits per pixel and
// no colour masks or extended header, whatever the toolkit's writer prefers.

namespace display {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;
constexpr std::uint32_t kRowStride = (Raster::kBytesPerRow + 3) / 4 * 4;
constexpr std::uint32_t kImageSize = kRowStride * Raster::kHeight;
constexpr std::uint32_t kFileSize = kPixelOffset + kImageSize;
static_assert(kFileSize == 49830);

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    }
}

} // namespace

std::vector<std::uint8_t> EncodeStillImage(const Raster& raster)
{
    std::vector<std::uint8_t> out;
    out.reserve(kFileSize);

    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    Put32(out, kFileSize);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, kPixelOffset);

    // BITMAPINFOHEADER; a positive height means bottom-up rows.
    Put32(out, kInfoHeaderSize);
    Put32(out, Raster::kWidth);
    Put32(out, Raster::kHeight);
    Put16(out, 1);  // planes
    Put16(out, 24); // bits per pixel
    Put32(out, 0);  // BI_RGB, uncompressed
    Put32(out, kImageSize);
    Put32(out, 0); // horizontal resolution, not given
    Put32(out, 0); // vertical resolution, not given
    Put32(out, 0); // colours used
    Put32(out, 0); // important colours

    // The raster already stores blue, green, red per pixel.
    for (int y = Raster::kHeight - 1; y >= 0; --y) {
        const std::uint8_t* row = raster.ScanLine(y);
        out.insert(out.end(), row, row + Raster::kBytesPerRow);
        out.insert(out.end(), kRowStride - Raster::kBytesPerRow, 0);
    }
    return out;
}

StillImageResult SaveStillImage(const Raster& raster, const QString& fileName)
{
    const std::vector<std::uint8_t> bytes = EncodeStillImage(raster);
    QSaveFile file(fileName);
    const QString shown = QDir::toNativeSeparators(fileName); // C:\... on Windows
    if (!file.open(QIODevice::WriteOnly)) {
        return {false, QStringLiteral("Cannot create \"%1\": %2").arg(shown, file.errorString())};
    }
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, QStringLiteral("Cannot write \"%1\": %2").arg(shown, reason)};
    }
    if (!file.commit()) {
        return {false, QStringLiteral("Cannot write \"%1\": %2").arg(shown, file.errorString())};
    }
    return {true, {}};
}

} // namespace display
