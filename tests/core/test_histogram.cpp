#include "core/histogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vistrel;

namespace {

// A histogram over values first.. with the given counts.
CHistogram Make(int32_t first, const std::vector<int32_t>& counts) {
    CHistogram h;
    EXPECT_EQ(h.Allocate(static_cast<int32_t>(counts.size())), 0);
    h.firstValue = first;
    h.lastValue = first + static_cast<int32_t>(counts.size()) - 1;
    for (size_t i = 0; i < counts.size(); ++i) h.counts[i] = counts[i];
    return h;
}

// Statistics computed directly from the expanded list of values.
struct Reference {
    double mean = 0, variance = 0, skewness = 0, kurtosis = 0;
};
Reference Direct(int32_t first, const std::vector<int32_t>& counts) {
    std::vector<double> values;
    for (size_t i = 0; i < counts.size(); ++i)
        for (int k = 0; k < counts[i]; ++k) values.push_back(first + static_cast<double>(i));
    Reference r;
    for (double v : values) r.mean += v;
    r.mean /= values.size();
    double m3 = 0, m4 = 0;
    for (double v : values) {
        const double d = v - r.mean;
        r.variance += d * d;
        m3 += d * d * d;
        m4 += d * d * d * d;
    }
    r.variance /= values.size();
    m3 /= values.size();
    m4 /= values.size();
    r.skewness = m3 / std::pow(r.variance, 1.5);
    r.kurtosis = m4 / (r.variance * r.variance) - 3.0;
    return r;
}

}  // namespace

TEST(HistogramStatistics, MomentsAgreeWithADirectComputation) {
    const std::vector<std::vector<int32_t>> tables = {
        {0, 3, 1, 0, 7, 2, 0, 0, 1}, {5, 0, 0, 0, 0, 0, 0, 9}, {1, 1, 1, 1, 1, 1}, {0, 0, 4, 1}};
    for (int32_t first : {0, -1024, 17}) {
        for (const auto& counts : tables) {
            CHistogram h = Make(first, counts);
            const Reference r = Direct(first, counts);
            h.ComputeStatistics();
            ASSERT_TRUE(h.statsValid);
            EXPECT_NEAR(h.mean, r.mean, 1e-9);
            EXPECT_NEAR(h.variance, r.variance, 1e-9);
            EXPECT_NEAR(h.stdDev, std::sqrt(r.variance), 1e-9);
            EXPECT_NEAR(h.skewness, r.skewness, 1e-9);
            EXPECT_NEAR(h.kurtosis, r.kurtosis, 1e-9);
            int32_t firstOccupied = 0, lastOccupied = static_cast<int32_t>(counts.size()) - 1;
            while (!counts[firstOccupied]) ++firstOccupied;
            while (!counts[lastOccupied]) --lastOccupied;
            EXPECT_EQ(h.minValue, first + firstOccupied);
            EXPECT_EQ(h.maxValue, first + lastOccupied);
        }
    }
}

TEST(HistogramStatistics, MedianPicksTheNearerBoundary) {
    struct Case {
        std::vector<int32_t> counts;
        int32_t median;
    };
    const Case cases[] = {
        {{0, 0, 5, 5}, 2},     // half reached exactly at value 2
        {{3, 3, 4}, 1},        // half 5: S=6 after value 1 -> 1 is nearer
        {{4, 1, 5}, 1},        // half 5 reached exactly after value 1
        {{1, 8, 1}, 1},        // half 5 inside value 1's run
        {{2, 0, 0, 0, 2}, 0},  // half 2 reached at value 0
        {{0, 0, 0, 1}, 3},     // a single pixel is its own median
        {{0, 0, 0, 3}, 3},     // a flat image: the nearer boundary lies below empty values
        {{5, 0, 0, 10}, 0},    // moving down skips empty values
        {{5, 0, 0, 1, 10}, 3},
    };
    for (const Case& c : cases) {
        CHistogram h = Make(0, c.counts);
        h.ComputeStatistics();
        // Recompute with the documented rule as an independent check.
        const int64_t total = [&] {
            int64_t t = 0;
            for (int v : c.counts) t += v;
            return t;
        }();
        const int64_t half = total / 2;
        int64_t s = 0;
        int i = 0;
        while (s < half) s += c.counts[i++];
        int32_t expected = i == 0 ? h.minValue : i - 1;
        if (i >= 2 && s - half > half - (s - c.counts[i - 1])) {
            int below = i - 2;
            while (below > 0 && c.counts[below] == 0) --below;
            if (c.counts[below] != 0) expected = below;
        }
        EXPECT_EQ(h.median, expected);
        EXPECT_EQ(h.median, c.median);
        EXPECT_GT(c.counts[size_t(h.median)], 0) << "the median is a value some pixel has";
    }
}

TEST(HistogramStatistics, EmptyHistogramReportsUnknowns) {
    CHistogram h = Make(0, {0, 0, 0});
    h.ComputeStatistics();
    EXPECT_FALSE(h.statsValid);
    EXPECT_EQ(h.median, -1);
    EXPECT_DOUBLE_EQ(h.mean, -1.0);
    EXPECT_DOUBLE_EQ(h.GetMean(), 0.0);
    EXPECT_DOUBLE_EQ(h.GetStdDev(), 0.0);
    double m, s, v, sk, ku;
    int32_t lo, hi, med, tot;
    h.GetMoments(m, s, v, sk, ku, lo, hi, med, tot);
    EXPECT_EQ(tot, -1);
    EXPECT_DOUBLE_EQ(m, -1.0);
    EXPECT_EQ(h.GetSumOfValues(), 0);
    EXPECT_EQ(h.GetRange(lo, hi), 3);
    EXPECT_EQ(h.Percentile(50), -1);
    EXPECT_DOUBLE_EQ(h.PercentBelow(1), -1.0);
}

TEST(HistogramCounts, ExtremesTotalsAndRanges) {
    CHistogram h = Make(10, {9, 2, 0, 5, 7});
    EXPECT_EQ(h.GetMaxCount(), 9);
    EXPECT_EQ(h.GetMinCount(), 0);
    EXPECT_EQ(h.GetMaxInnerCount(), 5);
    EXPECT_EQ(h.GetMinInnerCount(), 0);
    EXPECT_EQ(h.GetTotal(), 23);
    EXPECT_EQ(h.CountInRange(11, 13), 7);
    EXPECT_EQ(h.CountInRange(13, 100), 12);  // values above the last bin count 0
    EXPECT_EQ(h.CountInRange(9, 12), -1);    // a outside the bins
    EXPECT_EQ(h.CountInRange(12, 11), -1);
    EXPECT_EQ(h.GetCount(5), -1);
    EXPECT_EQ(h.GetCount(-1), -1);
    h.SetCount(12, 4);
    h.SetCount(99, 4);  // outside: ignored
    EXPECT_EQ(h.GetCount(2), 4);
    int32_t lo, hi;
    h.ComputeStatistics();
    EXPECT_EQ(h.GetRange(lo, hi), 5);
    EXPECT_EQ(lo, 10);
    EXPECT_EQ(hi, 14);
    EXPECT_EQ(h.GetSumOfValues(), static_cast<int32_t>(27 * h.mean));
}

TEST(HistogramCounts, MeanInRangeExcludesTheUpperBound) {
    CHistogram h = Make(0, {0, 2, 0, 4, 6});
    EXPECT_DOUBLE_EQ(h.MeanInRange(0, 4), (1.0 * 2 + 3.0 * 4) / 6);
    EXPECT_DOUBLE_EQ(h.MeanInRange(3, 100), 3.0);  // b lowered to maxValue 4, excluded
    EXPECT_DOUBLE_EQ(h.MeanInRange(2, 3), 0.0);
}

TEST(HistogramCounts, PercentilesAndPercentBelow) {
    CHistogram h = Make(-5, {6, 1, 1, 2});
    EXPECT_EQ(h.Percentile(50), -5);   // the first bin alone holds more than half
    EXPECT_EQ(h.Percentile(65), -5);   // sum exceeds 6.5 at bin 1 -> first + 0
    EXPECT_EQ(h.Percentile(75), -4);   // sum exceeds 7.5 at bin 2 -> first + 1
    EXPECT_EQ(h.Percentile(100), -2);  // never exceeded -> last value
    EXPECT_DOUBLE_EQ(h.PercentBelow(-4), 70.0);
    EXPECT_DOUBLE_EQ(h.PercentBelow(40), 100.0);
}

TEST(HistogramTransforms, CumulativeAndLargestBin) {
    CHistogram h = Make(0, {1, 5, 2, 5});
    h.ZeroLargestBin();
    EXPECT_EQ(h.GetCount(1), 0);  // the first of the two largest
    EXPECT_EQ(h.GetCount(3), 5);
    h.MakeCumulative();
    EXPECT_EQ(h.GetCount(0), 1);
    EXPECT_EQ(h.GetCount(2), 3);
    EXPECT_EQ(h.GetCount(3), 8);
}

TEST(HistogramTransforms, EqualizeLutMapsTheCumulativeShare) {
    std::vector<int32_t> counts(256, 0);
    counts[0] = 10;
    counts[40] = 30;
    counts[200] = 60;
    CHistogram h = Make(0, counts);
    h.BuildEqualizeLut();
    EXPECT_EQ(h.LutLookup(200), 255);  // the highest occupied value
    EXPECT_EQ(h.LutLookup(0), static_cast<int>(255.0 * 10 / 100 + 0.5));
    EXPECT_EQ(h.LutLookup(39), 26);  // round(25.5): no pixels since value 0
    EXPECT_EQ(h.LutLookup(40), 102);
    EXPECT_EQ(h.LutLookup(256), -1);
    EXPECT_EQ(h.counts, nullptr);  // afterwards only a lookup table
    EXPECT_FALSE(h.statsValid);

    CHistogram odd = Make(0, {1, 1, 1});
    odd.BuildEqualizeLut();
    EXPECT_EQ(odd.LutLookup(2), 3);  // odd bin counts scale by binCount
    CHistogram none;
    EXPECT_EQ(none.LutLookup(0), -1);
}

TEST(HistogramTransforms, CopiesCarryStatisticsButNotTheLut) {
    CHistogram h = Make(3, {1, 2, 3});
    h.ComputeStatistics();
    h.lut = static_cast<int32_t*>(std::calloc(3, sizeof(int32_t)));
    CHistogram copy(h);
    EXPECT_NE(copy.counts, h.counts);
    EXPECT_EQ(copy.GetCount(2), 3);
    EXPECT_TRUE(copy.statsValid);
    EXPECT_DOUBLE_EQ(copy.mean, h.mean);
    EXPECT_EQ(copy.maxCount, 3);
    EXPECT_EQ(copy.lut, nullptr);
    CHistogram assigned;
    assigned = h;
    EXPECT_EQ(assigned.firstValue, 3);
    EXPECT_EQ(assigned.GetCount(0), 1);
}

TEST(HistogramClasses, MeanStdAboveMinSkipsTheBackground) {
    CHistogram h = Make(0, {100, 0, 2, 2});
    double m, s;
    h.GetMeanStdAboveMin(m, s);
    EXPECT_DOUBLE_EQ(m, 2.5);
    EXPECT_DOUBLE_EQ(s, 0.5);
}

TEST(HistogramClasses, TwoClassStatsSplitsAboveTheMinimum) {
    // Background 50 at value 0; the rest 1:4, 2:4, 6:4, 7:4 -> half = 8.
    CHistogram h = Make(0, {50, 4, 4, 0, 0, 0, 4, 4});
    int32_t split = -7;
    double m1, s1, m2, s2;
    h.GetTwoClassStats(split, m1, s1, m2, s2);
    EXPECT_EQ(split, 2);
    EXPECT_DOUBLE_EQ(m1, 1.5);
    EXPECT_DOUBLE_EQ(s1, 0.5);
    EXPECT_DOUBLE_EQ(m2, 6.5);
    EXPECT_DOUBLE_EQ(s2, 0.5);

    CHistogram empty = Make(0, {0, 0});
    split = 42;
    empty.GetTwoClassStats(split, m1, s1, m2, s2);
    EXPECT_EQ(split, 42);
    EXPECT_DOUBLE_EQ(m1, 0.0);
}

TEST(HistogramClasses, EnergyAndEntropy) {
    CHistogram h = Make(0, {0, 0, 3, 1});
    double energy, entropy;
    h.GetEnergyEntropy(energy, entropy);
    const double e = 3 * 4.0 + 9.0;
    const double q = 3 * 4.0 * std::log10(4.0) + 9.0 * std::log10(9.0);
    EXPECT_DOUBLE_EQ(energy, e / 4);
    EXPECT_DOUBLE_EQ(entropy, std::log10(e) - q / e);
    // The value 0 contributes nothing instead of log10(0).
    CHistogram withZero = Make(0, {5, 0, 3, 1});
    withZero.GetEnergyEntropy(energy, entropy);
    EXPECT_TRUE(std::isfinite(entropy));
    EXPECT_DOUBLE_EQ(energy, e / 9);
}

TEST(HistogramClasses, IterativeThresholdSettlesBetweenTwoModes) {
    std::vector<int32_t> counts(100, 0);
    for (int v = 10; v <= 20; ++v) counts[v] = 10;
    for (int v = 70; v <= 80; ++v) counts[v] = 10;
    CHistogram h = Make(0, counts);
    int32_t t = 30;
    h.IterativeThreshold(t, 10, 80);
    EXPECT_GE(t, 40);
    EXPECT_LE(t, 50);
    // A fixed point: another round leaves it.
    const int32_t again = static_cast<int32_t>((h.MeanInRange(10, t) + h.MeanInRange(t, 80)) / 2);
    EXPECT_EQ(again, t);

    int32_t t1 = 30, t2 = 60;
    h.IterativeThreshold2(t1, t2, 0.5, 10, 80);
    EXPECT_LT(t1, t2);
}
