#include "detection/thresholding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/native_file_builders.h"

namespace vistrel {
namespace {

using testsupport::FillImage;
using testsupport::FillRandom;
using testsupport::ValuesOf;
using testsupport::ZeroedImage;

CMImage Image(int32_t width, const std::vector<int32_t>& values, int depth = 8) {
    CMImage image;
    FillImage(image, width, depth, values);
    return image;
}

struct ThresholdCase {
    const char* name;
    double threshold;
    bool keepSingle;
    bool onImage;
    std::vector<int32_t> expected;
};

// 5 x 4: an isolated 9 at (0, 0), a diagonal pair of 7 and 8 (8-neighbours),
// an isolated 5 at (4, 3), a 6 with no neighbour above 6.
const std::vector<int32_t> kField = {
    9, 0, 0, 0, 0,  //
    0, 0, 7, 0, 0,  //
    0, 0, 0, 8, 6,  //
    0, 0, 0, 0, 5,  //
};

TEST(ThresholdImage, CasesOnSmallField) {
    const CMImage image = Image(5, kField);
    const std::vector<ThresholdCase> cases = {
        {"single pixels dropped", 7, false, false, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0,
                                                    0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"single pixels kept", 7, true, false, {1, 0, 0, 0, 0, 0, 0, 1, 0, 0,
                                                0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        // A value equal to the threshold passes; 6 and 5 now touch 8 and 6; the 9 stays alone.
        {"equal to threshold passes", 5, false, false, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0,
                                                        0, 0, 0, 1, 1, 0, 0, 0, 0, 1}},
        {"just above every value", 9.5, true, false, std::vector<int32_t>(20, 0)},
        {"fractional threshold", 8.5, true, false, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // On the image, kept pixels become maxValue (255), the rest unchanged.
        {"on image", 7, false, true, {9, 0, 0, 0,   0, 0, 0, 255, 0, 0,
                                      0, 0, 0, 255, 6, 0, 0, 0,   0, 5}},
    };
    for (const ThresholdCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto out = ThresholdImage(image, c.threshold, c.keepSingle, c.onImage);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->depth, c.onImage ? 8 : 1);
        EXPECT_EQ(out->width, 5);
        EXPECT_EQ(out->height, 4);
        EXPECT_EQ(ValuesOf(*out), c.expected);
    }
}

TEST(ThresholdImage, SixteenBitAndBorders) {
    // 12-bit, a 2-pixel blob across the right border column and a lone pixel
    // in the bottom-left corner.
    CMImage image = Image(3, {0, 0, 4000, 0, 0, 4000, 3000, 0, 0}, 12);
    auto out = ThresholdImage(image, 2500, false, false);
    ASSERT_TRUE(out);
    EXPECT_EQ(ValuesOf(*out), (std::vector<int32_t>{0, 0, 1, 0, 0, 1, 0, 0, 0}));
    auto kept = ThresholdImage(image, 2500, true, true);
    ASSERT_TRUE(kept);
    EXPECT_EQ(ValuesOf(*kept), (std::vector<int32_t>{0, 0, 4095, 0, 0, 4095, 4095, 0, 0}));
    // The source is not touched.
    EXPECT_EQ(image.GetPixel(0, 2), 3000);
}

TEST(ThresholdImage, InvalidInputGivesNull) {
    EXPECT_EQ(ThresholdImage(CMImage(), 1, true, false), nullptr);
    EXPECT_EQ(ThresholdImage(Image(2, {1, 2}), std::nan(""), true, false), nullptr);
}

// Brute force: strictly greater than every other pixel of the clipped square.
std::vector<CPoint> SlowMaxima(const CMImage& image, int32_t side, const CMImageBase* mask) {
    side = std::max(side, 3);
    if (side % 2 == 0) ++side;
    const int r = side / 2;
    std::vector<CPoint> out;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (mask && mask->GetPixel(x, y) == 0) continue;
            const int v = uint16_t(image.GetPixel(x, y));
            bool strict = true;
            for (int yy = std::max(0, y - r); strict && yy <= std::min(image.height - 1, y + r);
                 ++yy)
                for (int xx = std::max(0, x - r); xx <= std::min(image.width - 1, x + r); ++xx)
                    if ((xx != x || yy != y) && uint16_t(image.GetPixel(xx, yy)) >= v) {
                        strict = false;
                        break;
                    }
            if (strict) out.push_back({x, y});
        }
    return out;
}

std::vector<CPoint> Points(const CSpotList& spots) {
    std::vector<CPoint> out;
    for (int32_t i = 0; i < spots.Count(); ++i) out.push_back(spots[i].Point());
    return out;
}

TEST(LocalMaximaSpots, AgreesWithBruteForceOnRandomImages) {
    struct Case {
        int width, height, depth, side;
    };
    for (const Case c :
         {Case{17, 13, 4, 3}, Case{20, 9, 8, 4}, Case{31, 23, 8, 7}, Case{12, 40, 12, 9},
          Case{5, 5, 8, 21}, Case{1, 9, 8, 3}, Case{9, 1, 8, 5}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " side " << c.side);
        CMImage image = ZeroedImage(c.width, c.height, c.depth);
        FillRandom(image, unsigned(c.width * 31 + c.side));
        const CSpotList spots = LocalMaximaSpots(image, c.side);
        const std::vector<CPoint> expected = SlowMaxima(image, c.side, nullptr);
        // Random samples always hold maxima; none would make the comparison empty.
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(spots.Count(), int32_t(expected.size()));
        for (int32_t i = 0; i < spots.Count(); ++i) {
            EXPECT_EQ(spots[i].Point(), expected[std::size_t(i)]);
            EXPECT_EQ(spots[i].response, double(uint16_t(image.GetPixel(spots[i].x, spots[i].y))));
        }
    }
}

TEST(LocalMaximaSpots, PlateauBorderSizeAndMask) {
    // A 2-pixel plateau of 9 is no maximum; the 5 in the corner is one (its
    // square is clipped); the 7 is one for side 3 but lies within 2 of the 9s.
    const CMImage image = Image(7, {
                                       5, 0, 0, 0, 0, 0, 0,  //
                                       0, 0, 0, 0, 0, 0, 0,  //
                                       0, 0, 0, 9, 9, 0, 0,  //
                                       0, 0, 0, 0, 0, 0, 0,  //
                                       0, 7, 0, 0, 0, 0, 0,  //
                                   });
    EXPECT_EQ(Points(LocalMaximaSpots(image, 3)), (std::vector<CPoint>{{0, 0}, {1, 4}}));
    // Sizes below 3 act as 3; an even size is made odd (4 -> 5).
    EXPECT_EQ(Points(LocalMaximaSpots(image, 1)), (std::vector<CPoint>{{0, 0}, {1, 4}}));
    EXPECT_EQ(Points(LocalMaximaSpots(image, 4)), (std::vector<CPoint>{{0, 0}}));
    // A side of 9 reaches the 7 from the corner; the plateau still wins nothing.
    EXPECT_TRUE(Points(LocalMaximaSpots(image, 9)).empty());

    CMImage mask = ZeroedImage(7, 5, 1);
    mask.SetPixel(1, 4, 1);
    EXPECT_EQ(Points(LocalMaximaSpots(image, 3, &mask)), (std::vector<CPoint>{{1, 4}}));
    // An invalid mask restricts nothing.
    const CMImage none;
    EXPECT_EQ(LocalMaximaSpots(image, 3, &none).Count(), 2);
}

TEST(LocalMaximaSpots, FlatAndInvalidImagesGiveNone) {
    CMImage flat = Image(4, std::vector<int32_t>(16, 3));
    EXPECT_EQ(LocalMaximaSpots(flat, 3).Count(), 0);
    EXPECT_EQ(LocalMaximaSpots(CMImage(), 3).Count(), 0);
    // A single pixel has no neighbour to beat.
    EXPECT_EQ(LocalMaximaSpots(Image(1, {4}), 3).Count(), 1);
}

}  // namespace
}  // namespace vistrel
