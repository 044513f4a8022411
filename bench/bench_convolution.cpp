// Convolution of a full-field mammogram (3328 x 4084, 12 bits) with a 7 x 7
// Gaussian (separable) and a general 7 x 7 kernel (direct sum).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "filters/convolution.h"
#include "synthetic_mammogram.h"

namespace {

using vistrel::CFilter;
using vistrel::CMImage;

const CMImage& LargeMammogram() {
    static const CMImage image = [] {
        std::mt19937 rng(1);
        return vistrel::bench::MakeTissueImage(rng);
    }();
    return image;
}

CFilter GeneralKernel7() {
    CFilter f(7, 7);
    std::mt19937 rng(3);
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j) *f.At(i, j) = float(int(rng() % 200) - 100) / 50.0f;
    f.scale = 5.0;
    return f;
}

void Apply(benchmark::State& state, const CFilter& filter, bool direct,
           const vistrel::ProgressFn& progress = {}) {
    const CMImage& source = LargeMammogram();
    CMImage work(source);
    for (auto _ : state) {
        state.PauseTiming();
        work = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            vistrel::ApplyFilter(work, nullptr, filter, false, direct, progress));
    }
}

void BM_ApplyFilterGauss7(benchmark::State& state) {
    Apply(state, vistrel::MakeGaussKernel(1.0), false);
}
void BM_ApplyFilterGauss7Direct(benchmark::State& state) {
    Apply(state, vistrel::MakeGaussKernel(1.0), true);
}
void BM_ApplyFilterGeneral7(benchmark::State& state) {
    Apply(state, GeneralKernel7(), false);
}
// As the workstation runs it: with a progress callback (a bar that only counts).
void BM_ApplyFilterGauss7WithProgress(benchmark::State& state) {
    int reports = 0;
    Apply(state, vistrel::MakeGaussKernel(1.0), false, [&](double) { return ++reports > 0; });
    state.counters["reports"] = benchmark::Counter(reports, benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_ApplyFilterGauss7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyFilterGauss7Direct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyFilterGeneral7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyFilterGauss7WithProgress)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
