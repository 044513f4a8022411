#include "detection/froc.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vistrel {
namespace {

CRegion Square(int x0, int y0, int x1, int y1) {
    return CRegion({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, CRegion::PointsMode::Polygon);
}

void AddSpot(CSpotList& list, CPoint p, double response) {
    CPointResponse spot(p, response, 3.0);
    spot.Append(response);
    list.Append(spot);
}

// At 25.4 dpi 1 cm is 10 pixels: a 0.4 cm diameter reaches 2 pixels.
CFrocSettings SmallClusters() {
    CFrocSettings s;
    s.clusters.diameterCm = 0.4;
    s.clusters.minObjects = 3;
    return s;
}

TEST(FrocSweep, HandComputedTwoImages) {
    CRegions truthA, truthB;
    truthA.Add(Square(10, 10, 20, 20));
    truthB.Add(Square(60, 60, 70, 70));
    truthB.Add(Square(10, 80, 20, 90));
    CSpotList spotsA, spotsB;
    // In A's truth, responses 5, 6, 7 (and an exact copy of the 7, which
    // counts once); far from it, 1, 2, 9.
    AddSpot(spotsA, {12, 12}, 5);
    AddSpot(spotsA, {13, 12}, 6);
    AddSpot(spotsA, {14, 12}, 7);
    AddSpot(spotsA, {14, 12}, 7);
    AddSpot(spotsA, {50, 50}, 1);
    AddSpot(spotsA, {51, 50}, 2);
    AddSpot(spotsA, {52, 50}, 9);
    // In B's first truth region, all 8.
    AddSpot(spotsB, {61, 61}, 8);
    AddSpot(spotsB, {62, 61}, 8);
    AddSpot(spotsB, {63, 61}, 8);
    const std::vector<CFrocImage> images{{100, 100, 25.4, 1, &truthA, &spotsA},
                                         {100, 100, 25.4, 2, &truthB, &spotsB}};
    const CFrocResult r = FrocSweep(images, {0, 3, 6, 10}, SmallClusters());
    EXPECT_TRUE(r.complete);
    ASSERT_EQ(r.points.size(), 4u);
    ASSERT_EQ(r.scores.size(), 4u);
    const struct {
        double threshold, sensitivity, fpPerImage;
        int tpA, fpA, tpB, fpB;
    } expected[] = {
        {0, 2.0 / 3, 0.5, 1, 1, 1, 0},
        {3, 2.0 / 3, 0.0, 1, 0, 1, 0},
        {6, 1.0 / 3, 0.0, 0, 0, 1, 0},
        {10, 0.0, 0.0, 0, 0, 0, 0},
    };
    for (std::size_t t = 0; t < std::size(expected); ++t) {
        const auto& e = expected[t];
        EXPECT_EQ(r.points[t].threshold, e.threshold);
        EXPECT_DOUBLE_EQ(r.points[t].sensitivity, e.sensitivity) << "threshold " << e.threshold;
        EXPECT_DOUBLE_EQ(r.points[t].fpPerImage, e.fpPerImage) << "threshold " << e.threshold;
        ASSERT_EQ(r.scores[t].size(), 2u);
        EXPECT_EQ(r.scores[t][0].tp, e.tpA) << "threshold " << e.threshold;
        EXPECT_EQ(r.scores[t][0].fp, e.fpA) << "threshold " << e.threshold;
        EXPECT_EQ(r.scores[t][1].tp, e.tpB) << "threshold " << e.threshold;
        EXPECT_EQ(r.scores[t][1].fp, e.fpB) << "threshold " << e.threshold;
        EXPECT_EQ(r.scores[t][0].truth, 1);
        EXPECT_EQ(r.scores[t][1].truth, 2);
        EXPECT_EQ(r.scores[t][1].fn, 2 - e.tpB);
    }
    EXPECT_EQ(r.scores[0][0].hitCounts, (std::vector<int>{3}));
}

TEST(FrocSweep, ImagesWithoutSpotsOrTruth) {
    CRegions truth;
    truth.Add(Square(10, 10, 20, 20));
    CSpotList empty, spots;
    AddSpot(spots, {50, 50}, 1);
    AddSpot(spots, {51, 50}, 1);
    AddSpot(spots, {52, 50}, 1);
    const std::vector<CFrocImage> images{{100, 100, 25.4, 0, &truth, &empty},
                                         {100, 100, 25.4, 0, nullptr, &spots},
                                         {100, 100, 25.4, 0, &truth, nullptr}};
    const CFrocResult r = FrocSweep(images, {0}, SmallClusters());
    ASSERT_EQ(r.points.size(), 1u);
    EXPECT_DOUBLE_EQ(r.points[0].sensitivity, 0.0);
    EXPECT_DOUBLE_EQ(r.points[0].fpPerImage, 1.0 / 3);
    EXPECT_EQ(r.scores[0][0].fn, 1);
    EXPECT_EQ(r.scores[0][1].truth, 0);
    EXPECT_EQ(r.scores[0][1].fp, 1);

    EXPECT_TRUE(FrocSweep({}, {1, 2}, SmallClusters()).points.size() == 2u);
    EXPECT_EQ(FrocSweep({}, {1}, SmallClusters()).points[0].fpPerImage, 0.0);

    // A clustering that cannot run (no image size) is reported.
    const std::vector<CFrocImage> broken{{0, 0, 25.4, 0, &truth, &spots}};
    const CFrocResult b = FrocSweep(broken, {0}, SmallClusters());
    EXPECT_FALSE(b.complete);
    EXPECT_EQ(b.scores[0][0].fp, 0);
}

// Compact groups far apart, each of whose spots share one response: raising
// the threshold removes whole groups, so the curve can only fall.
TEST(FrocSweep, FallsMonotonicallyAsTheThresholdRises) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> response(0.0, 100.0);
    const int kImages = 4;
    std::vector<CRegions> truths(kImages);
    std::vector<CSpotList> spots(kImages);
    int outside = 0;
    for (int i = 0; i < kImages; ++i) {
        for (int g = 0; g < 6; ++g) {
            const CPoint c{20 + 40 * g, 20 + 40 * (g % 2)};
            if (g % 3 == 0)
                truths[std::size_t(i)].Add(Square(c.x - 5, c.y - 5, c.x + 5, c.y + 5));
            else
                ++outside;
            const double r = response(rng);
            for (CPoint d : {CPoint{0, 0}, CPoint{1, 0}, CPoint{0, 1}, CPoint{1, 1}})
                AddSpot(spots[std::size_t(i)], {c.x + d.x, c.y + d.y}, r);
        }
    }
    std::vector<CFrocImage> images;
    for (int i = 0; i < kImages; ++i)
        images.push_back({300, 100, 25.4, 0, &truths[std::size_t(i)], &spots[std::size_t(i)]});
    const std::vector<double> thresholds = SpreadThresholds(images, 25);
    ASSERT_EQ(thresholds.size(), 25u);
    const CFrocResult r = FrocSweep(images, thresholds, SmallClusters());
    ASSERT_EQ(r.points.size(), thresholds.size());
    EXPECT_DOUBLE_EQ(r.points.front().sensitivity, 1.0);
    EXPECT_DOUBLE_EQ(r.points.front().fpPerImage, double(outside) / kImages);
    // The last threshold is the largest response: its group still passes.
    EXPECT_GT(r.points.back().sensitivity + r.points.back().fpPerImage, 0.0);
    bool fell = false;
    for (std::size_t t = 1; t < r.points.size(); ++t) {
        EXPECT_LE(r.points[t].sensitivity, r.points[t - 1].sensitivity) << t;
        EXPECT_LE(r.points[t].fpPerImage, r.points[t - 1].fpPerImage) << t;
        fell = fell || r.points[t].sensitivity < r.points[t - 1].sensitivity;
    }
    EXPECT_TRUE(fell);
}

TEST(SpreadThresholds, EvenlyOverTheResponseRange) {
    CSpotList a, b;
    AddSpot(a, {0, 0}, 4);
    AddSpot(a, {1, 0}, 10);
    AddSpot(b, {0, 0}, -2);
    const CSpotList empty;
    const std::vector<CFrocImage> images{{10, 10, 100, 0, nullptr, &a},
                                         {10, 10, 100, 0, nullptr, &b},
                                         {10, 10, 100, 0, nullptr, &empty},
                                         {10, 10, 100, 0, nullptr, nullptr}};
    EXPECT_EQ(SpreadThresholds(images, 5), (std::vector<double>{-2, 1, 4, 7, 10}));
    EXPECT_EQ(SpreadThresholds(images, 1), (std::vector<double>{-2}));
    EXPECT_TRUE(SpreadThresholds(images, 0).empty());
    EXPECT_TRUE(SpreadThresholds({images[2], images[3]}, 4).empty());
    // Value 0 of the spots is the scale, 3 for all.
    EXPECT_EQ(SpreadThresholds(images, 2, 0), (std::vector<double>{3, 3}));
}

}  // namespace
}  // namespace vistrel
