#include "support/speck_image.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vistrel::testsupport {

CMImage SpeckImage(const CSpeckImageParams& p) {
    CMImage image;
    image.Create(p.width, p.height, p.depth, 1);
    std::mt19937 rng(p.seed);
    std::normal_distribution<double> gauss(0.0, p.gaussianNoise > 0 ? p.gaussianNoise : 1.0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            double v = p.background + p.waveAmplitude * std::sin(x / p.wavePeriod);
            if (p.noise == CSpeckImageParams::ENoise::UniformInteger) {
                if (p.uniformNoise > 0) v += int(rng() % p.uniformNoise);
            } else if (p.gaussianNoise > 0) {
                v += gauss(rng);
            }
            for (const CSpeck& s : p.specks) {
                const double d = std::hypot(x - s.x, y - s.y);
                v += p.contrast / (1 + std::exp((d - s.radius) * p.edgeSteepness));
            }
            image.SetPixel(x, y, int(std::clamp(v, 0.0, double(image.maxValue))));
        }
    return image;
}

// ---- microcalcification cluster scenes
CSpeckImageParams ClusterSpeckParams() {
    CSpeckImageParams p;
    p.width = 420;
    p.height = 400;
    p.uniformNoise = 20;
    p.contrast = 900;
    p.specks = {{60, 60, 2.5},   {85, 70, 2.5},   {70, 95, 2.5},   {95, 100, 2.5},
                {300, 300, 2.5}, {325, 310, 2.5}, {310, 335, 2.5}, {350, 60, 2.5}};
    return p;
}

}  // namespace vistrel::testsupport
