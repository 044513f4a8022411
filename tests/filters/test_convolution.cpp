#include "filters/convolution.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "core/matrix.h"
#include "filters/parallel_rows.h"
#include "support/native_file_builders.h"
#include "support/progress_recorder.h"

namespace vistrel {
namespace {

// Images built here start zeroed (the sized constructor leaves the raster as allocated).
CMImage Zeroed(int w, int h, int depth) {
    return testsupport::ZeroedImage(w, h, depth);
}

CMImage RandomImage(int w, int h, int depth, uint32_t seed) {
    CMImage image(w, h, depth);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.SetPixel(x, y, int32_t(rng() % (image.maxValue + 1u)));
    return image;
}

// The convolution exactly as defined: every pixel visited, extended-precision
// sums, FromRealMatrix for the rescaling.
std::unique_ptr<CMImage> ReferenceApply(const CMImage& image, const CFilter& f, bool partial) {
    const int w = image.width, h = image.height;
    const int hw = f.width / 2, hh = f.height / 2;
    CRealMatrix m(w, h);
    float max = -FLT_MAX, min = FLT_MAX;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            long double sum = 0;
            int n = 0;
            const bool fits = x - hw >= 0 && x + hw < w && y - hh >= 0 && y + hh < h;
            for (int i = 0; i < f.height; ++i)
                for (int j = 0; j < f.width; ++j) {
                    const int xx = x - hw + j, yy = y - hh + i;
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                    ++n;
                    sum += (long double)*f.At(i, j) * (uint16_t)image.GetPixel(xx, yy);
                }
            if (fits) {
                if (f.scale != 0 && f.scale != 1) sum /= f.scale;
            } else if (partial) {
                const double d = f.scale * n / (double(f.width) * f.height);
                if (d != 0) sum /= d;
            } else {
                sum = 0;
            }
            m[x][y] = float(sum);
            max = std::max(max, m[x][y]);
            min = std::min(min, m[x][y]);
        }
    return FromRealMatrix(m.columns(), w, h, max, min);
}

int CountDifferences(const CMImage& a, const CMImage& b) {
    int n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) n += a.GetPixel(x, y) != b.GetPixel(x, y);
    return n;
}

CFilter GeneralKernel() {
    CFilter f(5, 5);
    std::mt19937 rng(7);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) *f.At(i, j) = float(int(rng() % 200) - 100) / 37.0f;
    f.scale = 3.0;
    return f;
}

struct KernelCase {
    const char* what;
    CFilter filter;
};

std::vector<KernelCase> Kernels() {
    return {{"gauss kernel 1.0", MakeGaussKernel(1.0)},
            {"gauss 5x3", MakeGaussFilter(5, 3, 1.2)},
            {"laplace", MakeLaplaceFilter(7, 7, 2.0)},
            {"LoG h=3", MakeLoGFilter(3)},
            {"LoG h=2", MakeLoGFilter(2)},
            {"LoG sigma", MakeLoGSigmaFilter(7, 7, 1.5)},
            {"directional NW", MakeDirectionalGaussFilter(5, 5, 1.0, 2)},
            {"box even", MakeBoxFilter(4, 4)},
            {"general", GeneralKernel()},
            {"1x1", MakeBoxFilter(1, 1)}};
}

TEST(ApplyFilter, MatchesTheDirectDefinition) {
    const CMImage images[] = {RandomImage(61, 47, 12, 1), RandomImage(40, 33, 8, 2),
                              RandomImage(30, 20, 16, 3), RandomImage(23, 17, 4, 4)};
    const std::string initial = ActiveRowKernels();
    // Every instruction-set build of the row loops gives the same result.
    for (const char* kernels : {"plain", "avx2", "avx512"}) {
        if (!UseRowKernels(kernels)) continue;
        SCOPED_TRACE(kernels);
        for (const CMImage& source : images)
            for (const KernelCase& k : Kernels())
                for (bool partial : {false, true}) {
                    SCOPED_TRACE(std::string(k.what) + " depth " + std::to_string(source.depth) +
                                 (partial ? " partial" : ""));
                    auto expected = ReferenceApply(source, k.filter, partial);
                    ASSERT_TRUE(expected);
                    CMImage fast(source), direct(source);
                    ASSERT_EQ(ApplyFilter(fast, nullptr, k.filter, partial), 0);
                    ASSERT_EQ(ApplyFilter(direct, nullptr, k.filter, partial, true), 0);
                    EXPECT_EQ(fast.depth, expected->depth);
                    EXPECT_EQ(CountDifferences(fast, *expected), 0);
                    EXPECT_EQ(CountDifferences(direct, *expected), 0);
                }
    }
    UseRowKernels(initial);
}

TEST(ApplyFilter, BorderRulesOnAFlatImage) {
    CMImage flat = Zeroed(9, 9, 8);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) flat.SetPixel(x, y, 10);
    CFilter ones = MakeConstantFilter(3, 3, 1.0f);
    ones.scale = 1.0;  // raw sums: 90 inside the image
    CMImage cleared(flat);
    ASSERT_EQ(ApplyFilter(cleared, nullptr, ones, false), 0);
    EXPECT_EQ(cleared.GetPixel(0, 0), 0);
    EXPECT_EQ(cleared.GetPixel(8, 4), 0);
    EXPECT_EQ(cleared.GetPixel(4, 4), 90);
    // Partial sums scaled by kw*kh/n: the corner (4 of 9 positions) also gives 90.
    CMImage partial(flat);
    ASSERT_EQ(ApplyFilter(partial, nullptr, ones, true), 0);
    EXPECT_EQ(partial.GetPixel(0, 0), 90);
    EXPECT_EQ(partial.GetPixel(0, 4), 90);
}

TEST(ApplyFilter, NegativeResultsAreShiftedUp) {
    CMImage image = Zeroed(5, 1, 8);
    const int values[] = {0, 0, 10, 0, 0};
    for (int x = 0; x < 5; ++x) image.SetPixel(x, 0, values[x]);
    CFilter diff(1, 3);
    *diff.At(0, 0) = -1;
    *diff.At(0, 2) = 1;
    ASSERT_EQ(ApplyFilter(image, nullptr, diff, false), 0);
    // sums: border 0, 10, 0, -10, border 0 -> shifted by 10
    const int expected[] = {10, 20, 10, 0, 10};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(image.GetPixel(x, 0), expected[x]) << x;
}

TEST(ApplyFilter, OutlineRestrictsAndChecksBounds) {
    CMImage source = RandomImage(40, 30, 8, 9);
    const CFilter f = MakeGaussKernel(1.0);
    // A rectangle from (5,5) to (20,15): interior x = 6..20, rows 5..14.
    const COutline box = {{5, 5}, {20, 5}, {20, 15}, {5, 15}};
    CMImage inside(source);
    ASSERT_EQ(ApplyFilter(inside, &box, f, false), 0);
    CMImage whole(source);
    ASSERT_EQ(ApplyFilter(whole, nullptr, f, false), 0);
    // Same sums inside; outside 0 (no negatives, so no shift). Both results use
    // their own value range, so compare against the reference sums instead.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool visited = y >= 5 && y < 15 && x >= 6 && x <= 20;
            if (!visited) {
                EXPECT_EQ(inside.GetPixel(x, y), 0) << x << "," << y;
            } else {
                const double s = CorrelateAt(source, f, x, y) / f.scale;
                EXPECT_EQ(inside.GetPixel(x, y), int(std::trunc(float(s)))) << x << "," << y;
            }
        }
    const COutline outside = {{5, 5}, {45, 5}, {20, 15}};
    CMImage unchanged(source);
    EXPECT_EQ(ApplyFilter(unchanged, &outside, f, false), -1);
    EXPECT_TRUE(unchanged.IsEqual(source));
    CMImage invalid;
    EXPECT_EQ(ApplyFilter(invalid, nullptr, f, false), -1);
}

TEST(ApplyFilter, MammogramsMatchTheDirectSum) {
    const std::filesystem::path dir =
        std::filesystem::path(VISTREL_SHARED_DATA) / "mammograms/mias";
    if (!std::filesystem::exists(dir / "mdb209.pgm")) GTEST_SKIP() << "no shared data";
    CMImage image;
    std::string description;
    ASSERT_EQ(image.Open((dir / "mdb209.pgm").string(), description), 1);
    const auto sub = image.SubImage({300, 300, 700, 700});
    ASSERT_TRUE(sub);
    for (const KernelCase& k :
         {KernelCase{"gauss 7", MakeGaussKernel(1.0)}, KernelCase{"general 5", GeneralKernel()},
          KernelCase{"LoG h=4", MakeLoGFilter(4)}}) {
        SCOPED_TRACE(k.what);
        auto expected = ReferenceApply(*sub, k.filter, false);
        CMImage fast(*sub);
        ASSERT_EQ(ApplyFilter(fast, nullptr, k.filter, false), 0);
        EXPECT_EQ(CountDifferences(fast, *expected), 0);
    }
}

TEST(KernelDecomposition, FindsTheSeparableTerms) {
    const struct {
        CFilter f;
        std::size_t terms;
    } cases[] = {{MakeGaussKernel(2.0), 1}, {MakeLaplaceFilter(5, 5, 1.0), 1},
                 {MakeBoxFilter(3, 4), 1},  {MakeLoGFilter(5), 2},
                 {MakeLoGFilter(2), 2},     {MakeDirectionalGaussFilter(5, 5, 1, 0), 1},
                 {GeneralKernel(), 0},      {CFilter(3, 3), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.f.name);
        const CSeparableTerms t = DecomposeKernel(c.f);
        EXPECT_EQ(t.columns.size(), c.terms);
    }
}

TEST(WeightedMedian, TakesTheUpperMiddleProduct) {
    CMImage image = Zeroed(3, 3, 8);
    const int v[3][3] = {{1, 9, 2}, {8, 3, 7}, {4, 6, 5}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) image.SetPixel(x, y, v[y][x]);
    CFilter f = MakeConstantFilter(3, 3, 1.0f);
    *f.At(1, 1) = 100.0f;  // the centre product dominates the sort but not the rank
    CMImage out(image);
    ASSERT_EQ(ApplyWeightedMedian(out, f), 0);
    // Centre: products {1,9,2,8,300,7,4,6,5} -> sorted index 4 is 6.
    EXPECT_EQ(out.GetPixel(1, 1), 6);
    // Corner (0,0): 4 products {100, 9, 8, 3} -> index 2 of {3,8,9,100} is 9.
    EXPECT_EQ(out.GetPixel(0, 0), 9);
    // Products above maxValue clamp.
    CFilter big = MakeConstantFilter(1, 1, 1000.0f);
    CMImage clamped(image);
    ASSERT_EQ(ApplyWeightedMedian(clamped, big), 0);
    EXPECT_EQ(clamped.GetPixel(0, 0), 255);
}

TEST(EdgeMaps, ThresholdAndOr) {
    CMImage image = Zeroed(8, 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 4; x < 8; ++x) image.SetPixel(x, y, 100);  // vertical step at x = 4
    const CFilter vert = MakeDirectionalLaplaceFilter(3, 3, 1.0, 1);
    const CFilter horz = MakeDirectionalLaplaceFilter(3, 3, 1.0, 0);
    auto v = EdgeMap(image, vert, 10.0);
    auto h = EdgeMap(image, horz, 10.0);
    ASSERT_TRUE(v && h);
    EXPECT_EQ(v->depth, 8);
    for (int y = 1; y < 7; ++y) {
        EXPECT_EQ(v->GetPixel(3, y), 255);
        EXPECT_EQ(v->GetPixel(4, y), 255);
        EXPECT_EQ(v->GetPixel(1, y), 0);
        EXPECT_EQ(h->GetPixel(3, y), 0);
    }
    // Border rows use the partial sum: still an edge.
    EXPECT_EQ(v->GetPixel(3, 0), 255);
    const CFilter* both[] = {&horz, nullptr, &vert};
    auto any = EdgeMaps(image, both, 3, 10.0);
    ASSERT_TRUE(any);
    int fromH = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(any->GetPixel(x, y), v->GetPixel(x, y) | h->GetPixel(x, y));
            fromH += h->GetPixel(x, y) != 0 && v->GetPixel(x, y) == 0;
        }
    EXPECT_GT(fromH, 0);  // the OR really adds the second map
}

TEST(Differences, DoGAndImageMinusGaussianStretchToTheRange) {
    CMImage image = RandomImage(20, 16, 8, 5);
    auto dog = DifferenceOfGaussians(image, 0.8, MakeGaussKernel(1.0), MakeGaussKernel(2.0));
    auto sub = SubtractGaussian(image, MakeGaussKernel(1.0));
    ASSERT_TRUE(dog && sub);
    for (CMImage* r : {dog.get(), sub.get()}) {
        int32_t lo, hi;
        r->GetValueRange(lo, hi);
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, 255);
    }
    // A pixel checked by hand against the definition (borders without renormalising).
    const CFilter g = MakeGaussKernel(1.0);
    double min = DBL_MAX, max = -DBL_MAX, v00 = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) {
            const double v = (uint16_t)image.GetPixel(x, y) - CorrelateAt(image, g, x, y) / g.scale;
            if (x == 0 && y == 0) v00 = v;
            min = std::min(min, v);
            max = std::max(max, v);
        }
    EXPECT_EQ(sub->GetPixel(0, 0), int(std::trunc((v00 - min) * 255 / (max - min))));
    // A flat image has no range: all 0, no division by zero.
    CMImage flat = Zeroed(6, 6, 8);
    auto flatSub = SubtractGaussian(flat, g);
    ASSERT_TRUE(flatSub);
    EXPECT_EQ(flatSub->GetPixel(3, 3), 0);
    EXPECT_FALSE(SubtractGaussian(CMImage(), g));
}

using testsupport::CProgressRecorder;

TEST(ParallelRows, EveryRowOnceAndCancellingStopsNewBatches) {
    const struct {
        int32_t begin, end, batch;
    } cases[] = {{0, 0, 8}, {5, 3, 8}, {0, 1, 8}, {3, 200, 7}, {0, 64, 0}, {-10, 1000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.begin << ".." << c.end << " by " << c.batch);
        const int32_t n = std::max(0, c.end - c.begin);
        std::vector<std::atomic<int>> seen(std::size_t(n) + 1);
        CProgressRecorder recorder;
        EXPECT_TRUE(ParallelRows(
            c.begin, c.end, c.batch,
            [&](int, int32_t first, int32_t last) {
                for (int32_t y = first; y < last; ++y) ++seen[std::size_t(y - c.begin)];
            },
            recorder.Fn()));
        for (int32_t k = 0; k < n; ++k) ASSERT_EQ(seen[std::size_t(k)].load(), 1) << "row " << k;
        EXPECT_FALSE(recorder.calledFromAnotherThread);
        recorder.ExpectRising();
    }
    // Cancelled before the first batch: nothing runs. Cancelled later: the
    // batches already running end, no new one starts.
    for (double cancelFrom : {0.0, 0.3}) {
        SCOPED_TRACE(cancelFrom);
        const int32_t rows = 20000;
        std::atomic<int32_t> done{0};
        CProgressRecorder recorder;
        recorder.cancelFrom = cancelFrom;
        EXPECT_FALSE(ParallelRows(
            0, rows, 10,
            [&](int, int32_t first, int32_t last) {
                std::this_thread::sleep_for(std::chrono::microseconds(20));
                done += last - first;
            },
            recorder.Fn()));
        recorder.ExpectCancelledByTheLastCall();
        if (cancelFrom == 0.0)
            EXPECT_EQ(done.load(), 0);
        else
            EXPECT_LT(done.load(), rows);
    }
}

TEST(ApplyFilter, ProgressRisesToOneAndLeavesTheResultAsItWas) {
    const CMImage source = RandomImage(230, 310, 12, 21);
    const COutline outline = {{10, 12}, {200, 20}, {150, 300}, {30, 250}};
    const struct {
        const char* what;
        CFilter filter;
        bool direct, partial;
        const COutline* outline;
    } cases[] = {{"separable", MakeGaussKernel(1.0), false, false, nullptr},
                 {"separable, partial sums", MakeLoGFilter(4), false, true, nullptr},
                 {"general kernel", GeneralKernel(), false, false, nullptr},
                 {"direct sum", MakeGaussKernel(1.0), true, true, nullptr},
                 {"inside an outline", MakeLoGFilter(3), false, true, &outline}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMImage quiet(source);
        ASSERT_EQ(ApplyFilter(quiet, c.outline, c.filter, c.partial, c.direct), 0);
        CMImage reported(source);
        CProgressRecorder recorder;
        ASSERT_EQ(ApplyFilter(reported, c.outline, c.filter, c.partial, c.direct, recorder.Fn()),
                  0);
        EXPECT_TRUE(reported.IsEqual(quiet));
        EXPECT_EQ(reported.maxValue, quiet.maxValue);
        EXPECT_FALSE(recorder.calledFromAnotherThread);
        recorder.ExpectRising();
        ASSERT_FALSE(recorder.fractions.empty());
        EXPECT_EQ(recorder.fractions.back(), 1.0);
    }
}

TEST(ApplyFilter, CancellingLeavesTheImageUnchanged) {
    const CMImage source = RandomImage(120, 400, 16, 22);
    const COutline outline = {{5, 5}, {110, 5}, {110, 390}, {5, 390}};
    // Before anything, half-way, and at the last moment before the image
    // would be rewritten (the correlation is done at 0.9).
    for (const COutline* o : {static_cast<const COutline*>(nullptr), &outline})
        for (double cancelFrom : {0.0, 0.5, 0.91}) {
            SCOPED_TRACE(testing::Message()
                         << (o ? "outline" : "whole image") << ", cancel at " << cancelFrom);
            CMImage image(source);
            CProgressRecorder recorder;
            recorder.cancelFrom = cancelFrom;
            EXPECT_EQ(ApplyFilter(image, o, GeneralKernel(), true, false, recorder.Fn()), -1);
            EXPECT_TRUE(image.IsEqual(source));
            EXPECT_EQ(image.maxValue, source.maxValue);
            recorder.ExpectCancelledByTheLastCall();
        }
}

TEST(CorrelateInterior, CancellingStopsBetweenRowBatches) {
    const CMImage image = RandomImage(600, 3000, 12, 23);
    const CFilter f = GeneralKernel();
    const std::size_t w = std::size_t(image.width);
    auto written = [&](const std::vector<float>& out) {
        int rows = 0;
        for (int y = 0; y < image.height; ++y) rows += !std::isnan(out[std::size_t(y) * w + 20]);
        return rows;
    };
    {
        std::vector<float> out(w * std::size_t(image.height), NAN);
        CProgressRecorder recorder;
        recorder.cancelFrom = 0.0;
        EXPECT_FALSE(CorrelateInterior(image, f, out.data(), false, recorder.Fn()));
        recorder.ExpectCancelledByTheLastCall();
        EXPECT_EQ(written(out), 0);
    }
    // The other threads keep taking rows until the reporting thread hears the
    // cancel; on a loaded machine that thread can be kept waiting until every
    // row is done. Work that ignores the cancel finishes every time, so a
    // single early stop out of a few runs shows the cancel is heard.
    int earlyStops = 0;
    for (int attempt = 0; attempt < 5 && earlyStops == 0; ++attempt) {
        std::vector<float> out(w * std::size_t(image.height), NAN);
        CProgressRecorder recorder;
        recorder.cancelFrom = 0.25;
        EXPECT_FALSE(CorrelateInterior(image, f, out.data(), false, recorder.Fn()));
        recorder.ExpectCancelledByTheLastCall();
        earlyStops += written(out) < image.height - 4;
    }
    EXPECT_EQ(earlyStops, 1);
}

}  // namespace
}  // namespace vistrel
