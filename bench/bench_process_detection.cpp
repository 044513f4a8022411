// "&Process Detection" as the user meets it: the whole pipeline (breast
// outline, detector in the breast's rectangle, regions grown from the spots,
// clusters, evaluation, region file and appended result files) on a
// full-field stand-in (3328 x 4084, 12 bits, a breast with three groups of
// microcalcification-like specks on a dark background) and on a real MIAS
// film. The counters give the split per stage, in seconds of one run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "synthetic_mammogram.h"
#include "workspace/process_detection.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace {

namespace fs = std::filesystem;
using vistrel::CMImage;
using vistrel::CVistrelDoc;

CMImage MakeFilmWithSpecks() {
    std::mt19937 rng(11);
    CMImage film = vistrel::bench::MakeBreastFilm(rng);
    // Three clusters of 12 specks, radius 2..4 pixels, 600 grey levels brighter.
    const int centres[3][2] = {{900, 1500}, {1600, 2300}, {1100, 3000}};
    for (const auto& c : centres) {
        for (int i = 0; i < 12; ++i) {
            const int sx = c[0] + int(rng() % 120) - 60, sy = c[1] + int(rng() % 120) - 60;
            const double r = 2.0 + (rng() % 3);
            for (int y = sy - 6; y <= sy + 6; ++y) {
                uint16_t* row = film.Row16(y);
                for (int x = sx - 6; x <= sx + 6; ++x) {
                    const double d = std::hypot(x - sx, y - sy);
                    const double add = 600.0 / (1.0 + std::exp((d - r) * 2.5));
                    row[x] = static_cast<uint16_t>(std::min(4095.0, row[x] + add));
                }
            }
        }
    }
    return film;
}

struct CFixture {
    vistrel::CVistrelApp app;  // no screen
    CVistrelDoc doc{app, 1};
    fs::path folder = fs::temp_directory_path() / "vistrel_bench_process_detection";
    explicit CFixture(CMImage image, const std::string& name) {
        fs::create_directories(folder);
        doc.image = std::move(image);
        doc.pathName = (folder / name).string();
    }
    ~CFixture() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

void RunPipeline(benchmark::State& state, CFixture& f) {
    vistrel::CProcessDetectionParams params;
    params.resultsFolder = (f.folder / "results").string();
    vistrel::CProcessDetectionTimes sum;
    for (auto _ : state) {
        // Every run finds the outline again, as on a freshly opened image.
        f.doc.DropBreastSegment();
        const vistrel::CProcessDetectionResult r = vistrel::ProcessDetection(f.doc, params);
        if (!r.done) {
            state.SkipWithError(r.error.c_str());
            break;
        }
        sum.breast += r.seconds.breast;
        sum.detection += r.seconds.detection;
        sum.growing += r.seconds.growing;
        sum.clustering += r.seconds.clustering;
        sum.writing += r.seconds.writing;
        state.counters["spots"] = r.spots;
        state.counters["clusters"] = r.clusters;
    }
    const double n = double(state.iterations() ? state.iterations() : 1);
    state.counters["s_breast"] = sum.breast / n;
    state.counters["s_detection"] = sum.detection / n;
    state.counters["s_growing"] = sum.growing / n;
    state.counters["s_clustering"] = sum.clustering / n;
    state.counters["s_writing"] = sum.writing / n;
}

void BM_ProcessDetectionFullField(benchmark::State& state) {
    static CFixture* f = new CFixture(MakeFilmWithSpecks(), "film.pgx");
    RunPipeline(state, *f);
}
BENCHMARK(BM_ProcessDetectionFullField)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProcessDetectionMias(benchmark::State& state) {
    const std::string source = std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/mdb209.pgm";
    CMImage film;
    std::string description;
    if (film.Open(source, description) != 1) {
        state.SkipWithError("mdb209.pgm cannot be read");
        return;
    }
    static CFixture* f = new CFixture(std::move(film), "mdb209.pgm");
    RunPipeline(state, *f);
}
BENCHMARK(BM_ProcessDetectionMias)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
