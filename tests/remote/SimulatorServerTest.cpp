// The remote backend against the simulated amplifier on the network: the
// `vorlinq --serve-simulator` program, and the server in this process where
// the test needs to see what the amplifier received.
#include "link/FtStatus.h"
#include "link/RemoteDriver.h"
#include "protocol/Frames.h"
#include "remote/RemoteRig.h"
#include "remote/RemoteSteps.h"
#include "server/SimulatorServer.h"
#include "sim/SimDriver.h"

#include <gtest/gtest.h>

#include <QFile>

#include <array>
#include <cerrno>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace remotetest;

namespace {

using Clock = std::chrono::steady_clock;

// A raw client on 127.0.0.1:`port` that sends bytes as fast as the network
// takes them for `ms` (0: sends nothing). The socket stays open.
int RawClient(int port, int ms)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const std::vector<char> chunk(65536, 0x01);
    for (const auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end;) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 20) > 0 && ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
            errno != EAGAIN)
            break;
    }
    return fd;
}

// Whether the server closed the connection within `ms` (after its telnet greeting).
bool ClosedByServer(int fd, int ms)
{
    char sink[256];
    for (const auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0 && ::recv(fd, sink, sizeof sink, 0) <= 0)
            return true;
    }
    return false;
}

long RssKiB(qint64 pid)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

// pyserial's RFC 2217 client, as a user of the library writes it: two polls,
// each after a purge of what was received; one display frame per line, in hex.
constexpr char kPyserialPolls[] = R"(
import sys, serial
port = serial.serial_for_url(sys.argv[1], baudrate=115200, timeout=3)
for _ in range(2):
    port.reset_input_buffer()
    port.write(bytes.fromhex("555555018080"))
    head = port.read(5)
    rest = port.read(head[3] + 256 * head[4] + 4) if len(head) == 5 else b""
    print((head + rest).hex())
try:
    port.bytesize = 5
    print("5 data bits taken")
except (serial.SerialException, ValueError):
    print("5 data bits refused")
)";

TEST(ServeSimulator, PyserialsClientWaitingForItsPurgeAnswerOpensAndReadsFramesAndHearsRefusedDataBits)
{
    SimulatorProcess server;
    ChildProcess python;
    ChildProcess::Options piped;
    piped.pipeOutput = true;
    std::string error;
    ASSERT_TRUE(python.Start(VORLINQ_PYTHON, {"-c", kPyserialPolls, "rfc2217://" + server.Address() + "?timeout=1"},
                             piped, error))
        << error;
    QList<QByteArray> lines;
    for (std::string line; python.ReadLine(line, 30000);)
        lines.push_back(QByteArray::fromStdString(line));
    ASSERT_TRUE(python.Wait(5000));
    ASSERT_EQ(python.ExitCode(), 0) << "its standard error is above";
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.takeLast(), "5 data bits refused") << "the amplifier's chip takes 7 or 8 only";
    for (const QByteArray& line : lines) {
        const QByteArray frame = QByteArray::fromHex(line);
        const auto* b = reinterpret_cast<const std::uint8_t*>(frame.constData());
        ASSERT_GE(frame.size(), 9) << line.toStdString();
        const int length = b[3] | b[4] << 8;
        ASSERT_EQ(frame.size(), length + 9);
        EXPECT_TRUE(frame.startsWith("\xAA\xAA\xAA") && (b[5] | b[6] << 8) == (length ^ 0xFFFF));
        EXPECT_EQ(protocol::Sum16(b + 7, static_cast<std::size_t>(length)), b[length + 7] | b[length + 8] << 8);
    }
}

TEST(ServeSimulator, AFloodStaysBoundedGivesWayToTheNextClientAndSigtermStillEndsTheServer)
{
    SimulatorProcess server;
    const long before = RssKiB(server.Pid());
    ::close(RawClient(server.Port(), 1500)); // a run blocked this server for hours and grew it by 420 MB
    const long after = RssKiB(server.Pid());
    EXPECT_LT(after - before, 8 * 1024) << before << " KiB before the flood, " << after << " after";

    const auto start = Clock::now();
    RemoteDriver driver(Plain(server.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    EXPECT_EQ(ValidPolls(driver, handle, 2), 2);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << "the next client is served at once";
    driver.FT_Close(handle);

    const int flooder = RawClient(server.Port(), 1000); // still sending: its queue is full
    EXPECT_TRUE(server.TerminatesWithin(3000));
    ::close(flooder);
}

// The server in this process with a short idle limit, in front of an instant amplifier.
TEST(SimulatorServerLimits, AConnectionThatNeverSpeaksGivesWayButALiveDeskIsNotKnockedOut)
{
    sim::SimDriver amplifier;
    server::SimulatorServer server(amplifier, {std::chrono::milliseconds(300), 32 * 1024});
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
    const int silent = RawClient(server.Port(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    RemoteDriver driver(Plain("127.0.0.1:" + std::to_string(server.Port())));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();

    const int late = RawClient(server.Port(), 0);
    int failed = 0;
    for (const auto end = Clock::now() + std::chrono::milliseconds(700); Clock::now() < end;)
        failed += ValidPolls(driver, handle, 1) == 1 ? 0 : 1;
    EXPECT_EQ(failed, 0) << "polls failed while a newcomer waited";
    EXPECT_TRUE(ClosedByServer(late, 1000)) << "the newcomer was turned away";
    driver.FT_Close(handle);
    ::close(late);
    ::close(silent);
}

TEST(ServeSimulator, TheOnPulseSwitchesTheAmplifierOnAcrossTheNetwork)
{
    SimulatorProcess server;
    RemoteDriver driver(Plain(server.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    ASSERT_EQ(ValidPolls(driver, handle, 1), 1);

    protocol::SendCommand(driver, handle, 10); // OFF
    driver.FT_SetTimeouts(handle, 300, 300);
    // Frames already on their way may still come; then the amplifier is silent.
    int silentFrom = -1;
    for (int i = 0; i < 10 && silentFrom < 0; ++i) {
        if (ValidPolls(driver, handle, 1) == 0)
            silentFrom = i;
    }
    ASSERT_GE(silentFrom, 0) << "the amplifier never went off";

    EXPECT_EQ(driver.FT_ClrDtr(handle), FT_OK);
    EXPECT_EQ(driver.FT_SetRts(handle), FT_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_EQ(driver.FT_SetDtr(handle), FT_OK);
    EXPECT_EQ(driver.FT_ClrRts(handle), FT_OK);
    driver.FT_SetTimeouts(handle, 1200, 1200);
    EXPECT_GE(ValidPolls(driver, handle, 3), 2) << "the amplifier is on again";
    driver.FT_Close(handle);
}

TEST(ServeSimulator, AServerKilledMidPollIsALinkLossAndConnectWorksOnceItIsBack)
{
    auto server = std::make_unique<SimulatorProcess>();
    const int port = server->Port();
    RemoteDriver driver(Plain(server->Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ValidPolls(driver, handle, 1), 1);

    server->Kill();
    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx{};
    std::uint8_t lamp = 0;
    std::string lost;
    for (int i = 0; i < 5 && lost.empty(); ++i) {
        try {
            protocol::PollOnce(driver, handle, rx.data(), lamp);
        } catch (const FT_Exception& e) {
            lost = e.Message();
        }
    }
    EXPECT_EQ(lost.rfind("FATAL ERROR ON USB LINK...  #[", 0), 0u) << lost;
    EXPECT_EQ(driver.FT_CyclePort(handle), FT_IO_ERROR);
    EXPECT_NE(driver.ErrorDetail().find(":" + std::to_string(port)), std::string::npos) << "a purge says why";
    driver.FT_Close(handle);

    EXPECT_EQ(driver.FT_Open(0, &handle), FT_DEVICE_NOT_FOUND) << "nobody listens now";
    server = std::make_unique<SimulatorProcess>(port);
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    EXPECT_EQ(ValidPolls(driver, handle, 1), 1);
    driver.FT_Close(handle);
}

// The server in this process, in front of an instant simulated amplifier.
class InProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
        address = "127.0.0.1:" + std::to_string(server.Port());
    }
    sim::SimDriver amplifier;
    server::SimulatorServer server{amplifier};
    std::string address;
};

TEST_F(InProcess, ConnectPollKeysAndAnUpdateReachTheAmplifier)
{
    RemoteDriver driver(Plain(address));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    EXPECT_TRUE(amplifier.Dtr());
    EXPECT_FALSE(amplifier.Rts());
    EXPECT_EQ(ValidPolls(driver, handle, 3), 3);
    protocol::SendCommand(driver, handle, 0x04);
    EXPECT_EQ(RunUpdate(driver, handle, 3, 1500), "");
    driver.FT_Close(handle);
    // The close does not wait for the network; the last bytes still arrive.
    const auto completed = [&] {
        auto lock = amplifier.Lock();
        return amplifier.Device().UpdateCompleted();
    };
    for (int i = 0; i < 1000 && !completed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    auto lock = amplifier.Lock();
    ASSERT_FALSE(amplifier.Device().KeyCodes().empty());
    EXPECT_EQ(amplifier.Device().KeyCodes().front(), 0x04) << "then the update's own codes";
    EXPECT_EQ(amplifier.Device().ReceivedImage().size(), 3u);
    EXPECT_TRUE(amplifier.Device().UpdateCompleted());
}

TEST_F(InProcess, AWriteDoesNotWaitBehindABlockedReadAndCloseWakesTheRead)
{
    RemoteDriver driver(Plain(address));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, 5000, 1000);
    FT_STATUS readStatus = FT_OK;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration readTook{};
    std::thread reader([&] {
        std::uint8_t byte = 0;
        DWORD got = 0;
        readStatus = driver.FT_Read(handle, &byte, 1, &got); // nothing comes: no query was sent
        readTook = std::chrono::steady_clock::now() - start;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto writeStart = std::chrono::steady_clock::now();
    protocol::SendCommand(driver, handle, 0x05);
    EXPECT_LT(std::chrono::steady_clock::now() - writeStart, std::chrono::milliseconds(1000));
    // The server hands the key on to the amplifier on its own thread.
    std::vector<std::uint8_t> keys;
    for (int i = 0; i < 200 && keys.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto lock = amplifier.Lock();
        keys = amplifier.Device().KeyCodes();
    }
    EXPECT_EQ(keys, std::vector<std::uint8_t>{0x05});
    driver.FT_Close(handle);
    reader.join();
    EXPECT_EQ(readStatus, FT_INVALID_HANDLE);
    EXPECT_LT(readTook, std::chrono::milliseconds(4000)) << "the close woke the read";
}

// At the line's pace the key is still queued behind other bytes when the DTR
// request comes; the request waits for it. (The request comes a moment
// later: gensio's telnet layer reports a request that arrives in the same
// network read as bytes before it ahead of those bytes.)
TEST(SimulatorServerOrder, ADtrChangeDoesNotOvertakeTheKeySentBeforeIt)
{
    sim::SimOptions options;
    options.wireSpeed = true;
    sim::SimDriver amplifier(options);
    server::SimulatorServer server(amplifier);
    std::string error;
    ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
    // 2 KiB (about 180 ms on the line), a key, then DTR off
    const int code = ChildProcess::Run(VORLINQ_PYTHON,
                                       {"-c",
                                        "import serial, sys\nport = serial.serial_for_url(sys.argv[1])\n"
                                        "port.write(bytes(2048) + bytes.fromhex('555555010505'))\n"
                                        "import time\ntime.sleep(0.05)\nport.dtr = False",
                                        "rfc2217://127.0.0.1:" + std::to_string(server.Port())},
                                       {});
    ASSERT_EQ(code, 0) << "its standard error is above";
    std::vector<std::string> calls;
    for (const sim::CallRecord& call : amplifier.Calls())
        if (call.op == "FT_Write" || call.op == "FT_ClrDtr")
            calls.push_back(call.op);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "FT_ClrDtr") << "a byte sent before the request reached the device after it";
}

TEST_F(InProcess, PollingGoesOnWithFiftyMillisecondsAddedEachWay)
{
    TestServer delay(&DelayingForwarder, server.Port());
    RemoteDriver driver(Plain(delay.Address()));
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    ASSERT_EQ(ConfigureError(driver, handle), "") << driver.ErrorDetail();
    EXPECT_EQ(ValidPolls(driver, handle, 5), 5);
    driver.FT_Close(handle);
}

// The liveness probe, judged by the read time-out, declared slow links lost;
// a full receive queue left reading paused after a purge.
TEST_F(InProcess, ASlowLinkABacklogAndASilentAmplifierAreNoLinkLoss)
{
    constexpr int kReadMs = 400;
    ForwarderDelayMs() = kReadMs * 8 / 20; // a round trip of 0.8 read time-outs
    TestServer delay(&DelayingForwarder, server.Port());
    RemoteDriver driver(Plain(delay.Address()));
    driver.SetLiveness({100, 1000});
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(driver.FT_Open(0, &handle), FT_OK) << driver.ErrorDetail();
    driver.FT_SetTimeouts(handle, kReadMs, 1000);
    std::uint8_t bytes[3];
    DWORD got = 0;
    // Nothing asked, nothing sent back, for longer than the probe's deadline.
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(driver.FT_Read(handle, bytes, 3, &got), FT_OK) << i << ": " << driver.ErrorDetail();

    // 240 frames (over 64 KiB) left unread, then purged: reading goes on
    // after the purge (whatever of the backlog the station had not yet
    // purged is read first), and polling goes on.
    std::vector<std::uint8_t> queries;
    for (int i = 0; i < 240; ++i)
        queries.insert(queries.end(), protocol::kQueryFrame.begin(), protocol::kQueryFrame.end());
    ASSERT_EQ(driver.FT_Write(handle, queries.data(), static_cast<DWORD>(queries.size()), &got), FT_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kReadMs));
    ASSERT_EQ(driver.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(driver.FT_Read(handle, bytes, 1, &got), FT_OK) << driver.ErrorDetail();
    for (int i = 0; i < 100 && got > 0; ++i) // the rest of the backlog
        driver.FT_Read(handle, queries.data(), static_cast<DWORD>(queries.size()), &got);
    driver.FT_SetTimeouts(handle, 2 * kReadMs, 1000);
    EXPECT_EQ(ValidPolls(driver, handle, 2), 2) << driver.ErrorDetail();
    ForwarderDelayMs() = 50;
    driver.FT_Close(handle);
}

} // namespace
