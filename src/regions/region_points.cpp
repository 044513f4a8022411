#include "regions/region_points.h"

namespace vistrel {

bool CRegionPoints::Add(CPoint point, int32_t label) {
    if (label_ == -1) label_ = label;
    if (label_ != label) return false;
    points_.push_back(point);
    return true;
}

void CRegionPoints::Absorb(CRegionPoints& other) {
    if (&other == this) return;
    if (points_.empty()) {
        points_.swap(other.points_);
    } else {
        points_.insert(points_.end(), other.points_.begin(), other.points_.end());
    }
    other.points_.clear();
    other.points_.shrink_to_fit();
}

}  // namespace vistrel
