#include "regions/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "point_sets.h"

using namespace vistrel;

namespace {

using regionstest::FilledSet;
using regionstest::Rectangle;
using regionstest::SortedUniqueRaster;

std::vector<uint8_t> Codes(const std::string& digits) {
    std::vector<uint8_t> codes;
    for (char c : digits) codes.push_back(static_cast<uint8_t>(c - '0'));
    return codes;
}

// The point-in-region rule written out directly: every boundary segment
// (consecutive boundary points, and last to first) against the ray from the
// point to x = right + 50, with on-the-line points on the negative side.
bool PositiveSide(CPoint u, CPoint v, CPoint w) {
    return (int64_t{v.x} - u.x) * (w.y - u.y) - (int64_t{v.y} - u.y) * (w.x - u.x) > 0;
}
bool ReferenceContains(const CRegion& r, int x, int y) {
    const std::vector<CPoint>& b = r.Boundary();
    const CRect& box = r.Bounds();
    if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return false;
    for (const CPoint& p : b)
        if (p.x == x && p.y == y) return true;
    const CPoint p{x, y}, q{box.right + 50, y};
    int crossings = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        const CPoint a = b[i], c = b[(i + 1) % b.size()];
        if (PositiveSide(p, q, a) != PositiveSide(p, q, c) &&
            PositiveSide(a, c, p) != PositiveSide(a, c, q))
            ++crossings;
    }
    return crossings % 2 == 1;
}

// The 8-connected component of `seed` within a set.
std::vector<CPoint> Component8(const std::set<std::pair<int, int>>& set, CPoint seed) {
    std::set<std::pair<int, int>> seen{{seed.x, seed.y}};
    std::vector<CPoint> stack{seed}, out;
    while (!stack.empty()) {
        const CPoint p = stack.back();
        stack.pop_back();
        out.push_back(p);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const std::pair<int, int> q{p.x + dx, p.y + dy};
                if (set.count(q) && seen.insert(q).second) stack.push_back({q.first, q.second});
            }
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------- text form

struct TextCase {
    const char* text;
    bool valid;
    int x, y;
    const char* codes;
};

class RegionText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RegionText, ParsesStartAndCodes) {
    const TextCase c = GetParam();
    const CRegion r{std::string_view(c.text)};
    ASSERT_EQ(r.IsValid(), c.valid) << "'" << c.text << "'";
    if (!c.valid) {
        EXPECT_EQ(r.StartX(), -1);
        EXPECT_TRUE(r.Chain().empty());
        EXPECT_EQ(r.ToText(), "");
        return;
    }
    EXPECT_EQ(r.StartX(), c.x);
    EXPECT_EQ(r.StartY(), c.y);
    EXPECT_EQ(r.Chain(), Codes(c.codes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionText,
    ::testing::Values(TextCase{"10 20 0024", true, 10, 20, "0024"},
                      TextCase{"10 20 0 0 2 4", true, 10, 20, "0024"},
                      TextCase{"10 20  0 0 2 4 ", true, 10, 20, "0024"},
                      TextCase{"10 20&0024", true, 10, 20, "0024"},
                      TextCase{"1580 2330 7 7 0 1 2 3 4 5 6", true, 1580, 2330, "770123456"},
                      // The ampersand form takes every character as a digit.
                      TextCase{"10 20&00 24", false, 0, 0, ""},
                      TextCase{"0 20 0024", false, 0, 0, ""},
                      TextCase{"10 0 0024", false, 0, 0, ""},
                      TextCase{"-4 20 0024", false, 0, 0, ""}, TextCase{"10 20 ", false, 0, 0, ""},
                      TextCase{"10 20", false, 0, 0, ""}, TextCase{"10 20 0028", false, 0, 0, ""},
                      TextCase{"10 20 00a4", false, 0, 0, ""},
                      TextCase{"x1 20 0024", false, 0, 0, ""}, TextCase{"", false, 0, 0, ""},
                      TextCase{"99999999999 5 22", false, 0, 0, ""}));

TEST(RegionTextForm, WritesBothFormsAndReadsThemBack) {
    const CRegion r{std::string_view("120 45 224660")};
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.ToText(true), "120 45 224660");
    EXPECT_EQ(r.ToText(false), "120 45&224660");
    EXPECT_TRUE(CRegion(r.ToText(false)).IsEqual(r));
}

TEST(RegionTextForm, SpotTextHasTheFixedLayout) {
    CRegion r;
    r.scale = 3;
    r.response = 1.5;
    r.energy = 0.25;
    r.mean = 100.0 / 3.0;
    r.spotX = 17;
    r.spotY = -2;
    EXPECT_EQ(r.SpotText(), " scale=3 response=1.5000 energy=0.2500 mean=33.3333 x=17 y=-2 \n");
}

// ---------------------------------------------------------------- building outlines

TEST(RegionBuild, AddStepMapsUnitStepsToCodesAndIgnoresOthers) {
    CRegion r;
    EXPECT_FALSE(r.AddStep(1, 0)) << "no start yet";
    r.SetStart(10, 10);
    const int dx[] = {0, 1, 1, 1, 0, -1, -1, -1}, dy[] = {-1, -1, 0, 1, 1, 1, 0, -1};
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(r.AddStep(dx[k], dy[k]));
    EXPECT_FALSE(r.AddStep(2, 0));
    EXPECT_FALSE(r.AddStep(0, -2));
    EXPECT_FALSE(r.AddStep(0, 0));
    EXPECT_EQ(r.Chain(), Codes("01234567"));
    // The walk 0..7 visits (10,9) (11,8) (12,8) (13,9) (13,10) (12,11) (11,11) (10,10).
    EXPECT_EQ(r.Bounds(), (CRect{10, 8, 14, 12}));
    EXPECT_EQ(r.BoundaryCount(), 9);
    EXPECT_EQ(r.EndPoint(), (CPoint{10, 10}));
    EXPECT_TRUE(r.IsClosed());
}

TEST(RegionBuild, EmptyChainHasOnePixelBoundsAndContainsOnlyItsStart) {
    CRegion r;
    r.SetStart(4, 7);
    EXPECT_FALSE(r.IsValid());
    EXPECT_EQ(r.Bounds(), (CRect{4, 7, 5, 8}));
    EXPECT_TRUE(r.Contains(4, 7));
    EXPECT_FALSE(r.Contains(5, 7));
    EXPECT_FALSE(CRegion().Contains(0, 0));
}

struct LineCase {
    CPoint from, to;
    const char* codes;
};

class RegionLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(RegionLine, ProducesTheDigitalLine) {
    const LineCase c = GetParam();
    CRegion r;
    r.SetStart(c.from.x, c.from.y);
    r.AddLine(c.from, c.to);
    EXPECT_EQ(r.Chain(), Codes(c.codes));
    EXPECT_EQ(r.EndPoint(), c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionLine,
    ::testing::Values(LineCase{{50, 50}, {51, 51}, "3"}, LineCase{{50, 50}, {50, 47}, "000"},
                      LineCase{{50, 50}, {50, 52}, "44"},
                      // Exact rows 0.25, 0.5, 0.75, 1 round half up to 0, 1, 1, 1.
                      LineCase{{50, 50}, {54, 51}, "2322"},
                      // Moving left and up: -0.25, -0.5, -0.75, -1 round to 0, 0, -1, -1.
                      LineCase{{50, 50}, {46, 49}, "6676"},
                      // Steep: columns 1/3, 2/3, 1 round to 0, 1, 1.
                      LineCase{{50, 50}, {51, 53}, "434"}, LineCase{{50, 50}, {49, 47}, "070"},
                      LineCase{{50, 50}, {55, 50}, "22222"}, LineCase{{50, 50}, {47, 53}, "555"}));

TEST(RegionBuild, AddLineFollowsTheRoundedExactLine) {
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> coord(-40, 40);
    for (int trial = 0; trial < 300; ++trial) {
        const CPoint from{100, 100}, to{100 + coord(gen), 100 + coord(gen)};
        CRegion r;
        r.SetStart(from.x, from.y);
        r.AddLine(from, to);
        const int dx = to.x - from.x, dy = to.y - from.y;
        const std::vector<CPoint>& b = r.Boundary();
        ASSERT_EQ(b.size(), static_cast<size_t>(std::max(std::abs(dx), std::abs(dy)) + 1))
            << "to " << to.x << "," << to.y;
        ASSERT_EQ(b.back(), to);
        for (size_t i = 1; i < b.size(); ++i) {
            const double t = static_cast<double>(i);
            if (std::abs(dy) <= std::abs(dx)) {
                EXPECT_EQ(b[i].x, from.x + (dx > 0 ? 1 : -1) * static_cast<int>(i));
                EXPECT_EQ(b[i].y,
                          from.y + static_cast<int>(std::floor(dy * t / std::abs(dx) + 0.5)));
            } else {
                EXPECT_EQ(b[i].y, from.y + (dy > 0 ? 1 : -1) * static_cast<int>(i));
                EXPECT_EQ(b[i].x,
                          from.x + static_cast<int>(std::floor(dx * t / std::abs(dy) + 0.5)));
            }
        }
    }
}

TEST(RegionBuild, PolygonStartsAtLeftmostTopmostVertexAndCloses) {
    // Vertices given clockwise from the bottom right; the two leftmost vertices
    // share x = 2, the upper one starts the outline.
    const CRegion r({{8, 9}, {2, 9}, {2, 3}, {8, 3}}, CRegion::PointsMode::Polygon);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.StartX(), 2);
    EXPECT_EQ(r.StartY(), 3);
    EXPECT_TRUE(r.IsClosed());
    EXPECT_FALSE(r.IsTraced());
    EXPECT_EQ(r.Bounds(), (CRect{2, 3, 9, 10}));
    EXPECT_EQ(r.Pixels(), SortedUniqueRaster(Rectangle(2, 3, 7, 7)));
}

TEST(RegionBuild, CloseAddsTheLineBackToTheStart) {
    CRegion r;
    r.SetStart(10, 10);
    r.AddLine({10, 10}, {14, 10});
    r.AddLine({14, 10}, {14, 13});
    EXPECT_FALSE(r.IsClosed());
    r.Close();
    EXPECT_TRUE(r.IsClosed());
    // Back from (14,13): exact rows -0.75, -1.5, -2.25, -3 round to -1, -1, -2, -3.
    EXPECT_EQ(r.Chain(), Codes("2222444"
                               "7677"));
    const size_t length = r.Chain().size();
    r.Close();
    EXPECT_EQ(r.Chain().size(), length) << "closing a closed outline adds nothing";
}

// ---------------------------------------------------------------- tracing

TEST(RegionTrace, BlockIsTracedClockwiseFromItsTopLeftPixel) {
    const CRegion r(Rectangle(5, 6, 3, 2), CRegion::PointsMode::PixelSet);
    ASSERT_TRUE(r.IsValid());
    EXPECT_TRUE(r.IsTraced());
    EXPECT_EQ(r.StartX(), 5);
    EXPECT_EQ(r.StartY(), 6);
    EXPECT_EQ(r.Chain(), Codes("224660"));
    EXPECT_EQ(r.Bounds(), (CRect{5, 6, 8, 8}));
}

TEST(RegionTrace, StartIsLeftmostPixelWithANeighbourThenTopmost) {
    // An isolated pixel further left is not a start and is not part of the outline.
    std::vector<CPoint> set = Rectangle(10, 10, 2, 2);
    set.push_back({9, 12});  // diagonal to (10, 11): joins the blob, lowest in column 9
    set.push_back({9, 13});
    set.push_back({3, 4});  // isolated
    const CRegion r(set, CRegion::PointsMode::PixelSet);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.StartX(), 9);
    EXPECT_EQ(r.StartY(), 12);
    EXPECT_FALSE(r.Contains(3, 4));
}

TEST(RegionTrace, SinglePixelGivesNoRegionAndTwoDiagonalPixelsDo) {
    EXPECT_FALSE(CRegion({{4, 4}}, CRegion::PointsMode::PixelSet).IsValid());
    EXPECT_FALSE(CRegion({{4, 4}, {9, 9}}, CRegion::PointsMode::PixelSet).IsValid());
    const CRegion pair({{4, 4}, {5, 5}}, CRegion::PointsMode::PixelSet);
    ASSERT_TRUE(pair.IsValid());
    EXPECT_EQ(pair.Chain(), Codes("37"));
    EXPECT_EQ(pair.Pixels(), (std::vector<CPoint>{{4, 4}, {5, 5}}));
}

TEST(RegionTrace, ObjectPinchedAtItsStartIsFollowedAllTheWayRound) {
    // The start (0,1) touches two parts that meet only through it: stopping at
    // the first return to the start would miss the lower arm.
    const std::vector<CPoint> set = {{1, 0}, {0, 1}, {1, 2}, {2, 2}, {2, 0}};
    const CRegion r(set, CRegion::PointsMode::PixelSet);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.Pixels(), SortedUniqueRaster(set));
}

TEST(RegionTrace, CleanupRemovesOnePixelSpursAndKeepsSolidBlobs) {
    std::vector<CPoint> blob = Rectangle(10, 10, 4, 4);
    std::vector<CPoint> spurred = blob;
    spurred.push_back({9, 9});    // diagonal off the top-left corner
    spurred.push_back({14, 14});  // diagonal off the bottom-right corner

    const CRegion raw(spurred, CRegion::PointsMode::PixelSet, false);
    EXPECT_EQ(raw.Pixels(), SortedUniqueRaster(spurred));
    const CRegion cleaned(spurred, CRegion::PointsMode::PixelSet, true);
    EXPECT_EQ(cleaned.Pixels(), SortedUniqueRaster(blob));

    // A bump on a side has three neighbours: part of the body, not a spur.
    std::vector<CPoint> bumped = blob;
    bumped.push_back({14, 11});
    EXPECT_EQ(CRegion(bumped, CRegion::PointsMode::PixelSet, true).Pixels(),
              SortedUniqueRaster(bumped));

    // A thin arm two pixels long is not a spur, even where it meets the body.
    std::vector<CPoint> armed = blob;
    armed.push_back({11, 9});
    armed.push_back({11, 8});
    EXPECT_EQ(CRegion(armed, CRegion::PointsMode::PixelSet, true).Pixels(),
              SortedUniqueRaster(armed));

    // Discs and plain lines have nothing to clean.
    std::vector<CPoint> disc;
    for (int y = -4; y <= 4; ++y)
        for (int x = -4; x <= 4; ++x)
            if (x * x + y * y <= 16) disc.push_back({30 + x, 30 + y});
    EXPECT_EQ(CRegion(disc, CRegion::PointsMode::PixelSet, true).Pixels(),
              SortedUniqueRaster(disc));
    const std::vector<CPoint> line = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 3}};
    EXPECT_EQ(CRegion(line, CRegion::PointsMode::PixelSet, true).Pixels(),
              SortedUniqueRaster(line));
}

TEST(RegionTrace, PixelsOfATracedComponentAreTheComponentWithItsHolesFilled) {
    // Random sets give thin arms, pinches, diagonal joins and holes; whatever
    // the shape, the traced outline must enclose exactly the component.
    std::mt19937 gen(5);
    for (int trial = 0; trial < 400; ++trial) {
        const int size = 4 + trial % 11;
        std::bernoulli_distribution on(0.35 + 0.03 * (trial % 10));
        std::set<std::pair<int, int>> set;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (on(gen)) set.insert({x + 20, y + 30});
        if (set.empty()) continue;
        const CPoint seed{set.begin()->first, set.begin()->second};
        const std::vector<CPoint> component = Component8(set, seed);
        const CRegion r(component, CRegion::PointsMode::PixelSet, false);
        if (component.size() == 1) {
            EXPECT_FALSE(r.IsValid());
            continue;
        }
        ASSERT_TRUE(r.IsValid()) << "trial " << trial;
        EXPECT_TRUE(r.IsClosed()) << "trial " << trial;
        ASSERT_EQ(r.Pixels(), SortedUniqueRaster(FilledSet(component))) << "trial " << trial;
    }
}

TEST(RegionTrace, RetraceOfAFilledOutlineGivesTheSameOutline) {
    const CRegion polygon({{3, 3}, {20, 6}, {12, 18}, {6, 12}}, CRegion::PointsMode::Polygon);
    CRegion traced(polygon.Pixels(), CRegion::PointsMode::PixelSet);
    const std::vector<uint8_t> chain = traced.Chain();
    traced.Retrace(false);
    EXPECT_EQ(traced.Chain(), chain);
    EXPECT_EQ(traced.Pixels(), polygon.Pixels());
}

// ---------------------------------------------------------------- point in region

TEST(RegionContains, AgreesWithTheSegmentRuleOnClosedAndOpenOutlines) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> code(0, 7);
    for (int trial = 0; trial < 200; ++trial) {
        CRegion r;
        r.SetStart(40, 40);
        const int steps = 3 + trial % 60;
        for (int i = 0; i < steps; ++i) {
            const int c = code(gen);
            r.AddStep(kChainDx[c], kChainDy[c]);
        }
        if (trial % 2 == 0) r.Close();
        const CRect b = r.Bounds();
        for (int y = b.top - 2; y < b.bottom + 2; ++y)
            for (int x = b.left - 2; x < b.right + 2; ++x)
                ASSERT_EQ(r.Contains(x, y), ReferenceContains(r, x, y))
                    << "trial " << trial << " at " << x << "," << y << " chain " << r.ToText();
        // Pixels is the set Contains describes.
        std::vector<CPoint> inside;
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = b.left; x < b.right; ++x)
                if (ReferenceContains(r, x, y)) inside.push_back({x, y});
        ASSERT_EQ(r.Pixels(), inside) << "trial " << trial;
    }
}

TEST(RegionContains, ConcaveOutline) {
    // A "C" open to the right: the notch is inside the bounds but outside.
    const CRegion c({{0, 0}, {9, 0}, {9, 2}, {3, 2}, {3, 7}, {9, 7}, {9, 9}, {0, 9}},
                    CRegion::PointsMode::Polygon);
    EXPECT_TRUE(c.Contains(1, 5));
    EXPECT_TRUE(c.Contains(3, 5));  // on the boundary
    EXPECT_FALSE(c.Contains(6, 5));
    EXPECT_TRUE(c.Contains(8, 1));
    EXPECT_FALSE(c.Contains(10, 5));
    EXPECT_FALSE(c.Contains(-1, 5));
}

TEST(RegionContains, CacheFollowsChangesOfTheOutline) {
    CRegion r(Rectangle(0 + 5, 5, 4, 4), CRegion::PointsMode::PixelSet);
    EXPECT_TRUE(r.Contains(6, 6));
    r.Translate(-10, 0);
    EXPECT_FALSE(r.Contains(6, 6));
    EXPECT_TRUE(r.Contains(16, 6));
}

TEST(RegionContains, LiesInside) {
    const CRegion big(Rectangle(0, 0, 20, 20), CRegion::PointsMode::PixelSet);
    const CRegion small(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
    const CRegion crossing(Rectangle(15, 15, 10, 3), CRegion::PointsMode::PixelSet);
    EXPECT_TRUE(small.LiesInside(big));
    EXPECT_FALSE(big.LiesInside(small));
    EXPECT_FALSE(crossing.LiesInside(big));
    EXPECT_TRUE(big.LiesInside(big));

    // Inside the bounds of a "C" but in its notch: the corners are outside,
    // and so are the boundary points.
    const CRegion c({{0, 0}, {19, 0}, {19, 4}, {6, 4}, {6, 15}, {19, 15}, {19, 19}, {0, 19}},
                    CRegion::PointsMode::Polygon);
    const CRegion inNotch(Rectangle(10, 8, 3, 3), CRegion::PointsMode::PixelSet);
    EXPECT_FALSE(inNotch.LiesInside(c));
    const CRegion inArm(Rectangle(1, 6, 3, 8), CRegion::PointsMode::PixelSet);
    EXPECT_TRUE(inArm.LiesInside(c));
    EXPECT_FALSE(CRegion().LiesInside(big));
}

TEST(RegionContains, BoundsInside) {
    const CRegion r(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);  // bounds 5,5,8,8
    EXPECT_TRUE(r.BoundsInside({5, 5, 8, 8}));
    EXPECT_FALSE(r.BoundsInside({5, 5, 7, 8}));
    EXPECT_FALSE(r.BoundsInside({6, 5, 20, 20}));
}

// ---------------------------------------------------------------- neighbours, growth, moves

TEST(RegionNeighbours, OuterNeighboursOfASquare) {
    const CRegion square(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
    struct Case {
        int neighbourhood;
        int reach;
        bool corners;
    } cases[] = {{0, 1, false}, {1, 1, true}, {2, 2, true}};
    for (const Case& c : cases) {
        std::vector<CPoint> expected;
        for (int y = 5 - c.reach; y < 8 + c.reach; ++y)
            for (int x = 5 - c.reach; x < 8 + c.reach; ++x) {
                if (x >= 5 && x < 8 && y >= 5 && y < 8) continue;
                const bool corner = (x < 5 || x >= 8) && (y < 5 || y >= 8);
                if (corner && !c.corners) continue;
                expected.push_back({x, y});
            }
        const std::vector<CPoint> got = square.OuterNeighbours(c.neighbourhood);
        EXPECT_EQ(got.size(), SortedUniqueRaster(got).size())
            << "listed once, n=" << c.neighbourhood;
        EXPECT_EQ(SortedUniqueRaster(got), expected) << "n=" << c.neighbourhood;
    }
    // Boundary order: the start pixel's left neighbour comes first.
    EXPECT_EQ(square.OuterNeighbours(0).front(), (CPoint{4, 5}));
}

TEST(RegionNeighbours, LongThinOutlineWithHugeBounds) {
    // A diagonal stroke 20 000 pixels long: its bounds cover 4e8 pixels, its
    // outer 4-neighbours are the two diagonals beside it.
    const int n = 20000;
    CRegion r(std::string("5 5 ") + std::string(n, '3'));
    ASSERT_TRUE(r.IsValid());
    const std::vector<CPoint> got = r.OuterNeighbours(0);
    EXPECT_EQ(got.size(), static_cast<size_t>(2 * (n + 2)));
    EXPECT_EQ(SortedUniqueRaster(got).size(), got.size());
    for (CPoint p : got) {
        ASSERT_EQ(std::abs(p.x - p.y), 1) << p.x << "," << p.y;
        ASSERT_FALSE(r.Contains(p.x, p.y));
    }
}

TEST(RegionNeighbours, AddPixelsGrowsTheOutline) {
    CRegion r(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
    r.diagnosis = 1;
    r.AddPixels(r.OuterNeighbours(1));
    EXPECT_EQ(r.Pixels(), SortedUniqueRaster(Rectangle(4, 4, 5, 5)));
    EXPECT_EQ(r.diagnosis, 1);
    EXPECT_TRUE(r.IsTraced());
}

TEST(RegionMoves, TranslateMovesStartSpotAndBoundsTheOtherWay) {
    CRegion r(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
    r.spotX = 6;
    r.spotY = 7;
    const std::vector<uint8_t> chain = r.Chain();
    r.Translate(2, -3);
    EXPECT_EQ(r.StartX(), 3);
    EXPECT_EQ(r.StartY(), 8);
    EXPECT_EQ(r.spotX, 4);
    EXPECT_EQ(r.spotY, 10);
    EXPECT_EQ(r.Bounds(), (CRect{3, 8, 6, 11}));
    EXPECT_EQ(r.Chain(), chain);
}

TEST(RegionMoves, CopyKeepsOutlineAndAttributes) {
    CRegion r(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
    r.diagnosis = 0;
    r.nnDiagnosis = 'B';
    r.clusterNumber = 1004;
    r.type = 'c';
    r.response = 2.5;
    const CRegion copy(r);
    EXPECT_TRUE(copy.IsEqual(r));
    EXPECT_EQ(copy.diagnosis, 0);
    EXPECT_EQ(copy.nnDiagnosis, 'B');
    EXPECT_EQ(copy.clusterNumber, 1004);
    EXPECT_EQ(copy.type, 'c');
    EXPECT_EQ(copy.response, 2.5);
    EXPECT_TRUE(copy.Contains(6, 6));
}

TEST(RegionMoves, BoundaryIterationVisitsEveryPointThenResets) {
    CRegion r(Rectangle(5, 5, 2, 2), CRegion::PointsMode::PixelSet);
    std::vector<CPoint> visited;
    CPoint p;
    while (r.NextBoundaryPoint(p)) visited.push_back(p);
    EXPECT_EQ(visited, r.Boundary());
    ASSERT_TRUE(r.NextBoundaryPoint(p));
    EXPECT_EQ(p, (CPoint{5, 5}));
}
