#include "regions/extract_regions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "point_sets.h"

using namespace vistrel;

namespace {

using regionstest::FilledSet;
using regionstest::SortedRaster;

// Independent labeller: flood fill over object pixels, components listed in
// the raster order of their first pixel, each with its pixels.
std::vector<std::vector<CPoint>> FloodComponents(const CMImageBase& image, int value,
                                                 int connectivity) {
    const int w = image.width, h = image.height;
    std::vector<int> label(static_cast<size_t>(w * h), 0);
    std::vector<std::vector<CPoint>> components;
    auto isObject = [&](int x, int y) {
        return static_cast<uint16_t>(image.GetPixel(x, y)) == value;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!isObject(x, y) || label[static_cast<size_t>(y * w + x)]) continue;
            components.emplace_back();
            const int id = static_cast<int>(components.size());
            std::vector<CPoint> stack{{x, y}};
            label[static_cast<size_t>(y * w + x)] = id;
            while (!stack.empty()) {
                const CPoint p = stack.back();
                stack.pop_back();
                components.back().push_back(p);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if ((dx == 0 && dy == 0) || (connectivity == 4 && dx != 0 && dy != 0))
                            continue;
                        const int nx = p.x + dx, ny = p.y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h || !isObject(nx, ny)) continue;
                        int& l = label[static_cast<size_t>(ny * w + nx)];
                        if (l) continue;
                        l = id;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return components;
}

// Draws an image from rows of text: '#' = value, '.' = 0, any digit = that value.
CMImageBase FromText(const std::vector<std::string>& rows, int depth, int value) {
    CMImageBase image;
    image.Create(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), depth, 1);
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const char c = rows[y][x];
            const int v = c == '#' ? value : (c >= '0' && c <= '9') ? c - '0' : 0;
            image.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y), v);
        }
    return image;
}

// Random discs (radius >= 1), rings with holes, rectangles (some cut by the
// image border, leaving at least 2 x 2 pixels) and isolated single pixels.
// Every pixel of a shape has at least three neighbours in it, so apart from
// the isolated pixels there is nothing for the clean-up to remove.
CMImageBase RandomObjects(int width, int height, int depth, int value, unsigned seed) {
    CMImageBase image;
    image.Create(width, height, depth, 1);
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> kind(0, 9), size(1, 5);
    auto set = [&](int x, int y) { image.SetPixel(x, y, value); };
    for (int n = 0; n < width * height / 150; ++n) {
        const int k = kind(gen), s = size(gen);
        if (k < 6) {
            // Rectangles may stick out of the image on any side.
            const int w = 2 + s, h = 2 + size(gen);
            const int x0 = std::uniform_int_distribution<int>(-w + 2, width - 2)(gen);
            const int y0 = std::uniform_int_distribution<int>(-h + 2, height - 2)(gen);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) set(x0 + x, y0 + y);
            continue;
        }
        const int r = k < 8 ? s : s + 3;
        const int cx = std::uniform_int_distribution<int>(r, width - 1 - r)(gen);
        const int cy = std::uniform_int_distribution<int>(r, height - 1 - r)(gen);
        if (k == 9) {
            bool alone = true;
            for (int y = -1; y <= 1; ++y)
                for (int x = -1; x <= 1; ++x)
                    if (image.GetPixel(cx + x, cy + y)) alone = false;
            if (alone) set(cx, cy);
            continue;
        }
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x) {
                const int d = x * x + y * y;
                if (d <= r * r && (k < 8 || d > (r - 2) * (r - 2))) set(cx + x, cy + y);
            }
    }
    // Sprinkle pixels of other values: background to the extraction.
    std::uniform_int_distribution<int> px(0, width - 1), py(0, height - 1);
    for (int n = 0; n < width * height / 40; ++n) {
        const int x = px(gen), y = py(gen);
        if (image.GetPixel(x, y) == 0) image.SetPixel(x, y, value - 1);
    }
    return image;
}

}  // namespace

struct ExtractCase {
    int depth;
    int connectivity;
    unsigned seed;
};

class ExtractAgainstFloodFill : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractAgainstFloodFill, OneRegionPerComponentCoveringIt) {
    const ExtractCase c = GetParam();
    const int value = c.depth == 1 ? 1 : (1 << c.depth) - 1;
    // The 1-bit image has no room for other values; it gets none.
    CMImageBase image = RandomObjects(161, 103, c.depth, value, c.seed);
    const auto components = FloodComponents(image, value, c.connectivity);
    const std::unique_ptr<CRegions> regions = ExtractRegions(image, value, c.connectivity);
    ASSERT_NE(regions, nullptr);

    std::vector<const std::vector<CPoint>*> expected;
    int singles = 0;
    for (const auto& comp : components) {
        if (comp.size() == 1)
            ++singles;
        else
            expected.push_back(&comp);
    }
    ASSERT_GT(expected.size(), 20u) << "fixture too sparse";
    ASSERT_GT(singles, 0) << "fixture has no one-pixel objects";
    ASSERT_EQ(regions->Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < regions->Count(); ++i) {
        const CRegion& r = *regions->At(i);
        ASSERT_TRUE(r.IsValid());
        ASSERT_EQ(r.Pixels(), SortedRaster(FilledSet(*expected[static_cast<size_t>(i)])))
            << "region " << i << " " << r.ToText();
        EXPECT_EQ(r.type, 'o');
        EXPECT_EQ(r.diagnosis, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractAgainstFloodFill,
                         ::testing::Values(ExtractCase{8, 8, 1}, ExtractCase{8, 4, 1},
                                           ExtractCase{16, 8, 2}, ExtractCase{12, 4, 3},
                                           ExtractCase{1, 8, 4}, ExtractCase{1, 4, 5},
                                           ExtractCase{4, 8, 6}, ExtractCase{4, 4, 7}));

struct ShapeCase {
    const char* name;
    std::vector<std::string> rows;
    int connectivity;
    int regions;
};

class ExtractShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ExtractShapes, CountsRegions) {
    const ShapeCase c = GetParam();
    const CMImageBase image = FromText(c.rows, 8, 255);
    const auto regions = ExtractRegions(image, 255, c.connectivity);
    ASSERT_NE(regions, nullptr);
    EXPECT_EQ(regions->Count(), c.regions) << c.name;
    // Together the regions cover every object pixel that is not a lone pixel.
    size_t covered = 0, objects = 0;
    for (int i = 0; i < regions->Count(); ++i) covered += regions->At(i)->Pixels().size();
    for (const auto& comp : FloodComponents(image, 255, c.connectivity))
        if (comp.size() > 1) objects += comp.size();
    EXPECT_EQ(covered, objects) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractShapes,
    ::testing::Values(ShapeCase{"diagonal pair, 8", {"....", ".#..", "..#.", "...."}, 8, 1},
                      ShapeCase{"diagonal pair, 4", {"....", ".#..", "..#.", "...."}, 4, 0},
                      ShapeCase{"single pixel", {"...", ".#.", "..."}, 8, 0},
                      // Arms labelled separately, joined only on the bottom row.
                      ShapeCase{"U", {"#...#", "#...#", "#...#", "#####"}, 8, 1},
                      // Two pairs of prongs, each joined first, then both pairs joined: the
                      // second join merges two existing equivalence sets.
                      ShapeCase{"two forks joined",
                                {"#.#.#.#", "#.#.#.#", "###.###", "#.....#", "#######"},
                                4,
                                1},
                      ShapeCase{"comb", {"#.#.#.#.#", "#.#.#.#.#", "#########"}, 4, 1},
                      // Joined only diagonally at one corner: 8 sees one, 4 sees two.
                      ShapeCase{"touching corners, 8", {"##..", "##..", "..##", "..##"}, 8, 1},
                      ShapeCase{"touching corners, 4", {"##..", "##..", "..##", "..##"}, 4, 2},
                      ShapeCase{"whole image", {"###", "###"}, 8, 1},
                      ShapeCase{"other values are background", {"#99", "#99", "..."}, 8, 1}));

TEST(Extract, NestedObjectsAreSeparateRegionsAndTheOuterOneCoversTheHole) {
    const CMImageBase image = FromText(
        {"#########", "#.......#", "#.##....#", "#.##....#", "#.......#", "#########"}, 8, 255);
    const auto regions = ExtractRegions(image, 255, 8);
    ASSERT_NE(regions, nullptr);
    ASSERT_EQ(regions->Count(), 2);
    EXPECT_EQ(regions->At(0)->Pixels().size(), 54u);  // the frame with its hole
    EXPECT_EQ(regions->At(1)->Pixels().size(), 4u);
    EXPECT_TRUE(regions->At(1)->LiesInside(*regions->At(0)));
}

TEST(Extract, RegionsComeInTheRasterOrderOfTheirFirstPixel) {
    // The right object starts on a higher row than the left one.
    const CMImageBase image = FromText({".....##", "##...##", "##.....", "......."}, 8, 255);
    const auto regions = ExtractRegions(image, 255, 8);
    ASSERT_EQ(regions->Count(), 2);
    EXPECT_EQ(regions->At(0)->StartX(), 5);
    EXPECT_EQ(regions->At(1)->StartX(), 0);
}

TEST(Extract, OnlyTheObjectValueCounts) {
    const CMImageBase image = FromText({"33.77", "33.77"}, 8, 0);
    EXPECT_EQ(ExtractRegions(image, 3, 8)->Count(), 1);
    EXPECT_EQ(ExtractRegions(image, 3, 8)->At(0)->StartX(), 0);
    EXPECT_EQ(ExtractRegions(image, 7, 8)->At(0)->StartX(), 3);
    EXPECT_EQ(ExtractRegions(image, 5, 8)->Count(), 0);
    EXPECT_EQ(ExtractRegions(image, 70000, 8)->Count(), 0);
}

TEST(Extract, RefusesBadInput) {
    CMImageBase empty;
    EXPECT_EQ(ExtractRegions(empty, 1, 8), nullptr);
    const CMImageBase image = FromText({"##", "##"}, 8, 255);
    EXPECT_EQ(ExtractRegions(image, 255, 6), nullptr);
    EXPECT_EQ(ExtractRegions(image, 255, 0), nullptr);
}

// Thresholded real mammograms give thousands of irregular objects: thin
// strands, pinches, holes, objects on the border. Every component of two or
// more pixels gives one region, in order; the region encloses the component
// with its holes, less only pixels hanging on by a single neighbour.
TEST(Extract, ThresholdedMammogramsAgainstFloodFill) {
#ifndef VISTREL_SHARED_DATA
    GTEST_SKIP() << "no shared data";
#else
    struct Case {
        const char* file;
        int low, high;  // object: low <= value < high
        int connectivity;
    } cases[] = {{"mdb209.pgm", 200, 210, 8},
                 {"mdb209.pgm", 150, 165, 4},
                 {"mdb209.pgm", 120, 123, 8},
                 {"mdb219.pgm", 150, 153, 8},
                 {"mdb001.pgm", 150, 152, 4}};
    for (const Case& c : cases) {
        const std::string path = std::string(VISTREL_SHARED_DATA) + "/mammograms/mias/" + c.file;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "missing " << path;
        CMImage mammogram;
        std::string description;
        ASSERT_EQ(mammogram.ReadPgm(path, description), 1) << path;
        CMImageBase binary;
        ASSERT_TRUE(binary.Create(mammogram.width, mammogram.height, 1, 1));
        for (int y = 0; y < mammogram.height; ++y)
            for (int x = 0; x < mammogram.width; ++x) {
                const int v = static_cast<uint16_t>(mammogram.GetPixel(x, y));
                binary.SetPixel(x, y, v >= c.low && v < c.high ? 1 : 0);
            }
        const auto components = FloodComponents(binary, 1, c.connectivity);
        const auto regions = ExtractRegions(binary, 1, c.connectivity);
        ASSERT_NE(regions, nullptr);
        std::vector<const std::vector<CPoint>*> expected;
        for (const auto& comp : components)
            if (comp.size() > 1) expected.push_back(&comp);
        ASSERT_GT(expected.size(), 100u) << c.file << " " << c.low;
        ASSERT_EQ(regions->Count(), static_cast<int>(expected.size())) << c.file << " " << c.low;

        const int w = binary.width;
        std::vector<int> owner(static_cast<size_t>(w * binary.height), -1);
        for (int i = 0; i < regions->Count(); ++i) {
            const std::vector<CPoint>& comp = *expected[static_cast<size_t>(i)];
            for (CPoint p : comp) owner[static_cast<size_t>(p.y * w + p.x)] = i;
            auto neighbours = [&](CPoint p) {
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = p.x + dx, y = p.y + dy;
                        if ((dx || dy) && x >= 0 && y >= 0 && x < w && y < binary.height &&
                            owner[static_cast<size_t>(y * w + x)] == i)
                            ++n;
                    }
                return n;
            };
            const std::vector<CPoint> pixels = regions->At(i)->Pixels();
            const std::vector<CPoint> filled = SortedRaster(FilledSet(comp));
            std::vector<CPoint> extra, missing;
            std::set_difference(pixels.begin(), pixels.end(), filled.begin(), filled.end(),
                                std::back_inserter(extra), [](CPoint a, CPoint b) {
                                    return a.y != b.y ? a.y < b.y : a.x < b.x;
                                });
            std::set_difference(filled.begin(), filled.end(), pixels.begin(), pixels.end(),
                                std::back_inserter(missing), [](CPoint a, CPoint b) {
                                    return a.y != b.y ? a.y < b.y : a.x < b.x;
                                });
            ASSERT_TRUE(extra.empty()) << c.file << " region " << i;
            for (CPoint p : missing) {
                ASSERT_EQ(owner[static_cast<size_t>(p.y * w + p.x)], i)
                    << c.file << " region " << i << " lost a hole pixel";
                ASSERT_EQ(neighbours(p), 1)
                    << c.file << " region " << i << " lost " << p.x << "," << p.y;
            }
        }
    }
#endif
}
