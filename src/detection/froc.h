#pragma once
// Free-response operating characteristic of the spot-cluster detection over a
// set of images: for each spot threshold, the fraction of truth regions found
// and the false-positive clusters per image.

#include <cstdint>
#include <vector>

#include "detection/clustering.h"
#include "detection/point_response.h"
#include "regions/regions.h"

namespace vistrel {

// One image of the sweep: its size and resolution, its truth regions and its
// full (unselected) spot list, both owned by the caller.
struct CFrocImage {
    int32_t width = 0;
    int32_t height = 0;
    double resolution = 0.0;
    int subtlety = 0;
    const CRegions* truth = nullptr;
    const CSpotList* spots = nullptr;
};

// How spots are selected and clustered at every threshold (as SpotClusters).
struct CFrocSettings {
    CClusterParams clusters;
    bool automatic = false;
    int k = -1;  // the spot value compared with the threshold; -1 the response
    int excludedScale = -1;
};

struct CFrocPoint {
    double threshold = 0.0;
    double sensitivity = 0.0;  // sum of TP / sum of truth regions (0 without truth)
    double fpPerImage = 0.0;   // sum of FP / number of images
};

struct CFrocResult {
    std::vector<CFrocPoint> points;  // one per threshold, in the given order
    // scores[t][i]: image i at threshold t, scored as EvaluateSpotClusters does.
    std::vector<std::vector<CSpotClusterScore>> scores;
    // False when some clustering could not run (its image then scores as
    // having no clusters).
    bool complete = true;
};

// The sweep: at each threshold every image's spots are selected, clustered
// with the parameters in pixels at the image's resolution, and scored against
// its truth regions. An image without spots scores as having no clusters.
CFrocResult FrocSweep(const std::vector<CFrocImage>& images, const std::vector<double>& thresholds,
                      const CFrocSettings& settings);

// count thresholds spread evenly from the smallest to the largest value k of
// the images' spots, both included (one threshold: the smallest). Empty when
// count < 1 or there are no spots.
std::vector<double> SpreadThresholds(const std::vector<CFrocImage>& images, int count, int k = -1);

}  // namespace vistrel
