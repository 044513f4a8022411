#pragma once
// The synthetic speck image: a noisy background, optionally with a horizontal
// wave, and bright discs with soft edges where spots are to be found.
//   v(x, y) = background + waveAmplitude * sin(x / wavePeriod) + noise
//             + sum over specks of contrast / (1 + exp((d - radius) * edgeSteepness))
// d the distance to the speck's centre; v is clamped to 0..maxValue and
// truncated. The noise is drawn once per pixel, row by row, from std::mt19937
// seeded with `seed`: an integer rng() % uniformNoise, or a draw of a normal
// distribution with sd gaussianNoise.

#include <cstdint>
#include <vector>

#include "core/image.h"

namespace vistrel::testsupport {

struct CSpeck {
    int x = 0, y = 0;
    double radius = 0;
};

struct CSpeckImageParams {
    enum class ENoise { UniformInteger, Gaussian };

    int32_t width = 120, height = 100;
    int depth = 12;
    uint32_t seed = 3;
    double background = 1200;
    double waveAmplitude = 0, wavePeriod = 1;
    ENoise noise = ENoise::UniformInteger;
    uint32_t uniformNoise = 40;  // UniformInteger: rng() % uniformNoise (0: none)
    double gaussianNoise = 0;    // Gaussian: the standard deviation
    double contrast = 500;
    double edgeSteepness = 2.5;
    std::vector<CSpeck> specks = {{25, 25, 1.2}, {70, 30, 2.2}, {40, 70, 3.0}, {95, 75, 1.6}};
};

CMImage SpeckImage(const CSpeckImageParams& params = {});

// ---- microcalcification cluster scenes
// Two groups of specks, well apart, and one lone speck on 420 x 400: at the
// default resolution (1 cm = 230 pixels) each group is a cluster of its own;
// kClusterTruth covers the first group (four specks) only.
CSpeckImageParams ClusterSpeckParams();
inline constexpr int kClusterTruth[4] = {40, 40, 120, 120};  // left, top, right, bottom

}  // namespace vistrel::testsupport
