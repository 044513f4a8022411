// Convolution of a full-field mammogram (3328 x 4084, 12 bits) with a 7 x 7
// Gaussian (separable) and a general 7 x 7 kernel (direct sum).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "filters/convolution.h"

namespace {

using vistrel::CFilter;
using vistrel::CMImage;

const CMImage& LargeMammogram() {
    static const CMImage image = [] {
        CMImage m;
        m.Create(3328, 4084, 12, 1);
        std::mt19937 rng(1);
        for (int y = 0; y < m.height; ++y) {
            uint16_t* row = m.Row16(y);
            for (int x = 0; x < m.width; ++x) {
                const double tissue = 1500 + 900 * std::sin(x / 300.0) * std::cos(y / 410.0);
                row[x] = static_cast<uint16_t>(tissue + (rng() % 64));
            }
        }
        return m;
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

void Apply(benchmark::State& state, const CFilter& filter, bool direct) {
    const CMImage& source = LargeMammogram();
    CMImage work(source);
    for (auto _ : state) {
        state.PauseTiming();
        work = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(vistrel::ApplyFilter(work, nullptr, filter, false, direct));
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

BENCHMARK(BM_ApplyFilterGauss7)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyFilterGauss7Direct)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ApplyFilterGeneral7)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
