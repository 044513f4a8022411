// Rotations, flips and equalisation run on whole mammograms from the menu and
// must feel immediate: these measure them on a full-field 3328 x 4084 raster
// at 16 and 8 bits (target: at most 40 ms each). Reported as the median of
// several repetitions.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "core/image.h"
#include "core/image_operations.h"

namespace {

using vistrel::CMImage;

constexpr int32_t kWidth = 3328;
constexpr int32_t kHeight = 4084;

// Random texture over most of the range; the operations do not depend on
// image content except for the equalisation table.
CMImage Mammogram(int depth) {
    CMImage image(kWidth, kHeight, depth);
    std::mt19937 rng(777);
    const uint32_t top = depth == 8 ? 255u : 4095u;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t v = (rng() % (top + 1) + uint32_t(x) * top / kWidth) / 2;
            image.SetPixel(x, y, static_cast<int32_t>(v));
        }
    return image;
}

const CMImage& Source(int depth) {
    static const CMImage deep = Mammogram(16);
    static const CMImage byte = Mammogram(8);
    return depth == 8 ? byte : deep;
}

void BM_Rotate(benchmark::State& state) {
    CMImage image(Source(static_cast<int>(state.range(0))));
    const int angle = static_cast<int>(state.range(1));
    for (auto _ : state) {
        vistrel::Rotate(image, angle);
        benchmark::DoNotOptimize(image.data);
    }
}

void BM_FlipHorizontal(benchmark::State& state) {
    CMImage image(Source(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        vistrel::FlipHorizontal(image);
        benchmark::DoNotOptimize(image.data);
    }
}

void BM_FlipVertical(benchmark::State& state) {
    CMImage image(Source(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        vistrel::FlipVertical(image);
        benchmark::DoNotOptimize(image.data);
    }
}

// Includes building the histogram, which the equalisation consumes each time.
void BM_Equalize(benchmark::State& state) {
    CMImage image(Source(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        auto result = vistrel::Equalize(image, vistrel::CRect{}, false);
        benchmark::DoNotOptimize(result.get());
    }
}

void BM_EqualizeRect(benchmark::State& state) {
    CMImage image(Source(static_cast<int>(state.range(0))));
    const vistrel::CRect area{500, 500, 2500, 3500};
    for (auto _ : state) {
        auto result = vistrel::Equalize(image, area, true);
        benchmark::DoNotOptimize(result.get());
    }
}

void Configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
}

}  // namespace

BENCHMARK(BM_Rotate)
    ->ArgNames({"depth", "angle"})
    ->ArgsProduct({{16, 8}, {180, -90, 90}})
    ->Apply(Configure);
BENCHMARK(BM_FlipHorizontal)->ArgName("depth")->Arg(16)->Arg(8)->Apply(Configure);
BENCHMARK(BM_FlipVertical)->ArgName("depth")->Arg(16)->Arg(8)->Apply(Configure);
BENCHMARK(BM_Equalize)->ArgName("depth")->Arg(16)->Arg(8)->Apply(Configure);
BENCHMARK(BM_EqualizeRect)->ArgName("depth")->Arg(16)->Arg(8)->Apply(Configure);
