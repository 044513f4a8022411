// The document's seed list and the regions grown from it.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/messages.h"
#include "detection/spot_detector.h"
#include "filters/morph_se.h"
#include "filters/morphology.h"
#include "regions/contour_correction.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

// Seed preparation: the detector's scales and window sides.
constexpr int kSeedMinScale = 5;
constexpr int kSeedMaxScale = 12;
constexpr int kSeedScaleStep = 2;
constexpr int kSeedMaximumSide = 3;
constexpr int kSeedSearchSide = 5;

// Around clusters: the window (cm), the local-statistics factor and the
// contour correction that follows.
constexpr double kClusterWindowCm = 0.15;
constexpr double kClusterStatisticsK = 2.0;
constexpr CRegionGrowingParams kClusterGrowing{5, 0.01};

bool Inside(const CMImageBase& image, CPoint p) {
    return p.x >= 0 && p.y >= 0 && p.x < image.width && p.y < image.height;
}

// The samples of image over rect (clipped), as the growing rules read them.
CValueWindow ValuesIn(const CMImageBase& image, CRect rect) {
    CValueWindow window;
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    if (rect.IsEmpty()) return window;
    window.rect = rect;
    window.values.reserve(std::size_t(rect.Width()) * std::size_t(rect.Height()));
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x)
            window.values.push_back(float(static_cast<uint16_t>(image.GetPixel(x, y))));
    return window;
}

}  // namespace

void CVistrelDoc::SetSeeds(const CSpotList& seeds) {
    spots.CopyFrom(seeds);
    UpdateAllViews(kUpdateAnnotations);
}

bool CVistrelDoc::PrepareSeeds(double threshold, const ProgressFn& progress) {
    if (!image.IsValid() || !std::isfinite(threshold)) return false;
    std::unique_ptr<CSpotList> found;
    {
        CWaitCursor wait(app_.Ui());
        std::string log;
        found = CandidateListSeeds(image, kSeedMinScale, kSeedMaxScale, kSeedScaleStep,
                                   kSeedMaximumSide, kSeedSearchSide, BreastMaskOrNull(), log,
                                   progress);
    }
    // The detector gives null both when cancelled and when it finds no
    // maximum; only a cancelled run keeps the old seeds.
    if (!found) {
        if (progress && !progress(1.0)) return false;
        found = std::make_unique<CSpotList>();
    }
    CSpotList selected;
    SelectSpots(*found, selected, false, threshold, -1, -1);
    spots = std::move(selected);
    UpdateAllViews(kUpdateAnnotations);
    return true;
}

std::unique_ptr<CMImage> CVistrelDoc::SegmentFromSeeds(const CGrowParams& params,
                                                       CGrowReport* report,
                                                       const ProgressFn& progress) {
    if (!image.IsValid() || !HasSeeds()) return nullptr;
    std::unique_ptr<CMImage> response;
    {
        CWaitCursor wait(app_.Ui());
        response = GrowFromSeeds(image, spots, regions, &rosRegions, params, report, progress);
    }
    if (!app_.showRegions) app_.OnShowRegions();
    UpdateAllViews(kUpdateAnnotations);
    return response;
}

bool CVistrelDoc::OnSeedsFromCentroids() {
    if (!image.IsValid() || regions.IsEmpty()) return false;
    if (HasSeeds() && messages().ask(kRemoveSeedsQuestion, {"Yes", "No"}) != 0) return false;
    spots.ClearAll();
    regions.RemoveClusterOutlines();
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* region = regions.At(i);
        if (!region) continue;
        const std::vector<CPoint> pixels = region->Pixels();
        if (pixels.empty()) continue;
        double sx = 0.0, sy = 0.0;
        for (const CPoint& p : pixels) {
            sx += p.x;
            sy += p.y;
        }
        const double n = double(pixels.size());
        const CPoint centroid{int32_t(std::lround(sx / n)), int32_t(std::lround(sy / n))};
        if (!Inside(image, centroid)) continue;
        const double grey = static_cast<uint16_t>(image.GetPixel(centroid.x, centroid.y));
        spots.AddUnique(CPointResponse(centroid, grey));
    }
    UpdateAllViews(kUpdateAnnotations);
    return true;
}

CVistrelDoc* CVistrelDoc::OnSeedsWthLocalStatistics() {
    if (!image.IsValid() || clusters.Count() == 0) return nullptr;
    CProgressScope progressScope(app_.Ui(), kSeedsWthPrompt);
    const ProgressFn progress = progressScope.Fn();
    CRegions grown;
    {
        CWaitCursor wait(app_.Ui());
        const int32_t w = GrowWindowPixels(kClusterWindowCm, true, resolution);
        const CMorphSE square(int16_t(w | 1), CMorphSE::kSquare);
        const std::unique_ptr<CMImage> topHat = WhiteTopHat(image, square, 1);
        if (!topHat) return nullptr;

        // The document's seeds near a cluster; without any, the clusters' own points.
        std::vector<CPoint> seeds;
        for (int32_t i = 0; i < spots.Count(); ++i) {
            const CPoint p = spots[i].Point();
            for (int32_t c = 0; c < clusters.Count(); ++c) {
                const CCluster* cluster = clusters.At(c);
                if (!cluster || cluster->Count() == 0) continue;
                const CRect b = cluster->Bounds();
                if (p.x >= b.left - w && p.x < b.right + w && p.y >= b.top - w &&
                    p.y < b.bottom + w) {
                    seeds.push_back(p);
                    break;
                }
            }
        }
        if (seeds.empty())
            for (int32_t c = 0; c < clusters.Count(); ++c)
                if (const CCluster* cluster = clusters.At(c))
                    for (const CPoint& p : cluster->Points()) seeds.push_back(p);

        for (std::size_t i = 0; i < seeds.size(); ++i) {
            if (progress && !progress(double(i) / double(seeds.size()))) return nullptr;
            const CPoint seed = seeds[i];
            if (!Inside(image, seed)) continue;
            const CValueWindow values =
                ValuesIn(*topHat, CRect{seed.x - w, seed.y - w, seed.x + w, seed.y + w});
            std::unique_ptr<CRegion> region =
                LocalStatisticsRegion(values, seed, w, kClusterStatisticsK, 8);
            if (!region || !region->IsValid()) continue;
            GrowRegion(*region, image, kClusterGrowing);
            region->type = 'm';
            region->diagnosis = TruthDiagnosisAt(rosRegions, seed);
            region->spotX = seed.x;
            region->spotY = seed.y;
            grown.Add(*region);
        }
    }
    if (grown.IsEmpty()) return nullptr;
    std::unique_ptr<CMImage> original;
    if (originalImage.IsValid()) original = std::make_unique<CMImage>(originalImage);
    CVistrelDoc* doc = OpenImageInNewWindow(std::make_unique<CMImage>(image), std::move(original));
    if (!doc) return nullptr;
    // The result shows only what was grown here, over the source's truth and clusters.
    doc->regions = std::move(grown);
    doc->rosRegions = rosRegions;
    doc->clusters = clusters;
    doc->windowLow = windowLow;
    doc->windowHigh = windowHigh;
    doc->UpdateAllViews(kUpdateAnnotations);
    return doc;
}

}  // namespace vistrel
