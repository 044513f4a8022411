// Growing one region per seed on a full-field mammogram stand-in: 2,000 seeds
// on bright specks, the
// default parameters (local statistics on each seed's LoG scale, k 1.5, a
// 69-pixel window, 8 directions, join), then each rule on the grey levels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>

#include "detection/grow_from_seeds.h"
#include "detection/spot_detector.h"
#include "synthetic_mammogram.h"

namespace {

using namespace vistrel;

struct CScene {
    CMImage image;
    CSpotList seeds;
};

// Bright specks of radius 1..5 on the tissue; a seed on each of the first
// 2,000 with a scale from its size, its LoG response there, and the LoG mean
// and stdDev of the whole image at the smallest scale, as the detector's
// seeds carry them.
const CScene& Scene() {
    static const CScene scene = [] {
        CScene s;
        std::mt19937 rng(7);
        s.image = bench::MakeTissueImage(rng);
        std::vector<std::pair<CPoint, int>> specks;
        for (int k = 0; k < 2000; ++k) {
            const int cx = 40 + int(rng() % 3240), cy = 40 + int(rng() % 4000);
            const int r = 1 + int(rng() % 5);
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    if (dx * dx + dy * dy <= r * r) s.image.Row16(cy + dy)[cx + dx] += 500;
            specks.push_back({{cx, cy}, r});
        }
        CResponseImage log5;
        ConvolveWithStats(s.image, MakeLoGFilter(5), nullptr, nullptr, true, log5);
        for (const auto& [p, r] : specks) {
            const int scale = 5 + 2 * std::min(3, (r - 1) / 2 + (r > 3));
            const double response = CorrelateAt(s.image, MakeLoGFilter(scale), p.x, p.y);
            CPointResponse seed(p, response, double(scale));
            seed.values = {double(scale), response, 0.0, log5.mean, log5.stdDev};
            s.seeds.Append(seed);
        }
        return s;
    }();
    return scene;
}

void Grow(benchmark::State& state, EGrowAlgorithm algorithm, EGrowInput input) {
    const CMImage& image = Scene().image;
    const CSpotList& seeds = Scene().seeds;
    if (seeds.Count() < 2000) {
        state.SkipWithError("fewer than 2000 seeds");
        return;
    }
    CGrowParams params;
    params.algorithm = algorithm;
    params.input = input;
    params.windowPx = GrowWindowPixels(0.3, true, 583.92);
    CGrowReport report;
    for (auto _ : state) {
        CRegions regions;
        auto grey = GrowFromSeeds(image, seeds, regions, nullptr, params, &report);
        benchmark::DoNotOptimize(grey);
    }
    state.counters["seeds"] = seeds.Count();
    state.counters["added"] = report.regionsAdded;
    state.counters["joined"] = report.joined;
    state.counters["none"] = report.withoutRegion;
}

void BM_GrowDefaults(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::LocalStatistics, EGrowInput::LoGInScales);
}
void BM_GrowLocalStatisticsImage(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::LocalStatistics, EGrowInput::Image);
}
void BM_GrowLocalStatisticsTopHat(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::LocalStatistics, EGrowInput::WhiteTopHat);
}
void BM_GrowMaxSlope(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::MaxSlope, EGrowInput::Image);
}
void BM_GrowLocalMin(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::LocalMin, EGrowInput::Image);
}
void BM_GrowMinSlopeCircles(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::MinSlopeCircles, EGrowInput::Image);
}
void BM_GrowMaxSlopeLoG(benchmark::State& state) {
    Grow(state, EGrowAlgorithm::MaxSlope, EGrowInput::LoGInScales);
}

// The inner kernel: one seed's local-statistics region on a window of values.
void BM_LocalStatisticsRegion(benchmark::State& state) {
    CValueWindow window;
    window.rect = {0, 0, 138, 138};
    std::mt19937 rng(3);
    for (int32_t y = 0; y < 138; ++y)
        for (int32_t x = 0; x < 138; ++x) {
            const double d = std::hypot(x - 69, y - 69);
            window.values.push_back(float((d < 6 ? 400 : 0) + int(rng() % 50)));
        }
    for (auto _ : state) {
        auto region = LocalStatisticsRegion(window, {69, 69}, 69, 1.5, 8);
        benchmark::DoNotOptimize(region);
    }
}

}  // namespace

BENCHMARK(BM_GrowDefaults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowLocalStatisticsImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowLocalStatisticsTopHat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowMaxSlope)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowLocalMin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowMinSlopeCircles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrowMaxSlopeLoG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocalStatisticsRegion)->Unit(benchmark::kMicrosecond);
