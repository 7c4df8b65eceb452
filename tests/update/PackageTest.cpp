#include "PackageBuilder.h"

#include "update/CheckPackage.h"
#include "update/Package.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace update;
using pkgtest::PackageBuilder;

namespace {

class PackageScan : public ::testing::Test {
protected:
    // The message of the package error the scan raises, or "" when it passes.
    std::string ScanError(const std::string& path)
    {
        try {
            result = ScanPackage(file, path);
        } catch (const Upd_Exception& e) {
            return e.Message();
        }
        return {};
    }
    std::string Write(const std::vector<std::uint8_t>& bytes) { return pkgtest::WriteBytes(path, bytes); }

    pkgtest::TempDir dir;
    std::string path = dir.File("firmware.pk1");
    PackageFile file;
    ScanResult result;
};

const std::string kOpen = "I/O error while opening file:\n  ";
const std::string kRead = "Read error while processing file:\n  ";
const std::string kAuth = "Authentication failed while processing file:\n  ";
const std::string kConsistency = "Data consistency check failed while processing file:\n  ";

} // namespace

TEST(PackageError, KindTextsEndWithTheIndentedFileName)
{
    for (int kind : {4, 5, -1, 255})
        EXPECT_STREQ(PackageErrorText(kind), "General I/O error on file:\n  ");
    EXPECT_NO_THROW(PackageCheck(false, kReadError, "/x.pk1"));
    try {
        PackageCheck(true, kReadError, "/home/op/fw 2.pk1");
        FAIL() << "no exception";
    } catch (const Exception& e) { // caught through the program's base exception
        EXPECT_EQ(e.Message(), "Read error while processing file:\n  " +
                                   QDir::toNativeSeparators("/home/op/fw 2.pk1").toStdString());
    }
}

TEST_F(PackageScan, FileThatCannotBeOpened)
{
    EXPECT_EQ(ScanError(dir.File("missing.pk1")), kOpen + dir.File("missing.pk1"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ScanError(dir.Path()), kOpen + dir.Path());
}

TEST_F(PackageScan, HeadShorterThanFiveBytesIsAReadErrorEvenWithTheMagic)
{
    for (const std::vector<std::uint8_t>& head : {std::vector<std::uint8_t>{}, {'.', 'P', 'K', '1'}, {'.', 'P'}})
        EXPECT_EQ(ScanError(Write(head)), kRead + path);
}

TEST_F(PackageScan, MagicIsComparedExactly)
{
    EXPECT_EQ(ScanError(PackageBuilder().Magic(".pk1").AddBlock(1, 2).WriteTo(path)), kAuth + path);
    EXPECT_EQ(ScanError(PackageBuilder().Magic("PK1.").WriteTo(path)), kAuth + path);
    // The fifth byte is never looked at.
    for (std::uint8_t head : {0x00, 0x31, 0xFF}) {
        EXPECT_EQ(ScanError(PackageBuilder().HeadByte(head).AddBlock(1, 2).WriteTo(path)), "");
        EXPECT_EQ(result.blockCount, 1);
    }
}

TEST_F(PackageScan, PackageWithoutBlocks)
{
    EXPECT_EQ(ScanError(PackageBuilder().WriteTo(path)), "");
    EXPECT_EQ(result.blockCount, 0);
    EXPECT_EQ(result.total, 0u);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Position(), 5);

    EXPECT_EQ(ScanError(PackageBuilder().Total(1).WriteTo(path)), kConsistency + path);
}

TEST_F(PackageScan, ValidPackageLeavesTheFileAtTheDataStartAndReadsBackInOrder)
{
    PackageBuilder package;
    package.AddPatternBlock(0x10, 1).AddBlock(0xFE, 0xFF).AddPatternBlock(0x00, 3);
    ASSERT_EQ(ScanError(package.WriteTo(path)), "");
    EXPECT_EQ(result.blockCount, 3);
    EXPECT_EQ(result.total, package.StoredTotal());
    EXPECT_EQ(file.Position(), 5);

    PackageBlock block;
    for (const auto& expected : package.Blocks()) {
        ReadBlock(file, path, block);
        EXPECT_EQ(block.tag, expected.tag);
        EXPECT_TRUE(std::equal(block.data.begin(), block.data.end(), expected.data.begin()));
        EXPECT_EQ(block.checksum, expected.checksum);
    }
    // The terminator is no block record: its total is too short for block data.
    try {
        ReadBlock(file, path, block);
        FAIL() << "read past the blocks";
    } catch (const Upd_Exception& e) {
        EXPECT_EQ(e.Message(), kRead + path);
    }
}

TEST_F(PackageScan, AllOnesBlockSumsTo1044480StoredLittleEndian)
{
    std::vector<std::uint8_t> bytes = {'.', 'P', 'K', '1', 0, 0x7A};
    bytes.insert(bytes.end(), 4096, 0xFF);
    bytes.insert(bytes.end(), {0x00, 0xF0, 0x0F, 0x00, 0xFF, 0x00, 0xF0, 0x0F, 0x00});
    ASSERT_EQ(ScanError(Write(bytes)), "");
    EXPECT_EQ(result.blockCount, 1);
    EXPECT_EQ(result.total, 1044480u);
}

TEST_F(PackageScan, CutRecordsAreReadErrors)
{
    const auto whole = PackageBuilder().AddPatternBlock(1, 1).AddPatternBlock(2, 2).Bytes();
    const std::size_t second = PackageBuilder::RecordOffset(1);
    const std::size_t cuts[] = {
        second,                // no tag where the next record should be
        second + 1 + 4095,     // data one byte short
        second + 1 + 4096 + 3, // checksum one byte short
        whole.size() - 5,      // terminator missing
        whole.size() - 1,      // package total one byte short
    };
    for (std::size_t cut : cuts) {
        EXPECT_EQ(ScanError(Write({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)})), kRead + path)
            << "cut at " << cut;
    }
}

TEST_F(PackageScan, ChangedDataFailsAtItsBlockBeforeLaterBlocksAreRead)
{
    auto bytes = PackageBuilder().AddPatternBlock(1, 1).AddPatternBlock(2, 2).AddPatternBlock(3, 3).Bytes();
    bytes[PackageBuilder::DataOffset(1) + 100] ^= 0x01;
    // Cutting the third block would be a read error if the scan went on.
    bytes.resize(PackageBuilder::DataOffset(2) + 10);
    EXPECT_EQ(ScanError(Write(bytes)), kConsistency + path);

    // A stored checksum that does not match its data, with a matching total.
    EXPECT_EQ(ScanError(PackageBuilder().AddBlock(1, 1).SetChecksum(0, 4095).Total(4095).WriteTo(path)),
              kConsistency + path);
}

TEST_F(PackageScan, WrongTotalFailsOnlyAfterAllBlocks)
{
    PackageBuilder package;
    package.AddPatternBlock(1, 1).AddPatternBlock(2, 2);
    package.Total(package.StoredTotal() + 1);
    EXPECT_EQ(ScanError(package.WriteTo(path)), kConsistency + path);

    // With the last block cut, the same package fails reading, not on the total.
    auto bytes = package.Bytes();
    bytes.resize(PackageBuilder::DataOffset(1) + 4000);
    EXPECT_EQ(ScanError(Write(bytes)), kRead + path);
}

TEST_F(PackageScan, BytesAfterTheTotalAreIgnored)
{
    EXPECT_EQ(ScanError(PackageBuilder().AddBlock(9, 9).Trailer({0xFF, 0x12, 0x00, 0x55}).WriteTo(path)), "");
    EXPECT_EQ(result.blockCount, 1);
}

TEST(CheckPackageCommand, PrintsCountAndTotalOrTheError)
{
    pkgtest::TempDir dir;
    const std::string good = PackageBuilder().AddBlock(1, 0xFF).AddBlock(2, 0x01).WriteTo(dir.File("good.pk1"));
    std::ostringstream out, err;
    EXPECT_EQ(CheckPackageCommand(good, out, err), 0);
    EXPECT_NE(out.str().find("blocks: 2\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("package total: 1048576\n"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");

    std::ostringstream out2, err2;
    const std::string bad = PackageBuilder().Magic(".PK2").WriteTo(dir.File("bad.pk1"));
    EXPECT_EQ(CheckPackageCommand(bad, out2, err2), 1);
    EXPECT_EQ(err2.str(), kAuth + bad + "\n");
    EXPECT_EQ(out2.str(), "");
}
