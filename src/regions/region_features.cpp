#include "regions/region_features.h"

namespace vistrel {

std::vector<std::string> RegionFeatureNames(const CFeatureSettings&) { return {}; }
CFeatureSelection DefaultFeatureSelection(const CFeatureSettings& settings) {
    std::vector<CFeatureSelection::Entry> entries;
    for (const std::string& name : RegionFeatureNames(settings)) entries.push_back({name, 1});
    const auto second = static_cast<int32_t>(entries.size());
    for (const std::string& name : ClusterFeatureNames(settings)) entries.push_back({name, 1});
    return CFeatureSelection(std::move(entries), second);
}

CPoint RegionCentroid(const CRegion&) { return {-1, -1}; }
int ComputeRegionFeatures(const CRegion&, const CMImage&, const CFeatureSelection&,
                          const CFeatureSettings&, CFeatureVector& out) {
    out.Clear();
    return -1;
}
bool ComputeAllRegionFeatures(const CRegions& regions, const CMImage&, const CFeatureSelection&,
                              const CFeatureSettings&, bool, std::vector<CFeatureVector>& out,
                              const ProgressFn&) {
    out.assign(static_cast<size_t>(regions.Count()), CFeatureVector{});
    return true;
}
std::string FormatFeatures(int16_t, const CFeatureVector&) { return {}; }
bool MeanAndStdDev(const std::vector<CFeatureVector>&, CFeatureVector&, CFeatureVector&) {
    return false;
}

}  // namespace vistrel
