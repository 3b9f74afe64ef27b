// Repainting the curve graph of a 60000-sample window into an 800 x 600 image, as the
// screen does on every cursor click: drawn per plot column, and line by line (the
// reference). Run: build/bench/vanta_graph_bench
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

#include "canvas/qpainter_draw_context.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_layout.h"

namespace {

using namespace vanta;

struct LongWindow {
    std::unique_ptr<TestRecord> test = std::make_unique<TestRecord>();
    GraphSettings settings;  // autoscale On: every repaint also scans the window
    GraphViewState view;

    LongWindow() {
        fillDemoTest(*test, {1, kMaxSamples, 3});
        analyseRepetition(*test, 0);
        view.y1 = 0;
        view.y2 = 3;
        view.windowStart = view.cursorLeft = 0;
        view.windowEnd = view.cursorRight = kMaxSamples;
    }
};

void repaint(benchmark::State& state, CurveDrawing how) {
    LongWindow w;
    QImage image(800, 600, QImage::Format_RGB32);
    const CurveGraphRenderer renderer(how);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        QPainterDrawContext dc(painter);
        renderer.draw(dc, kPlotRect, *w.test, w.settings, w.view);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetItemsProcessed(state.iterations() * kMaxSamples);
}

void BM_CurveGraph_Decimated(benchmark::State& state) { repaint(state, CurveDrawing::Auto); }
BENCHMARK(BM_CurveGraph_Decimated)->Unit(benchmark::kMillisecond);

void BM_CurveGraph_SegmentBySegment(benchmark::State& state) { repaint(state, CurveDrawing::SegmentBySegment); }
BENCHMARK(BM_CurveGraph_SegmentBySegment)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // Fonts and images need a GUI application; without a display the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
