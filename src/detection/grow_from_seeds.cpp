#include "detection/grow_from_seeds.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <thread>
#include <type_traits>

#include "detection/spot_detector.h"
#include "filters/filter.h"
#include "filters/morph_se.h"
#include "filters/morphology.h"
#include "filters/parallel_rows.h"

namespace vistrel {

int32_t GrowWindowPixels(double value, bool centimetres, double resolution) {
    double px = centimetres ? std::round(value * resolution / 2.54) : value;
    if (!std::isfinite(px) || px < kMinGrowWindow) return kMinGrowWindow;
    if (px > 1.0e6) px = 1.0e6;
    return static_cast<int32_t>(px);
}

namespace {

CRect Clip(CRect r, const CRect& to) {
    r.left = std::max(r.left, to.left);
    r.top = std::max(r.top, to.top);
    r.right = std::min(r.right, to.right);
    r.bottom = std::min(r.bottom, to.bottom);
    return r;
}

bool Inside(const CRect& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// [x - w, x + w) x [y - w, y + w), computed in 64 bits so that a huge window
// cannot overflow before it is clipped.
CRect WindowAround(CPoint seed, int32_t w, const CRect& bounds) {
    auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return Clip({clamp(int64_t(seed.x) - w), clamp(int64_t(seed.y) - w), clamp(int64_t(seed.x) + w),
                 clamp(int64_t(seed.y) + w)},
                bounds);
}

// Stored samples of an image read as floats, without the per-pixel depth
// switch of GetPixel on the common 8- and 16-bit rasters.
class CSampleSource {
  public:
    explicit CSampleSource(const CMImageBase& image) : image_(image) {
        if (image.depth == 8) bytes_ = image.data;
        if (image.depth > 8) words_ = image.data;
    }
    CRect Bounds() const { return {0, 0, image_.width, image_.height}; }
    float At(int32_t x, int32_t y) const {
        if (bytes_) return float(bytes_[std::ptrdiff_t(y) * image_.bytesPerRow + x]);
        if (words_)
            return float(reinterpret_cast<const uint16_t*>(words_ + std::ptrdiff_t(y) *
                                                                        image_.bytesPerRow)[x]);
        return float(uint16_t(image_.GetPixel(x, y)));
    }
    const CMImageBase& Image() const { return image_; }
    // Sum and sum of squares over rect, exact in integers; rows as plain
    // loops the compiler vectorises, as a window is measured once per seed.
    void Sums(const CRect& rect, double& sum, double& squares) const {
        uint64_t s = 0, q = 0;
        for (int32_t y = rect.top; y < rect.bottom; ++y) {
            uint64_t rs = 0, rq = 0;
            if (bytes_) {
                const uint8_t* row = bytes_ + std::ptrdiff_t(y) * image_.bytesPerRow;
                for (int32_t x = rect.left; x < rect.right; ++x) {
                    rs += row[x];
                    rq += uint32_t(row[x]) * row[x];
                }
            } else if (words_) {
                const uint16_t* row = reinterpret_cast<const uint16_t*>(
                    words_ + std::ptrdiff_t(y) * image_.bytesPerRow);
                for (int32_t x = rect.left; x < rect.right; ++x) {
                    rs += row[x];
                    rq += uint64_t(uint32_t(row[x]) * row[x]);
                }
            } else {
                for (int32_t x = rect.left; x < rect.right; ++x) {
                    const uint64_t v = uint16_t(image_.GetPixel(x, y));
                    rs += v;
                    rq += v * v;
                }
            }
            s += rs;
            q += rq;
        }
        sum = double(s);
        squares = double(q);
    }

  private:
    const CMImageBase& image_;
    const uint8_t* bytes_ = nullptr;
    const uint8_t* words_ = nullptr;
};

class CWindowSource {
  public:
    explicit CWindowSource(const CValueWindow& window) : window_(window) {}
    CRect Bounds() const { return window_.rect; }
    float At(int32_t x, int32_t y) const { return window_.At(x, y); }

  private:
    const CValueWindow& window_;
};

// LoG responses of one kernel, computed the first time a pixel is asked for
// and remembered for the seed's window: a flood fill then pays for its region
// and rim only. Pixels where the kernel does not fit in the image answer 0,
// as the whole-image convolution leaves them.
class CLazyLoG {
  public:
    void Begin(const CSampleSource& image, const CFilter& kernel, CRect window) {
        image_ = &image;
        kernel_ = &kernel;
        window_ = window;
        const std::size_t n = std::size_t(window.Width()) * std::size_t(window.Height());
        if (stamps_.size() < n) {
            stamps_.assign(n, 0);
            values_.resize(n);
        }
        if (++generation_ == 0) {  // wrapped: old stamps could pass for new
            std::fill(stamps_.begin(), stamps_.end(), 0);
            generation_ = 1;
        }
        computed_.clear();
        const int32_t hw = kernel.width / 2, hh = kernel.height / 2;
        const CMImageBase& im = image.Image();
        if (2 * hw >= im.width || 2 * hh >= im.height)
            fit_ = {0, 0, 0, 0};
        else
            fit_ = {hw, hh, im.width - hw, im.height - hh};
    }
    CRect Bounds() const { return window_; }
    float At(int32_t x, int32_t y) const {
        const std::size_t i = std::size_t(y - window_.top) * std::size_t(window_.Width()) +
                              std::size_t(x - window_.left);
        if (stamps_[i] == generation_) return values_[i];
        const float v = Inside(fit_, x, y) ? Compute(x, y) : 0.0f;
        stamps_[i] = generation_;
        values_[i] = v;
        computed_.push_back({x, y});
        return v;
    }
    // The pixels computed since Begin, in the order they were asked for.
    const std::vector<CPoint>& Computed() const { return computed_; }

  private:
    // Eight independent partial sums per kernel row, so that the products
    // run in vector lanes without reassociating one float sum.
    template <typename Sample>
    static float RowDot(const float* c, const Sample* row, int32_t n) {
        float lanes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        int32_t j = 0;
        for (; j + 8 <= n; j += 8)
            for (int l = 0; l < 8; ++l) lanes[l] += c[j + l] * float(row[j + l]);
        float acc = ((lanes[0] + lanes[4]) + (lanes[1] + lanes[5])) +
                    ((lanes[2] + lanes[6]) + (lanes[3] + lanes[7]));
        for (; j < n; ++j) acc += c[j] * float(row[j]);
        return acc;
    }
    float Compute(int32_t x, int32_t y) const {
        const CFilter& k = *kernel_;
        const CMImageBase& im = image_->Image();
        const int32_t x0 = x - k.width / 2, y0 = y - k.height / 2;
        double sum = 0;
        for (int32_t i = 0; i < k.height; ++i) {
            const float* c = k.Row(i);
            if (im.depth == 8) {
                sum += RowDot(c, im.Row(y0 + i) + x0, k.width);
            } else if (im.depth > 8) {
                sum += RowDot(c, im.Row16(y0 + i) + x0, k.width);
            } else {
                float acc = 0;
                for (int32_t j = 0; j < k.width; ++j)
                    acc += c[j] * float(uint16_t(im.GetPixel(x0 + j, y0 + i)));
                sum += acc;
            }
        }
        return float(sum / k.Divisor());
    }

    const CSampleSource* image_ = nullptr;
    const CFilter* kernel_ = nullptr;
    CRect window_, fit_;
    mutable std::vector<uint32_t> stamps_;
    mutable std::vector<float> values_;
    mutable std::vector<CPoint> computed_;
    uint32_t generation_ = 0;
};

// The component of pixels >= threshold holding the seed, inside rect.
template <typename Source>
std::vector<CPoint> FloodAbove(const Source& src, CRect rect, CPoint seed, double threshold,
                               int connectivity, std::vector<uint8_t>& seen) {
    std::vector<CPoint> pixels;
    if (!Inside(rect, seed.x, seed.y) || !(double(src.At(seed.x, seed.y)) >= threshold))
        return pixels;
    const int32_t width = rect.Width();
    const std::size_t n = std::size_t(width) * std::size_t(rect.Height());
    seen.assign(n, 0);
    auto index = [&](int32_t x, int32_t y) {
        return std::size_t(y - rect.top) * std::size_t(width) + std::size_t(x - rect.left);
    };
    static constexpr int kDx[8] = {-1, 1, 0, 0, -1, 1, -1, 1};
    static constexpr int kDy[8] = {0, 0, -1, 1, -1, -1, 1, 1};
    const int neighbours = connectivity == 4 ? 4 : 8;
    seen[index(seed.x, seed.y)] = 1;
    pixels.push_back(seed);
    for (std::size_t head = 0; head < pixels.size(); ++head) {
        const CPoint p = pixels[head];
        for (int d = 0; d < neighbours; ++d) {
            const int32_t x = p.x + kDx[d], y = p.y + kDy[d];
            if (!Inside(rect, x, y)) continue;
            uint8_t& s = seen[index(x, y)];
            if (s) continue;
            s = 1;
            if (double(src.At(x, y)) >= threshold) pixels.push_back({x, y});
        }
    }
    return pixels;
}

template <typename Source>
void MeanStdDev(const Source& src, CRect rect, double& mean, double& stdDev) {
    double sum = 0, squares = 0;
    if constexpr (std::is_same_v<Source, CSampleSource>) {
        src.Sums(rect, sum, squares);
    } else {
        for (int32_t y = rect.top; y < rect.bottom; ++y)
            for (int32_t x = rect.left; x < rect.right; ++x) {
                const double v = src.At(x, y);
                sum += v;
                squares += v * v;
            }
    }
    const double n = double(rect.Width()) * double(rect.Height());
    mean = n > 0 ? sum / n : 0.0;
    const double var = n > 0 ? squares / n - mean * mean : 0.0;
    stdDev = var > 0 ? std::sqrt(var) : 0.0;
}

std::unique_ptr<CRegion> RegionOfPixels(const std::vector<CPoint>& pixels, bool cleanup) {
    if (pixels.empty()) return nullptr;
    auto region = std::make_unique<CRegion>(pixels, CRegion::PointsMode::PixelSet, cleanup);
    if (!region->IsValid()) return nullptr;
    return region;
}

template <typename Source>
std::unique_ptr<CRegion> LocalStatistics(const Source& src, CPoint seed, int32_t w, double k,
                                         int directions, std::optional<double> fixed,
                                         std::vector<uint8_t>& seen) {
    const CRect rect = WindowAround(seed, w, src.Bounds());
    if (rect.IsEmpty() || !Inside(rect, seed.x, seed.y)) return nullptr;
    double threshold = 0;
    if (fixed) {
        threshold = *fixed;
    } else {
        double mean = 0, stdDev = 0;
        MeanStdDev(src, rect, mean, stdDev);
        threshold = k * stdDev + mean;
    }
    if (!std::isfinite(threshold) && !std::isinf(threshold)) return nullptr;
    // Extraction labels with 4 or 8 neighbours; 16 rays have no labelling of their own.
    const int connectivity = directions == 4 ? 4 : 8;
    return RegionOfPixels(FloodAbove(src, rect, seed, threshold, connectivity, seen), true);
}

// Ray directions in table order, as doubled steps so half steps stay whole.
struct CRayStep {
    int dx2, dy2;
};
constexpr CRayStep kRays4[] = {{-2, 0}, {0, -2}, {2, 0}, {0, 2}};
constexpr CRayStep kRays8[] = {{-2, -2}, {-2, 0}, {-2, 2}, {0, 2},
                               {2, 2},   {2, 0},  {2, -2}, {0, -2}};
constexpr CRayStep kRays16[] = {{-2, -2}, {-2, -1}, {-2, 0}, {-2, 1}, {-2, 2}, {-1, 2},
                                {0, 2},   {1, 2},   {2, 2},  {2, 1},  {2, 0},  {2, -1},
                                {2, -2},  {1, -2},  {0, -2}, {-1, -2}};

struct CRaySet {
    const CRayStep* steps;
    int count;
};
CRaySet RaysFor(int directions) {
    if (directions == 4) return {kRays4, 4};
    if (directions == 16) return {kRays16, 16};
    return {kRays8, 8};
}

// One position of a ray, in doubled coordinates (2x, 2y): an odd doubled
// coordinate lies between two pixels and reads their mean.
struct CRayPosition {
    int64_t x2, y2;
};

template <typename Source>
bool ReadRay(const Source& src, const CRect& bounds, CRayPosition p, float& value) {
    auto pair = [](int64_t c2, int64_t& a, int64_t& b) {
        a = (c2 - (c2 & 1)) / 2;  // floor for odd, exact for even
        b = (c2 & 1) ? a + 1 : a;
    };
    int64_t xa, xb, ya, yb;
    pair(p.x2, xa, xb);
    pair(p.y2, ya, yb);
    if (xa < bounds.left || xb >= bounds.right || ya < bounds.top || yb >= bounds.bottom)
        return false;
    if (xa == xb && ya == yb) {
        value = src.At(int32_t(xa), int32_t(ya));
    } else {
        value = float(
            (double(src.At(int32_t(xa), int32_t(ya))) + double(src.At(int32_t(xb), int32_t(yb)))) /
            2.0);
    }
    return true;
}

// The pixel a boundary position stands for: half a step back towards the seed
// along a half component, then, when that falls between pixels, the one
// nearer the seed.
CPoint BoundaryPixel(CRayPosition p, CRayStep step, CPoint seed) {
    auto back = [](int64_t c2, int d2, int32_t s) {
        if (d2 == 1 || d2 == -1) c2 -= d2;  // half a step is one doubled unit
        if (c2 & 1) {
            const int64_t lo = (c2 - 1) / 2, hi = lo + 1;
            return int32_t(std::llabs(lo - s) < std::llabs(hi - s) ? lo : hi);
        }
        return int32_t(c2 / 2);
    };
    return {back(p.x2, step.dx2, seed.x), back(p.y2, step.dy2, seed.y)};
}

std::unique_ptr<CRegion> PolygonRegion(const std::vector<CPoint>& points, CPoint seed) {
    bool degenerate = true;
    for (const CPoint& p : points) degenerate = degenerate && p == seed;
    if (points.empty() || degenerate) return nullptr;
    auto region = std::make_unique<CRegion>(points, CRegion::PointsMode::Polygon);
    if (!region->IsValid()) return nullptr;
    return region;
}

template <typename Source, typename Visit>
void WalkRay(const Source& src, CPoint seed, int32_t w, CRayStep step, Visit&& visit) {
    const CRect bounds = src.Bounds();
    for (int64_t t = 1;; ++t) {
        const CRayPosition p{2 * int64_t(seed.x) + t * step.dx2,
                             2 * int64_t(seed.y) + t * step.dy2};
        // max(|px - x|, |py - y|) > w, in doubled units.
        if (std::max(std::llabs(t * step.dx2), std::llabs(t * step.dy2)) > 2 * int64_t(w)) return;
        float v = 0;
        if (!ReadRay(src, bounds, p, v)) return;
        const double dx = double(t * step.dx2) / 2.0, dy = double(t * step.dy2) / 2.0;
        if (!visit(p, v, std::sqrt(dx * dx + dy * dy))) return;
    }
}

template <typename Source>
std::unique_ptr<CRegion> MaxSlope(const Source& src, CPoint seed, int32_t w, int directions) {
    const CRaySet rays = RaysFor(directions);
    const double centre = src.At(seed.x, seed.y);
    std::vector<CPoint> points;
    points.reserve(std::size_t(rays.count));
    for (int r = 0; r < rays.count; ++r) {
        const CRayStep step = rays.steps[r];
        CPoint boundary = seed;
        double best = 0;
        WalkRay(src, seed, w, step, [&](CRayPosition p, float v, double distance) {
            const double slope = (centre - double(v)) / distance;
            if (slope > best) {
                best = slope;
                boundary = BoundaryPixel(p, step, seed);
            }
            return true;
        });
        points.push_back(boundary);
    }
    return PolygonRegion(points, seed);
}

template <typename Source>
std::unique_ptr<CRegion> LocalMin(const Source& src, CPoint seed, int32_t w, int directions) {
    const CRaySet rays = RaysFor(directions);
    std::vector<CPoint> points;
    points.reserve(std::size_t(rays.count));
    for (int r = 0; r < rays.count; ++r) {
        const CRayStep step = rays.steps[r];
        CPoint boundary = seed;
        double running = src.At(seed.x, seed.y);
        WalkRay(src, seed, w, step, [&](CRayPosition p, float v, double) {
            if (double(v) > running) return false;  // the first rise ends the descent
            if (double(v) < running) boundary = BoundaryPixel(p, step, seed);
            running = v;
            return true;
        });
        points.push_back(boundary);
    }
    return PolygonRegion(points, seed);
}

template <typename Source>
std::unique_ptr<CRegion> MinSlopeCircles(const Source& src, CPoint seed, int32_t w,
                                         std::vector<uint8_t>& inRegion) {
    // The rings stay in the window: a plateau would otherwise grow forever.
    const CRect rect = WindowAround(seed, w, src.Bounds());
    if (!Inside(rect, seed.x, seed.y)) return nullptr;
    const int32_t width = rect.Width();
    inRegion.assign(std::size_t(width) * std::size_t(rect.Height()), 0);
    auto index = [&](int32_t x, int32_t y) {
        return std::size_t(y - rect.top) * std::size_t(width) + std::size_t(x - rect.left);
    };
    static constexpr int kDx[8] = {-1, 1, 0, 0, -1, 1, -1, 1};
    static constexpr int kDy[8] = {0, 0, -1, 1, -1, -1, 1, 1};
    const double centre = src.At(seed.x, seed.y);
    std::vector<CPoint> region{seed};
    std::vector<CPoint> frontier{seed};  // region pixels that may still have outside neighbours
    std::vector<CPoint> ring, nextFrontier;
    inRegion[index(seed.x, seed.y)] = 1;
    double previous = 0;
    for (int step = 0;; ++step) {
        const int neighbours = step % 2 == 0 ? 4 : 8;
        ring.clear();
        double sum = 0;
        for (const CPoint& p : frontier)
            for (int d = 0; d < neighbours; ++d) {
                const int32_t x = p.x + kDx[d], y = p.y + kDy[d];
                if (!Inside(rect, x, y)) continue;
                uint8_t& mark = inRegion[index(x, y)];
                if (mark) continue;
                mark = 2;  // in this ring
                ring.push_back({x, y});
                const double dx = x - seed.x, dy = y - seed.y;
                sum += (centre - double(src.At(x, y))) / std::sqrt(dx * dx + dy * dy);
            }
        if (ring.empty()) break;
        const double mean = sum / double(ring.size());
        if (previous > mean) {
            for (const CPoint& p : ring) inRegion[index(p.x, p.y)] = 0;
            break;
        }
        previous = mean;
        for (const CPoint& p : ring) inRegion[index(p.x, p.y)] = 1;
        region.insert(region.end(), ring.begin(), ring.end());
        // Only pixels with a neighbour outside the region can meet the next ring.
        nextFrontier.clear();
        auto open = [&](const CPoint& p) {
            for (int d = 0; d < 8; ++d) {
                const int32_t x = p.x + kDx[d], y = p.y + kDy[d];
                if (Inside(rect, x, y) && !inRegion[index(x, y)]) return true;
            }
            return false;
        };
        for (const CPoint& p : frontier)
            if (open(p)) nextFrontier.push_back(p);
        for (const CPoint& p : ring)
            if (open(p)) nextFrontier.push_back(p);
        frontier.swap(nextFrontier);
    }
    return RegionOfPixels(region, false);
}

double ValueOr0(const CPointResponse& seed, int k) {
    return std::size_t(k) < seed.values.size() ? seed.values[std::size_t(k)] : 0.0;
}

// What a seed's growth left for the sequential part.
struct CGrown {
    enum class EState { Skipped, NoRegion, Region } state = EState::Skipped;
    std::unique_ptr<CRegion> region;
    std::vector<CPoint> pixels;                       // the region's filled pixels
    std::vector<std::pair<CPoint, float>> responses;  // LoG values computed
};

struct CWorker {
    CLazyLoG log;
    std::vector<uint8_t> scratch;
};

// Regions of the list indexed by the grid cells their bounds cover, so that
// overlap and containment are only tested against regions nearby.
class CRegionGrid {
  public:
    static constexpr int32_t kCell = 64;

    explicit CRegionGrid(const CRegions& regions) {
        for (int32_t i = 0; i < regions.Count(); ++i)
            if (const CRegion* r = regions.At(i); r && r->IsValid()) Insert(i, r->Bounds());
    }
    void Insert(int32_t index, const CRect& b) {
        ForCells(b, [&](int64_t key) { cells_[key].push_back(index); });
    }
    // Indices of regions whose cells meet the rectangle's, ascending, once each.
    std::vector<int32_t> Near(const CRect& b) const {
        std::vector<int32_t> out;
        ForCells(b, [&](int64_t key) {
            auto it = cells_.find(key);
            if (it != cells_.end()) out.insert(out.end(), it->second.begin(), it->second.end());
        });
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }

  private:
    template <typename F>
    static void ForCells(const CRect& b, F&& f) {
        if (b.IsEmpty()) return;
        auto cell = [](int32_t v) { return int64_t(std::floor(double(v) / kCell)); };
        const int64_t cx0 = cell(b.left), cx1 = cell(b.right - 1);
        const int64_t cy0 = cell(b.top), cy1 = cell(b.bottom - 1);
        for (int64_t cy = cy0; cy <= cy1; ++cy)
            for (int64_t cx = cx0; cx <= cx1; ++cx) f((cy << 32) ^ (cx & 0xffffffff));
    }
    std::map<int64_t, std::vector<int32_t>> cells_;
};

bool Intersects(const CRect& a, const CRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool ContainsRect(const CRect& outer, const CRect& inner) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

struct CCentroid {
    double x = 0, y = 0;
};
CCentroid CentroidOf(const std::vector<CPoint>& pixels) {
    CCentroid c;
    if (pixels.empty()) return c;
    for (const CPoint& p : pixels) {
        c.x += p.x;
        c.y += p.y;
    }
    c.x /= double(pixels.size());
    c.y /= double(pixels.size());
    return c;
}

}  // namespace

std::unique_ptr<CRegion> LocalStatisticsRegion(const CValueWindow& input, CPoint seed,
                                               int32_t window, double k, int directions,
                                               std::optional<double> fixedThreshold) {
    if (input.rect.IsEmpty() ||
        input.values.size() < std::size_t(input.rect.Width()) * std::size_t(input.rect.Height()))
        return nullptr;
    std::vector<uint8_t> seen;
    return LocalStatistics(CWindowSource(input), seed, std::max(window, kMinGrowWindow), k,
                           directions, fixedThreshold, seen);
}

namespace {

// The grey picture of a response image that is 0 except at the listed
// pixels, a later entry for a pixel replacing an earlier one: the same
// picture GreyResponse makes of the whole float image, at the cost of the
// entries and one pass of byte writes.
std::unique_ptr<CMImage> SparseGreyResponse(
    int32_t width, int32_t height,
    const std::vector<std::vector<std::pair<CPoint, float>>>& responses) {
    const std::size_t cells = std::size_t(width) * std::size_t(height);
    std::vector<uint8_t> seen;
    try {
        seen.assign(cells, 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // Walking backwards, the first visit of a pixel meets its final value.
    std::size_t finals = 0;
    float mn = 0.0f, mx = 0.0f;
    bool first = true;
    for (auto list = responses.rbegin(); list != responses.rend(); ++list)
        for (auto e = list->rbegin(); e != list->rend(); ++e) {
            uint8_t& s = seen[std::size_t(e->first.y) * std::size_t(width) + std::size_t(e->first.x)];
            if (s) continue;
            s = 1;
            ++finals;
            mn = first ? e->second : std::min(mn, e->second);
            mx = first ? e->second : std::max(mx, e->second);
            first = false;
        }
    if (finals < cells) {  // the pixels never computed hold 0
        mn = std::min(mn, 0.0f);
        mx = std::max(mx, 0.0f);
    }
    auto picture = std::make_unique<CMImage>();
    if (!picture->Create(width, height, 8, 1)) return nullptr;
    const double span = double(mx) - double(mn);
    const uint8_t zero = GreyLevelOf(0.0f, mn, span);
    for (int32_t y = 0; y < height; ++y) std::fill_n(picture->Row(y), width, zero);
    std::fill(seen.begin(), seen.end(), uint8_t(0));
    for (auto list = responses.rbegin(); list != responses.rend(); ++list)
        for (auto e = list->rbegin(); e != list->rend(); ++e) {
            const CPoint q = e->first;
            uint8_t& s = seen[std::size_t(q.y) * std::size_t(width) + std::size_t(q.x)];
            if (s) continue;
            s = 1;
            picture->Row(q.y)[q.x] = GreyLevelOf(e->second, mn, span);
        }
    return picture;
}

}  // namespace

int16_t TruthDiagnosisAt(const CRegions& truth, CPoint p) {
    for (int32_t i = 0; i < truth.Count(); ++i) {
        const CRegion* t = truth.At(i);
        if (t && t->IsValid() && t->Contains(p.x, p.y)) return t->diagnosis;
    }
    return 2;
}

std::unique_ptr<CMImage> GrowFromSeeds(const CMImage& image, const CSpotList& seeds,
                                       CRegions& regions, const CRegions* truth,
                                       const CGrowParams& params, CGrowReport* report,
                                       const ProgressFn& progress) {
    CGrowReport local;
    CGrowReport& rep = report ? *report : local;
    rep = {};
    if (!image.IsValid() || seeds.Count() == 0) return nullptr;
    const int32_t w = std::max(params.windowPx, kMinGrowWindow);
    const int directions = params.directions;
    const CRect bounds{0, 0, image.width, image.height};

    // The white top-hat is taken once, over the whole image.
    std::unique_ptr<CMImage> topHat;
    if (params.input == EGrowInput::WhiteTopHat) {
        const int64_t limit =
            std::min<int64_t>(32767, 2 * int64_t(std::max(image.width, image.height)) + 1);
        int64_t side = std::min<int64_t>(int64_t(w), limit);
        if (side % 2 == 0) ++side;
        topHat = WhiteTopHat(image, CMorphSE(int16_t(side), CMorphSE::kSquare), 1);
        if (!topHat || !topHat->IsValid()) return nullptr;
    }
    const CSampleSource grey(image);
    const CSampleSource values(topHat ? *topHat : image);
    const bool useLoG = params.input == EGrowInput::LoGInScales;

    // One kernel per scale, made before the workers start.
    std::map<int32_t, CFilter> kernels;
    auto scaleOf = [](const CPointResponse& s) -> int32_t {
        if (s.values.empty() || !(s.values[0] >= 1.0) || !(s.values[0] < 1.0e4)) return 0;
        return int32_t(s.values[0]);
    };
    if (useLoG)
        for (int32_t i = 0; i < seeds.Count(); ++i)
            if (const int32_t h = scaleOf(seeds[i]); h > 0 && !kernels.count(h))
                kernels.emplace(h, MakeLoGFilter(h));

    auto grow = [&](const CPointResponse& seed, CWorker& worker, CGrown& out) {
        const CPoint p = seed.Point();
        if (!Inside(bounds, p.x, p.y) || seed.response < params.minimumResponse) return;
        out.state = CGrown::EState::NoRegion;
        auto run = [&](const auto& src) -> std::unique_ptr<CRegion> {
            switch (params.algorithm) {
                case EGrowAlgorithm::MaxSlope:
                    return MaxSlope(src, p, w, directions);
                case EGrowAlgorithm::LocalMin:
                    return LocalMin(src, p, w, directions);
                case EGrowAlgorithm::MinSlopeCircles:
                    return MinSlopeCircles(src, p, w, worker.scratch);
                case EGrowAlgorithm::LocalStatistics: {
                    std::optional<double> fixed;
                    // The detector's LoG statistics at its minimum scale stand in
                    // for measuring the window.
                    if (useLoG && seed.values.size() > std::size_t(kSpotStdDevMin))
                        fixed = seed.values[kSpotMeanMin] + params.k * seed.values[kSpotStdDevMin];
                    return LocalStatistics(src, p, w, params.k, directions, fixed, worker.scratch);
                }
            }
            return nullptr;
        };
        const int32_t h = useLoG ? scaleOf(seed) : 0;
        std::unique_ptr<CRegion> region;
        if (h > 0) {
            // Rays reach w itself, one past the statistics window.
            CRect memo = WindowAround(p, w, bounds);
            memo.right =
                std::min(bounds.right, int32_t(std::min<int64_t>(INT32_MAX, int64_t(p.x) + w + 1)));
            memo.bottom = std::min(bounds.bottom,
                                   int32_t(std::min<int64_t>(INT32_MAX, int64_t(p.y) + w + 1)));
            worker.log.Begin(grey, kernels.at(h), memo);
            region = run(worker.log);
            out.responses.reserve(worker.log.Computed().size());
            for (const CPoint& q : worker.log.Computed())
                out.responses.push_back({q, worker.log.At(q.x, q.y)});
        } else {
            region = run(values);
        }
        if (!region) return;
        region->type = 'm';
        region->scale = int32_t(ValueOr0(seed, kSpotScale));
        region->response = seed.response;
        // The region's mean holds the seed's value 3, its energy value 4.
        region->mean = ValueOr0(seed, kSpotMeanMin);
        region->energy = ValueOr0(seed, kSpotStdDevMin);
        region->spotX = p.x;
        region->spotY = p.y;
        region->diagnosis = params.algorithm == EGrowAlgorithm::LocalMin ? 1 : 2;
        out.pixels = region->Pixels();
        out.region = std::move(region);
        out.state = CGrown::EState::Region;
    };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<CWorker> workers(cores);
    CRegionGrid grid(regions);
    std::vector<std::optional<CCentroid>> centroids(std::size_t(regions.Count()));
    // The LoG values computed, per seed in seed order; only these pixels of
    // the response image differ from 0, so no whole-image float buffer is kept.
    std::vector<std::vector<std::pair<CPoint, float>>> responses;
    if (useLoG) responses.reserve(std::size_t(seeds.Count()));

    auto add = [&](const CPointResponse& seed, CGrown& g) {
        if (!g.responses.empty()) responses.push_back(std::move(g.responses));
        if (g.state == CGrown::EState::Skipped) {
            ++rep.skippedSeeds;
            return;
        }
        if (g.state == CGrown::EState::NoRegion) {
            ++rep.withoutRegion;
            return;
        }
        CRegion& region = *g.region;
        if (truth && params.algorithm != EGrowAlgorithm::LocalMin)
            region.diagnosis = TruthDiagnosisAt(*truth, seed.Point());
        const CRect b = region.Bounds();
        const std::vector<int32_t> near = grid.Near(b);
        if (params.join) {
            for (int32_t i : near) {
                CRegion* other = regions.At(i);
                if (!other || !other->IsValid() || !Intersects(other->Bounds(), b)) continue;
                bool overlaps = false;
                for (const CPoint& q : g.pixels)
                    if (other->Contains(q.x, q.y)) {
                        overlaps = true;
                        break;
                    }
                if (!overlaps) continue;
                other->AddPixels(g.pixels);
                centroids[std::size_t(i)].reset();
                grid.Insert(i, other->Bounds());
                ++rep.joined;
                return;
            }
        } else {
            const CCentroid c = CentroidOf(g.pixels);
            for (int32_t i : near) {
                const CRegion* other = regions.At(i);
                if (!other || !other->IsValid() || !ContainsRect(other->Bounds(), b)) continue;
                auto& oc = centroids[std::size_t(i)];
                if (!oc) oc = CentroidOf(other->Pixels());
                if (std::hypot(oc->x - c.x, oc->y - c.y) > kOverlapDistance) continue;
                if (region.LiesInside(*other)) return;  // the same structure again
            }
        }
        if (regions.Add(region)) {
            const int32_t index = regions.Count() - 1;
            centroids.resize(std::size_t(regions.Count()));
            grid.Insert(index, regions.At(index)->Bounds());
            ++rep.regionsAdded;
        }
    };

    // Seeds are grown in parallel a chunk at a time and added in seed order,
    // so the list does not depend on the threads' timing.
    const int32_t count = seeds.Count();
    const int32_t chunk = std::max<int32_t>(64, count / 20);
    std::vector<CGrown> grown;
    if (progress && !progress(0.0)) return nullptr;
    for (int32_t first = 0; first < count; first += chunk) {
        const int32_t last = std::min(count, first + chunk);
        grown.clear();
        grown.resize(std::size_t(last - first));
        ParallelRows(first, last, 4, [&](int worker, int32_t a, int32_t b) {
            for (int32_t i = a; i < b; ++i)
                grow(seeds[i], workers[std::size_t(worker)], grown[std::size_t(i - first)]);
        });
        for (int32_t i = first; i < last; ++i) add(seeds[i], grown[std::size_t(i - first)]);
        if (progress && !progress(double(last) / double(count))) return nullptr;
    }

    if (!useLoG || responses.empty()) return nullptr;
    return SparseGreyResponse(image.width, image.height, responses);
}

}  // namespace vistrel
