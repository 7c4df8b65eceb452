// The remote backend against the real ser2net, serving a pseudo-terminal
// that the pty bridge connects to the simulated amplifier; in plain text and
// over TLS.
#include "link/RemoteDriver.h"
#include "remote/RemoteRig.h"
#include "remote/RemoteSteps.h"
#include "protocol/Frames.h"
#include "sim/SimAmplifier.h"

#include <gtest/gtest.h>

using namespace remotetest;

namespace {

TEST(Ser2netPty, FramesEqualTheAmplifierScreenKeysArriveAndAnUpdateCompletes)
{
    PtyBridge bridge;
    Ser2net server(bridge.Tty());
    RemoteDriver driver(Plain(server.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_OpenEx(server.Address().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK)
        << driver.ErrorDetail();
    // ser2net answers the baud rate over a pty, not the modem lines (below).
    ASSERT_EQ(driver.FT_SetBaudRate(handle, 115200), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 5000, 5000);

    std::vector<std::uint8_t> payload;
    ASSERT_EQ(ValidPolls(driver, handle, 3, &payload), 3);
    EXPECT_EQ(payload, sim::SimAmplifier(true).Payload()) << "the frame is the amplifier's own screen";

    protocol::SendCommand(driver, handle, 0x04); // ANT
    EXPECT_EQ(bridge.NextKey(), 4);
    EXPECT_EQ(RunUpdate(driver, handle, 3, 3000), "");
    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
}

TEST(Ser2netPty, ConnectFailsAtTheDtrStepBecauseAPtyHasNoModemLines)
{
    PtyBridge bridge;
    Ser2net server(bridge.Tty());
    RemoteDriver driver(Plain(server.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    const std::string error = ConfigureError(driver, handle);
    EXPECT_EQ(error, "FATAL ERROR ON USB LINK...  #[1030]") << "never a reported success";
    EXPECT_NE(driver.ErrorDetail().find("DTR request"), std::string::npos) << driver.ErrorDetail();
    driver.FT_Close(handle);
}

class Ser2netTls : public ::testing::Test {
protected:
    RemoteStation Tls(const std::string& address, const char* ca, bool clientCert)
    {
        RemoteStation station = Plain(address);
        station.tls = true;
        station.caFile = certs.File(ca);
        if (clientCert) {
            station.certFile = certs.File("client.crt");
            station.keyFile = certs.File("client.key");
        }
        return station;
    }

    Certificates certs;
    PtyBridge bridge;
};

TEST_F(Ser2netTls, GoodCertificatesConnectAndPoll)
{
    Ser2net server(bridge.Tty(), &certs, true);
    RemoteDriver driver(Tls(server.Address(), "ca.crt", true));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 5000, 5000);
    EXPECT_EQ(ValidPolls(driver, handle, 2), 2);
    driver.FT_Close(handle);
}

TEST_F(Ser2netTls, AWrongCaAMissingClientCertificateAndAnImpostorAreRefusedEachWithItsOwnMessage)
{
    Ser2net server(bridge.Tty(), &certs, true);
    FT_HANDLE handle = nullptr;

    RemoteDriver wrongCa(Tls(server.Address(), "other-ca.crt", true));
    EXPECT_EQ(wrongCa.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_NE(wrongCa.ErrorDetail().find("is not signed by the CA in"), std::string::npos) << wrongCa.ErrorDetail();
    EXPECT_NE(wrongCa.ErrorDetail().find(server.Address()), std::string::npos);
    EXPECT_TRUE(wrongCa.OpenFailureIsFinal());

    RemoteDriver noClientCert(Tls(server.Address(), "ca.crt", false));
    const FT_STATUS status = noClientCert.FT_Open(0, &handle);
    EXPECT_EQ(status, FT_DEVICE_NOT_FOUND);
    EXPECT_NE(noClientCert.ErrorDetail().find("demands a client certificate"), std::string::npos)
        << noClientCert.ErrorDetail();
    RemoteDriver plain(Plain(server.Address())); // --remote-tls forgotten
    EXPECT_EQ(plain.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_NE(plain.ErrorDetail().find("(--remote-tls)"), std::string::npos) << plain.ErrorDetail();

    // Any certificate the CA signed used to pass for the station.
    Ser2net impostor(bridge.Tty(), &certs, false, "impostor");
    RemoteStation station = Tls(impostor.Address(), "ca.crt", false);
    RemoteDriver driver(station);
    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_NE(driver.ErrorDetail().find("is for impostor.example, not 127.0.0.1"), std::string::npos)
        << driver.ErrorDetail();
    EXPECT_TRUE(driver.OpenFailureIsFinal());
    station.serverName = "impostor.example"; // --remote-name: the user says this is the station
    driver.SetStation(station);
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_Close(handle);
}

// A station gone without a word is noticed by the probe's own deadline.
// Closing such a TLS link froze the window waiting for the station's goodbye;
// the close now completes on gensio's thread once the path is back.
TEST_F(Ser2netTls, AHalfOpenLinkIsLostInTimeDroppedAtOnceAndTheStationReachedAgain)
{
    Ser2net server(bridge.Tty(), &certs, false);
    TestServer forwarder(&DelayingForwarder, std::stoi(server.Address().substr(server.Address().find(':') + 1)));
    RemoteDriver driver(Tls(forwarder.Address(), "ca.crt", false));
    driver.SetLiveness({100, 500});
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 300, 300);
    ForwardersStalled() = true;
    std::uint8_t bytes[3];
    DWORD got = 0;
    FT_STATUS status = FT_OK;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10 && status == FT_OK; ++i)
        status = driver.FT_Read(handle, bytes, 3, &got);
    ForwardersStalled() = false;
    ASSERT_EQ(status, FT_IO_ERROR);
    EXPECT_LE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100 + 500 + 2 * 300));
    EXPECT_NE(driver.ErrorDetail().find("stopped answering"), std::string::npos) << driver.ErrorDetail();

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(driver.FT_Close(handle), FT_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    // The forwarder serves one connection at a time: the old one must be gone.
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    driver.FT_SetTimeouts(handle, 2000, 2000);
    EXPECT_EQ(ValidPolls(driver, handle, 1), 1);
    driver.FT_Close(handle);
}

} // namespace
