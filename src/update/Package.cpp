#include "update/Package.h"

#include <QDir>
#include <QString>

namespace update {

const char* PackageErrorText(int kind)
{
    switch (kind) {
    case kOpenError:
        return "I/O error while opening file:\n  ";
    case kReadError:
        return "Read error while processing file:\n  ";
    case kAuthenticationError:
        return "Authentication failed while processing file:\n  ";
    case kConsistencyError:
        return "Data consistency check failed while processing file:\n  ";
    default:
        return "General I/O error on file:\n  ";
    }
}

void PackageCheck(bool failed, int kind, const std::string& fileName)
{
    // The name as the user's system writes paths (C:\... on Windows).
    if (failed)
        throw Upd_Exception(PackageErrorText(kind) +
                            QDir::toNativeSeparators(QString::fromStdString(fileName)).toStdString());
}

std::uint32_t BlockSum(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return sum;
}

namespace {

std::uint32_t Le32(const std::uint8_t* b)
{
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Reads a four-byte number; a short read is the read error.
std::uint32_t ReadNumber(PackageFile& file, const std::string& fileName)
{
    std::uint8_t bytes[4];
    PackageCheck(!file.ReadExactly(bytes, sizeof bytes), kReadError, fileName);
    return Le32(bytes);
}

} // namespace

ScanResult ScanPackage(PackageFile& file, const std::string& fileName)
{
    PackageCheck(!file.Open(fileName), kOpenError, fileName);
    return ScanOpenPackage(file, fileName);
}

ScanResult ScanPackageForUpdate(PackageFile& file, const std::string& fileName)
{
    const ScanResult scan = ScanPackage(file, fileName);
    PackageCheck(scan.blockCount == 0, kConsistencyError, fileName);
    return scan;
}

ScanResult ScanOpenPackage(PackageFile& file, const std::string& fileName)
{

    static constexpr std::uint8_t kMagic[4] = {'.', 'P', 'K', '1'};
    std::uint8_t head[5];
    PackageCheck(!file.ReadExactly(head, sizeof head), kReadError, fileName);
    for (std::size_t i = 0; i < sizeof kMagic; ++i)
        PackageCheck(head[i] != kMagic[i], kAuthenticationError, fileName);

    const std::int64_t dataStart = file.Position();
    ScanResult result;
    std::uint32_t runningSum = 0;
    PackageBlock block;
    for (;;) {
        PackageCheck(!file.ReadExactly(&block.tag, 1), kReadError, fileName);
        if (block.tag == kTerminatorTag) {
            result.total = ReadNumber(file, fileName);
            PackageCheck(runningSum != result.total, kConsistencyError, fileName);
            PackageCheck(!file.Seek(dataStart), kReadError, fileName);
            return result;
        }
        ++result.blockCount;
        PackageCheck(!file.ReadExactly(block.data.data(), block.data.size()), kReadError, fileName);
        block.checksum = ReadNumber(file, fileName);
        PackageCheck(BlockSum(block.data.data()) != block.checksum, kConsistencyError, fileName);
        runningSum += block.checksum;
    }
}

void ReadBlock(PackageFile& file, const std::string& fileName, PackageBlock& block)
{
    PackageCheck(!file.ReadExactly(&block.tag, 1), kReadError, fileName);
    PackageCheck(!file.ReadExactly(block.data.data(), block.data.size()), kReadError, fileName);
    block.checksum = ReadNumber(file, fileName);
}

} // namespace update
