#pragma once
// Density-based clustering (DBSCAN with a city-block neighbourhood) of
// detected points into microcalcification clusters, the clusters of a spot
// selection, and their score against the truth regions.

#include <cstdint>
#include <string>
#include <vector>

#include "detection/point_response.h"
#include "regions/chain_code.h"
#include "regions/cluster.h"
#include "regions/regions.h"

namespace vistrel {

// The cluster parameters in document units.
struct CClusterParams {
    double diameterCm = 1.0;    // neighbourhood of the first pass
    int32_t minObjects = 3;     // minimum neighbours of a core point; minimum cluster size
    double separationCm = 0.5;  // neighbourhood of the separation pass
    int32_t minSeparated = 0;   // minimum neighbours in the separation pass; 0 = no pass
};

// Lengths and areas in pixels at res dots per inch, rounded by adding 0.5 and
// truncating: L cm -> L res / 2.54, L mm -> L res / 25.4, A mm2 -> A res^2 / 645.16.
// Results beyond the int32 range saturate.
int32_t CmToPixels(double cm, double res);
int32_t MmToPixels(double mm, double res);
int32_t Mm2ToPixels(double mm2, double res);

// The cluster parameters in pixels.
struct CClusterPixelParams {
    int32_t minObjects = 3;
    double diameterPx = 0.0;
    int32_t minSeparated = 0;
    double separationPx = 0.0;
};
CClusterPixelParams InPixels(const CClusterParams& params, double res);

// The clustering of points on a width x height image. Per input point: 0 when
// it ends in no cluster, else the 1-based index of its cluster in the final
// cluster order (the order in which the points, taken in list order, first
// use the clusters).
//
// Neighbours of a point (px, py) are the point pixels (x, y) with
// |px - x| + |py - y| <= e, the point itself included; e is half the diameter.
// First pass (e = diameterPx / 2, m = minObjects): every unlabelled point in
// list order tries to grow a cluster: with fewer than m neighbours it is noise
// (a later cluster may still take it as a border point); otherwise all its
// neighbours join the new cluster (even those of an earlier one) and every
// neighbour with at least m neighbours of its own spreads the cluster to its
// unlabelled and noise neighbours. Clusters left with fewer than minObjects
// pixels are dropped. With minSeparated > 0, a second pass of the same kind
// (e = separationPx / 2, m = minSeparated) over the clustered pixels, the
// points of dropped clusters still counted as neighbours, keeps only the
// clusters of which some point ends in a second-pass cluster.
//
// Points are pixels: points at one pixel count once as a neighbour and towards
// a cluster's size, and all of them share the pixel's outcome. Points outside
// the image take no part (label 0). Memory and time follow the number of
// points, not the image size. False (labels empty) when width or height is not
// positive or memory runs out.
bool ClusterPointLabels(const std::vector<CPoint>& points, int32_t width, int32_t height,
                        const CClusterPixelParams& params, std::vector<int32_t>& labels,
                        int32_t& clusterCount);
// The labels alone; empty when the clustering could not run.
std::vector<int32_t> ClusterPointLabels(const std::vector<CPoint>& points, int32_t width,
                                        int32_t height, const CClusterPixelParams& params);

// Clusters the points: clusters is cleared and receives the clusters (each
// with its points in list order), and points keeps only the points that end in
// a cluster, in list order. An empty list gives no clusters. False when the
// clustering could not run: clusters is then empty and points untouched.
bool MakeClusters(CClusters& clusters, CSpotList& points, int32_t width, int32_t height,
                  const CClusterPixelParams& params);

// Clears clusters and out, copies the spots SelectSpots passes into out and,
// when any pass, clusters them (MakeClusters: out keeps the clustered spots).
// False when the clustering could not run.
bool SpotClusters(int32_t width, int32_t height, CClusters& clusters, CSpotList& out,
                  const CSpotList& spots, bool automatic, double threshold, int k,
                  int excludedScale, const CClusterPixelParams& params);
// The same with FirstOfEqualSpots(spots) found beforehand, for repeated
// selections from one list.
bool SpotClusters(int32_t width, int32_t height, CClusters& clusters, CSpotList& out,
                  const CSpotList& spots, const std::vector<int32_t>& distinct, bool automatic,
                  double threshold, int k, int excludedScale, const CClusterPixelParams& params);

// The header the spot-cluster evaluation line is shown under.
inline constexpr const char* kSpotClusterHeader =
    "Subtlety; True Locs; FP+TP; FP; FN; TP; microcalcification number in TPs; cluster areas;\n";

// The score of clusters against truth regions. truth counts the usable truth
// regions; hitCounts holds, in truth order, the point count of each hit region.
struct CSpotClusterScore {
    int truth = 0;
    int clusters = 0;
    int fp = 0;
    int fn = 0;
    int tp = 0;
    std::vector<int> hitCounts;
};

// The score: a cluster touches a truth region when their bounding rectangles
// overlap; it then counts its points inside the region. A region becomes hit
// (a TP) when one touching cluster has at least 3 points inside it, and later
// touching clusters add their counts to it. A cluster touching no region is a
// false positive; FN = truth - TP. Truth regions without an outline (null,
// invalid or with empty bounds) are not truth.
CSpotClusterScore ScoreSpotClusters(const CRegions& truth, const CClusters& clusters);

// The evaluation line of a spot clustering: "s; t; clusters; FP; FN; TP;", the
// hit counts "[c1,c2]; " ("[]; " without a hit) and each cluster's bounding
// area divided by diameterPx^2, largest first, as "[%.2lf];". With noSpots
// (there were no spots to cluster) the short line "s; t; 0; 0; t; 0; [];".
// The score, when asked for, receives the numbers of the line.
std::string EvaluateSpotClusters(int subtlety, const CRegions& truth, const CClusters& clusters,
                                 double diameterPx, bool noSpots = false,
                                 CSpotClusterScore* score = nullptr);

// The whole spot-cluster evaluation of an image: clears clusters and out;
// with no spots the short line; otherwise SpotClusters with the parameters in
// pixels at res, then the line of the clusters made (clusters and out keep
// them).
std::string EvaluateSpotClusters(int subtlety, const CRegions& truth, int32_t width, int32_t height,
                                 double res, const CClusterParams& params, CClusters& clusters,
                                 CSpotList& out, const CSpotList& spots, bool automatic,
                                 double threshold, int k, int excludedScale,
                                 CSpotClusterScore* score = nullptr);

}  // namespace vistrel
