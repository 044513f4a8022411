#pragma once
// Connected-component extraction: every component of pixels equal to an object
// value becomes a traced region.

#include <memory>

#include "core/image.h"
#include "regions/regions.h"

namespace vistrel {

// Labels the pixels equal to objectValue with 4- or 8-connectivity
// (connectivity 4 or 8) and returns one region per component, traced from its
// pixel set with clean-up, in the raster order of each component's first
// pixel. Components that give no valid outline (a single pixel) are left out.
// Null for an invalid image, another connectivity or a failed allocation.
std::unique_ptr<CRegions> ExtractRegions(const CMImageBase& image, int objectValue,
                                         int connectivity);

}  // namespace vistrel
