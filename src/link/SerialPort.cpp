#include "link/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace serial {

namespace {

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

FT_STATUS OpenFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return FT_DEVICE_NOT_FOUND;
    default: // EBUSY (another program holds it), EACCES (no permission) ...
        return FT_DEVICE_NOT_OPENED;
    }
}

// A port whose driver has no modem lines (a pseudo-terminal) refuses the
// line ioctls with one of these; anything else means the device failed.
bool IsUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP;
}

void MakeRaw(termios& t)
{
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // HUPCL off: closing the port leaves DTR and RTS where they are, so that a
    // close never moves the amplifier's power-on lines.
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | HUPCL);
#ifdef CRTSCTS
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
#ifdef CMSPAR
    t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    // With O_NONBLOCK, VMIN 1 makes "no data" read as EAGAIN, so that a read
    // of 0 bytes can only mean a hung-up device.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

// Asks the driver to hand over received bytes at once instead of collecting
// them (the FTDI driver then sets the chip's latency timer to 1 ms), and reads
// the setting back: 1 on, 0 refused, -1 no such setting. Drivers without it,
// pseudo-terminals among them, refuse the request; that is fine.
int AskLowLatency(int fd)
{
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
        return -1;
    if (!(info.flags & ASYNC_LOW_LATENCY)) {
        info.flags |= ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &info);
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0)
            return -1;
    }
    return (info.flags & ASYNC_LOW_LATENCY) ? 1 : 0;
#else
    (void)fd;
    return -1;
#endif
}

bool SpeedOf(ULONG baudRate, speed_t* speed)
{
    static const std::pair<ULONG, speed_t> kSpeeds[] = {
        {300, B300},         {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},     {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
        {460800, B460800},
#endif
#ifdef B921600
        {921600, B921600},
#endif
#ifdef B1000000
        {1000000, B1000000},
#endif
#ifdef B2000000
        {2000000, B2000000},
#endif
#ifdef B3000000
        {3000000, B3000000},
#endif
    };
    for (const auto& [rate, value] : kSpeeds) {
        if (rate == baudRate) {
            *speed = value;
            return true;
        }
    }
    return false;
}

// Opening a tty raises DTR and RTS; drop RTS at once so that the amplifier
// sees the resting state (DTR set, RTS clear) and never anything like its
// power-on pulse. A port without modem lines refuses, which is no failure.
void RestLines(int fd)
{
    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &dtr);
    (void)::ioctl(fd, TIOCMBIC, &rts);
}

void CloseQuietly(int fd)
{
    if (fd >= 0)
        (void)::close(fd);
}

} // namespace

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& device, FT_STATUS* status)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *status = OpenFailure(errno);
        return nullptr;
    }
    // Another program of ours, or any program that locks its ports, has it.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        CloseQuietly(fd);
        *status = FT_DEVICE_NOT_OPENED;
        return nullptr;
    }
    RestLines(fd);
    (void)::ioctl(fd, TIOCEXCL); // further opens fail with EBUSY

    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        CloseQuietly(fd);
        *status = FT_DEVICE_NOT_OPENED;
        return nullptr;
    }
    MakeRaw(t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        CloseQuietly(fd);
        *status = FT_DEVICE_NOT_OPENED;
        return nullptr;
    }
    (void)AskLowLatency(fd);
    (void)::tcflush(fd, TCIOFLUSH); // nothing from before the open

    int wake[2];
    if (::pipe(wake) != 0) {
        CloseQuietly(fd);
        *status = FT_INSUFFICIENT_RESOURCES;
        return nullptr;
    }
    for (int end : wake) {
        (void)::fcntl(end, F_SETFD, FD_CLOEXEC);
        (void)::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    *status = FT_OK;
    return std::unique_ptr<SerialPort>(new SerialPort(device, fd, wake[0], wake[1]));
}

bool SerialPort::InUseElsewhere(const std::string& device)
{
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!locked)
        RestLines(fd);
    CloseQuietly(fd);
    return locked;
}

SerialPort::SerialPort(std::string device, int fd, int wakeRead, int wakeWrite)
    : device_(std::move(device)), fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite)
{
}

SerialPort::~SerialPort()
{
    (void)::ioctl(fd_, TIOCNXCL);
    CloseQuietly(fd_); // releases the lock too
    CloseQuietly(wakeRead_);
    CloseQuietly(wakeWrite_);
}

void SerialPort::Shutdown()
{
    shutdown_ = true;
    // The byte stays in the pipe, so every later poll() wakes at once as well.
    const char byte = 1;
    (void)!::write(wakeWrite_, &byte, 1);
}

FT_STATUS SerialPort::WaitFor(short events, long long deadlineMs, bool* timedOut, bool* hangup)
{
    *timedOut = false;
    for (;;) {
        if (shutdown_)
            return FT_INVALID_HANDLE;
        const long long left = deadlineMs - NowMs();
        pollfd fds[2] = {{fd_, events, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return FT_IO_ERROR;
        }
        if (shutdown_ || (fds[1].revents & POLLIN))
            return FT_INVALID_HANDLE;
        if (fds[0].revents & POLLNVAL)
            return FT_IO_ERROR;
        // A hung-up device: let the caller try once more, so that bytes that
        // arrived before the hang-up are still delivered.
        if (fds[0].revents & (POLLHUP | POLLERR))
            *hangup = true;
        if (ready == 0)
            *timedOut = true;
        return FT_OK;
    }
}

FT_STATUS SerialPort::Read(void* buffer, DWORD count, DWORD* got)
{
    *got = 0;
    std::lock_guard<std::mutex> lock(readMutex_);
    if (shutdown_)
        return FT_INVALID_HANDLE;
    auto* out = static_cast<unsigned char*>(buffer);
    const long long deadline = NowMs() + readTimeoutMs_.load();
    bool hangup = false;
    while (*got < count) {
        const ssize_t n = ::read(fd_, out + *got, count - *got);
        if (n > 0) {
            *got += static_cast<DWORD>(n);
            continue;
        }
        if (n == 0)
            return FT_IO_ERROR; // end of file: the tty was hung up
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || hangup)
            return FT_IO_ERROR;
        bool timedOut = false;
        if (const FT_STATUS status = WaitFor(POLLIN, deadline, &timedOut, &hangup); status != FT_OK)
            return status;
        if (timedOut && !hangup)
            break;
    }
    return FT_OK;
}

FT_STATUS SerialPort::Write(const void* buffer, DWORD count, DWORD* written)
{
    *written = 0;
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (shutdown_)
        return FT_INVALID_HANDLE;
    const auto* in = static_cast<const unsigned char*>(buffer);
    const long long deadline = NowMs() + writeTimeoutMs_.load();
    bool hangup = false;
    while (*written < count) {
        const ssize_t n = ::write(fd_, in + *written, count - *written);
        if (n > 0) {
            *written += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || hangup)
            return FT_IO_ERROR;
        bool timedOut = false;
        if (const FT_STATUS status = WaitFor(POLLOUT, deadline, &timedOut, &hangup); status != FT_OK)
            return status;
        if (timedOut && !hangup)
            break;
    }
    return FT_OK;
}

FT_STATUS SerialPort::Purge(ULONG mask)
{
    if (shutdown_)
        return FT_INVALID_HANDLE;
    const bool rx = mask & FT_PURGE_RX, tx = mask & FT_PURGE_TX;
    if (!rx && !tx)
        return FT_OK;
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(fd_, which) == 0 ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SerialPort::ChangeTermios(const std::function<FT_STATUS(termios&)>& change)
{
    if (shutdown_)
        return FT_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(configMutex_);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return FT_IO_ERROR;
    if (const FT_STATUS status = change(t); status != FT_OK)
        return status;
    // The values are checked before they get here: a refusal means the port
    // cannot do them (glibc reports a driver that quietly kept its own
    // character size or parity this way too).
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        return errno == EINVAL ? FT_NOT_SUPPORTED : FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS SerialPort::SetBaudRate(ULONG baudRate)
{
    speed_t speed{};
    if (!SpeedOf(baudRate, &speed))
        return FT_INVALID_BAUD_RATE;
    const FT_STATUS status = ChangeTermios([speed](termios& t) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        return FT_OK;
    });
    if (status != FT_OK)
        return status == FT_NOT_SUPPORTED ? FT_INVALID_BAUD_RATE : status;
    // tcsetattr() succeeds when any part of the change took; check the rate did.
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return FT_IO_ERROR;
    return cfgetospeed(&t) == speed ? FT_OK : FT_INVALID_BAUD_RATE;
}

FT_STATUS SerialPort::SetDataCharacteristics(UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    constexpr UCHAR kStopBits2 = 2;
    enum : UCHAR { kNone, kOdd, kEven, kMark, kSpace };
    if (wordLength != 7 && wordLength != 8)
        return FT_INVALID_PARAMETER;
    if (stopBits != FT_STOP_BITS_1 && stopBits != kStopBits2)
        return FT_INVALID_PARAMETER;
#ifndef CMSPAR
    if (parity == kMark || parity == kSpace)
        return FT_NOT_SUPPORTED;
#endif
    if (parity > kSpace)
        return FT_INVALID_PARAMETER;
    tcflag_t mask = CSIZE | CSTOPB | PARENB | PARODD;
#ifdef CMSPAR
    mask |= CMSPAR;
#endif
    tcflag_t bits = wordLength == 7 ? CS7 : CS8;
    if (stopBits == kStopBits2)
        bits |= CSTOPB;
    if (parity != kNone)
        bits |= PARENB;
    if (parity == kOdd || parity == kMark)
        bits |= PARODD;
#ifdef CMSPAR
    if (parity == kMark || parity == kSpace)
        bits |= CMSPAR;
#endif
    const FT_STATUS status = ChangeTermios([=](termios& t) {
        t.c_cflag = (t.c_cflag & ~mask) | bits;
        return FT_OK;
    });
    if (status != FT_OK)
        return status;
    // Drivers put what they cannot do back to what they can (a
    // pseudo-terminal is always 8 bits without parity); say so where the C
    // library has not already.
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return FT_IO_ERROR;
    return (t.c_cflag & mask) == bits ? FT_OK : FT_NOT_SUPPORTED;
}

FT_STATUS SerialPort::SetFlowControl(USHORT flowControl, UCHAR xonChar, UCHAR xoffChar)
{
    constexpr USHORT kRtsCts = 0x0100, kDtrDsr = 0x0200, kXonXoff = 0x0400;
    if (flowControl == kDtrDsr)
        return FT_NOT_SUPPORTED; // termios has no DTR/DSR handshake
    if (flowControl != FT_FLOW_NONE && flowControl != kRtsCts && flowControl != kXonXoff)
        return FT_INVALID_PARAMETER;
#ifndef CRTSCTS
    if (flowControl == kRtsCts)
        return FT_NOT_SUPPORTED;
#endif
    return ChangeTermios([=](termios& t) {
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
#ifdef CRTSCTS
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        if (flowControl == kRtsCts)
            t.c_cflag |= CRTSCTS;
#endif
        if (flowControl == kXonXoff) {
            t.c_iflag |= IXON | IXOFF;
            t.c_cc[VSTART] = static_cast<cc_t>(xonChar);
            t.c_cc[VSTOP] = static_cast<cc_t>(xoffChar);
        }
        return FT_OK;
    });
}

void SerialPort::SetTimeouts(ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    readTimeoutMs_ = readTimeoutMs;
    writeTimeoutMs_ = writeTimeoutMs;
}

FT_STATUS SerialPort::SetLine(Line line, bool on)
{
    if (shutdown_)
        return FT_INVALID_HANDLE;
    int bits = line == Line::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return FT_OK;
    return IsUnsupported(errno) ? FT_OTHER_ERROR : FT_IO_ERROR;
}

} // namespace serial

namespace serial {

int SerialPort::RequestLowLatency()
{
    if (shutdown_)
        return -1;
    std::lock_guard<std::mutex> lock(configMutex_);
    return AskLowLatency(fd_);
}

} // namespace serial
