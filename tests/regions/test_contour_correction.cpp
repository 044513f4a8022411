#include "regions/contour_correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "point_sets.h"
#include "regions/regions.h"

using namespace vistrel;

namespace {

using regionstest::Rectangle;
using regionstest::SortedRaster;

// A 12-bit image: background `outside`, a square [10, 20) of 1000, framed by
// a one-pixel ring of `frame`.
CMImageBase SquareImage(int frame, int outside) {
    CMImageBase image;
    image.Create(40, 40, 12, 1);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            int v = outside;
            if (x >= 9 && x < 21 && y >= 9 && y < 21) v = frame;
            if (x >= 10 && x < 20 && y >= 10 && y < 20) v = 1000;
            image.SetPixel(x, y, v);
        }
    return image;
}

}  // namespace

TEST(RegionGrowing, AddsRingsWithinTheToleranceOfTheMean) {
    struct Case {
        const char* name;
        int frame;
        double fraction;
        int rings;
        std::vector<CPoint> result;
    } cases[] = {
        // Frame within 1 % of the mean: its sides join first, its corners
        // (cross neighbours only of the sides) in the second ring.
        {"frame joins", 1008, 0.01, 2, Rectangle(9, 9, 12, 12)},
        {"frame too far", 1008, 0.005, 0, Rectangle(10, 10, 10, 10)},
        {"darker frame joins", 992, 0.01, 2, Rectangle(9, 9, 12, 12)},
    };
    for (const Case& c : cases) {
        const CMImageBase image = SquareImage(c.frame, 3000);
        CRegion region(Rectangle(10, 10, 10, 10), CRegion::PointsMode::PixelSet);
        region.diagnosis = 0;
        CRegionGrowingParams params;
        params.fraction = c.fraction;
        EXPECT_EQ(GrowRegion(region, image, params), c.rings) << c.name;
        EXPECT_EQ(region.Pixels(), SortedRaster(c.result)) << c.name;
        EXPECT_EQ(region.diagnosis, 0) << c.name;
    }
}

TEST(RegionGrowing, StopsAfterTheMaximumNumberOfRingsAndAtTheImageBorder) {
    CMImageBase flat;
    flat.Create(30, 30, 8, 1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) flat.SetPixel(x, y, 100);
    CRegion region(Rectangle(12, 12, 3, 3), CRegion::PointsMode::PixelSet);
    CRegionGrowingParams params;
    params.maxAddedBounds = 3;
    EXPECT_EQ(GrowRegion(region, flat, params), 3);
    // Three cross dilations of the square: city-block distance <= 3.
    std::vector<CPoint> expected;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const int dx = x < 12 ? 12 - x : (x > 14 ? x - 14 : 0);
            const int dy = y < 12 ? 12 - y : (y > 14 ? y - 14 : 0);
            if (dx + dy <= 3) expected.push_back({x, y});
        }
    EXPECT_EQ(region.Pixels(), expected);

    CRegion corner(Rectangle(0, 0, 3, 3), CRegion::PointsMode::PixelSet);
    params.maxAddedBounds = 100;
    // The far corner (29, 29) lies 27 + 27 cross steps from the square; then
    // nothing inside the image is left to add.
    EXPECT_EQ(GrowRegion(corner, flat, params), 54);
    EXPECT_EQ(corner.Bounds(), (CRect{0, 0, 30, 30}));
}

TEST(RegionGrowing, ClusterSelectionTakesMembersAndOutline) {
    CMImageBase flat;
    flat.Create(100, 100, 8, 1);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) flat.SetPixel(x, y, 50);
    CRegions regions;
    const int clusters[] = {1002, 2, 2, 3, 0};
    for (int i = 0; i < 5; ++i) {
        CRegion r(Rectangle(5 + 18 * i, 40, 4, 4), CRegion::PointsMode::PixelSet);
        r.clusterNumber = clusters[i];
        regions.Add(r);
    }
    CRegionGrowingParams params;
    params.maxAddedBounds = 1;
    EXPECT_EQ(GrowRegions(regions, flat, params, 1002), 3);
    const size_t grown[] = {16 + 16, 16 + 16, 16 + 16, 16, 16};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(regions.At(i)->Pixels().size(), grown[i]) << "region " << i;
    EXPECT_EQ(GrowRegions(regions, flat, params, 0), 5);
}

TEST(Dilation, CrossOrSquareWithinTheRectangle) {
    struct Case {
        int element;
        CRect rect;
        int added;
        size_t pixels;
    } cases[] = {{0, {0, 0, 50, 50}, 12, 21},
                 {1, {0, 0, 50, 50}, 16, 25},
                 // The rectangle cuts off the left column and the top row.
                 {1, {5, 5, 50, 50}, 7, 16}};
    for (const Case& c : cases) {
        CRegion r(Rectangle(5, 5, 3, 3), CRegion::PointsMode::PixelSet);
        EXPECT_EQ(DilateRegion(r, c.rect, c.element), c.added) << "element " << c.element;
        EXPECT_EQ(r.Pixels().size(), c.pixels) << "element " << c.element;
        for (CPoint p : r.Pixels()) {
            EXPECT_GE(p.x, c.rect.left);
            EXPECT_GE(p.y, c.rect.top);
        }
    }
}
