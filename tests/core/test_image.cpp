#include "core/image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "support/native_file_builders.h"

using namespace vistrel;

namespace {

using testsupport::FillRandom;

struct DepthCase {
    int depth;
    int32_t width;
    int32_t bytesPerRow;
    uint16_t maxValue;
};

}  // namespace

class RasterLayout : public ::testing::TestWithParam<DepthCase> {};

TEST_P(RasterLayout, CreateDerivesRowBytesAndMaxValue) {
    const DepthCase c = GetParam();
    CMImageBase image;
    ASSERT_TRUE(image.Create(c.width, 3, c.depth, 0));
    EXPECT_TRUE(image.IsValid());
    EXPECT_EQ(image.bytesPerRow, c.bytesPerRow);
    EXPECT_EQ(image.maxValue, c.maxValue);
    EXPECT_EQ(image.depth, c.depth);
}

TEST_P(RasterLayout, PixelsRoundTripWithoutDisturbingNeighbours) {
    const DepthCase c = GetParam();
    CMImageBase image;
    ASSERT_TRUE(image.Create(c.width, 4, c.depth, 1));
    std::vector<int32_t> expected(static_cast<size_t>(c.width) * 4);
    std::mt19937 gen(7);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < c.width; ++x) {
            const int32_t v = static_cast<int32_t>(gen() % (uint32_t{c.maxValue} + 1));
            expected[static_cast<size_t>(y * c.width + x)] = v;
            ASSERT_EQ(image.SetPixel(x, y, v), 1);
        }
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < c.width; ++x)
            ASSERT_EQ(static_cast<uint16_t>(image.GetPixel(x, y)),
                      expected[static_cast<size_t>(y * c.width + x)])
                << "depth " << c.depth << " at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Depths, RasterLayout,
                         ::testing::Values(DepthCase{1, 13, 2, 1}, DepthCase{1, 16, 2, 1},
                                           DepthCase{4, 7, 4, 15}, DepthCase{4, 8, 4, 15},
                                           DepthCase{8, 5, 5, 255}, DepthCase{12, 5, 10, 4095},
                                           DepthCase{16, 3, 6, 65535}),
                         [](const auto& info) {
                             return "d" + std::to_string(info.param.depth) + "w" +
                                    std::to_string(info.param.width);
                         });

TEST(RasterLayout, StoredBitOrderMatchesTheFileLayouts) {
    CMImageBase one;
    ASSERT_TRUE(one.Create(10, 1, 1, 1));
    one.SetPixel(0, 0, 1);
    one.SetPixel(9, 0, 1);
    EXPECT_EQ(one.data[0], 0x80);  // leftmost pixel in the most significant bit
    EXPECT_EQ(one.data[1], 0x40);

    CMImageBase four;
    ASSERT_TRUE(four.Create(3, 1, 4, 1));
    four.SetPixel(0, 0, 0xA);
    four.SetPixel(1, 0, 0x5);
    four.SetPixel(2, 0, 0xC);
    EXPECT_EQ(four.data[0], 0xA5);  // even x in the high nibble
    EXPECT_EQ(four.data[1], 0xC0);

    CMImageBase deep;
    ASSERT_TRUE(deep.Create(1, 1, 12, 1));
    deep.SetPixel(0, 0, 0x0ABC);
    EXPECT_EQ(deep.data[0], 0xBC);  // little-endian words
    EXPECT_EQ(deep.data[1], 0x0A);
}

TEST(RasterLayout, UnsupportedDepthsAndSizesLeaveTheImageEmpty) {
    for (int depth : {0, 2, 3, 5, 6, 7, 17, 32}) {
        CMImageBase image;
        EXPECT_FALSE(image.Create(4, 4, depth, 0)) << depth;
        EXPECT_FALSE(image.IsValid());
        EXPECT_EQ(image.data, nullptr);
        EXPECT_EQ(image.width, 0);
    }
    CMImageBase image;
    EXPECT_FALSE(image.Create(0, 4, 8, 0));
    EXPECT_FALSE(image.Create(4, -1, 8, 0));
    // Sizes that overflow or exceed the raster limit are refused without allocating.
    EXPECT_FALSE(image.Create(2000000000, 2000000000, 16, 0));
    EXPECT_FALSE(image.Create(INT32_MAX, 1, 16, 0));
    EXPECT_EQ(image.data, nullptr);
}

TEST(RasterLayout, AccessOutsideTheImageIsANoOp) {
    CMImageBase image;
    ASSERT_TRUE(image.Create(4, 3, 8, 1));
    EXPECT_EQ(image.SetPixel(-1, 0, 9), 0);
    EXPECT_EQ(image.SetPixel(4, 0, 9), 0);
    EXPECT_EQ(image.SetPixel(0, 3, 9), 0);
    EXPECT_EQ(image.GetPixel(-1, 0), 0);
    EXPECT_EQ(image.GetPixel(0, 3), 0);
    for (size_t i = 0; i < image.ByteCount(); ++i) EXPECT_EQ(image.data[i], 0);
    CMImageBase empty;
    EXPECT_EQ(empty.GetPixel(0, 0), 0);
    EXPECT_EQ(empty.SetPixel(0, 0, 1), 0);
    EXPECT_EQ(empty.Clear(), 0);
}

TEST(Geometry, CropAndSubImageKeepTheOverlap) {
    for (int depth : {1, 4, 8, 12, 16}) {
        CMImage image(11, 7, depth);
        FillRandom(image, 3);
        const CRect rect{-2, 2, 5, 20};  // partly outside: clipped to 0,2 .. 5,7
        auto part = image.SubImage(rect);
        ASSERT_TRUE(part) << depth;
        EXPECT_EQ(part->width, 5);
        EXPECT_EQ(part->height, 5);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 5; ++x)
                ASSERT_EQ(part->GetPixel(x, y), image.GetPixel(x, y + 2)) << depth;

        CMImage cropped(image);
        ASSERT_EQ(cropped.Crop(rect), 0);
        EXPECT_TRUE(cropped.IsEqual(*part)) << depth;
    }
}

TEST(Geometry, CropEntirelyOutsideFailsAndKeepsTheImage) {
    CMImage image(6, 4, 8);
    FillRandom(image, 1);
    CMImage before(image);
    EXPECT_EQ(image.Crop(CRect{10, 10, 20, 20}), -1);
    EXPECT_TRUE(image.IsEqual(before));
    EXPECT_EQ(image.SubImage(CRect{6, 0, 9, 4}), nullptr);
    CRect r{3, 3, 3, 9};
    EXPECT_EQ(image.ClipRect(r), -1);
}

TEST(Geometry, SubImageOfAnOffsetImageHasNoOffsetOrHeader) {
    CMImage image(8, 8, 12, 1024);
    image.dicomHeader = new DicomHeaderBlock();
    auto part = image.SubImage(CRect{1, 1, 4, 4});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->valueOffset, 0);
    EXPECT_EQ(part->dicomHeader, nullptr);
}

TEST(Copying, CopiesAreDeepAndCarryOffsetAndHeader) {
    CMImage image(5, 4, 12, 1024);
    FillRandom(image, 9);
    image.dicomHeader = new DicomHeaderBlock();
    image.dicomHeader->block1 = static_cast<uint8_t*>(std::malloc(3));
    image.dicomHeader->length1 = 3;
    std::memcpy(image.dicomHeader->block1, "abc", 3);
    image.GetHistogram();

    CMImage copy(image);
    EXPECT_TRUE(copy.IsEqual(image));
    EXPECT_NE(copy.data, image.data);
    EXPECT_EQ(copy.valueOffset, 1024);
    ASSERT_NE(copy.dicomHeader, nullptr);
    ASSERT_NE(copy.dicomHeader->block1, image.dicomHeader->block1);
    EXPECT_EQ(std::memcmp(copy.dicomHeader->block1, "abc", 3), 0);
    EXPECT_EQ(copy.histogram.counts, nullptr);  // the copy's histogram starts empty

    CMImage assigned(2, 2, 8);
    assigned.GetHistogram();
    assigned = image;
    EXPECT_TRUE(assigned.IsEqual(image));
    EXPECT_EQ(assigned.valueOffset, 1024);
    EXPECT_EQ(assigned.histogram.counts, nullptr);

    CMImage fromInvalid(3, 3, 8);
    fromInvalid = CMImage();
    EXPECT_FALSE(fromInvalid.IsValid());
    EXPECT_EQ(fromInvalid.width, 0);
}

TEST(Copying, BaseAssignmentKeepsTheTargetsAllocationMode) {
    CMImageBase source;
    ASSERT_TRUE(source.Create(3, 3, 8, 0));
    FillRandom(source, 2);
    CMImageBase target;
    ASSERT_TRUE(target.Create(1, 1, 8, 1));
    target = source;
    EXPECT_EQ(target.zeroFill, 1u);
    EXPECT_TRUE(target.IsEqual(source));
    CMImageBase copy(source);
    EXPECT_EQ(copy.zeroFill, 0u);
}

TEST(PixelOperations, ReverseComplementsEveryDepth) {
    for (int depth : {1, 4, 8, 12, 16}) {
        CMImage image(9, 3, depth);
        FillRandom(image, 4);
        CMImage original(image);
        image.GetHistogram();
        image.Reverse();
        EXPECT_EQ(image.histogram.counts, nullptr) << "histogram must be emptied";
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 9; ++x)
                ASSERT_EQ(static_cast<uint16_t>(image.GetPixel(x, y)),
                          image.maxValue - static_cast<uint16_t>(original.GetPixel(x, y)))
                    << depth;
    }
}

TEST(PixelOperations, SwapBytesOnlyTouchesDeepImages) {
    CMImage deep(2, 1, 16);
    deep.SetPixel(0, 0, 0x1234);
    deep.SetPixel(1, 0, 0xFF00);
    deep.SwapBytes();
    EXPECT_EQ(static_cast<uint16_t>(deep.GetPixel(0, 0)), 0x3412);
    EXPECT_EQ(static_cast<uint16_t>(deep.GetPixel(1, 0)), 0x00FF);
    CMImage byte(2, 1, 8);
    byte.SetPixel(0, 0, 0x12);
    byte.SwapBytes();
    EXPECT_EQ(byte.GetPixel(0, 0), 0x12);
}

TEST(PixelOperations, ShiftSamplesAlignsMsbData) {
    CMImage image(2, 1, 12);
    image.SetPixel(0, 0, 0xABC0);
    image.SetPixel(1, 0, 0x0010);
    image.ShiftSamples(1);
    EXPECT_EQ(image.GetPixel(0, 0), 0x0ABC);
    EXPECT_EQ(image.GetPixel(1, 0), 0x0001);
    image.ShiftSamples(0);
    EXPECT_EQ(static_cast<uint16_t>(image.GetPixel(0, 0)), 0xABC0);
}

TEST(SetDepth, RelabelsDeepImagesWithoutTouchingSamples) {
    CMImage image(3, 1, 12);
    image.SetPixel(0, 0, 4095);
    image.SetPixel(1, 0, 5000);  // above the nominal range: kept
    image.GetHistogram();
    uint8_t shift = 4, bits = 8;
    image.SetDepth(14, shift, bits);
    EXPECT_EQ(image.depth, 14);
    EXPECT_EQ(image.maxValue, 16383);
    EXPECT_EQ(image.GetPixel(0, 0), 4095);
    EXPECT_EQ(image.GetPixel(1, 0), 5000);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(shift, 6);
    EXPECT_EQ(image.histogram.counts, nullptr);
}

TEST(SetDepth, EightBitsKeepWhatTheBitWindowShows) {
    struct Case {
        uint8_t shift, bits;
        uint16_t sample;
        int expected;
        uint8_t shiftAfter;
    };
    // Display bits 8: the current shift picks the bits; otherwise the top 8 bits.
    const Case cases[] = {{0, 8, 300, 300 & 255, 0},
                          {2, 8, 0x0ABC, (0x0ABC >> 2) & 255, 2},
                          {0, 4, 0x0ABC, 0xAB, 4},
                          {4, 8, 0x0ABC, 0xAB, 4}};
    for (const Case& c : cases) {
        CMImage image(1, 1, 12, 1024);
        image.SetPixel(0, 0, c.sample);
        uint8_t shift = c.shift, bits = c.bits;
        image.SetDepth(8, shift, bits);
        EXPECT_EQ(image.depth, 8);
        EXPECT_EQ(image.maxValue, 255);
        EXPECT_EQ(image.bytesPerRow, 1);
        EXPECT_EQ(image.GetPixel(0, 0), c.expected) << int(c.shift) << "/" << int(c.bits);
        EXPECT_EQ(shift, c.shiftAfter);
        EXPECT_EQ(image.valueOffset, 0);
    }
}

TEST(SetDepth, IgnoresUnsupportedRequestsAndShallowImages) {
    uint8_t shift = 0, bits = 8;
    CMImage image(2, 2, 8);
    image.SetDepth(12, shift, bits);
    EXPECT_EQ(image.depth, 8);
    CMImage deep(2, 2, 12);
    for (int n : {7, 4, 17, 12}) {
        deep.SetDepth(n, shift, bits);
        EXPECT_EQ(deep.depth, 12) << n;
    }
}

TEST(Matrices, FromIntMatrixChoosesDepthAndOffset) {
    struct Case {
        int32_t max, min;
        int depth;
        uint16_t offset;
        int shiftDown;
    };
    const Case cases[] = {{200, -55, 8, 55, 0}, {70000, 0, 16, 0, 1}, {-3, -3, 1, 3, 0},
                          {0, 0, 1, 0, 0},      {1, 0, 1, 0, 0},      {2, 0, 4, 0, 0},
                          {15, 0, 4, 0, 0},     {16, 0, 8, 0, 0},     {127, 0, 8, 0, 0},
                          {128, 0, 8, 0, 0},    {4095, 0, 12, 0, 0},  {9, 3, 4, 0, 0}};
    for (const Case& c : cases) {
        CIntMatrix m(3, 2);
        const int32_t low = c.min > 0 ? 0 : c.min;
        m[0][0] = c.max;
        m[1][0] = c.min;
        m[2][1] = (c.max + c.min) / 2;
        auto image = FromIntMatrix(m.columns(), 3, 2, c.max, c.min);
        ASSERT_TRUE(image) << c.max << "," << c.min;
        EXPECT_EQ(image->depth, c.depth) << c.max << "," << c.min;
        EXPECT_EQ(image->valueOffset, c.offset);
        const int64_t expectTop =
            std::min<int64_t>((int64_t{c.max} - low) >> c.shiftDown, image->maxValue);
        EXPECT_EQ(static_cast<uint16_t>(image->GetPixel(0, 0)), expectTop);
        EXPECT_EQ(m[0][0], c.max - low) << "matrix is shifted in place";
    }
}

TEST(Matrices, FromIntMatrixClampsToTheNominalRange) {
    CIntMatrix m(2, 1);
    m[0][0] = -10;  // below the caller's min
    m[1][0] = 300;  // above the caller's max
    auto image = FromIntMatrix(m.columns(), 2, 1, 200, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->depth, 8);
    EXPECT_EQ(image->GetPixel(0, 0), 0);
    EXPECT_EQ(image->GetPixel(1, 0), 255);
    EXPECT_EQ(FromIntMatrix(nullptr, 2, 1, 1, 0), nullptr);
    EXPECT_EQ(FromIntMatrix(m.columns(), 0, 1, 1, 0), nullptr);
}

TEST(Matrices, FromRealMatrixTruncatesAndShifts) {
    CRealMatrix m(2, 2);
    m[0][0] = -1.5f;
    m[1][0] = 10.9f;
    m[0][1] = 2.2f;
    m[1][1] = -3.0f;
    auto image = FromRealMatrix(m.columns(), 2, 2, 10.9f, -3.0f);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->depth, 4);  // range 13
    EXPECT_EQ(image->valueOffset, 0);
    EXPECT_EQ(image->GetPixel(0, 0), 1);   // -1.5 + 3 = 1.5 -> 1
    EXPECT_EQ(image->GetPixel(1, 0), 13);  // 13.9 -> 13
    EXPECT_EQ(image->GetPixel(0, 1), 5);
    EXPECT_EQ(image->GetPixel(1, 1), 0);
    EXPECT_FLOAT_EQ(m[1][1], 0.0f);
}

TEST(ImageHistogram, CountsOnlyTheNominalRangeInTrueValues) {
    CMImage image(4, 2, 12, 1024);
    const int32_t samples[] = {0, 1024, 1024, 4095, 5000, 6000, 2048, 1024};
    for (int i = 0; i < 8; ++i) image.SetPixel(i % 4, i / 4, samples[i]);
    CHistogram& h = image.GetHistogram();
    EXPECT_EQ(h.binCount, 4096);
    EXPECT_EQ(h.firstValue, -1024);
    EXPECT_EQ(h.lastValue, 4096 - 1024 - 1);
    EXPECT_EQ(h.total, 6);  // 5000 and 6000 lie outside the 4096 bins
    EXPECT_EQ(h.GetCount(1024), 3);
    EXPECT_EQ(h.minValue, -1024);
    EXPECT_EQ(h.maxValue, 4095 - 1024);
    int32_t lo = 0, hi = 0;
    image.GetValueRange(lo, hi);
    EXPECT_EQ(lo, -1024);
    EXPECT_EQ(hi, 3071);
}

TEST(ImageHistogram, CacheStaysUntilReset) {
    CMImage image(3, 1, 8);
    // The constructor leaves the raster as allocated: every sample is set.
    image.SetPixel(0, 0, 5);
    image.SetPixel(1, 0, 5);
    image.SetPixel(2, 0, 5);
    const int32_t* counts = image.GetHistogram().counts;
    image.SetPixel(1, 0, 7);  // SetPixel leaves the cache alone
    EXPECT_EQ(image.GetHistogram().counts, counts);
    EXPECT_EQ(image.GetHistogram().GetCount(7), 0);
    image.InvalidateHistogram();
    EXPECT_EQ(image.GetHistogram().GetCount(7), 1);
}

TEST(ImageHistogram, MaskAndRectangleRestrictTheCount) {
    for (int depth : {4, 8, 12}) {
        CMImage image(7, 5, depth);
        FillRandom(image, 11);
        CMImageBase mask;
        ASSERT_TRUE(mask.Create(7, 5, 1, 1));
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x)
                if ((x + y) % 3 == 0) mask.SetPixel(x, y, 1);
        const CRect rect{2, 1, 6, 4};

        std::vector<int32_t> all(image.maxValue + 1), masked(all), inRect(all), both(all);
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) {
                const uint16_t s = static_cast<uint16_t>(image.GetPixel(x, y));
                const bool m = mask.GetPixel(x, y) != 0;
                const bool r = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
                ++all[s];
                if (m) ++masked[s];
                if (r) ++inRect[s];
                if (m && r) ++both[s];
            }
        CHistogram hr = image.GetHistogramInRect(rect);
        CHistogram hb = image.GetHistogramInRectUnderMask(rect, mask);
        EXPECT_EQ(image.histogram.counts, nullptr) << "rectangle histograms leave the cache alone";
        CHistogram& hm = image.GetHistogramUnderMask(mask);
        for (int v = 0; v <= image.maxValue; ++v) {
            ASSERT_EQ(hm.GetCount(v), masked[v]) << depth << " value " << v;
            ASSERT_EQ(hr.GetCount(v), inRect[v]) << depth << " value " << v;
            ASSERT_EQ(hb.GetCount(v), both[v]) << depth << " value " << v;
        }
        // The masked histogram asked for first stays cached.
        EXPECT_EQ(image.GetHistogram().total, hm.total);
        image.InvalidateHistogram();
        EXPECT_EQ(image.GetHistogram().total, 35);
        CHistogram whole = image.GetHistogramInRect(CRect{});
        EXPECT_EQ(whole.total, 35);
    }
}

TEST(ImageHistogram, InvalidImageGivesAnEmptyHistogram) {
    CMImage image;
    EXPECT_TRUE(image.GetHistogram().IsEmpty());
    EXPECT_TRUE(image.GetHistogramInRect(CRect{0, 0, 2, 2}).IsEmpty());
    EXPECT_FLOAT_EQ(image.GetMean(), 0.0f);
}
