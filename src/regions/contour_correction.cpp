#include "regions/contour_correction.h"

#include <cmath>
#include <vector>

#include "regions/regions.h"

namespace vistrel {

namespace {

bool InImage(const CMImageBase& image, CPoint p) {
    return p.x >= 0 && p.y >= 0 && p.x < image.width && p.y < image.height;
}

uint16_t Sample(const CMImageBase& image, CPoint p) {
    return static_cast<uint16_t>(image.GetPixel(p.x, p.y));
}

}  // namespace

int32_t GrowRegion(CRegion& region, const CMImageBase& image, const CRegionGrowingParams& params) {
    if (!region.IsValid() || !image.IsValid()) return 0;
    int32_t rings = 0;
    while (rings < params.maxAddedBounds) {
        double sum = 0.0;
        int64_t count = 0;
        for (const CPoint& p : region.Pixels())
            if (InImage(image, p)) {
                sum += Sample(image, p);
                ++count;
            }
        if (count == 0) break;
        const double mean = sum / static_cast<double>(count);
        const double tolerance = mean * params.fraction;
        std::vector<CPoint> accepted;
        for (const CPoint& p : region.OuterNeighbours(0))
            if (InImage(image, p) && std::fabs(mean - Sample(image, p)) <= tolerance)
                accepted.push_back(p);
        if (accepted.empty()) break;
        region.AddPixels(accepted);
        ++rings;
    }
    region.Retrace(true);
    return rings;
}

int32_t GrowRegions(CRegions& regions, const CMImageBase& image, const CRegionGrowingParams& params,
                    int32_t cluster) {
    int32_t processed = 0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        CRegion* r = regions.At(i);
        if (!r || !r->IsValid()) continue;
        if (cluster >= ClusterOutlineNumber(1) &&
            ClusterOutlineNumber(r->clusterNumber) != cluster && r->clusterNumber != cluster)
            continue;
        GrowRegion(*r, image, params);
        ++processed;
    }
    return processed;
}

int32_t DilateRegion(CRegion& region, const CRect& rect, int element) {
    if (!region.IsValid()) return 0;
    std::vector<CPoint> added;
    for (const CPoint& p : region.OuterNeighbours(element == 1 ? 1 : 0))
        if (p.x >= rect.left && p.x < rect.right && p.y >= rect.top && p.y < rect.bottom)
            added.push_back(p);
    if (!added.empty()) region.AddPixels(added);
    return static_cast<int32_t>(added.size());
}

}  // namespace vistrel
