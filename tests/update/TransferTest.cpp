#include "PackageBuilder.h"
#include "ScriptedLink.h"

#include "link/FtStatus.h"
#include "update/Transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace update;
using pkgtest::Bytes;
using pkgtest::PackageBuilder;
using ::testing::ElementsAre;

namespace {

const std::string kConsistency = "Data consistency check failed while processing file:\n  ";
const std::vector<std::string> kStartOk = {"W 55 55 55 01 66 66", "R6=6"};

class Transfer : public ::testing::Test {
protected:
    // Runs the engine; returns "" on success, else the exception's message
    // prefixed with "Upd: " or "FT: ".
    std::string Run(const PackageBuilder& package)
    {
        package.WriteTo(path);
        return Run();
    }
    std::string Run()
    {
        UpdateTransfer transfer(link, nullptr, file, path, [this](const std::string& text) {
            statuses.push_back(text);
            link.log.push_back("S:" + text);
        });
        try {
            transfer.Run();
        } catch (const Upd_Exception& e) {
            return "Upd: " + e.Message();
        } catch (const FT_Exception& e) {
            return "FT: " + e.Message();
        }
        return {};
    }

    // The log from the first write on, without the validation part.
    std::vector<std::string> Traffic() const
    {
        auto first = std::find_if(link.log.begin(), link.log.end(), [](const std::string& s) { return s[0] == 'W'; });
        return {first, link.log.end()};
    }

    pkgtest::TempDir dir;
    std::string path = dir.File("fw.pk1");
    PackageFile file;
    pkgtest::ScriptedLink link;
    std::vector<std::string> statuses;
};

} // namespace

TEST(TransferTexts, RowsAreFortyCharacters)
{
    EXPECT_EQ(ProgressText(100), "    FIRMWARE UPDATE IN PROGRESS:100%    ");
    EXPECT_EQ(ProgressText(33), "    FIRMWARE UPDATE IN PROGRESS: 33%    ");
    EXPECT_EQ(ProgressText(0), "    FIRMWARE UPDATE IN PROGRESS:  0%    ");
    for (const std::string text : {kStatusValidating, kStatusStarting, kStatusUpdated})
        EXPECT_EQ(text.size(), 40u) << text;
    EXPECT_EQ(std::string(kStatusFailed), "             PROCESS FAILED.            \n"
                                          "       FIRMWARE UPDATE ABORTED...       ");
    EXPECT_EQ(std::string(kStatusInterrupted), "          PROCESS INTERRUPTED.          \n"
                                               "       FIRMWARE UPDATE ABORTED...       ");
}

TEST_F(Transfer, OneBlockExactWritesReadsAndReports)
{
    link.input = {0x01, 0x02, 0x03}; // stale bytes for the first drain
    ASSERT_EQ(Run(PackageBuilder().AddBlock(0x40, 0xFF)), "");
    EXPECT_THAT(link.log,
                ElementsAre("S:    PACKAGE VALIDATION IN PROGRESS...   ", "R512=3", "R512=0",
                            "S:       STARTING FIRMWARE UPDATE...      ", "W 55 55 55 01 66 66", "R6=6",
                            "W 55 55 55 02 C0", "W 40", "W 00", "R6=6", "W 55 55 55 00", "W <4096 bytes>", "W 00",
                            "R9=9", "S:    FIRMWARE UPDATE IN PROGRESS:100%    ", "W 55 55 55 01 CF CF", "R9=9",
                            "S:    FIRMWARE SUCCESSFULLY UPDATED...    ", "W 55 55 55 01 67 67"));
    EXPECT_EQ(link.writes[5], Bytes(4096, 0xFF));
}

TEST_F(Transfer, ThreeBlocksInFileOrderWithTheirCheckBytes)
{
    PackageBuilder package;
    package.AddPatternBlock(0x00, 1).AddPatternBlock(0xFE, 2).AddPatternBlock(0x40, 3);
    ASSERT_EQ(Run(package), "");
    EXPECT_THAT(statuses, ElementsAre(kStatusValidating, kStatusStarting, ProgressText(33), ProgressText(66),
                                      ProgressText(99), kStatusUpdated));
    EXPECT_THAT(link.headerTags, ElementsAre(0x00, 0xFE, 0x40));
    for (int i = 0; i < 3; ++i) {
        const auto& block = package.Blocks()[i];
        const std::size_t at = 1 + 6 * i; // start code, then 6 writes per block
        EXPECT_EQ(link.writes[at + 2], Bytes{static_cast<std::uint8_t>(0xC0 + block.tag)});
        EXPECT_EQ(link.writes[at + 4], block.data);
        EXPECT_EQ(link.writes[at + 5], Bytes{static_cast<std::uint8_t>(block.checksum)});
    }
    EXPECT_EQ(link.writes[3], Bytes{0xC0});  // tag 0x00
    EXPECT_EQ(link.writes[15], Bytes{0x00}); // tag 0x40
    EXPECT_EQ(link.TotalEchoed(), package.StoredTotal());
}

TEST_F(Transfer, AnswersSplitOverReadsAndIgnoredReplyBytes)
{
    link.maxPerRead = 1;
    link.dataReply = [](int, std::uint32_t sum) { return pkgtest::ChecksumReply(sum, 0xA7); };
    EXPECT_EQ(Run(PackageBuilder().AddPatternBlock(7, 7)), "");
    // Each read asks only for the bytes still missing.
    const auto traffic = Traffic();
    const auto ack = std::find(traffic.begin(), traffic.end(), "W 55 55 55 01 66 66");
    EXPECT_THAT(std::vector<std::string>(ack + 1, ack + 7),
                ElementsAre("R6=1", "R5=1", "R4=1", "R3=1", "R2=1", "R1=1"));
}

TEST_F(Transfer, SilentAmplifierFailsTheHandshakeAfterTenAttempts)
{
    link.startReply = [](int) { return Bytes{}; };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(1, 1)), "Upd: " + kConsistency + path);
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i)
        expected.insert(expected.end(), {"W 55 55 55 01 66 66", "R6=0", "R512=0"});
    EXPECT_EQ(Traffic(), expected);
    EXPECT_EQ(statuses.back(), kStatusStarting);
}

TEST_F(Transfer, HandshakeSucceedsOnTheTenthAttempt)
{
    link.startReply = [](int n) { return n == 9 ? pkgtest::AckFrame() : Bytes{0x55, 0x55, 0x55, 0x01, 0x15, 0x15}; };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(1, 1)), "");
    EXPECT_EQ(link.StartsReceived(), 10);
}

TEST_F(Transfer, WrongEchoRepeatsOnlyTheDataFrameThreeTimes)
{
    link.dataReply = [](int, std::uint32_t sum) { return pkgtest::ChecksumReply(sum + 1); };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(0x40, 2).AddBlock(0x41, 3)), "Upd: " + kConsistency + path);
    std::vector<std::string> expected = kStartOk;
    expected.insert(expected.end(), {"W 55 55 55 02 C0", "W 40", "W 00", "R6=6"});
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), {"W 55 55 55 00", "W <4096 bytes>", "W 00", "R9=9", "R512=0"});
    EXPECT_EQ(Traffic(), expected);
    EXPECT_THAT(statuses, ElementsAre(kStatusValidating, kStatusStarting));
}

TEST_F(Transfer, RetriedStepsRecoverAndAShortReplyIsAFailedAttempt)
{
    link.headerReply = [](int n) { return n == 0 ? Bytes{} : pkgtest::AckFrame(); };
    link.dataReply = [](int n, std::uint32_t sum) {
        auto reply = pkgtest::ChecksumReply(sum);
        if (n < 2)
            reply.resize(8);
        return reply;
    };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(5, 5)), "");
    const auto traffic = Traffic();
    EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "W 55 55 55 02 C0"), 2);
    EXPECT_EQ(std::count(traffic.begin(), traffic.end(), "W 55 55 55 00"), 3);
    EXPECT_EQ(statuses.back(), kStatusUpdated);
}

TEST_F(Transfer, HeaderNeverAcknowledgedFailsAfterThreeAttempts)
{
    link.headerReply = [](int) { return Bytes{}; };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(5, 5)), "Upd: " + kConsistency + path);
    std::vector<std::string> expected = kStartOk;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), {"W 55 55 55 02 C0", "W 05", "W C5", "R6=0", "R512=0"});
    EXPECT_EQ(Traffic(), expected);
}

TEST_F(Transfer, WrongTotalGetsOneAttemptWithoutDrain)
{
    link.endReply = [](std::uint32_t total) { return pkgtest::ChecksumReply(total ^ 0x100); };
    EXPECT_EQ(Run(PackageBuilder().AddBlock(5, 5)), "Upd: " + kConsistency + path);
    const auto traffic = Traffic();
    EXPECT_THAT(std::vector<std::string>(traffic.end() - 3, traffic.end()),
                ElementsAre("S:    FIRMWARE UPDATE IN PROGRESS:100%    ", "W 55 55 55 01 CF CF", "R9=9"));
}

TEST_F(Transfer, RejectedPackagesNeverReachTheAmplifier)
{
    EXPECT_EQ(Run(PackageBuilder().Magic(".pk1").AddBlock(1, 1)),
              "Upd: Authentication failed while processing file:\n  " + path);
    EXPECT_TRUE(link.writes.empty());
    // Without blocks there is nothing to transfer.
    EXPECT_EQ(Run(PackageBuilder()), "Upd: " + kConsistency + path);
    EXPECT_TRUE(link.writes.empty());
    EXPECT_THAT(statuses, ElementsAre(kStatusValidating, kStatusValidating));
    EXPECT_TRUE(file.IsOpen()); // the caller's cleanup closes it
}

TEST_F(Transfer, EveryCheckedWriteCarriesItsLocation)
{
    PackageBuilder().AddBlock(1, 1).WriteTo(path);
    // Write calls of a one-block update in order; the start code's status is ignored.
    const int locations[] = {0, 1583, 1584, 1585, 1611, 1612, 1613, 1648, 1669};
    for (int i = 0; i < 9; ++i) {
        link = pkgtest::ScriptedLink();
        link.failWriteAt = i;
        link.failStatus = FT_IO_ERROR;
        const std::string outcome = Run();
        if (locations[i] == 0)
            EXPECT_EQ(outcome, ""); // no ACK that time; the second attempt goes through
        else
            EXPECT_EQ(outcome, "FT: FATAL ERROR ON USB LINK...  #[" + std::to_string(locations[i]) + "]");
    }
}

TEST_F(Transfer, EveryReadCarriesItsLocation)
{
    PackageBuilder().AddBlock(1, 1).WriteTo(path);
    // Reads of a one-block update: drain, ACK, ACK, checksum reply, total.
    const int locations[] = {1809, 1745, 1745, 1781, 1781};
    for (int i = 0; i < 5; ++i) {
        link = pkgtest::ScriptedLink();
        link.failReadAt = i;
        link.failStatus = FT_DEVICE_NOT_FOUND;
        EXPECT_EQ(Run(), "FT: USB DEVICE NOT FOUND...  #[" + std::to_string(locations[i]) + "]");
    }
    // The first drain fails before the package is even opened.
    link = pkgtest::ScriptedLink();
    link.failReadAt = 0;
    file.Close();
    EXPECT_EQ(Run(), "FT: FATAL ERROR ON USB LINK...  #[1809]");
    EXPECT_FALSE(file.IsOpen());
}
