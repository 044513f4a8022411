#include "detection/spot_detector.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "filters/convolution.h"
#include "support/native_file_builders.h"
#include "support/progress_recorder.h"
#include "support/speck_image.h"

namespace vistrel {
namespace {

using testsupport::CSpeck;
using testsupport::CSpeckImageParams;
using testsupport::ZeroedImage;
using CTruthSpot = CSpeck;

CMImage Zeroed(int w, int h, int depth) {
    return ZeroedImage(w, h, depth);
}

// Noisy background with bright discs (smooth edges) of known centres.
CMImage SpotImage(int w, int h, int depth, const std::vector<CTruthSpot>& spots, uint32_t seed,
                  double contrast = 400, double noise = 6) {
    const double maxValue = double((1 << depth) - 1);
    CSpeckImageParams p;
    p.width = w;
    p.height = h;
    p.depth = depth;
    p.seed = seed;
    p.background = maxValue * 0.3;
    p.waveAmplitude = 0.05 * maxValue;
    p.wavePeriod = 37.0;
    p.noise = CSpeckImageParams::ENoise::Gaussian;
    p.gaussianNoise = noise;
    p.contrast = contrast;
    p.specks = spots;
    return testsupport::SpeckImage(p);
}

// The detector as defined, computed directly: extended-precision sums at every
// pixel, statistics in plain loops, maxima and path linking without shortcuts.
struct CRefSpot {
    int x, y, scale;
    double response;
    std::vector<double> values;
};

std::vector<CRefSpot> ReferenceDetector(const CMImage& image, int hMIN, int hMAX, int inc, int n,
                                        int m, bool thresholds = true) {
    const int W = image.width, H = image.height;
    struct Resp {
        std::vector<float> r;
        float mean, sd;
        int kw;
    };
    std::vector<uint16_t> pixels(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) pixels[std::size_t(y) * W + x] = uint16_t(image.GetPixel(x, y));
    auto convolve = [&](int h) {
        Resp out;
        const CFilter k = MakeLoGFilter(h);
        out.kw = k.width;
        out.r.assign(std::size_t(W) * H, 0.0f);
        const int u = k.width / 2;
        // Extended-precision sums in the order of the definition, straight from
        // the samples (independent of the library's correlation code).
        for (int y = u; y < H - u; ++y)
            for (int x = u; x < W - u; ++x) {
                long double sum = 0;
                for (int i = 0; i < k.height; ++i) {
                    const uint16_t* row = &pixels[std::size_t(y - u + i) * W + (x - u)];
                    const float* c = k.Row(i);
                    for (int j = 0; j < k.width; ++j) sum += (long double)c[j] * row[j];
                }
                out.r[std::size_t(y) * W + x] = float(sum);
            }
        long double sum = 0;
        for (float v : out.r) sum += v;
        const double mean = double(sum / (double(W) * H));
        long double s2 = 0;
        for (float v : out.r) s2 += (v - mean) * (v - mean);
        out.mean = float(mean);
        out.sd = float(std::sqrt(double(float(double(s2) / (double(W) * H)))));
        return out;
    };
    auto at = [&](const Resp& r, int x, int y) { return r.r[std::size_t(y) * W + x]; };
    auto candidate = [&](const Resp& r, int x, int y, double T) {
        const int u = n / 2, lo = r.kw / 2, hiX = W - r.kw / 2, hiY = H - r.kw / 2;
        if (x - u < lo || x + u >= hiX || y - u < lo || y + u >= hiY) return false;
        if (!(at(r, x, y) >= T)) return false;
        for (int yy = y - u; yy < y - u + n; ++yy)
            for (int xx = x - u; xx < x - u + n; ++xx)
                if (!(xx == x && yy == y) && !(at(r, xx, yy) < at(r, x, y))) return false;
        return true;
    };
    std::vector<float> means(std::size_t(hMAX - hMIN + 1)), sds(means.size());
    struct Entry {
        int x = -1, y = -1;
        double r = 0;
    };
    std::vector<std::vector<Entry>> paths;
    Resp r0 = convolve(hMIN);
    means[0] = r0.mean;
    sds[0] = r0.sd;
    const double T0 = thresholds ? double(r0.mean) + double(2.7f) * double(r0.sd) : -DBL_MAX;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (candidate(r0, x, y, T0)) {
                paths.emplace_back(std::size_t(hMAX - hMIN + 1));
                paths.back()[0] = {x, y, at(r0, x, y)};
            }
    for (int h = hMIN + inc; h <= hMAX; h += inc) {
        Resp r = convolve(h);
        means[std::size_t(h - hMIN)] = r.mean;
        sds[std::size_t(h - hMIN)] = r.sd;
        const double T = thresholds ? double(r.mean) + double(2.7f) * double(r.sd) : -DBL_MAX;
        const int lo = r.kw / 2, hiX = W - r.kw / 2, hiY = H - r.kw / 2;
        for (auto& p : paths) {
            const Entry prev = p[std::size_t(h - inc - hMIN)];
            if (prev.x == -1) continue;
            if (prev.x < lo || prev.x >= hiX || prev.y < lo || prev.y >= hiY) continue;
            const int l = m / 2;
            Entry best;
            for (int y = std::max(prev.y - l, lo); y < std::min(prev.y + l + 1, hiY); ++y)
                for (int x = std::max(prev.x - l, lo); x < std::min(prev.x + l + 1, hiX); ++x)
                    if (candidate(r, x, y, T) && std::abs(at(r, x, y)) > std::abs(best.r))
                        best = {x, y, at(r, x, y)};
            if (best.x != -1) p[std::size_t(h - hMIN)] = best;
        }
    }
    std::vector<CRefSpot> spots;
    for (int s = hMIN; s <= hMAX; ++s)
        for (const auto& p : paths) {
            std::size_t b = 0;
            for (std::size_t i = 1; i < p.size(); ++i)
                if (p[i].x != -1 && p[i].r >= p[b].r) b = i;
            if (int(b) + hMIN != s) continue;
            const double r = p[b].r;
            CRefSpot spot{p[b].x,
                          p[b].y,
                          s,
                          r,
                          {double(s), r, r > 0 ? r * r : -r * r, means[0], sds[0],
                           means[std::size_t(s - hMIN)], sds[std::size_t(s - hMIN)]}};
            bool dup = false;
            for (const auto& o : spots)
                dup |= o.x == spot.x && o.y == spot.y && o.response == spot.response &&
                       o.values == spot.values;
            if (!dup) spots.push_back(spot);
        }
    return spots;
}

void ExpectSameSpots(const CSpotList& fast, const std::vector<CRefSpot>& ref) {
    ASSERT_EQ(fast.Count(), int(ref.size()));
    for (int i = 0; i < fast.Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fast[i].x, ref[std::size_t(i)].x);
        EXPECT_EQ(fast[i].y, ref[std::size_t(i)].y);
        ASSERT_EQ(fast[i].values.size(), 7u);
        EXPECT_EQ(fast[i].values[0], ref[std::size_t(i)].scale);
        for (std::size_t k = 1; k < 7; ++k)
            EXPECT_NEAR(fast[i].values[k], ref[std::size_t(i)].values[k],
                        1e-4 * std::abs(ref[std::size_t(i)].values[k]) + 1e-9)
                << "value " << k;
    }
}

const std::vector<CTruthSpot> kTruth = {
    {30, 30, 1.5}, {80, 40, 2.5}, {50, 90, 3.5}, {120, 110, 4.5}, {100, 70, 1.0}};

TEST(SpotDetector, MatchesTheDirectDefinition) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 11);
    const struct {
        int hMIN, hMAX, inc, n, m;
    } cases[] = {{3, 10, 2, 3, 3}, {2, 6, 1, 3, 5}, {3, 9, 3, 5, 0}, {4, 4, 1, 4, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hMIN << ".." << c.hMAX << " step " << c.inc << " n "
                                        << c.n << " m " << c.m);
        std::string log;
        auto fast = CandidateListSSS(image, c.hMIN, c.hMAX, c.inc, c.n, c.m, nullptr, log);
        ASSERT_TRUE(fast);
        ExpectSameSpots(*fast, ReferenceDetector(image, c.hMIN, c.hMAX, c.inc, c.n, c.m));
        // Every instruction-set build of the row loops gives identical spots.
        const std::string initial = ActiveRowKernels();
        for (const char* kernels : {"plain", "avx2", "avx512"}) {
            if (!UseRowKernels(kernels)) continue;
            std::string otherLog;
            auto other =
                CandidateListSSS(image, c.hMIN, c.hMAX, c.inc, c.n, c.m, nullptr, otherLog);
            ASSERT_TRUE(other);
            ASSERT_EQ(other->Count(), fast->Count()) << kernels;
            for (int i = 0; i < fast->Count(); ++i)
                EXPECT_TRUE((*other)[i] == (*fast)[i]) << kernels;
        }
        UseRowKernels(initial);
        std::string directLog;
        CDetectorOptions direct;
        direct.useDirect = true;
        auto slow =
            CandidateListSSS(image, c.hMIN, c.hMAX, c.inc, c.n, c.m, nullptr, directLog, direct);
        ASSERT_TRUE(slow);
        EXPECT_EQ(slow->Count(), fast->Count());
    }
}

TEST(SpotDetector, SeedFormMatchesTheFullComputationWithoutThresholds) {
    const CMImage image = SpotImage(90, 80, 12, {{30, 30, 1.5}, {60, 40, 2.5}}, 8);
    for (int m : {0, 3, 5}) {
        SCOPED_TRACE(m);
        std::string log;
        auto seeds = CandidateListSeeds(image, 2, 6, 2, 3, m, nullptr, log);
        ASSERT_TRUE(seeds);
        EXPECT_EQ(log.find("Obraz LOG"), std::string::npos);
        const auto ref = ReferenceDetector(image, 2, 6, 2, 3, m, false);
        ASSERT_EQ(seeds->Count(), int(ref.size()));
        for (int i = 0; i < seeds->Count(); ++i) {
            const CPointResponse& s = (*seeds)[i];
            const CRefSpot& r = ref[std::size_t(i)];
            ASSERT_EQ(s.values.size(), 7u);
            EXPECT_EQ(s.x, r.x);
            EXPECT_EQ(s.y, r.y);
            EXPECT_EQ(s.values[0], r.scale);
            EXPECT_NEAR(s.response, r.response, 1e-4 * std::abs(r.response) + 1e-9);
            EXPECT_GE(s.values[4], 0.0);  // a local deviation
            EXPECT_EQ(s.values[3], s.values[5]);
            // The local figures: mean and population deviation of the seed's own
            // scale over the kernel-sized window, clipped to where that kernel fits.
            const CFilter kernel = MakeLoGFilter(int(s.values[0]));
            CResponseImage full;
            ASSERT_TRUE(ConvolveWithStats(image, kernel, nullptr, nullptr, false, full));
            const int half = kernel.width / 2, hh = kernel.height / 2;
            double sum = 0, sum2 = 0, count = 0;
            for (int y = std::max(s.y - half, hh); y < std::min(s.y + half + 1, image.height - hh);
                 ++y)
                for (int x = std::max(s.x - half, half);
                     x < std::min(s.x + half + 1, image.width - half); ++x) {
                    sum += full.At(x, y);
                    ++count;
                }
            ASSERT_GT(count, 0);
            const double mean = sum / count;
            for (int y = std::max(s.y - half, hh); y < std::min(s.y + half + 1, image.height - hh);
                 ++y)
                for (int x = std::max(s.x - half, half);
                     x < std::min(s.x + half + 1, image.width - half); ++x)
                    sum2 += (full.At(x, y) - mean) * (full.At(x, y) - mean);
            EXPECT_NEAR(s.values[3], mean, 1e-6 * (1 + std::abs(mean)));
            EXPECT_NEAR(s.values[4], std::sqrt(sum2 / count), 1e-5 * (1 + std::sqrt(sum2 / count)));
        }
    }
}

TEST(SpotDetector, BatchFormExcludesAndKeepsStrongSpots) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 6);
    std::string log;
    auto all = CandidateListSSS(image, 3, 9, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(all);
    std::vector<std::pair<std::string, std::unique_ptr<CMImage>>> pictures;
    CDetectorOptions batch;
    batch.excludedScale = 3;
    batch.parN = 6.0;
    batch.responseImages = &pictures;
    auto kept = CandidateListSSS(image, 3, 9, 2, 3, 3, nullptr, log, batch);
    ASSERT_TRUE(kept);
    int expected = 0;
    for (int i = 0; i < all->Count(); ++i) {
        const CPointResponse& s = (*all)[i];
        expected += s.values[0] != 3 && s.values[3] + 6.0 * s.values[4] <= s.response;
    }
    EXPECT_EQ(kept->Count(), expected);
    EXPECT_LT(kept->Count(), all->Count());
    ASSERT_EQ(pictures.size(), 4u);
    EXPECT_EQ(pictures[1].first, "h=5");
    ASSERT_TRUE(pictures[1].second);
    EXPECT_EQ(pictures[1].second->width, 160);
}

TEST(SpotDetector, BatchFormReportsTheFiguresOfEveryProcessedScale) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 6);
    std::string log;
    std::vector<CScaleStatistics> statistics;
    CDetectorOptions batch;
    batch.scaleStatistics = &statistics;
    auto spots = CandidateListSSS(image, 3, 9, 2, 3, 3, nullptr, log, batch);
    ASSERT_TRUE(spots);
    ASSERT_EQ(statistics.size(), 4u);
    for (size_t i = 0; i < statistics.size(); ++i) {
        const CScaleStatistics& s = statistics[i];
        EXPECT_EQ(s.scale, 3 + 2 * int(i));
        CResponseImage direct;
        ASSERT_TRUE(
            ConvolveWithStats(image, MakeLoGFilter(s.scale), nullptr, nullptr, true, direct));
        // The detector keeps its figures as floats.
        EXPECT_EQ(s.mean, double(float(direct.mean))) << s.scale;
        EXPECT_EQ(s.stdDev, double(float(direct.stdDev))) << s.scale;
        EXPECT_EQ(s.min, direct.min) << s.scale;
        EXPECT_EQ(s.max, direct.max) << s.scale;
        EXPECT_LT(s.min, 0.0);
        EXPECT_GT(s.max, 0.0);
    }
    // The spots carry the same figures: the minimum scale's and their own.
    for (int i = 0; i < spots->Count(); ++i) {
        const CPointResponse& p = (*spots)[i];
        const CScaleStatistics& own = statistics[size_t((int(p.values[0]) - 3) / 2)];
        EXPECT_EQ(p.values[3], statistics[0].mean);
        EXPECT_EQ(p.values[5], own.mean);
        EXPECT_EQ(p.values[6], own.stdDev);
    }
}

TEST(SpotDetector, FindsEveryPlantedSpot) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 3);
    std::string log;
    auto spots = CandidateListSSS(image, 2, 10, 1, 3, 3, nullptr, log);
    ASSERT_TRUE(spots);
    for (const CTruthSpot& t : kTruth) {
        bool found = false;
        for (int i = 0; i < spots->Count(); ++i)
            found |= std::abs((*spots)[i].x - t.x) <= 1 && std::abs((*spots)[i].y - t.y) <= 1;
        EXPECT_TRUE(found) << t.x << "," << t.y;
    }
}

TEST(SpotDetector, MammogramMatchesTheDirectDefinition) {
    const std::filesystem::path file =
        std::filesystem::path(VISTREL_SHARED_DATA) / "mammograms/mias/mdb219.pgm";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no shared data";
    CMImage full;
    std::string description;
    ASSERT_EQ(full.Open(file.string(), description), 1);
    // MIAS y runs from the bottom: the cluster at (546, 756) is near row 267.
    auto image = full.SubImage({440, 160, 660, 380});
    ASSERT_TRUE(image);
    std::string log;
    auto fast = CandidateListSSS(*image, 3, 10, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(fast);
    EXPECT_GT(fast->Count(), 0);
    ExpectSameSpots(*fast, ReferenceDetector(*image, 3, 10, 2, 3, 3));
}

TEST(SpotDetector, WholeMammogramsMatchTheDirectDefinition) {
    for (const char* name : {"mdb209.pgm", "mdb226.pgm"}) {
        SCOPED_TRACE(name);
        const std::filesystem::path file =
            std::filesystem::path(VISTREL_SHARED_DATA) / "mammograms/mias" / name;
        if (!std::filesystem::exists(file)) GTEST_SKIP() << "no shared data";
        CMImage image;
        std::string description;
        ASSERT_EQ(image.Open(file.string(), description), 1);
        ASSERT_EQ(image.width, 1024);
        std::string log;
        auto fast = CandidateListSSS(image, 3, 10, 2, 3, 3, nullptr, log);
        ASSERT_TRUE(fast);
        EXPECT_GT(fast->Count(), 100);
        ExpectSameSpots(*fast, ReferenceDetector(image, 3, 10, 2, 3, 3));
    }
}

TEST(SpotDetector, LogLinesAndStamps) {
    const CMImage image = SpotImage(100, 100, 12, {{50, 50, 2.5}}, 5);
    std::string log;
    auto spots = CandidateListSSS(image, 3, 7, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(spots);
    const char* expected[] = {"CandidateListSSS-ConvolveLoG(hMIN=3) Obraz LOG dla hMIN=3: mean=",
                              "CandidateListSSS-LocalMaxima_(hMIN=3)  time (h:m:s): 0:0:0\n",
                              "CandidateListSSS-ConvolveLoG_(h=5) Obraz LOG dla h=5: mean=",
                              "CandidateListSSS-LocalMaxima_(h=7)  time (h:m:s): 0:0:0\n",
                              "CandidateListSSS-Create seeds  time (h:m:s): 0:0:0\n",
                              "CandidateListSSS-remove Logpath  time (h:m:s): 0:0:0\n"};
    for (const char* text : expected) EXPECT_NE(log.find(text), std::string::npos) << text;
    // The threshold printed is mean + 2.7 stdDev of what was printed.
    double mean, sd, t;
    ASSERT_EQ(
        std::sscanf(log.c_str() + log.find("mean="), "mean=%lf stdDev=%lf T=%lf", &mean, &sd, &t),
        3);
    EXPECT_NEAR(t, mean + 2.7 * sd, 1e-5);
}

TEST(SpotDetector, EdgeCases) {
    std::string log;
    // Smaller than the hMIN kernel: no path, no list.
    const CMImage tiny = SpotImage(8, 8, 12, {{4, 4, 1.5}}, 1);
    EXPECT_FALSE(CandidateListSSS(tiny, 3, 10, 2, 3, 3, nullptr, log));
    EXPECT_FALSE(CandidateListSSS(CMImage(), 3, 10, 2, 3, 3, nullptr, log));
    // A flat image: every response equal, no strict maximum.
    CMImage flat = Zeroed(40, 40, 8);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) flat.SetPixel(x, y, 100);
    EXPECT_FALSE(CandidateListSSS(flat, 3, 5, 2, 3, 3, nullptr, log));
    // Increment beyond the range: only hMIN, every spot at hMIN.
    const CMImage image = SpotImage(120, 120, 12, kTruth, 2);
    auto only = CandidateListSSS(image, 3, 10, 20, 3, 3, nullptr, log);
    ASSERT_TRUE(only);
    for (int i = 0; i < only->Count(); ++i) EXPECT_EQ((*only)[i].values[0], 3);
    // Search side 0 or 1: a path only continues at its own pixel, so a spot at a
    // larger scale sits where its hMIN maximum was.
    for (int m : {0, 1}) {
        auto stay = CandidateListSSS(image, 2, 6, 1, 3, m, nullptr, log);
        auto wide = CandidateListSSS(image, 2, 2, 1, 3, m, nullptr, log);
        ASSERT_TRUE(stay && wide);
        for (int i = 0; i < stay->Count(); ++i) {
            bool atStart = false;
            for (int j = 0; j < wide->Count(); ++j)
                atStart |= (*wide)[j].x == (*stay)[i].x && (*wide)[j].y == (*stay)[i].y;
            EXPECT_TRUE(atStart) << m;
        }
    }
}

TEST(SpotDetector, MaskLimitsTheSpots) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 4);
    CMImage mask = Zeroed(160, 140, 1);
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 70; ++x) mask.SetPixel(x, y, 1);
    std::string log;
    auto spots = CandidateListSSS(image, 3, 7, 2, 3, 3, &mask, log);
    ASSERT_TRUE(spots);
    EXPECT_GT(spots->Count(), 0);
    for (int i = 0; i < spots->Count(); ++i) EXPECT_LT((*spots)[i].x, 70);
}

using testsupport::CProgressRecorder;

TEST(SpotDetector, ProgressRisesToOneAndChangesNothing) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 12);
    CMImage mask = Zeroed(160, 140, 1);
    for (int y = 10; y < 130; ++y)
        for (int x = 0; x < 120; ++x) mask.SetPixel(x, y, 1);
    CDetectorOptions direct;
    direct.useDirect = true;
    const struct {
        const char* what;
        const CMImageBase* mask;
        CDetectorOptions options;
    } cases[] = {{"whole image", nullptr, {}}, {"masked", &mask, {}}, {"direct", nullptr, direct}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string quietLog;
        auto quiet = CandidateListSSS(image, 3, 9, 2, 3, 3, c.mask, quietLog, c.options);
        ASSERT_TRUE(quiet);
        std::string log;
        CProgressRecorder recorder;
        auto spots = CandidateListSSS(image, 3, 9, 2, 3, 3, c.mask, log, c.options, recorder.Fn());
        ASSERT_TRUE(spots);
        ASSERT_EQ(spots->Count(), quiet->Count());
        for (int i = 0; i < spots->Count(); ++i) EXPECT_TRUE((*spots)[i] == (*quiet)[i]) << i;
        EXPECT_EQ(log, quietLog);
        EXPECT_FALSE(recorder.calledFromAnotherThread);
        // Reported within the scales too, not only between them (4 scales).
        EXPECT_GT(recorder.fractions.size(), 20u);
        for (std::size_t i = 0; i < recorder.fractions.size(); ++i) {
            EXPECT_GE(recorder.fractions[i], 0.0) << i;
            EXPECT_LE(recorder.fractions[i], 1.0) << i;
            if (i > 0) {
                EXPECT_GE(recorder.fractions[i], recorder.fractions[i - 1]) << i;
            }
        }
        ASSERT_FALSE(recorder.fractions.empty());
        EXPECT_EQ(recorder.fractions.back(), 1.0);
    }
}

TEST(SpotDetector, CancellingReturnsNothingAndLogsOnlyFinishedScales) {
    const CMImage image = SpotImage(160, 140, 12, kTruth, 13);
    const std::string earlier = "earlier work\n";
    std::string fullLog = earlier;
    ASSERT_TRUE(CandidateListSSS(image, 3, 9, 2, 3, 3, nullptr, fullLog));
    for (double cancelFrom : {0.0, 0.2, 0.5, 0.99}) {
        SCOPED_TRACE(cancelFrom);
        std::string log = earlier;
        CProgressRecorder recorder;
        recorder.cancelFrom = cancelFrom;
        EXPECT_FALSE(CandidateListSSS(image, 3, 9, 2, 3, 3, nullptr, log, {}, recorder.Fn()));
        EXPECT_TRUE(recorder.cancelled);
        EXPECT_FALSE(recorder.calledAfterCancel);
        // What was logged is the start of a full run's log up to a finished scale.
        ASSERT_LT(log.size(), fullLog.size());
        EXPECT_EQ(fullLog.compare(0, log.size(), log), 0) << log;
        const std::size_t lastLine = log.rfind('\n', log.size() - 2) + 1;
        if (cancelFrom == 0.0)
            EXPECT_EQ(log, earlier);
        else
            EXPECT_EQ(log.compare(lastLine, 28, "CandidateListSSS-LocalMaxima"), 0) << log;
        EXPECT_EQ(log.find("Create seeds"), std::string::npos);
    }
}

TEST(ConvolveStats, DividesByTheWholeImage) {
    CMImage image = Zeroed(20, 10, 8);
    image.SetPixel(10, 5, 100);
    CFilter one(1, 1);
    *one.At(0, 0) = 1.0f;
    CMImage mask = Zeroed(20, 10, 1);
    for (int x = 0; x < 20; ++x) mask.SetPixel(x, 5, 1);  // one row
    CResponseImage r;
    ASSERT_TRUE(ConvolveWithStats(image, one, nullptr, &mask, true, r));
    EXPECT_DOUBLE_EQ(r.mean, 100.0 / 200);
    // 19 zeros and one 100 on the masked row, divided by all 200 pixels.
    const double mean = 0.5;
    const double var = (19 * mean * mean + (100 - mean) * (100 - mean)) / 200;
    EXPECT_NEAR(r.stdDev, std::sqrt(var), 1e-5);
    EXPECT_EQ(r.max, 100);
    EXPECT_EQ(r.min, 0);
    ASSERT_TRUE(ConvolveWithStats(image, one, nullptr, nullptr, false, r));
    EXPECT_EQ(r.mean, 0);
    EXPECT_EQ(r.stdDev, 0);
    EXPECT_EQ(r.At(10, 5), 100.0f);
    // Skip mask: unwritten pixels stay 0.
    ASSERT_TRUE(ConvolveWithStats(image, one, &mask, nullptr, true, r));
    EXPECT_EQ(r.At(10, 5), 100.0f);
    CMImage none = Zeroed(20, 10, 1);
    ASSERT_TRUE(ConvolveWithStats(image, one, &none, nullptr, true, r));
    EXPECT_EQ(r.At(10, 5), 0.0f);
    EXPECT_FALSE(ConvolveWithStats(CMImage(), one, nullptr, nullptr, true, r));
}

TEST(ConvolveStats, UnmaskedFiguresMatchTwoPasses) {
    const CMImage image = SpotImage(70, 50, 12, {{30, 20, 2.0}}, 9);
    const CFilter k = MakeLoGFilter(4);
    CResponseImage r;
    ASSERT_TRUE(ConvolveWithStats(image, k, nullptr, nullptr, true, r));
    long double sum = 0;
    float lo = FLT_MAX, hi = -FLT_MAX;
    for (std::size_t i = 0; i < r.values.size(); ++i) {
        sum += r.values[i];
        lo = std::min(lo, r.values[i]);
        hi = std::max(hi, r.values[i]);
    }
    const double mean = double(sum / r.values.size());
    long double dev = 0;
    for (std::size_t i = 0; i < r.values.size(); ++i)
        dev += (r.values[i] - mean) * (r.values[i] - mean);
    EXPECT_NEAR(r.mean, mean, 1e-9 * std::abs(mean) + 1e-12);
    EXPECT_FLOAT_EQ(float(r.stdDev), float(std::sqrt(double(float(dev / r.values.size())))));
    EXPECT_EQ(r.max, hi);
    EXPECT_EQ(r.min, std::min(lo, 0.0f));
    EXPECT_GT(r.stdDev, 0.0);
}

TEST(LocalMaxima, StrictAndEvenWindows) {
    CResponseImage r;
    r.width = r.height = 9;
    r.values.assign(81, 0.0f);
    auto set = [&](int x, int y, float v) { r.values[std::size_t(y) * 9 + x] = v; };
    set(4, 4, 5);
    set(2, 2, 7);
    set(3, 2, 7);  // plateau of two: neither is a maximum
    set(6, 6, 3);
    set(7, 7, 3);  // equal neighbour only inside the 3x3 window
    std::vector<CLogPath> paths;
    FindLogMaxima(3, 3, paths, r, 0, 9, 0, 9, nullptr, 1.0, -2, -2, 0, 2, 2, 5);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].PointAt(2).x, 4);
    // An even window reaches one pixel less right and down: (6,6) no longer sees (7,7).
    paths.clear();
    FindLogMaxima(2, 3, paths, r, 0, 9, 0, 9, nullptr, 1.0, -2, -2, 0, 2, 2, 5);
    bool found66 = false;
    for (const auto& p : paths) found66 |= p.PointAt(2).x == 6 && p.PointAt(2).y == 6;
    EXPECT_TRUE(found66);
    // Continuing: the largest |R| in the window wins; a path outside the area stops.
    paths.clear();
    paths.emplace_back(2, 5, CPoint{5, 5}, 1.0);
    FindLogMaxima(3, 3, paths, r, 0, 9, 0, 9, nullptr, 1.0, 5, 5, 0, 3, 2, 5);
    EXPECT_EQ(paths[0].PointAt(3).x, 4);
    EXPECT_EQ(paths[0].PointAt(3).y, 4);
    FindLogMaxima(3, 3, paths, r, 6, 9, 6, 9, nullptr, 1.0, 5, 5, 0, 4, 2, 5);
    EXPECT_EQ(paths[0].PointAt(4).x, -1);
}

TEST(SelectSpots, ManualAutomaticAndExcludedScale) {
    CSpotList spots;
    auto add = [&](int x, double r, double scale, double mean, double sd) {
        CPointResponse s({x, 0}, r, scale);
        for (double v : {r, r * r, mean, sd, mean, sd}) s.Append(v);
        spots.Append(s);
    };
    add(0, 50, 3, 10, 5);
    add(1, 20, 5, 10, 5);
    add(2, 35, 5, 10, 5);
    CSpotList out;
    SelectSpots(spots, out, false, 35, -1, -1);
    ASSERT_EQ(out.Count(), 2);  // 35 itself passes
    EXPECT_EQ(out[1].x, 2);
    SelectSpots(spots, out, false, 35, -1, 3);  // minimum scale excluded
    ASSERT_EQ(out.Count(), 1);
    EXPECT_EQ(out[0].x, 2);
    SelectSpots(spots, out, true, 5.0, -1, -1);  // 10 + 5 * 5 = 35
    EXPECT_EQ(out.Count(), 2);
    SelectSpots(spots, out, false, 21, 0, -1);  // value 0 is the scale
    EXPECT_EQ(out.Count(), 0);

    // A list holding equal spots yields each passing one once, in list order.
    CSpotList repeated;
    for (int i : {2, 0, 2, 1, 0}) repeated.Append(spots[i]);
    SelectSpots(repeated, out, false, 20, -1, -1);
    ASSERT_EQ(out.Count(), 3);
    EXPECT_EQ(out[0].x, 2);
    EXPECT_EQ(out[1].x, 0);
    EXPECT_EQ(out[2].x, 1);
    // By index, without copies: the first of equal spots, found once for
    // every threshold.
    const std::vector<int32_t> first = FirstOfEqualSpots(repeated);
    EXPECT_EQ(first, (std::vector<int32_t>{0, 1, 3}));
    EXPECT_EQ(SelectSpotIndices(repeated, false, 20, -1, -1), first);
    EXPECT_EQ(SelectSpotIndices(repeated, first, false, 40, -1, -1), std::vector<int32_t>{1});
    EXPECT_EQ(SelectSpotIndices(repeated, first, true, 5.0, -1, 3), std::vector<int32_t>{0});
    // The previous selection is cleared, not added to.
    SelectSpots(repeated, out, false, 40, -1, -1);
    ASSERT_EQ(out.Count(), 1);
    EXPECT_EQ(out[0].x, 0);
}

}  // namespace
}  // namespace vistrel
