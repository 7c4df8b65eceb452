// The wire-speed runs over the network: the simulated amplifier at wire speed
// behind a pseudo-terminal, served by the real ser2net on 127.0.0.1, reached
// through the remote backend. Each figure is a ratio to the 115200-baud
// wire limit (see WireSpeedBench.cpp for the limits):
//
//   BM_RemotePollCycle         the display window's poll thread over ser2net;
//   BM_RemotePollCycleDelayed  the same with 50 ms added each way by a
//                              forwarder, against the limit plus the round trip;
//   BM_RemoteFirmwareTransfer  a 64-block update over ser2net.
//
// Over a pty ser2net answers no modem-line request, so the link is used as
// opened, without Connect's configuration (the pty runs at any baud rate).
#ifdef VORLINQ_HAVE_REMOTE

#include "BenchPackage.h"
#include "Execunit.h"
#include "FrameClock.h"
#include "LampPanel.h"
#include "WireLimits.h"
#include "Mainform.h"
#include "link/RemoteDriver.h"
#include "link/Timeouts.h"
#include "protocol/Frames.h"
#include "sim/SimDriver.h"
#include "toolkit/Clock.h"
#include "update/PackageFile.h"
#include "update/Transfer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Steady = std::chrono::steady_clock;

using bench::kFrameLimitMs;
constexpr int kDelayMs = 50;

// The simulated amplifier at wire speed behind a pseudo-terminal.
class WirePty {
public:
    WirePty()
    {
        sim::SimOptions options;
        options.clock = &clock_;
        options.wireSpeed = true;
        options.recordCalls = false;
        sim_ = std::make_unique<sim::SimDriver>(options);
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        name_ = ::ptsname(master_);
        slave_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(slave_, &t);
        cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        sim_->FT_Open(0, &handle_);
        // The station's udev rule sets the chip's latency timer to 1 ms.
        sim_->FT_SetLatencyTimer(handle_, 1);
        toDevice_ = std::thread([this] { ToDevice(); });
        fromDevice_ = std::thread([this] { FromDevice(); });
    }
    ~WirePty()
    {
        stop_ = true;
        toDevice_.join();
        fromDevice_.join();
        sim_->FT_Close(handle_);
        ::close(slave_);
        ::close(master_);
    }
    const std::string& Name() const { return name_; }
    sim::SimDriver& Sim() { return *sim_; }

private:
    // One thread per direction, each woken by its own data, so neither
    // direction waits for the other's time-out: what ser2net writes reaches
    // the amplifier at once, and what the chip lets through reaches ser2net
    // at once.
    void ToDevice()
    {
        std::uint8_t buffer[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            DWORD written = 0;
            if (n > 0)
                sim_->FT_Write(handle_, buffer, static_cast<DWORD>(n), &written);
        }
    }
    void FromDevice()
    {
        std::uint8_t buffer[4096];
        while (!stop_) {
            // Wait for the first byte, then take whatever else is ready.
            DWORD got = 0;
            sim_->FT_SetTimeouts(handle_, 50, 1000);
            sim_->FT_Read(handle_, buffer, 1, &got);
            if (got == 0)
                continue;
            DWORD more = 0;
            sim_->FT_SetTimeouts(handle_, 0, 1000);
            sim_->FT_Read(handle_, buffer + 1, sizeof buffer - 1, &more);
            got += more;
            for (DWORD done = 0; done < got;) {
                const ssize_t n = ::write(master_, buffer + done, got - done);
                if (n <= 0)
                    break;
                done += static_cast<DWORD>(n);
            }
        }
    }

    SystemClock clock_;
    std::unique_ptr<sim::SimDriver> sim_;
    FT_HANDLE handle_ = nullptr;
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
    std::atomic<bool> stop_{false};
    std::thread toDevice_;
    std::thread fromDevice_;
};

int FreePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// ser2net serving the pty on a free port of 127.0.0.1.
class Ser2net {
public:
    explicit Ser2net(const std::string& tty)
    {
        port_ = FreePort();
        const QString program = QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/sbin", "/usr/bin"});
        if (program.isEmpty())
            throw std::runtime_error("ser2net is not installed (scripts/setup installs it)");
        const std::string yaml = "connection: &bench\n  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," +
                                 std::to_string(port_) + "\n  connector: serialdev," + tty +
                                 ",115200n81,local\n  options:\n    kickolduser: true\n    chardelay: false\n";
        const std::string file = dir_.filePath("ser2net.yaml").toStdString();
        std::ofstream(file) << yaml;
        process_.start(program, {"-n", "-d", "-c", QString::fromStdString(file), "-P", dir_.filePath("pid")});
        for (int attempt = 0; attempt < 100; ++attempt) {
            QTcpSocket probe;
            probe.connectToHost("127.0.0.1", static_cast<quint16>(port_));
            if (probe.waitForConnected(100))
                return;
            QThread::msleep(100);
        }
        throw std::runtime_error("ser2net did not start");
    }
    ~Ser2net()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    int Port() const { return port_; }

private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// Forwards one connection from a free port to `upstream`, holding every
// chunk kDelayMs in each direction.
class Delay {
public:
    explicit Delay(int upstream) : upstream_(upstream)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), size);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~Delay()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    void Run()
    {
        pollfd l{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&l, 1, 50) <= 0) {
        }
        if (stop_)
            return;
        const int client = ::accept(listener_, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(upstream_));
        ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a);
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
        ::setsockopt(server, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
        const int fds[2] = {client, server};
        std::deque<std::pair<Steady::time_point, std::vector<char>>> queued[2];
        while (!stop_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            ::poll(p, 2, 1);
            for (int side = 0; side < 2; ++side) {
                if (p[side].revents & POLLIN) {
                    char buffer[8192];
                    const ssize_t n = ::read(fds[side], buffer, sizeof buffer);
                    if (n <= 0)
                        stop_ = true;
                    else
                        queued[side].push_back(
                            {Steady::now() + std::chrono::milliseconds(kDelayMs), {buffer, buffer + n}});
                }
                while (!queued[side].empty() && queued[side].front().first <= Steady::now()) {
                    const auto& bytes = queued[side].front().second;
                    ::send(fds[1 - side], bytes.data(), bytes.size(), MSG_NOSIGNAL);
                    queued[side].pop_front();
                }
            }
        }
        ::close(client);
        ::close(server);
    }

    int upstream_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Milliseconds per poll cycle of the display window over the remote backend.
double CycleMs(int port, int cycles)
{
    RemoteStation station;
    station.address = "127.0.0.1:" + std::to_string(port);
    RemoteDriver driver(station);
    FT_HANDLE handle = nullptr;
    if (driver.FT_Open(0, &handle) != FT_OK)
        throw std::runtime_error(driver.ErrorDetail());
    QTemporaryDir dir;
    qputenv("VORLINQ_SETTINGS", dir.filePath("bench.ini").toLocal8Bit());
    double ms = 0;
    {
        TForm1 form(&driver, true);
        bench::FrameClock frames(form);
        form.LampPanels.push_back(&frames);
        form.show();
        form.USBHandle = handle;
        form.OnLine = true;
        form.StartPolling();
        const auto end = Steady::now() + std::chrono::seconds(30);
        // The first frames pay for the window's first paints; they are not counted.
        constexpr std::size_t kWarmUp = 3;
        // The loop sleeps until an event comes, as the program's does; the
        // timer only bounds the wait when no frame comes at all.
        QTimer wake;
        wake.start(50);
        while (frames.times.size() < kWarmUp + static_cast<std::size_t>(cycles) + 1 && Steady::now() < end)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        form.StopPolling();
        form.OnLine = false;
        QCoreApplication::processEvents();
        form.LampPanels.clear();
        if (frames.times.size() < kWarmUp + 2)
            throw std::runtime_error("no frames over the remote link");
        ms = 1000.0 * std::chrono::duration<double>(frames.times.back() - frames.times[kWarmUp]).count() /
             static_cast<double>(frames.times.size() - 1 - kWarmUp);
    }
    qunsetenv("VORLINQ_SETTINGS");
    driver.FT_Close(handle);
    return ms;
}

void BM_RemotePollCycle(benchmark::State& state)
{
    WirePty pty;
    Ser2net server(pty.Name());
    double ms = 0;
    for (auto _ : state)
        ms = CycleMs(server.Port(), 12);
    const double limitMs = kFrameLimitMs + TExecThread::kPollSleepMs;
    state.counters["ms_per_cycle"] = ms;
    state.counters["limit_ms"] = limitMs;
    state.counters["ratio"] = ms / limitMs;
    state.SetLabel("ser2net on loopback; limit: 371 frame bytes at 11,520 bytes/s + 80 ms poll sleep");
}
BENCHMARK(BM_RemotePollCycle)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RemotePollCycleDelayed(benchmark::State& state)
{
    WirePty pty;
    Ser2net server(pty.Name());
    Delay delay(server.Port());
    double ms = 0;
    for (auto _ : state)
        ms = CycleMs(delay.Port(), 12);
    const double limitMs = kFrameLimitMs + TExecThread::kPollSleepMs + 2 * kDelayMs;
    state.counters["ms_per_cycle"] = ms;
    state.counters["limit_ms"] = limitMs;
    state.counters["ratio"] = ms / limitMs;
    state.SetLabel("ser2net behind 50 ms each way; limit: wire + 80 ms sleep + 100 ms round trip");
}
BENCHMARK(BM_RemotePollCycleDelayed)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RemoteFirmwareTransfer(benchmark::State& state)
{
    constexpr int kBlocks = 64;
    QTemporaryDir dir;
    const std::string path = bench::WritePackage(dir.filePath("bench.pk1").toStdString(), kBlocks);
    const double wireLimit = bench::UpdateWireLimitS(kBlocks);
    const double drainLimit = bench::kUpdateDrainLimitS;

    WirePty pty;
    Ser2net server(pty.Name());
    RemoteStation station;
    station.address = "127.0.0.1:" + std::to_string(server.Port());
    RemoteDriver driver(station);
    double total = 0;
    double wire = 0;
    for (auto _ : state) {
        FT_HANDLE handle = nullptr;
        if (driver.FT_Open(0, &handle) != FT_OK) {
            state.SkipWithError(driver.ErrorDetail().c_str());
            return;
        }
        protocol::SendCommand(driver, handle, protocol::kUpdateAnnounceCode);
        driver.FT_SetTimeouts(handle, kUpdateTimeoutMs, kUpdateTimeoutMs);
        update::PackageFile file;
        Steady::time_point started;
        const Steady::time_point start = Steady::now();
        update::UpdateTransfer transfer(driver, handle, file, path, [&](const std::string& text) {
            if (text == update::kStatusStarting)
                started = Steady::now();
        });
        transfer.Run();
        const Steady::time_point end = Steady::now();
        total = std::chrono::duration<double>(end - start).count();
        wire = std::chrono::duration<double>(end - started).count();
        driver.FT_Close(handle);
    }
    auto lock = pty.Sim().Lock();
    if (!pty.Sim().Device().UpdateCompleted() ||
        pty.Sim().Device().ReceivedImage().size() != static_cast<std::size_t>(kBlocks)) {
        state.SkipWithError("the amplifier did not complete the update");
        return;
    }
    state.counters["total_s"] = total;
    state.counters["limit_s"] = wireLimit + drainLimit;
    state.counters["ratio"] = total / (wireLimit + drainLimit);
    state.counters["wire_s"] = wire;
    state.counters["wire_limit_s"] = wireLimit;
    state.counters["wire_ratio"] = wire / wireLimit;
    state.SetLabel("ser2net on loopback; limit: bytes both ways at 11,520 bytes/s + one 3 s drain time-out");
}
BENCHMARK(BM_RemoteFirmwareTransfer)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

#endif // VORLINQ_HAVE_REMOTE
