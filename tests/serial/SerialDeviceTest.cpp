// Choosing and opening a port, the device list, the port settings and the
// modem lines of the serial backend, on pseudo-terminals.
#include "PtyPair.h"

#include "link/SerialDriver.h"

#include <gtest/gtest.h>

#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace {

class SerialDevices : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (FT_HANDLE h : opened)
            driver.FT_Close(h);
    }

    FT_HANDLE Open(int index)
    {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(driver.FT_Open(index, &h), FT_OK);
        opened.push_back(h);
        return h;
    }

    // Which pty a handle talks to: the byte written shows up at its master.
    bool TalksTo(FT_HANDLE h, PtyPair& pty, std::uint8_t mark)
    {
        DWORD written = 0;
        return driver.FT_Write(h, &mark, 1, &written) == FT_OK && pty.Receive(1) == std::vector<std::uint8_t>{mark};
    }

    PtyPair a, b;
    std::string longSerial = "AV-0123456789-0123456789-0123456789";
    SerialDriver driver{[this] {
        return std::vector<serial::SerialPortInfo>{a.Info("AV000001", "FT232R USB UART"), b.Info(longSerial, "Amp B")};
    }};
    std::vector<FT_HANDLE> opened;
};

// A descriptor of the test's own on a pty slave, for looking at its settings
// or holding a lock on it.
class SlaveFd {
public:
    explicit SlaveFd(const std::string& name) : fd_(::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~SlaveFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    termios Settings() const
    {
        termios t{};
        EXPECT_EQ(::tcgetattr(fd_, &t), 0);
        return t;
    }

private:
    int fd_;
};

TEST_F(SerialDevices, OpenByIndexSerialNumberOrDescription)
{
    EXPECT_TRUE(TalksTo(Open(0), a, 'a'));

    FT_HANDLE h = nullptr;
    ASSERT_EQ(driver.FT_OpenEx(longSerial.c_str(), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    opened.push_back(h);
    EXPECT_TRUE(TalksTo(h, b, 'b'));
    ASSERT_EQ(driver.FT_Close(h), FT_OK);
    ASSERT_EQ(driver.FT_OpenEx("Amp B", FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    opened.push_back(h);
    EXPECT_TRUE(TalksTo(h, b, 'B'));
}

TEST_F(SerialDevices, OpenFailures)
{
    FT_HANDLE h = nullptr;
    EXPECT_EQ(driver.FT_Open(2, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_Open(-1, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_OpenEx("AV999999", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_OpenEx("AV00000", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND) << "no prefix match";
    EXPECT_EQ(driver.FT_OpenEx("", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_OpenEx("AV000001", 0, &h), FT_INVALID_PARAMETER);

    // A port already open, by us or by another program that locks it.
    Open(0);
    EXPECT_EQ(driver.FT_OpenEx("AV000001", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_OPENED);
    SlaveFd other(b.SlaveName());
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(driver.FT_Open(1, &h), FT_DEVICE_NOT_OPENED);

    SerialDriver empty{[] { return std::vector<serial::SerialPortInfo>{}; }};
    EXPECT_EQ(empty.FT_Open(0, &h), FT_DEVICE_NOT_FOUND);
}

TEST_F(SerialDevices, DeviceListGivesSerialNumbersAndWhichPortsAreTaken)
{
    DWORD count = 0;
    ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 2u);

    DWORD flags = 77, type = 0, id = 0, loc = 0;
    char serialNo[FT_SERIAL_BUFFER];
    char description[FT_DESCRIPTION_BUFFER];
    FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1);
    std::memset(serialNo, 0x7F, sizeof serialNo);
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_STREQ(serialNo, "AV000001");
    EXPECT_STREQ(description, "FT232R USB UART");
    EXPECT_EQ(id, 0x04036001u);
    EXPECT_EQ(h, nullptr);

    // Too long for the 32-byte buffer: cut, and still terminated inside it.
    std::memset(serialNo, 0x7F, sizeof serialNo);
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(1, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
    EXPECT_EQ(serialNo[FT_SERIAL_BUFFER - 1], '\0');
    EXPECT_EQ(std::string(serialNo), longSerial.substr(0, FT_SERIAL_BUFFER - 1));

    const FT_HANDLE mine = Open(0);
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
    EXPECT_EQ(flags, FT_FLAGS_OPENED);
    EXPECT_EQ(h, mine);

    SlaveFd other(b.SlaveName());
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(1, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
    EXPECT_EQ(flags, FT_FLAGS_OPENED);
    EXPECT_EQ(h, nullptr);

    EXPECT_NE(driver.FT_GetDeviceInfoDetail(2, &flags, &type, &id, &loc, serialNo, description, &h), FT_OK);
}

TEST_F(SerialDevices, PortIsRaw115200EightNoneOneWithoutFlowControl)
{
    SlaveFd look(a.SlaveName()); // opened first: the port is exclusive afterwards
    const FT_HANDLE h = Open(0);
    termios t = look.Settings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    // The configuration calls the program makes, and a few it does not.
    EXPECT_EQ(driver.FT_SetBaudRate(h, 9600), FT_OK);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 8, 2, 0), FT_OK);
    EXPECT_EQ(driver.FT_SetFlowControl(h, 0x0400, 0x11, 0x13), FT_OK);
    t = look.Settings();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB), static_cast<tcflag_t>(CS8 | CSTOPB));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    EXPECT_EQ(driver.FT_SetBaudRate(h, 115200), FT_OK);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(driver.FT_SetFlowControl(h, FT_FLOW_NONE, 0, 0), FT_OK);
    t = look.Settings();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    // A pseudo-terminal is always eight bits without parity: refused, not
    // pretended.
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 7, 0, 2), FT_NOT_SUPPORTED);
    EXPECT_EQ(driver.FT_SetBaudRate(h, 12345), FT_INVALID_BAUD_RATE);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_SetDataCharacteristics(h, 8, 1, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_SetFlowControl(h, 0x0800, 0, 0), FT_INVALID_PARAMETER);
    t = look.Settings();
    EXPECT_EQ(cfgetospeed(&t), B115200) << "a refused setting changes nothing";

    // What the link configuration does besides: all accepted.
    EXPECT_EQ(driver.FT_SetResetPipeRetryCount(h, 10000), FT_OK);
    EXPECT_EQ(driver.FT_ResetDevice(h), FT_OK);
    EXPECT_EQ(driver.FT_SetTimeouts(h, 1200, 1200), FT_OK);
}

TEST_F(SerialDevices, ModemLinesOfAPortWithoutThemAreReportedAsErrors)
{
    // A pseudo-terminal has no DTR or RTS: saying otherwise would let a
    // power-on "succeed" that never reached the amplifier.
    const FT_HANDLE h = Open(0);
    for (const FT_STATUS status :
         {driver.FT_SetDtr(h), driver.FT_ClrDtr(h), driver.FT_SetRts(h), driver.FT_ClrRts(h)}) {
        EXPECT_TRUE(status == FT_OTHER_ERROR || status == FT_IO_ERROR) << "status " << status;
    }
}

} // namespace
