// What the microcalcification cluster window does on a threshold slider move,
// on the seeds of a full-field phantom (3328 x 4084, six truth clusters): the
// new selection, its clusters with the default parameters and their score
// against the truth, without and with the marks picture in its document.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "phantom.h"
#include "workspace/mc_cluster_detection_model.h"
#include "workspace/vistrel_app.h"

namespace {

using vistrel::CMcClusterDetectionModel;

struct CFixture {
    vistrel::CVistrelApp app;  // no screen: the model works on the document alone
    std::unique_ptr<CMcClusterDetectionModel> model;
};

CFixture& Phantom() {
    static CFixture* f = nullptr;
    if (f) return *f;
    f = new CFixture;
    vistrel::cli::CPhantomParams params;
    params.width = 3328;
    params.height = 4084;
    params.clusters = 6;
    params.isolatedSpots = 40;
    vistrel::cli::CPhantom phantom = vistrel::cli::GeneratePhantom(params);
    std::unique_ptr<vistrel::CVistrelDoc> doc = f->app.CreateDocument();
    doc->image = std::move(*phantom.image);
    for (const vistrel::cli::CPhantomCluster& c : phantom.clusters) {
        const int l = int(c.x - c.radius), t = int(c.y - c.radius);
        const int r = int(c.x + c.radius), b = int(c.y + c.radius);
        doc->rosRegions.Add(vistrel::CRegion({{l, t}, {r, t}, {r, b}, {l, b}},
                                             vistrel::CRegion::PointsMode::Polygon));
    }
    vistrel::CVistrelDoc* source = f->app.AddDocument(std::move(doc));
    f->app.SetActiveDocument(source);
    f->model = std::make_unique<CMcClusterDetectionModel>(f->app);
    f->model->Detect(source->image, nullptr);
    return *f;
}

void Count(benchmark::State& state, const CMcClusterDetectionModel& m, int64_t selected,
           int64_t clustered) {
    state.counters["spots"] = double(m.Spots().Count());
    state.counters["picture"] = m.ShowResults() && m.PictureDocument() ? 1.0 : 0.0;
    state.counters["selected/move"] =
        benchmark::Counter(double(selected), benchmark::Counter::kAvgIterations);
    state.counters["clustered/move"] =
        benchmark::Counter(double(clustered), benchmark::Counter::kAvgIterations);
}

// Positions swept over the whole slider, so that each move selects and
// clusters anew; with results the marks picture is updated in its document
// at every move, as the window does.
void SliderMoves(benchmark::State& state, bool results) {
    CMcClusterDetectionModel& m = *Phantom().model;
    m.SetShowResults(results);
    const int lo = m.SliderMin(), hi = m.SliderMax();
    const int step = std::max(1, (hi - lo) / 37);
    int position = lo;
    int64_t selected = 0, clustered = 0;
    for (auto _ : state) {
        position = position + step > hi ? lo : position + step;
        m.MoveSlider(position);
        selected += m.Selected().Count();
        clustered += m.InClusters().Count();
    }
    Count(state, m, selected, clustered);
}

// The slider at its lowest thresholds, where nearly every spot passes: the
// most a move has to cluster, score and draw.
void SliderMovesNearAll(benchmark::State& state, bool results) {
    CMcClusterDetectionModel& m = *Phantom().model;
    m.SetShowResults(results);
    int64_t selected = 0, clustered = 0;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        m.MoveSlider(m.SliderMax() - (odd ? 1 : 0));
        selected += m.Selected().Count();
        clustered += m.InClusters().Count();
    }
    Count(state, m, selected, clustered);
}

void BM_McClusterSliderMove(benchmark::State& state) {
    SliderMoves(state, state.range(0) != 0);
}
void BM_McClusterSliderMoveNearlyAll(benchmark::State& state) {
    SliderMovesNearAll(state, state.range(0) != 0);
}

}  // namespace

// Argument 1: "results" on, the marks picture follows every move.
BENCHMARK(BM_McClusterSliderMove)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_McClusterSliderMoveNearlyAll)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
