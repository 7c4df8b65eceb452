#include "link/D2xxDriver.h"
#include "link/FtStatus.h"
#include "link/LinkConfig.h"
#include "protocol/Frames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QSysInfo>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

const std::string kFakeLibrary = VORLINQ_FAKE_D2XX;
const std::string kPartialLibrary = VORLINQ_PARTIAL_D2XX;
constexpr const char* kSimSerial = "AV1A2B3C";

// Every operation of a backend, with its status; out-values that a caller
// might use without looking at the status are checked to be cleared.
void ExpectEveryOperationFails(D2xxDriver& driver)
{
    FT_HANDLE handle = nullptr;
    const auto h = reinterpret_cast<FT_HANDLE>(0x10);
    std::uint8_t buffer[8] = {};
    DWORD count = 99;
    DWORD flags = 0, type = 0, id = 0, loc = 0;
    char serial[FT_SERIAL_BUFFER] = "stale";
    char description[FT_DESCRIPTION_BUFFER] = "stale";

    EXPECT_NE(driver.FT_Open(0, &handle), FT_OK);
    EXPECT_NE(driver.FT_OpenEx(kSimSerial, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    EXPECT_NE(driver.FT_Close(h), FT_OK);
    EXPECT_NE(driver.FT_Read(h, buffer, 3, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_NE(driver.FT_Write(h, buffer, 6, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(driver.FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_NE(driver.FT_ResetDevice(h), FT_OK);
    EXPECT_NE(driver.FT_SetBaudRate(h, 115200), FT_OK);
    EXPECT_NE(driver.FT_SetDataCharacteristics(h, 8, 0, 0), FT_OK);
    EXPECT_NE(driver.FT_SetFlowControl(h, 0, 0, 0), FT_OK);
    EXPECT_NE(driver.FT_SetTimeouts(h, 1200, 1200), FT_OK);
    EXPECT_NE(driver.FT_SetDtr(h), FT_OK);
    EXPECT_NE(driver.FT_ClrDtr(h), FT_OK);
    EXPECT_NE(driver.FT_SetRts(h), FT_OK);
    EXPECT_NE(driver.FT_ClrRts(h), FT_OK);
    EXPECT_NE(driver.FT_SetResetPipeRetryCount(h, 10000), FT_OK);
    EXPECT_NE(driver.FT_CyclePort(h), FT_OK);
    count = 99;
    EXPECT_NE(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serial, description, &handle), FT_OK);
    EXPECT_STREQ(serial, "");
}

} // namespace

TEST(D2xxDriver, LoadsALibraryByPathAndListsItsDevice)
{
    D2xxDriver driver(kFakeLibrary);
    ASSERT_EQ(driver.LoadError(), "");
    EXPECT_EQ(driver.Name(), "D2XX");
    EXPECT_TRUE(D2xxDriver::Available(kFakeLibrary));

    DWORD devices = 0;
    EXPECT_EQ(driver.FT_CreateDeviceInfoList(&devices), FT_OK);
    EXPECT_EQ(devices, 1u);

    DWORD flags = 99, type = 0, id = 0, loc = 0;
    char serial[FT_SERIAL_BUFFER] = {};
    char description[FT_DESCRIPTION_BUFFER] = {};
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, &type, &id, &loc, serial, description, &handle), FT_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_STREQ(serial, kSimSerial);
}

TEST(D2xxDriver, PollsADisplayFrameEndToEnd)
{
    D2xxDriver driver(kFakeLibrary);
    ASSERT_EQ(driver.LoadError(), "");

    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_OpenEx(kSimSerial, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
    ASSERT_NE(handle, nullptr);
    ASSERT_NO_THROW(ConfigureLink(driver, handle));

    std::uint8_t rx[protocol::kReceiveBufferSize] = {};
    std::uint8_t lamp = 0;
    int length = 0;
    EXPECT_EQ(protocol::PollOnce(driver, handle, rx, lamp, &length), protocol::FrameOutcome::Valid);
    EXPECT_EQ(length, protocol::kFullPayload);

    // A key press goes out and the next poll still reads a whole frame.
    protocol::SendCommand(driver, handle, 0x04);
    EXPECT_EQ(protocol::PollOnce(driver, handle, rx, lamp, &length), protocol::FrameOutcome::Valid);
    EXPECT_EQ(length, protocol::kFullPayload);

    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
    // A second open (the first device, as Connect does without ID addressing) works after a close.
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
}

TEST(D2xxDriver, FindsTheLibraryByItsStandardNameOnTheLibraryPath)
{
    QProcess probe;
    auto environment = QProcessEnvironment::systemEnvironment();
    const QString dir = QFileInfo(QString::fromStdString(kFakeLibrary)).absolutePath();
    // Where the system looks for a library by name: on Windows, after the program's folder, PATH.
    const QString variable = QSysInfo::productType() == "windows" ? "PATH" : "LD_LIBRARY_PATH";
    const QString previous = environment.value(variable);
    environment.insert(variable, previous.isEmpty() ? QDir::toNativeSeparators(dir)
                                                    : QDir::toNativeSeparators(dir) + QDir::listSeparator() + previous);
    probe.setProcessEnvironment(environment);
    probe.start(VORLINQ_D2XX_PROBE, {});
    ASSERT_TRUE(probe.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
    EXPECT_EQ(probe.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("available: yes")) << output.toStdString();
    EXPECT_TRUE(output.contains("frame: valid, 360 payload bytes")) << output.toStdString();
}

TEST(D2xxDriver, MissingLibraryFailsCleanly)
{
    for (const std::string name : {"/nonexistent/vorlinq/libftd2xx.so", "libvorlinq-no-such-d2xx.so"}) {
        SCOPED_TRACE(name);
        D2xxDriver driver(name);
        const std::string shown = QDir::toNativeSeparators(QString::fromStdString(name)).toStdString();
        EXPECT_NE(driver.LoadError().find('"' + shown + '"'), std::string::npos) << driver.LoadError();
        EXPECT_FALSE(D2xxDriver::Available(name));
        ExpectEveryOperationFails(driver);
        try {
            ConfigureLink(driver, nullptr);
            ADD_FAILURE() << "configuration went through without a library";
        } catch (const FT_Exception& e) {
            EXPECT_EQ(e.Message(), "USB DEVICE NOT FOUND...  #[1024]");
        }
    }
}

#if defined(__linux__)
TEST(D2xxDriver, LibraryWithoutTheEntryPointsIsRejected)
{
    D2xxDriver driver("libm.so.6"); // loads fine, but is not the driver library
    EXPECT_NE(driver.LoadError().find("\"libm.so.6\" lacks FT_Open, FT_OpenEx, FT_Close"), std::string::npos)
        << driver.LoadError();
    ExpectEveryOperationFails(driver);
}
#endif

TEST(D2xxDriver, LatencyTimerIsSetLowRightAfterTheEightConfigurationSteps)
{
    D2xxDriver driver(kFakeLibrary);
    ASSERT_EQ(driver.LoadError(), "");
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
    testing::internal::CaptureStderr();
    ASSERT_NO_THROW(ConfigureLink(driver, handle));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    QLibrary fake(QString::fromStdString(kFakeLibrary)); // the instance the driver loaded
    const auto calls = reinterpret_cast<void (*)(char*, std::size_t)>(fake.resolve("FakeFtd2xxCalls"));
    ASSERT_NE(calls, nullptr);
    char log[8192];
    calls(log, sizeof log);
    const std::string expected = "FT_Open 0,FT_SetResetPipeRetryCount 10000,FT_ResetDevice 0,FT_SetBaudRate 115200,"
                                 "FT_SetDataCharacteristics 8,FT_SetFlowControl 0,FT_SetTimeouts 1200,FT_SetDtr 0,"
                                 "FT_ClrRts 0,FT_SetLatencyTimer 2";
    const std::string all = log;
    EXPECT_EQ(all.substr(all.size() - std::min(all.size(), expected.size())), expected);
    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
}

TEST(D2xxDriver, BuildWithoutTheOptionalCallsStillConfiguresAndSaysOnceThatTheTimerStaysLong)
{
    D2xxDriver driver(kPartialLibrary);
    ASSERT_EQ(driver.LoadError(), "");
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(driver.FT_SetResetPipeRetryCount(handle, 10000), FT_OK);
    EXPECT_EQ(driver.FT_CyclePort(handle), FT_NOT_SUPPORTED);
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(ConfigureLink(driver, handle));
    EXPECT_NO_THROW(ConfigureLink(driver, handle)); // a second connect
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string reason = "the D2XX library has no FT_SetLatencyTimer";
    EXPECT_NE(said.find(reason), std::string::npos) << said;
    EXPECT_EQ(said.find(reason), said.rfind(reason)) << said;
}
