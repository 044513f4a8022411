// The breast outline of a full-field mammogram (3328 x 4084, 16 bits): the
// segmentation run alone (its whole-image histogram included), and the
// document's path: outline, mask, histogram under the mask.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "core/image.h"
#include "detection/breast_segment.h"
#include "filters/morph_se.h"
#include "filters/morphology.h"

namespace {

using namespace vistrel;

// Tissue in a half ellipse against the left edge, brighter towards the chest
// wall and textured; a dark, noisy background elsewhere.
const CMImage& Mammogram() {
    static const CMImage image = [] {
        CMImage m(3328, 4084, 16);
        std::mt19937 rng(11);
        const double a = 0.62 * m.width, b = 0.44 * m.height, cy = 0.5 * m.height;
        for (int32_t y = 0; y < m.height; ++y) {
            uint16_t* row = m.Row16(y);
            for (int32_t x = 0; x < m.width; ++x) {
                const double dx = x / a, dy = (y - cy) / b;
                const double r2 = dx * dx + dy * dy;
                const double texture = 2500.0 * std::sin(x / 90.0) * std::cos(y / 130.0);
                row[x] =
                    r2 <= 1.0
                        ? static_cast<uint16_t>(14000 + 16000 * (1.0 - r2) + texture + rng() % 900)
                        : static_cast<uint16_t>(400 + rng() % 200);
            }
        }
        return m;
    }();
    return image;
}

// The document's automatic run of the breast stage, no log.
void Segment(CMImage& image, CBreastSgt& contour, int32_t view = kViewAuto,
             int32_t projection = kProjectionAuto) {
    double low = 0, high = 0;
    std::string log;
    SegmentBreast(image, contour, view, projection, true, low, high, image.width / 2, kStageBreast,
                  false, log);
}

void BM_SegmentBreast(benchmark::State& state) {
    CMImage image = Mammogram();
    CBreastSgt contour;
    for (auto _ : state) {
        image.InvalidateHistogram();
        Segment(image, contour);
        benchmark::DoNotOptimize(contour.Count());
    }
    if (contour.IsEmpty()) state.SkipWithError("no outline");
}
BENCHMARK(BM_SegmentBreast)->Unit(benchmark::kMillisecond);

// "&Segment Breast...": outline, mask, histogram rebuilt under the mask.
void BM_SegmentMaskAndHistogram(benchmark::State& state) {
    CMImage image = Mammogram();
    CBreastSgt contour;
    for (auto _ : state) {
        image.InvalidateHistogram();
        Segment(image, contour);
        const CMImageBase mask = MakeBreastMask(contour, image.width, image.height);
        image.InvalidateHistogram();
        benchmark::DoNotOptimize(image.GetHistogramUnderMask(mask).GetTotal());
    }
}
BENCHMARK(BM_SegmentMaskAndHistogram)->Unit(benchmark::kMillisecond);

// The parts: the whole-image histogram, the mask fill, the masked histogram.
void BM_WholeImageHistogram(benchmark::State& state) {
    CMImage image = Mammogram();
    for (auto _ : state) {
        image.InvalidateHistogram();
        benchmark::DoNotOptimize(image.GetHistogram().GetTotal());
    }
}
BENCHMARK(BM_WholeImageHistogram)->Unit(benchmark::kMillisecond);

void BM_MakeBreastMask(benchmark::State& state) {
    CMImage image = Mammogram();
    CBreastSgt contour;
    Segment(image, contour);
    for (auto _ : state) {
        const CMImageBase mask = MakeBreastMask(contour, image.width, image.height);
        benchmark::DoNotOptimize(mask.data);
    }
}
BENCHMARK(BM_MakeBreastMask)->Unit(benchmark::kMillisecond);

void BM_HistogramUnderMask(benchmark::State& state) {
    CMImage image = Mammogram();
    CBreastSgt contour;
    Segment(image, contour);
    const CMImageBase mask = MakeBreastMask(contour, image.width, image.height);
    for (auto _ : state) {
        image.InvalidateHistogram();
        benchmark::DoNotOptimize(image.GetHistogramUnderMask(mask).GetTotal());
    }
}
BENCHMARK(BM_HistogramUnderMask)->Unit(benchmark::kMillisecond);

// The run with view and projection given: what the two decisions cost.
void BM_SegmentBreastKnownViewProjection(benchmark::State& state) {
    CMImage image = Mammogram();
    CBreastSgt contour;
    for (auto _ : state) {
        image.InvalidateHistogram();
        Segment(image, contour, kViewLeft, 0);
        benchmark::DoNotOptimize(contour.Count());
    }
}
BENCHMARK(BM_SegmentBreastKnownViewProjection)->Unit(benchmark::kMillisecond);

// The inner steps on the reduced copy (166 x 204): quantisation and the
// 5 x 5 circle opening.
void BM_ReducedQuantiseAndOpen(benchmark::State& state) {
    const CMImage& image = Mammogram();
    const auto reduced = ScaleByFactor(image, 0.05);
    const CMorphSE circle(5, CMorphSE::kCircle);
    for (auto _ : state) {
        double low = 9000, high = 26000;
        const auto bands = ThresholdBands(*reduced, low, high, true, true);
        const auto eroded = Erode(*bands, circle, 1);
        const auto opened = Dilate(*eroded, circle, 1);
        benchmark::DoNotOptimize(opened->data);
    }
}
BENCHMARK(BM_ReducedQuantiseAndOpen)->Unit(benchmark::kMillisecond);

}  // namespace
