#pragma once
// A synthetic mammogram: a cranio-caudal-like breast (chest wall at the left
// edge, nipple towards the right) over a dark background, with smooth tissue
// texture. The same parameters give the same image on every platform: random
// numbers come from std::mt19937 through our own uniform and normal
// conversions (the standard distributions differ between libraries).

#include <cstdint>
#include <memory>

#include "core/image.h"

namespace vistrel::cli {

struct CPhantomParams {
    int32_t width = 1024;
    int32_t height = 1280;
    int depth = 12;  // 8..16
    uint32_t seed = 1;
};

// Size limits of a phantom; outside them GeneratePhantom gives no image.
inline constexpr int32_t kPhantomMinSide = 16;
inline constexpr int32_t kPhantomMaxSide = 16384;

// The generated picture and the geometry it was drawn with (pixels).
struct CPhantom {
    std::unique_ptr<CMImage> image;
    // Breast outline: the half-ellipse ((x / semiAxisX)^2 + ((y - centreY) / semiAxisY)^2 = 1,
    // x >= 0), its outline perturbed by a few percent.
    double centreY = 0;
    double semiAxisX = 0;  // distance from the chest wall to the nipple
    double semiAxisY = 0;
};

// Draws the phantom; image is null for sizes or depths outside the limits or
// when memory runs out.
//   background: about 1.2 % of maxValue with Gaussian noise (sd 0.4 %)
//   tissue: 0.25 + 0.20 t + 0.10 (1 - x / semiAxisX) of maxValue, t = sqrt(1 - r^2)
//           the compressed thickness at normalised radius r, plus glandular
//           Gaussian blobs (scaled by t), low-frequency sinusoids and fine noise
//   skin line: the tissue fades into the background over the outer 5 % of r.
CPhantom GeneratePhantom(const CPhantomParams& params);

}  // namespace vistrel::cli
