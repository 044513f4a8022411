#include "phantom.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <random>
#include <vector>

namespace vistrel::cli {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Uniform and normal numbers derived from the raw 32-bit engine outputs, whose
// sequence the C++ standard fixes for every library.
class CPhantomRandom {
  public:
    explicit CPhantomRandom(uint32_t seed) : engine_(seed) {}

    // Uniform in [0, 1) with 53 random bits.
    double Uniform() {
        const uint64_t high = engine_() >> 5;  // 27 bits
        const uint64_t low = engine_() >> 6;   // 26 bits
        return (static_cast<double>(high) * 67108864.0 + static_cast<double>(low)) /
               9007199254740992.0;
    }
    double Uniform(double low, double high) { return low + (high - low) * Uniform(); }

    // Standard normal by the Box-Muller transform; the second value of each
    // pair is kept for the next call.
    double Normal() {
        if (haveSpare_) {
            haveSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - Uniform();  // (0, 1], so the logarithm is finite
        const double u2 = Uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        spare_ = radius * std::sin(2.0 * kPi * u2);
        haveSpare_ = true;
        return radius * std::cos(2.0 * kPi * u2);
    }

  private:
    std::mt19937 engine_;
    bool haveSpare_ = false;
    double spare_ = 0.0;
};

struct CBlob {
    double x, y, sigma, amplitude;
};
struct CWave {
    double kx, ky, phase, amplitude;
};

double SmoothStep(double edge0, double edge1, double v) {
    const double t = std::clamp((v - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace

CPhantom GeneratePhantom(const CPhantomParams& params) {
    CPhantom phantom;
    const int32_t width = params.width;
    const int32_t height = params.height;
    if (width < kPhantomMinSide || width > kPhantomMaxSide || height < kPhantomMinSide ||
        height > kPhantomMaxSide || params.depth < 8 || params.depth > 16)
        return phantom;

    CPhantomRandom random(params.seed);
    const double side = std::min(width, height);

    // Geometry first, then texture, then per-pixel noise in raster order: the
    // order of the draws is part of what a seed means.
    phantom.centreY = height * random.Uniform(0.47, 0.53);
    phantom.semiAxisX = width * random.Uniform(0.72, 0.86);
    phantom.semiAxisY = height * random.Uniform(0.36, 0.44);
    const double outlineWobble = random.Uniform(0.01, 0.04);
    const double outlinePhase = random.Uniform(0.0, 2.0 * kPi);

    std::vector<CBlob> blobs(10 + static_cast<int>(random.Uniform() * 5));
    for (CBlob& blob : blobs) {
        // Glandular tissue gathers behind the nipple, away from the skin.
        const double radius = 0.7 * std::sqrt(random.Uniform());
        const double angle = random.Uniform(-0.5 * kPi, 0.5 * kPi);
        blob.x = phantom.semiAxisX * radius * std::cos(angle);
        blob.y = phantom.centreY + phantom.semiAxisY * radius * std::sin(angle);
        blob.sigma = side * random.Uniform(0.03, 0.10);
        blob.amplitude = random.Uniform(0.04, 0.12);
    }
    std::vector<CWave> waves(6);
    for (CWave& wave : waves) {
        const double wavelength = side * random.Uniform(0.04, 0.30);
        const double direction = random.Uniform(0.0, kPi);
        wave.kx = 2.0 * kPi * std::cos(direction) / wavelength;
        wave.ky = 2.0 * kPi * std::sin(direction) / wavelength;
        wave.phase = random.Uniform(0.0, 2.0 * kPi);
        wave.amplitude = random.Uniform(0.008, 0.02);
    }

    std::vector<float> glands;
    try {
        glands.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0f);
    } catch (const std::bad_alloc&) {
        return phantom;
    }
    // Each blob only within four deviations of its centre, where it is not negligible.
    for (const CBlob& blob : blobs) {
        const double reach = 4.0 * blob.sigma;
        const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(blob.x - reach)));
        const int32_t x1 = std::min(width - 1, static_cast<int32_t>(std::ceil(blob.x + reach)));
        const int32_t y0 = std::max(0, static_cast<int32_t>(std::floor(blob.y - reach)));
        const int32_t y1 = std::min(height - 1, static_cast<int32_t>(std::ceil(blob.y + reach)));
        const double scale = -0.5 / (blob.sigma * blob.sigma);
        for (int32_t y = y0; y <= y1; ++y) {
            float* row = glands.data() + static_cast<std::size_t>(y) * width;
            const double dy2 = (y - blob.y) * (y - blob.y);
            for (int32_t x = x0; x <= x1; ++x) {
                const double dx = x - blob.x;
                row[x] += static_cast<float>(blob.amplitude * std::exp(scale * (dx * dx + dy2)));
            }
        }
    }

    auto image = std::make_unique<CMImage>();
    if (!image->Create(width, height, params.depth)) return phantom;
    const double maxValue = image->maxValue;
    const double background = 0.012;
    const double backgroundNoise = 0.004;
    const double tissueNoise = 0.008;

    for (int32_t y = 0; y < height; ++y) {
        const float* glandRow = glands.data() + static_cast<std::size_t>(y) * width;
        const double v = (y - phantom.centreY) / phantom.semiAxisY;
        for (int32_t x = 0; x < width; ++x) {
            const double u = x / phantom.semiAxisX;
            const double angle = std::atan2(v, u);
            // A slightly irregular outline instead of a perfect ellipse.
            const double r = std::sqrt(u * u + v * v) /
                             (1.0 + outlineWobble * std::sin(3.0 * angle + outlinePhase));
            double level = background + backgroundNoise * random.Normal();
            if (r < 1.0) {
                const double thickness = std::sqrt(1.0 - r * r);
                double tissue = 0.25 + 0.20 * thickness + 0.10 * std::max(0.0, 1.0 - u);
                tissue += thickness * glandRow[x];
                for (const CWave& wave : waves)
                    tissue += wave.amplitude * std::sin(wave.kx * x + wave.ky * y + wave.phase);
                tissue += tissueNoise * random.Normal();
                const double skin = SmoothStep(0.0, 0.05, 1.0 - r);
                level += (tissue - background) * skin;
            }
            const double sample = std::clamp(std::round(level * maxValue), 0.0, maxValue);
            if (params.depth > 8) {
                image->Row16(y)[x] = static_cast<uint16_t>(sample);
            } else {
                image->Row(y)[x] = static_cast<uint8_t>(sample);
            }
        }
    }
    image->InvalidateHistogram();
    phantom.image = std::move(image);
    return phantom;
}

}  // namespace vistrel::cli
