#pragma once
// Microcalcification clusters made of regions: numbering the regions that
// fall into a cluster, drawing an outline around each cluster, scoring the
// clusters against the truth regions, and the rule-based removal of regions
// that cannot be microcalcifications.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/image.h"
#include "detection/clustering.h"
#include "regions/cluster.h"
#include "regions/feature_vector.h"
#include "regions/regions.h"

namespace vistrel {

// The largest cluster index a member region can carry: 1000 already reads
// as an outline number (kClusterOutlineBase), so member numbers stop at 999.
inline constexpr int32_t kMaxRegionClusters = kClusterOutlineBase - 1;

// Region types that take part: every type when `types` is empty.
inline bool TypeSelected(char type, std::string_view types) {
    return types.empty() || types.find(type) != std::string_view::npos;
}

struct CRegionClustersResult {
    int32_t clusters = 0;    // clusters numbered 1..clusters in the regions and in `clusters`
    int32_t unnumbered = 0;  // further clusters found beyond kMaxRegionClusters, left out
};

// Clusters the regions of the given types (all when empty): every region is
// one point, its pixel centroid. Existing cluster outlines are removed first;
// members of cluster k (final order, 1-based) get clusterNumber k, every other
// region 0; `clusters` is cleared and receives one CCluster per numbered
// cluster with its member centroids. Regions whose centroid lies outside the
// width x height image take no part.
CRegionClustersResult RegionClusters(CRegions& regions, int32_t width, int32_t height,
                                     const CClusterPixelParams& params, std::string_view types,
                                     CClusters& clusters);

// Clusters the nonzero pixels of a binary image (one point per pixel);
// `clusters` is cleared first. Returns the number of clusters.
int32_t RegionClusters(const CMImageBase& binary, const CClusterPixelParams& params,
                       CClusters& clusters);

// For clusters 1..clusterCount: the convex hull of the boundary points of the
// cluster's member regions of the given types (all when empty) becomes a
// polygon region of type 'c' numbered ClusterOutlineNumber(k), added to the
// regions. A hull of two points gives a line outline; a cluster without
// boundary points or with a one-point hull gets none. Returns how many were added.
int32_t ClusterOutlines(CRegions& regions, int32_t clusterCount, std::string_view types);

// The header shown above an evaluation line, and the one "&Evaluate Cluster
// Results" shows.
inline constexpr char kRegionClustersHeader[] =
    "Subtlety; True Locs; All Indications; FP; FN; TP; number of microcals in TPS in ROS; area "
    "whole TP[mm2]; area ROS [mm2]; areaWTP/ROS; ((areaWTP i ROS)/ROS)*100%; area WTP i ROS "
    "[mm2]; cluster areas of all the indications [mm2];\n";
inline constexpr char kClusterResultsHeader[] =
    "; Subtlety; True Locs; All Indications; FP; FN; TP; number of microcals in TPS in ROS; area "
    "whole TP[mm2]; area ROS [mm2]; areaWTP/ROS; ((areaWTP i ROS)/ROS)*100%; area WTP i ROS "
    "[mm2]; cluster areas of all the indications [mm2];\n";

inline constexpr double kUnboundedClusterArea = std::numeric_limits<double>::infinity();

struct CRegionClusterEvaluation {
    int32_t groups = 0;         // cluster groups found in the regions
    int32_t largeClusters = 0;  // groups whose outline exceeds the large-area limit
    int32_t corrections = 0;    // corrections made to clusters (the last column)
};

// Scores the regions' clusters against the truth regions and appends the
// evaluation line to `out`: "subtlety; " then true locations, groups, FP, FN,
// TP, per true positive its member count and areas, and the outline areas of
// all groups in mm², largest first. Regions are grouped by cluster into
// `groups` (rebuilt): members by their number k, the first valid outline
// numbered ClusterOutlineNumber(k) as the group's outline. A truth region is
// hit by a group when it shares pixels with the group's outline; the members
// counted for it are those lying wholly in that shared pixel set. Groups
// whose outline area exceeds largeAreaLimitMm2 (kUnboundedClusterArea: none)
// are counted as large. No correction is made here, so with `corrections`
// the corrections column reads 0.
CRegionClusterEvaluation EvaluateRegionClusters(int32_t subtlety, double resolution,
                                                const CRegions& truth, const CRegions& regions,
                                                std::string& out, double largeAreaLimitMm2,
                                                bool corrections,
                                                std::vector<CClusterRegion>& groups);

struct CBadRegionCounts {
    int32_t deleted = 0;
    int32_t fibres = 0;  // given type 'f'
    int32_t points = 0;  // given type 'p'
};

// The measures the pruning reads from a region: its pixel count, the sides
// u >= l of its smallest slope-aligned enclosing rectangle, its outer
// compactness rounded to an integer (the shape value) and its outer
// perimeter in pixels (the second shape value), and the mean samples of the
// region and of the square ring of settings.ringWidth pixels around its
// bounds (pixels outside the region, inside the image; ringPixels of them).
struct CBadRegionMeasures {
    double area = 0.0;
    double major = 0.0;
    double minor = 0.0;
    int64_t shapeValue = 0;
    double secondShapeValue = 0.0;
    double regionMean = 0.0;
    double ringMean = 0.0;
    int64_t ringPixels = 0;
};
// False when the region or the image is invalid or no pixel of the region
// lies in the image.
bool MeasureBadRegion(const CRegion& region, const CMImage& image, const CFeatureSettings& settings,
                      CBadRegionMeasures& measures);

// "&Remove Bad Regions": for every region with an outline that is not a
// cluster outline, in order, with A1 = 1 mm², A2 = 0.02 mm², A3 = 0.065 mm²,
// L1 = 3 mm, L2 = 0.1 mm, L3 = 0.3 mm in pixels:
//   A > A1: type 'f', kept; A < A2 or u < L2: deleted; shape value 3 and
//   second shape value < 150: deleted; u > L1 and u/l > 4: type 'f', kept;
//   (u < L3 or A < A3) and shape value <= 5: type 'p', kept; otherwise kept
//   only when the region's mean is more than 50 grey levels above its ring's.
// A region that cannot be measured on the image (see MeasureBadRegion) is kept
// unchanged.
// The selection follows its region (none when that region was deleted).
CBadRegionCounts RemoveBadRegions(CRegions& regions, const CMImage& image, double resolution,
                                  const CFeatureSettings& settings);

}  // namespace vistrel
