// Clusters made of regions: numbering, outlines, the evaluation line against
// truth regions and the pruning of implausible regions, on hand-made regions
// whose pixel counts are worked out in the comments.

#include "detection/region_clusters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regions/region_features.h"

namespace vistrel {
namespace {

// 254 dpi: a pixel is 0.1 mm, so 100 pixels are 1 mm² and 100 pixels 1 cm.
constexpr double kTenthMm = 254.0;

std::vector<CPoint> Block(int32_t x0, int32_t y0, int32_t w, int32_t h) {
    std::vector<CPoint> points;
    for (int32_t y = y0; y < y0 + h; ++y)
        for (int32_t x = x0; x < x0 + w; ++x) points.push_back({x, y});
    return points;
}

CRegion Box(int32_t x0, int32_t y0, int32_t w, int32_t h, int32_t cluster = 0, char type = 'm') {
    CRegion r(Block(x0, y0, w, h), CRegion::PointsMode::PixelSet);
    r.clusterNumber = cluster;
    r.type = type;
    return r;
}

// The polygon outline of the rectangle with corners (x0, y0) and (x1, y1),
// edges included: (x1 - x0 + 1) * (y1 - y0 + 1) pixels.
CRegion Outline(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t cluster) {
    CRegion r({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, CRegion::PointsMode::Polygon);
    r.clusterNumber = ClusterOutlineNumber(cluster);
    r.type = 'c';
    return r;
}

CRegions Collection(const std::vector<CRegion>& list) {
    CRegions regions;
    for (const CRegion& r : list) EXPECT_NE(regions.Add(r), nullptr);
    return regions;
}

// ---------------------------------------------------------------- evaluation

// Cluster 1: an 81-pixel outline (1,1)-(9,9) around three 2 x 2 members.
std::vector<CRegion> ClusterOne() {
    return {Box(2, 2, 2, 2, 1), Box(6, 2, 2, 2, 1), Box(2, 6, 2, 2, 1), Outline(1, 1, 9, 9, 1)};
}

TEST(EvaluateRegionClusters, LinesCharacterByCharacter) {
    const CRegion truth400 = Box(0, 0, 20, 20, 0, 'o');  // 4 mm²
    const CRegion truth100 = Box(50, 50, 10, 10, 0, 'o');
    const CRegion farTruth = Box(100, 100, 10, 10, 0, 'o');
    std::vector<CRegion> twoGroups = ClusterOne();
    // Cluster 2: a 100-pixel outline (15,15)-(24,24) sharing 25 pixels with
    // truth400; one member inside that share, one outside the truth.
    for (const CRegion& r :
         {Box(16, 16, 2, 2, 2), Box(21, 21, 2, 2, 2), Outline(15, 15, 24, 24, 2)})
        twoGroups.push_back(r);
    std::vector<CRegion> farGroup = ClusterOne();
    // Cluster 2 far from any truth: an FP of 100 pixels.
    for (const CRegion& r : {Box(51, 51, 2, 2, 2), Box(55, 51, 2, 2, 2), Box(51, 55, 2, 2, 2),
                             Outline(50, 50, 59, 59, 2)})
        farGroup.push_back(r);
    std::vector<CRegion> fpOnly;
    for (const CRegion& r : {Box(31, 31, 2, 2, 1), Box(35, 31, 2, 2, 1), Box(31, 35, 2, 2, 1),
                             Outline(30, 30, 38, 38, 1)})
        fpOnly.push_back(r);
    const struct {
        const char* name;
        std::vector<CRegion> truth;
        std::vector<CRegion> regions;
        double limitMm2;
        const char* line;
        int32_t groups;
        int32_t large;
    } cases[] = {
        {"no regions", {truth400}, {}, kUnboundedClusterArea, "3; 1; 0; 0; 1; 0;", 0, 0},
        {"no groups",
         {truth400},
         {Box(2, 2, 2, 2), Box(6, 2, 2, 2)},
         kUnboundedClusterArea,
         "3; 1; 0; 0; 1; 0;;;;;;;0",
         0,
         0},
        {"FP only",
         {truth400},
         fpOnly,
         kUnboundedClusterArea,
         "3; 1; 1; 1; 1; 0;;;;;;;0; 0.810000;",
         1,
         0},
        {"one TP",
         {truth400},
         ClusterOne(),
         kUnboundedClusterArea,
         "3; 1; 1; 0; 0; 1;3; 0.810000; 4.000000; 0.202500; 20.250000; 0.810000; 0; 0.810000;",
         1,
         0},
        {"two groups hitting one truth add up",
         {truth400},
         twoGroups,
         kUnboundedClusterArea,
         "3; 1; 2; 0; 0; 1;4; 1.810000; 4.000000; 0.452500; 26.500000; 1.060000; 0; 1.000000; "
         "0.810000;",
         2,
         0},
        {"two truths hit, pieces separated by commas",
         {truth400, truth100},
         farGroup,
         kUnboundedClusterArea,
         "3; 2; 2; 0; 0; 2;3; 0.810000; 4.000000; 0.202500; 20.250000; 0.810000; 0;,3; 1.000000; "
         "1.000000; 1.000000; 100.000000; 1.000000; 0; 1.000000; 0.810000;",
         2,
         0},
        {"an FP, a missed truth and a large cluster",
         {truth400, farTruth},
         farGroup,
         0.9,  // 90 pixels: only the 100-pixel outline is larger
         "3; 2; 2; 1; 1; 1;3; 0.810000; 4.000000; 0.202500; 20.250000; 0.810000; 0; 1.000000; "
         "0.810000;",
         2,
         1},
        {"a cluster exactly at the limit is not large",
         {truth400, farTruth},
         farGroup,
         1.0,
         "3; 2; 2; 1; 1; 1;3; 0.810000; 4.000000; 0.202500; 20.250000; 0.810000; 0; 1.000000; "
         "0.810000;",
         2,
         0},
        {"a group without outline hits nothing",
         {truth400},
         {Box(2, 2, 2, 2, 1), Box(6, 2, 2, 2, 1), Box(2, 6, 2, 2, 1)},
         kUnboundedClusterArea,
         "3; 1; 1; 1; 1; 0;;;;;;;0; 0.000000;",
         1,
         0},
        {"no truth: every group is an FP",
         {},
         ClusterOne(),
         kUnboundedClusterArea,
         "3; 0; 1; 1; 0; 0;;;;;;;0; 0.810000;",
         1,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CRegions truth = Collection(c.truth);
        const CRegions regions = Collection(c.regions);
        std::string out = "kept|";
        std::vector<CClusterRegion> groups(3);  // rebuilt, not appended to
        const CRegionClusterEvaluation e =
            EvaluateRegionClusters(3, kTenthMm, truth, regions, out, c.limitMm2, true, groups);
        EXPECT_EQ(out, std::string("kept|") + c.line);
        EXPECT_EQ(e.groups, c.groups);
        EXPECT_EQ(static_cast<int32_t>(groups.size()), c.groups);
        EXPECT_EQ(e.largeClusters, c.large);
        EXPECT_EQ(e.corrections, 0);
    }
}

TEST(EvaluateRegionClusters, GroupsInOrderOfFirstAppearanceWithTheFirstValidOutline) {
    // Cluster 2 appears first, through its outline; cluster 1 has two
    // outlines; the last region is in no cluster.
    CRegions regions = Collection({Outline(40, 40, 49, 49, 2), Box(2, 2, 2, 2, 1),
                                   Outline(1, 1, 9, 9, 1), Outline(0, 0, 12, 12, 1),
                                   Box(41, 41, 2, 2, 2), Box(6, 6, 2, 2, 1), Box(60, 2, 2, 2, 0)});
    std::string out;
    std::vector<CClusterRegion> groups;
    EvaluateRegionClusters(0, kTenthMm, CRegions{}, regions, out, kUnboundedClusterArea, false,
                           groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].number, 2);
    EXPECT_EQ(groups[0].members.Count(), 1);
    EXPECT_EQ(groups[0].outline.Bounds(), (CRect{40, 40, 50, 50}));
    EXPECT_EQ(groups[1].number, 1);
    EXPECT_EQ(groups[1].members.Count(), 2);
    EXPECT_EQ(groups[1].outline.Bounds(), (CRect{1, 1, 10, 10}));
    // Outline areas 100 and 81 pixels, largest first.
    EXPECT_EQ(out, "0; 0; 2; 2; 0; 0;;;;;;;0; 1.000000; 0.810000;");
}

TEST(EvaluateRegionClusters, MembersCountOnlyWhenWhollyInTheSharedPixels) {
    // The truth is an L whose notch (x > 4, y < 4) lies inside the outline.
    const std::vector<CPoint> ell = {{0, 0}, {4, 0}, {4, 4}, {12, 4}, {12, 12}, {0, 12}};
    const CRegions truth = Collection({CRegion(ell, CRegion::PointsMode::Polygon)});
    const CRegions regions = Collection({Box(2, 2, 2, 2, 1), Box(6, 1, 2, 2, 1), Box(7, 7, 2, 2, 1),
                                         Box(3, 3, 3, 1, 1), Outline(1, 1, 9, 9, 1)});
    std::string out;
    std::vector<CClusterRegion> groups;
    EvaluateRegionClusters(0, kTenthMm, truth, regions, out, kUnboundedClusterArea, true, groups);
    // Inside both: the 2 x 2 members at (2, 2) and (7, 7); the one at (6, 1)
    // lies in the notch and the bar (3, 3)-(5, 3) reaches into it.
    ASSERT_EQ(out.rfind("0; 1; 1; 0; 0; 1;2; ", 0), 0u) << out;
}

// ------------------------------------------------------------------ outlines

TEST(ClusterOutlines, HullOfTheMembersContours) {
    CRegions regions = Collection({Box(10, 10, 3, 3, 1), Box(20, 10, 3, 3, 1), Box(10, 20, 3, 3, 1),
                                   Box(20, 20, 3, 3, 1), Box(15, 15, 2, 2, 1)});
    EXPECT_EQ(ClusterOutlines(regions, 1, ""), 1);
    ASSERT_EQ(regions.Count(), 6);
    const CRegion& outline = *regions.At(5);
    EXPECT_EQ(outline.type, 'c');
    EXPECT_EQ(outline.clusterNumber, 1001);
    EXPECT_EQ(outline.Bounds(), (CRect{10, 10, 23, 23}));
    EXPECT_EQ(outline.Pixels().size(), 169u);
    for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(regions.At(i)->LiesInside(outline)) << i;
}

TEST(ClusterOutlines, DegenerateHullsAndTypeSelection) {
    // Cluster 1: collinear members give a line outline of 23 pixels.
    // Cluster 2: its only member is of a type left out, so it gets none.
    // Cluster 3: a drawn diagonal 'm' member and an 'o' member far away; only
    // the 'm' one shapes the outline, which is then the member's own outline.
    CRegions regions = Collection({Box(10, 10, 3, 1, 1), Box(20, 10, 3, 1, 1), Box(30, 10, 3, 1, 1),
                                   Box(40, 40, 2, 2, 2, 'o'),
                                   CRegion({{50, 50}, {53, 53}}, CRegion::PointsMode::Polygon),
                                   Box(90, 90, 2, 2, 3, 'o')});
    regions.At(4)->clusterNumber = 3;
    regions.At(4)->type = 'm';
    EXPECT_EQ(ClusterOutlines(regions, 5, "mp"), 2);  // clusters 4, 5 have no members
    ASSERT_EQ(regions.Count(), 8);
    const CRegion& line = *regions.At(6);
    EXPECT_TRUE(line.IsValid());
    EXPECT_EQ(line.clusterNumber, 1001);
    EXPECT_EQ(line.Bounds(), (CRect{10, 10, 33, 11}));
    EXPECT_EQ(line.Pixels().size(), 23u);
    const CRegion& diagonal = *regions.At(7);
    EXPECT_EQ(diagonal.clusterNumber, 1003);
    EXPECT_EQ(diagonal.Bounds(), (CRect{50, 50, 54, 54}));
    // Nothing to outline, or a cluster count beyond member numbers: no crash, no outline.
    CRegions none;
    EXPECT_EQ(ClusterOutlines(none, 3, ""), 0);
    EXPECT_EQ(ClusterOutlines(regions, -1, ""), 0);
}

// ---------------------------------------------------------------- clustering

// 1 cm = 100 pixels at 254 dpi: neighbours within city-block distance 50.
CClusterPixelParams DefaultParams() {
    return InPixels(CClusterParams{}, kTenthMm);
}

TEST(RegionClusters, OnePointPerRegionAndNumbersInFinalOrder) {
    // Three 'm' regions around (110, 110), one 'o' region among them, two
    // 'm' regions near (400, 400) and one alone; a stale outline and a stale
    // member number.
    CRegions regions =
        Collection({Box(400, 400, 3, 3), Box(100, 100, 3, 3), Box(120, 100, 3, 3),
                    Box(100, 120, 3, 3), Box(110, 110, 3, 3, 0, 'o'), Box(410, 410, 3, 3, 7),
                    Box(700, 100, 3, 3), Outline(90, 90, 130, 130, 1)});
    CClusters clusters;
    clusters.Add(std::make_unique<CCluster>());
    const CRegionClustersResult r =
        RegionClusters(regions, 800, 600, DefaultParams(), "m", clusters);
    EXPECT_EQ(r.clusters, 1);
    EXPECT_EQ(r.unnumbered, 0);
    ASSERT_EQ(regions.Count(), 7);  // the outline is gone
    const int32_t expected[] = {0, 1, 1, 1, 0, 0, 0};
    for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(regions.At(i)->clusterNumber, expected[i]) << i;
    ASSERT_EQ(clusters.Count(), 1);
    // Centroids of the 3 x 3 boxes are their middle pixels.
    EXPECT_EQ(clusters.At(0)->Points(), (std::vector<CPoint>{{101, 101}, {121, 101}, {101, 121}}));

    // All types: the 'o' region joins; the pair at (400, 400) is still too few.
    RegionClusters(regions, 800, 600, DefaultParams(), "", clusters);
    EXPECT_EQ(regions.At(4)->clusterNumber, 1);
    EXPECT_EQ(clusters.At(0)->Count(), 4);
}

TEST(RegionClusters, OutlinesAndEvaluationFollowTheNumbers) {
    CRegions regions = Collection({Box(100, 100, 3, 3), Box(120, 100, 3, 3), Box(100, 120, 3, 3),
                                   Box(500, 500, 3, 3), Box(520, 500, 3, 3), Box(500, 520, 3, 3)});
    CClusters clusters;
    const CRegionClustersResult r =
        RegionClusters(regions, 800, 600, DefaultParams(), "", clusters);
    ASSERT_EQ(r.clusters, 2);
    EXPECT_EQ(ClusterOutlines(regions, r.clusters, ""), 2);
    const CRegions truth = Collection({Box(90, 90, 50, 50, 0, 'o')});
    std::string out;
    std::vector<CClusterRegion> groups;
    const CRegionClusterEvaluation e = EvaluateRegionClusters(1, kTenthMm, truth, regions, out,
                                                              kUnboundedClusterArea, true, groups);
    EXPECT_EQ(e.groups, 2);
    // The first outline, the hull of its three boxes, lies in the truth.
    EXPECT_EQ(out.rfind("1; 1; 2; 1; 0; 1;3; ", 0), 0u) << out;
    // Clustering again replaces the outlines instead of piling them up.
    RegionClusters(regions, 800, 600, DefaultParams(), "", clusters);
    EXPECT_EQ(regions.Count(), 6);
}

TEST(RegionClusters, ClustersBeyondTheLastMemberNumberAreLeftOut) {
    // 32 x 32 triples 20 pixels apart, each triple within city-block 5.
    CClusterPixelParams p;
    p.minObjects = 3;
    p.diameterPx = 10.0;
    CRegions regions;
    for (int32_t gy = 0; gy < 32; ++gy)
        for (int32_t gx = 0; gx < 32; ++gx)
            for (CPoint d : {CPoint{0, 0}, CPoint{3, 0}, CPoint{0, 3}})
                regions.Adopt(
                    std::make_unique<CRegion>(Box(10 + 20 * gx + d.x, 10 + 20 * gy + d.y, 2, 2)));
    ASSERT_EQ(regions.Count(), 3072);
    CClusters clusters;
    const CRegionClustersResult r = RegionClusters(regions, 660, 660, p, "", clusters);
    EXPECT_EQ(r.clusters, kMaxRegionClusters);
    EXPECT_EQ(r.unnumbered, 1024 - kMaxRegionClusters);
    EXPECT_EQ(clusters.Count(), kMaxRegionClusters);
    int32_t unclustered = 0;
    for (int32_t i = 0; i < regions.Count(); ++i) {
        const int32_t n = regions.At(i)->clusterNumber;
        EXPECT_FALSE(IsClusterOutlineNumber(n));
        unclustered += n == 0;
    }
    EXPECT_EQ(unclustered, 3 * (1024 - kMaxRegionClusters));
    EXPECT_EQ(ClusterOutlines(regions, r.clusters, ""), kMaxRegionClusters);
    std::string out;
    std::vector<CClusterRegion> groups;
    EXPECT_EQ(EvaluateRegionClusters(0, kTenthMm, CRegions{}, regions, out, kUnboundedClusterArea,
                                     false, groups)
                  .groups,
              kMaxRegionClusters);
    for (const CClusterRegion& g : groups) EXPECT_TRUE(g.outline.IsValid()) << g.number;
}

TEST(RegionClusters, NonzeroPixelsOfABinaryImage) {
    for (const int depth : {1, 8, 16}) {
        SCOPED_TRACE(depth);
        CMImage image;
        ASSERT_TRUE(image.Create(300, 200, depth, 1));  // zero-filled
        for (CPoint p : {CPoint{10, 10}, CPoint{30, 10}, CPoint{10, 30}, CPoint{250, 150}})
            image.SetPixel(p.x, p.y, 1);
        CClusters clusters;
        EXPECT_EQ(RegionClusters(image, DefaultParams(), clusters), 1);
        ASSERT_EQ(clusters.Count(), 1);
        EXPECT_EQ(clusters.At(0)->Points(), (std::vector<CPoint>{{10, 10}, {30, 10}, {10, 30}}));
    }
    CClusters clusters;
    EXPECT_EQ(RegionClusters(CMImage{}, DefaultParams(), clusters), 0);
    EXPECT_EQ(clusters.Count(), 0);
}

// ------------------------------------------------------------- bad regions

// 508 dpi: 0.05 mm pixels, so A1 = 400, A2 = 8, A3 = 26 pixels and
// L1 = 60, L2 = 2, L3 = 6 pixels.
constexpr double kTwentiethMm = 508.0;

// An 8-bit 120 x 60 image of grey 100.
CMImage Background() {
    CMImage image(120, 60, 8);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, y, 100);
    return image;
}

TEST(RemoveBadRegions, OneRulePerCase) {
    const struct {
        const char* name;
        std::vector<CPoint> pixels;
        int value;  // over a background of 100
        bool kept;
        char type;
    } cases[] = {
        {"1: larger than 1 mm² is a fibre", Block(10, 10, 25, 20), 100, true, 'f'},
        {"1: exactly 1 mm² is not", Block(10, 10, 20, 20), 200, true, 'm'},
        {"2: smaller than 0.02 mm²", Block(10, 10, 2, 3), 250, false, 'm'},
        {"3: shape value 3 (a 2 x 15 bar), short perimeter", Block(10, 10, 15, 2), 250, false, 'm'},
        {"4: longer than 3 mm and elongated is a fibre", Block(10, 10, 65, 1), 100, true, 'f'},
        {"5: shorter than 0.3 mm and compact is a point", Block(10, 10, 4, 4), 100, true, 'p'},
        {"6: more than 50 above its ring", Block(10, 10, 7, 7), 151, true, 'm'},
        {"6: 50 above its ring is not enough", Block(10, 10, 7, 7), 150, false, 'm'},
    };
    CFeatureSettings settings;
    settings.ringWidth = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMImage image = Background();
        for (CPoint p : c.pixels) image.SetPixel(p.x, p.y, c.value);
        CRegion region(c.pixels, CRegion::PointsMode::PixelSet);
        region.type = 'm';
        CRegions regions = Collection({region});
        const CBadRegionCounts counts = RemoveBadRegions(regions, image, kTwentiethMm, settings);
        ASSERT_EQ(regions.Count(), c.kept ? 1 : 0);
        EXPECT_EQ(counts.deleted, c.kept ? 0 : 1);
        if (c.kept) {
            EXPECT_EQ(regions.At(0)->type, c.type);
        }
    }
}

TEST(RemoveBadRegions, MeasuresTheRuleInputs) {
    CMImage image(60, 40, 8);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, y, x < 20 ? 10 : 40);
    for (CPoint p : Block(15, 10, 10, 4)) image.SetPixel(p.x, p.y, 200);
    const CRegion region(Block(15, 10, 10, 4), CRegion::PointsMode::PixelSet);
    CFeatureSettings settings;
    settings.ringWidth = 2;
    CBadRegionMeasures m;
    ASSERT_TRUE(MeasureBadRegion(region, image, settings, m));
    EXPECT_EQ(m.area, 40.0);
    EXPECT_DOUBLE_EQ(m.major, 10.0);
    EXPECT_DOUBLE_EQ(m.minor, 4.0);
    // Outer perimeter 28, compactness 28² / (4 pi 40) = 1.56.
    EXPECT_EQ(m.secondShapeValue, 28.0);
    EXPECT_EQ(m.shapeValue, 2);
    EXPECT_DOUBLE_EQ(m.regionMean, 200.0);
    // The ring: the 14 x 8 box around it less the region, 72 pixels, of which
    // the 7 columns x < 20 hold 10 (7 * 8 - 5 * 4 = 36) and the rest 40.
    EXPECT_EQ(m.ringPixels, 72);
    EXPECT_DOUBLE_EQ(m.ringMean, (36 * 10.0 + 36 * 40.0) / 72.0);
    // At the image's corner the ring is clipped to the image.
    const CRegion corner(Block(0, 0, 3, 3), CRegion::PointsMode::PixelSet);
    ASSERT_TRUE(MeasureBadRegion(corner, image, settings, m));
    EXPECT_EQ(m.ringPixels, 25 - 9);
    EXPECT_FALSE(MeasureBadRegion(CRegion{}, image, settings, m));
}

TEST(RemoveBadRegions, KeepsOrderSelectionAndClusterOutlines) {
    CMImage image = Background();
    for (CPoint p : Block(50, 10, 7, 7)) image.SetPixel(p.x, p.y, 250);
    // A tiny region, a point, a faint region, a bright one and a cluster
    // outline of 1 mm² and more (not made a fibre: it is no candidate).
    CRegions regions = Collection({Box(10, 10, 2, 2), Box(20, 10, 4, 4), Box(30, 10, 7, 7),
                                   Box(50, 10, 7, 7), Outline(0, 0, 100, 50, 1)});
    regions.Select(3);
    const CBadRegionCounts counts = RemoveBadRegions(regions, image, kTwentiethMm, {});
    EXPECT_EQ(counts.deleted, 2);
    EXPECT_EQ(counts.points, 1);
    EXPECT_EQ(counts.fibres, 0);
    ASSERT_EQ(regions.Count(), 3);
    EXPECT_EQ(regions.At(0)->Bounds().left, 20);
    EXPECT_EQ(regions.At(0)->type, 'p');
    EXPECT_EQ(regions.At(1)->Bounds().left, 50);
    EXPECT_EQ(regions.At(2)->type, 'c');
    EXPECT_EQ(regions.Selected(), 1);
    regions.Select(0);
    RemoveBadRegions(regions, image, kTwentiethMm, {});
    EXPECT_EQ(regions.Selected(), 0);
}

TEST(RemoveBadRegions, RegionsOffTheImageAndAnInvalidImageAreLeftAlone) {
    const CMImage image = Background();
    // Wholly off the image, half off its right edge (measured on the half
    // inside: 4 x 7 of grey 100, deleted), and a point-sized one.
    CRegions regions = Collection({Box(300, 10, 7, 7), Box(116, 10, 8, 7), Box(20, 10, 4, 4)});
    CBadRegionMeasures m;
    EXPECT_FALSE(MeasureBadRegion(*regions.At(0), image, {}, m));
    ASSERT_TRUE(MeasureBadRegion(*regions.At(1), image, {}, m));
    EXPECT_DOUBLE_EQ(m.regionMean, 100.0);
    CRegions untouched = regions;
    const CBadRegionCounts none = RemoveBadRegions(untouched, CMImage{}, kTwentiethMm, {});
    EXPECT_EQ(none.deleted + none.points + none.fibres, 0);
    EXPECT_EQ(untouched.Count(), 3);
    EXPECT_EQ(untouched.At(2)->type, 'm');
    const CBadRegionCounts counts = RemoveBadRegions(regions, image, kTwentiethMm, {});
    EXPECT_EQ(counts.deleted, 1);
    ASSERT_EQ(regions.Count(), 2);
    EXPECT_EQ(regions.At(0)->Bounds().left, 300);
    EXPECT_EQ(regions.At(0)->type, 'm');
    EXPECT_EQ(regions.At(1)->type, 'p');
}

}  // namespace
}  // namespace vistrel
