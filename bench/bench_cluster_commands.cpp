// The cluster commands of the document as the user meets them, on a
// full-field stand-in (3328 x 4084, 12 bits) holding 1,730
// microcalcification-sized regions: 200 groups of 8 close together and 130
// lone ones, with a truth region over every tenth group. "Cluster Areas"
// clusters, outlines, opens the outline picture and evaluates; "Make
// Clusters" opens the circles; "Remove Bad Regions" measures every region
// first. Each iteration closes the windows it opened.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "core/messages.h"
#include "synthetic_mammogram.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace {

using namespace vistrel;

class CQuietSink : public IMessageSink {
  public:
    void show(const std::string& text) override { last = text; }
    int ask(const std::string&, const std::vector<std::string>&) override { return 0; }
    std::string last;
};

struct CFixture {
    CQuietSink sink;
    CScopedMessageSink scoped{&sink};
    // No screen: result documents are added without a window.
    CVistrelApp app;
    CVistrelDoc* doc = nullptr;
    CRegions regions;  // as made, restored before every run

    CFixture() {
        std::mt19937 rng(5);
        auto made = app.CreateDocument();
        made->image = bench::MakeTissueImage(rng);
        // 1 cm clusters of at least 3 at the default 583.92 dpi: 230 px.
        app.clusterParams = {1.0, 3, 0.5, 0};
        // A bright diamond of half-diagonal 2..5 pixels.
        auto disc = [&](int cx, int cy, char type) {
            const int r = 2 + int(rng() % 4);
            CRegion region({{cx - r, cy}, {cx, cy - r}, {cx + r, cy}, {cx, cy + r}},
                           CRegion::PointsMode::Polygon);
            region.type = type;
            for (const CPoint& p : region.Pixels()) {
                uint16_t& v = made->image.Row16(p.y)[p.x];
                v = static_cast<uint16_t>(std::min(4095, v + 600));
            }
            made->regions.Add(region);
        };
        // Groups on a 20 x 10 grid of 160 x 400 px cells, members 12 px apart.
        for (int g = 0; g < 200; ++g) {
            const int cx = 100 + (g % 20) * 160, cy = 150 + (g / 20) * 400;
            for (int k = 0; k < 8; ++k) disc(cx + (k % 4) * 12, cy + (k / 4) * 12, 'm');
            if (g % 10 == 0) {
                CRegion truth({{cx - 20, cy - 20},
                               {cx + 60, cy - 20},
                               {cx + 60, cy + 40},
                               {cx - 20, cy + 40}},
                              CRegion::PointsMode::Polygon);
                made->rosRegions.Add(truth);
            }
        }
        // Lone ones halfway between the rows, farther apart than a cluster is wide.
        for (int i = 0; i < 130; ++i) disc(60 + (i % 13) * 250, 350 + (i / 13) * 400, 'o');
        made->image.InvalidateHistogram();
        regions = made->regions;
        doc = app.AddDocument(std::move(made));
    }
    void CloseResults() {
        while (app.Documents().size() > 1) app.CloseDocument(app.Documents().back().get());
    }
};

CFixture& Film() {
    static CFixture* fixture = new CFixture;
    return *fixture;
}

void BM_ClusterAreasCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        const std::string line = f.doc->OnClusterAreas("");
        if (line.empty()) state.SkipWithError("nothing evaluated");
        f.CloseResults();
    }
    state.counters["clusters"] = f.doc->clusters.Count();
    state.counters["regions"] = f.doc->regions.Count();
}
BENCHMARK(BM_ClusterAreasCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MakeClustersCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        if (!f.doc->OnMakeClusters()) state.SkipWithError("no circles");
        f.CloseResults();
    }
    state.counters["clusters"] = f.doc->clusters.Count();
}
BENCHMARK(BM_MakeClustersCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RemoveBadRegionsCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        state.PauseTiming();
        f.doc->regions = f.regions;
        state.ResumeTiming();
        if (f.doc->OnRemoveBadRegions().empty()) state.SkipWithError("nothing evaluated");
    }
    state.counters["kept"] = f.doc->regions.Count();
}
BENCHMARK(BM_RemoveBadRegionsCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
