// Erosion and dilation of a full-field mammogram (3328 x 4084, 12 bits in
// 16-bit samples), one iteration, with the elements users pick most: a 3 x 3
// cross, 5 x 5 and 15 x 15 circles, a 15 x 15 square (and a 1 x 1 element
// and a 25 x 25 circle for scale); the same through the baseline row loops;
// and a white top-hat from the Morphology menu.
#include <benchmark/benchmark.h>

#include <random>

#include "core/image_operations.h"
#include "filters/morph_core_rows.h"
#include "filters/morphology.h"
#include "synthetic_mammogram.h"

namespace {

using vistrel::CMImage;
using vistrel::CMorphSE;
using vistrel::EMorphOperation;

const CMImage& LargeMammogram() {
    static const CMImage image = [] {
        std::mt19937 rng(1);
        return vistrel::bench::MakeTissueImage(rng);
    }();
    return image;
}

CMorphSE Element(int64_t which) {
    switch (which) {
        case 0:
            return CMorphSE(3, CMorphSE::kCross);
        case 9:
            return CMorphSE(1, CMorphSE::kSquare);
        case 10:
            return CMorphSE(25, CMorphSE::kCircle);
        case 1:
            return CMorphSE(5, CMorphSE::kCircle);
        case 2:
            return CMorphSE(15, CMorphSE::kCircle);
        default:
            return CMorphSE(15, CMorphSE::kSquare);
    }
}

const char* ElementName(int64_t which) {
    switch (which) {
        case 0:
            return "cross 3x3";
        case 9:
            return "1x1, the loops' floor";
        case 10:
            return "circle 25x25";
        case 1:
            return "circle 5x5";
        case 2:
            return "circle 15x15";
        default:
            return "square 15x15";
    }
}

void Core(benchmark::State& state, EMorphOperation op, const char* loops, int iterations) {
    const std::string original = vistrel::ActiveMorphKernels();
    if (loops && !vistrel::UseMorphKernels(loops)) {
        state.SkipWithError("row loops not available on this processor");
        return;
    }
    const CMImage& image = LargeMammogram();
    const CMorphSE se = Element(state.range(0));
    for (auto _ : state) {
        auto result = vistrel::MorphCore(image, op, se, iterations, nullptr, true);
        if (!result) state.SkipWithError("MorphCore failed");
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel(std::string(ElementName(state.range(0))) + ", " + vistrel::ActiveMorphKernels());
    vistrel::UseMorphKernels(original);
}

void BM_Erode(benchmark::State& state) {
    Core(state, EMorphOperation::Erosion, nullptr, 1);
}
void BM_Dilate(benchmark::State& state) {
    Core(state, EMorphOperation::Dilation, nullptr, 1);
}
void BM_ErodePlainLoops(benchmark::State& state) {
    Core(state, EMorphOperation::Erosion, "plain", 1);
}
// Three passes: the snapshot between them comes into play.
void BM_ErodeThreeIterations(benchmark::State& state) {
    Core(state, EMorphOperation::Erosion, nullptr, 3);
}

// The menu's "White Top - Hat" with a 15 x 15 circle: image - Open(image),
// as the document command runs it.
void BM_WhiteTopHatCircle15(benchmark::State& state) {
    const CMImage& image = LargeMammogram();
    const CMorphSE se(15, CMorphSE::kCircle);
    for (auto _ : state) {
        auto result =
            vistrel::ApplyMorphOperator(vistrel::EMorphOperator::WhiteTopHat, image, se, 1);
        if (!result) state.SkipWithError("white top-hat failed");
        benchmark::DoNotOptimize(result);
    }
}

// The memory floor of a pass: the image copied into a fresh raster, which
// is what any erosion reads and writes at least.
void BM_CopyImage(benchmark::State& state) {
    const CMImage& image = LargeMammogram();
    for (auto _ : state) {
        auto copy = std::make_unique<CMImage>(image);
        benchmark::DoNotOptimize(copy->data);
    }
}

}  // namespace

BENCHMARK(BM_CopyImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Erode)
    ->DenseRange(0, 3)
    ->Arg(9)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Dilate)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ErodePlainLoops)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ErodeThreeIterations)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_WhiteTopHatCircle15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
