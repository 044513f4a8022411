#include "filters/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vistrel {
namespace {

double SumOf(const CFilter& f) {
    double s = 0;
    for (int i = 0; i < f.height; ++i)
        for (int j = 0; j < f.width; ++j) s += f.Row(i)[j];
    return s;
}

TEST(FilterObject, DefaultIsEmptyAndAllocationZeroes) {
    CFilter empty;
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 0);
    EXPECT_FALSE(empty.HasRows());
    EXPECT_FALSE(empty.IsNonZero());
    EXPECT_EQ(empty.scale, 1.0);
    CFilter f(3, 5);
    EXPECT_EQ(f.height, 3);
    EXPECT_EQ(f.width, 5);
    EXPECT_FALSE(f.IsNonZero());
    *f.At(2, 4) = 1.5f;
    EXPECT_TRUE(f.IsNonZero());
    // Out-of-range indexes fall back to the first coefficient.
    EXPECT_EQ(f.At(7, 0), f.At(0, 0));
    EXPECT_EQ(f.At(0, -1), f.At(0, 0));
    EXPECT_EQ(f.Allocate(-1, 3), -1);
    EXPECT_EQ(f.width, 0);
    EXPECT_FALSE(f.HasRows());
}

TEST(FilterObject, FillSetsScaleToSumAndClearResetsEverything) {
    CFilter f(2, 3);
    f.Fill(0.5f);
    EXPECT_DOUBLE_EQ(f.scale, 3.0);
    f.Fill(0.0f);
    EXPECT_DOUBLE_EQ(f.scale, 1.0);  // a zero sum would divide by zero
    f.Fill(2.0f);
    f.DivideBy(4.0);
    EXPECT_FLOAT_EQ(*f.At(1, 2), 0.5f);
    f.name = "x";
    f.params = {1, 2};
    f.Clear();
    EXPECT_EQ(f.width, 0);
    EXPECT_TRUE(f.params.empty());
    EXPECT_TRUE(f.name.empty());
    EXPECT_EQ(f.scale, 1.0);
}

TEST(FilterObject, CopyIsDeep) {
    CFilter a = MakeGaussFilter(5, 5, 1.0);
    CFilter b(a);
    *b.At(2, 2) = 9.0f;
    EXPECT_NE(*a.At(2, 2), 9.0f);
    b = a;
    EXPECT_TRUE(a == b);
}

TEST(FilterObject, SerializeRoundTripsEveryField) {
    CFilter a = MakeLoGFilter(3);
    a.name = std::string(300, 'n');  // forces the long length prefix
    std::vector<uint8_t> archive;
    a.Serialize(archive);
    CFilter().Serialize(archive);
    std::size_t pos = 0;
    CFilter b, c;
    ASSERT_TRUE(b.Deserialize(archive, pos));
    ASSERT_TRUE(c.Deserialize(archive, pos));
    EXPECT_EQ(pos, archive.size());
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(c == CFilter());
    // A truncated archive fails cleanly.
    archive.resize(archive.size() / 2);
    pos = 0;
    EXPECT_FALSE(b.Deserialize(archive, pos));
    EXPECT_FALSE(b.HasRows());
}

struct TrimCase {
    const char* what;
    std::vector<std::pair<int, int>> nonZero;  // cells of a 7 x 7 grid set to 1
    int height, width;
    std::pair<int, int> firstKept;  // grid cell that becomes (0, 0)
};

TEST(FilterGrid, TrimsSymmetrically) {
    const TrimCase cases[] = {
        {"centre only", {{3, 3}}, 1, 1, {3, 3}},
        {"3x3 block", {{2, 2}, {4, 4}}, 3, 3, {2, 2}},
        {"zeros only at the top keep their rows", {{3, 3}, {6, 3}}, 7, 1, {0, 3}},
        {"off-centre keeps its offset", {{1, 1}}, 5, 5, {1, 1}},
        {"full grid", {{0, 0}, {6, 6}}, 7, 7, {0, 0}},
    };
    for (const TrimCase& c : cases) {
        float grid[49] = {};
        for (auto [r, col] : c.nonZero) grid[r * 7 + col] = 1.0f;
        const double params[] = {2.5};
        CFilter f(7, 7, "g", grid, 0.0, 1, params);
        SCOPED_TRACE(c.what);
        EXPECT_EQ(f.height, c.height);
        EXPECT_EQ(f.width, c.width);
        EXPECT_EQ(f.scale, 1.0);
        EXPECT_EQ(f.name, "g");
        ASSERT_EQ(f.params.size(), 1u);
        for (auto [r, col] : c.nonZero)
            EXPECT_EQ(*f.At(r - c.firstKept.first, col - c.firstKept.second), 1.0f);
        EXPECT_DOUBLE_EQ(SumOf(f), double(c.nonZero.size()));
    }
    float zeros[49] = {};
    CFilter none(7, 7, "z", zeros, 2.0, 0, nullptr);
    EXPECT_FALSE(none.HasRows());
    EXPECT_FALSE(none.IsNonZero());
}

TEST(FilterGenerators, GaussKernelSizeAndSigmaRules) {
    const struct {
        double sigma;
        int n;
        const char* name;
    } cases[] = {{1.0, 7, "Gauss 7 x 7, 1.00"},
                 {1.5, 11, "Gauss 11 x 11, 1.50"},
                 {0.0, 7, "Gauss 7 x 7, 1.00"},
                 {-2.0, 7, "Gauss 7 x 7, 1.00"},
                 {0.4, 3, "Gauss 3 x 3, 0.40"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sigma);
        CFilter f = MakeGaussKernel(c.sigma);
        EXPECT_EQ(f.width, c.n);
        EXPECT_EQ(f.height, c.n);
        EXPECT_EQ(f.name, c.name);
        EXPECT_EQ(*f.At(c.n / 2, c.n / 2), 1.0f);
        EXPECT_NEAR(f.scale, SumOf(f), 1e-5);
    }
    // Values below 2e-16 are cut to zero (corner of a wide kernel with small sigma).
    CFilter narrow = MakeGaussKernel(0.1);
    EXPECT_EQ(narrow.width, 1);
    EXPECT_EQ(*narrow.At(0, 0), 1.0f);
}

TEST(FilterGenerators, NamesAndMinusOneSigma) {
    const struct {
        CFilter f;
        const char* name;
        double sigma;
    } cases[] = {
        {MakeGaussFilter(5, 5, -1.0), "Gauss 5, 2.00", 2.0},
        {MakeGaussFilter(5, 3, 1.5), "Gauss 5 x 3, 1.50", 1.5},
        {MakeLaplaceFilter(7, 7, -1.0), "Laplace 7, 3.00", 3.0},
        {MakeGammaFilter(5, 5, 0, 1.0), "Gamma(1) 5, 1.00", 1.0},
        {MakeGammaFilter(3, 5, 2, -1.0), "Gamma(2) 3 x 5, 1.00", 1.0},
        {MakeLoGSigmaFilter(5, 5, 1.0), "LoG 5, 1.00", 1.0},
        // -1 is not replaced for LoL and LoG-sigma.
        {MakeLoLFilter(3, 3, -1.0), "LoL 3, -1.00", -1.0},
        {MakeDirectionalGaussFilter(5, 5, 1.0, 0), "Gauss Horz 5, 1.00", 1.0},
        {MakeDirectionalLaplaceFilter(5, 7, 1.0, 1), "Laplace Vert 5 x 7, 1.00", 1.0},
        {MakeDirectionalGammaFilter(5, 5, 3, 1.0, 2), "Gamma(3) NW 5, 1.00", 1.0},
        {MakeDirectionalGaussFilter(5, 5, 1.0, 3), "Gauss SW 5, 1.00", 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.f.name, c.name);
        ASSERT_FALSE(c.f.params.empty());
        EXPECT_EQ(c.f.params[0], c.sigma);
    }
    EXPECT_EQ(MakeGammaFilter(5, 5, 0, 1.0).params, (std::vector<double>{1.0, 1.0}));
}

TEST(FilterGenerators, FormulasAtChosenCells) {
    // Laplace and Gamma: exp(-k (|dx| + |dy|) / sigma) at (row 0, col 1) of 5 x 5.
    CFilter lap = MakeLaplaceFilter(5, 5, 2.0);
    EXPECT_FLOAT_EQ(*lap.At(0, 1), float(std::exp(-std::sqrt(2.0) * 3 / 2.0)));
    CFilter gam = MakeGammaFilter(5, 5, 2, 2.0);
    EXPECT_FLOAT_EQ(*gam.At(0, 1), float(std::exp(-std::sqrt(6.0) * 3 / 2.0)));
    EXPECT_NEAR(gam.scale, SumOf(gam), 1e-5);
    // LoG by sigma: (1 - t) e^-t with t = 2 / 2 at distance^2 2.
    CFilter log = MakeLoGSigmaFilter(3, 3, 1.0);
    EXPECT_FLOAT_EQ(*log.At(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(*log.At(1, 1), 1.0f);
    EXPECT_NEAR(log.scale, SumOf(log), 1e-6);
    EXPECT_EQ(MakeLoLFilter(3, 3, 1.0).scale, 1.0);
    // Box and constant.
    CFilter box = MakeBoxFilter(2, 4);
    EXPECT_FLOAT_EQ(*box.At(1, 3), 0.125f);
    EXPECT_NEAR(box.scale, 1.0, 1e-7);
    EXPECT_DOUBLE_EQ(MakeConstantFilter(3, 3, 2.0f).scale, 18.0);
    EXPECT_DOUBLE_EQ(MakeConstantFilter(3, 3, 0.0f).scale, 1.0);
}

TEST(FilterGenerators, SpotDetectorLoG) {
    const struct {
        int h, n;
        double a, b;
    } cases[] = {{2, 7, 1.156, 1.002}, {3, 9, 1, 1}, {4, 13, 1, 1}, {10, 31, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.h);
        CFilter f = MakeLoGFilter(c.h);
        ASSERT_EQ(f.width, c.n);
        EXPECT_EQ(f.height, c.n);
        EXPECT_EQ(f.name, "LoG " + std::to_string(c.n) + "x" + std::to_string(c.n) +
                              ", h=" + std::to_string(c.h));
        EXPECT_EQ(f.scale, 1.0);
        ASSERT_EQ(f.params.size(), 2u);
        EXPECT_EQ(f.params[0], c.h);
        EXPECT_NEAR(f.params[1], SumOf(f), 1e-4);
        EXPECT_NE(f.params[1], 0.0);
        const double sigma = c.h / (2 * std::sqrt(2.0));
        const double k = std::exp(1.0) * c.h * c.h * c.a / (16 * M_PI * std::pow(sigma, 4));
        const int m = c.n / 2;
        EXPECT_FLOAT_EQ(*f.At(m, m), float(k));
        const double t = 4.0 / (2 * sigma * sigma);  // two pixels to the left
        EXPECT_FLOAT_EQ(*f.At(m, m - 2), float(k * (1 - c.b * t) * std::exp(-t)));
        EXPECT_GT(*f.At(m, m), 0.0f);
        EXPECT_LT(*f.At(m, 0), 0.0f);  // the negative ring
    }
}

TEST(FilterGenerators, DirectionalSides) {
    // 3 x 3 with sigma large: g is about 1 everywhere, so signs show the sides.
    const struct {
        int direction;
        int signs[3][3];
    } cases[] = {
        {0, {{-1, -1, -1}, {0, 0, 0}, {1, 1, 1}}}, {1, {{-1, 0, 1}, {-1, 0, 1}, {-1, 0, 1}}},
        {2, {{0, 1, 1}, {-1, 0, 1}, {-1, -1, 0}}}, {3, {{-1, -1, 0}, {-1, 0, 1}, {0, 1, 1}}},
        {7, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.direction);
        CFilter f = MakeDirectionalGaussFilter(3, 3, 100.0, c.direction);
        double positive = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const float v = *f.At(i, j);
                EXPECT_EQ((v > 0) - (v < 0), c.signs[i][j]) << i << "," << j;
                if (v > 0) positive += v;
            }
        if (c.direction < 4) {
            EXPECT_NEAR(f.scale, positive, 1e-5);
        }
        EXPECT_EQ(f.IsNonZero(), c.direction < 4);
    }
}

}  // namespace
}  // namespace vistrel
