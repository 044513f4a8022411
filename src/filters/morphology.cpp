#include "filters/morphology.h"

#include <algorithm>
#include <vector>

#include "core/image_operations.h"

namespace vistrel {

std::unique_ptr<CMImage> Erode(const CMImage& image, const CMorphSE& se, int iterations) {
    return MorphCore(image, EMorphOperation::Erosion, se, iterations, nullptr, true);
}

std::unique_ptr<CMImage> Dilate(const CMImage& image, const CMorphSE& se, int iterations) {
    return MorphCore(image, EMorphOperation::Dilation, se, iterations, nullptr, true);
}

}  // namespace vistrel
