// The spot detector with its default parameters (scales 3..10 step 2,
// neighbourhoods 3 and 3) on a full-field 12-bit mammogram-sized image and on
// a 1024 x 1024 8-bit MIAS mammogram.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "detection/spot_detector.h"
#include "synthetic_mammogram.h"

namespace {

using vistrel::CMImage;

const CMImage& LargeMammogram() {
    static const CMImage image = [] {
        std::mt19937 rng(1);
        CMImage m = vistrel::bench::MakeTissueImage(rng);
        // Bright specks the size of microcalcifications.
        for (int k = 0; k < 400; ++k) {
            const int cx = 20 + int(rng() % 3280), cy = 20 + int(rng() % 4040);
            const int r = 1 + int(rng() % 4);
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx)
                    if (dx * dx + dy * dy <= r * r) m.Row16(cy + dy)[cx + dx] += 600;
        }
        return m;
    }();
    return image;
}

void Detect(benchmark::State& state, const CMImage& image, bool direct) {
    vistrel::CDetectorOptions options;
    options.useDirect = direct;
    std::size_t spots = 0;
    for (auto _ : state) {
        std::string log;
        auto list = vistrel::CandidateListSSS(image, 3, 10, 2, 3, 3, nullptr, log, options);
        spots = list ? std::size_t(list->Count()) : 0;
        benchmark::DoNotOptimize(list);
    }
    state.counters["spots"] = double(spots);
}

void BM_SpotDetectorLarge(benchmark::State& state) {
    Detect(state, LargeMammogram(), false);
}
void BM_SpotDetectorLargeDirect(benchmark::State& state) {
    Detect(state, LargeMammogram(), true);
}

void BM_SpotDetectorMias(benchmark::State& state) {
    const std::filesystem::path file = std::filesystem::path(__FILE__).parent_path() /
                                       "../../shared/data/mammograms/mias/mdb209.pgm";
    CMImage image;
    std::string description;
    if (image.Open(file.string(), description) != 1) {
        state.SkipWithError("MIAS mammogram not found");
        return;
    }
    Detect(state, image, false);
}

// Seed preparation ("Set seeds" of the segment-from-seeds tool): the path-free
// form with its scales 5..12 step 2 and sides 3 and 5, every strict maximum of
// the first scale a path.
void BM_SeedPreparationLarge(benchmark::State& state) {
    std::size_t seeds = 0;
    for (auto _ : state) {
        std::string log;
        auto list = vistrel::CandidateListSeeds(LargeMammogram(), 5, 12, 2, 3, 5, nullptr, log);
        seeds = list ? std::size_t(list->Count()) : 0;
        benchmark::DoNotOptimize(list);
    }
    state.counters["seeds"] = double(seeds);
}

BENCHMARK(BM_SeedPreparationLarge)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SpotDetectorLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SpotDetectorLargeDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SpotDetectorMias)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
