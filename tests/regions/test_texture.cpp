#include "regions/texture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "regions/texture_detail.h"

using namespace vistrel;

namespace {

using Grid = std::vector<std::vector<int32_t>>;  // [y][x]

CMImage MakeImage(const Grid& g, int depth) {
    CMImage m;
    m.Create(int32_t(g[0].size()), int32_t(g.size()), depth, 0);
    for (size_t y = 0; y < g.size(); ++y)
        for (size_t x = 0; x < g[y].size(); ++x) m.SetPixel(int32_t(x), int32_t(y), g[y][x]);
    return m;
}

Grid RandomGrid(int w, int h, int lo, int hi, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    Grid g(static_cast<size_t>(h), std::vector<int32_t>(static_cast<size_t>(w)));
    for (auto& row : g)
        for (auto& v : row) v = dist(rng);
    return g;
}

Grid Checkerboard(int w, int h, int a, int b) {
    Grid g(static_cast<size_t>(h), std::vector<int32_t>(static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g[size_t(y)][size_t(x)] = ((x + y) % 2) ? b : a;
    return g;
}

// The pair counts of one direction, straight from the neighbour table: for
// every pixel its two neighbours, each counted when inside the area.
struct RefMatrix {
    int32_t lo = 0, hi = 0;
    std::map<std::pair<int32_t, int32_t>, int64_t> counts;
    int64_t At(int32_t i, int32_t j) const {
        auto it = counts.find({i, j});
        return it == counts.end() ? 0 : it->second;
    }
};

RefMatrix ReferenceCounts(const Grid& g, int angle, int d) {
    const int h = int(g.size()), w = int(g[0].size());
    RefMatrix r;
    r.lo = INT_MAX;
    r.hi = INT_MIN;
    for (const auto& row : g)
        for (int v : row) r.lo = std::min(r.lo, v), r.hi = std::max(r.hi, v);
    int n1x = 0, n1y = 0;
    switch (angle) {
        case 0:
            n1x = -d;
            n1y = 0;
            break;
        case 45:
            n1x = -d;
            n1y = d;
            break;
        case 90:
            n1x = 0;
            n1y = -d;
            break;
        case 135:
            n1x = -d;
            n1y = -d;
            break;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int s : {1, -1}) {
                const int nx = x + s * n1x, ny = y + s * n1y;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                ++r.counts[{g[size_t(y)][size_t(x)] - r.lo, g[size_t(ny)][size_t(nx)] - r.lo}];
            }
    return r;
}

// The textbook definitions over the whole n x n matrix, written for clarity.
struct RefFeatures {
    double contrast = 0, entropy = 0, asm2 = 0, idm = 0, correlation = 0, covariance = 0,
           sumAverage = 0, sumEntropy = 0, sumVariance = 0, diffAverage = 0, diffEntropy = 0,
           diffVariance = 0;
    std::vector<double> Reported() const {
        return {contrast,   entropy,    asm2,        idm,         correlation, covariance,
                sumAverage, sumEntropy, sumVariance, diffAverage, diffEntropy, diffVariance};
    }
};

RefFeatures ReferenceFeatures(const RefMatrix& m) {
    const int n = m.hi - m.lo + 1;
    const double g = m.lo;
    double total = 0;
    for (const auto& [k, c] : m.counts) total += double(c);
    if (total == 0) total = 1;
    std::vector<std::vector<double>> p(size_t(n), std::vector<double>(size_t(n), 0.0));
    for (const auto& [k, c] : m.counts) p[size_t(k.first)][size_t(k.second)] = double(c) / total;
    RefFeatures f;
    double mux = 0, muy = 0, exy = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double q = p[size_t(i)][size_t(j)];
            f.contrast += double((i - j) * (i - j)) * q;
            if (q > 0) f.entropy -= q * std::log2(q);
            f.asm2 += q * q;
            f.idm += q / (1.0 + double((i - j) * (i - j)));
            mux += (i + g) * q;
            muy += (j + g) * q;
            exy += (i + g) * (j + g) * q;
        }
    double vx = 0, vy = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double q = p[size_t(i)][size_t(j)];
            vx += q * (i + g - mux) * (i + g - mux);
            vy += q * (j + g - muy) * (j + g - muy);
            f.covariance += q * (i + g - mux) * (j + g - muy);
        }
    f.correlation = (vx == 0 || vy == 0) ? 0.0 : (exy - mux * muy) / (vx * vy);
    std::vector<double> s(size_t(2 * n - 1), 0.0), t(size_t(n), 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            s[size_t(i + j)] += p[size_t(i)][size_t(j)];
            if (i >= j) t[size_t(i - j)] += p[size_t(i)][size_t(j)];
        }
    for (int k = 0; k < 2 * n - 1; ++k) {
        f.sumAverage += (k + 2 * g) * s[size_t(k)];
        if (s[size_t(k)] > 0) f.sumEntropy -= s[size_t(k)] * std::log2(s[size_t(k)]);
    }
    for (int k = 0; k < 2 * n - 1; ++k)
        f.sumVariance += (k + 2 * g - f.sumAverage) * (k + 2 * g - f.sumAverage) * s[size_t(k)];
    for (int k = 0; k < n; ++k) {
        f.diffAverage += k * t[size_t(k)];
        if (t[size_t(k)] > 0) f.diffEntropy -= t[size_t(k)] * std::log2(t[size_t(k)]);
    }
    for (int k = 0; k < n; ++k)
        f.diffVariance += (k - f.diffAverage) * (k - f.diffAverage) * t[size_t(k)];
    return f;
}

void ExpectFeaturesNear(const CGLCM& m, const RefFeatures& ref, const std::string& what) {
    const std::vector<double> want = ref.Reported();
    for (int k = 0; k < 12; ++k) {
        const double tol = 1e-11 * std::max(1.0, std::fabs(want[size_t(k)]));
        EXPECT_NEAR(m.Reported(k), want[size_t(k)], tol)
            << what << " " << kGlcmFeatureNames[size_t(k)];
    }
}

struct PatternCase {
    const char* name;
    Grid grid;
    int depth;
    int distance;
};

std::vector<PatternCase> Patterns() {
    return {
        {"ramp 3x3", {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}}, 8, 1},
        {"ramp 3x3 d2", {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}}, 8, 2},
        {"checker 4x4", Checkerboard(4, 4, 10, 20), 8, 1},
        {"random 5x3", RandomGrid(5, 3, 3, 8, 1), 8, 1},
        {"random 6x7 d2", RandomGrid(6, 7, 0, 5, 2), 8, 2},
        {"random 8x8 12-bit", RandomGrid(8, 8, 1000, 1040, 3), 12, 1},
        {"random 8x8 d3", RandomGrid(8, 8, 0, 3, 4), 8, 3},
        {"16-bit above 32767", RandomGrid(7, 5, 65500, 65535, 5), 16, 1},
        {"one column", {{1}, {4}, {2}, {4}, {1}}, 8, 1},
        {"one row", {{3, 1, 3, 3, 0, 2}}, 8, 1},
        {"4-bit", RandomGrid(5, 5, 0, 15, 6), 4, 1},
        {"distance beyond the area", RandomGrid(4, 3, 0, 9, 7), 8, 5},
    };
}

TEST(BuildGLCMs, CountsMatchTheNeighbourTableEntryByEntry) {
    for (const PatternCase& pc : Patterns()) {
        const CMImage image = MakeImage(pc.grid, pc.depth);
        const CRect all{0, 0, image.width, image.height};
        for (auto form :
             {detail::GlcmForm::Automatic, detail::GlcmForm::Dense, detail::GlcmForm::Sparse}) {
            auto glcms = detail::BuildGLCMsAs(image, all, pc.distance, form);
            ASSERT_TRUE(glcms) << pc.name;
            for (size_t k = 0; k < 4; ++k) {
                const CGLCM& m = (*glcms)[k];
                const RefMatrix ref = ReferenceCounts(pc.grid, kGlcmAngles[k], pc.distance);
                const std::string what = std::string(pc.name) + " angle " +
                                         std::to_string(kGlcmAngles[k]) + " form " +
                                         std::to_string(int(form));
                EXPECT_EQ(m.angle, kGlcmAngles[k]) << what;
                EXPECT_EQ(m.distance, pc.distance) << what;
                EXPECT_EQ(m.firstLevel, ref.lo) << what;
                EXPECT_EQ(m.lastLevel, ref.hi) << what;
                EXPECT_EQ(m.size, ref.hi - ref.lo + 1) << what;
                EXPECT_EQ(m.pixelCount, double(image.width) * image.height) << what;
                EXPECT_FALSE(m.computed) << what;
                int64_t total = 0;
                for (int32_t i = 0; i < m.size; ++i)
                    for (int32_t j = 0; j < m.size; ++j) {
                        EXPECT_EQ(m.CountAt(i, j), ref.At(i, j)) << what << " at " << i << "," << j;
                        total += ref.At(i, j);
                    }
                EXPECT_EQ(m.TotalCount(), total) << what;
            }
        }
    }
}

TEST(BuildGLCMs, ComputedFeaturesMatchTheTextbookDefinitions) {
    for (const PatternCase& pc : Patterns()) {
        const CMImage image = MakeImage(pc.grid, pc.depth);
        auto glcms = BuildGLCMs(image, CRect{0, 0, image.width, image.height}, pc.distance);
        ASSERT_TRUE(glcms) << pc.name;
        for (size_t k = 0; k < 4; ++k) {
            CGLCM& m = (*glcms)[k];
            ASSERT_EQ(m.ComputeFeatures(), 0) << pc.name;
            EXPECT_TRUE(m.computed);
            EXPECT_FALSE(m.HasMatrix()) << "counts are released";
            ExpectFeaturesNear(
                m, ReferenceFeatures(ReferenceCounts(pc.grid, kGlcmAngles[k], pc.distance)),
                std::string(pc.name) + " " + std::to_string(kGlcmAngles[k]));
        }
    }
}

// Region rings: a few hundred pixels, hundreds of levels, nearly every
// pair once. The named list of such an area takes its own path; its values
// must still be the definitions', every direction, both distances.
TEST(CoocurrenceFeatures, RingSizedAreasMatchTheTextbookDefinitions) {
    struct RingCase {
        const char* name;
        Grid grid;
        int depth;
        int distance;
    };
    const std::vector<RingCase> cases = {
        {"12-bit 21x17 wide", RandomGrid(21, 17, 0, 1500, 61), 12, 1},
        {"12-bit 24x24 d2", RandomGrid(24, 24, 1800, 2300, 62), 12, 2},
        {"16-bit 16x19 high levels", RandomGrid(16, 19, 64000, 65535, 63), 16, 1},
        {"8-bit 13x25 few levels", RandomGrid(13, 25, 40, 60, 64), 8, 1},
        {"12-bit 2x30 strip", RandomGrid(2, 30, 0, 900, 65), 12, 1},
    };
    for (const RingCase& rc : cases) {
        const CMImage image = MakeImage(rc.grid, rc.depth);
        const CRect all{0, 0, image.width, image.height};
        CFeatureVector out;
        ASSERT_TRUE(CoocurrenceFeatures(image, all, rc.distance, out)) << rc.name;
        ASSERT_EQ(out.Size(), 60) << rc.name;
        for (size_t k = 0; k < 4; ++k) {
            const RefFeatures ref =
                ReferenceFeatures(ReferenceCounts(rc.grid, kGlcmAngles[k], rc.distance));
            const std::vector<double> want = ref.Reported();
            for (size_t f = 0; f < 12; ++f) {
                const double tol = 1e-11 * std::max(1.0, std::fabs(want[f]));
                EXPECT_NEAR(out.values[12 + 12 * k + f], want[f], tol)
                    << rc.name << " " << kGlcmAngles[k] << " " << kGlcmFeatureNames[f];
            }
        }
        // The matrices kept by BuildGLCMs in either form give the same bits.
        for (auto form : {detail::GlcmForm::Dense, detail::GlcmForm::Sparse}) {
            auto glcms = detail::BuildGLCMsAs(image, all, rc.distance, form);
            if (!glcms) continue;  // dense refused: too many levels
            for (size_t k = 0; k < 4; ++k) {
                ASSERT_TRUE((*glcms)[k].EnsureFeatures());
                for (int f = 0; f < 12; ++f)
                    EXPECT_EQ(out.values[12 + 12 * k + size_t(f)], (*glcms)[k].Reported(f))
                        << rc.name << " " << kGlcmAngles[k] << " " << kGlcmFeatureNames[f];
            }
        }
    }
}

// A built matrix is symmetric and its features use that; one more Count()
// makes it general, and the features must follow the changed counts.
TEST(CGLCM, CountOnABuiltMatrixIsHonoured) {
    const Grid grid = RandomGrid(6, 5, 0, 7, 71);
    const CMImage image = MakeImage(grid, 8);
    for (auto form : {detail::GlcmForm::Dense, detail::GlcmForm::Sparse}) {
        auto glcms = detail::BuildGLCMsAs(image, CRect{0, 0, 6, 5}, 1, form);
        ASSERT_TRUE(glcms);
        CGLCM& m = (*glcms)[0];
        m.Count(0, 7);  // one pair in one order only
        RefMatrix ref = ReferenceCounts(grid, 0, 1);
        ref.lo = 0;
        ref.hi = 7;
        for (int v = 0; v < 8; ++v) ref.counts.try_emplace({v, v}, 0);  // span all levels
        ++ref.counts[{0 - m.firstLevel, 7 - m.firstLevel}];
        ASSERT_EQ(m.firstLevel, 0);
        ASSERT_EQ(m.size, 8);
        ASSERT_EQ(m.ComputeFeatures(), 0);
        ExpectFeaturesNear(m, ReferenceFeatures(ref), "built then counted");
    }
}

// A hand-made asymmetric matrix with a level offset, worked out on paper:
// counts (0,0)=2 (0,1)=1 (1,2)=1, g = 10, N = 4.
TEST(CGLCM, HandMadeMatrixGivesTheWorkedValues) {
    CGLCM m;
    ASSERT_TRUE(m.Init(10, 12, 3));
    m.Count(10, 10);
    m.Count(10, 10);
    m.Count(10, 11);
    m.Count(11, 12);
    m.Count(9, 10);   // outside the levels: ignored
    m.Count(10, 13);  // outside the levels: ignored
    m.pixelCount = 4;
    EXPECT_EQ(m.TotalCount(), 4);
    EXPECT_EQ(m.CountAt(0, 0), 2);
    EXPECT_EQ(m.CountAt(3, 0), 0);
    ASSERT_EQ(m.ComputeFeatures(), 0);
    // p = .5 at (0,0), .25 at (0,1), .25 at (1,2).
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kContrast], 0.5);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kEntropy], 1.5);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kAngularSecondMoment], 0.375);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kInverseDifferentMoment], 0.75);
    // Row masses .75/.25, column masses .5/.25/.25.
    const double mux = 10.25, muy = 10.75;
    const double exy = 0.5 * 100 + 0.25 * 110 + 0.25 * 132;
    const double vx = 0.75 * (10 - mux) * (10 - mux) + 0.25 * (11 - mux) * (11 - mux);
    const double vy = 0.5 * (10 - muy) * (10 - muy) + 0.25 * (11 - muy) * (11 - muy) +
                      0.25 * (12 - muy) * (12 - muy);
    EXPECT_NEAR(m.features[CGLCM::kMeanProduct], exy, 1e-12);
    EXPECT_NEAR(m.features[CGLCM::kCorrelation], (exy - mux * muy) / (vx * vy), 1e-12);
    EXPECT_NEAR(m.features[CGLCM::kCovariance], exy - mux * muy, 1e-12);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kMaximumProbability], 0.5);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kMeanAbsoluteDifference], 0.5);
    // s: k=0 .5, k=1 .25, k=3 .25 -> average 2g + .25 + .75.
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kSumAverage], 21.0);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kSumEntropy], 1.5);
    // Only (0,0) lies on or below the diagonal: t(0) = .5, the rest is lost.
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kDifferenceAverage], 0.0);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kDifferenceEntropy], 0.5);
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kDifferenceVariance], 0.0);
    // Released, and not recomputed.
    EXPECT_FALSE(m.HasMatrix());
    EXPECT_EQ(m.ComputeFeatures(), -1);
    EXPECT_TRUE(m.EnsureFeatures());
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kContrast], 0.5);
}

TEST(CGLCM, InitRefusesBadSizesAndFeaturesNeedAMatrixAndPixels) {
    CGLCM m;
    EXPECT_FALSE(m.Init(0, -1, 0));
    EXPECT_FALSE(m.HasMatrix());
    EXPECT_FALSE(m.Init(0, 0, -5));
    EXPECT_EQ(m.ComputeFeatures(), -1);
    EXPECT_FALSE(m.EnsureFeatures());
    ASSERT_TRUE(m.Init(0, 1, 2));
    m.Count(0, 1);
    EXPECT_EQ(m.pixelCount, 1.0);
    EXPECT_EQ(m.ComputeFeatures(), -1) << "pixelCount 1 after Init";
    m.pixelCount = 0;
    EXPECT_EQ(m.ComputeFeatures(), -1);
    m.pixelCount = 2;
    EXPECT_EQ(m.ComputeFeatures(), 0);
    EXPECT_EQ(m.Reported(-1), 0.0);
    EXPECT_EQ(m.Reported(12), 0.0);
}

// 65,536 levels must not ask for an n x n table of 32 GB.
TEST(CGLCM, ManyLevelsAreKeptSparseAndStillCountExactly) {
    CGLCM m;
    ASSERT_TRUE(m.Init(0, 65535, 65536));
    EXPECT_TRUE(detail::IsSparse(m));
    m.Count(0, 65535);
    m.Count(65535, 0);
    m.Count(65535, 0);
    m.Count(7, 7);
    EXPECT_EQ(m.CountAt(65535, 0), 2);
    EXPECT_EQ(m.CountAt(0, 65535), 1);
    EXPECT_EQ(m.CountAt(7, 7), 1);
    EXPECT_EQ(m.CountAt(8, 7), 0);
    m.Count(7, 7);
    EXPECT_EQ(m.CountAt(7, 7), 2);
    EXPECT_EQ(m.TotalCount(), 5);
    m.pixelCount = 10;
    ASSERT_EQ(m.ComputeFeatures(), 0);
    // (65535^2 * 3) / 5
    EXPECT_DOUBLE_EQ(m.features[CGLCM::kContrast], 65535.0 * 65535.0 * 3 / 5);

    // A whole 16-bit range through BuildGLCMs.
    CMImage image(256, 256, 16);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) image.SetPixel(x, y, y * 256 + x);
    auto glcms = BuildGLCMs(image, CRect{0, 0, 256, 256}, 1);
    ASSERT_TRUE(glcms);
    EXPECT_EQ((*glcms)[0].size, 65536);
    EXPECT_TRUE(detail::IsSparse((*glcms)[0]));
    EXPECT_EQ((*glcms)[0].CountAt(0, 1), 1);
    EXPECT_EQ((*glcms)[0].CountAt(1, 0), 1);
    EXPECT_EQ((*glcms)[2].CountAt(65535, 65535 - 256), 1);
    EXPECT_EQ((*glcms)[0].TotalCount(), 2 * 255 * 256);
}

// The storage form is an implementation detail: both must give the very
// same bits.
TEST(BuildGLCMs, DenseAndSparseFormsGiveIdenticalFeatures) {
    struct Case {
        const char* name;
        Grid grid;
        int depth;
        int distance;
    };
    std::vector<Case> cases = {
        {"12-bit 40x30", RandomGrid(40, 30, 2000, 2300, 11), 12, 1},
        {"8-bit 33x17 d2", RandomGrid(33, 17, 0, 255, 12), 8, 2},
        {"two levels", Checkerboard(9, 9, 3, 900), 12, 1},
        {"one row", RandomGrid(50, 1, 0, 40, 13), 8, 1},
    };
    // Smooth ramp plus noise: most entries zero, few pairs per row.
    Grid smooth(64, std::vector<int32_t>(64));
    std::mt19937 rng(5);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            smooth[size_t(y)][size_t(x)] = 1000 + 8 * x + 3 * y + int(rng() % 7);
    cases.push_back({"smooth 64x64", smooth, 12, 1});
    for (const Case& c : cases) {
        const CMImage image = MakeImage(c.grid, c.depth);
        const CRect all{0, 0, image.width, image.height};
        auto dense = detail::BuildGLCMsAs(image, all, c.distance, detail::GlcmForm::Dense);
        auto sparse = detail::BuildGLCMsAs(image, all, c.distance, detail::GlcmForm::Sparse);
        ASSERT_TRUE(dense && sparse) << c.name;
        for (size_t k = 0; k < 4; ++k) {
            ASSERT_FALSE(detail::IsSparse((*dense)[k]));
            ASSERT_TRUE(detail::IsSparse((*sparse)[k]));
            ASSERT_EQ((*dense)[k].ComputeFeatures(), 0);
            ASSERT_EQ((*sparse)[k].ComputeFeatures(), 0);
            for (int f = 0; f < CGLCM::kFeatureCount; ++f)
                EXPECT_EQ((*dense)[k].features[f], (*sparse)[k].features[f])
                    << c.name << " angle " << kGlcmAngles[k] << " feature " << f;
        }
    }
}

TEST(BuildGLCMs, PicksTheFormByLevelsAndArea) {
    // 256 levels on a large area: dense; thousands of levels: sparse.
    const CMImage few = MakeImage(RandomGrid(200, 200, 0, 255, 21), 8);
    auto a = BuildGLCMs(few, CRect{0, 0, 200, 200}, 1);
    ASSERT_TRUE(a);
    EXPECT_FALSE(detail::IsSparse((*a)[0]));
    const CMImage many = MakeImage(RandomGrid(200, 200, 0, 3100, 22), 12);
    auto b = BuildGLCMs(many, CRect{0, 0, 200, 200}, 1);
    ASSERT_TRUE(b);
    EXPECT_TRUE(detail::IsSparse((*b)[0]));
    // Forcing dense where the table would be huge is refused, not attempted.
    const CMImage wide = MakeImage(RandomGrid(20, 20, 0, 65535, 23), 16);
    EXPECT_FALSE(detail::BuildGLCMsAs(wide, CRect{0, 0, 20, 20}, 1, detail::GlcmForm::Dense));
    EXPECT_TRUE(detail::BuildGLCMsAs(wide, CRect{0, 0, 20, 20}, 1, detail::GlcmForm::Sparse));
}

// 16-bit counts wrapped above 32767; a 300 x 300 two-level area holds
// entries near 90,000.
TEST(BuildGLCMs, LargeCountsDoNotWrap) {
    Grid g(300, std::vector<int32_t>(300, 0));
    for (auto& row : g)
        for (int x = 150; x < 300; ++x) row[size_t(x)] = 1;
    const CMImage image = MakeImage(g, 8);
    for (auto form : {detail::GlcmForm::Dense, detail::GlcmForm::Sparse}) {
        const std::string what = "300x300 form " + std::to_string(int(form));
        auto glcms = detail::BuildGLCMsAs(image, CRect{0, 0, 300, 300}, 1, form);
        ASSERT_TRUE(glcms);
        const CGLCM& h = (*glcms)[0];
        EXPECT_EQ(h.CountAt(0, 0), 2 * 149 * 300) << what;
        EXPECT_EQ(h.CountAt(1, 1), 2 * 149 * 300) << what;
        EXPECT_EQ(h.CountAt(0, 1), 300) << what;
        EXPECT_EQ(h.CountAt(1, 0), 300) << what;
        const CGLCM& v = (*glcms)[2];
        EXPECT_EQ(v.CountAt(0, 0), 2 * 150 * 299) << what;
        EXPECT_EQ(v.CountAt(0, 1), 0) << what;
        for (size_t k = 0; k < 4; ++k) {
            CGLCM& m = (*glcms)[k];
            const RefMatrix ref = ReferenceCounts(g, kGlcmAngles[k], 1);
            ASSERT_EQ(m.ComputeFeatures(), 0);
            ExpectFeaturesNear(m, ReferenceFeatures(ref),
                               what + " " + std::to_string(kGlcmAngles[k]));
        }
        // 0 degrees: p(0,1) = p(1,0) = 300 / N.
        const double N = 4.0 * 149 * 300 + 600;
        EXPECT_NEAR((*glcms)[0].features[CGLCM::kContrast], 600 / N, 1e-15) << what;
    }
}

TEST(CGLCMEdgeCases, ConstantAreaIsOneLevel) {
    const CMImage image = MakeImage(Grid(5, std::vector<int32_t>(6, 777)), 12);
    auto glcms = BuildGLCMs(image, CRect{0, 0, 6, 5}, 1);
    ASSERT_TRUE(glcms);
    for (CGLCM& m : *glcms) {
        EXPECT_EQ(m.size, 1);
        ASSERT_EQ(m.ComputeFeatures(), 0);
        EXPECT_EQ(m.features[CGLCM::kContrast], 0.0);
        EXPECT_EQ(m.features[CGLCM::kEntropy], 0.0);
        EXPECT_EQ(m.features[CGLCM::kAngularSecondMoment], 1.0);
        EXPECT_EQ(m.features[CGLCM::kInverseDifferentMoment], 1.0);
        EXPECT_EQ(m.features[CGLCM::kCorrelation], 0.0);
        EXPECT_EQ(m.features[CGLCM::kSumAverage], 2 * 777.0);
        EXPECT_EQ(m.features[CGLCM::kDifferenceAverage], 0.0);
        EXPECT_FALSE(std::isnan(m.features[CGLCM::kCovariance]));
    }
}

TEST(CGLCMEdgeCases, OnePixelWideAreaHasAnEmptyHorizontalMatrix) {
    const CMImage image = MakeImage({{1}, {5}, {2}, {5}}, 8);
    auto glcms = BuildGLCMs(image, CRect{0, 0, 1, 4}, 1);
    ASSERT_TRUE(glcms);
    CGLCM& h = (*glcms)[0];
    EXPECT_EQ(h.TotalCount(), 0);
    ASSERT_EQ(h.ComputeFeatures(), 0);
    for (int f = 0; f < CGLCM::kFeatureCount; ++f) EXPECT_EQ(h.features[f], 0.0) << "feature " << f;
    CGLCM& v = (*glcms)[2];
    EXPECT_EQ(v.TotalCount(), 6);
    ASSERT_EQ(v.ComputeFeatures(), 0);
    EXPECT_GT(v.features[CGLCM::kContrast], 0.0);
}

TEST(CGLCMEdgeCases, OnePixelGivesNoFeatures) {
    const CMImage image = MakeImage(RandomGrid(4, 4, 0, 9, 31), 8);
    auto glcms = BuildGLCMs(image, CRect{2, 1, 3, 2}, 1);
    ASSERT_TRUE(glcms);
    EXPECT_EQ((*glcms)[0].pixelCount, 1.0);
    EXPECT_EQ((*glcms)[0].ComputeFeatures(), -1);
    CFeatureVector out;
    out.Add("before", 1.0);
    EXPECT_FALSE(CoocurrenceFeatures(image, CRect{2, 1, 3, 2}, 1, out));
    EXPECT_EQ(out.Size(), 1) << "nothing appended on failure";
}

TEST(CGLCMEdgeCases, CheckerboardMassLiesOffOrOnTheDiagonalByDirection) {
    const CMImage image = MakeImage(Checkerboard(8, 8, 40, 41), 8);
    auto glcms = BuildGLCMs(image, CRect{0, 0, 8, 8}, 1);
    ASSERT_TRUE(glcms);
    for (size_t k = 0; k < 4; ++k) {
        const CGLCM& m = (*glcms)[k];
        const int64_t diagonal = m.CountAt(0, 0) + m.CountAt(1, 1);
        const int64_t off = m.CountAt(0, 1) + m.CountAt(1, 0);
        const bool straight = kGlcmAngles[k] == 0 || kGlcmAngles[k] == 90;
        EXPECT_EQ(straight ? diagonal : off, 0) << kGlcmAngles[k];
        EXPECT_GT(straight ? off : diagonal, 0) << kGlcmAngles[k];
    }
    ASSERT_EQ((*glcms)[0].ComputeFeatures(), 0);
    EXPECT_EQ((*glcms)[0].features[CGLCM::kContrast], 1.0);
    ASSERT_EQ((*glcms)[1].ComputeFeatures(), 0);
    EXPECT_EQ((*glcms)[1].features[CGLCM::kContrast], 0.0);
}

TEST(BuildGLCMs, BadInputIsClippedOrRefused) {
    const Grid grid = RandomGrid(10, 8, 0, 30, 41);
    const CMImage image = MakeImage(grid, 8);
    // Refused: no image, empty, inverted, entirely outside.
    EXPECT_FALSE(BuildGLCMs(CMImage(), CRect{0, 0, 4, 4}, 1));
    for (const CRect& r : {CRect{3, 3, 3, 6}, CRect{5, 5, 2, 2}, CRect{-9, -9, -1, -1},
                           CRect{10, 0, 20, 8}, CRect{INT_MIN, INT_MIN, INT_MIN + 1, 5}})
        EXPECT_FALSE(BuildGLCMs(image, r, 1))
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    // Partly outside: the same as the part inside.
    auto clipped = BuildGLCMs(image, CRect{-5, 4, 6, 100}, 1);
    auto inside = BuildGLCMs(image, CRect{0, 4, 6, 8}, 1);
    ASSERT_TRUE(clipped && inside);
    EXPECT_EQ((*clipped)[0].pixelCount, 24.0);
    for (size_t k = 0; k < 4; ++k)
        for (int32_t i = 0; i < (*inside)[k].size; ++i)
            for (int32_t j = 0; j < (*inside)[k].size; ++j)
                EXPECT_EQ((*clipped)[k].CountAt(i, j), (*inside)[k].CountAt(i, j));
    // A negative distance counts as its size; extreme ones count nothing
    // rather than overflowing.
    auto negative = BuildGLCMs(image, CRect{0, 0, 10, 8}, -3);
    ASSERT_TRUE(negative);
    for (size_t k = 0; k < 4; ++k) {
        const RefMatrix ref = ReferenceCounts(grid, kGlcmAngles[k], 3);
        for (int32_t i = 0; i < (*negative)[k].size; ++i)
            for (int32_t j = 0; j < (*negative)[k].size; ++j)
                EXPECT_EQ((*negative)[k].CountAt(i, j), ref.At(i, j));
    }
    for (int32_t d : {INT_MAX, INT_MIN}) {
        auto glcms = BuildGLCMs(image, CRect{0, 0, 10, 8}, d);
        ASSERT_TRUE(glcms) << d;
        for (CGLCM& m : *glcms) {
            EXPECT_EQ(m.TotalCount(), 0) << d;
            EXPECT_EQ(m.ComputeFeatures(), 0) << d;
        }
    }
}

TEST(CoocurrenceFeatures, NamedListIsMeansThenEachDirection) {
    const std::vector<std::string> names = CoocurrenceFeatureNames(2);
    ASSERT_EQ(names.size(), 60u);
    EXPECT_EQ(names[0], "Contrast_Mean");
    EXPECT_EQ(names[4], "Correlation_Mean");
    EXPECT_EQ(names[11], "DifferenceVariance_Mean");
    EXPECT_EQ(names[12], "Contrast_2_0");
    EXPECT_EQ(names[24], "Contrast_2_45");
    EXPECT_EQ(names[36 + 7], "SumEntropy_2_90");
    EXPECT_EQ(names[59], "DifferenceVariance_2_135");
    EXPECT_EQ(CoocurrenceFeatureNames(1)[12 + 12], "Contrast_1_45");

    const Grid grid = RandomGrid(12, 9, 100, 140, 51);
    const CMImage image = MakeImage(grid, 12);
    const CRect rect{1, 1, 11, 9};
    CFeatureVector out;
    out.Add("_", 0.0);
    ASSERT_TRUE(CoocurrenceFeatures(image, rect, 2, out));
    ASSERT_EQ(out.Size(), 61);
    ASSERT_TRUE(out.IsConsistent());
    EXPECT_EQ(out.names[0], "_");
    auto glcms = BuildGLCMs(image, rect, 2);
    ASSERT_TRUE(glcms);
    for (CGLCM& m : *glcms) ASSERT_TRUE(m.EnsureFeatures());
    for (int f = 0; f < 12; ++f) {
        EXPECT_EQ(out.names[size_t(1 + f)], names[size_t(f)]);
        double sum = 0;
        for (size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(out.values[size_t(1 + 12 + 12 * k + f)], (*glcms)[k].Reported(f));
            sum += (*glcms)[k].Reported(f);
        }
        EXPECT_NEAR(out.values[size_t(1 + f)], sum / 4, 1e-12 * std::max(1.0, std::fabs(sum)));
    }
}

// ---------------------------------------------------------------------------

// Ring counts by the definition: Chebyshev distance m from the centre,
// inner ring ri < m <= rm, outer ring rm < m <= ro, values below u - margin.
std::vector<int32_t> ReferenceSrdm(const Grid& g, int inner, int middle, int outer, int margin) {
    const int h = int(g.size()), w = int(g[0].size());
    const int rows = middle * middle - inner * inner + 1,
              cols = outer * outer - middle * middle + 1;
    std::vector<int32_t> counts(size_t(rows * cols), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int u = g[size_t(y)][size_t(x)];
            int c1 = 0, c2 = 0;
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx) {
                    const int m = std::max(std::abs(xx - x), std::abs(yy - y));
                    if (g[size_t(yy)][size_t(xx)] >= u - margin) continue;
                    if (m > inner / 2 && m <= middle / 2) ++c1;
                    if (m > middle / 2 && m <= outer / 2) ++c2;
                }
            ++counts[size_t(c1 * cols + c2)];
        }
    return counts;
}

TEST(BuildSRDM, BrightCentreOnDarkGroundFillsBothRings) {
    Grid g(15, std::vector<int32_t>(15, 0));
    g[7][7] = 200;
    const CMImage image = MakeImage(g, 8);
    auto srdm =
        BuildSRDM(image, kSrdmInner, kSrdmMiddle, kSrdmOuter, kSrdmMargin, CRect{0, 0, 15, 15});
    ASSERT_TRUE(srdm);
    EXPECT_EQ(srdm->rows, 73);
    EXPECT_EQ(srdm->cols, 105);
    ASSERT_EQ(srdm->counts.size(), 73u * 105u);
    EXPECT_EQ(srdm->At(72, 104), 1);
    EXPECT_EQ(srdm->At(0, 0), 224);
    int64_t total = 0;
    for (int32_t c : srdm->counts) total += c;
    EXPECT_EQ(total, 225);
}

TEST(BuildSRDM, MatchesTheRingDefinitionOnRandomAreas) {
    struct Case {
        const char* name;
        int inner, middle, outer, margin;
        Grid grid;
        CRect rect;
    };
    const Grid big = RandomGrid(30, 26, 0, 400, 61);
    const std::vector<Case> cases = {
        {"7/11/15 whole", 7, 11, 15, 50, big, CRect{0, 0, 30, 26}},
        {"3/5/9 margin 0", 3, 5, 9, 0, RandomGrid(12, 10, 0, 20, 62), CRect{0, 0, 12, 10}},
        {"1/3/5 negative margin", 1, 3, 5, -5, RandomGrid(9, 11, 0, 10, 63), CRect{0, 0, 9, 11}},
        {"area smaller than the rings", 7, 11, 15, 10, RandomGrid(4, 3, 0, 100, 64),
         CRect{0, 0, 4, 3}},
    };
    for (const Case& c : cases) {
        const CMImage image = MakeImage(c.grid, 12);
        std::vector<std::string> skipped;
        auto srdm = BuildSRDM(image, c.inner, c.middle, c.outer, c.margin, c.rect, &skipped);
        ASSERT_TRUE(srdm) << c.name;
        EXPECT_EQ(srdm->counts, ReferenceSrdm(c.grid, c.inner, c.middle, c.outer, c.margin))
            << c.name;
        EXPECT_TRUE(skipped.empty()) << c.name;
    }
    // A sub-rectangle only looks at its own pixels.
    const CMImage image = MakeImage(big, 12);
    Grid part(10, std::vector<int32_t>(12));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) part[size_t(y)][size_t(x)] = big[size_t(5 + y)][size_t(3 + x)];
    auto srdm = BuildSRDM(image, 7, 11, 15, 50, CRect{3, 5, 15, 15});
    ASSERT_TRUE(srdm);
    EXPECT_EQ(srdm->counts, ReferenceSrdm(part, 7, 11, 15, 50));
}

TEST(BuildSRDM, RefusesBadSidesAndBadAreas) {
    const CMImage image = MakeImage(RandomGrid(10, 10, 0, 99, 71), 8);
    const CRect all{0, 0, 10, 10};
    for (auto [i, m, o] : {std::tuple{7, 11, 11},
                           {11, 7, 15},
                           {6, 11, 15},
                           {7, 10, 15},
                           {7, 11, 16},
                           {0, 3, 5},
                           {-1, 3, 5},
                           {7, 11, 1001}})
        EXPECT_FALSE(BuildSRDM(image, i, m, o, 50, all)) << i << "/" << m << "/" << o;
    EXPECT_FALSE(BuildSRDM(image, 7, 11, 15, 50, CRect{4, 4, 4, 9}));
    EXPECT_FALSE(BuildSRDM(image, 7, 11, 15, 50, CRect{20, 20, 30, 30}));
    EXPECT_FALSE(BuildSRDM(CMImage(), 7, 11, 15, 50, all));
    auto clipped = BuildSRDM(image, 7, 11, 15, 50, CRect{-4, -4, 5, 5});
    auto inside = BuildSRDM(image, 7, 11, 15, 50, CRect{0, 0, 5, 5});
    ASSERT_TRUE(clipped && inside);
    EXPECT_EQ(clipped->counts, inside->counts);
}

TEST(CSRDM, WeightedSumsDivideByTheCount) {
    CSRDM m;
    m.rows = 2;
    m.cols = 3;
    m.counts = {0, 2, 0,   // R(0,1) = 2
                4, 0, 1};  // R(1,0) = 4, R(1,2) = 1
    double h, v, d, g;
    m.GetFeatures(h, v, d, g);
    EXPECT_DOUBLE_EQ(h, (1.0 / 2 + 0.0 / 4 + 4.0 / 1) / 7);
    EXPECT_DOUBLE_EQ(v, (0.0 / 2 + 1.0 / 4 + 1.0 / 1) / 7);
    EXPECT_DOUBLE_EQ(d, (1.0 / 2 + 1.0 / 4 + 9.0 / 1) / 7);
    EXPECT_DOUBLE_EQ(g, (0.0 + 0.0 + 2.0 / 1) / 7);
    // Cached: later changes to the counts are not seen.
    m.counts[5] = 100;
    double h2, v2, d2, g2;
    m.GetFeatures(h2, v2, d2, g2);
    EXPECT_EQ(h2, h);
    EXPECT_EQ(g2, g);

    CSRDM empty;
    empty.rows = 2;
    empty.cols = 2;
    empty.counts = {0, 0, 0, 0};
    empty.GetFeatures(h, v, d, g);
    EXPECT_EQ(h, -1.0);
    EXPECT_EQ(v, -1.0);
    EXPECT_EQ(d, -1.0);
    EXPECT_EQ(g, -1.0);
    CSRDM broken;  // sizes that disagree with the table are not read
    broken.rows = 5;
    broken.cols = 5;
    broken.counts = {1};
    broken.GetFeatures(h, v, d, g);
    EXPECT_EQ(h, -1.0);
}

}  // namespace
