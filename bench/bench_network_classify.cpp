// Classifying the regions of a film with a trained network, on a full-field
// stand-in (3328 x 4084, 12 bits) holding 2,000 microcalcification-sized
// regions (discs of radius 2..5 pixels, brighter than the tissue): the
// network masks the training dialog's 36 features, or the 24 of them that
// are not co-occurrence texture (whose matrices are most of the cost).
// The network pass alone is timed over the same regions' vectors.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "classification/network_features.h"
#include "regions/region_features.h"
#include "bright_disc.h"
#include "synthetic_mammogram.h"

namespace {

using namespace vistrel;

struct CFilm {
    CMImage image;
    CRegions regions;
    CFeatureSettings settings;

    CFilm() {
        std::mt19937 rng(11);
        image = bench::MakeTissueImage(rng);
        // 50 x 40 discs on a jittered grid.
        for (int row = 0; row < 40; ++row) {
            for (int col = 0; col < 50; ++col) {
                const int cx = 40 + col * 65 + int(rng() % 9), cy = 50 + row * 100 + int(rng() % 9);
                const int r = 2 + int(rng() % 4);
                const std::vector<CPoint> pixels = bench::BrightenDisc(image, cx, cy, r);
                regions.Add(CRegion(pixels, CRegion::PointsMode::PixelSet));
            }
        }
        image.InvalidateHistogram();
    }
};

CFilm& Film() {
    static CFilm* film = new CFilm;
    return *film;
}

BPNN BoxNetwork(const CFeatureSettings& settings, bool texture) {
    std::vector<std::string> chosen;
    for (const CNetworkFeatureBox& box : NetworkFeatureBoxes()) {
        const std::string feature = box.feature;
        const bool isTexture =
            feature.size() > 5 && feature.ends_with("_Mean") && feature != "Edge_Strength_Mean";
        if (texture || !isTexture) chosen.push_back(feature);
    }
    std::vector<uint8_t> mask;
    MaskFromNames(NetworkFeatureNames(settings), chosen, mask);
    return BPNN(static_cast<int32_t>(chosen.size()), 10, 1, false, mask.data(),
                static_cast<int32_t>(mask.size()), 3u);
}

void BM_ClassifyRegions(benchmark::State& state) {
    CFilm& film = Film();
    BPNN network = BoxNetwork(film.settings, state.range(0) != 0);
    if (!network.IsValid()) state.SkipWithError("invalid network");
    int32_t classified = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t i = 0; i < film.regions.Count(); ++i) film.regions.At(i)->nnDiagnosis = ' ';
        state.ResumeTiming();
        classified = ClassifyRegions(network, 0.5, film.regions, film.image, film.settings);
        if (classified != film.regions.Count()) state.SkipWithError("regions left unclassified");
    }
    state.counters["regions"] = classified;
    state.counters["inputs"] = network.NIn();
}
BENCHMARK(BM_ClassifyRegions)
    ->ArgName("texture")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ClassifyVectors(benchmark::State& state) {
    CFilm& film = Film();
    BPNN network = BoxNetwork(film.settings, true);
    std::vector<std::vector<double>> vectors(size_t(film.regions.Count()));
    for (int32_t i = 0; i < film.regions.Count(); ++i)
        if (RegionNetworkVector(*film.regions.At(i), film.image, network, film.settings,
                                vectors[size_t(i)]) < 0)
            state.SkipWithError("no vector");
    for (auto _ : state) {
        int32_t trues = 0;
        for (const std::vector<double>& v : vectors)
            trues +=
                network.ClassifyFeatures(v.data(), static_cast<int32_t>(v.size()), 0.5) == kNnTrue;
        benchmark::DoNotOptimize(trues);
    }
    state.counters["regions"] = double(vectors.size());
}
BENCHMARK(BM_ClassifyVectors)->Unit(benchmark::kMillisecond);

}  // namespace
