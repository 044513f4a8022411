// Cluster features on a hand-made image: three members of cluster 1 inside
// its outline, two regions of other clusters among them, and rings of
// distinct grey values around the outline's box that show which pixels the
// background took.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "regions/region_features.h"
#include "regions/regions.h"
#include "regions/texture.h"

namespace vistrel {
namespace {

// The outline's box is x 3..15, y 3..9; every pixel outside it has the value
// of its ring (Chebyshev distance from the box).
constexpr CRect kBox{3, 3, 16, 10};
constexpr int kRingValue[] = {10, 20, 40, 80, 160};

int RingOf(int x, int y) {
    const int dx = x < kBox.left ? kBox.left - x : x >= kBox.right ? x - kBox.right + 1 : 0;
    const int dy = y < kBox.top ? kBox.top - y : y >= kBox.bottom ? y - kBox.bottom + 1 : 0;
    return std::min(std::max(dx, dy), 4);
}

std::vector<CPoint> Block(int x0, int y0, int w, int h) {
    std::vector<CPoint> points;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) points.push_back({x, y});
    return points;
}

struct CFixture {
    CMImage image{24, 20, 8};
    CRegions regions;
    CRegion* outline = nullptr;
};

// Members: A 3 x 3 at (4, 4) value 100, B 2 x 2 at (10, 7) value 200, C 3 x 1
// at (12, 4) value 50. Not members: 2 x 2 of cluster 2 at (5, 8) and 1 x 2 of
// no cluster at (8, 7), both 250.
CFixture MakeFixture(bool lShapedOutline = false, int memberValueScale = 1) {
    CFixture f;
    for (int y = 0; y < f.image.height; ++y)
        for (int x = 0; x < f.image.width; ++x) f.image.SetPixel(x, y, kRingValue[RingOf(x, y)]);
    struct Piece {
        std::vector<CPoint> pixels;
        int value;
        int32_t cluster;
    };
    const Piece pieces[] = {{Block(4, 4, 3, 3), 100, 1},
                            {Block(10, 7, 2, 2), 200, 1},
                            {Block(12, 4, 3, 1), 50, 1},
                            {Block(5, 8, 2, 2), 250, 2},
                            {Block(8, 7, 1, 2), 250, 0}};
    for (const Piece& p : pieces) {
        for (const CPoint& q : p.pixels) f.image.SetPixel(q.x, q.y, p.value * memberValueScale);
        CRegion r(p.pixels, CRegion::PointsMode::PixelSet);
        r.clusterNumber = p.cluster;
        r.type = 'm';
        f.regions.Add(r);
    }
    const std::vector<CPoint> rectangle = {{3, 3}, {15, 3}, {15, 9}, {3, 9}};
    const std::vector<CPoint> ell = {{3, 3}, {15, 3}, {15, 4}, {4, 4}, {4, 9}, {3, 9}};
    CRegion outline(lShapedOutline ? ell : rectangle, CRegion::PointsMode::Polygon);
    outline.clusterNumber = ClusterOutlineNumber(1);
    outline.type = 'c';
    f.outline = f.regions.Add(outline);
    return f;
}

CFeatureSettings MmEqualsPixels() {
    CFeatureSettings s;
    s.resolution = 25.4;
    s.coocurrenceDistance = 1;
    return s;
}

CFeatureSelection AllClusterNames(const CFeatureSettings& s) {
    std::vector<CFeatureSelection::Entry> entries;
    for (const std::string& name : ClusterFeatureNames(s)) entries.push_back({name, 1});
    return CFeatureSelection(std::move(entries), 0);
}

std::map<std::string, double> AsMap(const CFeatureVector& v) {
    std::map<std::string, double> m;
    for (int32_t i = 0; i < v.Size(); ++i)
        m[v.names[static_cast<size_t>(i)]] = v.values[static_cast<size_t>(i)];
    return m;
}

// Mean and population standard deviation of distances.
void MeanStd(const std::vector<double>& d, double& mean, double& stdDev) {
    mean = 0;
    for (double v : d) mean += v;
    mean /= static_cast<double>(d.size());
    double s = 0;
    for (double v : d) s += (v - mean) * (v - mean);
    stdDev = std::sqrt(s / static_cast<double>(d.size()));
}

struct CHandHistogram {
    double mean, stdDev, energy, entropy;
};
// The statistics of a list of (value, count) pairs, from the definitions.
CHandHistogram Statistics(const std::vector<std::pair<double, double>>& counts) {
    double n = 0, sum = 0;
    for (auto [v, c] : counts) n += c, sum += v * c;
    const double mean = sum / n;
    double var = 0, e = 0, q = 0;
    for (auto [v, c] : counts) {
        var += c * (v - mean) * (v - mean);
        e += c * v * v;
        q += c * v * v * std::log10(v * v);
    }
    return {mean, std::sqrt(var / n), e / n, std::log10(e) - q / e};
}

TEST(ClusterFeatures, FixtureIsWhatTheTestsAssume) {
    const CFixture f = MakeFixture();
    ASSERT_EQ(f.regions.Count(), 6);
    EXPECT_EQ(f.outline->Bounds(), kBox);
    EXPECT_EQ(f.outline->Pixels().size(), 91u);
    EXPECT_EQ(MakeFixture(true).outline->Pixels().size(), 36u);
    // Boundary points of the members (chain length + 1): 9, 5 and 5.
    EXPECT_EQ(f.regions.At(0)->BoundaryCount(), 9);
    EXPECT_EQ(f.regions.At(1)->BoundaryCount(), 5);
    EXPECT_EQ(f.regions.At(2)->BoundaryCount(), 5);
}

TEST(ClusterFeatures, CountsAreasAndIntensityOfTheMembers) {
    CFixture f = MakeFixture();
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, out),
              0);
    ASSERT_TRUE(out.IsConsistent());
    auto m = AsMap(out);
    EXPECT_EQ(m["Regions_In_Cluster_Number"], 3);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Area"], 16);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Sum_Area_mm"], 16);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Number/Cluster_Area_mm"], 3.0 / 91.0);

    // Under the mask: 9 x 100, 4 x 200, 3 x 50 (the 250s of the other
    // clusters are not members).
    const CHandHistogram in = Statistics({{100, 9}, {200, 4}, {50, 3}});
    // Margin 2 around the 13 x 7 box of area 91: 69 box pixels at 10 and the
    // six 250s, 44 pixels of ring 1 and 52 of ring 2.
    const CHandHistogram bg = Statistics({{10, 69}, {250, 6}, {20, 44}, {40, 52}});
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Background_Gray_Level"], bg.mean);
    EXPECT_NEAR(m["Regions_In_Cluster_Background_StdDev"], bg.stdDev, 1e-9);
    EXPECT_NEAR(m["Regions_In_Cluster_Background_Energy"], bg.energy, 1e-9);
    EXPECT_NEAR(m["Regions_In_Cluster_Background_Entropy"], bg.entropy, 1e-9);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Mass"], 1850);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Mean"], 1850.0 / 16.0);
    EXPECT_NEAR(m["Regions_In_Cluster_StdDev"], in.stdDev, 1e-9);
    EXPECT_NEAR(m["Regions_In_Cluster_Energy"], in.energy, 1e-9);
    EXPECT_NEAR(m["Regions_In_Cluster_Entropy"], in.entropy, 1e-9);
    const double F = in.mean, B = bg.mean;
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Fbr"], F / B);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Fbd"], F - B);
    EXPECT_DOUBLE_EQ(m["Regions_In_Cluster_Difference_Ratio"], (F - B) / (F + B));
}

TEST(ClusterFeatures, BackgroundMarginFollowsTheOutlinesArea) {
    struct Case {
        const char* label;
        bool ell;
        std::vector<std::pair<double, double>> background;
    };
    const Case cases[] = {
        // g = 91 - 0, (sqrt(20^2 + 4 g) - 20) / 4 + 0.5 = 2.41: two rings.
        {"rectangle, margin 2", false, {{10, 69}, {250, 6}, {20, 44}, {40, 52}}},
        // Area 36 leaves g = 36 - 55 < 0: the box alone.
        {"ell, margin 0", true, {{10, 69}, {250, 6}}},
    };
    for (const Case& c : cases) {
        CFixture f = MakeFixture(c.ell);
        const CFeatureSettings s = MmEqualsPixels();
        CFeatureVector out;
        ASSERT_EQ(
            ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, out), 0)
            << c.label;
        const CHandHistogram bg = Statistics(c.background);
        EXPECT_DOUBLE_EQ(AsMap(out)["Regions_In_Cluster_Background_Gray_Level"], bg.mean)
            << c.label;
        EXPECT_NEAR(AsMap(out)["Regions_In_Cluster_Background_StdDev"], bg.stdDev, 1e-9) << c.label;
    }
}

TEST(ClusterFeatures, BackgroundIsClippedToTheImage) {
    // The same scene cut so that the box touches the image's top-left corner:
    // the margin of 2 reaches outside and only what is inside is counted.
    CFixture f = MakeFixture();
    CRegions moved = f.regions;
    moved.Translate(3, 3);
    auto cut = f.image.SubImage({3, 3, 24, 20});
    ASSERT_TRUE(cut);
    const CRegion* outline = moved.At(5);
    ASSERT_EQ(outline->Bounds(), (CRect{0, 0, 13, 7}));
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*outline, moved, *cut, AllClusterNames(s), s, out), 0);
    // Left and top of the box are the image's edge: ring 1 keeps its right
    // column and bottom row (8 + 13 pixels), ring 2 likewise (9 + 14).
    const CHandHistogram bg = Statistics({{10, 69}, {250, 6}, {20, 21}, {40, 23}});
    EXPECT_DOUBLE_EQ(AsMap(out)["Regions_In_Cluster_Background_Gray_Level"], bg.mean);
}

TEST(ClusterFeatures, DistancesFromTheThreeCentres) {
    CFixture f = MakeFixture();
    CFeatureSettings s = MmEqualsPixels();
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, out),
              0);
    auto m = AsMap(out);
    // Centroids: A (5, 5), B (10, 7) (mean column 0.5 truncated), C (13, 4).
    const std::vector<std::pair<double, double>> c = {{5, 5}, {10, 7}, {13, 4}};
    const std::pair<double, double> centres[] = {
        {28.0 / 3, 16.0 / 3},  // mean of the centroids
        {(900 * 5 + 800 * 10 + 150 * 13) / 1850.0,
         (900 * 5 + 800 * 7 + 150 * 4) / 1850.0},  // masses
        {160.0 / 19, 101.0 / 19},                  // the 19 boundary points
    };
    const char* names[] = {"Centers", "Masses", "Boundaries"};
    for (int i = 0; i < 3; ++i) {
        std::vector<double> d;
        for (auto [x, y] : c) d.push_back(std::hypot(x - centres[i].first, y - centres[i].second));
        double mean = 0, stdDev = 0;
        MeanStd(d, mean, stdDev);
        const std::string n = names[i];
        EXPECT_NEAR(m["Mean_Distance_From_Centroid(" + n + ")_mm"], mean, 1e-9) << n;
        EXPECT_NEAR(m["StdDev_Distance_From_Centroid(" + n + ")_mm"], stdDev, 1e-9) << n;
    }

    // At 100 pixels per inch each distance is 0.254 times as long in mm.
    s.resolution = 100;
    CFeatureVector coarse;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, coarse),
              0);
    EXPECT_NEAR(AsMap(coarse)["Mean_Distance_From_Centroid(Centers)_mm"],
                m["Mean_Distance_From_Centroid(Centers)_mm"] * 0.254, 1e-9);
    EXPECT_NEAR(AsMap(coarse)["Regions_In_Cluster_Sum_Area_mm"], 16 * 0.254 * 0.254, 1e-9);
}

TEST(ClusterFeatures, MembersWithoutMassFallBackToThePlainCentre) {
    CFixture f = MakeFixture(false, 0);
    // Members at 0 (the other regions too, so no sample exceeds the depth).
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, out),
              0);
    auto m = AsMap(out);
    EXPECT_TRUE(std::isfinite(m["Mean_Distance_From_Centroid(Masses)_mm"]));
    EXPECT_DOUBLE_EQ(m["Mean_Distance_From_Centroid(Masses)_mm"],
                     m["Mean_Distance_From_Centroid(Centers)_mm"]);
    EXPECT_DOUBLE_EQ(m["StdDev_Distance_From_Centroid(Masses)_mm"],
                     m["StdDev_Distance_From_Centroid(Centers)_mm"]);
    EXPECT_EQ(m["Regions_In_Cluster_Sum_Mass"], 0);
}

TEST(ClusterFeatures, OnlySelectedNamesButAlwaysTheDistances) {
    CFixture f = MakeFixture();
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureSelection selection = AllClusterNames(s);
    selection.SetAll(false);
    selection.Set("Regions_In_Cluster_Sum_Area", true);
    selection.Set("Regions_In_Cluster_Fbd", true);
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, selection, s, out), 0);
    EXPECT_EQ(
        out.names,
        (std::vector<std::string>{
            "Regions_In_Cluster_Sum_Area", "Mean_Distance_From_Centroid(Centers)_mm",
            "StdDev_Distance_From_Centroid(Centers)_mm", "Mean_Distance_From_Centroid(Masses)_mm",
            "StdDev_Distance_From_Centroid(Masses)_mm",
            "Mean_Distance_From_Centroid(Boundaries)_mm",
            "StdDev_Distance_From_Centroid(Boundaries)_mm", "Regions_In_Cluster_Fbd"}));
}

TEST(ClusterFeatures, NamesInOutputOrder) {
    CFixture f = MakeFixture();
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureSelection selection = AllClusterNames(s);
    selection.Set("Regions_In_Cluster_Coocurence_Features", false);
    CFeatureVector out;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, selection, s, out), 0);
    std::vector<std::string> expected = ClusterFeatureNames(s);
    ASSERT_EQ(expected.back(), "Regions_In_Cluster_Coocurence_Features");
    expected.pop_back();
    EXPECT_EQ(out.names, expected);
}

TEST(ClusterFeatures, TextureAndTheMarkedCopy) {
    CFixture f = MakeFixture();
    const CFeatureSettings s = MmEqualsPixels();
    CFeatureVector out;
    std::unique_ptr<CMImage> marked;
    ASSERT_EQ(
        ComputeClusterFeatures(*f.outline, f.regions, f.image, AllClusterNames(s), s, out, &marked),
        0);
    // The texture list of the box follows the intensity group.
    CFeatureVector texture;
    ASSERT_TRUE(CoocurrenceFeatures(f.image, kBox, 1, texture));
    ASSERT_GE(out.Size(), texture.Size());
    const auto tail = static_cast<size_t>(out.Size() - texture.Size());
    EXPECT_EQ(std::vector<std::string>(out.names.begin() + tail, out.names.end()), texture.names);
    EXPECT_EQ(out.names[tail - 1], "Regions_In_Cluster_Difference_Ratio");

    ASSERT_TRUE(marked);
    CMImage expected = f.image;
    auto mark = [&](int x, int y) { expected.SetPixel(x, y, 255); };
    auto cross = [&](int x, int y, int half) {
        for (int d = -half; d <= half; ++d) mark(x + d, y), mark(x, y + d);
    };
    cross(9, 5, 0);  // centres of the centroids (9.33, 5.33)
    cross(8, 5, 1);  // of the boundary points (8.42, 5.32)
    cross(7, 5, 5);  // of the masses (7.81, 5.78)
    cross(9, 6, 3);  // the outline's own centroid
    for (int x = 3; x <= 16; ++x) mark(x, 3), mark(x, 10);
    for (int y = 3; y <= 10; ++y) mark(3, y), mark(16, y);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            EXPECT_EQ(marked->GetPixel(x, y), expected.GetPixel(x, y)) << x << "," << y;
    // The document's own image is left alone.
    EXPECT_EQ(f.image.GetPixel(9, 5), kRingValue[0]);

    // Without the gate: no texture, no copy.
    CFeatureSelection selection = AllClusterNames(s);
    selection.Set("Regions_In_Cluster_Coocurence_Features", false);
    std::unique_ptr<CMImage> none;
    ASSERT_EQ(ComputeClusterFeatures(*f.outline, f.regions, f.image, selection, s, out, &none), 0);
    EXPECT_FALSE(none);
    EXPECT_EQ(out.names.back(), "Regions_In_Cluster_Difference_Ratio");
}

TEST(ClusterFeatures, NothingForBadInput) {
    const CFeatureSettings s = MmEqualsPixels();
    const CFeatureSelection selection = AllClusterNames(s);
    struct Case {
        const char* label;
        std::function<void(CFixture&)> spoil;
        bool emptyImage = false;
    };
    const Case cases[] = {
        {"invalid outline", [](CFixture& f) { f.outline->MakeEmpty(); }},
        {"invalid image", [](CFixture&) {}, true},
        {"no members (outline of cluster 3)",
         [](CFixture& f) { f.outline->clusterNumber = ClusterOutlineNumber(3); }},
        {"not an outline number", [](CFixture& f) { f.outline->clusterNumber = 1; }},
        {"outline of cluster 0 over regions of no cluster",
         [](CFixture& f) { f.outline->clusterNumber = ClusterOutlineNumber(0); }},
    };
    for (const Case& c : cases) {
        CFixture f = MakeFixture();
        c.spoil(f);
        CMImage empty;
        CFeatureVector out;
        out.Add("stale", 1);
        std::unique_ptr<CMImage> marked;
        EXPECT_LT(ComputeClusterFeatures(*f.outline, f.regions, c.emptyImage ? empty : f.image,
                                         selection, s, out, &marked),
                  0)
            << c.label;
        EXPECT_TRUE(out.IsEmpty()) << c.label;
        EXPECT_FALSE(marked) << c.label;
    }
}

}  // namespace
}  // namespace vistrel
