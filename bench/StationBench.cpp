// The station on the broker (a real mosquitto on loopback, the tests' broker):
//  - link load: the station's queries per second to the simulated amplifier
//    at wire speed, with 0 and with 100 viewers subscribed;
//  - station CPU: `vorlinq --station --simulator` as its own process, with 0,
//    10 and 100 subscribers (all in this process), in percent of one core;
//  - bytes per second that one viewer receives, on a still screen and on a
//    screen that changes (an operator stepping the band up and down, 4 keys a
//    second), with 10 viewers.
#include "share/Station.h"
#include "share/Topics.h"
#include "sim/SimDriver.h"
#include "support/BrokerFixture.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

using namespace brokertest;
using Clock = std::chrono::steady_clock;

constexpr const char* kName = "bench";
constexpr int kRunMs = 5000;
// Long enough that one query more or less is well under 1 %.
constexpr int kLinkRunMs = 15000;

// Serves the main thread's events (the poll engine's hand-overs) for `ms`,
// without spinning.
void Serve(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<std::unique_ptr<Listener>> Viewers(const Broker& broker, int count)
{
    std::vector<std::unique_ptr<Listener>> viewers;
    for (int i = 0; i < count; ++i)
        viewers.push_back(std::make_unique<Listener>(broker, kWatcher, share::StationPrefix(kName) + "#"));
    return viewers;
}

share::StationCore::Options StationOptions(const Broker& broker)
{
    share::StationCore::Options o;
    o.name = kName;
    o.login = broker.Login(kStation);
    return o;
}

void BM_StationLinkLoad(benchmark::State& state)
{
    Broker broker;
    sim::SimDriver driver(sim::DemoOptions());
    share::Station station(driver, StationOptions(broker));
    std::string error;
    if (!station.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto viewers = Viewers(broker, static_cast<int>(state.range(0)));
    Serve(1000); // settled: connected, first frames out
    for (auto _ : state) {
        const long long before = station.Frames();
        const auto start = Clock::now();
        Serve(kLinkRunMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["queries_per_s"] = static_cast<double>(station.Frames() - before) / seconds;
    }
}
BENCHMARK(BM_StationLinkLoad)->Arg(0)->Arg(100)->ArgName("viewers")->Iterations(1)->UseManualTime();

// User and system time of a process, in seconds.
double CpuSeconds(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command name in parentheses; utime and stime are the 12th and 13th of them.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void BM_StationCpu(benchmark::State& state)
{
    Broker broker;
    QProcess process;
    process.start(VORLINQ_PROGRAM, {QString("--station=") + kName, "--simulator",
                                    "--broker=" + QString::fromStdString(broker.Url()), "--broker-user=station",
                                    "--broker-password-file=" + QString::fromStdString(broker.PasswordFile(kStation))});
    if (!process.waitForStarted(10000)) {
        state.SkipWithError("the station did not start");
        return;
    }
    const auto viewers = Viewers(broker, static_cast<int>(state.range(0)));
    Serve(1000);
    for (auto _ : state) {
        const double cpuBefore = CpuSeconds(process.processId());
        const auto start = Clock::now();
        Serve(kRunMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["cpu_percent"] = 100.0 * (CpuSeconds(process.processId()) - cpuBefore) / seconds;
    }
    process.terminate();
    process.waitForFinished(5000);
}
BENCHMARK(BM_StationCpu)->Arg(0)->Arg(10)->Arg(100)->ArgName("subscribers")->Iterations(1)->UseManualTime();

void BM_ViewerBytes(benchmark::State& state)
{
    const bool changing = state.range(0) != 0;
    Broker broker;
    sim::SimDriver driver(sim::DemoOptions());
    share::Station station(driver, StationOptions(broker));
    std::string error;
    if (!station.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto viewers = Viewers(broker, 10);
    share::MqttClient::Options o;
    o.login = broker.Login(kAlice);
    share::MqttClient alice(o);
    alice.Start(error);
    Serve(1000);
    const std::string keyTopic = share::Topics(kName).Key(kAlice.user);
    QTimer stepper;
    int step = 0;
    QObject::connect(&stepper, &QTimer::timeout, [&] { alice.Publish(keyTopic, ++step % 2 ? "3" : "2", 1, false); });
    if (changing)
        stepper.start(250);
    for (auto _ : state) {
        for (auto& viewer : viewers)
            viewer->Clear();
        const auto start = Clock::now();
        Serve(kRunMs);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        long long bytes = 0;
        for (auto& viewer : viewers)
            bytes += viewer->Bytes();
        state.counters["bytes_per_s_per_viewer"] =
            static_cast<double>(bytes) / static_cast<double>(viewers.size()) / seconds;
    }
    stepper.stop();
    alice.Stop();
}
BENCHMARK(BM_ViewerBytes)->Arg(0)->Arg(1)->ArgName("changing")->Iterations(1)->UseManualTime();

} // namespace
