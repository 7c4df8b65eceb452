// Bad input and broken servers: a clear result, never a crash or a hang.
#include "link/RemoteDriver.h"
#include "remote/RemoteRig.h"
#include "remote/RemoteSteps.h"

#include <gtest/gtest.h>

using namespace remotetest;

namespace {

TEST(RemoteFaults, RefusedAndUnresolvableAddressesFailTheOpenNamingTheAddress)
{
    const std::string refused = "127.0.0.1:" + std::to_string(FreePort());
    RemoteDriver driver(Plain(refused));
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.ErrorDetail(), "The remote station " + refused + " refused the connection.");
    EXPECT_TRUE(driver.OpenFailureIsFinal()) << "Connect gives up at once";

    driver.SetStation(Plain("no-such-station.invalid:3001"));
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_NE(driver.ErrorDetail().find("no-such-station.invalid:3001"), std::string::npos) << driver.ErrorDetail();

    RemoteStation unreadableCa = Plain(refused);
    unreadableCa.tls = true;
    unreadableCa.caFile = "/nonexistent/ca.crt";
    driver.SetStation(unreadableCa);
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.ErrorDetail(), "The CA file /nonexistent/ca.crt for " + refused + " cannot be read.")
        << "not a certificate that did not verify";

    driver.SetStation(Plain("no port"));
    EXPECT_EQ(driver.LoadError(), "The remote station address \"no port\" is not HOST:PORT.");
}

TEST(RemoteFaults, AServerThatSpeaksGarbageGivesNoValidFrames)
{
    TestServer garbage(&GarbageTalker, 0);
    RemoteDriver driver(Plain(garbage.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 200, 200);
    EXPECT_EQ(ValidPolls(driver, handle, 5), 0);
    driver.FT_Close(handle);
}

// A changed setting passed for the one asked; a request left unanswered got
// a live station declared lost later, with that request's stale reason.
TEST(RemoteFaults, AWrongAnswerFailsItsCallAndAMissingOneEndsTheLinkWithItsReason)
{
    Rfc2217Peer stuck("baud9600");
    RemoteDriver driver(Plain(stuck.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    EXPECT_EQ(driver.FT_SetBaudRate(handle, 115200), FT_IO_ERROR);
    EXPECT_NE(driver.ErrorDetail().find("asked 115200 baud, the station set 9600 baud"), std::string::npos)
        << driver.ErrorDetail();
    EXPECT_EQ(driver.FT_SetBaudRate(handle, 9600), FT_OK) << driver.ErrorDetail();
    driver.FT_Close(handle);

    Rfc2217Peer deaf("deaf-dtr");
    driver.SetStation(Plain(deaf.Address()));
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 300, 300);
    EXPECT_EQ(driver.FT_SetDtr(handle), FT_IO_ERROR);
    const std::string reason = driver.ErrorDetail();
    EXPECT_NE(reason.find("did not answer the DTR request"), std::string::npos) << reason;
    std::uint8_t byte = 0;
    DWORD got = 0;
    EXPECT_EQ(driver.FT_Read(handle, &byte, 1, &got), FT_IO_ERROR);
    EXPECT_EQ(driver.ErrorDetail(), reason) << "the loss shows the real reason";
    driver.FT_Close(handle);
}

TEST(RemoteFaults, TheDeviceListIsTheConfiguredStation)
{
    RemoteDriver driver(Plain("amplifier.example.org:3001"));
    DWORD count = 0;
    ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 1u);
    DWORD flags = 9;
    char serial[FT_SERIAL_BUFFER] = {};
    ASSERT_EQ(driver.FT_GetDeviceInfoDetail(0, &flags, nullptr, nullptr, nullptr, serial, nullptr, nullptr), FT_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_STREQ(serial, "amplifier.example.org:3001");
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(driver.FT_OpenEx("other:1", FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND);

    driver.SetStation({});
    ASSERT_EQ(driver.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u);
}

} // namespace
