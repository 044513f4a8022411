// Window/level dragging repaints the whole view on every mouse move: these
// measure the histogram and the two renderers on a full-field 12-bit mammogram.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/display.h"
#include "core/image.h"
#include "core/lut.h"

namespace {

using vistrel::CMImage;

constexpr int32_t kWidth = 3328;
constexpr int32_t kHeight = 4084;

// A smooth random texture: coarse random control points bilinearly
// interpolated, plus a little pixel noise, spanning most of the 12-bit range.
const CMImage& Mammogram() {
    static const CMImage image = [] {
        CMImage img(kWidth, kHeight, 12);
        std::mt19937 rng(12345);
        constexpr int kCell = 64;
        const int gw = kWidth / kCell + 2;
        const int gh = kHeight / kCell + 2;
        std::uniform_int_distribution<int> coarse(300, 3900);
        std::vector<int> grid(static_cast<size_t>(gw) * gh);
        for (int& v : grid) v = coarse(rng);
        std::uniform_int_distribution<int> noise(-40, 40);
        for (int32_t y = 0; y < kHeight; ++y) {
            uint16_t* row = img.Row16(y);
            const int gy = y / kCell;
            const float fy = float(y % kCell) / kCell;
            for (int32_t x = 0; x < kWidth; ++x) {
                const int gx = x / kCell;
                const float fx = float(x % kCell) / kCell;
                const float top =
                    grid[size_t(gy) * gw + gx] * (1 - fx) + grid[size_t(gy) * gw + gx + 1] * fx;
                const float bottom = grid[size_t(gy + 1) * gw + gx] * (1 - fx) +
                                     grid[size_t(gy + 1) * gw + gx + 1] * fx;
                const int v = int(top * (1 - fy) + bottom * fy) + noise(rng);
                row[x] = uint16_t(v < 0 ? 0 : (v > 4095 ? 4095 : v));
            }
        }
        return img;
    }();
    return image;
}

void BM_GetHistogram(benchmark::State& state) {
    CMImage image(Mammogram());
    for (auto _ : state) {
        image.InvalidateHistogram();
        benchmark::DoNotOptimize(image.GetHistogram().total);
    }
}
BENCHMARK(BM_GetHistogram)->Unit(benchmark::kMillisecond);

// Value window with a display correction, as while dragging the level.
void RenderValue(benchmark::State& state, float zoom) {
    const CMImage& image = Mammogram();
    const vistrel::CPalette palette = vistrel::LinearGreyPalette(false);
    vistrel::CDisplayCorrection correction;
    correction.contrast = 10;
    correction.SetGamma(1.4f);
    int32_t low = 1000;
    for (auto _ : state) {
        vistrel::CRenderRequest request;
        request.zoom = zoom;
        request.fitWidth = 1000;
        request.fitHeight = 800;
        auto bitmap =
            vistrel::RenderValueWindow(image, low, low + 2000, correction, palette, request);
        if (!bitmap) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(bitmap->bits.data());
        low = low == 1000 ? 1010 : 1000;  // a new window each time, as when dragging
    }
}

void BM_RenderValueWindowZoom1(benchmark::State& state) {
    RenderValue(state, 1.0f);
}
BENCHMARK(BM_RenderValueWindowZoom1)->Unit(benchmark::kMillisecond);

void BM_RenderValueWindowFit1000x800(benchmark::State& state) {
    RenderValue(state, 0.0f);
}
BENCHMARK(BM_RenderValueWindowFit1000x800)->Unit(benchmark::kMillisecond);

void BM_RenderBitWindowZoom1(benchmark::State& state) {
    const CMImage& image = Mammogram();
    const vistrel::CPalette palette = vistrel::LinearGreyPalette(false);
    vistrel::CDisplayCorrection correction;
    correction.brightness = 5;
    for (auto _ : state) {
        vistrel::CRenderRequest request;
        auto bitmap = vistrel::RenderBitWindow(image, 4, 8, correction, palette, request);
        if (!bitmap) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(bitmap->bits.data());
    }
}
BENCHMARK(BM_RenderBitWindowZoom1)->Unit(benchmark::kMillisecond);

}  // namespace
