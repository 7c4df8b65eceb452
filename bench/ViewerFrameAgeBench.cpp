// How old a frame is when a viewer of a shared station paints it, with every
// desk in a process of its own as it is in use: the station (on the
// simulated amplifier at wire speed, real clock) in one, each viewer window
// in another (vorlinq_bench_desk, bench/desk/), and a real mosquitto on
// 127.0.0.1 between them. From the moment the frame's last byte leaves the
// station's amplifier, through the station's poll engine and its publication,
// the broker, the viewer backend's waiting read and the window's poll
// hand-over, to the paint of the viewer's drawing area. The screen is kept
// changing by an operator's keys, one every 200 ms. Counters in ms over all
// viewers' frames: the age at the paint, and beside it the age at which the
// viewer backend's read handed the frame to the window's poll engine (the
// broker's part), and the age at which the frame message reaches a plain
// client in this benchmark's own (idle) process (the station's and the
// broker's part without any viewer's), with 1 and with 10 viewers.
#ifdef VORLINQ_HAVE_MQTT

#include "Stats.h"
#include "desk/AnswerClock.h"
#include "share/Topics.h"
#include "support/BrokerFixture.h"
#include "support/ChildProcess.h"
#include "toolkit/Clock.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace brokertest;

constexpr char kStationName[] = "bench";
constexpr int kChanges = 150;
constexpr int kKeyEveryMs = 200;
constexpr int kReadyMs = 30000;

// Runs the event loop for `ms`, asleep between events as the program's own loop is.
void Serve(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One process of vorlinq_bench_desk, started with its input and output piped.
std::unique_ptr<ChildProcess> StartDesk(const char* kind, const Broker& broker, const Account& account,
                                        const std::string& clockFile, std::string& error)
{
    auto desk = std::make_unique<ChildProcess>();
    ChildProcess::Options options;
    options.pipeInput = true;
    options.pipeOutput = true;
    std::string line;
    if (!desk->Start(VORLINQ_BENCH_DESK,
                     {kind, kStationName, broker.Url(), account.user, broker.PasswordFile(account), clockFile}, options,
                     error))
        return nullptr;
    if (!desk->ReadLine(line, kReadyMs) || line != "ready") {
        error = std::string(kind) + " did not start";
        return nullptr;
    }
    return desk;
}

void BM_SharedFrameAgeAtViewerPaint(benchmark::State& state)
{
    Broker broker;
    QTemporaryDir dir;
    const std::string clockFile = dir.filePath("answer-clock").toStdString();
    std::string error;
    const auto station = StartDesk("station", broker, kStation, clockFile, error);
    if (!station) {
        state.SkipWithError(error.c_str());
        return;
    }
    Serve(1000);
    // An operator keeps the screen changing: L+ and L- in turn.
    Listener alice(broker, kAlice, share::Topics(kStationName).Key("alice"));
    // A plain client notes how old each frame message is when it arrives.
    const desk::AnswerClock clock(clockFile);
    std::mutex mutex;
    std::vector<double> arrivals;
    share::MqttClient::Options plain;
    plain.login = broker.Login(kMonitor);
    share::MqttClient monitor(plain);
    monitor.OnMessage([&](const share::MqttMessage&) {
        const double age = AppClock().PreciseNowMs() - clock.Get();
        std::lock_guard lock(mutex);
        arrivals.push_back(age);
    });
    monitor.Subscribe(share::Topics(kStationName).frame);
    if (!monitor.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }

    const int count = static_cast<int>(state.range(0));
    std::vector<double> ages;
    std::vector<double> reads;
    for (auto _ : state) {
        std::vector<std::unique_ptr<ChildProcess>> viewers;
        for (int i = 0; i < count; ++i) {
            viewers.push_back(StartDesk("viewer", broker, kWatcher, clockFile, error));
            if (!viewers.back()) {
                state.SkipWithError(error.c_str());
                return;
            }
        }
        Serve(1000);
        {
            std::lock_guard lock(mutex);
            arrivals.clear();
        }
        for (int key = 0; key < kChanges; ++key) {
            alice.Client().Publish(share::Topics(kStationName).Key("alice"), key % 2 ? "5" : "6", 1, false);
            Serve(kKeyEveryMs);
        }
        for (auto& viewer : viewers)
            viewer->CloseInput();
        for (auto& viewer : viewers) {
            std::string line;
            while (viewer->ReadLine(line, 10000)) {
                std::istringstream sample(line);
                double age = 0;
                double read = 0;
                if (sample >> age >> read) {
                    ages.push_back(age);
                    reads.push_back(read);
                }
            }
            viewer->Stop();
        }
    }
    station->Stop();

    if (ages.empty()) {
        state.SkipWithError("no frame reached a viewer");
        return;
    }
    state.counters["frames"] = static_cast<double>(ages.size());
    state.counters["age_mean_ms"] = bench::Mean(ages);
    state.counters["age_p99_ms"] = bench::P99(ages);
    state.counters["age_max_ms"] = *std::max_element(ages.begin(), ages.end());
    state.counters["read_mean_ms"] = bench::Mean(reads);
    state.counters["read_p99_ms"] = bench::P99(reads);
    std::lock_guard lock(mutex);
    if (!arrivals.empty()) {
        state.counters["plain_mean_ms"] = bench::Mean(arrivals);
        state.counters["plain_p99_ms"] = bench::P99(arrivals);
    }
    state.SetLabel("last frame byte out of the station's amplifier to a viewer's paint, one process each");
}
BENCHMARK(BM_SharedFrameAgeAtViewerPaint)
    ->Arg(1)
    ->Arg(10)
    ->ArgName("viewers")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

#endif
