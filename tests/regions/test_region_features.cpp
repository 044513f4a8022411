#include "regions/region_features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "point_sets.h"
#include "regions/fourier_shape.h"
#include "regions/texture.h"
#include "support/disc_points.h"

using namespace vistrel;

namespace {

using regionstest::Rectangle;

CRegion FromPixels(const std::vector<CPoint>& pixels) {
    return CRegion(pixels, CRegion::PointsMode::PixelSet);
}

using testsupport::Disc;

// A 3 x 3 block with a three-pixel tail to the right of its bottom row.
std::vector<CPoint> BlockWithTail(int x0, int y0) {
    std::vector<CPoint> p = Rectangle(x0, y0, 3, 3);
    for (int i = 3; i < 6; ++i) p.push_back({x0 + i, y0 + 2});
    return p;
}

// An irregular blob: no symmetry, so that every moment is non-zero.
std::vector<CPoint> Blob(int x0, int y0) {
    std::vector<CPoint> p;
    const int rows[][2] = {{2, 5}, {1, 7}, {0, 8}, {0, 6}, {1, 4}, {3, 4}};
    for (int r = 0; r < 6; ++r)
        for (int x = rows[r][0]; x <= rows[r][1]; ++x) p.push_back({x0 + x, y0 + r});
    return p;
}

CMImage Flat(int w, int h, int value, int depth = 12) {
    CMImage m(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m.SetPixel(x, y, value);
    return m;
}

CFeatureSettings Settings(double resolution = 254.0) {
    CFeatureSettings s;
    s.resolution = resolution;
    return s;
}

CFeatureVector Features(const CRegion& region, const CMImage& image,
                        const CFeatureSettings& settings = Settings(),
                        const CFeatureSelection* selection = nullptr) {
    const CFeatureSelection all = DefaultFeatureSelection(settings);
    CFeatureVector v;
    EXPECT_EQ(ComputeRegionFeatures(region, image, selection ? *selection : all, settings, v), 0);
    return v;
}

double Value(const CFeatureVector& v, const std::string& name) {
    const int32_t i = v.IndexOf(name);
    EXPECT_GE(i, 0) << "missing " << name;
    return i >= 0 ? v.values[size_t(i)] : std::nan("");
}

// ---- centroid ---------------------------------------------------------------

TEST(RegionCentroid, TruncatesTheMeanOffsetAndHandlesDegenerateRegions) {
    // Mean offsets (1.75, 1.25): truncation, not rounding, gives (11, 21).
    EXPECT_EQ(RegionCentroid(FromPixels(BlockWithTail(10, 20))), (CPoint{11, 21}));
    CRegion startOnly;
    startOnly.SetStart(7, 9);
    EXPECT_EQ(RegionCentroid(startOnly), (CPoint{7, 9}));
    EXPECT_EQ(RegionCentroid(CRegion{}), (CPoint{-1, -1}));
}

// ---- area, perimeters, units --------------------------------------------------

TEST(RegionFeatures, SquareAreaPerimetersAndUnitsAtAKnownResolution) {
    // 254 dpi: one pixel is 0.1 mm, one pixel of area 0.01 mm^2.
    const CMImage image = Flat(40, 40, 100);
    const CFeatureVector v = Features(FromPixels(Rectangle(10, 10, 6, 6)), image);
    EXPECT_DOUBLE_EQ(Value(v, "Area"), 36.0);
    EXPECT_NEAR(Value(v, "Area_mm"), 0.36, 1e-12);
    EXPECT_DOUBLE_EQ(Value(v, "Inner_Perimeter"), 20.0);  // centre path 4 x 5 steps
    EXPECT_NEAR(Value(v, "Inner_Perimeter_mm"), 2.0, 1e-12);
    EXPECT_NEAR(Value(v, "Compactness_Inner"), 400.0 / (4 * std::numbers::pi * 36), 1e-12);
    EXPECT_DOUBLE_EQ(Value(v, "Outer_Perimeter"), 24.0);
    EXPECT_NEAR(Value(v, "Outer_Perimeter_mm"), 2.4, 1e-12);
    EXPECT_NEAR(Value(v, "Compactness_Outer"), 576.0 / (4 * std::numbers::pi * 36), 1e-12);
    // Max_Axis at 583.92 dpi.
    const CFeatureVector w = Features(FromPixels(Rectangle(10, 10, 6, 6)), image, Settings(583.92));
    EXPECT_NEAR(Value(w, "Max_Axis_mm"), 6 * 25.4 / 583.92, 1e-12);
    EXPECT_NEAR(Value(w, "Area_mm"), 36 * 25.4 * 25.4 / (583.92 * 583.92), 1e-12);
}

TEST(RegionFeatures, DiscPerimetersMatchADirectCount) {
    const std::vector<CPoint> disc = Disc(30, 30, 9);
    const CRegion region = FromPixels(disc);
    const CFeatureVector v = Features(region, Flat(60, 60, 100));
    // Outer: pixel sides facing a 4-neighbour outside the set.
    const std::set<std::pair<int, int>> in = [&] {
        std::set<std::pair<int, int>> s;
        for (CPoint p : disc) s.insert({p.x, p.y});
        return s;
    }();
    int sides = 0;
    for (CPoint p : disc)
        for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
            sides += !in.count({p.x + dx, p.y + dy});
    EXPECT_DOUBLE_EQ(Value(v, "Outer_Perimeter"), sides);
    // Inner: the walk along the outline, diagonal steps sqrt 2.
    double walk = 0.0;
    const std::vector<CPoint>& b = region.Boundary();
    for (size_t i = 1; i < b.size(); ++i)
        walk += std::hypot(b[i].x - b[i - 1].x, b[i].y - b[i - 1].y);
    EXPECT_NEAR(Value(v, "Inner_Perimeter"), walk, 1e-9);
    EXPECT_NEAR(Value(v, "Inner_Perimeter"), 2 * std::numbers::pi * 9,
                0.1 * 2 * std::numbers::pi * 9);
    EXPECT_DOUBLE_EQ(Value(v, "Area"), double(disc.size()));
}

TEST(RegionFeatures, ADrawnOutlineIsMeasuredAsTracedFromItsPixels) {
    // Counter-clockwise corners: the chain differs from the traced one, the pixels do not.
    const CRegion drawn({{10, 10}, {10, 13}, {15, 13}, {15, 10}}, CRegion::PointsMode::Polygon);
    ASSERT_FALSE(drawn.IsTraced());
    CMImage image(40, 40, 12);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) image.SetPixel(x, y, (x * 31 + y * 17) % 700);
    const CFeatureVector a = Features(drawn, image);
    const CFeatureVector b = Features(FromPixels(Rectangle(10, 10, 6, 4)), image);
    EXPECT_EQ(a.names, b.names);
    EXPECT_EQ(a.values, b.values);
}

TEST(RegionFeatures, OnePixelRegionTakesTheDocumentedDefaults) {
    CRegion one;
    one.SetStart(5, 6);
    const CMImage image = Flat(20, 20, 300);
    const CFeatureVector v = Features(one, image);
    EXPECT_DOUBLE_EQ(Value(v, "Area"), 1.0);
    EXPECT_DOUBLE_EQ(Value(v, "Inner_Perimeter"), 1.0);
    EXPECT_DOUBLE_EQ(Value(v, "Outer_Perimeter"), 4.0);
    EXPECT_DOUBLE_EQ(Value(v, "Shape_Measure_FF"), 0.0);
    EXPECT_DOUBLE_EQ(Value(v, "Mean"), 300.0);
    EXPECT_DOUBLE_EQ(Value(v, "Edge_Mean"), 300.0);
    for (double x : v.values) EXPECT_TRUE(std::isfinite(x));
}

// ---- elongation --------------------------------------------------------------

// The rectangle search over every pixel of the set (not its hull).
void BruteRectangle(const std::vector<CPoint>& pixels, double& a, double& b) {
    double best = -1;
    for (int i = -100; i < 100; ++i) {
        const double t = i / 100.0, l = std::sqrt(1 + t * t);
        double u0 = 1e9, u1 = -1e9, v0 = 1e9, v1 = -1e9;
        for (CPoint p : pixels) {
            const double u = (p.x + t * p.y) / l, w = (p.y - t * p.x) / l;
            u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, w), v1 = std::max(v1, w);
        }
        const double su = u1 - u0 + 1, sv = v1 - v0 + 1;
        if (best < 0 || su * sv < best) best = su * sv, a = std::max(su, sv), b = std::min(su, sv);
    }
}

TEST(RegionFeatures, ElongationFromTheSmallestSlopeAlignedRectangle) {
    const CMImage image = Flat(80, 80, 100);
    const CFeatureVector bar = Features(FromPixels(Rectangle(20, 20, 10, 3)), image);
    EXPECT_NEAR(Value(bar, "Elongation"), 10.0 / 3.0, 1e-12);
    EXPECT_NEAR(Value(bar, "Max_Axis"), 10.0, 1e-12);
    EXPECT_NEAR(Value(bar, "Box_Ratio=Area/Bounding_Box_Area"), 1.0, 1e-12);
    EXPECT_NEAR(Value(bar, "Ellipticity_Degree=Area/Ellipse_Area"), 4.0 / std::numbers::pi, 1e-12);

    // A diagonal band: a tilted rectangle beats the bounding box.
    std::vector<CPoint> band;
    for (int i = 0; i < 20; ++i)
        for (int k = 0; k < 3; ++k) band.push_back({20 + i + k, 20 + i});
    double a = 0, b = 0;
    BruteRectangle(band, a, b);
    const CFeatureVector d = Features(FromPixels(band), image);
    EXPECT_NEAR(Value(d, "Max_Axis"), a, 1e-9);
    EXPECT_NEAR(Value(d, "Elongation"), a / b, 1e-9);
    EXPECT_NEAR(Value(d, "Box_Ratio=Area/Bounding_Box_Area"), band.size() / (a * b), 1e-9);
    EXPECT_LT(a * b, 22.0 * 20.0);
    EXPECT_GT(a / b, 3.0);
}

// ---- shape moments and FF -----------------------------------------------------

TEST(RegionFeatures, ShapeMomentsFromBoundaryDistancesToTheCentroid) {
    const std::vector<CPoint> pixels = Blob(10, 10);
    const CRegion region = FromPixels(pixels);
    const CFeatureVector v = Features(region, Flat(40, 40, 100));
    // Centroid by hand: truncated mean offsets.
    long sx = 0, sy = 0;
    for (CPoint p : pixels) sx += p.x - 10, sy += p.y - 10;
    const double cx = 10 + sx / long(pixels.size()), cy = 10 + sy / long(pixels.size());
    std::vector<double> d;
    for (CPoint p : region.Boundary()) d.push_back(std::hypot(p.x - cx, p.y - cy));
    double m1 = 0, mr = 0;
    for (double x : d) m1 += x, mr += x * x;
    m1 /= d.size(), mr /= d.size();
    double sm[5];
    for (int j = 0; j < 5; ++j) {
        double mj = 0;
        for (double x : d) mj += std::pow(x - m1, j + 1);
        mj /= d.size();
        sm[j] = std::copysign(std::pow(std::fabs(mj), 1.0 / (j + 1)), mj) / m1;
        if (j > 0) {
            EXPECT_NEAR(Value(v, "Shape_Moment_" + std::to_string(j)), sm[j], 1e-9) << j;
        }
    }
    EXPECT_NEAR(Value(v, "Shape_Moment_0"), 0.0, 1e-9);  // the mean deviation
    EXPECT_NEAR(Value(v, "Roughness=ShM3-ShM1"), sm[3] - sm[1], 1e-9);
    EXPECT_NEAR(Value(v, "Effective_Radius_1=ShM3/ShM2"), sm[3] / sm[2], 1e-9);
    double sq = 0;
    for (double x : d) sq += (x * x - mr) * (x * x - mr);
    EXPECT_NEAR(Value(v, "Roughness2"), std::sqrt(sq / d.size()), 1e-9);
}

// FF by the textbook DFT, O(n N).
double DirectFF(const std::vector<CPoint>& b) {
    const int n = int(b.size());
    if (n < 2) return 0;
    int N = 2;
    while (N < n) N *= 2;
    std::vector<std::complex<double>> Z(N);
    for (int k = 0; k < N; ++k)
        for (int j = 0; j < n; ++j)
            Z[k] += std::complex<double>(b[j].x - b[0].x, b[j].y - b[0].y) *
                    std::polar(1.0, 2 * std::numbers::pi * j * k / N);
    const double z1 = std::abs(Z[1]) != 0 ? std::abs(Z[1]) : 1;
    double num = 0, den = 0;
    for (int k = 1 - n / 2; k <= n / 2; ++k) {
        if (!k) continue;
        const double a = std::abs(Z[k > 0 ? k : n + k]) / z1;
        num += a / std::abs(k), den += a;
    }
    return num / (den != 0 ? den : 1);
}

TEST(FourierShapeFactor, MatchesTheDirectTransformAndIgnoresPosition) {
    struct Case {
        const char* name;
        std::vector<CPoint> pixels;
    } cases[] = {{"disc", Disc(20, 20, 7)},
                 {"blob", Blob(3, 4)},
                 {"bar", Rectangle(5, 5, 12, 2)},
                 {"tail", BlockWithTail(2, 2)}};
    for (const Case& c : cases) {
        const CRegion r = FromPixels(c.pixels);
        const double ff = FourierShapeFactor(r.Boundary());
        EXPECT_NEAR(ff, DirectFF(r.Boundary()), 1e-9) << c.name;
        EXPECT_GT(ff, 0.0) << c.name;
        std::vector<CPoint> moved = r.Boundary();
        for (CPoint& p : moved) p.x += 17, p.y += 5;
        EXPECT_NEAR(FourierShapeFactor(moved), ff, 1e-9) << c.name;
    }
}

TEST(FourierShapeFactor, HandDerivedValuesOfTinyOutlines) {
    // N = 4 or 8; worked out from Z(k) = sum z_j w^{jk}, w = e^{2 pi i / N}.
    // Clockwise 2 x 2: Z(2) = Z(4) = 0, so only a_1 = 1 remains. Counter-
    // clockwise: |Z(1)| = sqrt 2 (1 + sqrt 2), |Z(2)| = 2 sqrt 2, Z(4) = 0, so
    // a_2 = 2 sqrt 2 - 2 and FF = (1 + a_2 / 2) / (1 + a_2) = sqrt 2 / (2 sqrt 2 - 1).
    struct Case {
        const char* name;
        std::vector<CPoint> points;
        double ff;
    } cases[] = {
        {"two pixels there and back", {{0, 0}, {1, 0}, {0, 0}}, 1.0},
        {"2 x 2 clockwise", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, 1.0},
        {"2 x 2 counter-clockwise",
         {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}},
         std::numbers::sqrt2 / (2 * std::numbers::sqrt2 - 1)},
    };
    for (const Case& c : cases) EXPECT_NEAR(FourierShapeFactor(c.points), c.ff, 1e-12) << c.name;
}

TEST(FourierShapeFactor, IsZeroForDegenerateBoundaries) {
    EXPECT_EQ(FourierShapeFactor({}), 0.0);
    EXPECT_EQ(FourierShapeFactor({{4, 4}}), 0.0);
    EXPECT_EQ(FourierShapeFactor({{4, 4}, {4, 4}, {4, 4}}), 0.0);
}

// ---- edge, background, contrast, intensity -----------------------------------

TEST(RegionFeatures, EdgeGroupWithSobelAndZeroOnTheImageRim) {
    // Ramp 10 x: the Sobel x response is 80 everywhere inside the image.
    CMImage ramp(30, 30, 12);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ramp.SetPixel(x, y, 10 * x);
    const CRegion region = FromPixels(Rectangle(0, 5, 5, 5));  // touches column 0
    const CFeatureVector v = Features(region, ramp);
    const std::vector<CPoint>& b = region.Boundary();
    double onRim = 0, grey = 0, grey2 = 0;
    for (CPoint p : b) onRim += p.x == 0, grey += 10 * p.x, grey2 += 100.0 * p.x * p.x;
    const double n = double(b.size());
    ASSERT_GT(onRim, 0);
    EXPECT_NEAR(Value(v, "Edge_Strength_Sum"), 80 * (n - onRim), 1e-9);
    EXPECT_NEAR(Value(v, "Edge_Strength_Mean"), 80 * (n - onRim) / n, 1e-9);
    const double sm = (n - onRim) / n;
    EXPECT_NEAR(Value(v, "Edge_Strength_StdDev"), 80 * std::sqrt(sm * (1 - sm)), 1e-9);
    EXPECT_NEAR(Value(v, "Edge_Sum"), grey, 1e-9);
    EXPECT_NEAR(Value(v, "Edge_Mean"), grey / n, 1e-9);
    EXPECT_NEAR(Value(v, "Edge_StdDev"), std::sqrt(grey2 / n - (grey / n) * (grey / n)), 1e-9);
    // Highest inside value 40 (column 4) over the edge mean.
    EXPECT_NEAR(Value(v, "Contrast=HighestPixelValue/Edge_Mean"), 40 / (grey / n), 1e-9);
    EXPECT_NEAR(Value(v, "RelativeContrast=Contrast/HighestPixelValue"), 1 / (grey / n), 1e-9);
    // Centroid (2, 7): value 20.
    EXPECT_NEAR(Value(v, "Contrast=CentroidPixelValue/Edge_Mean"), 20 / (grey / n), 1e-9);
}

TEST(RegionFeatures, BackgroundRingAndIntensityAgainstABruteForceRing) {
    // 0.15 * res / 2.54 = 3 pixels.
    const double res = 3 * 2.54 / 0.15;
    const std::vector<CPoint> pixels = Blob(12, 12);
    for (int depth : {8, 12}) {
        CMImage image(40, 40, depth);
        std::vector<double> ring, inside;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                int best = 1 << 30;
                for (CPoint p : pixels)
                    best = std::min(best, (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y));
                // Inside 100 + x; in the ring 7 + the squared distance; far away 250.
                const int value = best == 0 ? 100 + x : best <= 9 ? 7 + best : 250;
                image.SetPixel(x, y, value);
                if (best == 0)
                    inside.push_back(value);
                else if (best <= 9)
                    ring.push_back(value);
            }
        auto stats = [](const std::vector<double>& s, double& mean, double& sd, double& energy,
                        double& entropy) {
            double sum = 0, e = 0, q = 0;
            for (double x : s) sum += x, e += x * x, q += x * x * std::log10(x * x);
            mean = sum / s.size();
            double sq = 0;
            for (double x : s) sq += (x - mean) * (x - mean);
            sd = std::sqrt(sq / s.size());
            energy = e / s.size();
            entropy = std::log10(e) - q / e;
        };
        double B, bsd, be, bh, F, fsd, fe, fh;
        stats(ring, B, bsd, be, bh);
        stats(inside, F, fsd, fe, fh);
        SCOPED_TRACE(depth);
        const CFeatureVector v = Features(FromPixels(pixels), image, Settings(res));
        EXPECT_NEAR(Value(v, "Background_Gray_Level"), B, 1e-9);
        EXPECT_NEAR(Value(v, "Background_stdDev"), bsd, 1e-9);
        EXPECT_NEAR(Value(v, "Background_Energy"), be, 1e-6);
        EXPECT_NEAR(Value(v, "Background_Entropy"), bh, 1e-9);
        double sum = 0;
        for (double x : inside) sum += x;
        EXPECT_DOUBLE_EQ(Value(v, "Mass"), sum);
        EXPECT_NEAR(Value(v, "Mean"), F, 1e-9);
        EXPECT_NEAR(Value(v, "StdDev"), fsd, 1e-9);
        EXPECT_NEAR(Value(v, "Energy"), fe, 1e-6);
        EXPECT_NEAR(Value(v, "Entropy"), fh, 1e-9);
        EXPECT_NEAR(Value(v, "Foreground_Background_Ratio"), F / B, 1e-9);
        EXPECT_NEAR(Value(v, "Foreground_Background_Difference"), F - B, 1e-9);
        EXPECT_NEAR(Value(v, "Difference_Ratio"), (F - B) / (F + B), 1e-9);
    }
}

TEST(RegionFeatures, ZeroDenominatorsGiveZero) {
    // A black image: every mean is 0, so every ratio over one is 0.
    const CFeatureVector v = Features(FromPixels(Blob(10, 10)), Flat(40, 40, 0));
    for (const char* name :
         {"Contrast=HighestPixelValue/Edge_Mean", "RelativeContrast=Contrast/HighestPixelValue",
          "Foreground_Background_Ratio", "Difference_Ratio",
          "Contrast=CentroidPixelValue/Edge_Mean"})
        EXPECT_EQ(Value(v, name), 0.0) << name;
    for (double x : v.values) EXPECT_TRUE(std::isfinite(x));
}

// ---- moment set ---------------------------------------------------------------

TEST(RegionFeatures, BinaryMomentsOfARectangleByHand) {
    // 5 x 3: mu20 = 3 * 5 * (25 - 1) / 12 = 30, mu02 = 5 * 3 * (9 - 1) / 12 = 10,
    // m00 = 15; eta20 = 30 / 225, eta02 = 10 / 225; third orders vanish.
    const CFeatureVector v = Features(FromPixels(Rectangle(10, 10, 5, 3)), Flat(30, 30, 9));
    EXPECT_NEAR(Value(v, "Binary_Invariant_Moment_0"), 10 * 40.0 / 225, 1e-12);
    EXPECT_NEAR(Value(v, "Binary_Invariant_Moment_1"), 1000 * std::pow(20.0 / 225, 2), 1e-10);
    for (int i = 2; i < 7; ++i)
        EXPECT_NEAR(Value(v, "Binary_Invariant_Moment_" + std::to_string(i)), 0.0, 1e-9) << i;
    const double i1 = 300.0 / std::pow(15.0, 4);  // below 1 / (16 pi^2)
    EXPECT_NEAR(Value(v, "Binary_Ellipticity_Degree"), 157.91367041742973 * i1, 1e-12);
    EXPECT_NEAR(Value(v, "Binary_Triangularity"), 108 * i1, 1e-12);
    // A flat grey value 9: mu and m00 grow 9-fold, so eta20 = mu20 / m00^2 shrinks 9-fold.
    EXPECT_NEAR(Value(v, "Invariant_Moment_0"), 10 * 40.0 / 225 / 9, 1e-12);
    // I1 scales with f^2 / f^4: 300 * 81 / (135^4).
    EXPECT_NEAR(Value(v, "Triangularity"), 108 * 300.0 * 81 / std::pow(135.0, 4), 1e-14);
}

TEST(RegionFeatures, InvariantMomentsSurviveTranslationAndQuarterTurns) {
    const std::vector<CPoint> pixels = Blob(0, 0);
    auto grey = [](int x, int y) { return 200 + 13 * x + 7 * y + (x * y) % 5; };
    // The blob and its grey values at (ox, oy), optionally turned by 90 degrees.
    auto place = [&](int ox, int oy, bool turn, CMImage& image) {
        std::vector<CPoint> placed;
        for (CPoint p : pixels) {
            const CPoint q = turn ? CPoint{ox + 5 - p.y, oy + p.x} : CPoint{ox + p.x, oy + p.y};
            image.SetPixel(q.x, q.y, grey(p.x, p.y));
            placed.push_back(q);
        }
        return FromPixels(placed);
    };
    CMImage a(40, 40, 12), b(40, 40, 12), c(40, 40, 12);
    const CFeatureVector base = Features(place(5, 5, false, a), a);
    const CFeatureVector moved = Features(place(21, 14, false, b), b);
    const CFeatureVector turned = Features(place(12, 20, true, c), c);
    for (const char* stem : {"Invariant_Moment_", "Binary_Invariant_Moment_"})
        for (int i = 0; i < 6; ++i) {
            const std::string name = stem + std::to_string(i);
            const double x = Value(base, name);
            EXPECT_NEAR(Value(moved, name), x, 1e-9 * std::max(1.0, std::fabs(x))) << name;
            EXPECT_NEAR(Value(turned, name), x, 1e-6 * std::max(1.0, std::fabs(x))) << name;
        }
    EXPECT_NE(Value(base, "Binary_Invariant_Moment_2"), 0.0);
}

// ---- gating and order ----------------------------------------------------------

TEST(RegionFeatures, DefaultSelectionProducesEveryNameInOrder) {
    const CFeatureSettings s = Settings();
    const std::vector<std::string> names = RegionFeatureNames(s);
    CMImage image(60, 60, 12);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) image.SetPixel(x, y, (x * 37 + y * 11) % 400);
    EXPECT_EQ(Features(FromPixels(Blob(20, 20)), image, s).names, names);
    EXPECT_EQ(names.back(), "Contrast=CentroidPixelValue/Edge_Mean");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    const CFeatureSelection all = DefaultFeatureSelection(s);
    ASSERT_EQ(all.SecondGroup(), int32_t(names.size()));
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(all.Entries()[i].name, names[i]);
}

TEST(RegionFeatures, EachNameOffDropsExactlyWhatItsGateSays) {
    const CFeatureSettings s = Settings();
    const CMImage image = Flat(60, 60, 120);
    const CRegion region = FromPixels(Blob(20, 20));
    const std::vector<std::string> all = RegionFeatureNames(s);
    const std::set<std::string> elongation = {"Elongation", "Max_Axis", "Max_Axis_mm",
                                              "Box_Ratio=Area/Bounding_Box_Area",
                                              "Ellipticity_Degree=Area/Ellipse_Area"};
    for (const std::string& off : all) {
        CFeatureSelection sel = DefaultFeatureSelection(s);
        ASSERT_TRUE(sel.Set(off, false));
        std::set<std::string> dropped = {off};
        if (off == "Area") dropped.insert("Area_mm");
        if (off == "Elongation") dropped = elongation;
        if (elongation.count(off) && off != "Elongation") dropped.clear();  // all five or none
        std::vector<std::string> expected;
        for (const std::string& n : all)
            if (!dropped.count(n)) expected.push_back(n);
        EXPECT_EQ(Features(region, image, s, &sel).names, expected) << off << " off";
    }
    // Both names of a perimeter gate off close it.
    CFeatureSelection sel = DefaultFeatureSelection(s);
    sel.Set("Inner_Perimeter", false);
    sel.Set("Compactness_Inner", false);
    EXPECT_EQ(Features(region, image, s, &sel).IndexOf("Inner_Perimeter_mm"), -1);
}

// Groups that are not selected are not measured; a name selected alone
// must still get the value the whole vector gives it, ratios across groups
// included.
TEST(RegionFeatures, ANameSelectedAloneKeepsItsValue) {
    const CFeatureSettings s = Settings();
    CMImage image = Flat(60, 60, 100);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) image.Row16(y)[x] = static_cast<uint16_t>(100 + 7 * x + 3 * y);
    const std::vector<CPoint> blob = Disc(30, 28, 5);
    for (const CPoint& p : blob) image.Row16(p.y)[p.x] = static_cast<uint16_t>(900 + p.x - p.y);
    const CRegion region = FromPixels(blob);
    const CFeatureVector whole = Features(region, image, s);
    int measured = 0;
    for (const std::string& name : RegionFeatureNames(s)) {
        CFeatureSelection only = DefaultFeatureSelection(s);
        for (const std::string& other : RegionFeatureNames(s)) only.Set(other, other == name);
        const CFeatureVector v = Features(region, image, s, &only);
        // A name behind another's gate (Area_mm behind Area) is absent alone.
        const int32_t at = v.IndexOf(name);
        if (at < 0) continue;
        ++measured;
        EXPECT_EQ(v.values[size_t(at)], whole.values[size_t(whole.IndexOf(name))]) << name;
    }
    EXPECT_GT(measured, 60);
}

TEST(RegionFeatures, SwitchesDropTheirGroups) {
    const CMImage image = Flat(60, 60, 120);
    const CRegion region = FromPixels(Blob(20, 20));
    struct Case {
        bool shape, moments;
        int dropped;
    } cases[] = {{false, true, 9}, {true, false, 21}, {false, false, 30}};
    for (const Case& c : cases) {
        CFeatureSettings s = Settings();
        s.shapeMoments = c.shape;
        s.moments = c.moments;
        const CFeatureVector v = Features(region, image, s);
        EXPECT_EQ(v.Size(), int32_t(RegionFeatureNames(s).size()) - c.dropped);
        EXPECT_EQ(v.IndexOf("Shape_Measure_FF") >= 0, c.shape);
        EXPECT_EQ(v.IndexOf("Roughness2") >= 0, c.shape);
        EXPECT_EQ(v.IndexOf("Invariant_Moment_0") >= 0, c.moments);
        EXPECT_EQ(v.IndexOf("Binary_Triangularity") >= 0, c.moments);
        EXPECT_GE(v.IndexOf("Edge_Mean"), 0);
    }
}

TEST(RegionFeatures, TextureGroupOnTheGrownBoxBeforeTheLastEntry) {
    const CFeatureSettings s = Settings();
    const std::vector<std::string> tex = CoocurrenceFeatureNames(s.coocurrenceDistance);
    if (tex.empty()) GTEST_SKIP() << "co-occurrence features not available in this build";
    CMImage image(60, 60, 8);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) image.SetPixel(x, y, (x * 7 + y * 3) % 11);
    const CRegion region = FromPixels(Blob(20, 20));
    const CFeatureVector v = Features(region, image, s);
    CFeatureVector direct;
    const CRect b = region.Bounds();
    ASSERT_TRUE(CoocurrenceFeatures(image, {b.left - 5, b.top - 5, b.right + 5, b.bottom + 5},
                                    s.coocurrenceDistance, direct));
    const int32_t first = v.IndexOf(tex.front());
    ASSERT_EQ(first, v.IndexOf("LoG_energy") + 1);
    for (size_t i = 0; i < tex.size(); ++i) {
        EXPECT_EQ(v.names[size_t(first) + i], tex[i]);
        EXPECT_DOUBLE_EQ(v.values[size_t(first) + i], direct.values[i]) << tex[i];
    }
    EXPECT_EQ(v.names[size_t(first) + tex.size()], "Contrast=CentroidPixelValue/Edge_Mean");
}

// ---- faults -------------------------------------------------------------------

TEST(RegionFeatures, BadInputGivesAnEmptyVectorOrSafeValues) {
    const CMImage image = Flat(30, 30, 50);
    const CFeatureSelection sel = DefaultFeatureSelection(Settings());
    CFeatureVector v;
    v.Add("stale", 1);
    EXPECT_LT(ComputeRegionFeatures(CRegion{}, image, sel, Settings(), v), 0);
    EXPECT_TRUE(v.IsEmpty());
    v.Add("stale", 1);
    EXPECT_LT(ComputeRegionFeatures(FromPixels(Blob(2, 2)), CMImage{}, sel, Settings(), v), 0);
    EXPECT_TRUE(v.IsEmpty());

    // Partly and wholly outside the image, and with no resolution: the same
    // columns, finite values, the box-bound groups zero.
    const std::vector<std::string> names = RegionFeatureNames(Settings());
    struct Case {
        const char* name;
        std::vector<CPoint> pixels;
        double resolution;
    } cases[] = {{"across the left edge", Rectangle(-3, 10, 6, 4), 254.0},
                 {"beyond the image", Rectangle(100, 100, 4, 4), 254.0},
                 {"zero resolution", Blob(5, 5), 0.0},
                 {"whole image", Rectangle(0, 0, 30, 30), 254.0}};
    for (const Case& c : cases) {
        const CFeatureVector f = Features(FromPixels(c.pixels), image, Settings(c.resolution));
        EXPECT_EQ(f.names, names) << c.name;
        for (size_t i = 0; i < f.values.size(); ++i)
            EXPECT_TRUE(std::isfinite(f.values[i])) << c.name << " " << f.names[i];
    }
    const CFeatureVector left = Features(FromPixels(Rectangle(-3, 10, 6, 4)), image);
    EXPECT_EQ(Value(left, "Edge_Strength_Sum"), 0.0);
    EXPECT_EQ(Value(left, "Binary_Invariant_Moment_0"), 0.0);
    EXPECT_EQ(Value(left, "Mean"), 50.0);  // the part inside the image
    const CFeatureVector none = Features(FromPixels(Blob(5, 5)), image, Settings(0.0));
    EXPECT_EQ(Value(none, "Area_mm"), 0.0);
    EXPECT_EQ(Value(none, "Background_Gray_Level"), 0.0);  // no ring at all
}

// ---- whole collections -------------------------------------------------------------

TEST(ComputeAllRegionFeatures, MatchesOneByOneSkipsOutlinesAndStopsWhenAsked) {
    CMImage image(200, 200, 12);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) image.SetPixel(x, y, (x * 13 + y * 29) % 1000);
    CRegions regions;
    for (int i = 0; i < 40; ++i) regions.Add(FromPixels(Blob(5 + (i % 8) * 22, 5 + (i / 8) * 30)));
    regions.At(3)->clusterNumber = ClusterOutlineNumber(1);
    const CFeatureSettings s = Settings();
    const CFeatureSelection sel = DefaultFeatureSelection(s);
    std::vector<CFeatureVector> all;
    ASSERT_TRUE(ComputeAllRegionFeatures(regions, image, sel, s, true, all));
    ASSERT_EQ(all.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        CFeatureVector one;
        ComputeRegionFeatures(*regions.At(i), image, sel, s, one);
        if (i == 3) {
            EXPECT_TRUE(all[3].IsEmpty());
            continue;
        }
        EXPECT_EQ(all[size_t(i)].names, one.names) << i;
        EXPECT_EQ(all[size_t(i)].values, one.values) << i;
    }
    EXPECT_TRUE(ComputeAllRegionFeatures(regions, image, sel, s, false, all));
    EXPECT_FALSE(all[3].IsEmpty());
    EXPECT_FALSE(
        ComputeAllRegionFeatures(regions, image, sel, s, false, all, [](double) { return false; }));
}

// ---- text and statistics ---------------------------------------------------------

TEST(FormatFeatures, DiagnosisLineThenEntriesTwoToALine) {
    CFeatureVector v;
    v.Add("Area", 12.5);
    v.Add("Invariant_Moment_0", 0.000123);
    v.Add("Mean", 3);
    v.Add("A_name_that_is_longer_than_thirty_one", -1.25);
    const std::string expected =
        "MALIGNANT\n"
        "Area                           = 12.5000\n"
        "Invariant_Moment_0             = 1.2300e-04;"
        "Mean                           = 3.0000\n"
        "A_name_that_is_longer_than_thirty_one= -1.2500;";
    EXPECT_EQ(FormatFeatures(1, v), expected);
    // An odd entry short of 41 characters is padded up to them.
    CFeatureVector w;
    w.Add("x", 1);
    w.Add("y", 2);
    EXPECT_EQ(FormatFeatures(2, w), "FALSE\n" + std::string("x") + std::string(30, ' ') +
                                        "= 1.0000\n" + "y" + std::string(30, ' ') + "= 2.0000; ");
    struct Case {
        int16_t diagnosis;
        const char* line;
    } cases[] = {{0, "BENIGN\n"}, {1, "MALIGNANT\n"}, {2, "FALSE\n"}};
    for (const Case& c : cases) EXPECT_EQ(FormatFeatures(c.diagnosis, {}), c.line);
}

TEST(MeanAndStdDev, PopulationStatisticsEntryByEntry) {
    auto vec = [](double a, double b) {
        CFeatureVector v;
        v.Add("a", a);
        v.Add("b", b);
        return v;
    };
    CFeatureVector mean, sd;
    ASSERT_TRUE(MeanAndStdDev({vec(1, 10), vec(2, 10), vec(6, 10)}, mean, sd));
    EXPECT_EQ(mean.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(sd.names, mean.names);
    EXPECT_DOUBLE_EQ(mean.values[0], 3.0);
    EXPECT_DOUBLE_EQ(mean.values[1], 10.0);
    EXPECT_NEAR(sd.values[0], std::sqrt(14.0 / 3.0), 1e-12);  // divides by n, not n - 1
    EXPECT_DOUBLE_EQ(sd.values[1], 0.0);

    CFeatureVector other;
    other.Add("a", 1);
    other.Add("c", 2);
    EXPECT_FALSE(MeanAndStdDev({vec(1, 2), other}, mean, sd));
    EXPECT_FALSE(MeanAndStdDev({}, mean, sd));
}

}  // namespace
