// One guidance tick drawn into an off-screen image of 1280 x 860 through QPainter, as the
// station's view draws it: per phase, and the stored attempt's dial. Run with
// QT_QPA_PLATFORM=offscreen where there is no display.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "canvas/qpainter_draw_context.h"
#include "bench/guidance_tick_frame.h"
#include "measure/guidance_screen.h"
#include "measure/live_detection.h"

namespace {

using namespace vanta;

void BM_GuidanceTickOnImage(benchmark::State& state) {
    QImage image(1280, 860, QImage::Format_RGB32);
    image.fill(Qt::white);
    const GuidanceLayout g = guidanceLayout(Rect{0, 0, 1280, 860});
    GuidanceScreen screen;
    const GuidanceFrame f = benchGuidanceFrame(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QPainter painter(&image);
        QPainterDrawContext dc(painter);
        benchmark::DoNotOptimize(screen.drawTick(dc, g, f));
    }
}
BENCHMARK(BM_GuidanceTickOnImage)->Arg(PhaseStandStill)->Arg(PhaseReady)->Arg(PhaseStroke)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
