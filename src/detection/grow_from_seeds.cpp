#include "detection/grow_from_seeds.h"

#include <cmath>

namespace vistrel {

int32_t GrowWindowPixels(double value, bool centimetres, double resolution) {
    double px = centimetres ? std::round(value * resolution / 2.54) : value;
    if (!std::isfinite(px) || px < kMinGrowWindow) return kMinGrowWindow;
    if (px > 1.0e6) px = 1.0e6;
    return static_cast<int32_t>(px);
}

// Placeholder bodies until the growing rules land.
std::unique_ptr<CRegion> LocalStatisticsRegion(const CValueWindow&, CPoint, int32_t, double, int,
                                               std::optional<double>) {
    return nullptr;
}

std::unique_ptr<CMImage> GrowFromSeeds(const CMImage&, const CSpotList&, CRegions&,
                                       const CRegions*, const CGrowParams&, CGrowReport*,
                                       const ProgressFn&) {
    return nullptr;
}

}  // namespace vistrel
