#include "update/Transfer.h"

#include "link/FtStatus.h"
#include "protocol/Frames.h"

#include <array>
#include <cstdio>
#include <memory>
#include <utility>

namespace update {

namespace {

constexpr std::uint8_t kSync = protocol::kSync;
constexpr std::uint8_t kHeaderCode = 0xC0;

// Location numbers of the checked driver calls.
constexpr int kLocHeaderStart = 1583;
constexpr int kLocHeaderTag = 1584;
constexpr int kLocHeaderCheck = 1585;
constexpr int kLocDataStart = 1611;
constexpr int kLocData = 1612;
constexpr int kLocDataCheck = 1613;
constexpr int kLocTransferEnd = 1648;
constexpr int kLocUpdateComplete = 1669;
constexpr int kLocReadAck = 1745;
constexpr int kLocReadChecksum = 1781;
constexpr int kLocDrain = 1809;

constexpr std::array<std::uint8_t, 6> kAckFrame = protocol::BuildCommandFrame(protocol::kAckCode);
constexpr std::size_t kReplySize = 9;
constexpr DWORD kDrainChunk = 512;

} // namespace

std::string ProgressText(int percent)
{
    char text[64];
    std::snprintf(text, sizeof text, "    FIRMWARE UPDATE IN PROGRESS:%3d%%    ", percent);
    return text;
}

UpdateTransfer::UpdateTransfer(FtdiDriver& driver, FT_HANDLE handle, PackageFile& file, std::string fileName,
                               ReportFn report)
    : driver_(driver), handle_(handle), file_(file), fileName_(std::move(fileName)), report_(std::move(report))
{
}

void UpdateTransfer::Run()
{
    report_(kStatusValidating);
    DrainInput();
    // A package without blocks is refused here, before the amplifier is asked to start.
    scan_ = ScanPackageForUpdate(file_, fileName_);

    report_(kStatusStarting);
    StartHandshake();

    const int step = 10000 / scan_.blockCount;
    int progress = 0;
    // One block in memory at a time; kept off the worker's stack.
    const auto block = std::make_unique<PackageBlock>();
    for (std::int32_t i = 0; i < scan_.blockCount; ++i) {
        ReadBlock(file_, fileName_, *block);
        SendBlock(*block);
        progress += step;
        report_(ProgressText(progress / 100));
    }
    Finish();
}

void UpdateTransfer::StartHandshake()
{
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        protocol::SendCommand(driver_, handle_, protocol::kUpdateStartCode);
        if (ReadAck())
            return;
        DrainInput();
    }
    Fail(true);
}

void UpdateTransfer::SendBlock(const PackageBlock& block)
{
    bool acknowledged = false;
    for (int attempt = 0; attempt < kBlockAttempts && !acknowledged; ++attempt)
        acknowledged = SendHeader(block);
    Fail(!acknowledged);

    // A failed data attempt repeats only the data frame.
    bool echoed = false;
    for (int attempt = 0; attempt < kBlockAttempts && !echoed; ++attempt)
        echoed = SendData(block);
    Fail(!echoed);
}

bool UpdateTransfer::SendHeader(const PackageBlock& block)
{
    static constexpr std::uint8_t kHead[5] = {kSync, kSync, kSync, 0x02, kHeaderCode};
    const std::uint8_t check = static_cast<std::uint8_t>(kHeaderCode + block.tag);
    Write(kHead, sizeof kHead, kLocHeaderStart);
    Write(&block.tag, 1, kLocHeaderTag);
    Write(&check, 1, kLocHeaderCheck);
    if (ReadAck())
        return true;
    DrainInput();
    return false;
}

bool UpdateTransfer::SendData(const PackageBlock& block)
{
    // The payload length of 4096 modulo 256 is 0; the check byte is the low
    // byte of the data sum.
    static constexpr std::uint8_t kHead[4] = {kSync, kSync, kSync, 0x00};
    const std::uint8_t check = static_cast<std::uint8_t>(block.checksum & 0xFF);
    Write(kHead, sizeof kHead, kLocDataStart);
    Write(block.data.data(), static_cast<DWORD>(block.data.size()), kLocData);
    Write(&check, 1, kLocDataCheck);
    if (ReadChecksumReply(block.checksum))
        return true;
    DrainInput();
    return false;
}

void UpdateTransfer::Finish()
{
    const auto end = protocol::BuildCommandFrame(protocol::kTransferEndCode);
    Write(end.data(), static_cast<DWORD>(end.size()), kLocTransferEnd);
    Fail(!ReadChecksumReply(scan_.total));

    report_(kStatusUpdated);
    const auto complete = protocol::BuildCommandFrame(protocol::kUpdateCompleteCode);
    Write(complete.data(), static_cast<DWORD>(complete.size()), kLocUpdateComplete);
}

void UpdateTransfer::Write(const void* bytes, DWORD size, int location)
{
    // The count written is not compared: a short write shows as a missing answer.
    DWORD written = 0;
    CheckFTStatus(driver_.FT_Write(handle_, bytes, size, &written), location);
}

DWORD UpdateTransfer::ReadUpTo(std::uint8_t* into, DWORD size, int location)
{
    DWORD have = 0;
    while (have < size) {
        DWORD got = 0;
        CheckFTStatus(driver_.FT_Read(handle_, into + have, size - have, &got), location);
        if (got == 0)
            break;
        have += got < size - have ? got : size - have;
    }
    return have;
}

bool UpdateTransfer::ReadAck()
{
    std::array<std::uint8_t, kAckFrame.size()> frame{};
    return ReadUpTo(frame.data(), static_cast<DWORD>(frame.size()), kLocReadAck) == frame.size() && frame == kAckFrame;
}

bool UpdateTransfer::ReadChecksumReply(std::uint32_t expected)
{
    std::array<std::uint8_t, kReplySize> reply{};
    if (ReadUpTo(reply.data(), static_cast<DWORD>(reply.size()), kLocReadChecksum) != reply.size())
        return false;
    const std::uint32_t echoed = static_cast<std::uint32_t>(reply[4]) | static_cast<std::uint32_t>(reply[5]) << 8 |
                                 static_cast<std::uint32_t>(reply[6]) << 16 |
                                 static_cast<std::uint32_t>(reply[7]) << 24;
    return echoed == expected;
}

void UpdateTransfer::DrainInput()
{
    std::array<std::uint8_t, kDrainChunk> scratch;
    for (;;) {
        DWORD got = 0;
        CheckFTStatus(driver_.FT_Read(handle_, scratch.data(), kDrainChunk, &got), kLocDrain);
        if (got == 0)
            return;
    }
}

} // namespace update
