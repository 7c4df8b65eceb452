// The transfer engine against the simulated amplifier's firmware receiver, on
// an instant clock: every read time-out passes in simulated time.

#include "PackageBuilder.h"

#include "protocol/Frames.h"
#include "sim/SimDriver.h"
#include "update/CheckPackage.h"
#include "update/Transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

using namespace update;
using pkgtest::PackageBuilder;

namespace {

const std::string kConsistency = "Data consistency check failed while processing file:\n  ";

class TransferSim : public ::testing::Test {
protected:
    void SetUp() override
    {
        package.AddPatternBlock(0x00, 1).AddBlock(0x40, 0xFF).AddPatternBlock(0xFE, 3);
        package.WriteTo(path);
        NewAmplifier();
    }
    // A fresh simulated amplifier, opened with the update time-outs and told
    // that an update is coming, as the update action leaves it.
    void NewAmplifier()
    {
        driver = std::make_unique<sim::SimDriver>(sim::SimOptions{.clock = &clock});
        ASSERT_EQ(driver->FT_Open(0, &handle), FT_OK);
        ASSERT_EQ(driver->FT_SetTimeouts(handle, 3000, 3000), FT_OK);
        protocol::SendCommand(*driver, handle, protocol::kUpdateAnnounceCode);
        statuses.clear();
    }

    // "" on success, else the package error's message.
    std::string Run()
    {
        UpdateTransfer transfer(*driver, handle, file, path,
                                [this](const std::string& text) { statuses.push_back(text); });
        startMs = clock.NowMs();
        try {
            transfer.Run();
        } catch (const Upd_Exception& e) {
            return e.Message();
        }
        return {};
    }
    void Inject(sim::UpdateFault fault, int block = 0)
    {
        auto lock = driver->Lock();
        driver->Device().InjectUpdateFault(fault, block);
    }
    std::int64_t ElapsedMs() const { return clock.NowMs() - startMs; }
    int Progress() const
    {
        return static_cast<int>(std::count_if(statuses.begin(), statuses.end(), [](const std::string& s) {
            return s.find("IN PROGRESS:") != std::string::npos;
        }));
    }

    InstantClock clock;
    std::unique_ptr<sim::SimDriver> driver;
    FT_HANDLE handle = nullptr;
    pkgtest::TempDir dir;
    std::string path = dir.File("fw.pk1");
    PackageBuilder package;
    PackageFile file;
    std::vector<std::string> statuses;
    std::int64_t startMs = 0;
};

} // namespace

TEST_F(TransferSim, WholePackageArrivesAndCompletes)
{
    ASSERT_EQ(Run(), "");
    EXPECT_EQ(statuses.back(), kStatusUpdated);
    EXPECT_EQ(Progress(), 3);
    auto lock = driver->Lock();
    const auto& image = driver->Device().ReceivedImage();
    ASSERT_EQ(image.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(image[i].tag, package.Blocks()[i].tag);
        EXPECT_EQ(image[i].data, package.Blocks()[i].data);
    }
    EXPECT_TRUE(driver->Device().UpdateCompleted());
}

TEST_F(TransferSim, CheckPackageRefusesAPackageWithoutBlocksJustAsTheUpdateDoes)
{
    PackageBuilder().WriteTo(path);
    const std::string refused = Run();
    EXPECT_EQ(refused, kConsistency + path);
    std::ostringstream out, err;
    EXPECT_EQ(CheckPackageCommand(path, out, err), 1);
    EXPECT_EQ(err.str(), refused + "\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(TransferSim, SingleLostAnswersAreRetried)
{
    Inject(sim::UpdateFault::DropAckOnceAtBlock, 1);
    EXPECT_EQ(Run(), "");
    NewAmplifier();
    Inject(sim::UpdateFault::WrongEchoOnceAtBlock, 2);
    EXPECT_EQ(Run(), "");
}

TEST_F(TransferSim, SilentAmplifierFailsTheStartAfterAtLeastAMinute)
{
    Inject(sim::UpdateFault::NeverAckStart);
    EXPECT_EQ(Run(), kConsistency + path);
    EXPECT_GE(ElapsedMs(), 60000);
    auto lock = driver->Lock();
    const auto& codes = driver->Device().KeyCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), protocol::kUpdateStartCode), 10);
    EXPECT_TRUE(driver->Device().ReceivedImage().empty());
}

TEST_F(TransferSim, PersistentFaultsEndInTheConsistencyError)
{
    // Each fails after three attempts of one 3 s wait and one drain of at least 3 s.
    for (auto fault : {sim::UpdateFault::DropAckAtBlock, sim::UpdateFault::WrongEchoAtBlock,
                       sim::UpdateFault::SilentFromBlock, sim::UpdateFault::ShortReplyAtBlock}) {
        NewAmplifier();
        Inject(fault, 1);
        EXPECT_EQ(Run(), kConsistency + path) << static_cast<int>(fault);
        EXPECT_EQ(Progress(), 1) << static_cast<int>(fault);
        if (fault != sim::UpdateFault::WrongEchoAtBlock) {
            EXPECT_GE(ElapsedMs(), 18000) << static_cast<int>(fault);
        }
    }
}

TEST_F(TransferSim, WrongTotalIsNotCompleted)
{
    Inject(sim::UpdateFault::WrongTotal);
    EXPECT_EQ(Run(), kConsistency + path);
    EXPECT_EQ(Progress(), 3);
    auto lock = driver->Lock();
    EXPECT_FALSE(driver->Device().UpdateCompleted());
    const auto written = driver->Written();
    const std::vector<std::uint8_t> complete = {0x55, 0x55, 0x55, 0x01, 0x67, 0x67};
    EXPECT_EQ(std::search(written.begin(), written.end(), complete.begin(), complete.end()), written.end());
}
