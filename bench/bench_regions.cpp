// Region extraction on a mammogram-sized binary image and point-in-region
// tests on a long outline.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/image.h"
#include "regions/extract_regions.h"
#include "regions/region.h"

using namespace vistrel;

namespace {

constexpr int kWidth = 3328;
constexpr int kHeight = 4084;

// About 10 000 objects: discs, ellipses and rectangles of 2..9 pixels radius,
// some overlapping into larger irregular objects.
const CMImageBase& ObjectImage(int depth) {
    static CMImageBase images[2];
    CMImageBase& image = images[depth == 1 ? 0 : 1];
    if (image.IsValid()) return image;
    image.Create(kWidth, kHeight, depth, 1);
    const int value = depth == 1 ? 1 : 255;
    std::mt19937 gen(2024);
    std::uniform_int_distribution<int> px(0, kWidth - 1), py(0, kHeight - 1), kind(0, 2),
        radius(2, 9);
    for (int n = 0; n < 13000; ++n) {
        const int cx = px(gen), cy = py(gen), k = kind(gen), rx = radius(gen);
        const int ry = k == 1 ? radius(gen) : rx;
        for (int y = -ry; y <= ry; ++y)
            for (int x = -rx; x <= rx; ++x) {
                const double e = double(x * x) / (rx * rx) + double(y * y) / (ry * ry);
                if (k == 2 || e <= 1.0) image.SetPixel(cx + x, cy + y, value);
            }
    }
    return image;
}

void BM_ExtractRegions(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    const int connectivity = static_cast<int>(state.range(1));
    const CMImageBase& image = ObjectImage(depth);
    int regions = 0;
    for (auto _ : state) {
        auto result = ExtractRegions(image, depth == 1 ? 1 : 255, connectivity);
        regions = result ? result->Count() : -1;
        benchmark::DoNotOptimize(result);
    }
    state.counters["regions"] = regions;
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(kWidth) * kHeight / 1e6 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExtractRegions)
    ->Args({8, 8})
    ->Args({8, 4})
    ->Args({1, 8})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// A wavy closed outline of about 2000 x 2000 pixels and tens of thousands of
// chain codes.
CRegion LongOutline() {
    std::vector<CPoint> vertices;
    for (int i = 0; i < 3600; ++i) {
        const double a = i * M_PI / 1800.0;
        const double r = 1000.0 + 120.0 * std::sin(9.0 * a) + 60.0 * std::cos(90.0 * a);
        vertices.push_back({static_cast<int32_t>(1200 + r * std::cos(a)),
                            static_cast<int32_t>(1200 + r * std::sin(a))});
    }
    return CRegion(vertices, CRegion::PointsMode::Polygon);
}

void BM_ContainsLongOutline(benchmark::State& state) {
    const CRegion outline = LongOutline();
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> coord(0, 2400);
    std::vector<CPoint> points(100000);
    for (CPoint& p : points) p = {coord(gen), coord(gen)};
    int64_t inside = 0;
    for (auto _ : state) {
        // A fresh copy: the per-row index is built inside the timing.
        CRegion region(outline);
        inside = 0;
        for (const CPoint& p : points) inside += region.Contains(p.x, p.y);
        benchmark::DoNotOptimize(inside);
    }
    state.counters["chain"] = static_cast<double>(outline.Chain().size());
    state.counters["inside"] = static_cast<double>(inside);
}
BENCHMARK(BM_ContainsLongOutline)->Unit(benchmark::kMillisecond);

void BM_PixelsLongOutline(benchmark::State& state) {
    const CRegion outline = LongOutline();
    size_t pixels = 0;
    for (auto _ : state) {
        CRegion region(outline);
        pixels = region.Pixels().size();
        benchmark::DoNotOptimize(pixels);
    }
    state.counters["pixels"] = static_cast<double>(pixels);
}
BENCHMARK(BM_PixelsLongOutline)->Unit(benchmark::kMillisecond);

}  // namespace
