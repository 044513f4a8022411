#pragma once
// Thresholding of an image and its local maxima as candidate seeds.

#include <cstdint>
#include <memory>

#include "core/image.h"
#include "detection/point_response.h"

namespace vistrel {

// The pixels >= threshold. Single pixels with no 8-neighbour above the
// threshold are dropped unless keepSinglePixels. Without onImage the result is
// a 1-bit image (1 = above); with onImage a copy of image whose kept pixels
// are set to its maximum grey value. Null for an invalid image.
std::unique_ptr<CMImage> ThresholdImage(const CMImage& image, double threshold,
                                        bool keepSinglePixels, bool onImage);

// The local maxima of the image within a square of side sizePx (raised to 3,
// made odd): pixels strictly greater than every other pixel of the square
// centred on them, inside the mask when it is valid. Each becomes a spot whose
// response is its grey value, in raster order.
CSpotList LocalMaximaSpots(const CMImage& image, int32_t sizePx, const CMImageBase* mask = nullptr);

}  // namespace vistrel
