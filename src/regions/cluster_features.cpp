// Features of a cluster outline over its member regions: counts and areas,
// the spread of the members about three centres, the grey levels under and
// around the members, and the co-occurrence texture of the outline's box.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/histogram.h"
#include "regions/region_features.h"
#include "regions/texture.h"

namespace vistrel {

namespace {

constexpr const char* kCountNames[] = {"Regions_In_Cluster_Number", "Regions_In_Cluster_Sum_Area",
                                       "Regions_In_Cluster_Sum_Area_mm",
                                       "Regions_In_Cluster_Number/Cluster_Area_mm"};
constexpr const char* kDistanceNames[] = {
    "Mean_Distance_From_Centroid(Centers)_mm",    "StdDev_Distance_From_Centroid(Centers)_mm",
    "Mean_Distance_From_Centroid(Masses)_mm",     "StdDev_Distance_From_Centroid(Masses)_mm",
    "Mean_Distance_From_Centroid(Boundaries)_mm", "StdDev_Distance_From_Centroid(Boundaries)_mm"};
constexpr const char* kBackgroundNames[] = {
    "Regions_In_Cluster_Background_Gray_Level", "Regions_In_Cluster_Background_StdDev",
    "Regions_In_Cluster_Background_Energy", "Regions_In_Cluster_Background_Entropy"};
constexpr const char* kIntensityNames[] = {
    "Regions_In_Cluster_Sum_Mass", "Regions_In_Cluster_Mean",
    "Regions_In_Cluster_StdDev",   "Regions_In_Cluster_Energy",
    "Regions_In_Cluster_Entropy",  "Regions_In_Cluster_Fbr",
    "Regions_In_Cluster_Fbd",      "Regions_In_Cluster_Difference_Ratio"};
constexpr const char* kCoocurrenceGate = "Regions_In_Cluster_Coocurence_Features";

struct CCentre {
    double x = 0.0;
    double y = 0.0;
};

// A histogram on the true-value axis (bins 0..maxValue of stored samples),
// as the image's own histograms are kept.
class CTrueValueHistogram {
  public:
    explicit CTrueValueHistogram(const CMImage& image) : image_(image) {
        ok_ = histogram_.Allocate(int32_t{image.maxValue} + 1) == 0;
        histogram_.firstValue = -int32_t{image.valueOffset};
        histogram_.lastValue = int32_t{image.maxValue} - int32_t{image.valueOffset};
    }
    void Add(int32_t x, int32_t y) {
        // Samples of 9..16 bits may lie above the nominal maximum; like the
        // image's own histogram, those are not counted.
        const auto sample = static_cast<uint16_t>(image_.GetPixel(x, y));
        if (ok_ && sample <= image_.maxValue) histogram_.AddSample(sample);
    }
    CHistogram& Finish() {
        histogram_.ComputeCountExtremes();
        histogram_.ComputeStatistics();
        return histogram_;
    }

  private:
    const CMImage& image_;
    CHistogram histogram_;
    bool ok_ = false;
};

// Mean and population standard deviation of the members' distances from a
// centre in mm; members without a centroid add nothing but stay in the divisor.
void DistanceStatistics(const std::vector<CPoint>& centroids, const CCentre& centre,
                        double resolution, double& mean, double& stdDev) {
    double sum = 0.0, squares = 0.0;
    for (const CPoint& c : centroids) {
        if (c.x < 0 || c.y < 0) continue;
        const double d = PixelsToMm(std::hypot(c.x - centre.x, c.y - centre.y), resolution);
        sum += d;
        squares += d * d;
    }
    const double n = static_cast<double>(centroids.size());
    mean = sum / n;
    stdDev = std::sqrt(std::max(0.0, squares / n - mean * mean));
}

// A horizontal and a vertical run of 2 * half + 1 pixels through the point.
void MarkCross(CMImage& image, CCentre centre, int32_t half) {
    const auto cx = static_cast<int32_t>(centre.x);
    const auto cy = static_cast<int32_t>(centre.y);
    for (int32_t d = -half; d <= half; ++d) {
        image.SetPixel(cx + d, cy, image.maxValue);
        image.SetPixel(cx, cy + d, image.maxValue);
    }
}

// The outline of the rectangle with both edges of each side drawn.
void MarkRectangle(CMImage& image, const CRect& r) {
    for (int32_t x = r.left; x <= r.right; ++x) {
        image.SetPixel(x, r.top, image.maxValue);
        image.SetPixel(x, r.bottom, image.maxValue);
    }
    for (int32_t y = r.top; y <= r.bottom; ++y) {
        image.SetPixel(r.left, y, image.maxValue);
        image.SetPixel(r.right, y, image.maxValue);
    }
}

// Margin that makes the ring around the w x h box about as large as the
// excess g of the region's area over the box pixels it leaves out.
int32_t BackgroundMargin(int64_t area, int64_t w, int64_t h) {
    const double g = static_cast<double>(area) - (static_cast<double>(w) * h - area);
    if (g <= 0) return 0;
    const double s = static_cast<double>(w + h);
    return static_cast<int32_t>((std::sqrt(s * s + 4.0 * g) - s) / 4.0 + 0.5);
}

}  // namespace

std::vector<std::string> ClusterFeatureNames(const CFeatureSettings&) {
    // The co-occurrence list itself is not listed: its names are the region
    // group's, and the gate alone decides it for a cluster.
    std::vector<std::string> names;
    for (const char* n : kCountNames) names.emplace_back(n);
    for (const char* n : kDistanceNames) names.emplace_back(n);
    for (const char* n : kBackgroundNames) names.emplace_back(n);
    for (const char* n : kIntensityNames) names.emplace_back(n);
    names.emplace_back(kCoocurrenceGate);
    return names;
}

int ComputeClusterFeatures(const CRegion& cluster, const CRegions& regions, const CMImage& image,
                           const CFeatureSelection& selection, const CFeatureSettings& settings,
                           CFeatureVector& out, std::unique_ptr<CMImage>* marked) {
    out.Clear();
    if (!cluster.IsValid() || !image.IsValid()) return -1;
    if (!IsClusterOutlineNumber(cluster.clusterNumber) ||
        ClusterOfNumber(cluster.clusterNumber) < 1)
        return -1;

    std::vector<const CRegion*> members;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const CRegion* r = regions.At(i);
        if (!r || r == &cluster || !r->IsValid()) continue;
        if (r->clusterNumber >= 1 && !IsClusterOutlineNumber(r->clusterNumber) &&
            ClusterOutlineNumber(r->clusterNumber) == cluster.clusterNumber)
            members.push_back(r);
    }
    if (members.empty()) return -1;

    const double resolution = settings.resolution;
    const double offset = image.valueOffset;
    std::vector<CPoint> centroids;
    centroids.reserve(members.size());
    int64_t sumArea = 0;
    CCentre centers, masses, boundaries;
    double totalMass = 0.0;
    int64_t boundaryCount = 0;
    for (const CRegion* m : members) {
        const std::vector<CPoint> pixels = m->Pixels();
        sumArea += static_cast<int64_t>(pixels.size());
        double mass = 0.0;
        for (const CPoint& p : pixels)
            mass += static_cast<uint16_t>(image.GetPixel(p.x, p.y)) - offset;
        const CPoint c = RegionCentroid(*m);
        centroids.push_back(c);
        centers.x += c.x;
        centers.y += c.y;
        masses.x += mass * c.x;
        masses.y += mass * c.y;
        totalMass += mass;
        for (const CPoint& b : m->Boundary()) {
            boundaries.x += b.x;
            boundaries.y += b.y;
        }
        boundaryCount += m->BoundaryCount();
    }
    if (sumArea < 1) return -1;

    const double n = static_cast<double>(members.size());
    centers.x /= n;
    centers.y /= n;
    // Without positive mass there is nothing to weight by: the plain centre
    // stands in for the mass-weighted one.
    if (totalMass > 0.0) {
        masses.x /= totalMass;
        masses.y /= totalMass;
    } else {
        masses = centers;
    }
    if (boundaryCount > 0) {
        boundaries.x /= static_cast<double>(boundaryCount);
        boundaries.y /= static_cast<double>(boundaryCount);
    }

    const auto area = static_cast<int64_t>(cluster.Pixels().size());
    const double areaMm = PixelAreaToMm2(static_cast<double>(area), resolution);
    const double counts[] = {n, static_cast<double>(sumArea),
                             PixelAreaToMm2(static_cast<double>(sumArea), resolution),
                             areaMm != 0.0 ? n / areaMm : 0.0};
    for (int i = 0; i < 4; ++i)
        if (selection.Selected(kCountNames[i])) out.Add(kCountNames[i], counts[i]);

    const CCentre centres[] = {centers, masses, boundaries};
    for (int i = 0; i < 3; ++i) {
        double mean = 0.0, stdDev = 0.0;
        DistanceStatistics(centroids, centres[i], resolution, mean, stdDev);
        out.Add(kDistanceNames[2 * i], mean);
        out.Add(kDistanceNames[2 * i + 1], stdDev);
    }

    // The members' pixels within the outline's box.
    const CRect box = cluster.Bounds();
    const int32_t wb = box.Width(), hb = box.Height();
    std::vector<uint8_t> mask(static_cast<size_t>(wb) * static_cast<size_t>(hb), 0);
    for (const CRegion* m : members) {
        const CRect& mb = m->Bounds();
        const int32_t left = std::max(mb.left, box.left), right = std::min(mb.right, box.right);
        const int32_t top = std::max(mb.top, box.top), bottom = std::min(mb.bottom, box.bottom);
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) {
                uint8_t& cell = mask[static_cast<size_t>(y - box.top) * wb + (x - box.left)];
                if (!cell && m->Contains(x, y)) cell = 1;
            }
    }

    const int32_t l = BackgroundMargin(area, wb, hb);
    const CRect grown{box.left - l, box.top - l, box.right + l, box.bottom + l};
    CTrueValueHistogram background(image), inside(image);
    const int32_t top = std::max(grown.top, 0), bottom = std::min(grown.bottom, image.height);
    const int32_t left = std::max(grown.left, 0), right = std::min(grown.right, image.width);
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x) {
            const bool inBox = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
            if (inBox && mask[static_cast<size_t>(y - box.top) * wb + (x - box.left)])
                inside.Add(x, y);
            else
                background.Add(x, y);
        }

    CHistogram& bh = background.Finish();
    double bEnergy = 0.0, bEntropy = 0.0;
    bh.GetEnergyEntropy(bEnergy, bEntropy);
    const double b = bh.GetMean();
    const double backgroundValues[] = {b, bh.GetStdDev(), bEnergy, bEntropy};
    for (int i = 0; i < 4; ++i)
        if (selection.Selected(kBackgroundNames[i]))
            out.Add(kBackgroundNames[i], backgroundValues[i]);

    CHistogram& fh = inside.Finish();
    if (fh.GetTotal() <= 0) return 0;
    double fEnergy = 0.0, fEntropy = 0.0;
    fh.GetEnergyEntropy(fEnergy, fEntropy);
    const double f = fh.GetMean();
    const double intensity[] = {static_cast<double>(fh.GetSumOfValues()),
                                f,
                                fh.GetStdDev(),
                                fEnergy,
                                fEntropy,
                                b != 0.0 ? f / b : f,
                                f - b,
                                f + b != 0.0 ? (f - b) / (f + b) : f - b};
    for (int i = 0; i < 8; ++i)
        if (selection.Selected(kIntensityNames[i])) out.Add(kIntensityNames[i], intensity[i]);

    if (!selection.Selected(kCoocurrenceGate)) return 0;
    CoocurrenceFeatures(image, box, settings.coocurrenceDistance, out);
    if (marked) {
        auto copy = std::make_unique<CMImage>(image);
        MarkCross(*copy, centers, 0);
        MarkCross(*copy, boundaries, 1);
        MarkCross(*copy, masses, 5);
        const CPoint c = RegionCentroid(cluster);
        MarkCross(*copy, {static_cast<double>(c.x), static_cast<double>(c.y)}, 3);
        MarkRectangle(*copy, box);
        copy->InvalidateHistogram();
        *marked = std::move(copy);
    }
    return 0;
}

}  // namespace vistrel
