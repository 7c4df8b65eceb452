// How old a frame is when a viewer of a shared station paints it: from the
// moment its last byte leaves the simulated amplifier (wire speed, real
// clock) at the station, through the station's poll engine and its
// publication, a real mosquitto on 127.0.0.1, the viewer backend's waiting
// read, the viewer window's poll hand-over, to the paint of its drawing area.
// Station and viewers share this process (and its main thread); the screen
// is kept changing by an operator's keys, one every 200 ms. Counters in ms
// over all viewers' frames: the age at the paint, and beside it the age at
// which the viewer backend's read handed the frame to the window's poll
// engine (the broker's part), with 1 and with 10 viewers.
#ifdef VORLINQ_HAVE_MQTT

#include "Stats.h"
#include "DisplayArea.h"
#include "Mainform.h"
#include "display/CharText.h"
#include "link/LinkConfig.h"
#include "share/BrokerDriver.h"
#include "share/Station.h"
#include "share/Topics.h"
#include "sim/SimDriver.h"
#include "support/BrokerFixture.h"
#include "support/ForwardingDriver.h"
#include "toolkit/Clock.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace {

using namespace brokertest;

constexpr char kStationName[] = "bench";
constexpr int kChanges = 60;
constexpr int kKeyEveryMs = 200;

// The viewer backend, noting when a read after a query first returns bytes.
class TimedDriver final : public ForwardingDriver {
public:
    using ForwardingDriver::ForwardingDriver;
    FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) override
    {
        answered_ = false;
        return ForwardingDriver::FT_Purge(handle, mask);
    }
    FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned) override
    {
        const FT_STATUS status = ForwardingDriver::FT_Read(handle, buffer, bytesToRead, bytesReturned);
        if (*bytesReturned > 0 && !answered_) {
            answered_ = true;
            answeredMs = AppClock().PreciseNowMs();
        }
        return status;
    }
    std::atomic<double> answeredMs{0};

private:
    bool answered_ = false; // poll thread only
};

// Notes the ages of each new screen a viewer paints.
class PaintProbe final : public QObject {
public:
    PaintProbe(const TForm1& form, const TimedDriver& driver, const sim::SimDriver& sim, std::vector<double>& ages,
               std::vector<double>& reads)
        : form_(form), driver_(driver), sim_(sim), ages_(ages), reads_(reads)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString text = display::RasterText(form_.raster);
            if (text != last_ && !text.trimmed().isEmpty()) {
                // The station sleeps 80 ms after each frame: its latest
                // answer is still the frame painted here.
                if (!last_.isEmpty()) {
                    ages_.push_back(AppClock().PreciseNowMs() - sim_.LastAnswerOutMs());
                    reads_.push_back(driver_.answeredMs - sim_.LastAnswerOutMs());
                }
                last_ = text;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const TForm1& form_;
    const TimedDriver& driver_;
    const sim::SimDriver& sim_;
    std::vector<double>& ages_;
    std::vector<double>& reads_;
    QString last_;
};

struct ViewerWindow {
    explicit ViewerWindow(const Broker& broker)
        : backend(share::SharedStation{kStationName, broker.Login(kWatcher)}), driver(backend), form(&driver)
    {
    }
    share::BrokerDriver backend;
    TimedDriver driver;
    TForm1 form;
    std::unique_ptr<PaintProbe> probe;
};

// Runs the event loop for `ms`, asleep between events as the program's own loop is.
void Serve(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_SharedFrameAgeAtViewerPaint(benchmark::State& state)
{
    QTemporaryDir dir;
    qputenv("VORLINQ_SETTINGS", dir.filePath("bench.ini").toLocal8Bit());
    Broker broker;

    // The station: the poll engine on the simulated amplifier at wire speed.
    sim::SimDriver sim(sim::DemoOptions());
    share::StationCore::Options options;
    options.name = kStationName;
    options.login = broker.Login(kStation);
    share::Station station(sim, options);
    std::string error;
    if (!station.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    Serve(1000);
    // An operator keeps the screen changing: L+ and L- in turn.
    Listener alice(broker, kAlice, share::Topics(kStationName).Key("alice"));

    const int count = static_cast<int>(state.range(0));
    std::vector<double> ages;
    std::vector<double> reads;
    for (auto _ : state) {
        std::vector<std::unique_ptr<ViewerWindow>> viewers;
        for (int i = 0; i < count; ++i) {
            auto viewer = std::make_unique<ViewerWindow>(broker);
            FT_HANDLE handle = nullptr;
            if (viewer->driver.FT_Open(0, &handle) != FT_OK)
                throw std::runtime_error("viewer: " + viewer->backend.ErrorDetail());
            ConfigureLink(viewer->driver, handle);
            viewer->probe = std::make_unique<PaintProbe>(viewer->form, viewer->driver, sim, ages, reads);
            viewer->form.findChild<DisplayArea*>()->installEventFilter(viewer->probe.get());
            viewer->form.show();
            viewer->form.USBHandle = handle;
            viewer->form.SetOnlineLook();
            viewer->form.OnLine = true;
            viewer->form.StartPolling();
            viewers.push_back(std::move(viewer));
        }
        Serve(1000);
        ages.clear();
        reads.clear();
        for (int key = 0; key < kChanges; ++key) {
            alice.Client().Publish(share::Topics(kStationName).Key("alice"), key % 2 ? "5" : "6", 1, false);
            Serve(kKeyEveryMs);
        }
        for (auto& viewer : viewers) {
            viewer->form.findChild<DisplayArea*>()->removeEventFilter(viewer->probe.get());
            viewer->form.actCloseExecute();
        }
        QCoreApplication::processEvents();
    }
    qunsetenv("VORLINQ_SETTINGS");

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
    state.SetLabel("last frame byte out of the station's amplifier to a viewer's paint");
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
