#include "XwdImage.h"

#include <bit>
#include <cstdint>

namespace {

// Field numbers of the dump header (each a 32-bit big-endian value).
enum Field {
    kHeaderSize = 0,
    kFileVersion = 1,
    kPixmapFormat = 2,
    kPixmapWidth = 4,
    kPixmapHeight = 5,
    kByteOrder = 7,
    kBitsPerPixel = 11,
    kBytesPerLine = 12,
    kVisualClass = 13,
    kRedMask = 14,
    kGreenMask = 15,
    kBlueMask = 16,
    kColourCount = 19,
    kFieldCount = 25,
};
constexpr std::uint32_t kVersion = 7;
constexpr std::uint32_t kZPixmap = 2;
constexpr std::uint32_t kTrueColor = 4;
constexpr std::uint32_t kDirectColor = 5;
constexpr std::size_t kColourEntrySize = 12;

std::uint32_t Field32(const QByteArray& data, int field)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(data.constData()) + 4 * field;
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// One channel of a pixel value, scaled to 0..255.
int Channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const std::uint32_t value = (pixel & mask) >> shift;
    const std::uint32_t top = (bits >= 32) ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return static_cast<int>(value * 255 / top);
}

} // namespace

QImage ReadXwd(const QByteArray& data, std::string& error)
{
    if (data.size() < 4 * kFieldCount) {
        error = "window dump shorter than its header (" + std::to_string(data.size()) + " bytes)";
        return {};
    }
    const std::uint32_t headerSize = Field32(data, kHeaderSize);
    const std::uint32_t width = Field32(data, kPixmapWidth);
    const std::uint32_t height = Field32(data, kPixmapHeight);
    const std::uint32_t bitsPerPixel = Field32(data, kBitsPerPixel);
    const std::uint32_t bytesPerLine = Field32(data, kBytesPerLine);
    const std::uint32_t visual = Field32(data, kVisualClass);
    const bool msbFirst = Field32(data, kByteOrder) == 1;
    if (Field32(data, kFileVersion) != kVersion || Field32(data, kPixmapFormat) != kZPixmap) {
        error = "not a version 7 ZPixmap window dump";
        return {};
    }
    if ((bitsPerPixel != 24 && bitsPerPixel != 32) || (visual != kTrueColor && visual != kDirectColor)) {
        error = "window dump of " + std::to_string(bitsPerPixel) + " bits per pixel, visual class " +
                std::to_string(visual) + ": only 24/32-bit true colour is read";
        return {};
    }
    const std::uint32_t bytesPerPixel = bitsPerPixel / 8;
    const qsizetype pixelsAt =
        static_cast<qsizetype>(headerSize) + static_cast<qsizetype>(Field32(data, kColourCount)) * kColourEntrySize;
    if (width == 0 || height == 0 || bytesPerLine < width * bytesPerPixel ||
        data.size() < pixelsAt + static_cast<qsizetype>(bytesPerLine) * height) {
        error = "window dump cut short or with an impossible size";
        return {};
    }
    const std::uint32_t red = Field32(data, kRedMask);
    const std::uint32_t green = Field32(data, kGreenMask);
    const std::uint32_t blue = Field32(data, kBlueMask);

    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    const auto* pixels = reinterpret_cast<const std::uint8_t*>(data.constData()) + pixelsAt;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * bytesPerLine;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = row + x * bytesPerPixel;
            std::uint32_t value = 0;
            for (std::uint32_t i = 0; i < bytesPerPixel; ++i) {
                const std::uint32_t byte = msbFirst ? p[i] : p[bytesPerPixel - 1 - i];
                value = value << 8 | byte;
            }
            out[x] = qRgb(Channel(value, red), Channel(value, green), Channel(value, blue));
        }
    }
    return image;
}
