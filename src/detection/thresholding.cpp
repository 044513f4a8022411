#include "detection/thresholding.h"

namespace vistrel {

// Placeholder bodies until thresholding lands.
std::unique_ptr<CMImage> ThresholdImage(const CMImage&, double, bool, bool) { return nullptr; }

CSpotList LocalMaximaSpots(const CMImage&, int32_t, const CMImageBase*) { return {}; }

}  // namespace vistrel
