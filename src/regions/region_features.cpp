#include "regions/region_features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <new>
#include <numbers>

#include "core/histogram.h"
#include "filters/parallel_rows.h"
#include "regions/convex_hull.h"
#include "regions/fourier_shape.h"
#include "regions/texture.h"

namespace vistrel {

namespace {

constexpr std::array<const char*, 8> kIntensityNames = {"Mass",
                                                        "Mean",
                                                        "StdDev",
                                                        "Energy",
                                                        "Entropy",
                                                        "Foreground_Background_Ratio",
                                                        "Foreground_Background_Difference",
                                                        "Difference_Ratio"};
constexpr std::array<const char*, 4> kDetectorNames = {"LoG_scale", "LoG_response", "LoG_mean",
                                                       "LoG_energy"};
constexpr const char* kCentroidContrast = "Contrast=CentroidPixelValue/Edge_Mean";

std::string Numbered(const char* stem, int i) {
    return std::string(stem) + std::to_string(i);
}

std::vector<std::string> ShapeMomentNames() {
    std::vector<std::string> names;
    for (int i = 0; i < 5; ++i) names.push_back(Numbered("Shape_Moment_", i));
    names.insert(names.end(), {"Shape_Measure_FF", "Roughness=ShM3-ShM1",
                               "Effective_Radius_1=ShM3/ShM2", "Roughness2"});
    return names;
}

std::vector<std::string> MomentNames() {
    std::vector<std::string> names;
    for (int i = 0; i < 6; ++i) names.push_back(Numbered("Invariant_Moment_", i));
    names.insert(names.end(), {"Effective_Radius_2=InvM3/InvM2", "Effective_Radius_3=InvM3/InvM4",
                               "Ellipticity_Degree", "Triangularity"});
    for (int i = 0; i < 7; ++i) names.push_back(Numbered("Binary_Invariant_Moment_", i));
    names.insert(names.end(), {"Binary_Effective_Radius_2", "Binary_Effective_Radius_3",
                               "Binary_Ellipticity_Degree", "Binary_Triangularity"});
    return names;
}

const std::vector<std::string> kEdgeNames = {
    "Edge_Strength_Sum", "Edge_Strength_Mean", "Edge_Strength_StdDev",
    "Edge_Sum",          "Edge_Mean",          "Edge_StdDev"};
const std::vector<std::string> kBackgroundNames = {"Background_Gray_Level", "Background_Energy",
                                                   "Background_Entropy", "Background_stdDev"};
const std::vector<std::string> kContrastNames = {"Contrast=HighestPixelValue/Edge_Mean",
                                                 "RelativeContrast=Contrast/HighestPixelValue"};
const std::vector<std::string> kElongationNames = {"Elongation", "Max_Axis", "Max_Axis_mm",
                                                   "Box_Ratio=Area/Bounding_Box_Area",
                                                   "Ellipticity_Degree=Area/Ellipse_Area"};

double Ratio(double a, double b) {
    return b != 0.0 ? a / b : 0.0;
}

// The stored sample as an unsigned value; the caller keeps (x, y) inside.
inline uint32_t Sample(const CMImage& image, int32_t x, int32_t y) {
    if (image.depth > 8) return image.Row16(y)[x];
    if (image.depth == 8) return image.Row(y)[x];
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

// Statistics of a set of samples through CHistogram, on the true-value axis.
// Samples are counted in a per-thread table of maxValue + 1 bins (those
// above maxValue fall outside and are dropped); the histogram then gets only
// the occupied span, which gives the same sums without allocating and
// scanning thousands of empty bins per region.
struct SampleStats {
    double mean = 0, stdDev = 0, energy = 0, entropy = 0;
    int32_t sum = 0;
    int32_t highest = 0;
};

// One collector at a time per thread: they share the table, which is all
// zero again once Stats() has run or the collector is gone.
class SampleCollector {
  public:
    explicit SampleCollector(const CMImage& image) : image_(image), counts_(Table()) {
        if (counts_.size() < size_t{image.maxValue} + 1)
            counts_.resize(size_t{image.maxValue} + 1, 0);
    }
    ~SampleCollector() { Clear(); }
    SampleCollector(const SampleCollector&) = delete;
    SampleCollector& operator=(const SampleCollector&) = delete;

    void Add(uint32_t sample) {
        if (sample > image_.maxValue) return;
        ++counts_[sample];
        lo_ = std::min(lo_, sample);
        hi_ = std::max(hi_, sample);
    }
    // Every pixel of row y from x0 to x1 (exclusive), inside the image.
    void AddSpan(int32_t y, int32_t x0, int32_t x1) {
        if (x1 <= x0) return;
        if (image_.depth <= 8) {
            for (int32_t x = x0; x < x1; ++x) Add(Sample(image_, x, y));
            return;
        }
        const uint16_t* row = image_.Row16(y);
        int32_t* counts = counts_.data();
        const uint32_t limit = image_.maxValue;
        uint32_t lo = lo_, hi = hi_;
        for (int32_t x = x0; x < x1; ++x) {
            const uint32_t v = row[x];
            if (v > limit) continue;
            ++counts[v];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        lo_ = lo;
        hi_ = hi;
    }
    SampleStats Stats() {
        SampleStats s;
        if (lo_ > hi_) return s;
        CHistogram h;
        if (h.Allocate(int32_t(hi_ - lo_) + 1) == 0) {
            h.firstValue = int32_t(lo_) - int32_t{image_.valueOffset};
            h.lastValue = int32_t(hi_) - int32_t{image_.valueOffset};
            std::copy(counts_.begin() + lo_, counts_.begin() + hi_ + 1, h.counts);
            h.GetMeanStd(s.mean, s.stdDev);
            h.GetEnergyEntropy(s.energy, s.entropy);
            s.sum = h.GetSumOfValues();
            s.highest = h.lastValue;
        }
        Clear();
        return s;
    }

  private:
    static std::vector<int32_t>& Table() {
        thread_local std::vector<int32_t> table;
        return table;
    }
    void Clear() {
        if (lo_ <= hi_) std::fill(counts_.begin() + lo_, counts_.begin() + hi_ + 1, 0);
        lo_ = UINT32_MAX;
        hi_ = 0;
    }
    const CMImage& image_;
    std::vector<int32_t>& counts_;
    uint32_t lo_ = UINT32_MAX;
    uint32_t hi_ = 0;
};

// The filled mask over the bounds with a one-pixel empty border.
struct FilledMask {
    CRect box;
    int32_t stride = 0;
    std::vector<uint8_t> bits;
    int64_t count = 0;
    uint8_t At(int32_t x, int32_t y) const {  // image coordinates, border allowed
        return bits[static_cast<size_t>((y - box.top + 1) * stride + (x - box.left + 1))];
    }
};

FilledMask BuildMask(const CRegion& region) {
    FilledMask m;
    m.box = region.Bounds();
    m.stride = m.box.Width() + 2;
    m.bits.assign(static_cast<size_t>(m.stride) * static_cast<size_t>(m.box.Height() + 2), 0);
    for (const CPoint& p : region.Pixels()) {
        m.bits[static_cast<size_t>((p.y - m.box.top + 1) * m.stride + (p.x - m.box.left + 1))] = 1;
        ++m.count;
    }
    return m;
}

CPoint CentroidOfMask(const FilledMask& m) {
    if (m.count == 0) return {-1, -1};
    int64_t sx = 0, sy = 0;
    for (int32_t y = 0; y < m.box.Height(); ++y)
        for (int32_t x = 0; x < m.box.Width(); ++x)
            if (m.bits[static_cast<size_t>((y + 1) * m.stride + x + 1)]) {
                sx += x;
                sy += y;
            }
    return {m.box.left + static_cast<int32_t>(sx / m.count),
            m.box.top + static_cast<int32_t>(sy / m.count)};
}

double InnerPerimeter(const std::vector<uint8_t>& chain) {
    if (chain.empty()) return 1.0;
    double length = 0.0;
    for (uint8_t code : chain) {
        if (code > 7) return 0.0;
        length += (code & 1) ? std::numbers::sqrt2 : 1.0;
    }
    return length;
}

int64_t OuterPerimeter(const FilledMask& m) {
    int64_t sides = 0;
    for (int32_t y = 1; y <= m.box.Height(); ++y) {
        const uint8_t* row = m.bits.data() + static_cast<size_t>(y) * m.stride;
        for (int32_t x = 1; x <= m.box.Width(); ++x) {
            if (!row[x]) continue;
            sides += !row[x - 1] + !row[x + 1] + !row[x - m.stride] + !row[x + m.stride];
        }
    }
    return sides;
}

// Unit directions of the slopes -1.00 .. 0.99.
struct SlopeTable {
    std::array<double, 200> ux{}, uy{};
    SlopeTable() {
        for (int i = 0; i < 200; ++i) {
            const double t = (i - 100) / 100.0;
            const double len = std::sqrt(1.0 + t * t);
            ux[i] = 1.0 / len;
            uy[i] = t / len;
        }
    }
};

// Sides of the smallest-area rectangle among the slope-aligned ones; a side
// spans the pixels it covers (extent + 1), so slope 0 gives the bounding box.
void EnclosingRectangle(const std::vector<CPoint>& boundary, double& major, double& minor) {
    static const SlopeTable slopes;
    // The enclosing rectangles of a point set are those of its hull, which
    // for an outline is a handful of points.
    const std::vector<CPoint> hull = ConvexHull(boundary);
    major = minor = 0.0;
    if (hull.empty()) return;
    // Relative to one hull point, so that the sides do not depend on where
    // the region lies; plain arrays let the min/max loop vectorise.
    std::vector<double> xs(hull.size()), ys(hull.size());
    for (size_t k = 0; k < hull.size(); ++k) {
        xs[k] = double(hull[k].x - hull[0].x);
        ys[k] = double(hull[k].y - hull[0].y);
    }
    double best = -1.0;
    for (int i = 0; i < 200; ++i) {
        const double cx = slopes.ux[size_t(i)], cy = slopes.uy[size_t(i)];
        double u0 = 1e300, u1 = -1e300, v0 = 1e300, v1 = -1e300;
        for (size_t k = 0; k < xs.size(); ++k) {
            const double u = xs[k] * cx + ys[k] * cy;
            const double v = ys[k] * cx - xs[k] * cy;
            u0 = std::min(u0, u);
            u1 = std::max(u1, u);
            v0 = std::min(v0, v);
            v1 = std::max(v1, v);
        }
        const double su = u1 - u0 + 1.0, sv = v1 - v0 + 1.0;
        if (best < 0.0 || su * sv < best) {
            best = su * sv;
            major = std::max(su, sv);
            minor = std::min(su, sv);
        }
    }
}

struct MomentSet {
    std::array<double, 7> phi{};
    double ellipticity = 0.0, triangularity = 0.0;
};

// Hu-type invariants of the masked box pixels weighted by grey value (or 1),
// with the scaling factors and comparison constants of the display.
MomentSet ComputeMomentSet(const FilledMask& m, const CMImage* image) {
    const int32_t w = m.box.Width(), h = m.box.Height();
    double m00 = 0.0, mx = 0.0, my = 0.0;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) {
            if (!m.bits[static_cast<size_t>((r + 1) * m.stride + c + 1)]) continue;
            const double f = image ? Sample(*image, m.box.left + c, m.box.top + r) : 1.0;
            m00 += f;
            mx += f * (c - 0.5);
            my += f * (h + 0.5 - r);
        }
    if (m00 == 0.0) m00 = 1.0;
    const double xb = mx / m00, yb = my / m00;
    double mu02 = 0, mu20 = 0, mu03 = 0, mu30 = 0, mu21 = 0, mu12 = 0, mu11 = 0;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) {
            if (!m.bits[static_cast<size_t>((r + 1) * m.stride + c + 1)]) continue;
            const double f = image ? Sample(*image, m.box.left + c, m.box.top + r) : 1.0;
            const double dx = (c - 0.5) - xb, dy = (h + 0.5 - r) - yb;
            mu02 += f * dy * dy;
            mu20 += f * dx * dx;
            mu03 += f * dy * dy * dy;
            mu30 += f * dx * dx * dx;
            mu21 += f * dx * dx * dy;
            mu12 += f * dx * dy * dy;
            mu11 += f * dx * dy;
        }
    MomentSet s;
    const double i1 = (mu20 * mu02 - mu11 * mu11) / (m00 * m00 * m00 * m00);
    if (i1 != 0.0) {
        constexpr double k16pi2 = 157.91367041742973;
        s.ellipticity = i1 <= 0.006332573977646111 ? k16pi2 * i1 : 1.0 / (k16pi2 * i1);
        s.triangularity = i1 <= 108.0 ? 108.0 * i1 : 1.0 / (108.0 * i1);
    }
    const double n2 = std::pow(m00, 2.0), n3 = std::pow(m00, 2.5);
    const double e20 = mu20 / n2, e02 = mu02 / n2, e11 = mu11 / n2;
    const double e30 = mu30 / n3, e03 = mu03 / n3, e21 = mu21 / n3, e12 = mu12 / n3;
    const double s1 = e30 + e12, s2 = e21 + e03;
    const double a = e30 - 3 * e12, b = 3 * e21 - e03;
    s.phi[0] = 10.0 * (e20 + e02);
    s.phi[1] = 1000.0 * ((e20 - e02) * (e20 - e02) + 4 * e11 * e11);
    s.phi[2] = 1000.0 * (a * a + b * b);
    s.phi[3] = 1e6 * (s1 * s1 + s2 * s2);
    s.phi[4] = 1e10 * (a * s1 * (s1 * s1 - 3 * s2 * s2) + b * s2 * (3 * s1 * s1 - s2 * s2));
    s.phi[5] = 1e7 * ((e20 - e02) * (s1 * s1 - s2 * s2) + 4 * e11 * s1 * s2);
    s.phi[6] =
        10.0 * (b * s1 * (s1 * s1 - 3 * s2 * s2) + (3 * e12 - e30) * s2 * (3 * s1 * s1 - s2 * s2));
    return s;
}

// Pixels within Euclidean distance r of the region (pixel centres), outside
// it and inside the image. Row by row of the grown box: every run of a mask
// row within r rows is widened by the disc's half-width at that offset, and
// the merged intervals are read once each.
void CollectBackground(const FilledMask& m, const CMImage& image, int32_t r, SampleCollector& out) {
    const CRect box = m.box;
    std::vector<int32_t> halfWidth(static_cast<size_t>(2 * r + 1));
    for (int32_t dy = -r; dy <= r; ++dy) {
        int32_t k = static_cast<int32_t>(std::sqrt(double(r) * r - double(dy) * dy));
        while (int64_t(k + 1) * (k + 1) + int64_t(dy) * dy <= int64_t(r) * r) ++k;
        while (k > 0 && int64_t(k) * k + int64_t(dy) * dy > int64_t(r) * r) --k;
        halfWidth[static_cast<size_t>(dy + r)] = k;
    }
    struct Run {
        int32_t y, begin, end;  // image coordinates, end exclusive
    };
    std::vector<Run> runs;
    std::vector<int32_t> firstRun(static_cast<size_t>(box.Height()) + 1, 0);
    for (int32_t y = 0; y < box.Height(); ++y) {
        firstRun[size_t(y)] = int32_t(runs.size());
        const uint8_t* row = m.bits.data() + static_cast<size_t>(y + 1) * m.stride + 1;
        for (int32_t x = 0; x < box.Width();) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int32_t end = x;
            while (end < box.Width() && row[end]) ++end;
            runs.push_back({box.top + y, box.left + x, box.left + end});
            x = end;
        }
    }
    firstRun[size_t(box.Height())] = int32_t(runs.size());

    std::vector<std::pair<int32_t, int32_t>> spans;
    const int32_t yStart = std::max(0, box.top - r);
    const int32_t yEnd = std::min(image.height, box.bottom + r);
    for (int32_t y = yStart; y < yEnd; ++y) {
        spans.clear();
        const int32_t r0 = std::max(box.top, y - r) - box.top;
        const int32_t r1 = std::min(box.bottom - 1, y + r) - box.top;
        for (int32_t row = r0; row <= r1; ++row) {
            const int32_t k = halfWidth[static_cast<size_t>(y - (box.top + row) + r)];
            for (int32_t i = firstRun[size_t(row)]; i < firstRun[size_t(row) + 1]; ++i)
                spans.push_back({runs[size_t(i)].begin - k, runs[size_t(i)].end + k});
        }
        std::sort(spans.begin(), spans.end());
        const bool rowInBox = y >= box.top && y < box.bottom;
        int32_t done = INT32_MIN;  // everything left of this is read
        for (auto [begin, end] : spans) {
            begin = std::max({begin, done, int32_t{0}});
            end = std::min(end, image.width);
            if (!rowInBox || end <= box.left || begin >= box.right) {
                out.AddSpan(y, begin, end);
            } else {
                out.AddSpan(y, begin, box.left);
                for (int32_t x = std::max(begin, box.left); x < std::min(end, box.right); ++x)
                    if (!m.At(x, y)) out.Add(Sample(image, x, y));
                out.AddSpan(y, std::max(begin, box.right), end);
            }
            done = std::max(done, end);
        }
    }
}

void MeanStd(const std::vector<double>& v, double& sum, double& mean, double& stdDev) {
    sum = mean = stdDev = 0.0;
    if (v.empty()) return;
    for (double x : v) sum += x;
    mean = sum / double(v.size());
    double sq = 0.0;
    for (double x : v) sq += (x - mean) * (x - mean);
    stdDev = std::sqrt(sq / double(v.size()));
}

bool BoxInsideImage(const CRect& box, const CMImage& image) {
    return box.left >= 0 && box.top >= 0 && box.right <= image.width &&
           box.bottom <= image.height && !box.IsEmpty();
}

// Appends name = value when name is selected.
struct Appender {
    const CFeatureSelection& selection;
    CFeatureVector& out;
    void operator()(const std::string& name, double value) const {
        if (selection.Selected(name)) out.Add(name, value);
    }
};

}  // namespace

std::vector<std::string> RegionFeatureNames(const CFeatureSettings& settings) {
    std::vector<std::string> names = {"Area",
                                      "Area_mm",
                                      "Inner_Perimeter",
                                      "Inner_Perimeter_mm",
                                      "Compactness_Inner",
                                      "Outer_Perimeter",
                                      "Outer_Perimeter_mm",
                                      "Compactness_Outer"};
    names.insert(names.end(), kElongationNames.begin(), kElongationNames.end());
    for (const std::string& n : ShapeMomentNames()) names.push_back(n);
    names.insert(names.end(), kEdgeNames.begin(), kEdgeNames.end());
    names.insert(names.end(), kBackgroundNames.begin(), kBackgroundNames.end());
    names.insert(names.end(), kContrastNames.begin(), kContrastNames.end());
    names.insert(names.end(), kIntensityNames.begin(), kIntensityNames.end());
    for (const std::string& n : MomentNames()) names.push_back(n);
    names.insert(names.end(), kDetectorNames.begin(), kDetectorNames.end());
    for (const std::string& n : CoocurrenceFeatureNames(settings.coocurrenceDistance))
        names.push_back(n);
    names.push_back(kCentroidContrast);
    return names;
}

CFeatureSelection DefaultFeatureSelection(const CFeatureSettings& settings) {
    std::vector<CFeatureSelection::Entry> entries;
    for (const std::string& name : RegionFeatureNames(settings)) entries.push_back({name, 1});
    const auto second = static_cast<int32_t>(entries.size());
    for (const std::string& name : ClusterFeatureNames(settings)) entries.push_back({name, 1});
    return CFeatureSelection(std::move(entries), second);
}

CPoint RegionCentroid(const CRegion& region) {
    if (region.StartX() == -1) return {-1, -1};
    if (region.Chain().empty()) return {region.StartX(), region.StartY()};
    return CentroidOfMask(BuildMask(region));
}

namespace {

int ComputeFeatures(const CRegion& input, const CMImage& image, const CFeatureSelection& selection,
                    const CFeatureSettings& settings, CFeatureVector& out) {
    // A start without steps is the one-pixel region (area 1, perimeters 1
    // and 4); anything else describes the outline traced from its filled
    // pixels, whatever way it was drawn.
    const bool onePixel = input.StartX() != -1 && input.Chain().empty();
    if ((!input.IsValid() && !onePixel) || !image.IsValid()) return -1;
    // Retracing a traced outline changes nothing: skip the copy and the fill.
    CRegion retraced;
    if (!onePixel && !input.IsTraced()) {
        retraced = input;
        retraced.Retrace(false);
        if (!retraced.IsValid()) return -1;
    }
    const CRegion& region = onePixel || input.IsTraced() ? input : retraced;

    const double res = settings.resolution;
    const FilledMask mask = BuildMask(region);
    const double area = double(mask.count);
    const CPoint centroid = CentroidOfMask(mask);
    const std::vector<CPoint>& boundary = region.Boundary();
    const auto n = static_cast<int64_t>(boundary.size());
    const Appender add{selection, out};
    auto on = [&](const char* name) { return selection.Selected(name); };

    if (on("Area")) {
        add("Area", area);
        add("Area_mm", PixelAreaToMm2(area, res));
    }
    if (on("Inner_Perimeter") || on("Compactness_Inner")) {
        const double pi = InnerPerimeter(region.Chain());
        add("Inner_Perimeter", pi);
        add("Inner_Perimeter_mm", PixelsToMm(pi, res));
        add("Compactness_Inner", Ratio(pi * pi, 4.0 * std::numbers::pi * area));
    }
    if (on("Outer_Perimeter") || on("Compactness_Outer")) {
        const double po = double(OuterPerimeter(mask));
        add("Outer_Perimeter", po);
        add("Outer_Perimeter_mm", PixelsToMm(po, res));
        add("Compactness_Outer", Ratio(po * po, 4.0 * std::numbers::pi * area));
    }
    if (on("Elongation")) {
        double a = 0.0, b = 0.0;
        EnclosingRectangle(boundary, a, b);
        const bool sides = a > 0.0 && b > 0.0;
        out.Add(kElongationNames[0], b > 0.0 ? a / b : 0.0);
        out.Add(kElongationNames[1], a);
        out.Add(kElongationNames[2], PixelsToMm(a, res));
        out.Add(kElongationNames[3], sides ? area / (a * b) : 0.0);
        out.Add(kElongationNames[4], sides ? area / (std::numbers::pi * a * b / 4.0) : 0.0);
    }
    if (settings.shapeMoments) {
        std::array<double, 5> sm;
        sm.fill(-1.0);
        double roughness2 = -1.0;
        if (n > 0 && centroid.x >= 0) {
            std::vector<double> d(static_cast<size_t>(n));
            double m1 = 0.0, mr = 0.0;
            for (int64_t k = 0; k < n; ++k) {
                const double dx = boundary[size_t(k)].x - centroid.x;
                const double dy = boundary[size_t(k)].y - centroid.y;
                d[size_t(k)] = std::sqrt(dx * dx + dy * dy);
                m1 += d[size_t(k)];
                mr += dx * dx + dy * dy;
            }
            m1 /= double(n);
            mr /= double(n);
            std::array<double, 5> central{};  // sums of (d_k - m1)^(j+1)
            for (double dk : d) {
                double power = dk - m1;
                for (int j = 0; j < 5; ++j, power *= dk - m1) central[size_t(j)] += power;
            }
            for (int j = 0; j < 5; ++j) {
                const double mj = central[size_t(j)] / double(n);
                const double root = std::pow(std::fabs(mj), 1.0 / (j + 1));
                sm[size_t(j)] = (mj > 0 ? root : mj < 0 ? -root : 0.0) / (m1 != 0.0 ? m1 : 1.0);
            }
            double sq = 0.0;
            for (double dk : d) sq += (dk * dk - mr) * (dk * dk - mr);
            roughness2 = std::sqrt(sq / double(n));
        }
        static const std::vector<std::string> names = ShapeMomentNames();
        for (int j = 0; j < 5; ++j) add(names[size_t(j)], sm[size_t(j)]);
        if (selection.Selected(names[5]))
            out.Add(names[5], region.Bounds().IsEmpty() ? 0.0 : FourierShapeFactor(boundary));
        add(names[6], sm[3] - sm[1]);
        add(names[7], Ratio(sm[3], sm[2]));
        add(names[8], roughness2);
    }

    // The edge, background and grey-level groups feed each other's ratios;
    // a group none of whose names (nor a ratio it feeds) is selected is not
    // measured at all, which the pruning of implausible regions relies on.
    auto anyOn = [&](const auto& names) {
        for (const auto& name : names)
            if (selection.Selected(name)) return true;
        return false;
    };
    const bool ratiosOn = anyOn(std::array{kIntensityNames[5], kIntensityNames[6],
                                           kIntensityNames[7]});
    const bool contrastOn = anyOn(kContrastNames);
    const bool insideOn = contrastOn || anyOn(kIntensityNames);
    const bool backgroundOn = ratiosOn || anyOn(kBackgroundNames);
    const bool edgeOn = contrastOn || on(kCentroidContrast) || anyOn(kEdgeNames);

    // Edge: Sobel magnitude and grey values along the boundary.
    const bool boxInside = BoxInsideImage(mask.box, image);
    double edgeStrength[3] = {0, 0, 0}, edge[3] = {0, 0, 0};
    if (edgeOn) {
        std::vector<double> strength, grey;
        if (boxInside) {
            strength.reserve(size_t(n));
            for (const CPoint& p : boundary) {
                if (p.x < 1 || p.y < 1 || p.x >= image.width - 1 || p.y >= image.height - 1) {
                    strength.push_back(0.0);
                    continue;
                }
                auto s = [&](int dx, int dy) { return double(Sample(image, p.x + dx, p.y + dy)); };
                const double gx =
                    s(1, -1) + 2 * s(1, 0) + s(1, 1) - s(-1, -1) - 2 * s(-1, 0) - s(-1, 1);
                const double gy =
                    s(-1, 1) + 2 * s(0, 1) + s(1, 1) - s(-1, -1) - 2 * s(0, -1) - s(1, -1);
                strength.push_back(std::sqrt(gx * gx + gy * gy));
            }
        }
        // Grey values of the boundary pixels that lie in the image.
        for (const CPoint& p : boundary)
            if (p.x >= 0 && p.y >= 0 && p.x < image.width && p.y < image.height)
                grey.push_back(double(Sample(image, p.x, p.y)));
        MeanStd(strength, edgeStrength[0], edgeStrength[1], edgeStrength[2]);
        MeanStd(grey, edge[0], edge[1], edge[2]);
    }
    for (int i = 0; i < 3; ++i) add(kEdgeNames[size_t(i)], edgeStrength[i]);
    for (int i = 0; i < 3; ++i) add(kEdgeNames[size_t(i + 3)], edge[i]);
    const double edgeMean = edge[1];

    SampleStats background;
    if (backgroundOn) {
        SampleCollector samples(image);
        // 1.5 mm; a resolution beyond any scanner's is held to a ring of sane size.
        const double ringPixels = res > 0 ? std::min(0.15 * res / 2.54, 2048.0) : 0.0;
        CollectBackground(mask, image, static_cast<int32_t>(std::lround(ringPixels)), samples);
        background = samples.Stats();
    }
    add(kBackgroundNames[0], background.mean);
    add(kBackgroundNames[1], background.energy);
    add(kBackgroundNames[2], background.entropy);
    add(kBackgroundNames[3], background.stdDev);

    SampleStats inside;
    if (insideOn) {
        SampleCollector samples(image);
        for (int32_t y = std::max(mask.box.top, 0); y < std::min(mask.box.bottom, image.height);
             ++y)
            for (int32_t x = std::max(mask.box.left, 0); x < std::min(mask.box.right, image.width);
                 ++x)
                if (mask.At(x, y)) samples.Add(Sample(image, x, y));
        inside = samples.Stats();
    }
    const double contrast = Ratio(inside.highest, edgeMean);
    add(kContrastNames[0], contrast);
    add(kContrastNames[1], Ratio(contrast, inside.highest));

    const double F = inside.mean, B = background.mean;
    add(kIntensityNames[0], inside.sum);
    add(kIntensityNames[1], inside.mean);
    add(kIntensityNames[2], inside.stdDev);
    add(kIntensityNames[3], inside.energy);
    add(kIntensityNames[4], inside.entropy);
    add(kIntensityNames[5], Ratio(F, B));
    add(kIntensityNames[6], F - B);
    add(kIntensityNames[7], Ratio(F - B, F + B));

    if (settings.moments) {
        static const std::vector<std::string> names = MomentNames();
        // A box leaving the image has no moment set: zeros keep every region's
        // columns aligned in the feature files.
        MomentSet grey, binary;
        if (boxInside) {
            grey = ComputeMomentSet(mask, &image);
            binary = ComputeMomentSet(mask, nullptr);
        }
        for (int i = 0; i < 6; ++i) add(names[size_t(i)], grey.phi[size_t(i)]);
        add(names[6], Ratio(grey.phi[3], grey.phi[2]));
        add(names[7], Ratio(grey.phi[3], grey.phi[4]));
        add(names[8], grey.ellipticity);
        add(names[9], grey.triangularity);
        for (int i = 0; i < 7; ++i) add(names[size_t(10 + i)], binary.phi[size_t(i)]);
        add(names[17], Ratio(binary.phi[3], binary.phi[2]));
        add(names[18], Ratio(binary.phi[3], binary.phi[4]));
        add(names[19], binary.ellipticity);
        add(names[20], binary.triangularity);
    }

    add(kDetectorNames[0], region.scale);
    add(kDetectorNames[1], region.response);
    add(kDetectorNames[2], region.mean);
    add(kDetectorNames[3], region.energy);

    // Formatting the 60 names anew for every region cost more than the
    // texture of a small region itself.
    thread_local int32_t namesDistance = 0;
    thread_local std::vector<std::string> textureNames;
    if (textureNames.empty() || namesDistance != settings.coocurrenceDistance) {
        textureNames = CoocurrenceFeatureNames(settings.coocurrenceDistance);
        namesDistance = settings.coocurrenceDistance;
    }
    bool anyTexture = false;
    for (const std::string& name : textureNames)
        anyTexture = anyTexture || selection.Selected(name);
    if (anyTexture) {
        const int32_t ring =
            std::clamp(settings.ringWidth, int32_t{0}, std::max(image.width, image.height));
        CRect rect{mask.box.left - ring, mask.box.top - ring, mask.box.right + ring,
                   mask.box.bottom + ring};
        image.ClipRect(rect);
        CFeatureVector texture;
        if (!CoocurrenceFeatures(image, rect, settings.coocurrenceDistance, texture))
            texture.Clear();
        // A rectangle without matrices gives zeros, so that the columns stay.
        // The list comes in the order of its names.
        const bool inOrder = texture.names == textureNames;
        for (size_t i = 0; i < textureNames.size(); ++i) {
            const std::string& name = textureNames[i];
            if (!selection.Selected(name)) continue;
            const int32_t at = inOrder ? static_cast<int32_t>(i) : texture.IndexOf(name);
            out.Add(name, at >= 0 ? texture.values[size_t(at)] : 0.0);
        }
    }

    if (selection.Selected(kCentroidContrast)) {
        const bool in = centroid.x >= 0 && centroid.y >= 0 && centroid.x < image.width &&
                        centroid.y < image.height;
        out.Add(kCentroidContrast,
                in ? Ratio(double(Sample(image, centroid.x, centroid.y)), edgeMean) : 0.0);
    }
    return 0;
}

}  // namespace

int ComputeRegionFeatures(const CRegion& region, const CMImage& image,
                          const CFeatureSelection& selection, const CFeatureSettings& settings,
                          CFeatureVector& out) {
    out.Clear();
    try {
        if (ComputeFeatures(region, image, selection, settings, out) == 0) return 0;
    } catch (const std::bad_alloc&) {
        // Only a corrupt outline spans more pixels than memory holds.
    }
    out.Clear();
    return -1;
}

bool ComputeAllRegionFeatures(const CRegions& regions, const CMImage& image,
                              const CFeatureSelection& selection, const CFeatureSettings& settings,
                              bool skipClusterOutlines, std::vector<CFeatureVector>& out,
                              const ProgressFn& progress) {
    out.assign(static_cast<size_t>(regions.Count()), CFeatureVector{});
    return ParallelRows(
        0, regions.Count(), 16,
        [&](int, int32_t first, int32_t last) {
            for (int32_t i = first; i < last; ++i) {
                const CRegion* region = regions.At(i);
                if (!region || (skipClusterOutlines && region->IsClusterOutline())) continue;
                CFeatureVector& v = out[size_t(i)];
                if (ComputeRegionFeatures(*region, image, selection, settings, v) < 0) v.Clear();
            }
        },
        progress);
}

std::string FormatFeatures(int16_t diagnosis, const CFeatureVector& features) {
    std::string text = diagnosis == 0 ? "BENIGN\n" : diagnosis == 1 ? "MALIGNANT\n" : "FALSE\n";
    const size_t count = std::min(features.names.size(), features.values.size());
    char value[64];
    for (size_t i = 0; i < count; ++i) {
        const std::string& name = features.names[i];
        const bool scientific = name.find("Inv") != std::string::npos;
        std::snprintf(value, sizeof value, scientific ? "%.4e" : "%.4f", features.values[i]);
        std::string entry = name;
        if (entry.size() < 31) entry.append(31 - entry.size(), ' ');
        entry += "= ";
        entry += value;
        if (i % 2 == 1) {
            entry += ';';
            if (entry.size() < 41) entry.append(41 - entry.size(), ' ');
        } else {
            entry += '\n';
        }
        text += entry;
    }
    return text;
}

bool MeanAndStdDev(const std::vector<CFeatureVector>& vectors, CFeatureVector& mean,
                   CFeatureVector& stdDev) {
    mean.Clear();
    stdDev.Clear();
    if (vectors.empty()) return false;
    const std::vector<std::string>& names = vectors.front().names;
    for (const CFeatureVector& v : vectors)
        if (v.names != names || !v.IsConsistent()) return false;
    const size_t m = names.size();
    std::vector<double> sum(m, 0.0), sq(m, 0.0);
    const double count = double(vectors.size());
    for (const CFeatureVector& v : vectors)
        for (size_t i = 0; i < m; ++i) sum[i] += v.values[i];
    for (size_t i = 0; i < m; ++i) sum[i] /= count;
    for (const CFeatureVector& v : vectors)
        for (size_t i = 0; i < m; ++i) sq[i] += (v.values[i] - sum[i]) * (v.values[i] - sum[i]);
    mean.names = names;
    stdDev.names = names;
    mean.values = sum;
    stdDev.values.resize(m);
    for (size_t i = 0; i < m; ++i) stdDev.values[i] = std::sqrt(sq[i] / count);
    return true;
}

}  // namespace vistrel
