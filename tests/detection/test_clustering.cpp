#include "detection/clustering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace vistrel {
namespace {

// The clustering written straight from its description, without any of the
// library's shortcuts: a W x H label image, a region query that scans the
// (2e+1)^2 window pixel by pixel, a literal queue. Points at one pixel share
// the pixel's outcome (the label image holds one label per pixel).
class CNaiveClustering {
  public:
    CNaiveClustering(const std::vector<CPoint>& points, int w, int h)
        : points_(points), w_(w), h_(h) {}

    std::vector<int32_t> Run(const CClusterPixelParams& p) {
        label_.assign(std::size_t(w_) * h_, 0);
        std::vector<int> list;  // indices of the points still in the list
        for (std::size_t i = 0; i < points_.size(); ++i) {
            const CPoint q = points_[i];
            if (q.x < 0 || q.y < 0 || q.x >= w_ || q.y >= h_) continue;
            At(q) = 1;
            list.push_back(int(i));
        }
        FirstPass(list, p.diameterPx * 0.5, p.minObjects);
        // Step 3: clusters in order of first use; a pixel keeps the cluster
        // its first point gave it.
        std::vector<int> clusterOfPixel(std::size_t(w_) * h_, -1);
        std::vector<int> idOfCluster, pixelsOfCluster;
        std::vector<int> clusterOfPoint(points_.size(), -1);
        std::vector<int> kept;
        for (int i : list) {
            const CPoint q = points_[std::size_t(i)];
            int& c = clusterOfPixel[Index(q)];
            if (c < 0) {
                const int l = At(q);
                if (l == 1 || l == 2) continue;
                int found = -1;
                for (std::size_t k = 0; k < idOfCluster.size(); ++k)
                    if (idOfCluster[k] == l) found = int(k);
                if (found < 0) {
                    found = int(idOfCluster.size());
                    idOfCluster.push_back(l);
                    pixelsOfCluster.push_back(0);
                }
                c = found;
                ++pixelsOfCluster[std::size_t(found)];
            }
            clusterOfPoint[std::size_t(i)] = c;
            kept.push_back(i);
        }
        for (std::size_t k = 0; k < label_.size(); ++k) label_[k] = clusterOfPixel[k] >= 0 ? 1 : 0;
        // Step 4.
        std::vector<bool> alive(idOfCluster.size());
        for (std::size_t c = 0; c < alive.size(); ++c)
            alive[c] = pixelsOfCluster[c] >= p.minObjects;
        std::vector<int> remaining;
        for (int i : kept)
            if (alive[std::size_t(clusterOfPoint[std::size_t(i)])]) remaining.push_back(i);
        // Step 5.
        if (p.minSeparated > 0) {
            FirstPass(remaining, p.separationPx * 0.5, p.minSeparated);
            for (std::size_t c = 0; c < alive.size(); ++c) {
                if (!alive[c]) continue;
                bool any = false;
                for (int i : remaining)
                    if (clusterOfPoint[std::size_t(i)] == int(c) &&
                        At(points_[std::size_t(i)]) != 2)
                        any = true;
                alive[c] = any;
            }
        }
        std::vector<int> number(alive.size(), 0);
        int next = 0;
        for (std::size_t c = 0; c < alive.size(); ++c)
            if (alive[c]) number[c] = ++next;
        std::vector<int32_t> labels(points_.size(), 0);
        for (int i : remaining)
            labels[std::size_t(i)] = number[std::size_t(clusterOfPoint[std::size_t(i)])];
        return labels;
    }

  private:
    std::size_t Index(CPoint q) const { return std::size_t(q.y) * w_ + q.x; }
    int& At(CPoint q) { return label_[Index(q)]; }

    std::vector<CPoint> Query(CPoint q, double e) {
        std::vector<CPoint> out;
        const int y0 = std::max(0, int(std::trunc(q.y - e)));
        const int y1 = int(std::trunc(q.y + e)) >= h_ ? h_ : int(std::trunc(q.y + e)) + 1;
        const int x0 = std::max(0, int(std::trunc(q.x - e)));
        const int x1 = int(std::trunc(q.x + e)) >= w_ ? w_ : int(std::trunc(q.x + e)) + 1;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (label_[std::size_t(y) * w_ + x] != 0 &&
                    std::abs(q.x - x) + std::abs(q.y - y) <= e)
                    out.push_back({x, y});
        return out;
    }

    bool Expand(CPoint p, int c, double e, int m) {
        std::vector<CPoint> seeds = Query(p, e);
        if (int(seeds.size()) < m) {
            At(p) = 2;
            return false;
        }
        std::deque<CPoint> queue;
        for (CPoint q : seeds) {
            At(q) = c;
            if (!(q == p)) queue.push_back(q);
        }
        while (!queue.empty()) {
            const CPoint q = queue.front();
            const std::vector<CPoint> result = Query(q, e);
            if (int(result.size()) >= m) {
                for (CPoint r : result) {
                    if (At(r) == 1) {
                        At(r) = c;
                        queue.push_back(r);
                    } else if (At(r) == 2) {
                        At(r) = c;
                    }
                }
            }
            queue.pop_front();
        }
        return true;
    }

    void FirstPass(const std::vector<int>& list, double e, int m) {
        int id = 3;
        for (int i : list)
            if (At(points_[std::size_t(i)]) == 1 && Expand(points_[std::size_t(i)], id, e, m)) ++id;
    }

    const std::vector<CPoint>& points_;
    int w_, h_;
    std::vector<int> label_;
};

CClusterPixelParams Pixels(double diameter, int minObjects, double separation = 0,
                           int minSeparated = 0) {
    return {minObjects, diameter, minSeparated, separation};
}

TEST(ClusterUnits, ConversionsRoundHalfUp) {
    const struct {
        double value, res;
        int32_t cm, mm, mm2;
    } cases[] = {
        {1.0, 254.0, 100, 10, 100}, {1.0, 583.92, 230, 23, 528},  // 229.89, 22.99, 528.49
        {0.5, 254.0, 50, 5, 50},    {0.0, 583.92, 0, 0, 0},
        {2.54, 0.5, 1, 0, 0},  // exactly half a pixel rounds up
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CmToPixels(c.value, c.res), c.cm) << c.value << " at " << c.res;
        EXPECT_EQ(MmToPixels(c.value, c.res), c.mm) << c.value << " at " << c.res;
        EXPECT_EQ(Mm2ToPixels(c.value, c.res), c.mm2) << c.value << " at " << c.res;
    }
    EXPECT_EQ(CmToPixels(1e300, 600), INT32_MAX);
    EXPECT_EQ(CmToPixels(std::nan(""), 600), 0);

    const CClusterPixelParams p = InPixels(CClusterParams{}, 583.92);
    EXPECT_EQ(p.minObjects, 3);
    EXPECT_EQ(p.diameterPx, 230.0);
    EXPECT_EQ(p.minSeparated, 0);
    EXPECT_EQ(p.separationPx, 115.0);  // 114.94 rounded
}

TEST(ClusterPointLabels, SmallCases) {
    const struct {
        const char* name;
        std::vector<CPoint> points;
        CClusterPixelParams params;
        std::vector<int32_t> expected;
    } cases[] = {
        {"city-block distance exactly e is a neighbour",
         {{10, 10}, {12, 10}},
         Pixels(4, 2),
         {1, 1}},
        {"diagonal at exactly e", {{10, 10}, {11, 11}}, Pixels(4, 2), {1, 1}},
        {"e + 0.5 is not", {{10, 10}, {12, 10}}, Pixels(3, 2), {0, 0}},
        {"three within e form a cluster", {{5, 5}, {6, 6}, {7, 5}}, Pixels(4, 3), {1, 1, 1}},
        {"two within e do not", {{5, 5}, {6, 6}, {40, 40}}, Pixels(4, 3), {0, 0, 0}},
        {"clusters numbered by first use in list order",
         {{40, 40}, {5, 5}, {41, 40}, {6, 5}, {42, 40}, {7, 5}},
         Pixels(4, 3),
         {1, 2, 1, 2, 1, 2}},
        // A chain whose ends are border points only: the whole chain is one
        // cluster, a point out of reach is dropped.
        {"chain through core points",
         {{0, 0}, {2, 0}, {4, 0}, {6, 0}, {8, 0}, {20, 0}},
         Pixels(4, 3),
         {1, 1, 1, 1, 1, 0}},
        // Noise first, then taken as a border point of a later cluster.
        {"noise absorbed later", {{0, 0}, {2, 0}, {4, 0}, {3, 1}}, Pixels(4, 3), {1, 1, 1, 1}},
        // c's cluster loses its border point b to the core point P found later
        // and is left with 3 < 4 pixels: dropped.
        {"cluster robbed below the minimum is dropped",
         {{5, 5}, {4, 5}, {5, 4}, {6, 5}, {7, 5}, {8, 5}, {7, 4}},
         Pixels(2, 4),
         {0, 0, 0, 1, 1, 1, 1}},
        // The robbed cluster's points, though dropped, still count as
        // neighbours in the separation pass: without them no point of the
        // other cluster would reach 5.
        {"dropped clusters still count in the separation pass",
         {{5, 5}, {4, 5}, {5, 4}, {6, 5}, {7, 5}, {8, 5}, {7, 4}},
         Pixels(2, 4, 4, 5),
         {0, 0, 0, 1, 1, 1, 1}},
        {"points at one pixel count once", {{5, 5}, {5, 5}, {6, 5}}, Pixels(4, 3), {0, 0, 0}},
        {"points at one pixel share its cluster",
         {{5, 5}, {6, 5}, {5, 5}, {7, 5}},
         Pixels(4, 3),
         {1, 1, 1, 1}},
        {"points outside the image take no part",
         {{0, 0}, {1, 0}, {-1, 0}, {2, 0}, {100, 0}},
         Pixels(4, 3),
         {1, 1, 0, 1, 0}},
        {"min objects 1 makes every point a cluster", {{0, 0}, {30, 30}}, Pixels(0, 1), {1, 2}},
        // Two groups, one with a tight core: min separated 0 keeps both.
        {"no separation pass",
         {{0, 0}, {4, 0}, {8, 0}, {30, 0}, {31, 0}, {32, 0}},
         Pixels(10, 3, 2, 0),
         {1, 1, 1, 2, 2, 2}},
        {"separation pass drops the loose cluster",
         {{0, 0}, {4, 0}, {8, 0}, {30, 0}, {31, 0}, {32, 0}},
         Pixels(10, 3, 2, 2),
         {0, 0, 0, 1, 1, 1}},
        // Only two of the four points are close, yet the cluster stays whole.
        {"separation keeps a whole cluster for one close pair",
         {{0, 0}, {4, 0}, {8, 0}, {9, 0}},
         Pixels(10, 3, 2, 2),
         {1, 1, 1, 1}},
        {"separation needing more than any cluster has",
         {{0, 0}, {1, 0}, {2, 0}},
         Pixels(4, 3, 2, 9),
         {0, 0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<int32_t> labels;
        int32_t count = -1;
        ASSERT_TRUE(ClusterPointLabels(c.points, 50, 50, c.params, labels, count)) << c.name;
        EXPECT_EQ(labels, c.expected) << c.name;
        int32_t most = 0;
        for (int32_t l : c.expected) most = std::max(most, l);
        EXPECT_EQ(count, most) << c.name;
        EXPECT_EQ(CNaiveClustering(c.points, 50, 50).Run(c.params), c.expected)
            << c.name << " (reference)";
    }
}

TEST(ClusterPointLabels, RefusesOnlyWhatItCannotRun) {
    std::vector<int32_t> labels{7};
    int32_t count = 5;
    EXPECT_FALSE(ClusterPointLabels({{0, 0}}, 0, 10, Pixels(4, 1), labels, count));
    EXPECT_TRUE(labels.empty());
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(ClusterPointLabels({{0, 0}}, 10, -1, Pixels(4, 1), labels, count));

    EXPECT_TRUE(ClusterPointLabels({}, 10, 10, Pixels(4, 1), labels, count));
    EXPECT_TRUE(labels.empty());

    // A NaN diameter reaches nothing; an unbounded one everything.
    EXPECT_EQ(ClusterPointLabels({{0, 0}, {1, 0}}, 10, 10, Pixels(std::nan(""), 1)),
              (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(ClusterPointLabels({{0, 0}, {9, 9}}, 10, 10, Pixels(INFINITY, 2)),
              (std::vector<int32_t>{1, 1}));
}

TEST(ClusterPointLabels, HugeImagesNeedNoImageSizedMemory) {
    // A label image of this size would need terabytes.
    const int32_t side = 2000000000;
    const std::vector<CPoint> points{
        {side - 1, side - 1}, {side - 3, side - 1}, {side - 2, side - 2}, {0, 0}, {5, 0}};
    EXPECT_EQ(ClusterPointLabels(points, side, side, Pixels(4, 3)),
              (std::vector<int32_t>{1, 1, 1, 0, 0}));
    // e = side / 2: the two far corners stay apart.
    EXPECT_EQ(ClusterPointLabels(points, side, side, Pixels(double(side), 3)),
              (std::vector<int32_t>{1, 1, 1, 0, 0}));
    EXPECT_EQ(ClusterPointLabels(points, side, side, Pixels(4.0 * side, 3)),
              (std::vector<int32_t>{1, 1, 1, 1, 1}));
}

// Random scatter with some dense groups, and duplicates.
std::vector<CPoint> RandomPoints(std::mt19937& rng, int w, int h, int scattered, int groups,
                                 int perGroup, int spread) {
    std::uniform_int_distribution<int> x(0, w - 1), y(0, h - 1), d(-spread, spread);
    std::vector<CPoint> points;
    for (int i = 0; i < scattered; ++i) points.push_back({x(rng), y(rng)});
    for (int g = 0; g < groups; ++g) {
        const CPoint c{x(rng), y(rng)};
        for (int i = 0; i < perGroup; ++i) {
            const CPoint p{c.x + d(rng), c.y + d(rng)};
            // Some fall outside the image on purpose.
            points.push_back(p);
        }
    }
    std::shuffle(points.begin(), points.end(), rng);
    if (!points.empty())
        for (int i = 0; i < 3; ++i) points.push_back(points[std::size_t(i * 7) % points.size()]);
    return points;
}

TEST(ClusterPointLabels, AgreesWithTheLiteralLabelImage) {
    const struct {
        int w, h, scattered, groups, perGroup, spread;
        CClusterPixelParams params;
    } cases[] = {
        {60, 40, 40, 3, 8, 4, Pixels(6, 3)},
        {60, 40, 120, 0, 0, 0, Pixels(9, 3)},
        {60, 40, 120, 0, 0, 0, Pixels(9, 2, 4, 2)},
        {80, 80, 60, 5, 12, 5, Pixels(11, 4, 5, 3)},
        {80, 80, 200, 4, 10, 3, Pixels(7, 5, 3, 2)},
        {120, 30, 150, 6, 6, 6, Pixels(13, 3, 7, 4)},
        {50, 50, 300, 0, 0, 0, Pixels(4, 3, 2, 2)},
        {50, 50, 30, 2, 30, 2, Pixels(3, 6, 2, 3)},
        {200, 200, 80, 3, 20, 10, Pixels(24, 4, 10, 3)},
        {40, 40, 80, 0, 0, 0, Pixels(0, 1, 3, 2)},
        {40, 40, 80, 0, 0, 0, Pixels(5, 1, 0, 1)},
    };
    int nonTrivial = 0;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        for (unsigned seed = 1; seed <= 6; ++seed) {
            std::mt19937 rng(seed * 977 + unsigned(k));
            const std::vector<CPoint> points =
                RandomPoints(rng, c.w, c.h, c.scattered, c.groups, c.perGroup, c.spread);
            const std::vector<int32_t> expected = CNaiveClustering(points, c.w, c.h).Run(c.params);
            ASSERT_EQ(ClusterPointLabels(points, c.w, c.h, c.params), expected)
                << "case " << k << " seed " << seed;
            int in = 0;
            for (int32_t l : expected) in += l > 0;
            nonTrivial += in > 0 && in < int(points.size());
        }
    }
    // The cases are meant to produce partial clusterings, not all or nothing.
    EXPECT_GT(nonTrivial, int(std::size(cases)) * 3);
}

CSpotList SpotsAt(const std::vector<CPoint>& points, double response = 10.0) {
    CSpotList list;
    for (std::size_t i = 0; i < points.size(); ++i) {
        CPointResponse spot(points[i], response + double(i), 5.0);
        spot.Append(response + double(i));
        list.Append(spot);
    }
    return list;
}

TEST(MakeClusters, ReducesTheListAndFillsClustersInListOrder) {
    const std::vector<CPoint> points{{40, 40}, {5, 5},   {20, 20}, {41, 40},
                                     {6, 5},   {42, 40}, {7, 5}};
    CSpotList list = SpotsAt(points);
    CClusters clusters;
    clusters.Add(std::make_unique<CCluster>());  // stale, must go
    ASSERT_TRUE(MakeClusters(clusters, list, 50, 50, Pixels(4, 3)));
    ASSERT_EQ(clusters.Count(), 2);
    EXPECT_EQ(clusters.At(0)->Points(), (std::vector<CPoint>{{40, 40}, {41, 40}, {42, 40}}));
    EXPECT_EQ(clusters.At(1)->Points(), (std::vector<CPoint>{{5, 5}, {6, 5}, {7, 5}}));
    ASSERT_EQ(list.Count(), 6);
    const double responses[] = {10, 11, 13, 14, 15, 16};  // (20, 20) removed
    for (int32_t i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list[i].response, responses[i]) << i;
        EXPECT_EQ(list[i].values.size(), 2u) << i;
    }
}

TEST(MakeClusters, EmptyAndFailingRuns) {
    CClusters clusters;
    clusters.Add(std::make_unique<CCluster>());
    CSpotList empty;
    EXPECT_TRUE(MakeClusters(clusters, empty, 50, 50, Pixels(4, 3)));
    EXPECT_EQ(clusters.Count(), 0);

    // No cluster at all: the list empties.
    CSpotList loose = SpotsAt({{0, 0}, {20, 20}});
    EXPECT_TRUE(MakeClusters(clusters, loose, 50, 50, Pixels(4, 3)));
    EXPECT_EQ(clusters.Count(), 0);
    EXPECT_EQ(loose.Count(), 0);

    // Cannot run: nothing is lost.
    clusters.Add(std::make_unique<CCluster>());
    CSpotList kept = SpotsAt({{0, 0}, {1, 0}, {2, 0}});
    EXPECT_FALSE(MakeClusters(clusters, kept, 0, 0, Pixels(4, 3)));
    EXPECT_EQ(clusters.Count(), 0);
    EXPECT_EQ(kept.Count(), 3);
}

TEST(SpotClusters, SelectsThenClusters) {
    // Responses 10..15: a threshold of 13 keeps the last three.
    CSpotList spots = SpotsAt({{0, 0}, {30, 30}, {1, 0}, {2, 0}, {3, 0}, {40, 40}});
    CClusters clusters;
    CSpotList out = SpotsAt({{9, 9}});
    ASSERT_TRUE(SpotClusters(50, 50, clusters, out, spots, false, 13.0, -1, -1, Pixels(4, 3)));
    ASSERT_EQ(clusters.Count(), 0);  // (2,0), (3,0) are too few
    EXPECT_EQ(out.Count(), 0);

    ASSERT_TRUE(SpotClusters(50, 50, clusters, out, spots, false, 10.0, -1, -1, Pixels(4, 3)));
    ASSERT_EQ(clusters.Count(), 1);
    EXPECT_EQ(clusters.At(0)->Points(), (std::vector<CPoint>{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(out.Count(), 4);

    // The scale-5 spots excluded: nothing selected, nothing clustered.
    ASSERT_TRUE(SpotClusters(50, 50, clusters, out, spots, false, 0.0, -1, 5, Pixels(4, 3)));
    EXPECT_EQ(clusters.Count(), 0);
    EXPECT_EQ(out.Count(), 0);
}

// A square truth region covering [x0, x1] x [y0, y1].
CRegion Square(int x0, int y0, int x1, int y1) {
    return CRegion({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, CRegion::PointsMode::Polygon);
}

CClusters ClustersOf(const std::vector<std::vector<CPoint>>& groups) {
    CClusters clusters;
    for (const auto& g : groups) {
        auto c = std::make_unique<CCluster>();
        for (CPoint p : g) c->AddPoint(p.x, p.y);
        clusters.Add(std::move(c));
    }
    return clusters;
}

TEST(EvaluateSpotClusters, LinesOfHandMadeDocuments) {
    CRegions twoTruths;
    twoTruths.Add(Square(10, 10, 20, 20));
    twoTruths.Add(Square(60, 60, 70, 70));
    CRegions none;
    // Bounds (w x h): 4x3 = 12, 2x2 = 4, 5x5 = 25, 2x1 = 2, 3x1 = 3.
    const std::vector<CPoint> hit4{{11, 11}, {12, 12}, {14, 13}, {13, 11}};
    const std::vector<CPoint> twoInside{{19, 19}, {20, 20}, {23, 23}};  // overlaps, 2 inside
    const std::vector<CPoint> far{{40, 40}, {44, 44}, {42, 42}};
    const std::vector<CPoint> smallInSecond{{60, 60}, {61, 60}};
    const std::vector<CPoint> edge{{68, 70}, {70, 70}, {69, 70}};  // on the boundary: inside
    const struct {
        const char* name;
        int subtlety;
        const CRegions& truth;
        std::vector<std::vector<CPoint>> clusters;
        double diameter;
        std::string line;
        std::vector<int> hits;
    } cases[] = {
        {"first qualifying hit, later counts add up, one FP",
         3,
         twoTruths,
         {hit4, twoInside, far},
         2.0,
         "3; 2; 3; 1; 1; 1;[6]; [6.25];[6.25];[3.00];",
         {6}},
        // A touching cluster that comes before the qualifying one adds nothing.
        {"counts before the first hit are not kept",
         1,
         twoTruths,
         {twoInside, hit4},
         2.0,
         "1; 2; 2; 0; 1; 1;[4]; [6.25];[3.00];",
         {4}},
        {"small clusters touching truth are neither TP nor FP",
         0,
         twoTruths,
         {smallInSecond, twoInside},
         1.0,
         "0; 2; 2; 0; 2; 0;[]; [25.00];[2.00];",
         {}},
        {"both truths hit, counts in truth order",
         2,
         twoTruths,
         {edge, hit4, smallInSecond},
         1.0,
         "2; 2; 3; 0; 0; 2;[4,5]; [12.00];[3.00];[2.00];",
         {4, 5}},
        {"no truth: every cluster is an FP",
         4,
         none,
         {hit4, far},
         5.0,
         "4; 0; 2; 2; 0; 0;[]; [1.00];[0.48];",
         {}},
        {"no clusters", 5, twoTruths, {}, 5.0, "5; 2; 0; 0; 2; 0;[]; ", {}},
        {"zero diameter gives pixel areas",
         0,
         none,
         {hit4},
         0.0,
         "0; 0; 1; 1; 0; 0;[]; [12.00];",
         {}},
    };
    for (const auto& c : cases) {
        CSpotClusterScore score;
        EXPECT_EQ(EvaluateSpotClusters(c.subtlety, c.truth, ClustersOf(c.clusters), c.diameter,
                                       false, &score),
                  c.line)
            << c.name;
        EXPECT_EQ(score.hitCounts, c.hits) << c.name;
        EXPECT_EQ(score.tp, int(c.hits.size())) << c.name;
        EXPECT_EQ(score.clusters, int(c.clusters.size())) << c.name;
    }
}

TEST(EvaluateSpotClusters, NoSpotsAndUnusableTruth) {
    CRegions truth;
    truth.Add(Square(10, 10, 20, 20));
    truth.Add(Square(30, 10, 40, 20));
    CSpotClusterScore score;
    EXPECT_EQ(EvaluateSpotClusters(7, truth, ClustersOf({{{11, 11}, {12, 12}, {13, 13}}}), 10.0,
                                   true, &score),
              "7; 2; 0; 0; 2; 0; [];");
    EXPECT_EQ(score.truth, 2);
    EXPECT_EQ(score.fn, 2);
    EXPECT_EQ(score.tp, 0);

    // A truth region that lost its outline is not truth, and is never hit.
    truth.At(0)->MakeEmpty();
    EXPECT_EQ(EvaluateSpotClusters(0, truth, ClustersOf({{{11, 11}, {12, 12}, {13, 13}}}), 1.0),
              "0; 1; 1; 1; 1; 0;[]; [9.00];");
    EXPECT_EQ(std::string(kSpotClusterHeader),
              "Subtlety; True Locs; FP+TP; FP; FN; TP; microcalcification number in TPs; cluster "
              "areas;\n");
}

TEST(EvaluateSpotClusters, WholeRunOnAnImage) {
    CRegions truth;
    truth.Add(Square(10, 10, 20, 20));
    // At 25.4 dpi the default 1 cm diameter is 10 pixels.
    const CSpotList spots = SpotsAt({{11, 11}, {12, 12}, {13, 13}, {40, 40}, {41, 41}, {42, 40}});
    CClusters clusters;
    CSpotList out;
    CSpotClusterScore score;
    EXPECT_EQ(EvaluateSpotClusters(2, truth, 100, 100, 25.4, CClusterParams{}, clusters, out, spots,
                                   false, 0.0, -1, -1, &score),
              "2; 1; 2; 1; 0; 1;[3]; [0.09];[0.06];");
    EXPECT_EQ(clusters.Count(), 2);
    EXPECT_EQ(out.Count(), 6);
    EXPECT_EQ(score.hitCounts, (std::vector<int>{3}));

    EXPECT_EQ(EvaluateSpotClusters(2, truth, 100, 100, 25.4, CClusterParams{}, clusters, out,
                                   CSpotList{}, false, 0.0, -1, -1),
              "2; 1; 0; 0; 1; 0; [];");
    EXPECT_EQ(clusters.Count(), 0);
    EXPECT_EQ(out.Count(), 0);
}

}  // namespace
}  // namespace vistrel
