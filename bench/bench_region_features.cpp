// Region features of a full-field film's microcalcification candidates: the
// whole collection through ComputeAllRegionFeatures, one region at a time on
// one thread, and the Fourier shape measure alone.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "regions/fourier_shape.h"
#include "regions/region_features.h"
#include "regions/texture.h"
#include "synthetic_mammogram.h"

namespace {

using namespace vistrel;

struct Scene {
    CMImage image;
    CRegions regions;
    CFeatureSettings settings;
    CFeatureSelection selection;
};

// 2,000 bright irregular spots, 3 to 15 pixels across, scattered over the film.
const Scene& TheScene() {
    static const std::unique_ptr<Scene> scene = [] {
        auto s = std::make_unique<Scene>();
        std::mt19937 rng(15);
        s->image = bench::MakeTissueImage(rng);
        std::uniform_int_distribution<int> px(20, s->image.width - 20),
            py(20, s->image.height - 20);
        std::uniform_real_distribution<double> radius(1.5, 7.5), squash(0.6, 1.0);
        while (s->regions.Count() < 2000) {
            const int cx = px(rng), cy = py(rng);
            const double r = radius(rng), q = squash(rng);
            std::vector<CPoint> pixels;
            for (int dy = -8; dy <= 8; ++dy)
                for (int dx = -8; dx <= 8; ++dx) {
                    const double e = (dx * dx) / (r * r) + (dy * dy) / (r * r * q * q);
                    if (e > 1.0 + 0.2 * ((dx * 7 + dy * 3) % 3) / 3.0) continue;
                    pixels.push_back({cx + dx, cy + dy});
                    s->image.SetPixel(cx + dx, cy + dy, 3000 + int(rng() % 400));
                }
            auto region = std::make_unique<CRegion>(pixels, CRegion::PointsMode::PixelSet);
            region->scale = 2;
            region->response = 0.5;
            s->regions.Adopt(std::move(region));
        }
        s->selection = DefaultFeatureSelection(s->settings);
        return s;
    }();
    return *scene;
}

void BM_AllRegionFeatures(benchmark::State& state) {
    const Scene& s = TheScene();
    std::vector<CFeatureVector> out;
    for (auto _ : state) {
        ComputeAllRegionFeatures(s.regions, s.image, s.selection, s.settings, false, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["features"] = double(out.empty() ? 0 : out.front().Size());
    state.SetItemsProcessed(state.iterations() * s.regions.Count());
}
BENCHMARK(BM_AllRegionFeatures)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with the co-occurrence names off: what the texture group costs.
void BM_AllRegionFeaturesWithoutTexture(benchmark::State& state) {
    const Scene& s = TheScene();
    CFeatureSelection selection = s.selection;
    for (const std::string& name : CoocurrenceFeatureNames(s.settings.coocurrenceDistance))
        selection.Set(name, false);
    std::vector<CFeatureVector> out;
    for (auto _ : state) {
        ComputeAllRegionFeatures(s.regions, s.image, selection, s.settings, false, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["features"] = double(out.empty() ? 0 : out.front().Size());
    state.SetItemsProcessed(state.iterations() * s.regions.Count());
}
BENCHMARK(BM_AllRegionFeaturesWithoutTexture)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneRegionFeaturesSingleThread(benchmark::State& state) {
    const Scene& s = TheScene();
    CFeatureVector v;
    int32_t i = 0;
    for (auto _ : state) {
        ComputeRegionFeatures(*s.regions.At(i), s.image, s.selection, s.settings, v);
        benchmark::DoNotOptimize(v.values.data());
        i = (i + 1) % s.regions.Count();
    }
}
BENCHMARK(BM_OneRegionFeaturesSingleThread)->Unit(benchmark::kMicrosecond);

void BM_FourierShapeFactor(benchmark::State& state) {
    const Scene& s = TheScene();
    int32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FourierShapeFactor(s.regions.At(i)->Boundary()));
        i = (i + 1) % s.regions.Count();
    }
}
BENCHMARK(BM_FourierShapeFactor)->Unit(benchmark::kMicrosecond);

}  // namespace
