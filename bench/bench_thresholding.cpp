// The thresholding window on a full-field phantom (3328 x 4084): a slider
// move as the user makes it (new threshold, picture computed and swapped into
// the kept picture document), the local maxima collected when the mode or the
// size changes, and the two kernels underneath.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "detection/thresholding.h"
#include "phantom.h"
#include "workspace/thresholding_model.h"
#include "workspace/vistrel_app.h"

namespace {

using vistrel::CMImage;

const CMImage& PhantomImage() {
    static const CMImage* image = [] {
        vistrel::cli::CPhantomParams params;
        params.width = 3328;
        params.height = 4084;
        params.clusters = 6;
        params.isolatedSpots = 40;
        return new CMImage(std::move(*vistrel::cli::GeneratePhantom(params).image));
    }();
    return *image;
}

struct CFixture {
    vistrel::CVistrelApp app;  // no screen: documents live in the application only
    vistrel::CVistrelDoc* source = nullptr;
    CFixture() {
        auto doc = app.CreateDocument();
        doc->image = PhantomImage();
        doc->resolution = 254.0f;  // 100 pixels per centimetre
        source = app.AddDocument(std::move(doc));
        app.SetActiveDocument(source);
    }
};

CFixture& Fixture() {
    static CFixture* f = new CFixture;
    return *f;
}

// Positions swept over the slider so that each move shows a new picture;
// arg 0: marks alone, 1: over the original image.
void BM_ThresholdSliderMove(benchmark::State& state) {
    CFixture& f = Fixture();
    vistrel::CThresholdingModel m(f.app);
    m.SetOnImage(state.range(0) != 0);
    const int lo = m.SliderMin(), hi = m.SliderMax();
    const int step = std::max(1, (hi - lo) / 37);
    int position = lo;
    for (auto _ : state) {
        position = position + step > hi ? lo : position + step;
        m.MoveSlider(position);
        benchmark::DoNotOptimize(m.Result());
    }
    if (m.Result()) f.app.CloseDocument(m.Result());
}
BENCHMARK(BM_ThresholdSliderMove)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A slider move in local-maxima mode: the maxima at and above the threshold
// marked over the image, with a size of arg pixels.
void BM_LocalMaximaSliderMove(benchmark::State& state) {
    CFixture& f = Fixture();
    vistrel::CThresholdingModel m(f.app);
    m.SetSizeInCm(false);
    m.SetSize(double(state.range(0)));
    m.SetLocalMaxima(true);
    m.SetOnImage(true);
    const int lo = m.SliderMin(), hi = m.SliderMax();
    const int step = std::max(1, (hi - lo) / 37);
    int position = lo;
    for (auto _ : state) {
        position = position + step > hi ? lo : position + step;
        m.MoveSlider(position);
        benchmark::DoNotOptimize(m.Result());
    }
    state.counters["maxima"] = double(m.Maxima().Count());
    if (m.Result()) f.app.CloseDocument(m.Result());
}
BENCHMARK(BM_LocalMaximaSliderMove)->Arg(3)->Arg(35)->Unit(benchmark::kMillisecond);

// Switching to local maxima (or changing the size) with a size of arg pixels.
void BM_LocalMaximaRecompute(benchmark::State& state) {
    CFixture& f = Fixture();
    vistrel::CThresholdingModel m(f.app);
    m.SetShowResults(false);
    m.SetSizeInCm(false);
    m.SetSize(double(state.range(0)));
    m.SetLocalMaxima(true);
    for (auto _ : state) {
        m.Recompute();
        benchmark::DoNotOptimize(m.Maxima().Count());
    }
    state.counters["maxima"] = double(m.Maxima().Count());
}
BENCHMARK(BM_LocalMaximaRecompute)->Arg(3)->Arg(35)->Unit(benchmark::kMillisecond);

void BM_LocalMaximaSpots(benchmark::State& state) {
    const CMImage& image = PhantomImage();
    int32_t count = 0;
    for (auto _ : state) {
        vistrel::CSpotList spots = vistrel::LocalMaximaSpots(image, int32_t(state.range(0)));
        count = spots.Count();
        benchmark::DoNotOptimize(count);
    }
    state.counters["maxima"] = double(count);
}
BENCHMARK(BM_LocalMaximaSpots)->Arg(3)->Arg(11)->Arg(35)->Arg(101)->Unit(benchmark::kMillisecond);

void BM_ThresholdImage(benchmark::State& state) {
    const CMImage& image = PhantomImage();
    for (auto _ : state) {
        auto out = vistrel::ThresholdImage(image, 2000.0, false, state.range(0) != 0);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_ThresholdImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
