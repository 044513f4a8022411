#include <cfloat>
#include <memory>
#include <vector>

#include "core/messages.h"
#include "detection/clustering.h"
#include "detection/region_clusters.h"
#include "detection/spot_file.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

// Region centroids carry no detector scale; a circle of half a millimetre
// (the size of a typical microcalcification) keeps each point visible at
// any resolution without swallowing its neighbours.
constexpr double kClusterMarkDiameterMm = 0.5;
constexpr int32_t kMinClusterMarkDiameter = 3;

// The same look as the spot tool's cluster areas: borders 7, insides 15.
constexpr int32_t kOutlineBorder = 7;
constexpr int32_t kOutlineInside = 15;

void SetInside(CMImage& image, const CPoint& p, int32_t value) {
    if (p.x >= 0 && p.y >= 0 && p.x < image.width && p.y < image.height)
        image.SetPixel(p.x, p.y, value);
}

// A 4-bit picture of the image's size with every cluster outline of the
// regions filled and its border drawn.
std::unique_ptr<CMImage> ClusterOutlineImage(const CMImageBase& image, const CRegions& regions) {
    auto outlines = std::make_unique<CMImage>();
    if (!outlines->Create(image.width, image.height, 4, 1)) return nullptr;  // zero-filled
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (!r || !r->IsValid() || !r->IsClusterOutline()) continue;
        for (const CPoint& p : r->Pixels()) SetInside(*outlines, p, kOutlineInside);
        for (const CPoint& p : r->Boundary()) SetInside(*outlines, p, kOutlineBorder);
    }
    outlines->InvalidateHistogram();
    return outlines;
}

}  // namespace

int32_t CVistrelDoc::ClusterRegions(std::string_view types, bool fromBinaryImage) {
    clusters.RemoveAll();
    if (!image.IsValid()) return 0;
    const CClusterPixelParams params = InPixels(App().clusterParams, resolution);
    if (!regions.IsEmpty())
        return RegionClusters(regions, image.width, image.height, params, types, clusters).clusters;
    if (fromBinaryImage && IsBinaryImage()) return RegionClusters(image, params, clusters);
    return 0;
}

std::string CVistrelDoc::EvaluateClusterLine(bool corrections) const {
    std::string line;
    std::vector<CClusterRegion> groups;
    EvaluateRegionClusters(subtlety, resolution, rosRegions, regions, line, kUnboundedClusterArea,
                           corrections, groups);
    return line;
}

CVistrelDoc* CVistrelDoc::OnMakeClusters() {
    if (!image.IsValid() || (regions.IsEmpty() && !IsBinaryImage())) return nullptr;
    CWaitCursor wait(App().Ui());
    ClusterRegions({}, true);
    UpdateAllViews(kUpdateAnnotations);
    const double diameter =
        std::max<double>(kMinClusterMarkDiameter, MmToPixels(kClusterMarkDiameterMm, resolution));
    CSpotList points;
    for (int32_t i = 0; i < clusters.Count(); ++i)
        if (const CCluster* cluster = clusters.At(i))
            for (const CPoint& p : cluster->Points())
                points.Append(CPointResponse(p, 0.0, diameter));
    if (points.Count() == 0) return nullptr;
    return OpenImageInNewWindow(SpotMarkImage(image, points, ESpotMark::kCircles));
}

std::string CVistrelDoc::OnClusterAreas(std::string_view types) {
    if (!image.IsValid() || (regions.IsEmpty() && clusters.Count() == 0)) return {};
    CWaitCursor wait(App().Ui());
    const int32_t count = ClusterRegions(types, true);
    if (ClusterOutlines(regions, count, types) > 0)
        OpenImageInNewWindow(ClusterOutlineImage(image, regions));
    UpdateAllViews(kUpdateAnnotations);
    const std::string line = EvaluateClusterLine(false);
    messages().show(kRegionClustersHeader + line);
    return line;
}

std::string CVistrelDoc::OnEvaluateClusterResults() {
    if (!image.IsValid()) return {};
    const std::string line = EvaluateClusterLine(false);
    messages().show(kClusterResultsHeader + line);
    return line;
}

std::string CVistrelDoc::OnRemoveBadRegions() {
    if (!image.IsValid() || regions.IsEmpty()) return {};
    CWaitCursor wait(App().Ui());
    RemoveBadRegions(regions, image, resolution, FeatureSettings());
    const int32_t count = ClusterRegions("mp", false);
    ClusterOutlines(regions, count, "mp");
    UpdateAllViews(kUpdateAnnotations);
    const std::string line = EvaluateClusterLine(true);
    messages().show(kRegionClustersHeader + line);
    return line;
}

}  // namespace vistrel
