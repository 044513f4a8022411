#include "detection/grow_from_seeds.h"

#include <map>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "detection/spot_detector.h"
#include "filters/filter.h"

namespace vistrel {
namespace {

// An image whose pixels are f(x, y).
CMImage Make(int32_t w, int32_t h, int depth, const std::function<int(int32_t, int32_t)>& f) {
    CMImage image;
    EXPECT_TRUE(image.Create(w, h, depth));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) image.SetPixel(x, y, f(x, y));
    return image;
}

// A bright disc of radius r at (cx, cy) over background bg (plus a ramp).
CMImage Disc(int32_t w, int32_t h, int32_t cx, int32_t cy, double r, int bg, int peak,
             double ramp = 0) {
    return Make(w, h, 16, [=](int32_t x, int32_t y) {
        const double d = std::hypot(x - cx, y - cy);
        return int(bg + ramp * x + (d <= r ? peak : 0));
    });
}

CPointResponse Seed(int32_t x, int32_t y, double response = 1.0, std::vector<double> values = {}) {
    CPointResponse s;
    s.x = x;
    s.y = y;
    s.response = response;
    s.values = std::move(values);
    return s;
}

CSpotList Seeds(std::initializer_list<CPointResponse> list) {
    CSpotList seeds;
    for (const CPointResponse& s : list) seeds.Append(s);
    return seeds;
}

CGrowParams Params(EGrowAlgorithm algorithm, EGrowInput input = EGrowInput::Image,
                   int32_t window = 12, int directions = 8, bool join = true) {
    CGrowParams p;
    p.algorithm = algorithm;
    p.input = input;
    p.windowPx = window;
    p.directions = directions;
    p.join = join;
    return p;
}

int32_t PixelCount(const CRegion& r) {
    return int32_t(r.Pixels().size());
}

TEST(GrowWindowPixels, ValuesUnitsAndFloor) {
    struct Case {
        double value;
        bool cm;
        double dpi;
        int32_t expected;
    } cases[] = {
        {0.3, true, 583.92, 69},  // 68.97 rounds up
        {0.15, true, 583.92, 34},
        {9, false, 0, 9},
        {2, false, 0, kMinGrowWindow},
        {0.001, true, 583.92, kMinGrowWindow},
        {-4, false, 0, kMinGrowWindow},
        {NAN, false, 0, kMinGrowWindow},
        {INFINITY, true, 300, kMinGrowWindow},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GrowWindowPixels(c.value, c.cm, c.dpi), c.expected) << c.value;
}

// Each algorithm finds the disc around a seed at its centre, and nothing of
// the background far from it.
TEST(GrowFromSeeds, EachAlgorithmFindsTheDisc) {
    const CMImage image = Disc(64, 64, 30, 30, 5.0, 200, 800);
    for (EGrowAlgorithm a : {EGrowAlgorithm::MaxSlope, EGrowAlgorithm::LocalMin,
                             EGrowAlgorithm::MinSlopeCircles, EGrowAlgorithm::LocalStatistics}) {
        for (int directions : {4, 8, 16}) {
            SCOPED_TRACE(kGrowAlgorithmNames[int(a)]);
            SCOPED_TRACE(directions);
            CRegions regions;
            CGrowReport report;
            GrowFromSeeds(image, Seeds({Seed(30, 30)}), regions, nullptr,
                          Params(a, EGrowInput::Image, 12, directions), &report);
            ASSERT_EQ(regions.Count(), 1);
            EXPECT_EQ(report.regionsAdded, 1);
            const CRegion& r = *regions.At(0);
            EXPECT_TRUE(r.Contains(30, 30));
            EXPECT_TRUE(r.Contains(33, 30));
            EXPECT_FALSE(r.Contains(38, 30));
            EXPECT_FALSE(r.Contains(30, 22));
            const CRect b = r.Bounds();
            EXPECT_GE(b.left, 24);
            EXPECT_LE(b.right, 37);
            EXPECT_EQ(r.type, 'm');
        }
    }
}

// On a ramp the window's mean is the ramp's at the seed; the disc stays the
// component above mean + k stdDev.
TEST(GrowFromSeeds, LocalStatisticsDiscOnRamp) {
    const CMImage image = Disc(80, 40, 40, 20, 4.0, 100, 600, 3.0);
    CRegions regions;
    GrowFromSeeds(image, Seeds({Seed(40, 20)}), regions, nullptr,
                  Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 10));
    ASSERT_EQ(regions.Count(), 1);
    const CRegion& r = *regions.At(0);
    EXPECT_TRUE(r.Contains(40, 20));
    EXPECT_GE(r.Bounds().left, 36);
    EXPECT_LE(r.Bounds().right, 45);
}

TEST(GrowFromSeeds, PlateauGivesNoRayRegionAndCirclesStopAtTheWindow) {
    const CMImage flat = Make(40, 40, 8, [](int32_t, int32_t) { return 50; });
    for (EGrowAlgorithm a : {EGrowAlgorithm::MaxSlope, EGrowAlgorithm::LocalMin}) {
        CRegions regions;
        CGrowReport report;
        GrowFromSeeds(flat, Seeds({Seed(20, 20)}), regions, nullptr,
                      Params(a, EGrowInput::Image, 5), &report);
        EXPECT_EQ(regions.Count(), 0) << kGrowAlgorithmNames[int(a)];
        EXPECT_EQ(report.withoutRegion, 1);
    }
    CRegions regions;
    GrowFromSeeds(flat, Seeds({Seed(20, 20)}), regions, nullptr,
                  Params(EGrowAlgorithm::MinSlopeCircles, EGrowInput::Image, 5));
    ASSERT_EQ(regions.Count(), 1);
    const CRect b = regions.At(0)->Bounds();
    EXPECT_EQ(b, (CRect{15, 15, 25, 25}));
}

TEST(GrowFromSeeds, SeedsOutsideOrBelowTheMinimumAreSkipped) {
    const CMImage image = Disc(40, 40, 20, 20, 4.0, 100, 600);
    CRegions regions;
    CGrowReport report;
    CGrowParams p = Params(EGrowAlgorithm::LocalStatistics);
    p.minimumResponse = 5.0;
    GrowFromSeeds(image,
                  Seeds({Seed(-1, 20, 9), Seed(20, 40, 9), Seed(40, 0, 9), Seed(20, 20, 4.9),
                         Seed(20, 20, 5.0)}),
                  regions, nullptr, p, &report);
    EXPECT_EQ(report.skippedSeeds, 4);
    EXPECT_EQ(report.regionsAdded, 1);
    EXPECT_EQ(regions.Count(), 1);
}

TEST(GrowFromSeeds, SeedOnTheBorderGetsAClippedWindow) {
    const CMImage image = Disc(40, 40, 0, 0, 4.0, 100, 600);
    CRegions regions;
    GrowFromSeeds(image, Seeds({Seed(0, 0)}), regions, nullptr,
                  Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 8));
    ASSERT_EQ(regions.Count(), 1);
    EXPECT_TRUE(regions.At(0)->Contains(3, 0));
    EXPECT_EQ(regions.At(0)->Bounds().left, 0);
}

// Two discs that touch: joined they make one region, apart two.
TEST(GrowFromSeeds, TouchingBlobsJoinOrStayApart) {
    const CMImage image = Make(60, 40, 16, [](int32_t x, int32_t y) {
        const bool a = std::hypot(x - 20, y - 20) <= 5, b = std::hypot(x - 30, y - 20) <= 5;
        return a || b ? 900 : 100;
    });
    {
        CRegions regions;
        CGrowReport report;
        GrowFromSeeds(image, Seeds({Seed(17, 20), Seed(33, 20)}), regions, nullptr,
                      Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 12, 8, true),
                      &report);
        ASSERT_EQ(regions.Count(), 1);
        EXPECT_EQ(report.joined, 1);
        EXPECT_TRUE(regions.At(0)->Contains(16, 20));
        EXPECT_TRUE(regions.At(0)->Contains(34, 20));
        EXPECT_EQ(regions.At(0)->spotX, 17);  // the existing region keeps its figures
    }
    {
        CRegions regions;
        CGrowReport report;
        GrowFromSeeds(image, Seeds({Seed(17, 20), Seed(33, 20)}), regions, nullptr,
                      Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 12, 8, false),
                      &report);
        EXPECT_EQ(regions.Count(), 2);
        EXPECT_EQ(report.joined, 0);
    }
}

// Without join a region inside a nearby existing one is the same structure
// grown again and is dropped; one far away is kept.
TEST(GrowFromSeeds, WithoutJoinAContainedDuplicateIsDropped) {
    const CMImage image = Disc(120, 60, 30, 30, 5.0, 100, 800);
    CRegions regions;
    CRegion big(std::vector<CPoint>{{20, 20}, {40, 20}, {40, 40}, {20, 40}},
                CRegion::PointsMode::Polygon);
    ASSERT_TRUE(regions.Add(big));
    CGrowReport report;
    GrowFromSeeds(image, Seeds({Seed(30, 30)}), regions, nullptr,
                  Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 12, 8, false),
                  &report);
    EXPECT_EQ(regions.Count(), 1);
    EXPECT_EQ(report.regionsAdded, 0);
    // The same outline far from the centroid of a huge region is kept.
    CRegions far;
    CRegion huge(std::vector<CPoint>{{0, 0}, {199, 0}, {199, 59}, {0, 59}},
                 CRegion::PointsMode::Polygon);
    ASSERT_TRUE(far.Add(huge));
    const CMImage shifted = Disc(200, 60, 170, 30, 5.0, 100, 800);
    GrowFromSeeds(shifted, Seeds({Seed(170, 30)}), far, nullptr,
                  Params(EGrowAlgorithm::LocalStatistics, EGrowInput::Image, 12, 8, false));
    EXPECT_EQ(far.Count(), 2);
}

TEST(GrowFromSeeds, DiagnosisFromTruthAndStamping) {
    const CMImage image = Make(80, 40, 16, [](int32_t x, int32_t y) {
        return std::hypot(x - 20, y - 20) <= 4 || std::hypot(x - 60, y - 20) <= 4 ? 900 : 100;
    });
    CRegions truth;
    CRegion lesion(std::vector<CPoint>{{10, 10}, {30, 10}, {30, 30}, {10, 30}},
                   CRegion::PointsMode::Polygon);
    lesion.diagnosis = 0;
    ASSERT_TRUE(truth.Add(lesion));
    const CSpotList seeds =
        Seeds({Seed(20, 20, 7.5, {5.9, 7.5, 1.0, 3.25, 0.5}), Seed(60, 20, 2.0)});
    for (EGrowAlgorithm a : {EGrowAlgorithm::MaxSlope, EGrowAlgorithm::LocalMin,
                             EGrowAlgorithm::MinSlopeCircles, EGrowAlgorithm::LocalStatistics}) {
        SCOPED_TRACE(kGrowAlgorithmNames[int(a)]);
        CRegions regions;
        GrowFromSeeds(image, seeds, regions, &truth, Params(a, EGrowInput::Image, 10));
        ASSERT_EQ(regions.Count(), 2);
        const CRegion& in = *regions.At(0);
        const CRegion& out = *regions.At(1);
        const int16_t localMin = a == EGrowAlgorithm::LocalMin;
        EXPECT_EQ(in.diagnosis, localMin ? 1 : 0);
        EXPECT_EQ(out.diagnosis, localMin ? 1 : 2);
        EXPECT_EQ(in.type, 'm');
        EXPECT_EQ(in.scale, 5);
        EXPECT_DOUBLE_EQ(in.response, 7.5);
        EXPECT_DOUBLE_EQ(in.mean, 3.25);
        EXPECT_DOUBLE_EQ(in.energy, 0.5);
        EXPECT_EQ(in.spotX, 20);
        EXPECT_EQ(in.spotY, 20);
        // Missing values stamp as 0.
        EXPECT_EQ(out.scale, 0);
        EXPECT_DOUBLE_EQ(out.mean, 0.0);
        EXPECT_DOUBLE_EQ(out.energy, 0.0);
        EXPECT_DOUBLE_EQ(out.response, 2.0);
    }
}

// The local-statistics rule on a window of values.
TEST(LocalStatisticsRegion, ThresholdAndComponent) {
    // 10 x 10 window: a 3 x 3 block of 10 at (2..4, 2..4), a 2 x 2 block
    // touching it only at a corner, 0 elsewhere.
    CValueWindow win;
    win.rect = {100, 200, 110, 210};
    win.values.assign(100, 0.0f);
    auto set = [&](int32_t x, int32_t y, float v) { win.values[std::size_t(y * 10 + x)] = v; };
    for (int32_t y = 2; y <= 4; ++y)
        for (int32_t x = 2; x <= 4; ++x) set(x, y, 10);
    for (int32_t y = 5; y <= 6; ++y)
        for (int32_t x = 5; x <= 6; ++x) set(x, y, 10);
    struct Case {
        int directions;
        double k;
        std::optional<double> fixed;
        CPoint seed;
        int32_t pixels;  // 0: no region
    } cases[] = {
        {8, 1.5, {}, {103, 203}, 13},     // both blocks
        {4, 1.5, {}, {103, 203}, 9},      // the diagonal one is apart
        {4, 1.5, {}, {106, 206}, 4},      // ... and has its own region
        {16, 1.5, {}, {103, 203}, 13},    // 16 labels as 8
        {8, 0.0, {}, {103, 203}, 13},     // k 0: at or above the mean
        {8, 1.5, {}, {100, 200}, 0},      // the seed is background
        {8, 0.0, {}, {100, 200}, 0},      // still below the mean
        {8, 0.0, -1.0, {100, 200}, 100},  // a fixed threshold below everything
        {8, 1.5, 20.0, {103, 203}, 0},    // a fixed threshold above everything
        {8, 1.5, {}, {99, 203}, 0},       // seed outside the window
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.directions << " k=" << c.k << " seed " << c.seed.x << "," << c.seed.y);
        auto r = LocalStatisticsRegion(win, c.seed, 50, c.k, c.directions, c.fixed);
        if (c.pixels == 0) {
            EXPECT_EQ(r, nullptr);
            continue;
        }
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(PixelCount(*r), c.pixels);
        EXPECT_TRUE(r->Contains(c.seed.x, c.seed.y));
    }
}

// k = 0 keeps exactly the pixels at or above the window's mean: with values
// 0..9 along x the mean is 4.5, so x = 5..9.
TEST(LocalStatisticsRegion, KZeroIsTheMean) {
    CValueWindow win;
    win.rect = {0, 0, 10, 10};
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x) win.values.push_back(float(x));
    auto r = LocalStatisticsRegion(win, {5, 5}, 5, 0.0, 8);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Bounds(), (CRect{5, 0, 10, 10}));
    EXPECT_EQ(PixelCount(*r), 50);
}

// The window is [x - w, x + w): with w = 3 around (5, 5) only 2..7.
TEST(LocalStatisticsRegion, WindowIsHalfOpenAndRaisedToThree) {
    CValueWindow win;
    win.rect = {0, 0, 12, 12};
    win.values.assign(144, 1.0f);
    win.values[0] = 0.0f;  // so that the stdDev of the whole input is not 0
    for (int32_t w : {1, 3}) {
        auto r = LocalStatisticsRegion(win, {5, 5}, w, 0.0, 8);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Bounds(), (CRect{2, 2, 8, 8})) << w;
    }
}

// With the LoG input the seed's scale picks the kernel: the region follows the
// response of that scale, and the response image is grey where computed.
TEST(GrowFromSeeds, LoGInputUsesTheSeedsScale) {
    const CMImage image = Disc(96, 96, 48, 48, 3.0, 100, 600);
    const CFilter kernel = MakeLoGFilter(5);
    CResponseImage full;
    ASSERT_TRUE(ConvolveWithStats(image, kernel, nullptr, nullptr, false, full));
    // Threshold on the full response at the seed's scale, measured over the window.
    CValueWindow win;
    win.rect = {0, 0, 96, 96};
    win.values.assign(full.values.data(), full.values.data() + full.values.size());
    CGrowParams p = Params(EGrowAlgorithm::LocalStatistics, EGrowInput::LoGInScales, 12);
    {
        // Without values 3 and 4 the window is measured.
        CRegions regions;
        auto grey = GrowFromSeeds(image, Seeds({Seed(48, 48, 1.0, {5.0})}), regions, nullptr, p);
        auto expected = LocalStatisticsRegion(win, {48, 48}, 12, p.k, 8);
        ASSERT_NE(expected, nullptr);
        ASSERT_EQ(regions.Count(), 1);
        EXPECT_TRUE(regions.At(0)->IsEqual(*expected));
        ASSERT_NE(grey, nullptr);
        EXPECT_EQ(grey->width, 96);
        EXPECT_EQ(grey->height, 96);
    }
    {
        // With them the threshold is value 3 + k value 4.
        const double t = full.At(48, 48) * 0.5;
        CRegions regions;
        GrowFromSeeds(image, Seeds({Seed(48, 48, 1.0, {5.0, 0, 0, t, 0.0})}), regions, nullptr, p);
        auto expected = LocalStatisticsRegion(win, {48, 48}, 12, p.k, 8, t);
        ASSERT_NE(expected, nullptr);
        ASSERT_EQ(regions.Count(), 1);
        EXPECT_TRUE(regions.At(0)->IsEqual(*expected));
    }
    {
        // Another scale gives another region.
        const CFilter k9 = MakeLoGFilter(9);
        CResponseImage r9;
        ASSERT_TRUE(ConvolveWithStats(image, k9, nullptr, nullptr, false, r9));
        CValueWindow w9;
        w9.rect = {0, 0, 96, 96};
        w9.values.assign(r9.values.data(), r9.values.data() + r9.values.size());
        CRegions regions;
        GrowFromSeeds(image, Seeds({Seed(48, 48, 1.0, {9.7})}), regions, nullptr, p);
        auto expected = LocalStatisticsRegion(w9, {48, 48}, 12, p.k, 8);
        ASSERT_NE(expected, nullptr);
        ASSERT_EQ(regions.Count(), 1);
        EXPECT_TRUE(regions.At(0)->IsEqual(*expected));
        EXPECT_EQ(regions.At(0)->scale, 9);
    }
}

// The response picture is the grey image of a response that is 0 except
// where the growth computed it: every pixel off the background level maps the
// full-image LoG response at the seed's scale between the extremes of those
// values and 0; where two seeds' windows overlap the later seed's scale wins.
TEST(GrowFromSeeds, ResponsePictureMapsTheComputedResponses) {
    const CMImage image = Disc(96, 96, 40, 48, 3.0, 100, 600);
    CResponseImage r5, r9;
    ASSERT_TRUE(ConvolveWithStats(image, MakeLoGFilter(5), nullptr, nullptr, false, r5));
    ASSERT_TRUE(ConvolveWithStats(image, MakeLoGFilter(9), nullptr, nullptr, false, r9));
    CGrowParams p = Params(EGrowAlgorithm::LocalStatistics, EGrowInput::LoGInScales, 12);
    CRegions regions;
    auto grey = GrowFromSeeds(image, Seeds({Seed(40, 48, 1.0, {5.0}), Seed(46, 48, 1.0, {9.0})}),
                              regions, nullptr, p);
    ASSERT_NE(grey, nullptr);
    ASSERT_EQ(grey->width, 96);
    // The background level is the most common one.
    std::map<int, int> counts;
    for (int32_t y = 0; y < 96; ++y)
        for (int32_t x = 0; x < 96; ++x) ++counts[grey->Row(y)[x]];
    int background = 0, most = 0;
    for (auto [g, c] : counts)
        if (c > most) most = c, background = g;
    // Pixels nearer the second seed's window take its scale.
    auto fullAt = [&](int32_t x, int32_t y) {
        return x >= 46 - 12 ? r9.At(x, y) : r5.At(x, y);
    };
    double mn = 0, mx = 0;
    std::vector<CPoint> marked;
    for (int32_t y = 0; y < 96; ++y)
        for (int32_t x = 0; x < 96; ++x)
            if (grey->Row(y)[x] != background) {
                marked.push_back({x, y});
                mn = std::min(mn, double(fullAt(x, y)));
                mx = std::max(mx, double(fullAt(x, y)));
            }
    ASSERT_GT(marked.size(), 20u);
    EXPECT_EQ(background, int(GreyLevelOf(0.0f, mn, mx - mn)));
    for (const CPoint& q : marked)
        EXPECT_NEAR(grey->Row(q.y)[q.x], GreyLevelOf(fullAt(q.x, q.y), mn, mx - mn), 1)
            << q.x << "," << q.y;
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// Max slope with 16 rays around a peak of 200 on 100, seed (10, 10). On a flat
// background every ray's steepest point is its first, and a half-step ray's
// first point (between two pixels) stands for the pixel nearer the seed: the
// outline runs through the 8 neighbours. With (9, 9) = 0 and (9, 10) = 320,
// the ray (-1, -0.5) reads their mean 160 at its first point, so its steepest
// point is the second, (8, 9), moved back half a step to (8, 10); reading
// either pixel alone would have kept the first point.
TEST(GrowFromSeeds, SixteenRaysAverageHalfSteps) {
    struct Case {
        const char* name;
        std::vector<std::pair<CPoint, int>> changes;
        std::vector<CPoint> vertices;  // in ray order
    } cases[] = {
        {"flat",
         {},
         {{9, 9},
          {9, 10},
          {9, 10},
          {9, 10},
          {9, 11},
          {10, 11},
          {10, 11},
          {10, 11},
          {11, 11},
          {11, 10},
          {11, 10},
          {11, 10},
          {11, 9},
          {10, 9},
          {10, 9},
          {10, 9}}},
        {"averaged",
         {{{9, 9}, 0}, {{9, 10}, 320}},
         {{9, 9},
          {8, 10},
          {8, 10},
          {8, 10},
          {9, 11},
          {10, 11},
          {10, 11},
          {10, 11},
          {11, 11},
          {11, 10},
          {11, 10},
          {11, 10},
          {11, 9},
          {10, 9},
          {10, 9},
          {10, 9}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMImage image =
            Make(21, 21, 16, [](int32_t x, int32_t y) { return x == 10 && y == 10 ? 200 : 100; });
        for (const auto& [p, v] : c.changes) image.SetPixel(p.x, p.y, v);
        CRegions regions;
        GrowFromSeeds(image, Seeds({Seed(10, 10)}), regions, nullptr,
                      Params(EGrowAlgorithm::MaxSlope, EGrowInput::Image, 6, 16));
        ASSERT_EQ(regions.Count(), 1);
        const CRegion expected(c.vertices, CRegion::PointsMode::Polygon);
        ASSERT_TRUE(expected.IsValid());
        EXPECT_TRUE(regions.At(0)->IsEqual(expected))
            << regions.At(0)->ToText() << " vs " << expected.ToText();
    }
}

// Local min follows each ray down to its first rise: on a cone falling by 10
// per pixel to a floor at distance 4 the outline is the floor's edge.
TEST(GrowFromSeeds, LocalMinStopsAtTheFirstRise) {
    const CMImage image = Make(31, 31, 16, [](int32_t x, int32_t y) {
        const int32_t d = std::max(std::abs(x - 15), std::abs(y - 15));
        return d <= 4 ? 500 - 10 * d : (d == 5 ? 600 : 100);
    });
    CRegions regions;
    GrowFromSeeds(image, Seeds({Seed(15, 15)}), regions, nullptr,
                  Params(EGrowAlgorithm::LocalMin, EGrowInput::Image, 12, 4));
    ASSERT_EQ(regions.Count(), 1);
    const CRegion expected(std::vector<CPoint>{{11, 15}, {15, 11}, {19, 15}, {15, 19}},
                           CRegion::PointsMode::Polygon);
    EXPECT_TRUE(regions.At(0)->IsEqual(expected)) << regions.At(0)->ToText();
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// A window far larger than the image is clipped, not overflowed.
TEST(GrowFromSeeds, HugeWindowIsClipped) {
    const CMImage image = Disc(40, 40, 20, 20, 4.0, 100, 600);
    for (EGrowInput input : {EGrowInput::Image, EGrowInput::LoGInScales}) {
        CRegions regions;
        CGrowParams p = Params(EGrowAlgorithm::LocalStatistics, input, INT32_MAX);
        GrowFromSeeds(image, Seeds({Seed(20, 20, 1.0, {5.0})}), regions, nullptr, p);
        ASSERT_EQ(regions.Count(), 1) << kGrowInputNames[int(input)];
        EXPECT_TRUE(regions.At(0)->Contains(20, 20));
    }
}

}  // namespace
}  // namespace vistrel

namespace vistrel {
namespace {

// The white top-hat takes the ramp away: with k = 0 the region is the disc
// alone, where on the grey levels the bright side of the ramp joins it.
TEST(GrowFromSeeds, WhiteTopHatInputRemovesTheBackground) {
    const CMImage image = Disc(60, 40, 30, 20, 4.0, 100, 600, 60.0);
    CGrowParams p = Params(EGrowAlgorithm::LocalStatistics, EGrowInput::WhiteTopHat, 6);
    p.k = 0.0;
    CRegions topHat;
    GrowFromSeeds(image, Seeds({Seed(30, 20)}), topHat, nullptr, p);
    ASSERT_EQ(topHat.Count(), 1);
    EXPECT_GE(topHat.At(0)->Bounds().left, 26);
    EXPECT_LE(topHat.At(0)->Bounds().right, 35);
    EXPECT_GE(topHat.At(0)->Bounds().top, 16);
    EXPECT_LE(topHat.At(0)->Bounds().bottom, 25);
    p.input = EGrowInput::Image;
    CRegions grey;
    GrowFromSeeds(image, Seeds({Seed(30, 20)}), grey, nullptr, p);
    ASSERT_EQ(grey.Count(), 1);
    EXPECT_GT(PixelCount(*grey.At(0)), PixelCount(*topHat.At(0)) + 20);
}

}  // namespace
}  // namespace vistrel
