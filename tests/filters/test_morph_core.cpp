// The erosion/dilation core against the definition computed pixel by pixel:
// every sample of every case must agree, whatever the element, depth, border
// mode or row loops in use.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "filters/morph_core_rows.h"
#include "filters/morphology.h"
#include "support/progress_recorder.h"

namespace vistrel {
namespace {

constexpr int kDepths[] = {1, 4, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// The definition as written: n x n values per pixel from a snapshot of the
// previous pass; unset cells and outside positions give maxValue (erosion)
// or 0 (dilation); with pad clear, pixels where the element does not fit
// become 0.
std::unique_ptr<CMImage> Reference(const CMImage& image, EMorphOperation op, const CMorphSE& se,
                                   int iterations, const CMImageBase* source, bool pad) {
    auto result = std::make_unique<CMImage>(image);
    if (source) std::memcpy(result->data, source->data, source->ByteCount());
    const bool erode = op == EMorphOperation::Erosion;
    const int n = se.size, c = n / 2, w = image.width, h = image.height;
    for (int it = 0; it < iterations; ++it) {
        const CMImageBase snapshot(*result);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool fits = x - c >= 0 && x + c < w && y - c >= 0 && y + c < h;
                if (!pad && !fits) {
                    result->SetPixel(x, y, 0);
                    continue;
                }
                int best = erode ? 0x10000 : -1;
                for (int r = 0; r < n; ++r) {
                    for (int col = 0; col < n; ++col) {
                        const int sx = x + col - c, sy = y + r - c;
                        int v = erode ? image.maxValue : 0;
                        if (se.GetCell(r, col) == 1 && sx >= 0 && sx < w && sy >= 0 && sy < h)
                            v = uint16_t(snapshot.GetPixel(sx, sy));
                        best = erode ? std::min(best, v) : std::max(best, v);
                    }
                }
                result->SetPixel(x, y, best);
            }
        }
    }
    return result;
}

// Random raw bytes, so packed rows carry random unused bits too; deep images
// keep most samples within maxValue and some above it, as files can.
CMImage RandomImage(int w, int h, int depth, std::mt19937& rng) {
    CMImage image(w, h, depth);
    for (std::size_t i = 0; i < image.ByteCount(); ++i) image.data[i] = uint8_t(rng());
    if (depth > 8) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (rng() % 8 != 0) image.SetPixel(x, y, int32_t(rng() % (image.maxValue + 1u)));
    }
    return image;
}

std::string ElementText(const CMorphSE& se) {
    std::ostringstream out;
    out << se.size << "x" << se.size << " shape " << se.shape << ":";
    for (int r = 0; r < se.size; ++r) {
        out << (r ? "/" : " ");
        for (int c = 0; c < se.size; ++c) out << int(se.GetCell(r, c));
    }
    return out.str();
}

struct CCase {
    CMorphSE se;
    int w = 1, h = 1, depth = 8;
    EMorphOperation op = EMorphOperation::Erosion;
    int iterations = 1;
    bool pad = true;
    bool separateSource = false;
    int maxValue = -1;  // a lower maxValue than the depth's, when >= 0
    uint32_t seed = 1;

    std::string Name() const {
        std::ostringstream out;
        out << (op == EMorphOperation::Erosion ? "erosion" : "dilation") << " " << w << "x" << h
            << " depth " << depth << " iterations " << iterations << (pad ? " pad" : " no pad")
            << (separateSource ? " source" : "") << " maxValue " << maxValue << " seed " << seed
            << " element " << ElementText(se) << " loops " << ActiveMorphKernels();
        return out.str();
    }
};

// Every sample and every raster byte (packed rows' unused bits included),
// and the result's layout and value offset.
void ExpectMatchesReference(const CCase& k) {
    std::mt19937 rng(k.seed);
    CMImage image = RandomImage(k.w, k.h, k.depth, rng);
    if (k.maxValue >= 0) image.maxValue = uint16_t(k.maxValue);
    image.valueOffset = 7;
    CMImage source = RandomImage(k.w, k.h, k.depth, rng);
    const CMImageBase* src = k.separateSource ? &source : nullptr;
    const CMImage imageBefore(image);
    const CMImage sourceBefore(source);

    auto expected = Reference(image, k.op, k.se, k.iterations, src, k.pad);
    auto actual = MorphCore(image, k.op, k.se, k.iterations, src, k.pad);
    ASSERT_TRUE(actual) << k.Name();
    ASSERT_EQ(actual->width, k.w) << k.Name();
    ASSERT_EQ(actual->height, k.h) << k.Name();
    ASSERT_EQ(actual->depth, k.depth) << k.Name();
    ASSERT_EQ(actual->bytesPerRow, expected->bytesPerRow) << k.Name();
    EXPECT_EQ(actual->maxValue, image.maxValue) << k.Name();
    EXPECT_EQ(actual->valueOffset, 7) << k.Name();
    int mismatches = 0;
    for (int y = 0; y < k.h && mismatches < 3; ++y)
        for (int x = 0; x < k.w && mismatches < 3; ++x)
            if (actual->GetPixel(x, y) != expected->GetPixel(x, y)) {
                ADD_FAILURE() << k.Name() << ": pixel (" << x << ", " << y << ") is "
                              << uint16_t(actual->GetPixel(x, y)) << ", expected "
                              << uint16_t(expected->GetPixel(x, y));
                ++mismatches;
            }
    if (mismatches == 0) {
        EXPECT_EQ(0, std::memcmp(actual->data, expected->data, expected->ByteCount()))
            << k.Name() << ": samples agree but the raster bytes differ";
    }
    EXPECT_EQ(0, std::memcmp(image.data, imageBefore.data, image.ByteCount())) << k.Name();
    EXPECT_EQ(0, std::memcmp(source.data, sourceBefore.data, source.ByteCount())) << k.Name();
}

// Runs the cases with each set of row loops the processor has.
void ExpectAllMatch(const std::vector<CCase>& cases) {
    const std::string original = ActiveMorphKernels();
    for (const char* loops : {"plain", "avx2"}) {
        if (!UseMorphKernels(loops)) continue;
        for (const CCase& k : cases) {
            ExpectMatchesReference(k);
            if (::testing::Test::HasFailure()) break;
        }
    }
    UseMorphKernels(original);
}

// Small widths and heights, widths around and off the vector widths, and
// heights that give several bands of rows.
struct CSize {
    int w, h;
};
constexpr CSize kSizes[] = {{1, 1},   {1, 9},  {9, 1},   {2, 3},  {5, 4},  {13, 11}, {16, 7},
                            {17, 20}, {31, 5}, {33, 18}, {40, 9}, {70, 6}, {9, 60},  {100, 3}};

CCase RandomCase(CMorphSE se, std::mt19937& rng) {
    CCase k;
    k.se = std::move(se);
    const CSize size = kSizes[rng() % std::size(kSizes)];
    k.w = size.w;
    k.h = size.h;
    k.depth = kDepths[rng() % std::size(kDepths)];
    k.op = rng() % 2 ? EMorphOperation::Erosion : EMorphOperation::Dilation;
    k.pad = rng() % 2 == 0;
    k.iterations = 1 + int(rng() % 3);
    k.seed = rng();
    return k;
}

TEST(MorphCore, EveryShapeAndSizeMatchesTheDefinition) {
    std::mt19937 rng(2024);
    std::vector<CCase> cases;
    for (int shape = CMorphSE::kCross; shape <= CMorphSE::kSquare; ++shape)
        for (int n = 1; n <= 25; ++n)
            for (int op = 0; op < 2; ++op)
                for (int pad = 0; pad < 2; ++pad) {
                    CCase k = RandomCase(CMorphSE(int16_t(n), shape), rng);
                    k.op = op ? EMorphOperation::Dilation : EMorphOperation::Erosion;
                    k.pad = pad == 1;
                    cases.push_back(k);
                }
    ExpectAllMatch(cases);
}

TEST(MorphCore, EveryDepthAndIterationCountMatchesTheDefinition) {
    std::mt19937 rng(77);
    std::vector<CCase> cases;
    const CMorphSE elements[] = {CMorphSE(3, CMorphSE::kCross), CMorphSE(5, CMorphSE::kCircle),
                                 CMorphSE(4, CMorphSE::kSquare)};
    for (int depth : kDepths)
        for (int iterations = 1; iterations <= 3; ++iterations)
            for (const CMorphSE& se : elements) {
                CCase k = RandomCase(se, rng);
                k.depth = depth;
                k.iterations = iterations;
                k.w = 23;
                k.h = 19;
                cases.push_back(k);
            }
    ExpectAllMatch(cases);
}

// Elements as the dialog's editing leaves them: holes, several runs in a
// row, empty rows, one-sided cells, no cells at all.
TEST(MorphCore, EditedElementsMatchTheDefinition) {
    std::mt19937 rng(99);
    std::vector<CCase> cases;
    auto add = [&](const CMorphSE& se, int repeats) {
        for (int i = 0; i < repeats; ++i) cases.push_back(RandomCase(se, rng));
    };
    for (int n = 1; n <= 25; ++n) {
        CMorphSE holes(int16_t(n), CMorphSE::kSquare);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                if (rng() % 3 == 0) holes.SetCell(r, c, 0);
        add(holes, 2);
        CMorphSE empty(int16_t(n), CMorphSE::kCustom);
        add(empty, 1);
        CMorphSE comb(int16_t(n), CMorphSE::kCustom);  // alternate cells, every other row
        for (int r = 0; r < n; r += 2)
            for (int c = r % 4 == 0 ? 0 : 1; c < n; c += 2) comb.SetCell(r, c, 1);
        add(comb, 1);
        CMorphSE corner(int16_t(n), CMorphSE::kCustom);  // a single far cell
        corner.SetCell(n - 1, 0, 1);
        add(corner, 1);
        if (n >= 5) {
            CMorphSE hollow(int16_t(n), CMorphSE::kCustom);
            hollow.DrawCentred(n - 4, CMorphSE::kCircle);
            add(hollow, 1);
        }
    }
    CMorphSE right(3, CMorphSE::kCustom);
    right.SetCell(1, 2, 1);
    add(right, 4);
    for (int type = 1; type <= 2; ++type)
        for (int kind = 1; kind <= 2; ++kind) {
            CMorphSE thickening;
            thickening.MakeThickeningElement(type, kind);
            add(thickening, 3);
        }
    ExpectAllMatch(cases);
}

TEST(MorphCore, SeparateSourceMatchesTheDefinition) {
    std::mt19937 rng(5);
    std::vector<CCase> cases;
    for (int i = 0; i < 40; ++i) {
        CCase k = RandomCase(CMorphSE(int16_t(1 + rng() % 9), int32_t(rng() % 4)), rng);
        k.separateSource = true;
        cases.push_back(k);
    }
    ExpectAllMatch(cases);
}

// An erosion is clamped to maxValue whenever an unset cell or an outside
// position takes part, even over samples above maxValue; a full element
// inside the image is not.
TEST(MorphCore, SamplesAboveMaxValueKeepTheClampOfTheDefinition) {
    std::mt19937 rng(31);
    std::vector<CCase> cases;
    const CMorphSE elements[] = {CMorphSE(3, CMorphSE::kSquare), CMorphSE(3, CMorphSE::kCross),
                                 CMorphSE(6, CMorphSE::kSquare), CMorphSE(7, CMorphSE::kX)};
    for (const CMorphSE& se : elements)
        for (int depth : {8, 12, 16})
            for (int pad = 0; pad < 2; ++pad) {
                CCase k = RandomCase(se, rng);
                k.depth = depth;
                k.pad = pad == 1;
                k.op = EMorphOperation::Erosion;
                k.maxValue = depth == 8 ? 100 : 1000;
                k.w = 21;
                k.h = 17;
                cases.push_back(k);
            }
    ExpectAllMatch(cases);

    // Constant samples above maxValue: a square's interior keeps them, its
    // border and a cross everywhere give maxValue.
    CMImage image(6, 6, 12);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) image.SetPixel(x, y, 5000);
    auto square = MorphCore(image, EMorphOperation::Erosion, CMorphSE(3, CMorphSE::kSquare), 1,
                            nullptr, true);
    auto cross =
        MorphCore(image, EMorphOperation::Erosion, CMorphSE(3, CMorphSE::kCross), 1, nullptr, true);
    ASSERT_TRUE(square && cross);
    EXPECT_EQ(uint16_t(square->GetPixel(2, 3)), 5000);
    EXPECT_EQ(uint16_t(square->GetPixel(0, 3)), 4095);
    EXPECT_EQ(uint16_t(cross->GetPixel(2, 3)), 4095);
}

// Elements far larger than the dialog offers take the path without a ring
// of rows; they must agree all the same.
TEST(MorphCore, VeryLargeElementsMatchTheDefinition) {
    std::mt19937 rng(8);
    std::vector<CCase> cases;
    for (int n : {65, 66, 71}) {
        CMorphSE circle(int16_t(n), CMorphSE::kCircle);
        CMorphSE holes(int16_t(n), CMorphSE::kSquare);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c)
                if (rng() % 4 == 0) holes.SetCell(r, c, 0);
        for (const CMorphSE* se : {&circle, &holes}) {
            CCase k = RandomCase(*se, rng);
            k.w = int(rng() % 2) ? 9 : 80;
            k.h = 9;
            k.iterations = 1 + int(rng() % 2);
            cases.push_back(k);
        }
    }
    ExpectAllMatch(cases);
}

TEST(MorphCore, RefusesWhatItCannotCompute) {
    CMImage image(8, 8, 8);
    std::memset(image.data, 3, image.ByteCount());
    const CMorphSE cross(3, CMorphSE::kCross);
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, cross, 0, nullptr, true));
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, cross, -2, nullptr, true));
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Dilation, CMorphSE(), 1, nullptr, true));
    EXPECT_FALSE(MorphCore(CMImage(), EMorphOperation::Erosion, cross, 1, nullptr, true));
    CMorphSE truncated(5, CMorphSE::kSquare);
    truncated.cells.resize(10);
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, truncated, 1, nullptr, true));
    const CMImage wider(9, 8, 8), deeper(8, 8, 12), taller(8, 9, 8);
    for (const CMImage* source : {&wider, &deeper, &taller})
        EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, cross, 1, source, true))
            << source->width << "x" << source->height << " depth " << int(source->depth);
    const CMImageBase invalid;
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, cross, 1, &invalid, true));
}

TEST(MorphCore, ReportsProgressOnTheCallersThreadAndStopsWhenCancelled) {
    std::mt19937 rng(3);
    const CMImage image = RandomImage(64, 300, 16, rng);
    const CMorphSE se(5, CMorphSE::kCircle);
    testsupport::CProgressRecorder recorder;
    auto done = MorphCore(image, EMorphOperation::Erosion, se, 3, nullptr, true, recorder.Fn());
    ASSERT_TRUE(done);
    EXPECT_FALSE(recorder.calledFromAnotherThread);
    recorder.ExpectRising();
    ASSERT_FALSE(recorder.fractions.empty());
    EXPECT_GT(recorder.fractions.back(), 2.0 / 3.0);

    testsupport::CProgressRecorder cancelling;
    cancelling.cancelFrom = 0.4;
    EXPECT_FALSE(MorphCore(image, EMorphOperation::Erosion, se, 3, nullptr, true, cancelling.Fn()));
    EXPECT_TRUE(cancelling.cancelled);
    EXPECT_FALSE(cancelling.calledAfterCancel);
}

}  // namespace
}  // namespace vistrel
