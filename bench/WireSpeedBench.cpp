// End-to-end runs against the simulated amplifier at wire speed (11,520 bytes
// per second each way, real clock), each set against the physical limit of
// the 115200-baud link:
//
//   BM_PollTransaction   one poll transaction (purge, query out, display frame
//                        in) after another, as the poll thread runs it;
//   BM_PollCycle         the display window's own poll thread: transaction,
//                        frame handler (draw, lamps, repaint), 80 ms sleep;
//   BM_FirmwareTransfer  a 64-block package through the update engine, with
//                        the 3000 ms time-outs the update action sets.
//
// The counters carry the figures; "ratio" is measured time over the limit.
// Each runs twice: with the chip's latency timer at its default of 16 ms
// (/16) and as the link configuration sets it (/2).
// Each run is kept short: the machine is shared.
#include "BenchPackage.h"
#include "Execunit.h"
#include "FrameClock.h"
#include "LampPanel.h"
#include "WireLimits.h"
#include "Mainform.h"
#include "link/LinkConfig.h"
#include "link/Timeouts.h"
#include "protocol/Frames.h"
#include "sim/SimDriver.h"
#include "toolkit/Clock.h"
#include "update/Package.h"
#include "update/PackageFile.h"
#include "update/Transfer.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

using bench::kFrameLimitMs;

double Seconds(Steady::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// A simulated amplifier at wire speed on the real clock, opened and
// configured the way a successful connect leaves the link, then with the
// chip's latency timer at latencyTimerMs.
struct WireLink {
    explicit WireLink(std::int64_t latencyTimerMs)
    {
        sim::SimOptions options;
        options.clock = &clock;
        options.wireSpeed = true;
        options.recordCalls = false;
        driver = std::make_unique<sim::SimDriver>(options);
        if (driver->FT_Open(0, &handle) != FT_OK)
            throw std::runtime_error("the simulated amplifier did not open");
        ConfigureLink(*driver, handle);
        driver->FT_SetLatencyTimer(handle, static_cast<UCHAR>(latencyTimerMs));
    }
    ~WireLink() { driver->FT_Close(handle); }

    SystemClock clock;
    std::unique_ptr<sim::SimDriver> driver;
    FT_HANDLE handle = nullptr;
};

void BM_PollTransaction(benchmark::State& state)
{
    WireLink link(state.range(0));
    std::array<std::uint8_t, protocol::kReceiveBufferSize> rx{};
    std::uint8_t lamp = 0;
    std::int64_t valid = 0;
    const Steady::time_point start = Steady::now();
    for (auto _ : state) {
        if (protocol::PollOnce(*link.driver, link.handle, rx.data(), lamp) == protocol::FrameOutcome::Valid)
            ++valid;
    }
    const double elapsed = Seconds(Steady::now() - start);
    if (valid == 0) {
        state.SkipWithError("no valid display frame");
        return;
    }
    const double msPerFrame = 1000.0 * elapsed / static_cast<double>(valid);
    state.counters["frames"] = static_cast<double>(valid);
    state.counters["ms_per_frame"] = msPerFrame;
    state.counters["limit_ms"] = kFrameLimitMs;
    state.counters["ratio"] = msPerFrame / kFrameLimitMs;
    state.counters["bytes_in"] = benchmark::Counter(static_cast<double>(valid) * bench::kFrameBytes);
    state.counters["bytes_out"] = benchmark::Counter(static_cast<double>(valid) * bench::kQueryBytes);
    state.SetLabel("limit: 371 frame bytes at 11,520 bytes/s");
}
BENCHMARK(BM_PollTransaction)->Arg(16)->Arg(2)->Iterations(24)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PollCycle(benchmark::State& state)
{
    // The window reads its settings when it is created; never the user's.
    QTemporaryDir dir;
    const bool hadSettings = qEnvironmentVariableIsSet("VORLINQ_SETTINGS");
    const QByteArray settings = qgetenv("VORLINQ_SETTINGS");
    qputenv("VORLINQ_SETTINGS", dir.filePath("bench.ini").toLocal8Bit());
    WireLink link(state.range(0));
    constexpr int kCycles = 12;
    double msPerCycle = 0;
    for (auto _ : state) {
        TForm1 form(link.driver.get(), true);
        bench::FrameClock frames(form);
        form.LampPanels.push_back(&frames);
        form.show();
        form.USBHandle = link.handle;
        form.OnLine = true;
        form.StartPolling();
        // Hand-overs and paints run here, as in the program's event loop,
        // which sleeps until an event comes (no busy main thread).
        while (frames.times.size() < kCycles + 1)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        form.StopPolling();
        form.OnLine = false;
        QCoreApplication::processEvents(); // releases the ended poll thread
        form.LampPanels.clear();
        // From the first frame to the last: whole cycles only.
        msPerCycle = 1000.0 * Seconds(frames.times.back() - frames.times.front()) / kCycles;
    }
    if (hadSettings)
        qputenv("VORLINQ_SETTINGS", settings);
    else
        qunsetenv("VORLINQ_SETTINGS");
    const double limitMs = kFrameLimitMs + TExecThread::kPollSleepMs;
    state.counters["cycles"] = kCycles;
    state.counters["ms_per_cycle"] = msPerCycle;
    state.counters["limit_ms"] = limitMs;
    state.counters["ratio"] = msPerCycle / limitMs;
    state.SetLabel("limit: 371 frame bytes at 11,520 bytes/s + 80 ms poll sleep");
}
BENCHMARK(BM_PollCycle)->Arg(16)->Arg(2)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_FirmwareTransfer(benchmark::State& state)
{
    constexpr int kBlocks = 64;
    QTemporaryDir dir;
    const std::string path = bench::WritePackage(dir.filePath("bench.pk1").toStdString(), kBlocks);

    const double wireLimit = bench::UpdateWireLimitS(kBlocks);
    const double drainLimit = bench::kUpdateDrainLimitS;

    double total = 0;
    double drain = 0;
    double wire = 0;
    bool completed = false;
    for (auto _ : state) {
        WireLink link(state.range(0));
        // As the update action leaves the link: announce, update time-outs.
        protocol::SendCommand(*link.driver, link.handle, protocol::kUpdateAnnounceCode);
        link.driver->FT_SetTimeouts(link.handle, kUpdateTimeoutMs, kUpdateTimeoutMs);
        update::PackageFile file;
        Steady::time_point started;
        const Steady::time_point start = Steady::now();
        update::UpdateTransfer transfer(*link.driver, link.handle, file, path, [&](const std::string& text) {
            if (text == update::kStatusStarting)
                started = Steady::now();
        });
        transfer.Run();
        const Steady::time_point end = Steady::now();
        total = Seconds(end - start);
        drain = Seconds(started - start);
        wire = Seconds(end - started);
        auto lock = link.driver->Lock();
        completed = link.driver->Device().UpdateCompleted() &&
                    link.driver->Device().ReceivedImage().size() == static_cast<std::size_t>(kBlocks);
    }
    if (!completed) {
        state.SkipWithError("the amplifier did not complete the update");
        return;
    }
    state.counters["blocks"] = kBlocks;
    state.counters["bytes_out"] = bench::UpdateBytesOut(kBlocks);
    state.counters["bytes_in"] = bench::UpdateBytesIn(kBlocks);
    state.counters["total_s"] = total;
    state.counters["limit_s"] = wireLimit + drainLimit;
    state.counters["ratio"] = total / (wireLimit + drainLimit);
    // The two parts: validation with its drain, then the transfer proper.
    state.counters["drain_s"] = drain;
    state.counters["wire_s"] = wire;
    state.counters["wire_limit_s"] = wireLimit;
    state.counters["wire_ratio"] = wire / wireLimit;
    state.SetLabel("limit: bytes both ways at 11,520 bytes/s + one 3 s read time-out ending the input drain");
}
BENCHMARK(BM_FirmwareTransfer)->Arg(16)->Arg(2)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
