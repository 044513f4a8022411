#include "regions/region_features.h"

namespace vistrel {

std::vector<std::string> ClusterFeatureNames(const CFeatureSettings&) { return {}; }

int ComputeClusterFeatures(const CRegion&, const CRegions&, const CMImage&,
                           const CFeatureSelection&, const CFeatureSettings&, CFeatureVector& out,
                           std::unique_ptr<CMImage>*) {
    out.Clear();
    return -1;
}

}  // namespace vistrel
