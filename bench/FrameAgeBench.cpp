// How old a display frame is when the user sees it: from the moment its last
// byte leaves the simulated amplifier (wire speed, real clock) to the paint of
// the display window's drawing area that shows it, through the chip's latency
// timer, the poll transaction, the frame hand-over to the main thread and the
// repaint. Runs with the chip's default timer (/16) and as the link
// configuration sets it (/2); the counters give the mean and the 99th
// percentile in ms of the age, of the time the chip held the last packet
// back, and of the rest (the program's, and the machine's scheduling).
#include "Stats.h"
#include "DisplayArea.h"
#include "LampPanel.h"
#include "Mainform.h"
#include "link/LinkConfig.h"
#include "sim/SimDriver.h"
#include "toolkit/Clock.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace {

// Notes each frame the frame handler takes (it sets the lamps while the
// frame-ready flag is up), and at the next paint of the drawing area the
// frame's age.
class AgeAtPaint final : public QObject, public LampPanel {
public:
    AgeAtPaint(const TForm1& form, const sim::SimDriver& sim, const Clock& clock)
        : form_(form), sim_(sim), clock_(clock)
    {
    }

    void SetLamps(std::uint8_t) override
    {
        if (form_.FrameReady)
            pending_ = true;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && pending_) {
            pending_ = false;
            // The poll thread sleeps 80 ms after the hand-over, so the latest
            // answer is still the frame being painted.
            const double out = sim_.LastAnswerOutMs();
            ages.push_back(clock_.PreciseNowMs() - out);
            holds.push_back(sim_.LastAnswerReadyMs() - out);
        }
        return QObject::eventFilter(watched, event);
    }

    std::vector<double> ages;
    std::vector<double> holds;

private:
    const TForm1& form_;
    const sim::SimDriver& sim_;
    const Clock& clock_;
    bool pending_ = false;
};

void BM_FrameAgeAtPaint(benchmark::State& state)
{
    constexpr std::size_t kFrames = 120;
    // The window reads its settings when it is created; never the user's.
    QTemporaryDir dir;
    const bool hadSettings = qEnvironmentVariableIsSet("VORLINQ_SETTINGS");
    const QByteArray settings = qgetenv("VORLINQ_SETTINGS");
    qputenv("VORLINQ_SETTINGS", dir.filePath("bench.ini").toLocal8Bit());

    SystemClock clock;
    sim::SimOptions options;
    options.clock = &clock;
    options.wireSpeed = true;
    options.recordCalls = false;
    sim::SimDriver sim(options);
    FT_HANDLE handle = nullptr;
    if (sim.FT_Open(0, &handle) != FT_OK)
        throw std::runtime_error("the simulated amplifier did not open");
    ConfigureLink(sim, handle);
    sim.FT_SetLatencyTimer(handle, static_cast<UCHAR>(state.range(0)));

    std::vector<double> ages;
    std::vector<double> holds;
    for (auto _ : state) {
        TForm1 form(&sim, true);
        AgeAtPaint probe(form, sim, clock);
        form.LampPanels.push_back(&probe);
        DisplayArea* area = form.findChild<DisplayArea*>();
        if (!area)
            throw std::runtime_error("no drawing area");
        area->installEventFilter(&probe);
        form.show();
        form.USBHandle = handle;
        form.OnLine = true;
        form.StartPolling();
        // Sleeps until an event comes, as the program's own loop does.
        while (probe.ages.size() < kFrames + 1)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        form.StopPolling();
        form.OnLine = false;
        QCoreApplication::processEvents(); // releases the ended poll thread
        area->removeEventFilter(&probe);
        form.LampPanels.clear();
        // The first frame meets the window's first paints; leave it out.
        ages.assign(probe.ages.begin() + 1, probe.ages.end());
        holds.assign(probe.holds.begin() + 1, probe.holds.end());
    }
    sim.FT_Close(handle);
    if (hadSettings)
        qputenv("VORLINQ_SETTINGS", settings);
    else
        qunsetenv("VORLINQ_SETTINGS");

    // What the program and the machine add to each frame's age, beside the chip's hold.
    std::vector<double> program(ages.size());
    for (std::size_t i = 0; i < ages.size(); ++i)
        program[i] = ages[i] - holds[i];
    state.counters["frames"] = static_cast<double>(ages.size());
    state.counters["age_mean_ms"] = bench::Mean(ages);
    state.counters["age_p99_ms"] = bench::P99(ages);
    state.counters["age_max_ms"] = *std::max_element(ages.begin(), ages.end());
    state.counters["chip_hold_mean_ms"] = bench::Mean(holds);
    state.counters["chip_hold_p99_ms"] = bench::P99(holds);
    state.counters["program_mean_ms"] = bench::Mean(program);
    state.counters["program_p99_ms"] = bench::P99(program);
    state.SetLabel("last frame byte out of the amplifier to the paint showing it");
}
BENCHMARK(BM_FrameAgeAtPaint)->Arg(16)->Arg(2)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
