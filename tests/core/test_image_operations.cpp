#include "core/image_operations.h"
#include "core/matrix.h"
#include "support/native_file_builders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

uint16_t At(const CMImageBase& image, int32_t x, int32_t y) {
    return static_cast<uint16_t>(image.GetPixel(x, y));
}

// Reproducible samples; for depths above 8 the whole 16-bit word is used, so
// samples above maxValue (kept unmasked by the model) travel too.
CMImage Pattern(int32_t width, int32_t height, int depth, unsigned seed) {
    CMImage image(width, height, depth);
    std::mt19937 gen(seed);
    const uint32_t range = depth > 8 ? 65536u : uint32_t{image.maxValue} + 1;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image.SetPixel(x, y, static_cast<int32_t>(gen() % range));
    return image;
}

// Sets every padding bit past the width, so that an operation that reads
// them shows up as a wrong pixel.
void DirtyPadding(CMImageBase& image) {
    const int32_t perByte = image.depth == 1 ? 8 : image.depth == 4 ? 2 : 1;
    if (perByte == 1 || image.width % perByte == 0) return;
    const int usedBits = (image.width % perByte) * image.depth;
    for (int32_t y = 0; y < image.height; ++y)
        image.Row(y)[image.bytesPerRow - 1] |= static_cast<uint8_t>(0xFF >> usedBits);
}

// The rotation written straight from its definition, pixel by pixel.
CMImageBase ReferenceRotate(const CMImageBase& in, int angle) {
    const int32_t w = in.width, h = in.height;
    CMImageBase out;
    if (angle == 180)
        out.Create(w, h, in.depth, 1);
    else
        out.Create(h, w, in.depth, 1);
    for (int32_t y = 0; y < out.height; ++y)
        for (int32_t x = 0; x < out.width; ++x) {
            int32_t sx = 0, sy = 0;
            if (angle == 180) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else if (angle == -90) {
                sx = y;
                sy = h - 1 - x;
            } else {
                sx = w - 1 - y;
                sy = x;
            }
            out.SetPixel(x, y, At(in, sx, sy));
        }
    return out;
}

CMImageBase ReferenceFlip(const CMImageBase& in, bool horizontal) {
    CMImageBase out;
    out.Create(in.width, in.height, in.depth, 1);
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x)
            out.SetPixel(x, y,
                         horizontal ? At(in, in.width - 1 - x, y) : At(in, x, in.height - 1 - y));
    return out;
}

// Pixel-by-pixel comparison with the first difference in the message.
::testing::AssertionResult SamePixels(const CMImageBase& a, const CMImageBase& b) {
    if (a.width != b.width || a.height != b.height || a.depth != b.depth)
        return ::testing::AssertionFailure()
               << "geometry " << a.width << "x" << a.height << "@" << int(a.depth) << " vs "
               << b.width << "x" << b.height << "@" << int(b.depth);
    for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x)
            if (At(a, x, y) != At(b, x, y))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << "): " << At(a, x, y) << " vs "
                       << At(b, x, y);
    return ::testing::AssertionSuccess();
}

struct GeometryCase {
    int depth;
    int32_t width;
    int32_t height;
};

std::string Name(const GeometryCase& c) {
    return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
           std::to_string(c.depth) + "bit";
}

std::vector<GeometryCase> GeometryCases() {
    // Odd and even sizes, single rows and columns, and sizes that straddle
    // whole tiles of the fast paths.
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{1, 1},   {3, 2},    {2, 3},   {1, 9},
                                                            {9, 1},   {8, 8},    {7, 5},   {17, 10},
                                                            {64, 64}, {65, 130}, {131, 67}};
    std::vector<GeometryCase> cases;
    for (int depth : {1, 4, 8, 12, 16})
        for (const auto& [w, h] : sizes) cases.push_back({depth, w, h});
    return cases;
}

// A 1-bit image from rows of '0'/'1'.
CMImageBase Bits(const std::vector<std::string>& rows) {
    CMImageBase image;
    image.Create(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()), 1, 1);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, y, rows[y][x] == '1');
    return image;
}

std::vector<std::string> RowsOf(const CMImageBase& image) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < image.height; ++y) {
        std::string row;
        for (int32_t x = 0; x < image.width; ++x) row += At(image, x, y) ? '1' : '0';
        rows.push_back(row);
    }
    return rows;
}

// An image with the given samples, row by row.
CMImage Samples(int32_t width, int depth, const std::vector<int32_t>& values) {
    const int32_t height = static_cast<int32_t>(values.size()) / width;
    CMImage image(width, height, depth);
    for (int32_t i = 0; i < width * height; ++i) image.SetPixel(i % width, i / width, values[i]);
    return image;
}

using testsupport::ValuesOf;

}  // namespace

// ------------------------------------------------------------ rotations, flips

class Geometry : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(Geometry, RotationsMatchTheirDefinition) {
    const GeometryCase c = GetParam();
    for (int angle : {180, -90, 90}) {
        SCOPED_TRACE("angle " + std::to_string(angle));
        CMImage image = Pattern(c.width, c.height, c.depth, 11);
        DirtyPadding(image);
        const CMImageBase expected = ReferenceRotate(image, angle);
        ASSERT_TRUE(Rotate(image, angle));
        EXPECT_TRUE(SamePixels(image, expected));
        EXPECT_EQ(image.maxValue, expected.maxValue);
    }
}

TEST_P(Geometry, FlipsMatchTheirDefinition) {
    const GeometryCase c = GetParam();
    for (bool horizontal : {true, false}) {
        SCOPED_TRACE(horizontal ? "horizontal" : "vertical");
        CMImage image = Pattern(c.width, c.height, c.depth, 5);
        DirtyPadding(image);
        const CMImageBase expected = ReferenceFlip(image, horizontal);
        ASSERT_TRUE(horizontal ? FlipHorizontal(image) : FlipVertical(image));
        EXPECT_TRUE(SamePixels(image, expected));
    }
}

TEST_P(Geometry, RoundTripsGiveBackTheImage) {
    const GeometryCase c = GetParam();
    const CMImage original = Pattern(c.width, c.height, c.depth, 3);
    struct Trip {
        const char* name;
        std::vector<int> steps;  // angles; 1 = flip horizontal, 2 = flip vertical
    };
    const std::vector<Trip> trips = {{"four quarter turns ccw", {90, 90, 90, 90}},
                                     {"four quarter turns cw", {-90, -90, -90, -90}},
                                     {"90 then -90", {90, -90}},
                                     {"180 twice", {180, 180}},
                                     {"90 twice is 180 then nothing", {90, 90, 180}},
                                     {"flip h twice", {1, 1}},
                                     {"flip v twice", {2, 2}},
                                     {"flip h and v is 180", {1, 2, 180}}};
    for (const Trip& trip : trips) {
        SCOPED_TRACE(trip.name);
        CMImage image(original);
        for (int step : trip.steps) {
            if (step == 1)
                ASSERT_TRUE(FlipHorizontal(image));
            else if (step == 2)
                ASSERT_TRUE(FlipVertical(image));
            else
                ASSERT_TRUE(Rotate(image, step));
        }
        EXPECT_TRUE(image.IsEqual(original));
    }
}

INSTANTIATE_TEST_SUITE_P(DepthsAndSizes, Geometry, ::testing::ValuesIn(GeometryCases()),
                         [](const auto& info) { return Name(info.param); });

TEST(Rotate, QuarterTurnsOfThreeByTwoReadTheColumns) {
    // 1 2 3
    // 4 5 6
    const CMImage source = Samples(3, 8, {1, 2, 3, 4, 5, 6});
    CMImage clockwise(source);
    ASSERT_TRUE(Rotate(clockwise, -90));
    EXPECT_EQ(clockwise.width, 2);
    EXPECT_EQ(clockwise.height, 3);
    // Top row: the left column read bottom to top.
    EXPECT_EQ(ValuesOf(clockwise), (std::vector<int32_t>{4, 1, 5, 2, 6, 3}));

    CMImage counter(source);
    ASSERT_TRUE(Rotate(counter, 90));
    // Top row: the right column read top to bottom.
    EXPECT_EQ(ValuesOf(counter), (std::vector<int32_t>{3, 6, 2, 5, 1, 4}));
}

TEST(Rotate, KeepsLabelsOffsetAndCachedHistogram) {
    CMImage image = Pattern(5, 3, 16, 2);
    uint8_t shift = 4, bits = 8;
    image.SetDepth(12, shift, bits);
    for (int32_t i = 0; i < 15; ++i) image.SetPixel(i % 5, i / 5, i == 7 ? 50000 : i * 200);
    image.valueOffset = 1024;
    const int32_t total = image.GetHistogram().GetTotal();
    ASSERT_GT(total, 0);
    ASSERT_TRUE(Rotate(image, -90));
    EXPECT_EQ(image.depth, 12);
    EXPECT_EQ(image.maxValue, 4095);
    EXPECT_EQ(image.valueOffset, 1024);
    EXPECT_EQ(image.bytesPerRow, 6);
    // The cache stays: a rotation moves samples without changing them.
    ASSERT_NE(image.histogram.counts, nullptr);
    EXPECT_EQ(image.histogram.GetTotal(), total);
}

TEST(Rotate, RefusesOtherAnglesAndInvalidImages) {
    CMImage image = Pattern(4, 3, 8, 1);
    const CMImage before(image);
    for (int angle : {0, 45, 270, -180, 360}) {
        EXPECT_FALSE(Rotate(image, angle)) << angle;
        EXPECT_TRUE(image.IsEqual(before)) << angle;
    }
    CMImage empty;
    EXPECT_FALSE(Rotate(empty, 90));
    EXPECT_FALSE(Rotate(empty, 180));
    EXPECT_FALSE(FlipHorizontal(empty));
    EXPECT_FALSE(FlipVertical(empty));
    EXPECT_FALSE(empty.IsValid());
}

TEST(Rotate, WorksOnMaskRasters) {
    CMImageBase mask = Bits({"1100", "0001", "0000"});
    ASSERT_TRUE(Rotate(mask, 90));
    EXPECT_EQ(RowsOf(mask), (std::vector<std::string>{"010", "000", "100", "100"}));
}

// ----------------------------------------------------------------- equalisation

namespace {

// Equalisation table computed directly from the pixels: lut[s] =
// floor(M * (pixels with sample <= s) / total + 0.5), M = maxValue.
std::vector<int32_t> DirectTable(const CMImageBase& image, const CRect& rect) {
    const int32_t bins = int32_t{image.maxValue} + 1;
    std::vector<int64_t> counts(static_cast<size_t>(bins), 0);
    int64_t total = 0;
    for (int32_t y = rect.top; y < rect.bottom; ++y)
        for (int32_t x = rect.left; x < rect.right; ++x) {
            const uint16_t s = At(image, x, y);
            if (s < bins) {
                ++counts[s];
                ++total;
            }
        }
    std::vector<int32_t> table(static_cast<size_t>(bins));
    int64_t below = 0;
    for (int32_t s = 0; s < bins; ++s) {
        below += counts[static_cast<size_t>(s)];
        table[static_cast<size_t>(s)] =
            static_cast<int32_t>(std::floor(double(image.maxValue) * double(below) / total + 0.5));
    }
    return table;
}

CMImage InRange(int32_t width, int32_t height, int depth, unsigned seed) {
    CMImage image(width, height, depth);
    std::mt19937 gen(seed);
    // Skewed values so that the table is far from the identity.
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t v = gen() % (uint32_t{image.maxValue} + 1);
            image.SetPixel(x, y, static_cast<int32_t>((v * v) / (uint32_t{image.maxValue} + 1)));
        }
    return image;
}

}  // namespace

class EqualizeDepths : public ::testing::TestWithParam<int> {};

TEST_P(EqualizeDepths, WholeImageFollowsTheDirectTable) {
    const int depth = GetParam();
    CMImage image = InRange(37, 21, depth, 9);
    image.valueOffset = depth > 8 ? 1024 : 0;  // the table is indexed by the stored sample
    const CMImage before(image);
    const std::vector<int32_t> table = DirectTable(image, CRect{0, 0, 37, 21});

    const auto result = Equalize(image, CRect{}, false);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->depth, depth);
    EXPECT_EQ(result->valueOffset, image.valueOffset);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 37; ++x)
            ASSERT_EQ(At(*result, x, y), table[At(before, x, y)]) << x << "," << y;
    // The source keeps its pixels; its histogram was used up and is rebuilt on demand.
    EXPECT_TRUE(image.IsEqual(before));
    EXPECT_EQ(image.histogram.counts, nullptr);
    EXPECT_EQ(image.GetHistogram().GetTotal(), 37 * 21);
}

TEST_P(EqualizeDepths, SelectedAreaOnlyLeavesTheRestAlone) {
    const int depth = GetParam();
    CMImage image = InRange(30, 20, depth, 4);
    const CMImage before(image);
    const CRect area{5, 3, 17, 11};
    const std::vector<int32_t> table = DirectTable(image, area);
    image.GetHistogram();

    const auto result = Equalize(image, area, false);
    ASSERT_NE(result, nullptr);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) {
            const bool inside = x >= 5 && x < 17 && y >= 3 && y < 11;
            const int32_t expected = inside ? table[At(before, x, y)] : At(before, x, y);
            ASSERT_EQ(At(*result, x, y), expected) << x << "," << y;
        }
    EXPECT_TRUE(image.histogram.IsEmpty());
}

TEST_P(EqualizeDepths, EntireImageBasedOnTheSelectedArea) {
    const int depth = GetParam();
    CMImage image = InRange(30, 20, depth, 8);
    const CMImage before(image);
    const CRect area{0, 0, 10, 20};
    const std::vector<int32_t> table = DirectTable(image, area);
    const auto result = Equalize(image, area, true);
    ASSERT_NE(result, nullptr);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x)
            ASSERT_EQ(At(*result, x, y), table[At(before, x, y)]) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Depths, EqualizeDepths, ::testing::Values(1, 4, 8, 12, 16),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(Equalize, ClipsTheRectangleAndRefusesOneOutside) {
    CMImage image = InRange(10, 8, 8, 1);
    const CMImage before(image);
    const std::vector<int32_t> table = DirectTable(image, CRect{6, 4, 10, 8});
    const auto clipped = Equalize(image, CRect{6, 4, 50, 50}, false);
    ASSERT_NE(clipped, nullptr);
    EXPECT_EQ(At(*clipped, 9, 7), table[At(before, 9, 7)]);
    EXPECT_EQ(At(*clipped, 5, 7), At(before, 5, 7));

    EXPECT_EQ(Equalize(image, CRect{10, 0, 20, 8}, false), nullptr);
    EXPECT_EQ(Equalize(image, CRect{-5, -5, 0, 3}, true), nullptr);
    CMImage empty;
    EXPECT_EQ(Equalize(empty, CRect{}, false), nullptr);
}

TEST(Equalize, SamplesAboveTheNominalRangeTakeTheTopEntry) {
    // 12-bit label on words that hold larger values: they have no bin, and
    // must neither wrap to 0xFFFF nor stay above maxValue.
    CMImage image = Samples(4, 12, {0, 100, 100, 4095});
    image.SetPixel(3, 0, 5000);
    const auto result = Equalize(image, CRect{}, false);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(At(*result, 3, 0), 4095);
    EXPECT_EQ(At(*result, 0, 0), 1365);  // floor(4095 * 1/3 + 0.5)
    EXPECT_EQ(At(*result, 1, 0), 4095);
}

TEST(Equalize, NoCountablePixelGivesNullAndAnEmptyCache) {
    CMImage image = Samples(2, 12, {5000, 6000});
    EXPECT_EQ(Equalize(image, CRect{}, false), nullptr);
    EXPECT_TRUE(image.histogram.IsEmpty());
    EXPECT_EQ(image.histogram.lut, nullptr);
    EXPECT_EQ(Equalize(image, CRect{0, 0, 1, 1}, false), nullptr);
}

// ------------------------------------------------------------ two-image arithmetic

TEST(TwoImages, AverageHalvesUnsignedSums) {
    const CMImage a = Samples(3, 16, {60000, 3, 0});
    const CMImage b = Samples(3, 16, {50000, 4, 0});
    const auto result = Average(a, b);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(ValuesOf(*result), (std::vector<int32_t>{55000, 3, 0}));
    EXPECT_EQ(result->depth, 16);
    EXPECT_EQ(result->valueOffset, 0);

    // The depth follows the largest result: 8-bit inputs averaging at most 9.
    const auto small = Average(Samples(2, 8, {10, 0}), Samples(2, 8, {8, 1}));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->depth, 4);
    EXPECT_EQ(ValuesOf(*small), (std::vector<int32_t>{9, 0}));
}

TEST(TwoImages, DifferenceOffsets) {
    struct Case {
        const char* name;
        std::vector<int32_t> i1, i2;
        int depth;
        uint16_t offset;
        std::vector<int32_t> samples;
    };
    const std::vector<Case> cases = {
        {"identical", {7, 7, 300, 0}, {7, 7, 300, 0}, 1, 0, {0, 0, 0, 0}},
        {"I2 brighter by 10", {0, 5, 20, 100}, {10, 15, 30, 110}, 1, 10, {0, 0, 0, 0}},
        {"mixed signs", {5, 0, 9, 2}, {0, 3, 4, 2}, 4, 3, {8, 0, 8, 3}},
        {"all positive keep offset 0", {9, 12, 20, 30}, {4, 2, 0, 1}, 8, 0, {5, 10, 20, 29}},
        {"large 16-bit gap",
         {0, 65535, 0, 0},
         {65535, 0, 0, 0},
         16,
         65535,
         {0, 65535, 32767, 32767}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = Difference(Samples(2, 16, c.i1), Samples(2, 16, c.i2));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->depth, c.depth);
        EXPECT_EQ(result->valueOffset, c.offset);
        EXPECT_EQ(ValuesOf(*result), c.samples);
    }
}

// Every input depth and odd widths: the same image as FromIntMatrix builds
// from the matrix of differences (its depth, offset and samples).
TEST(TwoImages, DifferenceOfEveryDepthMatchesTheMatrixConstruction) {
    for (int depth : {1, 4, 8, 10, 12, 16}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        const CMImage a = Pattern(37, 5, depth, 11u + depth);
        const CMImage b = Pattern(37, 5, depth, 97u + depth);
        CIntMatrix m(a.width, a.height);
        int32_t lo = INT32_MAX, hi = INT32_MIN;
        for (int32_t x = 0; x < a.width; ++x)
            for (int32_t y = 0; y < a.height; ++y) {
                m[x][y] = int32_t{At(a, x, y)} - int32_t{At(b, x, y)};
                lo = std::min(lo, m[x][y]);
                hi = std::max(hi, m[x][y]);
            }
        const auto expected = FromIntMatrix(m.columns(), a.width, a.height, hi, lo);
        const auto result = Difference(a, b);
        ASSERT_NE(result, nullptr);
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(result->depth, expected->depth);
        EXPECT_EQ(result->valueOffset, expected->valueOffset);
        EXPECT_TRUE(result->IsEqual(*expected));
    }
}

TEST(TwoImages, SelectModes) {
    const CMImage a = Samples(5, 16, {5, 2, 7, 0, 40000});
    const CMImage b = Samples(5, 16, {3, 2, 9, 1, 100});
    const std::vector<std::vector<int32_t>> expected = {
        {5, 2, 9, 1, 40000},  // max
        {3, 2, 7, 0, 100},    // min
        {5, 0, 0, 0, 40000},  // I1 where I1 > I2 (unsigned: 40000 > 100)
        {0, 0, 7, 0, 0},      // I1 where I1 < I2
    };
    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const auto result = Select(a, b, mode);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(ValuesOf(*result), expected[mode]);
        EXPECT_EQ(result->valueOffset, 0);
    }
    // The depth follows the largest result value, not the inputs'.
    const auto low = Select(Samples(2, 16, {3, 1}), Samples(2, 16, {2, 9}), kSelectGreater);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->depth, 4);
    EXPECT_EQ(Select(a, b, 4), nullptr);
    EXPECT_EQ(Select(a, b, -1), nullptr);
}

TEST(TwoImages, RefuseSizeMismatchAndInvalidImages) {
    const CMImage a = Samples(2, 8, {1, 2, 3, 4});
    const CMImage wide = Samples(4, 8, {1, 2, 3, 4});
    const CMImage empty;
    EXPECT_EQ(Average(a, wide), nullptr);
    EXPECT_EQ(Difference(a, wide), nullptr);
    EXPECT_EQ(Select(a, wide, 0), nullptr);
    EXPECT_EQ(Average(a, empty), nullptr);
    EXPECT_EQ(Difference(empty, a), nullptr);
    EXPECT_EQ(Select(empty, empty, 1), nullptr);
    // Different depths of the same size are fine: the samples are compared.
    const auto mixed = Select(a, Samples(2, 12, {0, 5, 0, 5}), kSelectMax);
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(ValuesOf(*mixed), (std::vector<int32_t>{1, 5, 3, 5}));
}

// ------------------------------------------------------------- binary objects

namespace {

const std::vector<std::string> kObjects = {
    // A: a hook; B: two pixels joined to A's corner only diagonally; C and D: bars.
    "1100000000",  //
    "0100000111",  //
    "0010000000",  //
    "0001000000",  //
    "0000001100",  //
};

}  // namespace

TEST(TouchingObjects, KeepAndRemoveWithFourAndEightConnectivity) {
    struct Case {
        const char* name;
        bool keep;
        int connectivity;
        std::vector<std::string> marker;
        int count;
        std::vector<std::string> result;
    };
    const std::vector<std::string> markerA = {"0100000000", "0000000000", "0000000000",
                                              "0000000000", "0000000000"};
    // Markers on A, twice on C, and on the second pixel of B.
    const std::vector<std::string> markerMany = {"0000000000", "0100000101", "0000000000",
                                                 "0001000000", "0000000000"};
    const std::vector<Case> cases = {
        {"keep 8: diagonal chain is one object",
         true,
         8,
         markerA,
         1,
         {"1100000000", "0100000000", "0010000000", "0001000000", "0000000000"}},
        {"keep 4: diagonal neighbours are separate",
         true,
         4,
         markerA,
         1,
         {"1100000000", "0100000000", "0000000000", "0000000000", "0000000000"}},
        {"remove 8",
         false,
         8,
         markerA,
         1,
         {"0000000000", "0000000111", "0000000000", "0000000000", "0000001100"}},
        {"remove 4",
         false,
         4,
         markerA,
         1,
         {"0000000000", "0000000111", "0010000000", "0001000000", "0000001100"}},
        {"keep 4: several markers, an object touched twice counts once",
         true,
         4,
         markerMany,
         3,
         {"1100000000", "0100000111", "0000000000", "0001000000", "0000000000"}},
        {"remove 8: several markers",
         false,
         8,
         markerMany,
         2,
         {"0000000000", "0000000000", "0000000000", "0000000000", "0000001100"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMImageBase image = Bits(kObjects);
        const CMImageBase marker = Bits(c.marker);
        const int count = c.keep ? KeepTouchingObjects(image, marker, c.connectivity)
                                 : RemoveTouchingObjects(image, marker, c.connectivity);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(RowsOf(image), c.result);
    }
}

TEST(TouchingObjects, RefuseImagesThatDoNotQualify) {
    const CMImageBase marker = Bits({"1111", "1111"});
    CMImageBase eightBit;
    eightBit.Create(4, 2, 8, 1);
    eightBit.SetPixel(0, 0, 1);
    const CMImageBase narrow = Bits({"111", "111"});
    struct Case {
        const char* name;
        const CMImageBase* other;
        int connectivity;
    };
    const std::vector<Case> cases = {{"8-bit other", &eightBit, 8},
                                     {"size mismatch", &narrow, 8},
                                     {"connectivity 6", &marker, 6},
                                     {"connectivity 0", &marker, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMImageBase image = Bits({"1001", "0110"});
        EXPECT_EQ(KeepTouchingObjects(image, *c.other, c.connectivity), -1);
        EXPECT_EQ(RemoveTouchingObjects(image, *c.other, c.connectivity), -1);
        EXPECT_EQ(RowsOf(image), (std::vector<std::string>{"1001", "0110"}));
    }
    // An 8-bit image to work on is refused the same way.
    CMImageBase bytes(eightBit);
    EXPECT_EQ(KeepTouchingObjects(bytes, marker, 8), -1);
    EXPECT_EQ(At(bytes, 0, 0), 1);
    CMImageBase empty;
    EXPECT_EQ(RemoveTouchingObjects(empty, marker, 4), -1);
}

TEST(TouchingObjects, PaddingBitsAreNotObjects) {
    // Width 9: seven padding bits per row. Set in both images they must not
    // start a fill or count.
    CMImageBase image = Bits({"000000001", "000000000"});
    CMImageBase marker = Bits({"000000000", "000000000"});
    DirtyPadding(image);
    DirtyPadding(marker);
    EXPECT_EQ(KeepTouchingObjects(image, marker, 8), 0);
    EXPECT_EQ(RowsOf(image), (std::vector<std::string>{"000000000", "000000000"}));
}

TEST(TouchingObjects, ObjectsLargerThanOneHundredThousandPixelsAreProcessedWhole) {
    // One winding object of more than 100 000 pixels, touched only at its
    // start, and a small separate square below it.
    const int32_t w = 500, h = 420;
    CMImageBase image;
    ASSERT_TRUE(image.Create(w, h, 1, 1));
    int64_t objectPixels = 0;
    for (int32_t y = 0; y < h - 10; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const bool lane = y % 2 == 0;
            // Odd rows connect the lanes alternately at the right and left ends.
            const bool link = (y % 4 == 1 && x == w - 1) || (y % 4 == 3 && x == 0);
            if (lane || link) {
                image.SetPixel(x, y, 1);
                ++objectPixels;
            }
        }
    ASSERT_GT(objectPixels, 100000);
    for (int32_t y = h - 5; y < h; ++y)
        for (int32_t x = 0; x < 5; ++x) image.SetPixel(x, y, 1);
    const CMImageBase original(image);

    CMImageBase marker;
    ASSERT_TRUE(marker.Create(w, h, 1, 1));
    marker.SetPixel(0, 0, 1);  // the serpentine's start

    CMImageBase kept(original);
    EXPECT_EQ(KeepTouchingObjects(kept, marker, 4), 1);
    int64_t keptPixels = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) keptPixels += At(kept, x, y);
    EXPECT_EQ(keptPixels, objectPixels);
    EXPECT_EQ(At(kept, 2, h - 2), 0);  // the square does not touch the marker

    CMImageBase removed(original);
    EXPECT_EQ(RemoveTouchingObjects(removed, marker, 8), 1);
    for (int32_t y = 0; y < h - 10; ++y)
        for (int32_t x = 0; x < w; ++x) ASSERT_EQ(At(removed, x, y), 0) << x << "," << y;
    EXPECT_EQ(At(removed, 2, h - 2), 1);
}
