#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: errno " << errno;
        return;
    }
    slaveName_ = ::ptsname(master_);
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0) << "write to the master failed: errno " << errno;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, int timeoutMs)
{
    std::vector<std::uint8_t> got;
    const auto start = std::chrono::steady_clock::now();
    while (got.size() < count) {
        const long long left = timeoutMs - ElapsedMs(start);
        if (left <= 0)
            break;
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) <= 0 || !(fd.revents & POLLIN))
            break;
        std::uint8_t buffer[4096];
        const std::size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(master_, buffer, want);
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

serial::SerialPortInfo PtyPair::Info(const std::string& serial, const std::string& description) const
{
    serial::SerialPortInfo info;
    info.device = slaveName_;
    info.serial = serial;
    info.description = description;
    info.vendorId = serial::kFtdiVendorId;
    info.productId = 0x6001;
    return info;
}
