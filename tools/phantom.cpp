#include "phantom.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <random>
#include <vector>

#include "regions/overlay_file.h"
#include "regions/regions.h"

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

// True when (x, y) is inside the inner part of the breast of the phantom.
bool InsideBreast(const CPhantom& p, double x, double y, double fraction) {
    const double u = x / p.semiAxisX, v = (y - p.centreY) / p.semiAxisY;
    return x >= 0 && u * u + v * v < fraction * fraction;
}

void DrawSpeck(CMImage& image, const CPhantomCalcification& c) {
    const double reach = c.radius + 3.0;
    const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(c.x - reach)));
    const int32_t x1 = std::min(image.width - 1, static_cast<int32_t>(std::ceil(c.x + reach)));
    const int32_t y0 = std::max(0, static_cast<int32_t>(std::floor(c.y - reach)));
    const int32_t y1 = std::min(image.height - 1, static_cast<int32_t>(std::ceil(c.y + reach)));
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) {
            const double d = std::hypot(x - c.x, y - c.y);
            const double add = c.contrast / (1.0 + std::exp((d - c.radius) * 3.0));
            const double base = static_cast<uint16_t>(image.GetPixel(x, y));
            const double v = std::clamp(base + std::round(add), 0.0, double(image.maxValue));
            image.SetPixel(x, y, static_cast<int32_t>(v));
        }
}

// Places and draws the specks; the tissue drawn before is not affected by
// their numbers because they use a random sequence of their own.
void AddCalcifications(const CPhantomParams& params, CPhantom& phantom, CMImage& image) {
    if (params.clusters <= 0 && params.isolatedSpots <= 0) return;
    CPhantomRandom random(params.seed ^ 0x9E3779B9u);
    const double side = std::min(image.width, image.height);
    const double maxValue = image.maxValue;
    auto farEnough = [&](double x, double y, double r) {
        for (const CPhantomCalcification& o : phantom.calcifications)
            if (std::hypot(x - o.x, y - o.y) < 2.0 * (r + o.radius) + 4.0) return false;
        return true;
    };
    auto speck = [&](double x, double y, int cluster) {
        CPhantomCalcification c;
        c.x = x;
        c.y = y;
        c.radius = random.Uniform(1.0, 3.5);
        c.contrast = random.Uniform(0.12, 0.20) * maxValue;
        c.cluster = cluster;
        return c;
    };
    const double margin = 20.0;
    auto inImage = [&](double x, double y) {
        return x >= margin && y >= margin && x < image.width - margin && y < image.height - margin;
    };
    for (int k = 0; k < params.clusters; ++k) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            const double x = random.Uniform(0.0, phantom.semiAxisX);
            const double y = random.Uniform(phantom.centreY - phantom.semiAxisY,
                                            phantom.centreY + phantom.semiAxisY);
            const double radius = side * random.Uniform(0.02, 0.04) + 6.0;
            if (!InsideBreast(phantom, x, y, 0.7) || !inImage(x - radius, y - radius) ||
                !inImage(x + radius, y + radius))
                continue;
            bool apart = true;
            for (const CPhantomCluster& o : phantom.clusters)
                apart = apart && std::hypot(x - o.x, y - o.y) > radius + o.radius + 20.0;
            if (!apart) continue;
            const int number = static_cast<int>(phantom.clusters.size()) + 1;
            phantom.clusters.push_back({x, y, radius});
            const int members = 5 + static_cast<int>(random.Uniform() * 5);
            for (int m = 0, tries = 0; m < members && tries < 500; ++tries) {
                const double a = random.Uniform(0.0, 2.0 * kPi);
                const double d = (radius - 4.0) * std::sqrt(random.Uniform());
                CPhantomCalcification c = speck(x + d * std::cos(a), y + d * std::sin(a), number);
                if (!farEnough(c.x, c.y, c.radius)) continue;
                phantom.calcifications.push_back(c);
                ++m;
            }
            break;
        }
    }
    for (int k = 0, tries = 0; k < params.isolatedSpots && tries < 200 * (k + 1); ++tries) {
        const double x = random.Uniform(0.0, phantom.semiAxisX);
        const double y = random.Uniform(phantom.centreY - phantom.semiAxisY,
                                        phantom.centreY + phantom.semiAxisY);
        if (!InsideBreast(phantom, x, y, 0.7) || !inImage(x, y)) continue;
        bool outsideClusters = true;
        for (const CPhantomCluster& o : phantom.clusters)
            outsideClusters = outsideClusters && std::hypot(x - o.x, y - o.y) > o.radius + 30.0;
        if (!outsideClusters) continue;
        CPhantomCalcification c = speck(x, y, 0);
        if (!farEnough(c.x, c.y, c.radius)) continue;
        phantom.calcifications.push_back(c);
        ++k;
    }
    for (const CPhantomCalcification& c : phantom.calcifications) DrawSpeck(image, c);
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
    AddCalcifications(params, phantom, *image);
    image->InvalidateHistogram();
    phantom.image = std::move(image);
    return phantom;
}

bool WritePhantomTruth(const std::string& path, const CPhantom& phantom) {
    if (!phantom.image) return false;
    const int32_t w = phantom.image->width, h = phantom.image->height;
    CRegions regions, ros;
    for (std::size_t k = 0; k < phantom.clusters.size(); ++k) {
        const CPhantomCluster& c = phantom.clusters[k];
        std::vector<CPoint> polygon;
        const double r = c.radius + 4.0;
        for (int i = 0; i < 24; ++i) {
            const double a = 2.0 * kPi * i / 24.0;
            polygon.push_back(
                {std::clamp(static_cast<int32_t>(std::lround(c.x + r * std::cos(a))), 0, w - 1),
                 std::clamp(static_cast<int32_t>(std::lround(c.y + r * std::sin(a))), 0, h - 1)});
        }
        CRegion outline(polygon, CRegion::PointsMode::Polygon);
        outline.diagnosis = 1;
        outline.type = 'c';
        ros.Add(outline);
    }
    for (const CPhantomCalcification& calc : phantom.calcifications) {
        std::vector<CPoint> pixels;
        const double reach = std::max(calc.radius, 1.5);
        for (int32_t y = static_cast<int32_t>(std::floor(calc.y - reach));
             y <= static_cast<int32_t>(std::ceil(calc.y + reach)); ++y)
            for (int32_t x = static_cast<int32_t>(std::floor(calc.x - reach));
                 x <= static_cast<int32_t>(std::ceil(calc.x + reach)); ++x)
                if (x >= 0 && y >= 0 && x < w && y < h &&
                    std::hypot(x - calc.x, y - calc.y) <= reach)
                    pixels.push_back({x, y});
        CRegion speck(pixels, CRegion::PointsMode::PixelSet);
        speck.diagnosis = calc.cluster != 0 ? 1 : 0;
        speck.type = 'm';
        speck.clusterNumber = calc.cluster;
        regions.Add(speck);
    }
    COverlayPlacement placement;
    placement.imageWidth = w;
    placement.imageHeight = h;
    const COverlayWriteResult result = WriteOverlay(path, "", regions, ros, placement, true);
    return result == COverlayWriteResult::Written;
}

}  // namespace vistrel::cli
