#include "detection/spot_file.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <fstream>

#include "support/native_file_builders.h"
#include "support/scratch_dir.h"

namespace vistrel {
namespace {

namespace fs = std::filesystem;

using testsupport::ZeroedImage;

CPointResponse Spot(int x, int y, double r, double scale) {
    CPointResponse s({x, y}, r, scale);
    for (double v : {r, r * r, 1.123456789, 2.5, 3.987654321, 4.0}) s.Append(v);
    return s;
}

TEST(SpotFileName, BuildAndParse) {
    CSpotFileParams p{2, 1, 9, 5, 4};
    EXPECT_EQ(SpotFileName("/d/case.a/img.pgm", p), "/d/case.a/img.spots.S2_1_9_N5_4_.cnd");
    EXPECT_EQ(SpotFileName("/d/img.pgm", p, 120.7), "/d/img.spots.S2_1_9_N5_4_T120.cnd");
    CSpotFileParams back;
    ASSERT_TRUE(ParseSpotFileName("/d/case.a/img.spots.S2_1_9_N5_4_T120.cnd", back));
    EXPECT_EQ(back.minScale, 2);
    EXPECT_EQ(back.increment, 1);
    EXPECT_EQ(back.maxScale, 9);
    EXPECT_EQ(back.localMaxSide, 5);
    EXPECT_EQ(back.searchSide, 4);
    EXPECT_FALSE(ParseSpotFileName("/d/img.txt", back));
}

TEST(SpotFile, RoundTripTo6And8Decimals) {
    CSpotList spots;
    spots.Append(Spot(10, 20, 123.4567891, 3));
    spots.Append(Spot(0, 0, -5.25, 7));
    spots.Append(Spot(99, 49, 1e-3, 5));
    const testsupport::CScratchDir scratch("vistrel_spots");
    const fs::path path = scratch.path() / "vistrel_spots_test.cnd";
    ASSERT_EQ(SaveSpots(path.string(), spots, {0, 0}), 3);
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first,
              "(10, 20) 123.456789 3 123.45678910 15241.57877488 1.12345679 2.50000000 "
              "3.98765432 4.00000000 ");
    CSpotList back;
    ASSERT_EQ(LoadSpots(path.string(), back, {0, 0}, 100, 50), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back[i].x, spots[i].x);
        EXPECT_EQ(back[i].y, spots[i].y);
        EXPECT_NEAR(back[i].response, spots[i].response, 5e-7);
        ASSERT_EQ(back[i].values.size(), spots[i].values.size());
        EXPECT_EQ(back[i].values[0], spots[i].values[0]);
        for (std::size_t k = 2; k < spots[i].values.size(); ++k)
            EXPECT_NEAR(back[i].values[k], spots[i].values[k], 5e-9);
    }
    // Offsets move on writing and back on reading; points outside the image
    // (after the shift) are dropped.
    ASSERT_EQ(SaveSpots(path.string(), spots, {100, 200}, 0.0), 2);  // threshold drops -5.25
    CSpotList shifted;
    EXPECT_EQ(LoadSpots(path.string(), shifted, {100, 200}, 50, 50), 1);
    ASSERT_EQ(shifted.Count(), 1);
    EXPECT_EQ(shifted[0].x, 10);
    fs::remove(path);
    EXPECT_EQ(SaveSpots(path.string(), CSpotList(), {0, 0}), 0);
    EXPECT_FALSE(fs::exists(path));  // nothing written for an empty list
    EXPECT_EQ(LoadSpots(path.string(), back, {0, 0}, 10, 10), -1);
}

TEST(SpotFile, MalformedLinesAreSkipped) {
    const testsupport::CScratchDir scratch("vistrel_spots");
    const fs::path path = scratch.path() / "vistrel_spots_bad.cnd";
    {
        std::ofstream out(path);
        out << "garbage\n(5 6) 1.0 3 \n(-1, 4) 2.0 3 2.0 \n(7, 8) 3.5 4 3.5 9.25 \n(1, 2)\n";
    }
    CSpotList spots;
    EXPECT_EQ(LoadSpots(path.string(), spots, {0, 0}, 20, 20), 1);
    ASSERT_EQ(spots.Count(), 1);
    EXPECT_EQ(spots[0].x, 7);
    EXPECT_EQ(spots[0].values, (std::vector<double>{4, 3.5, 9.25}));
    fs::remove(path);
}

TEST(SpotFile, RepeatedSpotsAreAddedOnce) {
    const testsupport::CScratchDir scratch("vistrel_spots");
    const fs::path path = scratch.path() / "vistrel_spots_repeated.cnd";
    {
        std::ofstream out(path);
        out << "(7, 8) 3.5 4 3.5 9.25 \n(1, 2) 2.0 3 2.0 \n(7, 8) 3.5 4 3.5 9.25 \n"
               "(7, 8) 3.5 4 3.5 9.5 \n";
    }
    // The list's own spots count as well: (1, 2) is there already.
    CSpotList spots;
    CPointResponse present({1, 2}, 2.0, 3);
    present.Append(2.0);
    spots.Append(present);
    EXPECT_EQ(LoadSpots(path.string(), spots, {0, 0}, 20, 20), 2);
    ASSERT_EQ(spots.Count(), 3);
    EXPECT_EQ(spots[1].values, (std::vector<double>{4, 3.5, 9.25}));
    EXPECT_EQ(spots[2].values, (std::vector<double>{4, 3.5, 9.5}));
    fs::remove(path);
}

TEST(SpotMarks, Shapes) {
    const CMImage image = ZeroedImage(20, 20, 8);
    CSpotList spots;
    spots.Append(Spot(10, 10, 1, 5));  // circle of size 5: radius 2.5, |d| <= 2
    spots.Append(Spot(0, 0, 1, 3));
    const struct {
        ESpotMark shape;
        int marked;
    } cases[] = {{ESpotMark::kDots, 2}, {ESpotMark::kCrosses, 9 + 4}, {ESpotMark::kCircles, 0}};
    for (const auto& c : cases) {
        auto marks = SpotMarkImage(image, spots, c.shape);
        ASSERT_TRUE(marks);
        EXPECT_EQ(marks->depth, 1);
        int count = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) count += marks->GetPixel(x, y) != 0;
        if (c.shape == ESpotMark::kCircles) {
            // 5x5 square minus 4 corners (8 > 6.25) = 21, plus the clipped 3x3
            // disc at the corner: (0,0),(1,0),(0,1) and (1,1) (2 <= 2.25) = 4.
            EXPECT_EQ(count, 21 + 4);
            EXPECT_EQ(marks->GetPixel(12, 10), 1);
            EXPECT_EQ(marks->GetPixel(12, 12), 0);
        } else {
            EXPECT_EQ(count, c.marked);
        }
    }
}

// Marks burnt into a bright 12-bit image: marked pixels at maxValue and, when
// outlined, the unmarked pixels touching them at 0; the rest untouched.
TEST(ShowSpots, MarksOnTheImageAndTheirOutline) {
    CMImage image(21, 13, 12);  // odd width: a 1-bit mark row ends inside a byte
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.SetPixel(x, y, 3000 + x);
    CSpotList spots;
    spots.Append(Spot(0, 0, 1, 3));   // crosses clipped by the corner
    spots.Append(Spot(20, 6, 1, 3));  // on the last column
    spots.Append(Spot(10, 6, 1, 3));  // inside
    spots.Append(Spot(11, 6, 1, 3));  // overlapping it: the shared edge stays marked
    const CSpotList none;
    const CClusters noClusters;
    auto marks = SpotMarkImage(image, spots, ESpotMark::kCrosses);
    ASSERT_TRUE(marks);
    for (const bool outlined : {false, true}) {
        auto shown = ShowSpots(image, spots, none, noClusters, true, ESpotShow::kSpots,
                               ESpotMark::kCrosses, outlined);
        ASSERT_TRUE(shown);
        ASSERT_EQ(shown->depth, 12);
        int outline = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                bool touches = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) touches |= marks->GetPixel(x + dx, y + dy);
                const int expected = marks->GetPixel(x, y) ? 4095
                                     : outlined && touches ? 0
                                                           : 3000 + x;
                outline += expected == 0;
                ASSERT_EQ(shown->GetPixel(x, y), expected)
                    << x << "," << y << (outlined ? " outlined" : "");
            }
        // Corner: its 2x2 in a 3x3; last column: its 2x3 in a 3x5 (the image
        // ends); the pair: its 4x3 in a 6x5.
        EXPECT_EQ(outline, outlined ? (9 - 4) + (15 - 6) + (30 - 12) : 0);
    }
    // Without the image the marks come alone, whatever outlined says.
    auto alone = ShowSpots(image, spots, none, noClusters, false, ESpotShow::kSpots,
                           ESpotMark::kCrosses, true);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->depth, 1);
}

// Circles drawn by rows against the definition pixel by pixel, for every
// size and for spots on, near and beyond the edges.
TEST(SpotMarks, CirclesMatchTheDefinition) {
    const CMImage image = ZeroedImage(37, 23, 8);
    CSpotList spots;
    int size = 0;
    for (int y : {-3, 0, 1, 11, 21, 22, 25})
        for (int x : {-2, 0, 3, 18, 35, 36, 40}) spots.Append(Spot(x, y, 1, size++ % 14));
    spots.Append(Spot(5, 5, 1, -DBL_MAX));  // size 1
    CPointResponse bare({30, 8}, 1.0);      // no values: size 0
    spots.Append(bare);
    spots.Append(Spot(9, 9, 1, 7.9));  // truncated to 7
    auto marks = SpotMarkImage(image, spots, ESpotMark::kCircles);
    ASSERT_TRUE(marks);
    std::vector<uint8_t> expected(std::size_t(image.width * image.height), 0);
    for (int32_t i = 0; i < spots.Count(); ++i) {
        const CPointResponse& s = spots[i];
        const int sz = s.values.empty() ? 0 : (s.values[0] == -DBL_MAX ? 1 : int(s.values[0]));
        const double r2 = (sz / 2.0) * (sz / 2.0);
        for (int dy = -(sz / 2); dy <= sz / 2; ++dy)
            for (int dx = -(sz / 2); dx <= sz / 2; ++dx) {
                const int x = s.x + dx, y = s.y + dy;
                if ((r2 >= double(dx * dx + dy * dy) || (dx == 0 && dy == 0)) && x >= 0 && y >= 0 &&
                    x < image.width && y < image.height)
                    expected[std::size_t(y * image.width + x)] = 1;
            }
    }
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            ASSERT_EQ(marks->GetPixel(x, y), expected[std::size_t(y * image.width + x)])
                << x << "," << y;
}

TEST(ClusterAreas, LargestFirstSmallerOnTop) {
    const CMImage image = ZeroedImage(30, 30, 8);
    CClusters clusters;
    auto small = std::make_unique<CCluster>();
    small->AddPoint(5, 5);
    small->AddPoint(7, 7);
    auto big = std::make_unique<CCluster>();
    big->AddPoint(2, 2);
    big->AddPoint(20, 20);
    clusters.Add(std::move(small));  // added first, painted last
    clusters.Add(std::move(big));
    auto areas = ClusterAreaImage(image, clusters);
    ASSERT_TRUE(areas);
    EXPECT_EQ(areas->depth, 4);
    const CRect bigBox = clusters.At(1)->Bounds();
    EXPECT_EQ(areas->GetPixel(bigBox.left, bigBox.top), 7);
    EXPECT_EQ(areas->GetPixel(bigBox.left + 1, bigBox.top + 1), 15);
    const CRect smallBox = clusters.At(0)->Bounds();
    EXPECT_EQ(areas->GetPixel(smallBox.left, smallBox.top), 7);  // border over the big inside
    EXPECT_EQ(areas->GetPixel(0, 0), 0);
    // On the image: marked pixels become maxValue.
    CSpotList none, spots;
    spots.Append(Spot(3, 3, 1, 1));
    auto shown = ShowSpots(image, spots, none, clusters, true, ESpotShow::kSpots, ESpotMark::kDots);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->depth, 8);
    EXPECT_EQ(shown->GetPixel(3, 3), 255);
    EXPECT_EQ(shown->GetPixel(4, 3), 0);
    auto nothing =
        ShowSpots(image, spots, none, clusters, false, ESpotShow::kNone, ESpotMark::kDots);
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->depth, 1);
    EXPECT_EQ(nothing->GetPixel(3, 3), 0);
}

}  // namespace
}  // namespace vistrel
