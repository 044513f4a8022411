// The feature commands of the document as the user meets them, on a
// full-field stand-in (3328 x 4084, 12 bits) holding 2,000
// microcalcification-sized regions (discs of radius 2..5 pixels, brighter
// than the tissue) and 40 cluster outlines: "Mean Region Features" with
// every feature on, the same over the cores' kernel alone, "Features of Each
// Region" written to a feature file, and "Compute GLCM" on a 512 x 512 ROI.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "regions/region_features.h"
#include "regions/texture.h"
#include "bright_disc.h"
#include "synthetic_mammogram.h"
#include "workspace/feature_models.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace {

using namespace vistrel;

// Answers every dialog with OK and the given texts; shows nothing.
class CBenchUi : public IWorkspaceUi {
  public:
    bool OpenDocumentWindow(CVistrelDoc&) override { return true; }
    void CloseDocumentWindow(CVistrelDoc&) override {}
    bool PickOpenFiles(const std::string&, const std::vector<CFileFilter>&,
                       std::vector<std::string>&) override {
        return false;
    }
    bool PickOpenFile(const std::string&, const std::vector<CFileFilter>&, std::string&) override {
        return false;
    }
    bool PickSaveFile(const std::string&, const std::vector<CFileFilter>&, std::string& path,
                      int& filterIndex) override {
        path = savePath;
        filterIndex = 0;
        return true;
    }
    bool AskRawParams(const std::string&, CRawParams&) override { return false; }
    bool AskRadioGroup(const std::string&, const std::vector<std::string>&, int&) override {
        return true;
    }
    bool AskText(const std::string&, const std::string&, const std::string&,
                 std::string& text) override {
        text = "tissue";
        return true;
    }
    bool AskRegionGrowing(CRegionGrowingModel&) override { return false; }
    bool AskRegionType(CRegionTypeModel& model) override {
        model.type = "calcification";
        return true;
    }
    void SetBusy(bool) override {}

    std::string savePath;
};

struct CFixture {
    CBenchUi ui;
    CVistrelApp app{&ui};
    CVistrelDoc doc{app, 1};
    QTemporaryDir dir;

    CFixture() {
        std::mt19937 rng(11);
        doc.image = bench::MakeTissueImage(rng);
        doc.pathName = (dir.path() + "/film.pgx").toStdString();
        // 50 x 40 discs on a jittered grid, a cluster outline around every 50.
        int32_t cluster = 0;
        for (int row = 0; row < 40; ++row) {
            for (int col = 0; col < 50; ++col) {
                const int cx = 40 + col * 65 + int(rng() % 9), cy = 50 + row * 100 + int(rng() % 9);
                const int r = 2 + int(rng() % 4);
                const std::vector<CPoint> pixels = bench::BrightenDisc(doc.image, cx, cy, r);
                CRegion region(pixels, CRegion::PointsMode::PixelSet);
                region.clusterNumber = (row * 50 + col) / 50 + 1;
                region.diagnosis = static_cast<int16_t>(rng() % 3);
                doc.regions.Add(region);
            }
            ++cluster;
            const int top = 50 + row * 100 - 10, bottom = top + 30;
            CRegion outline({{20, top}, {3300, top}, {3300, bottom}, {20, bottom}},
                            CRegion::PointsMode::Polygon);
            outline.clusterNumber = ClusterOutlineNumber(cluster);
            outline.type = 'c';
            doc.regions.Add(outline);
        }
        doc.image.InvalidateHistogram();
        ui.savePath = (dir.path() + "/learn.ftr").toStdString();
    }
};

CFixture& Film() {
    static CFixture* fixture = new CFixture;
    return *fixture;
}

void BM_MeanRegionFeaturesCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        const std::string text = f.doc.OnMeanRegionFeatures();
        if (text.empty()) state.SkipWithError("no mean features");
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["regions"] = f.doc.regions.Count();
}
BENCHMARK(BM_MeanRegionFeaturesCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

// Argument 0: every feature; 1: without the co-occurrence group; 2: also
// without the two moment groups (where the time goes).
void BM_AllRegionFeaturesKernel(benchmark::State& state) {
    CFixture& f = Film();
    CFeatureSettings settings = f.doc.FeatureSettings();
    CFeatureSelection selection = f.app.featureSelection;
    if (state.range(0) >= 1)
        for (const std::string& name : CoocurrenceFeatureNames(settings.coocurrenceDistance))
            selection.Set(name, false);
    if (state.range(0) >= 2) settings.shapeMoments = settings.moments = false;
    for (auto _ : state) {
        std::vector<CFeatureVector> vectors;
        ComputeAllRegionFeatures(f.doc.regions, f.doc.image, selection, settings, true, vectors);
        benchmark::DoNotOptimize(vectors.data());
    }
}
BENCHMARK(BM_AllRegionFeaturesKernel)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SaveEachRegionsFeaturesCommand(benchmark::State& state) {
    CFixture& f = Film();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(f.ui.savePath);
        state.ResumeTiming();
        if (!f.doc.OnSaveFeatures(CommandId::LearningRegionFeatures))
            state.SkipWithError("nothing written");
    }
}
BENCHMARK(BM_SaveEachRegionsFeaturesCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GlcmCommandOn512Roi(benchmark::State& state) {
    CFixture& f = Film();
    const CRect roi{1400, 1800, 1912, 2312};
    for (auto _ : state) {
        f.doc.description.clear();
        const std::string text = f.doc.OnComputeGlcm(roi);
        if (text.empty()) state.SkipWithError("no GLCM text");
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_GlcmCommandOn512Roi)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
