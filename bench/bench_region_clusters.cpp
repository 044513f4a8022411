// Clusters of a full-field film's grown candidates, as "&Process Detection"
// makes them after growing: numbering, hull outlines and the evaluation
// against the regions of suspiciousness, together and one at a time, and the
// pruning of implausible regions that "&Remove Bad Regions" runs first.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "detection/region_clusters.h"
#include "synthetic_mammogram.h"

namespace {

using namespace vistrel;

constexpr double kResolution = 583.92;

struct Scene {
    CMImage image;
    CRegions regions;  // candidates, no cluster numbers yet
    CRegions truth;
    CClusterPixelParams params;
};

// 2,000 bright irregular spots 3 to 11 pixels across: 1,200 scattered over
// the film and 800 in 50 groups of 16 within 2 mm, five of the groups inside
// a drawn region of suspiciousness.
const Scene& TheScene() {
    static const std::unique_ptr<Scene> scene = [] {
        auto s = std::make_unique<Scene>();
        std::mt19937 rng(44);
        s->image = bench::MakeTissueImage(rng);
        s->params = InPixels(CClusterParams{}, kResolution);
        std::uniform_int_distribution<int> px(80, s->image.width - 80),
            py(80, s->image.height - 80), near(-23, 23);
        std::uniform_real_distribution<double> radius(1.5, 5.5);
        auto spot = [&](int cx, int cy) {
            const double r = radius(rng);
            std::vector<CPoint> pixels;
            for (int dy = -6; dy <= 6; ++dy)
                for (int dx = -6; dx <= 6; ++dx) {
                    if (dx * dx + dy * dy > r * r + (dx * 7 + dy * 3) % 3) continue;
                    pixels.push_back({cx + dx, cy + dy});
                    s->image.SetPixel(cx + dx, cy + dy, 3000 + int(rng() % 400));
                }
            auto region = std::make_unique<CRegion>(pixels, CRegion::PointsMode::PixelSet);
            region->type = 'm';
            s->regions.Adopt(std::move(region));
        };
        for (int g = 0; g < 50; ++g) {
            const int cx = px(rng), cy = py(rng);
            for (int k = 0; k < 16; ++k) spot(cx + near(rng), cy + near(rng));
            if (g < 5)
                s->truth.Add(CRegion({{cx - 60, cy - 60},
                                      {cx + 60, cy - 50},
                                      {cx + 50, cy + 60},
                                      {cx - 60, cy + 55}},
                                     CRegion::PointsMode::Polygon));
        }
        while (s->regions.Count() < 2000) spot(px(rng), py(rng));
        return s;
    }();
    return *scene;
}

// The whole path on a fresh copy of the candidates, as the command runs it.
void BM_ClusterOutlineEvaluatePath(benchmark::State& state) {
    const Scene& s = TheScene();
    int32_t clusters = 0;
    std::string line;
    for (auto _ : state) {
        state.PauseTiming();
        CRegions regions = s.regions;
        CClusters found;
        std::vector<CClusterRegion> groups;
        line.clear();
        state.ResumeTiming();
        const CRegionClustersResult r =
            RegionClusters(regions, s.image.width, s.image.height, s.params, "mp", found);
        ClusterOutlines(regions, r.clusters, "mp");
        EvaluateRegionClusters(2, kResolution, s.truth, regions, line, 200.0, true, groups);
        clusters = r.clusters;
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["clusters"] = clusters;
    state.SetItemsProcessed(state.iterations() * s.regions.Count());
}
BENCHMARK(BM_ClusterOutlineEvaluatePath)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RegionClusters(benchmark::State& state) {
    const Scene& s = TheScene();
    CRegions regions = s.regions;
    CClusters found;
    for (auto _ : state) {
        const CRegionClustersResult r =
            RegionClusters(regions, s.image.width, s.image.height, s.params, "mp", found);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations() * s.regions.Count());
}
BENCHMARK(BM_RegionClusters)->Unit(benchmark::kMillisecond)->UseRealTime();

struct Clustered {
    CRegions regions;  // numbered, with outlines
    int32_t clusters = 0;
};
const Clustered& TheClusteredScene() {
    static const std::unique_ptr<Clustered> clustered = [] {
        const Scene& s = TheScene();
        auto c = std::make_unique<Clustered>();
        c->regions = s.regions;
        CClusters found;
        c->clusters =
            RegionClusters(c->regions, s.image.width, s.image.height, s.params, "mp", found)
                .clusters;
        ClusterOutlines(c->regions, c->clusters, "mp");
        return c;
    }();
    return *clustered;
}

void BM_ClusterOutlines(benchmark::State& state) {
    const Clustered& c = TheClusteredScene();
    CRegions numbered = c.regions;
    numbered.RemoveClusterOutlines();
    for (auto _ : state) {
        state.PauseTiming();
        CRegions regions = numbered;
        state.ResumeTiming();
        benchmark::DoNotOptimize(ClusterOutlines(regions, c.clusters, "mp"));
    }
    state.counters["clusters"] = c.clusters;
}
BENCHMARK(BM_ClusterOutlines)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EvaluateRegionClusters(benchmark::State& state) {
    const Scene& s = TheScene();
    const Clustered& c = TheClusteredScene();
    std::string line;
    std::vector<CClusterRegion> groups;
    for (auto _ : state) {
        line.clear();
        EvaluateRegionClusters(2, kResolution, s.truth, c.regions, line, 200.0, true, groups);
        benchmark::DoNotOptimize(line.data());
    }
    state.counters["groups"] = double(groups.size());
}
BENCHMARK(BM_EvaluateRegionClusters)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RemoveBadRegions(benchmark::State& state) {
    const Scene& s = TheScene();
    CFeatureSettings settings;
    int32_t deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CRegions regions = s.regions;
        state.ResumeTiming();
        deleted = RemoveBadRegions(regions, s.image, kResolution, settings).deleted;
    }
    state.counters["deleted"] = deleted;
    state.SetItemsProcessed(state.iterations() * s.regions.Count());
}
BENCHMARK(BM_RemoveBadRegions)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
