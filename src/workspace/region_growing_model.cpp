#include "workspace/region_growing_model.h"

#include <cmath>

namespace vistrel {

void CRegionGrowingModel::Load(const CRegionGrowingParams& params) {
    maxAddedBounds = params.maxAddedBounds;
    percent = params.fraction * 100.0;
}

std::string CRegionGrowingModel::Problem() const {
    if (maxAddedBounds < 0 || maxAddedBounds > kMaxAddedBoundsLimit)
        return std::string(kMaxAddedBoundsLabel) + " must lie between 0 and " +
               std::to_string(kMaxAddedBoundsLimit) + ".";
    // NaN fails both comparisons, so it is tested on its own.
    if (!std::isfinite(percent) || percent < 0.0 || percent > kPercentLimit)
        return std::string(kPercentLabel) + " must lie between 0 and 1000.";
    return {};
}

bool CRegionGrowingModel::Commit(CRegionGrowingParams& params) const {
    if (!Problem().empty()) return false;
    params.maxAddedBounds = maxAddedBounds;
    params.fraction = percent / 100.0;
    return true;
}

}  // namespace vistrel
