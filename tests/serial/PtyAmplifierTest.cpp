// End to end over a real tty: the simulated amplifier runs in its own process
// behind a pseudo-terminal, and the program's poll transaction and command
// frames reach it through the serial backend.
#include "link/SerialDriver.h"
#include "protocol/Frames.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cstdint>

namespace {

class PtyAmplifier : public ::testing::Test {
protected:
    void SetUp() override
    {
        bridge.start(VORLINQ_PTY_AMPLIFIER, {});
        ASSERT_TRUE(bridge.waitForStarted(10000)) << bridge.errorString().toStdString();
        ASSERT_TRUE(WaitForLine(10000)) << "no tty name from the amplifier";
        slave = bridge.readLine().trimmed().toStdString();
        ASSERT_FALSE(slave.empty());
    }

    void TearDown() override
    {
        if (handle)
            driver.FT_Close(handle);
        bridge.closeWriteChannel(); // the amplifier ends with its standard input
        if (!bridge.waitForFinished(5000))
            bridge.kill();
    }

    bool WaitForLine(int timeoutMs)
    {
        while (!bridge.canReadLine()) {
            if (!bridge.waitForReadyRead(timeoutMs))
                return false;
        }
        return true;
    }

    QProcess bridge;
    std::string slave;
    SerialDriver driver{[this] {
        serial::SerialPortInfo info;
        info.device = slave;
        info.serial = "AVPTY001";
        info.vendorId = serial::kFtdiVendorId;
        return std::vector<serial::SerialPortInfo>{info};
    }};
    FT_HANDLE handle = nullptr;
};

TEST_F(PtyAmplifier, PollGetsADisplayFrameAndKeysReachTheAmplifier)
{
    ASSERT_EQ(driver.FT_OpenEx("AVPTY001", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    ASSERT_EQ(driver.FT_SetBaudRate(handle, 115200), FT_OK);
    ASSERT_EQ(driver.FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(driver.FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0), FT_OK);
    // Longer than the program's own 1.2 s: the amplifier is another process,
    // and a busy machine may keep it from answering at once.
    ASSERT_EQ(driver.FT_SetTimeouts(handle, 5000, 5000), FT_OK);

    std::uint8_t rx[protocol::kReceiveBufferSize] = {};
    std::uint8_t lamp = 0;
    int payload = 0;
    for (int poll = 0; poll < 3; ++poll) {
        ASSERT_EQ(protocol::PollOnce(driver, handle, rx, lamp, &payload), protocol::FrameOutcome::Valid)
            << "poll " << poll;
        EXPECT_EQ(payload, protocol::kFullPayload);
        EXPECT_EQ(lamp & 0x01, 0) << "the ON lamp is lit (0 bit)";
    }

    protocol::SendCommand(driver, handle, 0x04); // ANT
    ASSERT_TRUE(WaitForLine(10000)) << "the amplifier reported no key";
    EXPECT_EQ(bridge.readLine().trimmed().toStdString(), "key 4");

    // The link goes on after the command.
    EXPECT_EQ(protocol::PollOnce(driver, handle, rx, lamp, &payload), protocol::FrameOutcome::Valid);
}

} // namespace
