#include "remote/RemoteSteps.h"

#include "link/FtStatus.h"
#include "link/LinkConfig.h"
#include "protocol/Frames.h"
#include "update/PackageBuilder.h"
#include "update/PackageFile.h"
#include "update/Transfer.h"

#include <array>
#include <exception>

namespace remotetest {

int ValidPolls(FtdiDriver& driver, FT_HANDLE handle, int count, std::vector<std::uint8_t>* payload)
{
    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx{};
    std::uint8_t lamp = 0;
    int length = 0;
    int valid = 0;
    for (int i = 0; i < count; ++i) {
        if (protocol::PollOnce(driver, handle, rx.data(), lamp, &length) != protocol::FrameOutcome::Valid)
            continue;
        ++valid;
        if (payload)
            payload->assign(rx.begin(), rx.begin() + length);
    }
    return valid;
}

std::string RunUpdate(FtdiDriver& driver, FT_HANDLE handle, int blocks, unsigned timeoutMs)
{
    pkgtest::TempDir dir;
    pkgtest::PackageBuilder builder;
    for (int b = 0; b < blocks; ++b)
        builder.AddPatternBlock(static_cast<std::uint8_t>(0x40 + b), static_cast<unsigned>(b));
    const std::string path = builder.WriteTo(dir.File("remote.pk1"));
    protocol::SendCommand(driver, handle, protocol::kUpdateAnnounceCode);
    driver.FT_SetTimeouts(handle, timeoutMs, timeoutMs);
    update::PackageFile file;
    try {
        update::UpdateTransfer(driver, handle, file, path, [](const std::string&) {}).Run();
        return {};
    } catch (const std::exception& e) {
        return e.what()[0] ? e.what() : "failed";
    }
}

std::string ConfigureError(FtdiDriver& driver, FT_HANDLE handle)
{
    try {
        ConfigureLink(driver, handle);
        return {};
    } catch (const FT_Exception& e) {
        return e.Message();
    }
}

} // namespace remotetest
