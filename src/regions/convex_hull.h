#pragma once
// Convex hull of pixel positions: the enclosing rectangle of a region's
// shape and the outline drawn around a cluster's members both start here.

#include <vector>

#include "regions/chain_code.h"

namespace vistrel {

// Andrew's monotone chain, counter-clockwise in image coordinates, without
// collinear points; fewer than three distinct points come back as they are
// (sorted, without repeats).
std::vector<CPoint> ConvexHull(std::vector<CPoint> points);

}  // namespace vistrel
