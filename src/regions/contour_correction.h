#pragma once
// Contour corrections of regions drawn or detected on an image: growing an
// outline over neighbours of similar grey level, and smoothing it by a 3x3
// dilation.

#include <cstdint>

#include "core/image.h"
#include "regions/region.h"

namespace vistrel {

class CRegions;

// Parameters of region growing; the dialog shows the fraction in percent.
struct CRegionGrowingParams {
    int32_t maxAddedBounds = 5;  // at most this many rings are added
    double fraction = 0.01;      // a neighbour joins when |mean - value| <= mean * fraction
};

// Structuring element of the smoothing dilation.
struct CDilationParams {
    int element = 0;  // 0 = cross (4-neighbourhood), 1 = square (8-neighbourhood)
};

// Grows the region ring by ring: each iteration takes the mean sample m inside
// the region and adds the 4-neighbour outer pixels inside the image whose
// sample differs from m by at most m * fraction; it stops when none qualifies
// or after maxAddedBounds iterations, then retraces the outline with
// clean-up. Returns the number of rings added.
int32_t GrowRegion(CRegion& region, const CMImageBase& image, const CRegionGrowingParams& params);

// GrowRegion on every region (cluster < ClusterOutlineNumber(1)) or on the
// members of one cluster and its outline (cluster = ClusterOutlineNumber(k):
// regions of cluster k and the region numbered cluster). Returns how many regions were processed.
int32_t GrowRegions(CRegions& regions, const CMImageBase& image, const CRegionGrowingParams& params,
                    int32_t cluster);

// Adds the region's outer neighbours (cross or square) that lie in the
// rectangle. Returns how many pixels were added.
int32_t DilateRegion(CRegion& region, const CRect& rect, int element);

}  // namespace vistrel
