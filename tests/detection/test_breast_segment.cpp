#include "detection/breast_segment.h"

#include "core/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vistrel {
namespace {

namespace fs = std::filesystem;
using Points = std::vector<CPoint>;

CMImage Filled(int32_t w, int32_t h, int depth, int32_t value, uint16_t valueOffset = 0) {
    CMImage image(w, h, depth, valueOffset);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) image.SetPixel(x, y, value);
    return image;
}

int32_t Sample(const CMImageBase& image, int32_t x, int32_t y) {
    return image.depth > 8 ? image.Row16(y)[x] : static_cast<uint16_t>(image.GetPixel(x, y));
}

// A mammogram stand-in: a half ellipse of tissue against the left edge
// (mirrored for the right view) on a dark, slightly noisy background.
struct CPhantomBreast {
    CMImage image;
    CMImageBase truth;  // 1 inside the ellipse
};

CPhantomBreast MakeBreast(int32_t w, int32_t h, bool onRight, uint32_t seed = 7) {
    CPhantomBreast p{CMImage(w, h, 12), {}};
    p.truth.Create(w, h, 1, 0);
    std::mt19937 rng(seed);
    const double a = 0.6 * w, b = 0.42 * h, cy = 0.5 * h;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const double dx = (onRight ? (w - 1 - x) : x) / a, dy = (y - cy) / b;
            const double r2 = dx * dx + dy * dy;
            const bool inside = r2 <= 1.0;
            const int32_t v =
                inside ? int32_t(900 + 900 * (1.0 - r2) + rng() % 80) : int32_t(30 + rng() % 12);
            p.image.SetPixel(x, y, v);
            p.truth.SetPixel(x, y, inside ? 1 : 0);
        }
    return p;
}

double Dice(const CMImageBase& mask, const std::function<bool(int32_t, int32_t)>& truth) {
    int64_t both = 0, inMask = 0, inTruth = 0;
    for (int32_t y = 0; y < mask.height; ++y)
        for (int32_t x = 0; x < mask.width; ++x) {
            const bool m = mask.GetPixel(x, y) != 0;
            const bool t = truth(x, y);
            both += m && t;
            inMask += m;
            inTruth += t;
        }
    return inMask + inTruth == 0 ? 0.0 : 2.0 * double(both) / double(inMask + inTruth);
}

// ---------------------------------------------------------------- ScaleByFactor

TEST(ScaleByFactor, KeepsEveryTwentiethPixelAndDropsWhatFallsOutside) {
    CMImage image(1010, 2000, 16);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x)
            image.Row16(y)[x] = static_cast<uint16_t>(x == 1000 ? 65535 : 40000 + x + y);
    image.valueOffset = 100;
    const auto r = ScaleByFactor(image, 0.05);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->width, 50);
    EXPECT_EQ(r->height, 100);
    EXPECT_EQ(r->depth, 16);
    EXPECT_EQ(r->valueOffset, 0);
    for (int32_t y = 0; y < r->height; ++y)
        for (int32_t x = 0; x < r->width; ++x) {
            ASSERT_EQ(Sample(*r, x, y), 40000 + 20 * x + 20 * y) << x << "," << y;
        }
}

TEST(ScaleByFactor, OtherFactorsDepthsAndRefusals) {
    CMImage four = Filled(30, 30, 4, 0);
    four.SetPixel(10, 20, 9);
    four.SetPixel(11, 20, 5);
    const auto tenth = ScaleByFactor(four, 0.1);
    ASSERT_TRUE(tenth);
    EXPECT_EQ(tenth->width, 3);
    EXPECT_EQ(tenth->depth, 4);
    EXPECT_EQ(tenth->GetPixel(1, 2), 9);
    // An enlargement must still advance through the source.
    const auto twice = ScaleByFactor(four, 2.0);
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->width, 60);
    EXPECT_EQ(twice->GetPixel(20, 40), 9);
    EXPECT_EQ(twice->GetPixel(22, 40), 5);

    const CMImage small = Filled(19, 400, 8, 1);
    for (double f : {0.0, -0.05, std::nan(""), double(INFINITY)})
        EXPECT_FALSE(ScaleByFactor(four, f)) << f;
    EXPECT_FALSE(ScaleByFactor(small, 0.05));  // 19 columns give none
    EXPECT_FALSE(ScaleByFactor(CMImage(), 0.05));
}

// --------------------------------------------------------------- ThresholdBands

// A 1 x n ramp 0, 1, 2, ... in an 8-bit image.
CMImage Ramp(int32_t n, uint16_t valueOffset = 0) {
    CMImage image(n, 1, 8, valueOffset);
    for (int32_t x = 0; x < n; ++x) image.SetPixel(x, 0, x);
    return image;
}

std::vector<int> RowOf(const CMImage& image) {
    std::vector<int> row;
    for (int32_t x = 0; x < image.width; ++x) row.push_back(image.GetPixel(x, 0));
    return row;
}

TEST(ThresholdBands, BandsCorrectionsAndDepth) {
    struct {
        const char* name;
        uint16_t offset;
        double low, high;
        bool middleHigh;
        double lowOut, highOut;
        int depth;
        std::vector<int> row;  // of the ramp 0..7
    } cases[] = {
        {"bands, middle high", 0, 2, 5, true, 2, 5, 4, {0, 0, 0, 15, 15, 15, 7, 7}},
        {"bands, middle low", 0, 2, 5, false, 2, 5, 4, {0, 0, 0, 7, 7, 7, 15, 15}},
        {"equal, middle high off", 0, 3, 3, false, 3, 3, 1, {0, 0, 0, 0, 1, 1, 1, 1}},
        {"equal, middle high on", 0, 3, 3, true, 3, 3, 1, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"high above maxValue", 0, 3, 256, false, 3, 3, 1, {0, 0, 0, 0, 1, 1, 1, 1}},
        {"low above high", 0, 4, 1, false, 4, 4, 1, {0, 0, 0, 0, 0, 1, 1, 1}},
        {"high at minus the offset", 2, 1, -2, false, 1, 1, 1, {0, 0, 0, 0, 1, 1, 1, 1}},
        {"offset shifts both", 2, -1, 2, true, -1, 2, 4, {0, 0, 15, 15, 15, 7, 7, 7}},
        {"low below minus the offset", 2, -5, 1, false, 1, 1, 1, {0, 0, 0, 0, 1, 1, 1, 1}},
        {"high above maxValue less the offset",
         10,
         0,
         250,
         false,
         0,
         0,
         1,
         {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        double low = c.low, high = c.high;
        const auto out = ThresholdBands(Ramp(8, c.offset), low, high, true, c.middleHigh);
        ASSERT_TRUE(out) << c.name;
        EXPECT_EQ(low, c.lowOut) << c.name;
        EXPECT_EQ(high, c.highOut) << c.name;
        EXPECT_EQ(out->depth, c.depth) << c.name;
        EXPECT_EQ(RowOf(*out), c.row) << c.name;
    }
    double low = 1, high = 2;
    EXPECT_FALSE(ThresholdBands(CMImage(), low, high, true, true));
}

// The clean-up by its definition: whole passes on copies, then the raster sweep.
std::vector<int> CleanedReference(std::vector<int> q, int w, int h, int f) {
    const auto in = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };
    for (bool changed = true; changed;) {
        changed = false;
        const std::vector<int> copy = q;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (copy[y * w + x] != f) continue;
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if ((dx || dy) && in(x + dx, y + dy) && copy[(y + dy) * w + x + dx] == f)
                            ++n;
                if (n <= 1) {
                    q[y * w + x] = 0;
                    changed = true;
                }
            }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (q[y * w + x] != f) continue;
            bool ring = false;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    if ((std::abs(dx) == 2 || std::abs(dy) == 2) && in(x + dx, y + dy) &&
                        q[(y + dy) * w + x + dx] != 0)
                        ring = true;
            if (ring) continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (in(x + dx, y + dy)) q[(y + dy) * w + x + dx] = 0;
        }
    return q;
}

TEST(ThresholdBands, CleanUpMatchesItsDefinition) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 60; ++trial) {
        const int w = 3 + int(rng() % 30), h = 3 + int(rng() % 30);
        CMImage image(w, h, 8);
        const int density = 20 + int(rng() % 60);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image.SetPixel(x, y, int(rng() % 100) < density ? int(rng() % 3) * 100 + 50 : 0);
        for (bool middleHigh : {false, true}) {
            double low = 60, high = 160;
            const auto raw = ThresholdBands(image, low, high, true, middleHigh);
            const auto cleaned = ThresholdBands(image, low, high, false, middleHigh);
            ASSERT_TRUE(raw && cleaned);
            std::vector<int> q, got;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    q.push_back(raw->GetPixel(x, y));
                    got.push_back(cleaned->GetPixel(x, y));
                }
            ASSERT_EQ(got, CleanedReference(q, w, h, 15)) << "trial " << trial;
        }
    }
}

TEST(ThresholdBands, CleanUpRemovesLinesAndSmallBlobsButKeepsSolidTissue) {
    CMImage image = Filled(30, 12, 8, 0);
    for (int x = 2; x < 20; ++x) image.SetPixel(x, 1, 200);  // a one-pixel line
    for (int y = 5; y < 7; ++y)
        for (int x = 2; x < 4; ++x) image.SetPixel(x, y, 200);  // a 2 x 2 blob, empty ring
    for (int y = 4; y < 11; ++y)
        for (int x = 20; x < 28; ++x) image.SetPixel(x, y, 200);  // solid tissue
    double low = 100, high = 100;
    const auto out = ThresholdBands(image, low, high, false, false);
    ASSERT_TRUE(out);
    int set = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool solid = x >= 20 && x < 28 && y >= 4 && y < 11;
            EXPECT_EQ(out->GetPixel(x, y), solid ? 1 : 0) << x << "," << y;
            set += out->GetPixel(x, y);
        }
    EXPECT_EQ(set, 56);
}

// ------------------------------------------------------------------ FillContour

TEST(FillContour, SquareFillsInsideColumnsAndRowsByTheScanRules) {
    CMImage target = Filled(32, 30, 8, 9);
    const CBreastSgt square(Points{{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}});
    EXPECT_EQ(FillContour(target, square, true, 2, true, 1), 10);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 32; ++x) {
            int expected = 2;
            if (y >= 11 && y <= 19) {
                if (x == 10)
                    expected = 9;  // a left crossing is written by neither fill
                else if (x >= 11 && x <= 20)
                    expected = 1;
            }
            ASSERT_EQ(target.GetPixel(x, y), expected) << x << "," << y;
        }

    CMImage inside = Filled(32, 30, 8, 0);
    EXPECT_EQ(FillContour(inside, square, false, 2, true, 1), 10);
    CMImage outside = Filled(32, 30, 8, 0);
    EXPECT_EQ(FillContour(outside, square, true, 2, false, 1), 0);
    EXPECT_EQ(outside.GetPixel(0, 0), 2);
    EXPECT_EQ(outside.GetPixel(15, 15), 0);

    // Open contours are closed rather than read past their end.
    CMImage open = Filled(32, 30, 8, 0);
    FillContour(open, CBreastSgt(Points{{10, 10}, {20, 10}, {20, 20}, {10, 20}}), false, 0, true,
                1);
    EXPECT_TRUE(open.IsEqual(inside));
}

TEST(FillContour, SlopedEdgesFollowTheAccumulatedCrossings) {
    // A triangle (0,0) (8,8) (0,8): the right edge has step 1, so row y is
    // crossed at x = y and filled from column 1 to y.
    CMImage t = Filled(10, 10, 8, 0);
    EXPECT_EQ(FillContour(t, CBreastSgt(Points{{0, 0}, {8, 8}, {0, 8}, {0, 0}}), false, 0, true, 1),
              8);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(t.GetPixel(x, y), (y >= 1 && y <= 7 && x >= 1 && x <= y) ? 1 : 0)
                << x << "," << y;
}

// Row by row from the definition: an edge from (x0, y0) down to (x1, y1) is
// crossed in rows y0 + 1 .. y1 at x0 + (y - y0)(x1 - x0)/(y1 - y0), truncated.
std::vector<int> InsideReference(const Points& closed, int w, int h) {
    std::vector<int> inside(std::size_t(w * h), 0);
    int top = INT32_MAX, bottom = INT32_MIN;
    for (const CPoint& p : closed) {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    for (int y = top; y < bottom; ++y) {
        std::vector<int64_t> cross;
        for (std::size_t i = 0; i + 1 < closed.size(); ++i) {
            CPoint a = closed[i], b = closed[i + 1];
            if (a.y == b.y) continue;
            if (a.y > b.y) std::swap(a, b);
            if (y <= a.y || y > b.y) continue;
            cross.push_back((int64_t(a.x) * (b.y - a.y) + int64_t(y - a.y) * (b.x - a.x)) /
                            (b.y - a.y));
        }
        std::sort(cross.begin(), cross.end());
        for (std::size_t k = 0; k + 1 < cross.size(); k += 2)
            for (int64_t x = cross[k] + 1; x <= std::min<int64_t>(cross[k + 1], w - 1); ++x)
                inside[std::size_t(y * w + x)] = 1;
    }
    return inside;
}

TEST(FillContour, RandomPolygonsMatchTheRowDefinitionWithoutDrift) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 45, h = 40;
        Points points;
        const int n = 3 + int(rng() % 10);
        for (int i = 0; i < n; ++i) points.push_back({int32_t(rng() % w), int32_t(rng() % h)});
        points.push_back(points.front());
        CMImage target = Filled(w, h, 8, 0);
        FillContour(target, CBreastSgt(points), false, 0, true, 1);
        const std::vector<int> expected = InsideReference(points, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(target.GetPixel(x, y), expected[std::size_t(y * w + x)])
                    << "trial " << trial << " at " << x << "," << y;
    }
    // A long edge whose crossing is whole at its last row: a running sum of
    // the step (-8/22) lands just below 1 there and would fill column 1.
    const Points drift{{1, 24}, {2, 4}, {25, 30}, {9, 2}, {1, 24}};
    CMImage target = Filled(65, 49, 8, 0);
    FillContour(target, CBreastSgt(drift), false, 0, true, 1);
    for (int32_t y = 0; y < 49; ++y) EXPECT_EQ(target.GetPixel(1, y), 0) << y;
}

TEST(FillContour, RefusesWhatDoesNotFitAndSurvivesOddShapes) {
    struct {
        const char* name;
        Points points;
        int32_t rows;
    } cases[] = {
        {"empty", {}, 0},
        {"one point", {{3, 3}}, 0},
        {"all on one row", {{1, 3}, {9, 3}, {1, 3}}, 0},
        {"negative x", {{-1, 2}, {5, 2}, {5, 8}, {-1, 2}}, 0},
        {"beyond the height", {{1, 2}, {5, 2}, {5, 13}, {1, 2}}, 0},
        {"huge", {{0, 0}, {INT32_MAX, 0}, {INT32_MAX, INT32_MAX}, {0, 0}}, 0},
        {"edges on the right and bottom border", {{0, 0}, {12, 0}, {12, 12}, {0, 12}, {0, 0}}, 12},
        {"self-crossing bow tie", {{0, 0}, {11, 11}, {11, 0}, {0, 11}, {0, 0}}, 11},
        {"repeated vertices", {{2, 2}, {2, 2}, {8, 2}, {8, 9}, {8, 9}, {2, 9}, {2, 2}}, 7},
        {"spike", {{5, 0}, {5, 11}, {6, 0}, {5, 0}}, 11},
    };
    for (const auto& c : cases) {
        CMImage target = Filled(12, 12, 8, 0);
        EXPECT_EQ(FillContour(target, CBreastSgt(c.points), true, 3, true, 1), c.rows) << c.name;
    }
    CMImage empty;
    EXPECT_EQ(
        FillContour(empty, CBreastSgt(Points{{0, 0}, {5, 0}, {5, 5}, {0, 0}}), true, 0, true, 1),
        0);
}

TEST(MakeBreastMask, OneBitInsideAndEmptyWithoutInside) {
    const CBreastSgt square(Points{{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}});
    const CMImageBase mask = MakeBreastMask(square, 41, 33);
    ASSERT_TRUE(mask.IsValid());
    EXPECT_EQ(mask.depth, 1);
    EXPECT_EQ(mask.width, 41);
    int set = 0;
    for (int32_t y = 0; y < 33; ++y)
        for (int32_t x = 0; x < 41; ++x) set += mask.GetPixel(x, y);
    EXPECT_EQ(set, 90);
    EXPECT_EQ(mask.GetPixel(20, 19), 1);
    EXPECT_EQ(mask.GetPixel(10, 15), 0);

    // A one-pixel-wide sliver has rows but no inside pixel.
    EXPECT_FALSE(MakeBreastMask(CBreastSgt(Points{{5, 0}, {5, 9}, {5, 0}}), 20, 20).IsValid());
    EXPECT_FALSE(MakeBreastMask(square, 15, 15).IsValid());  // does not fit
    EXPECT_FALSE(MakeBreastMask(square, 0, 15).IsValid());
}

// The document's use of the mask: the histogram under it counts exactly the
// inside pixels (wide rows, whole empty mask bytes, 8 and 16 bits).
TEST(MakeBreastMask, HistogramUnderTheMaskCountsTheInsidePixels) {
    for (int depth : {8, 16}) {
        CMImage image(203, 61, depth);
        std::mt19937 rng(depth);
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x)
                image.SetPixel(x, y, int32_t(rng() % (depth == 8 ? 256 : 65536)));
        const CBreastSgt outline(Points{{3, 2}, {190, 9}, {202, 60}, {40, 50}, {3, 2}});
        const CMImageBase mask = MakeBreastMask(outline, image.width, image.height);
        ASSERT_TRUE(mask.IsValid());
        std::vector<int32_t> expected(std::size_t(image.maxValue) + 1, 0);
        int64_t inside = 0;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x)
                if (mask.GetPixel(x, y)) {
                    ++expected[std::size_t(Sample(image, x, y))];
                    ++inside;
                }
        CHistogram& h = image.GetHistogramUnderMask(mask);
        EXPECT_EQ(h.GetTotal(), inside);
        for (int32_t v = 0; v <= image.maxValue; ++v)
            ASSERT_EQ(h.GetCount(v), expected[std::size_t(v)]) << depth << " value " << v;
    }
}

// ---------------------------------------------------------------- BreastSideTest

TEST(BreastSideTest, BrighterBandWinsAndWideBandsAreCut) {
    struct {
        const char* name;
        int leftValue, rightValue, band, expected;
    } cases[] = {
        {"left brighter", 900, 300, 3, kViewLeft},
        {"right brighter", 300, 900, 3, kViewRight},
        {"equal", 500, 500, 3, kViewRight},
        {"band wider than half is cut to half", 900, 300, 100, kViewLeft},
        {"zero band counts as one column", 900, 300, 0, kViewLeft},
    };
    for (const auto& c : cases) {
        CMImage image = Filled(10, 6, 12, 0);
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 10; ++x)
                image.SetPixel(x, y, y == 0 ? 10 : (x < 5 ? c.leftValue : c.rightValue));
        EXPECT_EQ(BreastSideTest(image, c.band), c.expected) << c.name;
    }
    EXPECT_EQ(BreastSideTest(CMImage(), 5), kViewRight);
}

// ----------------------------------------------------------------- SegmentBreast

struct CRun {
    CBreastSgt contour;
    std::vector<std::unique_ptr<CMImage>> images;
    std::string log;
    CSegmentReport report;
    double low = 0, high = 0;
};

CRun Segment(CMImage& image, int32_t view = kViewAuto, bool automatic = true, double low = 0,
             double high = 0, int stage = kStageBreast, bool logImages = true) {
    CRun run;
    run.low = low;
    run.high = high;
    run.images = SegmentBreast(image, run.contour, view, kProjectionAuto, automatic, run.low,
                               run.high, image.width / 2, stage, logImages, run.log, &run.report);
    return run;
}

TEST(SegmentBreast, OutlinesAPhantomBreastOnEitherSide) {
    for (bool onRight : {false, true}) {
        CPhantomBreast p = MakeBreast(600, 800, onRight);
        CRun run = Segment(p.image);
        ASSERT_FALSE(run.contour.IsEmpty()) << run.log;
        EXPECT_EQ(run.report.view, onRight ? kViewRight : kViewLeft);
        EXPECT_TRUE(run.contour.IsClosed());
        for (const CPoint& q : run.contour.Points()) {
            EXPECT_EQ(q.x % 20, 0);  // points of the reduced image, scaled back
            EXPECT_EQ(q.y % 20, 0);
        }
        const CMImageBase mask = MakeBreastMask(run.contour, 600, 800);
        ASSERT_TRUE(mask.IsValid());
        const double dice =
            Dice(mask, [&](int32_t x, int32_t y) { return p.truth.GetPixel(x, y) != 0; });
        EXPECT_GT(dice, 0.93) << (onRight ? "right" : "left") << "\n" << run.log;
        // The cached histogram was emptied for the caller to rebuild under the mask.
        EXPECT_TRUE(p.image.histogram.IsEmpty());
        // smoothed (4-bit opening), then quantised
        ASSERT_EQ(run.images.size(), 2u);
        EXPECT_EQ(run.images[0]->depth, 4);
        EXPECT_EQ(run.images[0]->width, 30);
        EXPECT_EQ(run.images[1]->depth, 4);
    }
}

TEST(SegmentBreast, LogLinesFollowTheRun) {
    CPhantomBreast p = MakeBreast(600, 800, false);
    CRun run = Segment(p.image, kViewLeft);
    std::istringstream in(run.log);
    std::string l1, l2, l3, l4, l5, l6, l7;
    std::getline(in, l1);
    std::getline(in, l2);
    std::getline(in, l3);
    std::getline(in, l4);
    std::getline(in, l5);
    std::getline(in, l6);
    std::getline(in, l7);
    const int32_t y0 = (run.report.projection == 0 ? 3 : 5) * 800 / 8;
    EXPECT_EQ(l1, Format("View0 Projection%d", run.report.projection));
    EXPECT_EQ(l2, Format(" startP(x,y)=(%d,%d)", run.report.startX, y0));
    EXPECT_EQ(l3, Format("scaled startP(x,y)=(%d,%d)", run.report.startX / 20, y0 / 20));
    EXPECT_EQ(l4.rfind("Val w startPoint=", 0), 0u) << l4;
    EXPECT_TRUE(l5.rfind("Thresholds MLO opt+2opt-stozek odcięty lub dużo białego tła: Low=", 0) ==
                    0 ||
                l5.rfind("Thresholds MLO opt+pec: Low=", 0) == 0)
        << l5;
    EXPECT_EQ(l6, "");
    EXPECT_EQ(l7.rfind("Wyniki: startPoint(", 0), 0u) << l7;
    EXPECT_NE(l7.find(Format("Low=%.2lf High=%.2lf", run.low, run.high)), std::string::npos) << l7;
    EXPECT_TRUE(in.eof() || in.peek() == EOF);
    EXPECT_LT(run.low, run.high);
    // The start scan stops at the middle column and stays in the breast.
    EXPECT_GE(run.report.startX, 150);
    EXPECT_LE(run.report.startX, 300);

    CRun quiet = Segment(p.image, kViewLeft, true, 0, 0, kStageBreast, false);
    EXPECT_TRUE(quiet.images.empty());
    EXPECT_EQ(quiet.contour.Points(), run.contour.Points());
    EXPECT_EQ(quiet.log, run.log);
}

// Thresholds are true values: stored samples with an offset give the same run.
TEST(SegmentBreast, ValueOffsetGivesTheSameOutlineAndThresholds) {
    CPhantomBreast p = MakeBreast(400, 600, false);
    CMImage shifted(400, 600, 12, 1000);
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 400; ++x) shifted.SetPixel(x, y, Sample(p.image, x, y) + 1000);
    for (bool automatic : {true, false}) {
        CRun plain = Segment(p.image, kViewAuto, automatic, 40.0, 99.5);
        CRun offset = Segment(shifted, kViewAuto, automatic, 40.0, 99.5);
        ASSERT_FALSE(plain.contour.IsEmpty());
        EXPECT_EQ(offset.contour.Points(), plain.contour.Points()) << offset.log;
        EXPECT_EQ(offset.low, plain.low);
        EXPECT_EQ(offset.high, plain.high);
    }
}

TEST(SegmentBreast, ManualThresholdsArePercentilesAndTheConePassReadsThemAgain) {
    CPhantomBreast p = MakeBreast(400, 600, false);
    CHistogram hist = p.image.GetHistogram();
    CRun first = Segment(p.image, kViewLeft, false, 40.0, 99.5);
    EXPECT_EQ(first.low, hist.Percentile(40.0));
    EXPECT_EQ(first.high, hist.Percentile(99.5));
    EXPECT_EQ(first.log.find("Val w startPoint"), std::string::npos);
    EXPECT_EQ(first.log.find("Thresholds"), std::string::npos);
    // The cone pass gets the same variables: its "percentages" are the
    // first pass's thresholds (the high one above 100, hence the top value).
    CRun cone = Segment(p.image, kViewLeft, false, first.low, first.high, kStageCone);
    EXPECT_EQ(cone.low, hist.Percentile(first.low));
    EXPECT_GT(first.high, 100.0);
    EXPECT_EQ(cone.high, hist.Percentile(100.0));
}

// The scaled start point from the log and the one the region step used.
std::pair<std::string, std::string> StartPoints(const std::string& log) {
    const auto scaled = log.find("scaled startP(x,y)=(");
    const auto result = log.find("Wyniki: startPoint(");
    if (scaled == std::string::npos || result == std::string::npos) return {};
    const auto a = log.substr(scaled + 20, log.find(')', scaled + 20) - scaled - 20);
    const auto b = log.substr(result + 19, log.find(')', result + 19) - result - 19);
    return {a, b};
}

TEST(SegmentBreast, StartPointSearchOnlyWhenTheStartValueIsOutsideTheThresholds) {
    CPhantomBreast p = MakeBreast(400, 600, false);
    // Between the 1st and the 99.9th percentile: the tissue at the start is inside.
    CRun inside = Segment(p.image, kViewLeft, false, 1.0, 99.9);
    const auto [scaledIn, usedIn] = StartPoints(inside.log);
    EXPECT_FALSE(scaledIn.empty());
    EXPECT_EQ(scaledIn, usedIn);
    EXPECT_FALSE(inside.contour.IsEmpty());

    // A band above the start value: the point moves to the first band pixel
    // of the columns around it.
    CRun moved = Segment(p.image, kViewLeft, false, 99.0, 99.99);
    const auto [scaledOut, usedOut] = StartPoints(moved.log);
    EXPECT_NE(scaledOut, usedOut) << moved.log;
}

TEST(SegmentBreast, ConeStageWithoutSeparationClearsTheContour) {
    // Two flat levels leave no grey values between the two thresholds'
    // classes: the search collapses and the cone cannot be separated.
    CMImage image = Filled(200, 300, 12, 100);
    for (int32_t y = 0; y < 300; ++y)
        for (int32_t x = 0; x < 60; ++x) image.SetPixel(x, y, 1000);
    CHistogram hist = image.GetHistogram();
    CRun run;
    run.contour.Set({{0, 0}, {20, 0}, {20, 20}, {0, 0}});
    run.images = SegmentBreast(image, run.contour, kViewLeft, 0, true, run.low, run.high, 100,
                               kStageCone, true, run.log, nullptr);
    EXPECT_LE(run.high, run.low);
    EXPECT_TRUE(run.contour.IsEmpty());
    EXPECT_TRUE(run.images.empty());
    const std::string expected =
        Format("Stozek nie da się oddzielić: Low=%.2lf (%.2lf)  High=%.2lf (%.2lf)\n\n", run.low,
               hist.PercentBelow(int32_t(run.low)), run.high, hist.PercentBelow(int32_t(run.high)));
    ASSERT_GE(run.log.size(), expected.size());
    EXPECT_EQ(run.log.substr(run.log.size() - expected.size()), expected) << run.log;
}

TEST(SegmentBreast, ConeStageOutlinesTheClosedOneBitComponent) {
    CPhantomBreast p = MakeBreast(600, 800, false);
    CRun run = Segment(p.image, kViewLeft, true, 0, 0, kStageCone);
    EXPECT_NE(run.log.find("Thresholds MLO opt+2opt-stozek odcięty lub dużo białego tła: Low="),
              std::string::npos)
        << run.log;
    ASSERT_FALSE(run.contour.IsEmpty()) << run.log;
    ASSERT_EQ(run.images.size(), 2u);
    EXPECT_EQ(run.images[0]->depth, 1);  // closing of the 1-bit quantisation
    EXPECT_EQ(run.images[1]->depth, 1);
}

TEST(SegmentBreast, TinyAndDegenerateImagesGiveNoContourAndNoFault) {
    struct {
        int32_t w, h;
        int depth;
    } sizes[] = {{1, 1, 8},      {19, 400, 8},  {400, 19, 12}, {20, 20, 8},
                 {20, 2000, 16}, {2000, 20, 8}, {21, 39, 1},   {40, 40, 4}};
    for (const auto& s : sizes) {
        for (int stage : {kStageBreast, kStageCone, kStageBatch}) {
            for (int32_t startX : {0, s.w / 2, s.w, -5, INT32_MAX}) {
                CMImage image = Filled(s.w, s.h, s.depth, 0);
                std::mt19937 rng(s.w * 31 + s.h);
                for (int32_t y = 0; y < s.h; ++y)
                    for (int32_t x = 0; x < s.w; ++x)
                        image.SetPixel(x, y, int32_t(rng() % (1u << std::min(s.depth, 12))));
                CBreastSgt contour(Points{{1, 1}, {5, 1}, {5, 5}, {1, 1}});
                double low = 0, high = 0;
                std::string log;
                CSegmentReport report;
                auto images = SegmentBreast(image, contour, kViewAuto, kProjectionAuto, true, low,
                                            high, startX, stage, true, log, &report);
                if (s.w < 20 || s.h < 20) {
                    EXPECT_TRUE(contour.IsEmpty());
                    EXPECT_TRUE(log.empty());
                }
                for (const CPoint& q : contour.Points()) {
                    EXPECT_GE(q.x, 0);
                    EXPECT_LT(q.x, s.w);
                    EXPECT_GE(q.y, 0);
                    EXPECT_LT(q.y, s.h);
                }
                EXPECT_GE(report.startX, 0);
                EXPECT_LT(report.startX, std::max(s.w, 1));
            }
        }
    }
}

TEST(SegmentBreast, EmptyStartScanKeepsItsFirstColumn) {
    // Brightest column 70 would win any scan that reached it.
    CMImage image = Filled(400, 200, 8, 100);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 400; ++x) image.SetPixel(x, y, 250);
    for (int32_t x = 0; x < 400; ++x) image.SetPixel(x, 75, 100 + (x % 100));
    struct {
        int32_t view, startX, expected;
    } cases[] = {
        {kViewLeft, 0, 100},                            // e = 0 lies below W / 4
        {kViewLeft, -7, 100},   {kViewLeft, 150, 150},  // 100..150, rising values
        {kViewRight, 200, 299},  // 300 down to 200: 299 holds 199, the largest
        {kViewRight, 400, 300},  // e = W - 1 lies above 3 W / 4
        {kViewRight, 0, 300},    // e = W is cut to W - 1
    };
    for (const auto& c : cases) {
        CBreastSgt contour;
        double low = 0, high = 0;
        std::string log;
        CSegmentReport report;
        SegmentBreast(image, contour, c.view, 0, true, low, high, c.startX, kStageBreast, false,
                      log, &report);
        EXPECT_EQ(report.startX, c.expected) << c.view << " " << c.startX;
    }
}

TEST(SegmentBreast, StartPointAtTheLastColumnStaysOnTheReducedImage) {
    // 1010 columns reduce to 50; the brightest start column 1009 scales to 50.
    CMImage image = Filled(1010, 400, 8, 100);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 1010; ++x) image.SetPixel(x, y, 200);  // 5 %: p97 = 200
    image.SetPixel(1009, 150, 150);                                    // row 3 * 400 / 8 = 150
    CBreastSgt contour;
    double low = 0, high = 0;
    std::string log;
    CSegmentReport report;
    SegmentBreast(image, contour, kViewLeft, 0, true, low, high, 1010, kStageBreast, false, log,
                  &report);
    EXPECT_EQ(report.startX, 1009);
    EXPECT_NE(log.find("scaled startP(x,y)=(49,7)"), std::string::npos) << log;
}

// ------------------------------------------------------------------- real films

fs::path SharedData() {
    return fs::path(VISTREL_SHARED_DATA);
}

struct CTruthCentre {
    std::string ref;
    int32_t x, y, radius;
};

// Info.txt lines with a centre: "mdb001 G CIRC B 535 425 197"; y from the bottom.
std::vector<CTruthCentre> ReadCentres(const fs::path& info) {
    std::vector<CTruthCentre> out;
    std::ifstream in(info);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string ref, tissue, cls, severity;
        int32_t x = 0, y = 0, radius = 0;
        if (!(words >> ref >> tissue >> cls >> severity >> x >> y >> radius)) continue;
        if (ref.rfind("mdb", 0) != 0) continue;
        out.push_back({ref, x, 1023 - y, radius});
    }
    return out;
}

TEST(SegmentBreastOnFilms, MiasOutlineExcludesTheBackgroundAndHoldsTheTissue) {
    const fs::path dir = SharedData() / "mammograms/mias";
    if (!fs::exists(dir / "Info.txt")) GTEST_SKIP() << "no shared data";
    const std::vector<CTruthCentre> centres = ReadCentres(dir / "Info.txt");
    int films = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".pgm") continue;
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open(entry.path().string(), description), 1) << entry.path();
        CMImage original = image;
        CBreastSgt contour;
        double low = 0, high = 0;
        std::string log;
        SegmentBreast(image, contour, kViewAuto, kProjectionAuto, true, low, high, image.width / 2,
                      kStageBreast, false, log);
        const std::string name = entry.path().stem().string();
        ASSERT_FALSE(contour.IsEmpty()) << name << "\n" << log;
        const CMImageBase mask = MakeBreastMask(contour, image.width, image.height);
        ASSERT_TRUE(mask.IsValid()) << name;
        // Dark film (below 20 of 255) is background: little of it inside,
        // little bright tissue (above 100) outside.
        int64_t dark = 0, darkIn = 0, bright = 0, brightOut = 0, inside = 0;
        for (int32_t y = 0; y < image.height; ++y)
            for (int32_t x = 0; x < image.width; ++x) {
                const int v = Sample(original, x, y);
                const bool in = mask.GetPixel(x, y) != 0;
                inside += in;
                if (v < 20) {
                    ++dark;
                    darkIn += in;
                }
                if (v > 100) {
                    ++bright;
                    brightOut += !in;
                }
            }
        const double darkInside = double(darkIn) / double(std::max<int64_t>(dark, 1));
        const double brightOutside = double(brightOut) / double(std::max<int64_t>(bright, 1));
        std::printf(
            "[ MIAS     ] %s view %s: mask %.1f %% of the film, dark inside %.2f %%, "
            "bright outside %.2f %%\n",
            name.c_str(), log.substr(4, 1).c_str(), 100.0 * inside / (1024.0 * 1024.0),
            100.0 * darkInside, 100.0 * brightOutside);
        EXPECT_LT(darkInside, 0.05) << name;
        EXPECT_LT(brightOutside, 0.25) << name;
        // The abnormality lies in the breast: most of its truth circle is inside.
        for (const CTruthCentre& c : centres) {
            if (c.ref != name) continue;
            int64_t circle = 0, covered = 0;
            for (int32_t y = std::max(0, c.y - c.radius); y <= std::min(1023, c.y + c.radius); ++y)
                for (int32_t x = std::max(0, c.x - c.radius); x <= std::min(1023, c.x + c.radius);
                     ++x)
                    if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) <= c.radius * c.radius) {
                        ++circle;
                        covered += mask.GetPixel(x, y) != 0;
                    }
            const double share = double(covered) / double(std::max<int64_t>(circle, 1));
            std::printf("[ MIAS     ] %s truth circle (%d,%d) r %d: %.1f %% inside\n", name.c_str(),
                        c.x, c.y, c.radius, 100.0 * share);
            EXPECT_GT(share, 0.6) << name;
        }
        ++films;
    }
    EXPECT_GT(films, 0);
}

TEST(SegmentBreastOnFilms, DdsmMaskOverlapsTheTissueLabels) {
    const fs::path dir = SharedData() / "ddsm/images";
    if (!fs::exists(dir)) GTEST_SKIP() << "no shared data";
    struct {
        const char* name;
        double floorBreast, floorTissue;
    } cases[] = {
        {"A_0040_1.RIGHT_MLO", 0.77, 0.57},  // measured 0.7926, 0.5925
        {"B_3627_1.RIGHT_MLO", 0.74, 0.71},  // measured 0.7656, 0.7329
    };
    for (const auto& c : cases) {
        CMImage image, labels;
        std::string description;
        ASSERT_EQ(image.Open((dir / (std::string(c.name) + ".png")).string(), description), 1);
        ASSERT_EQ(labels.Open((dir / (std::string(c.name) + "_LI.png")).string(), description), 1);
        ASSERT_EQ(labels.width, image.width);
        CBreastSgt contour;
        double low = 0, high = 0;
        std::string log;
        SegmentBreast(image, contour, kViewAuto, kProjectionAuto, true, low, high, image.width / 2,
                      kStageBreast, false, log);
        ASSERT_FALSE(contour.IsEmpty()) << c.name << "\n" << log;
        const CMImageBase mask = MakeBreastMask(contour, image.width, image.height);
        ASSERT_TRUE(mask.IsValid());
        const auto label = [&](int32_t x, int32_t y) { return Sample(labels, x, y); };
        const double breast = Dice(mask, [&](int32_t x, int32_t y) { return label(x, y) != 64; });
        const double tissue = Dice(mask, [&](int32_t x, int32_t y) {
            const int l = label(x, y);
            return l == 128 || l == 192;
        });
        std::printf("[ DDSM     ] %s: Dice %.4f against label != 64, %.4f against {128, 192}\n",
                    c.name, breast, tissue);
        EXPECT_GT(breast, c.floorBreast) << c.name;
        EXPECT_GT(tissue, c.floorTissue) << c.name;
    }
}

}  // namespace
}  // namespace vistrel
