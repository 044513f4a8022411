#include "filters/morphology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "support/native_file_builders.h"

namespace vistrel {
namespace {

using testsupport::FillImage;
using testsupport::FillRandom;
using testsupport::ValuesOf;
using testsupport::ZeroedImage;

CMImage ImageOf(int width, int depth, const std::vector<int32_t>& values) {
    CMImage image;
    FillImage(image, width, depth, values);
    return image;
}

CMImage RandomImage(int w, int h, int depth, unsigned seed) {
    CMImage image = ZeroedImage(w, h, depth);
    FillRandom(image, seed);
    return image;
}

// An edited element of the given rows ('1' = member).
CMorphSE ElementOf(const std::vector<std::string>& rows) {
    CMorphSE se;
    se.Resize(static_cast<int16_t>(rows.size()));
    for (int r = 0; r < se.size; ++r)
        for (int c = 0; c < se.size; ++c) se.SetCell(r, c, rows[r][c] == '1');
    return se;
}

// Erosion or dilation with pad straight from the definition, one pass over
// sample lists: unset cells and positions outside give maxValue / 0.
std::vector<int32_t> DirectPass(const std::vector<int32_t>& in, int w, int h, int maxValue,
                                const CMorphSE& se, bool erode) {
    std::vector<int32_t> out(in.size());
    const int n = se.size, c = n / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int32_t best = erode ? maxValue : 0;
            for (int r = 0; r < n; ++r)
                for (int col = 0; col < n; ++col) {
                    const int sx = x + col - c, sy = y + r - c;
                    if (!se.GetCell(r, col) || sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
                    const int32_t v = in[std::size_t(sy * w + sx)];
                    best = erode ? std::min(best, v) : std::max(best, v);
                }
            out[std::size_t(y * w + x)] = best;
        }
    return out;
}

std::vector<int32_t> Direct(const std::vector<int32_t>& in, const CMImage& image,
                            const CMorphSE& se, bool erode, int iterations) {
    std::vector<int32_t> v = in;
    for (int i = 0; i < iterations; ++i)
        v = DirectPass(v, image.width, image.height, image.maxValue, se, erode);
    return v;
}

std::vector<int32_t> Minus(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    std::vector<int32_t> d(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) d[i] = a[i] - b[i];
    return d;
}

// How a signed difference is stored: shifted up by a negative minimum (the
// value offset), and shifted right when the range needs more than 16 bits.
struct CStoredDifference {
    std::vector<int32_t> samples;
    int32_t offset = 0;
};
CStoredDifference StoredDifference(const std::vector<int32_t>& v) {
    const int32_t lowest = std::min(0, *std::min_element(v.begin(), v.end()));
    const int32_t range = *std::max_element(v.begin(), v.end()) - lowest;
    int bits = 0;
    while ((range >> bits) != 0) ++bits;
    const int shift = std::max(0, bits - 16);
    CStoredDifference stored;
    for (int32_t d : v) stored.samples.push_back((d - lowest) >> shift);
    stored.offset = -lowest;
    return stored;
}

TEST(Morphology, BorderAndElementEdgeCases) {
    // 3 x 3, corner values larger than their cross neighbours.
    const CMImage corner = ImageOf(3, 8, {90, 20, 30, 40, 50, 60, 70, 80, 10});
    const CMImage strip = ImageOf(4, 8, {1, 2, 3, 4, 5, 6, 7, 8});
    const CMorphSE cross(3, CMorphSE::kCross);
    const CMorphSE rightOnly = ElementOf({"000", "001", "000"});
    const CMImage single = ImageOf(1, 12, {3000});
    const CMorphSE disc(25, CMorphSE::kCircle);
    const struct {
        const char* what;
        const CMImage& image;
        EMorphOperator op;
        const CMorphSE& se;
        std::vector<int32_t> expected;
    } cases[] = {
        // Outside counts as maxValue: a corner is the minimum of its in-image
        // cross neighbours, never 0.
        {"corner erosion",
         corner,
         EMorphOperator::Erode,
         cross,
         {20, 20, 20, 40, 20, 10, 40, 10, 10}},
        {"corner dilation",
         corner,
         EMorphOperator::Dilate,
         cross,
         {90, 90, 60, 90, 80, 60, 80, 80, 80}},
        // No reflection: the cell right of the centre reads the right neighbour.
        {"one-sided dilation", strip, EMorphOperator::Dilate, rightOnly, {2, 3, 4, 0, 6, 7, 8, 0}},
        {"one-sided erosion",
         strip,
         EMorphOperator::Erode,
         rightOnly,
         {2, 3, 4, 255, 6, 7, 8, 255}},
        // Only the centre of a large element lies in a one-pixel image.
        {"element larger than the image", single, EMorphOperator::Erode, disc, {3000}},
        {"element larger than the image, dilation", single, EMorphOperator::Dilate, disc, {3000}},
    };
    for (const auto& c : cases) {
        const auto result = ApplyMorphOperator(c.op, c.image, c.se, 1);
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(ValuesOf(*result), c.expected) << c.what;
        EXPECT_EQ(result->depth, c.image.depth) << c.what;
    }
}

TEST(Morphology, OpeningAndClosingIterateEachStep) {
    const CMImage image = RandomImage(13, 11, 12, 5);
    const CMorphSE cross(3, CMorphSE::kCross);
    for (int k : {1, 3}) {
        // k single erosions, then k single dilations (and the other way round).
        std::unique_ptr<CMImage> opened = std::make_unique<CMImage>(image);
        std::unique_ptr<CMImage> closed = std::make_unique<CMImage>(image);
        for (int i = 0; i < k; ++i) opened = Erode(*opened, cross, 1);
        for (int i = 0; i < k; ++i) opened = Dilate(*opened, cross, 1);
        for (int i = 0; i < k; ++i) closed = Dilate(*closed, cross, 1);
        for (int i = 0; i < k; ++i) closed = Erode(*closed, cross, 1);
        const auto open = Open(image, cross, k);
        const auto close = Close(image, cross, k);
        ASSERT_TRUE(open && close);
        EXPECT_EQ(ValuesOf(*open), ValuesOf(*opened)) << k;
        EXPECT_EQ(ValuesOf(*close), ValuesOf(*closed)) << k;
    }
    // The count matters on this image.
    EXPECT_NE(ValuesOf(*Open(image, cross, 3)), ValuesOf(*Open(image, cross, 1)));
}

TEST(Morphology, OperatorsFollowTheirDefinitions) {
    const std::vector<CMorphSE> elements = {
        CMorphSE(3, CMorphSE::kCross),
        CMorphSE(5, CMorphSE::kCircle),
        CMorphSE(3, CMorphSE::kSquare),
        CMorphSE(5, CMorphSE::kX),
        ElementOf({"0000", "0011", "0100", "0000"}),  // even, lopsided
    };
    for (int depth : {1, 4, 8, 12, 16}) {
        const CMImage image = RandomImage(11, 9, depth, unsigned(depth));
        const std::vector<int32_t> in = ValuesOf(image);
        for (std::size_t e = 0; e < elements.size(); ++e) {
            const CMorphSE& se = elements[e];
            const int k = depth == 8 ? 2 : 1;
            const auto ero = Direct(in, image, se, true, k);
            const auto dil = Direct(in, image, se, false, k);
            const auto open = Direct(ero, image, se, false, k);
            const auto close = Direct(dil, image, se, true, k);
            const struct {
                EMorphOperator op;
                std::vector<int32_t> expected;
                bool sameDepth;  // a plain morphological image, not a difference
            } cases[] = {
                {EMorphOperator::Erode, ero, true},
                {EMorphOperator::Dilate, dil, true},
                {EMorphOperator::Open, open, true},
                {EMorphOperator::Close, close, true},
                {EMorphOperator::WhiteTopHat, Minus(in, open), false},
                {EMorphOperator::BlackTopHat, Minus(close, in), false},
                {EMorphOperator::MorphGradient, Minus(dil, ero), false},
                {EMorphOperator::InnerGradient, Minus(in, ero), false},
                {EMorphOperator::OuterGradient, Minus(dil, in), false},
            };
            for (const auto& c : cases) {
                const auto result = ApplyMorphOperator(c.op, image, se, k);
                ASSERT_TRUE(result) << depth << " " << e << " " << int(c.op);
                const std::string what = "depth " + std::to_string(depth) + " element " +
                                         std::to_string(e) + " op " + std::to_string(int(c.op));
                if (c.sameDepth) {
                    EXPECT_EQ(ValuesOf(*result), c.expected) << what;
                    EXPECT_EQ(result->depth, depth) << what;
                    EXPECT_EQ(result->valueOffset, 0) << what;
                } else {
                    const CStoredDifference stored = StoredDifference(c.expected);
                    EXPECT_EQ(ValuesOf(*result), stored.samples) << what;
                    EXPECT_EQ(result->valueOffset, stored.offset) << what;
                }
            }
        }
    }
}

TEST(Morphology, DifferenceImagesOfAConstantImage) {
    // Every difference of a constant image is 0: a 1-bit image of zeros.
    CMImage flat = ZeroedImage(7, 5, 12);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) flat.SetPixel(x, y, 1000);
    const CMorphSE se(5, CMorphSE::kCircle);
    for (EMorphOperator op :
         {EMorphOperator::WhiteTopHat, EMorphOperator::BlackTopHat, EMorphOperator::MorphGradient,
          EMorphOperator::InnerGradient, EMorphOperator::OuterGradient}) {
        const auto result = ApplyMorphOperator(op, flat, se, 2);
        ASSERT_TRUE(result) << int(op);
        EXPECT_EQ(result->depth, 1) << int(op);
        EXPECT_EQ(result->width, 7);
        EXPECT_EQ(result->height, 5);
        EXPECT_EQ(result->valueOffset, 0) << int(op);
        EXPECT_EQ(ValuesOf(*result), std::vector<int32_t>(35, 0)) << int(op);
    }
}

TEST(Morphology, RefusedInput) {
    const CMImage image = RandomImage(6, 5, 8, 3);
    const CMorphSE cross(3, CMorphSE::kCross);
    const CMorphSE empty;
    const CMImage invalid;
    for (int o = 0; o <= int(EMorphOperator::OuterGradient); ++o) {
        const auto op = static_cast<EMorphOperator>(o);
        EXPECT_FALSE(ApplyMorphOperator(op, image, empty, 1)) << o;
        EXPECT_FALSE(ApplyMorphOperator(op, image, cross, 0)) << o;
        EXPECT_FALSE(ApplyMorphOperator(op, image, cross, -2)) << o;
        EXPECT_FALSE(ApplyMorphOperator(op, invalid, cross, 1)) << o;
        EXPECT_TRUE(ApplyMorphOperator(op, image, cross, 1)) << o;
    }
    EXPECT_FALSE(HitOrMiss(image, empty, cross));
    EXPECT_FALSE(HitOrMiss(image, cross, empty));
    EXPECT_FALSE(HitOrMiss(invalid, cross, cross));

    const CMImage other8 = RandomImage(6, 5, 8, 4);
    int passes = -1;
    EXPECT_FALSE(ConditionalThickening(image, RandomImage(5, 5, 8, 1), &passes));
    EXPECT_EQ(passes, 0);
    EXPECT_FALSE(ConditionalThickening(image, RandomImage(6, 6, 8, 1)));
    EXPECT_FALSE(ConditionalThickening(image, RandomImage(6, 5, 12, 1)));
    EXPECT_FALSE(ConditionalThickening(invalid, image));
    EXPECT_FALSE(ConditionalThickening(image, invalid));
    EXPECT_TRUE(ConditionalThickening(image, other8));
}

// A binary block in a 9 x 9 image: rows and columns 3..5.
CMImage Block() {
    CMImage image = ZeroedImage(9, 9, 1);
    for (int y = 3; y <= 5; ++y)
        for (int x = 3; x <= 5; ++x) image.SetPixel(x, y, 1);
    return image;
}

std::vector<int32_t> OnlyPixel(int w, int h, int px, int py) {
    std::vector<int32_t> v(std::size_t(w * h), 0);
    v[std::size_t(py * w + px)] = 1;
    return v;
}

TEST(Morphology, HitOrMissOnABlock) {
    // A1 = full row above, B1 = centre and row below empty: only the pixel
    // below the middle of the block's bottom edge matches. Each quarter turn
    // of both elements moves the match to the next edge, counter-clockwise.
    const CMImage block = Block();
    CMorphSE a, b;
    a.MakeThickeningElement(1, 1);
    b.MakeThickeningElement(1, 2);
    const std::pair<int, int> matches[] = {{4, 6}, {6, 4}, {4, 2}, {2, 4}};
    for (const auto& [px, py] : matches) {
        const auto hits = HitOrMiss(block, a, b);
        ASSERT_TRUE(hits);
        EXPECT_EQ(ValuesOf(*hits), OnlyPixel(9, 9, px, py)) << px << "," << py;
        EXPECT_EQ(hits->depth, 1);
        a.Rotate90();
        b.Rotate90();
    }
    // Grey: min of the erosion of X by A and of the complement by B.
    const CMImage grey = ImageOf(3, 8, {200, 180, 220, 40, 10, 30, 0, 5, 20});
    const auto hits =
        HitOrMiss(grey, ElementOf({"111", "000", "000"}), ElementOf({"000", "010", "111"}));
    ASSERT_TRUE(hits);
    // Centre: min(min(200, 180, 220), min(255-10, 255-0, 255-5, 255-20)) = 180;
    // every other pixel: the element does not fit with pad clear, so 0.
    EXPECT_EQ(ValuesOf(*hits), (std::vector<int32_t>{0, 0, 0, 0, 180, 0, 0, 0, 0}));
}

// The eight thickening elements in the order the passes use them, written
// out by hand: (A1, B1) turned 0..3 quarters, then (A2, B2).
const std::array<std::pair<const char*, const char*>, 8> kTurnedPairs = {{
    {"111000000", "000010111"},
    {"100100100", "001011001"},
    {"000000111", "111010000"},
    {"001001001", "100110100"},
    {"000001011", "110110000"},
    {"011001000", "000110110"},
    {"110100000", "000011011"},
    {"000100110", "011011000"},
}};

// Conditional thickening written from its definition on sample lists, with
// the elements above: returns the result and the number of passes.
std::pair<std::vector<int32_t>, int> DirectThickening(const CMImage& condition,
                                                      const CMImage& marker) {
    const int w = condition.width, h = condition.height, top = condition.maxValue;
    const std::vector<int32_t> cond = ValuesOf(condition);
    std::vector<int32_t> x = ValuesOf(marker);
    int passes = 0;
    while (passes < kMaxThickeningPasses) {
        ++passes;
        std::vector<int32_t> t(x.size(), 0);
        for (const auto& [a, b] : kTurnedPairs)
            for (int py = 1; py + 1 < h; ++py)
                for (int px = 1; px + 1 < w; ++px) {
                    int32_t v = top;
                    for (int i = 0; i < 9; ++i) {
                        const int32_t s = x[std::size_t((py + i / 3 - 1) * w + px + i % 3 - 1)];
                        if (a[i] == '1') v = std::min(v, s);
                        if (b[i] == '1') v = std::min(v, top - s);
                    }
                    int32_t& out = t[std::size_t(py * w + px)];
                    out = std::max(out, v);
                }
        std::vector<int32_t> next(x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            next[i] = std::min(cond[i], std::max(x[i], t[i]));
        const bool same = next == x;
        x = next;
        if (same) break;
    }
    return {x, passes};
}

TEST(Morphology, TurnedPairsMatchRotate90) {
    // The hand-written table of the reference above is what the element
    // operations produce.
    for (int type = 1; type <= 2; ++type) {
        CMorphSE a, b;
        a.MakeThickeningElement(type, 1);
        b.MakeThickeningElement(type, 2);
        for (int turn = 0; turn < 4; ++turn) {
            const auto& [ra, rb] = kTurnedPairs[std::size_t((type - 1) * 4 + turn)];
            for (int i = 0; i < 9; ++i) {
                EXPECT_EQ(a.GetCell(i / 3, i % 3), ra[i] - '0') << type << " " << turn;
                EXPECT_EQ(b.GetCell(i / 3, i % 3), rb[i] - '0') << type << " " << turn;
            }
            a.Rotate90();
            b.Rotate90();
        }
    }
}

TEST(Morphology, ConditionalThickeningFollowsItsDefinition) {
    CMImage allOnes = ZeroedImage(15, 15, 1);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) allOnes.SetPixel(x, y, 1);
    CMImage blockMarker = ZeroedImage(15, 15, 1);
    for (int y = 6; y <= 8; ++y)
        for (int x = 6; x <= 8; ++x) blockMarker.SetPixel(x, y, 1);
    const struct {
        const char* what;
        CMImage condition, marker;
    } cases[] = {
        {"block grows in an open field", allOnes, blockMarker},
        {"random binary", RandomImage(20, 17, 1, 1), RandomImage(20, 17, 1, 2)},
        {"random 4-bit", RandomImage(12, 10, 4, 3), RandomImage(12, 10, 4, 4)},
        {"random 8-bit", RandomImage(12, 10, 8, 5), RandomImage(12, 10, 8, 6)},
        {"random 12-bit", RandomImage(9, 13, 12, 7), RandomImage(9, 13, 12, 8)},
        {"marker equals condition", RandomImage(8, 8, 8, 9), RandomImage(8, 8, 8, 9)},
        // No pixel has a whole neighbourhood: nothing is ever hit.
        {"two by two", RandomImage(2, 2, 8, 10), RandomImage(2, 2, 8, 11)},
        {"one pixel", RandomImage(1, 1, 16, 12), RandomImage(1, 1, 16, 13)},
    };
    for (const auto& c : cases) {
        int passes = 0;
        const auto result = ConditionalThickening(c.condition, c.marker, &passes);
        ASSERT_TRUE(result) << c.what;
        const auto [expected, expectedPasses] = DirectThickening(c.condition, c.marker);
        EXPECT_EQ(ValuesOf(*result), expected) << c.what;
        EXPECT_EQ(passes, expectedPasses) << c.what;
        EXPECT_EQ(result->depth, c.condition.depth) << c.what;
        // Never above the condition, never below what the marker had under it.
        const auto out = ValuesOf(*result), cond = ValuesOf(c.condition), mark = ValuesOf(c.marker);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_LE(out[i], cond[i]) << c.what << " " << i;
            ASSERT_GE(out[i], std::min(cond[i], mark[i])) << c.what << " " << i;
        }
    }
}

TEST(Morphology, ConditionalThickeningStopsAtTheFirstUnchangedPass) {
    // Marker inside the condition that no element matches: the first pass
    // changes nothing.
    CMImage condition = ZeroedImage(9, 9, 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) condition.SetPixel(x, y, 1);
    CMImage dot = ZeroedImage(9, 9, 1);
    dot.SetPixel(4, 4, 1);
    int passes = 0;
    auto result = ConditionalThickening(condition, dot, &passes);
    ASSERT_TRUE(result);
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(ValuesOf(*result), ValuesOf(dot));

    // The block grows by its four edge middles in the first pass; a condition
    // of exactly that shape stops it in the second.
    const CMImage block = Block();
    CMImage plus = Block();
    for (const auto& [px, py] : std::vector<std::pair<int, int>>{{4, 6}, {6, 4}, {4, 2}, {2, 4}})
        plus.SetPixel(px, py, 1);
    result = ConditionalThickening(plus, block, &passes);
    ASSERT_TRUE(result);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(ValuesOf(*result), ValuesOf(plus));
}

TEST(Morphology, ConditionalThickeningRunsAtMostTheMaximumPasses) {
    // A corridor three pixels high and far longer than the passes allow: the
    // marker at its left end creeps right a column every other pass.
    const int w = 140, h = 5;
    CMImage corridor = ZeroedImage(w, h, 1);
    CMImage marker = ZeroedImage(w, h, 1);
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x < w - 1; ++x) {
            corridor.SetPixel(x, y, 1);
            if (x <= 3) marker.SetPixel(x, y, 1);
        }
    int passes = 0;
    const auto result = ConditionalThickening(corridor, marker, &passes);
    ASSERT_TRUE(result);
    EXPECT_EQ(passes, kMaxThickeningPasses);
    const auto [expected, expectedPasses] = DirectThickening(corridor, marker);
    EXPECT_EQ(expectedPasses, kMaxThickeningPasses);
    EXPECT_EQ(ValuesOf(*result), expected);
    // It grew, but not to the far end.
    EXPECT_EQ(result->GetPixel(10, 2), 1);
    EXPECT_EQ(result->GetPixel(w - 3, 2), 0);

    // Progress after every pass that changed something; cancelling gives no image.
    std::vector<double> heard;
    const auto cancelled = ConditionalThickening(corridor, marker, &passes, [&](double f) {
        heard.push_back(f);
        return heard.size() < 3;
    });
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(heard, (std::vector<double>{1.0 / kMaxThickeningPasses, 2.0 / kMaxThickeningPasses,
                                          3.0 / kMaxThickeningPasses}));
}

}  // namespace
}  // namespace vistrel
