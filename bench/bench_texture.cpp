// Co-occurrence features and the SRDM on the areas the workstation measures:
// a 512 x 512 region of interest ("Compute GLCM", the SRDM command) and the
// many small rings around extracted regions.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "regions/texture.h"
#include "regions/texture_detail.h"
#include "synthetic_mammogram.h"

using namespace vistrel;

namespace {

// Smooth tissue spanning about `span` levels plus film noise.
CMImage MakeRoi(int depth, int span, int noise, unsigned seed) {
    std::mt19937 rng(seed);
    CMImage m(512, 512, depth);
    const double half = (span - noise) / 2.0;
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const double tissue = half * (1 + std::sin(x / 61.0) * std::cos(y / 47.0));
            m.SetPixel(x, y, int(tissue) + int(rng() % unsigned(noise)));
        }
    return m;
}

// CPU seconds of every thread of the process: the ROI work runs the four
// directions on two threads, whose second thread the benchmark's own CPU
// column does not see, and wall time on a shared machine says little.
double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

int64_t Levels(const CMImage& m) {
    std::set<int> levels;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) levels.insert(uint16_t(m.GetPixel(x, y)));
    return int64_t(levels.size());
}

const CMImage& Roi12() {
    static const CMImage m = MakeRoi(12, 3140, 60, 1);
    return m;
}
const CMImage& Roi8() {
    static const CMImage m = MakeRoi(8, 256, 24, 2);
    return m;
}

void BM_CoocurrenceFeatures_Roi(benchmark::State& state, const CMImage& roi) {
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        CFeatureVector out;
        if (!CoocurrenceFeatures(roi, CRect{0, 0, roi.width, roi.height}, 1, out))
            state.SkipWithError("no features");
        benchmark::DoNotOptimize(out.values.data());
    }
    state.counters["all_threads_cpu_ms"] =
        1e3 * (ProcessCpuSeconds() - cpu0) / double(state.iterations());
    state.counters["levels"] = double(Levels(roi));
}
BENCHMARK_CAPTURE(BM_CoocurrenceFeatures_Roi, 512x512_12bit, Roi12())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CoocurrenceFeatures_Roi, 512x512_8bit, Roi8())->Unit(benchmark::kMillisecond);

// The kernel alone: one form forced, the four matrices built and computed.
void BM_GlcmForm(benchmark::State& state, const CMImage& roi, detail::GlcmForm form) {
    for (auto _ : state) {
        auto glcms = detail::BuildGLCMsAs(roi, CRect{0, 0, roi.width, roi.height}, 1, form);
        if (!glcms) {
            state.SkipWithError("refused");
            break;
        }
        for (CGLCM& m : *glcms) m.ComputeFeatures();
        benchmark::DoNotOptimize(glcms->data());
    }
}
BENCHMARK_CAPTURE(BM_GlcmForm, 12bit_sparse, Roi12(), detail::GlcmForm::Sparse)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GlcmForm, 8bit_dense, Roi8(), detail::GlcmForm::Dense)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GlcmForm, 8bit_sparse, Roi8(), detail::GlcmForm::Sparse)
    ->Unit(benchmark::kMillisecond);

// Region features: 2,000 rings (a ~10 x 10 region grown by 5 on every side)
// spread over a full mammogram.
void BM_CoocurrenceFeatures_2000RegionRings(benchmark::State& state) {
    static const CMImage film = [] {
        std::mt19937 rng(7);
        return bench::MakeTissueImage(rng);
    }();
    std::mt19937 rng(3);
    std::vector<CRect> rects;
    for (int k = 0; k < 2000; ++k) {
        const int w = 16 + int(rng() % 9), h = 16 + int(rng() % 9);
        const int x = int(rng() % unsigned(film.width - w)),
                  y = int(rng() % unsigned(film.height - h));
        rects.push_back(CRect{x, y, x + w, y + h});
    }
    for (auto _ : state) {
        for (const CRect& r : rects) {
            CFeatureVector out;
            CoocurrenceFeatures(film, r, 1, out);
            benchmark::DoNotOptimize(out.values.data());
        }
    }
    // Seconds per call.
    state.counters["per_call"] =
        benchmark::Counter(double(state.iterations()) * 2000,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CoocurrenceFeatures_2000RegionRings)->Unit(benchmark::kMillisecond);

void BM_BuildSRDM_Roi(benchmark::State& state) {
    const CMImage& roi = Roi12();
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        auto srdm = BuildSRDM(roi, kSrdmInner, kSrdmMiddle, kSrdmOuter, kSrdmMargin,
                              CRect{0, 0, roi.width, roi.height});
        double h, v, d, g;
        srdm->GetFeatures(h, v, d, g);
        benchmark::DoNotOptimize(h + v + d + g);
    }
    state.counters["all_threads_cpu_ms"] =
        1e3 * (ProcessCpuSeconds() - cpu0) / double(state.iterations());
}
BENCHMARK(BM_BuildSRDM_Roi)->Unit(benchmark::kMillisecond);

}  // namespace
