// The document commands of the breast outline and morphology as the user
// meets them, on a full-field stand-in (3328 x 4084, 12 bits, a breast on a
// dark background): "Segment Breast" without the log (the segmentation, the
// mask fill and the histogram under the mask), the mask alone from an
// outline, and "Erosion" with the result opened as a new document.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "synthetic_mammogram.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace {

using vistrel::CMImage;
using vistrel::CVistrelDoc;

CMImage MakeBreastFilm() {
    std::mt19937 rng(7);
    return vistrel::bench::MakeBreastFilm(rng);
}

struct CFixture {
    vistrel::CVistrelApp app;  // no screen
    CVistrelDoc doc{app, 1};
    CFixture() { doc.image = MakeBreastFilm(); }
};

CFixture& Film() {
    static CFixture* fixture = new CFixture;
    return *fixture;
}

vistrel::CSegmentParams BatchLikeParams() {
    return vistrel::AutomaticSegmentParams();
}

void BM_SegmentBreastCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        const bool found = f.doc.SegmentBreastWith(BatchLikeParams());
        benchmark::DoNotOptimize(found);
        if (!found) state.SkipWithError("no outline on the stand-in");
    }
}
BENCHMARK(BM_SegmentBreastCommand)->Unit(benchmark::kMillisecond);

void BM_BuildBreastMask(benchmark::State& state) {
    CFixture& f = Film();
    if (!f.doc.HasBreastSegment() && !f.doc.SegmentBreastWith(BatchLikeParams())) {
        state.SkipWithError("no outline on the stand-in");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(f.doc.BuildBreastMask());
}
BENCHMARK(BM_BuildBreastMask)->Unit(benchmark::kMillisecond);

void BM_ErosionCommand(benchmark::State& state) {
    CFixture& f = Film();
    f.app.morphElement = vistrel::CMorphSE(3, vistrel::CMorphSE::kCross);
    f.app.morphIterations = 1;
    for (auto _ : state) {
        CVistrelDoc* result = f.doc.OnMorphOperator(vistrel::EMorphOperator::Erode);
        if (!result) {
            state.SkipWithError("no result document");
            break;
        }
        f.app.CloseDocument(result);
    }
}
BENCHMARK(BM_ErosionCommand)->Unit(benchmark::kMillisecond);

}  // namespace
