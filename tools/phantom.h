#pragma once
// A synthetic mammogram: a cranio-caudal-like breast (chest wall at the left
// edge, nipple towards the right) over a dark background, with smooth tissue
// texture. The same parameters give the same image on every platform: random
// numbers come from std::mt19937 through our own uniform and normal
// conversions (the standard distributions differ between libraries).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"

namespace vistrel::cli {

struct CPhantomParams {
    int32_t width = 1024;
    int32_t height = 1280;
    int depth = 12;  // 8..16
    uint32_t seed = 1;
    // Microcalcifications: clusters of 5..9 bright specks and isolated specks,
    // drawn from their own random sequence so that the tissue of a seed stays
    // the same whatever their numbers.
    int clusters = 0;
    int isolatedSpots = 0;
};

inline constexpr int kPhantomMaxClusters = 20;
inline constexpr int kPhantomMaxIsolatedSpots = 200;

// A speck: a bright disc with a soft edge, contrast in grey values.
struct CPhantomCalcification {
    double x = 0, y = 0, radius = 0, contrast = 0;
    int cluster = 0;  // 1-based cluster number, 0 for an isolated speck
};
struct CPhantomCluster {
    double x = 0, y = 0, radius = 0;  // circle holding every member
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
    std::vector<CPhantomCluster> clusters;
    std::vector<CPhantomCalcification> calcifications;
};

// Draws the phantom; image is null for sizes or depths outside the limits or
// when memory runs out.
//   background: about 1.2 % of maxValue with Gaussian noise (sd 0.4 %)
//   tissue: 0.25 + 0.20 t + 0.10 (1 - x / semiAxisX) of maxValue, t = sqrt(1 - r^2)
//           the compressed thickness at normalised radius r, plus glandular
//           Gaussian blobs (scaled by t), low-frequency sinusoids and fine noise
//   skin line: the tissue fades into the background over the outer 5 % of r.
//   microcalcifications: radius 1..3.5 pixels, contrast 12..20 % of maxValue,
//           inside the inner 70 % of the breast, at least their diameters plus
//           4 pixels apart; cluster members within a circle of 2..4 % of the
//           shorter side.
CPhantom GeneratePhantom(const CPhantomParams& params);

// The truth as an OVERLAY file: each cluster a malignant region of
// suspiciousness (its circle, widened by 4 pixels), each speck a
// microcalcification region ("IN CLUSTER k" for members). False when it cannot
// be written.
bool WritePhantomTruth(const std::string& path, const CPhantom& phantom);

}  // namespace vistrel::cli
