// Frame to raster and raster to window: the two steps of every poll cycle's
// repaint, at the largest window preset (1424 x 488 outer size). The paints
// are timed by the wall clock and the whole process's CPU time, because the
// toolkit may spread a large image operation over its worker threads.
#include "display/FrameDrawing.h"
#include "display/Raster.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <array>
#include <cstdint>

namespace {

// A busy screen: every cell a different glyph, every column with some
// inverse rows.
std::array<std::uint8_t, 360> BusyFrame()
{
    std::array<std::uint8_t, 360> rx{};
    for (int i = 0; i < 320; ++i) {
        rx[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 13);
    }
    for (int c = 0; c < 40; ++c) {
        rx[static_cast<std::size_t>(320 + c)] = static_cast<std::uint8_t>(c * 37);
    }
    return rx;
}

// The drawing area of the largest preset: outer 1424 x 488 less the window
// frame, menu bar, borders and status bar, roughly.
constexpr int kAreaWidth = 1416;
constexpr int kAreaHeight = 430;

void BM_FrameToRaster(benchmark::State& state)
{
    display::Raster raster;
    raster.SetColours(0xFFFF9D, 0);
    const auto rx = BusyFrame();
    for (auto _ : state) {
        display::DrawDisplayFrame(raster, rx.data());
        benchmark::DoNotOptimize(raster.ScanLine(0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameToRaster);

enum class Source { Copy32, View24 };

// The window's paint: a stretch of the raster into a 32-bit target, as a
// widget's back buffer would be. The window paints the 32-bit copy with a
// plain (nearest-pixel) stretch; the other cases show what the copy saves and
// what smoothing would cost.
void BM_RasterToWindow(benchmark::State& state, Source source, bool smooth)
{
    display::Raster raster;
    raster.SetColours(0xFFFF9D, 0);
    const auto rx = BusyFrame();
    display::DrawDisplayFrame(raster, rx.data());
    QImage target(kAreaWidth, kAreaHeight, QImage::Format_RGB32);
    const QRect area(0, 0, kAreaWidth, kAreaHeight);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.drawImage(area, source == Source::Copy32 ? raster.ToImage() : raster.View());
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_CAPTURE(BM_RasterToWindow, plain, Source::Copy32, false)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_RasterToWindow, smooth, Source::Copy32, true)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_RasterToWindow, plain_from_24bit, Source::View24, false)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_RasterToWindow, smooth_from_24bit, Source::View24, true)->MeasureProcessCPUTime()->UseRealTime();

} // namespace
