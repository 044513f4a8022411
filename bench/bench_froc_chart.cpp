// Writing an FROC chart after an evaluation sweep: the layout alone, the SVG
// text, and saving PNG and SVG files as the command-line tool does, from a
// short sweep up to a dense one of thousands of thresholds.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "core/froc_chart.h"
#include "core/froc_chart_painting.h"

namespace {

using namespace vistrel;

// PNG text needs the fonts of a QGuiApplication.
void EnsureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_froc_chart";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
}

// A saturating curve: as the threshold falls, false positives grow
// exponentially and sensitivity approaches 1.
CFrocChart Sweep(int points) {
    CFrocChart chart{"Sweep", {}, 120, 95};
    for (int i = 0; i < points; ++i) {
        const double t = 1.0 - (i + 0.5) / points;
        const double fp = 0.005 * std::exp(8.0 * (1.0 - t));
        chart.points.push_back({t, 1.0 - 0.8 * std::exp(-2.5 * fp), fp});
    }
    return chart;
}

// Per process, so that benchmarks run side by side do not replace each other's file.
std::string Scratch(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + "_" + name))
        .string();
}

void BM_LayoutFrocChart(benchmark::State& state) {
    const CFrocChart chart = Sweep(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CFrocLayout layout = LayoutFrocChart(chart, {0, 0, 960, 720});
        benchmark::DoNotOptimize(layout.curve.data());
    }
}
BENCHMARK(BM_LayoutFrocChart)->Arg(20)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_FrocChartSvg(benchmark::State& state) {
    const CFrocChart chart = Sweep(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string svg = FrocChartSvg(chart, 960, 720);
        benchmark::DoNotOptimize(svg.data());
    }
}
BENCHMARK(BM_FrocChartSvg)->Arg(20)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_RenderFrocChart(benchmark::State& state) {
    EnsureGuiApplication();
    const CFrocChart chart = Sweep(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QImage picture = RenderFrocChart(chart, QSize(960, 720));
        if (picture.isNull()) state.SkipWithError("no picture");
        benchmark::DoNotOptimize(picture.constBits());
    }
}
BENCHMARK(BM_RenderFrocChart)->Arg(20)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_SaveFrocChart(benchmark::State& state, const char* name) {
    EnsureGuiApplication();
    const CFrocChart chart = Sweep(static_cast<int>(state.range(0)));
    const std::string path = Scratch(name);
    std::string error;
    for (auto _ : state)
        if (!SaveFrocChart(chart, path, error)) state.SkipWithError(error.c_str());
    std::filesystem::remove(path);
}
BENCHMARK_CAPTURE(BM_SaveFrocChart, png, "bench_froc_chart.png")
    ->Arg(20)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveFrocChart, svg, "bench_froc_chart.svg")
    ->Arg(20)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
