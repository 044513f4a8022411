// What the spot detector window does on a threshold slider move, on the spots
// of a full-field phantom (3328 x 4084, about 32,000 spots with the default
// parameters): the model's new selection with its clusters and evaluation
// line, and the picture it hands to the view, with marks alone and burnt into
// the image; and the whole move on a source document with truth regions, the
// picture document updated in place. The selection itself is timed beside the
// linear-search form it replaced.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <memory>
#include <string>

#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "phantom.h"
#include "workspace/scale_space_model.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace {

using vistrel::CMImage;
using vistrel::CScaleSpaceModel;

struct CFixture {
    vistrel::CVistrelApp app;  // no screen: the model works on images alone here
    CMImage image;
    CScaleSpaceModel model{app};
};

// The full-field phantom with six clusters and forty isolated specks.
vistrel::cli::CPhantom FullFieldPhantom() {
    vistrel::cli::CPhantomParams params;
    params.width = 3328;
    params.height = 4084;
    params.clusters = 6;
    params.isolatedSpots = 40;
    return vistrel::cli::GeneratePhantom(params);
}

// The phantom's spots, or every third of them (about 30,000, with the same
// spread of responses) through a spot file as "Spots from file" reads them.
CFixture& Phantom(bool third) {
    static CFixture* fixtures[2] = {};
    CFixture*& f = fixtures[third ? 1 : 0];
    if (f) return *f;
    f = new CFixture;
    f->image = std::move(*FullFieldPhantom().image);
    f->model.Detect(f->image, nullptr);
    if (third) {
        vistrel::CSpotList part;
        const vistrel::CSpotList& all = f->model.Spots();
        for (int32_t i = 0; i < all.Count(); i += 3) part.Append(all[i]);
        const std::string file = (std::filesystem::temp_directory_path() /
                                  "vistrel_bench_phantom.spots.S3_2_10_N3_3_.cnd")
                                     .string();
        vistrel::SaveSpots(file, part, {0, 0});
        f->model.LoadFromFile(file, f->image.width, f->image.height);
        std::filesystem::remove(file);
    }
    return *f;
}

// The window on a document holding the phantom and its clusters as truth
// squares, with two of every nine spots (about 20,000) from a spot file.
struct CDocumentFixture {
    vistrel::CVistrelApp app;
    vistrel::CVistrelDoc* doc = nullptr;
    std::unique_ptr<CScaleSpaceModel> model;
};

CDocumentFixture& WindowOnDocument() {
    static CDocumentFixture* f = nullptr;
    if (f) return *f;
    f = new CDocumentFixture;
    vistrel::cli::CPhantom phantom = FullFieldPhantom();
    std::unique_ptr<vistrel::CVistrelDoc> doc = f->app.CreateDocument();
    doc->image = std::move(*phantom.image);
    doc->pathName = "/bench/phantom.pgx";
    for (const vistrel::cli::CPhantomCluster& c : phantom.clusters) {
        const int32_t l = int32_t(c.x - c.radius - 4), t = int32_t(c.y - c.radius - 4);
        const int32_t r = int32_t(c.x + c.radius + 4), b = int32_t(c.y + c.radius + 4);
        doc->rosRegions.Add(vistrel::CRegion({{l, t}, {r, t}, {r, b}, {l, b}},
                                             vistrel::CRegion::PointsMode::Polygon));
    }
    f->doc = f->app.AddDocument(std::move(doc));
    f->app.SetActiveDocument(f->doc);
    f->model = std::make_unique<CScaleSpaceModel>(f->app);
    CScaleSpaceModel& m = *f->model;
    m.Detect(f->doc->image, nullptr);
    vistrel::CSpotList part;
    const vistrel::CSpotList& all = m.Spots();
    for (int32_t i = 0; i < all.Count(); ++i)
        if (i % 9 < 2) part.Append(all[i]);
    const std::string file =
        (std::filesystem::temp_directory_path() / "vistrel_bench_window.spots.S3_2_10_N3_3_.cnd")
            .string();
    vistrel::SaveSpots(file, part, {0, 0});
    m.LoadFromFile(file, f->doc->image.width, f->doc->image.height);
    std::filesystem::remove(file);
    m.ShowPicture();  // the picture document opens once, as at the first showing
    return *f;
}

// The user's whole slider move: selection, clusters, evaluation line and the
// picture document updated in place: over the whole slider (0), the lower
// half of the thresholds (1), or between its two lowest thresholds (2), where
// nearly every spot passes and is clustered.
void BM_SliderMoveWindowOnDocument(benchmark::State& state) {
    CDocumentFixture& f = WindowOnDocument();
    CScaleSpaceModel& m = *f.model;
    m.SetWhat(static_cast<vistrel::ESpotShow>(state.range(0)));
    const int hi = m.SliderMax();
    const int lo = state.range(1) == 2   ? hi - 1
                   : state.range(1) == 1 ? (m.SliderMin() + hi) / 2
                                         : m.SliderMin();
    const int step = state.range(1) == 2 ? 1 : std::max(1, (hi - lo) / 37);
    int position = lo;
    int64_t selected = 0, clusters = 0;
    for (auto _ : state) {
        position = position + step > hi ? lo : position + step;
        m.MoveSlider(position);
        m.ShowPicture();
        selected += m.Selected().Count();
        clusters += m.Clusters().Count();
        benchmark::DoNotOptimize(m.EvaluationLine().size());
    }
    state.counters["spots"] = double(m.Spots().Count());
    state.counters["selected/move"] =
        benchmark::Counter(double(selected), benchmark::Counter::kAvgIterations);
    state.counters["clusters/move"] =
        benchmark::Counter(double(clusters), benchmark::Counter::kAvgIterations);
}

// Positions swept over the whole slider, so that each move selects anew.
void SliderMoves(benchmark::State& state, bool onImage, bool picture) {
    CFixture& f = Phantom(state.range(0) != 0);
    CScaleSpaceModel& m = f.model;
    m.SetOnImage(onImage);
    const int lo = m.SliderMin(), hi = m.SliderMax();
    const int step = std::max(1, (hi - lo) / 37);
    int position = lo;
    int64_t selected = 0;
    for (auto _ : state) {
        position = position + step > hi ? lo : position + step;
        m.MoveSlider(position);
        selected += m.Selected().Count();
        if (picture) {
            auto image = m.Picture(f.image);
            benchmark::DoNotOptimize(image);
        }
    }
    state.counters["spots"] = double(m.Spots().Count());
    state.counters["selected/move"] =
        benchmark::Counter(double(selected), benchmark::Counter::kAvgIterations);
}

// The slider at its top threshold positions, where nearly every spot passes:
// the most a move has to copy and draw.
void SliderMovesNearAll(benchmark::State& state) {
    CFixture& f = Phantom(state.range(0) != 0);
    CScaleSpaceModel& m = f.model;
    m.SetOnImage(false);
    int64_t selected = 0;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        m.MoveSlider(m.SliderMax() - (odd ? 1 : 0));
        selected += m.Selected().Count();
        auto image = m.Picture(f.image);
        benchmark::DoNotOptimize(image);
    }
    state.counters["spots"] = double(m.Spots().Count());
    state.counters["selected/move"] =
        benchmark::Counter(double(selected), benchmark::Counter::kAvgIterations);
}

void BM_SliderMoveSelectionOnly(benchmark::State& state) {
    SliderMoves(state, false, false);
}
void BM_SliderMoveWithMarks(benchmark::State& state) {
    SliderMoves(state, false, true);
}
void BM_SliderMoveMarksOnImage(benchmark::State& state) {
    SliderMoves(state, true, true);
}
void BM_SliderMoveNearlyAllWithMarks(benchmark::State& state) {
    SliderMovesNearAll(state);
}

// All spots selected (the lowest threshold): the most the selection copies.
void BM_SelectSpotsAll(benchmark::State& state) {
    const vistrel::CSpotList& spots = Phantom(state.range(0) != 0).model.Spots();
    vistrel::CSpotList out;
    for (auto _ : state) {
        vistrel::SelectSpots(spots, out, false, -DBL_MAX, -1, -1);
        benchmark::DoNotOptimize(out.Count());
    }
    state.counters["spots"] = double(spots.Count());
}

// The same selection through AddUnique's search of the whole list per spot.
void BM_SelectSpotsAllLinearSearch(benchmark::State& state) {
    const vistrel::CSpotList& spots = Phantom(state.range(0) != 0).model.Spots();
    vistrel::CSpotList out;
    for (auto _ : state) {
        out.ClearAll();
        for (int32_t i = 0; i < spots.Count(); ++i) out.AddUnique(spots[i]);
        benchmark::DoNotOptimize(out.Count());
    }
    state.counters["spots"] = double(spots.Count());
}

// Arguments: what is shown (0 nothing, 1 marks, 2 only in clusters, 3 cluster areas) and
// where on the slider the moves are (see above).
BENCHMARK(BM_SliderMoveWindowOnDocument)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Args({2, 2})
    ->Args({3, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Argument 1: about 30,000 spots; 0: all of the phantom's.
BENCHMARK(BM_SliderMoveSelectionOnly)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SliderMoveWithMarks)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SliderMoveNearlyAllWithMarks)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SliderMoveMarksOnImage)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SelectSpotsAll)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SelectSpotsAllLinearSearch)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
