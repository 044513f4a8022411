// Point clustering on mammogram-sized images: the clustering alone, and the
// path a threshold slider move takes (spot selection, then clustering).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "detection/clustering.h"
#include "detection/point_response.h"

using namespace vistrel;

namespace {

constexpr int kWidth = 3328;
constexpr int kHeight = 4084;

// Mostly scattered spots with some dense groups (microcalcification clusters
// of 15..40 spots within 2..6 mm), each with the detector's seven values and
// a response between 0 and 100.
CSpotList MammogramSpots(int count, double res) {
    std::mt19937 gen(4711);
    std::uniform_int_distribution<int> px(0, kWidth - 1), py(0, kHeight - 1), members(15, 40);
    std::uniform_real_distribution<double> response(0.0, 100.0), unit(-1.0, 1.0);
    CSpotList spots;
    spots.Reserve(std::size_t(count));
    auto add = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
        const double r = response(gen);
        CPointResponse spot({x, y}, r, 3.0);
        for (double v : {r, r * r, 1.0, 4.0, 1.0, 4.0}) spot.Append(v);
        spots.Append(std::move(spot));
    };
    while (spots.Count() < count * 3 / 4) add(px(gen), py(gen));
    while (spots.Count() < count) {
        const int cx = px(gen), cy = py(gen), n = members(gen);
        const double radius = (2.0 + 4.0 * (unit(gen) + 1.0) / 2.0) * res / 25.4;
        for (int i = 0; i < n && spots.Count() < count; ++i)
            add(cx + int(unit(gen) * radius), cy + int(unit(gen) * radius));
    }
    return spots;
}

// Args: point count, resolution in dpi.
void BM_MakeClusters(benchmark::State& state) {
    const double res = double(state.range(1));
    const CSpotList spots = MammogramSpots(int(state.range(0)), res);
    const CClusterPixelParams params = InPixels(CClusterParams{}, res);
    CClusters clusters;
    int64_t kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CSpotList points = spots;
        state.ResumeTiming();
        MakeClusters(clusters, points, kWidth, kHeight, params);
        kept = points.Count();
        benchmark::DoNotOptimize(clusters.Count());
    }
    state.counters["clusters"] = double(clusters.Count());
    state.counters["clustered"] = double(kept);
    state.counters["diameter_px"] = params.diameterPx;
}
BENCHMARK(BM_MakeClusters)
    ->Args({5000, 254})
    ->Args({5000, 584})
    ->Args({20000, 254})
    ->Unit(benchmark::kMillisecond);

// The labels only, with the separation pass on.
void BM_ClusterPointLabelsSeparated(benchmark::State& state) {
    const double res = double(state.range(1));
    const CSpotList spots = MammogramSpots(int(state.range(0)), res);
    std::vector<CPoint> points;
    for (int32_t i = 0; i < spots.Count(); ++i) points.push_back(spots[i].Point());
    CClusterParams cm;
    cm.minSeparated = 3;
    const CClusterPixelParams params = InPixels(cm, res);
    for (auto _ : state)
        benchmark::DoNotOptimize(ClusterPointLabels(points, kWidth, kHeight, params));
}
BENCHMARK(BM_ClusterPointLabelsSeparated)->Args({5000, 254})->Unit(benchmark::kMillisecond);

// A slider move: select from 20,000 spots by response, cluster the selection.
// Args: threshold, resolution.
void BM_SpotClusters(benchmark::State& state) {
    const double res = double(state.range(1));
    const CSpotList spots = MammogramSpots(20000, res);
    const CClusterPixelParams params = InPixels(CClusterParams{}, res);
    CClusters clusters;
    CSpotList out;
    for (auto _ : state) {
        SpotClusters(kWidth, kHeight, clusters, out, spots, false, double(state.range(0)), -1, -1,
                     params);
        benchmark::DoNotOptimize(out.Count());
    }
    state.counters["selected_clustered"] = double(out.Count());
    state.counters["clusters"] = double(clusters.Count());
}
BENCHMARK(BM_SpotClusters)
    ->Args({0, 254})
    ->Args({50, 254})
    ->Args({50, 584})
    ->Unit(benchmark::kMillisecond);

}  // namespace
