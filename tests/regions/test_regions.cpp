#include "regions/regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "core/image_operations.h"
#include "point_sets.h"

using namespace vistrel;

namespace {

using regionstest::Rectangle;

CRegion Block(int x0, int y0, int w, int h, int16_t diagnosis = 2, int32_t cluster = 0) {
    CRegion r(Rectangle(x0, y0, w, h), CRegion::PointsMode::PixelSet);
    r.diagnosis = diagnosis;
    r.clusterNumber = cluster;
    return r;
}

std::set<std::pair<int, int>> AsSet(const std::vector<CPoint>& points) {
    std::set<std::pair<int, int>> s;
    for (CPoint p : points) s.insert({p.x, p.y});
    return s;
}

// A collection of four blocks: [0] a large cluster outline, [1] and [2]
// inside it, [3] outside.
CRegions ClusterFixture() {
    CRegions regions;
    regions.Add(Block(10, 10, 30, 30, 2, 1001));
    regions.Add(Block(15, 15, 3, 3, 2, 1));
    regions.Add(Block(30, 20, 4, 5, 2, 1));
    regions.Add(Block(60, 10, 4, 4, 2, 0));
    return regions;
}

// Rotation and mirror of an image, pixel by pixel: out(x, y) = in(source).
CMImageBase Transformed(const CMImageBase& in, int angle) {
    const bool swap = angle == 90 || angle == -90;
    CMImageBase out;
    out.Create(swap ? in.height : in.width, swap ? in.width : in.height, in.depth, 1);
    const int W = in.width, H = in.height;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            int sx = 0, sy = 0;
            switch (angle) {
                case 180:
                    sx = W - 1 - x;
                    sy = H - 1 - y;
                    break;
                case -90:
                    sx = y;
                    sy = H - 1 - x;
                    break;
                case 90:
                    sx = W - 1 - y;
                    sy = x;
                    break;
                case 1:
                    sx = W - 1 - x;
                    sy = y;
                    break;  // horizontal flip
                case 2:
                    sx = x;
                    sy = H - 1 - y;
                    break;  // vertical flip
            }
            out.SetPixel(x, y, in.GetPixel(sx, sy));
        }
    return out;
}

std::set<std::pair<int, int>> ObjectPixels(const CMImageBase& image) {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.GetPixel(x, y)) s.insert({x, y});
    return s;
}

}  // namespace

TEST(Regions, AddCopiesAndRefusesEqualOrInvalidRegions) {
    CRegions regions;
    CRegion r = Block(5, 5, 3, 3, 1);
    CRegion* added = regions.Add(r);
    ASSERT_NE(added, nullptr);
    EXPECT_NE(added, &r);
    EXPECT_EQ(added->diagnosis, 1);
    CRegion same = Block(5, 5, 3, 3, 0);  // equal outline, other attributes
    EXPECT_EQ(regions.Add(same), nullptr);
    EXPECT_EQ(regions.Add(CRegion("0 5 2246")), nullptr);
    EXPECT_EQ(regions.Add(CRegion()), nullptr);
    EXPECT_NE(regions.Add(Block(5, 5, 3, 4)), nullptr);
    EXPECT_EQ(regions.Count(), 2);
}

TEST(Regions, NextWalksTheRegionsAndStartsOverAfterTheEnd) {
    CRegions regions = ClusterFixture();
    std::vector<const CRegion*> seen;
    while (CRegion* r = regions.Next()) seen.push_back(r);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3], regions.At(3));
    EXPECT_EQ(regions.Next(), regions.At(0));

    std::string text, spot;
    char type;
    int16_t diagnosis;
    int32_t cluster;
    regions.ResetCursor();
    ASSERT_TRUE(regions.NextRegionText(text, spot, type, diagnosis, cluster));
    EXPECT_EQ(text, regions.At(0)->ToText());
    EXPECT_EQ(spot, regions.At(0)->SpotText());
    EXPECT_EQ(cluster, 1001);
}

TEST(Regions, CopyIsDeepAndResetsCursorAndSelection) {
    CRegions regions = ClusterFixture();
    regions.Select(2);
    regions.Next();
    CRegions copy(regions);
    EXPECT_EQ(copy.Selected(), -1);
    EXPECT_EQ(copy.Next(), copy.At(0));
    ASSERT_EQ(copy.Count(), 4);
    EXPECT_NE(copy.At(1), regions.At(1));
    copy.At(1)->diagnosis = 0;
    EXPECT_EQ(regions.At(1)->diagnosis, 2);
}

TEST(Regions, SelectionIsTakenAndCleared) {
    CRegions regions = ClusterFixture();
    EXPECT_EQ(regions.GetDiagnosisOfSelected(), -1);
    EXPECT_FALSE(regions.SetDiagnosisOfSelected(1));
    regions.Select(7);
    EXPECT_EQ(regions.Selected(), -1);
    regions.Select(3);
    EXPECT_TRUE(regions.SetDiagnosisOfSelected(1));
    EXPECT_EQ(regions.GetDiagnosisOfSelected(), 1);
    std::unique_ptr<CRegion> taken = regions.TakeSelected();
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->StartX(), 60);
    EXPECT_EQ(regions.Count(), 3);
    EXPECT_EQ(regions.Selected(), -1);
    EXPECT_EQ(regions.TakeSelected(), nullptr);
}

TEST(Regions, RemovalKeepsTheSelectionOnItsRegion) {
    CRegions regions = ClusterFixture();
    regions.Select(3);
    EXPECT_EQ(regions.RemoveClusterOutlines(), 1);
    ASSERT_EQ(regions.Count(), 3);
    ASSERT_NE(regions.SelectedRegion(), nullptr);
    EXPECT_EQ(regions.SelectedRegion()->StartX(), 60);
}

TEST(Regions, RemoveOperations) {
    struct Case {
        const char* name;
        int selected;
        int (*apply)(CRegions&);
        int removed;
        std::vector<int> remainingStartX;
    } cases[] = {
        {"cluster and inside", 0, [](CRegions& r) { return r.RemoveClusterAndInside(); }, 3, {60}},
        {"cluster without selection",
         -1,
         [](CRegions& r) { return r.RemoveClusterAndInside(); },
         0,
         {10, 15, 30, 60}},
        {"inside rect",
         -1,
         [](CRegions& r) {
             return r.RemoveInsideRect({14, 14, 35, 26});
         },
         2,
         {10, 60}},
        {"cluster outlines",
         -1,
         [](CRegions& r) { return r.RemoveClusterOutlines(); },
         1,
         {15, 30, 60}},
        {"selected", 1, [](CRegions& r) { return r.RemoveSelected() ? 1 : 0; }, 1, {10, 30, 60}},
        {"all",
         1,
         [](CRegions& r) {
             const int n = r.Count();
             r.RemoveAll();
             return n;
         },
         4,
         {}},
    };
    for (const Case& c : cases) {
        CRegions regions = ClusterFixture();
        regions.Select(c.selected);
        EXPECT_EQ(c.apply(regions), c.removed) << c.name;
        std::vector<int> starts;
        for (int i = 0; i < regions.Count(); ++i) starts.push_back(regions.At(i)->StartX());
        EXPECT_EQ(starts, c.remainingStartX) << c.name;
    }
}

TEST(Regions, RemoveInvalidDropsRegionsThatLostTheirStart) {
    CRegions regions = ClusterFixture();
    // Moved so that its start lands on x = -1, the mark of an empty outline.
    regions.At(1)->Translate(16, 0);
    EXPECT_FALSE(regions.At(1)->IsValid());
    EXPECT_EQ(regions.RemoveInvalid(), 1);
    EXPECT_EQ(regions.Count(), 3);
}

TEST(Regions, DiagnosisOfSelectedClusterOutlineReachesExactlyTheRegionsInside) {
    CRegions regions = ClusterFixture();
    // A region overlapping the outline's border is not inside it.
    regions.Add(Block(38, 30, 5, 3));
    regions.Select(0);
    EXPECT_EQ(regions.SetDiagnosisOfSelectedAndInside(1), 3);
    const int16_t expected[] = {1, 1, 1, 2, 2};
    for (int i = 0; i < regions.Count(); ++i)
        EXPECT_EQ(regions.At(i)->diagnosis, expected[i]) << "region " << i;

    EXPECT_EQ(regions.SetDiagnosisInsideRect({0, 0, 36, 36}, 0), 2);
    EXPECT_EQ(regions.At(1)->diagnosis, 0);
    EXPECT_EQ(regions.At(0)->diagnosis, 1);
    regions.SetDiagnosisOfAll(2);
    for (int i = 0; i < regions.Count(); ++i) EXPECT_EQ(regions.At(i)->diagnosis, 2);
}

TEST(Regions, CropToDropsRegionsCrossingTheBorderAndMovesTheOthers) {
    CRegions regions = ClusterFixture();
    regions.At(1)->spotX = 16;
    regions.At(1)->spotY = 17;
    // Keeps [1] (15..17) and [2] (30..33, 20..24); [0] crosses the border, [3] is outside.
    EXPECT_EQ(regions.CropTo({12, 14, 40, 30}), 2);
    ASSERT_EQ(regions.Count(), 2);
    EXPECT_EQ(regions.At(0)->StartX(), 3);
    EXPECT_EQ(regions.At(0)->StartY(), 1);
    EXPECT_EQ(regions.At(0)->spotX, 4);
    EXPECT_EQ(regions.At(0)->spotY, 3);
    EXPECT_EQ(regions.At(1)->Bounds(), (CRect{18, 6, 22, 11}));
}

TEST(Regions, TransformsRestoreTheOutlineExactly) {
    // An irregular outline (concave, diagonal edges) with attributes.
    CRegion r({{3, 4}, {17, 2}, {12, 9}, {20, 15}, {6, 13}}, CRegion::PointsMode::Polygon);
    r.Retrace(false);
    r.diagnosis = 0;
    r.nnDiagnosis = 'M';
    r.clusterNumber = 7;
    r.type = 'm';
    r.scale = 4;
    r.response = 1.25;
    r.mean = 300.5;
    r.energy = 0.75;
    r.spotX = 9;
    r.spotY = 8;
    const int W = 25, H = 19;
    struct Case {
        const char* name;
        void (*apply)(CRegions&, int, int);
        int times;
    } cases[] = {
        {"mirror horizontally twice", [](CRegions& c, int w, int) { c.MirrorHorizontally(w); }, 2},
        {"mirror vertically twice", [](CRegions& c, int, int h) { c.MirrorVertically(h); }, 2},
        {"rotate 180 twice", [](CRegions& c, int w, int h) { c.Rotate(w, h, 180); }, 2},
    };
    for (const Case& c : cases) {
        CRegions regions;
        regions.Add(r);
        for (int i = 0; i < c.times; ++i) c.apply(regions, W, H);
        const CRegion& back = *regions.At(0);
        EXPECT_TRUE(back.IsEqual(r)) << c.name << ": " << back.ToText() << " vs " << r.ToText();
        EXPECT_EQ(back.spotX, 9) << c.name;
        EXPECT_EQ(back.spotY, 8) << c.name;
        EXPECT_EQ(back.diagnosis, 0) << c.name;
        EXPECT_EQ(back.nnDiagnosis, 'M') << c.name;
        EXPECT_EQ(back.clusterNumber, 7) << c.name;
        EXPECT_EQ(back.type, 'm') << c.name;
        EXPECT_EQ(back.scale, 4) << c.name;
        EXPECT_EQ(back.response, 1.25) << c.name;
        EXPECT_EQ(back.mean, 300.5) << c.name;
        EXPECT_EQ(back.energy, 0.75) << c.name;
    }
    for (int angle : {-90, 90}) {
        CRegions regions;
        regions.Add(r);
        int w = W, h = H;
        for (int i = 0; i < 4; ++i) {
            std::swap(w, h);  // size after this rotation
            regions.Rotate(w, h, angle);
        }
        EXPECT_TRUE(regions.At(0)->IsEqual(r)) << "angle " << angle;
        EXPECT_EQ(regions.At(0)->spotX, 9);
        EXPECT_EQ(regions.At(0)->spotY, 8);
    }
    CRegions unchanged;
    unchanged.Add(r);
    EXPECT_FALSE(unchanged.Rotate(W, H, 45));
    EXPECT_TRUE(unchanged.At(0)->IsEqual(r));
}

TEST(Regions, TransformedRegionsCoverTheTransformedImageObjects) {
    // Objects of a binary image (odd size, objects on the border, concave
    // shapes) as regions; after transforming image and regions alike, every
    // region's pixels are exactly object pixels of the transformed image.
    CMImageBase image;
    ASSERT_TRUE(image.Create(23, 17, 8, 1));
    std::vector<CRegion> shapes = {
        CRegion({{0, 0}, {6, 0}, {6, 2}, {2, 2}, {2, 6}, {0, 6}}, CRegion::PointsMode::Polygon),
        CRegion({{10, 3}, {18, 5}, {14, 11}}, CRegion::PointsMode::Polygon),
        CRegion({{16, 12}, {22, 12}, {22, 16}, {16, 16}}, CRegion::PointsMode::Polygon),
        CRegion({{3, 10}, {8, 14}, {5, 16}, {1, 15}}, CRegion::PointsMode::Polygon),
    };
    CRegions regions;
    for (const CRegion& s : shapes) {
        for (CPoint p : s.Pixels()) image.SetPixel(p.x, p.y, 255);
        regions.Add(CRegion(s.Pixels(), CRegion::PointsMode::PixelSet));
    }
    struct Case {
        const char* name;
        int code;  // image transform: angle, or 1/2 for the flips
    } cases[] = {{"180", 180}, {"-90", -90}, {"90", 90}, {"flip h", 1}, {"flip v", 2}};
    for (const Case& c : cases) {
        const CMImageBase moved = Transformed(image, c.code);
        // The workstation turns the image with the image operations; the
        // regions must land on the same pixels as with the mapping above.
        CMImageBase turned(image);
        ASSERT_TRUE(c.code == 1   ? FlipHorizontal(turned)
                    : c.code == 2 ? FlipVertical(turned)
                                  : Rotate(turned, c.code))
            << c.name;
        ASSERT_EQ(ObjectPixels(turned), ObjectPixels(moved)) << c.name;
        CRegions movedRegions(regions);
        if (c.code == 1)
            movedRegions.MirrorHorizontally(moved.width);
        else if (c.code == 2)
            movedRegions.MirrorVertically(moved.height);
        else
            movedRegions.Rotate(moved.width, moved.height, c.code);
        std::set<std::pair<int, int>> covered;
        for (int i = 0; i < movedRegions.Count(); ++i) {
            const auto pixels = AsSet(movedRegions.At(i)->Pixels());
            EXPECT_EQ(pixels.size(), regions.At(i)->Pixels().size()) << c.name << " region " << i;
            covered.insert(pixels.begin(), pixels.end());
        }
        EXPECT_EQ(covered, ObjectPixels(moved)) << c.name;
    }
}

TEST(Regions, SmoothByDilationReachesAllRegionsOrOneClustersMembers) {
    struct Case {
        int32_t cluster;
        std::vector<bool> grown;  // per region of the fixture
    } cases[] = {{0, {true, true, true, true}},
                 {1001, {false, true, true, false}},
                 {1002, {false, false, false, false}}};
    for (const Case& c : cases) {
        CRegions regions = ClusterFixture();
        std::vector<size_t> before;
        for (int i = 0; i < regions.Count(); ++i) before.push_back(regions.At(i)->Pixels().size());
        regions.SmoothByDilation({0, 0, 100, 100}, 1, c.cluster);
        for (int i = 0; i < regions.Count(); ++i)
            EXPECT_EQ(regions.At(i)->Pixels().size() > before[static_cast<size_t>(i)],
                      c.grown[static_cast<size_t>(i)])
                << "cluster " << c.cluster << " region " << i;
    }
}
