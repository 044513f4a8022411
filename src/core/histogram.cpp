#include "core/histogram.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vistrel {

namespace {
// Isodata-style iterations converge in a handful of rounds on real data; the
// cap only guards against a two-value oscillation turning into a hang.
constexpr int kMaxThresholdRounds = 1000;
}  // namespace

CHistogram::CHistogram() = default;

CHistogram::CHistogram(const CHistogram& other) {
    CopyFrom(other);
}

CHistogram& CHistogram::operator=(const CHistogram& other) {
    if (this != &other) {
        Reset();
        CopyFrom(other);
    }
    return *this;
}

CHistogram::CHistogram(CHistogram&& other) noexcept {
    *this = std::move(other);
}

CHistogram& CHistogram::operator=(CHistogram&& other) noexcept {
    if (this == &other) return *this;
    Reset();
    firstValue = other.firstValue;
    lastValue = other.lastValue;
    counts = std::exchange(other.counts, nullptr);
    binCount = std::exchange(other.binCount, 0);
    minCount = other.minCount;
    maxCount = other.maxCount;
    minInnerCount = other.minInnerCount;
    maxInnerCount = other.maxInnerCount;
    total = other.total;
    lut = std::exchange(other.lut, nullptr);
    statsValid = other.statsValid;
    median = other.median;
    minValue = other.minValue;
    maxValue = other.maxValue;
    mean = other.mean;
    stdDev = other.stdDev;
    variance = other.variance;
    skewness = other.skewness;
    kurtosis = other.kurtosis;
    other.Reset();
    return *this;
}

CHistogram::~CHistogram() {
    Reset();
}

void CHistogram::CopyFrom(const CHistogram& other) {
    firstValue = other.firstValue;
    lastValue = other.lastValue;
    if (other.counts && other.binCount > 0) {
        counts = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * other.binCount));
        if (!counts) {
            Reset();
            return;
        }
        std::memcpy(counts, other.counts, sizeof(int32_t) * other.binCount);
        binCount = other.binCount;
    }
    total = other.total;
    if (other.minCount < 0 || other.maxCount < 0) {
        if (counts) ComputeCountExtremes();
    } else {
        minCount = other.minCount;
        maxCount = other.maxCount;
        minInnerCount = other.minInnerCount;
        maxInnerCount = other.maxInnerCount;
    }
    if (other.statsValid) {
        statsValid = true;
        median = other.median;
        minValue = other.minValue;
        maxValue = other.maxValue;
        mean = other.mean;
        stdDev = other.stdDev;
        variance = other.variance;
        skewness = other.skewness;
        kurtosis = other.kurtosis;
    }
}

int CHistogram::Allocate(int32_t bins) {
    Reset();
    if (bins <= 0) return -1;
    counts = static_cast<int32_t*>(std::calloc(static_cast<std::size_t>(bins), sizeof(int32_t)));
    if (!counts) return -1;
    binCount = bins;
    lastValue = firstValue + bins - 1;
    return 0;
}

void CHistogram::ResetStatistics() {
    minCount = maxCount = minInnerCount = maxInnerCount = -1;
    statsValid = false;
    median = minValue = maxValue = -1;
    mean = stdDev = variance = skewness = kurtosis = -1.0;
}

void CHistogram::Reset() {
    std::free(counts);
    std::free(lut);
    counts = nullptr;
    lut = nullptr;
    binCount = 0;
    firstValue = lastValue = 0;
    total = 0;
    ResetStatistics();
}

int32_t CHistogram::GetCount(int32_t index) const {
    if (!counts || index < 0 || index >= binCount) return -1;
    return counts[index];
}

void CHistogram::SetCount(int32_t value, int32_t count) {
    const int64_t index = int64_t{value} - firstValue;
    if (!counts || index < 0 || index >= binCount) return;
    counts[index] = count;
}

void CHistogram::ComputeCountExtremes() {
    int64_t sum = 0;
    minCount = minInnerCount = INT32_MAX;
    maxCount = maxInnerCount = -1;
    for (int32_t i = 0; i < binCount && counts; ++i) {
        const int32_t c = counts[i];
        sum += c;
        minCount = std::min(minCount, c);
        maxCount = std::max(maxCount, c);
        if (i >= 1 && i <= binCount - 2) {
            minInnerCount = std::min(minInnerCount, c);
            maxInnerCount = std::max(maxInnerCount, c);
        }
    }
    total = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
}

int32_t CHistogram::GetMinCount() {
    if (minCount < 0) ComputeCountExtremes();
    return minCount;
}
int32_t CHistogram::GetMaxCount() {
    if (maxCount < 0) ComputeCountExtremes();
    return maxCount;
}
int32_t CHistogram::GetMinInnerCount() {
    if (minInnerCount < 0) ComputeCountExtremes();
    return minInnerCount;
}
int32_t CHistogram::GetMaxInnerCount() {
    if (maxInnerCount < 0) ComputeCountExtremes();
    return maxInnerCount;
}

int32_t CHistogram::ComputeTotal() {
    int64_t sum = 0;
    for (int32_t i = 0; i < binCount && counts; ++i) sum += counts[i];
    total = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
    return total;
}

int32_t CHistogram::GetTotal() {
    if (total <= 0) ComputeTotal();
    return total;
}

void CHistogram::ComputeStatistics() {
    ComputeTotal();
    if (total <= 0) {
        ResetStatistics();
        return;
    }
    statsValid = true;
    int32_t first = 0;
    while (first < binCount && counts[first] == 0) ++first;
    int32_t last = binCount - 1;
    while (last > 0 && counts[last] == 0) --last;
    minValue = firstValue + first;
    maxValue = firstValue + last;

    // The value whose cumulative boundary lies nearer to half the pixels wins,
    // ties going to the later value.
    const int64_t half = total / 2;
    int64_t sum = 0;
    int32_t added = 0;
    while (sum < half && added < binCount) sum += counts[added++];
    if (added == 0) {
        // A single pixel: there is no boundary to compare, the pixel is the median.
        median = minValue;
    } else {
        median = firstValue + added - 1;
        if (added >= 2 && sum - half > half - (sum - counts[added - 1])) {
            // The boundary below the crossing bin is nearer; it belongs to the
            // highest occupied value under that bin, never to an empty one
            // (a flat image must have its own value as median).
            int32_t below = added - 2;
            while (below > first && counts[below] == 0) --below;
            if (counts[below] != 0) median = firstValue + below;
        }
    }

    double sum1 = 0.0;
    for (int32_t i = first; i <= last; ++i) sum1 += double(firstValue + i) * counts[i];
    mean = sum1 / total;
    double m2 = 0.0, m3 = 0.0, m4 = 0.0;
    for (int32_t i = first; i <= last; ++i) {
        if (!counts[i]) continue;
        const double d = double(firstValue + i) - mean;
        const double d2 = d * d;
        m2 += d2 * counts[i];
        m3 += d2 * d * counts[i];
        m4 += d2 * d2 * counts[i];
    }
    variance = m2 / total;
    stdDev = std::sqrt(variance);
    // A constant image has no spread: its shape moments are taken as 0 rather
    // than the 0/0 the formulas would give.
    if (variance > 0.0) {
        skewness = (m3 / total) / (stdDev * stdDev * stdDev);
        kurtosis = (m4 / total) / (variance * variance) - 3.0;
    } else {
        skewness = 0.0;
        kurtosis = 0.0;
    }
}

int32_t CHistogram::GetRange(int32_t& lo, int32_t& hi) {
    EnsureStatistics();
    if (!statsValid) {
        lo = firstValue;
        hi = firstValue + binCount - 1;
        return binCount;
    }
    lo = minValue;
    hi = maxValue;
    return hi - lo + 1;
}

double CHistogram::GetMean() {
    EnsureStatistics();
    return statsValid ? mean : 0.0;
}

double CHistogram::GetStdDev() {
    EnsureStatistics();
    return statsValid ? stdDev : 0.0;
}

void CHistogram::GetMeanStd(double& m, double& s) {
    EnsureStatistics();
    m = statsValid ? mean : 0.0;
    s = statsValid ? stdDev : 0.0;
}

void CHistogram::GetSkewnessKurtosis(double& s, double& k) {
    EnsureStatistics();
    s = statsValid ? skewness : 0.0;
    k = statsValid ? kurtosis : 0.0;
}

void CHistogram::GetMoments(double& m, double& s, double& v, double& sk, double& ku, int32_t& minV,
                            int32_t& maxV, int32_t& med, int32_t& tot) {
    EnsureStatistics();
    if (!statsValid) {
        m = s = v = sk = ku = -1.0;
        minV = maxV = med = tot = -1;
        return;
    }
    m = mean;
    s = stdDev;
    v = variance;
    sk = skewness;
    ku = kurtosis;
    minV = minValue;
    maxV = maxValue;
    med = median;
    tot = total;
}

void CHistogram::GetSummary(float& minV, float& maxV, float& med, float& meanV, float& stdDevV,
                            int32_t& tot) {
    EnsureStatistics();
    if (!statsValid) {
        minV = maxV = med = meanV = stdDevV = -1.0f;
        tot = -1;
        return;
    }
    minV = float(minValue);
    maxV = float(maxValue);
    med = float(median);
    meanV = float(mean);
    stdDevV = float(stdDev);
    tot = total;
}

int32_t CHistogram::GetSumOfValues() {
    EnsureStatistics();
    if (!statsValid) return 0;
    return static_cast<int32_t>(double(total) * mean);
}

int32_t CHistogram::CountInRange(int32_t a, int32_t b) const {
    if (!counts || binCount <= 0 || b < a) return -1;
    if (a < firstValue || a > lastValue) return -1;
    int64_t sum = 0;
    const int64_t lastBinValue = int64_t{firstValue} + binCount - 1;
    const int64_t end = std::min<int64_t>(b, lastBinValue);
    for (int64_t v = a; v <= end; ++v) sum += counts[v - firstValue];
    return static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
}

double CHistogram::MeanInRange(int32_t a, int32_t b) {
    EnsureStatistics();
    if (!statsValid) return 0.0;
    a = std::max(a, minValue);
    b = std::min(b, maxValue);
    double weighted = 0.0;
    int64_t n = 0;
    for (int64_t v = a; v < b; ++v) {
        const int32_t c = counts[v - firstValue];
        weighted += double(v) * c;
        n += c;
    }
    return n > 0 ? weighted / double(n) : 0.0;
}

double CHistogram::PercentBelow(int32_t value) {
    if (GetTotal() <= 0) return -1.0;
    int64_t sum = 0;
    const int64_t end = std::min<int64_t>(int64_t{value} - firstValue, binCount - 1);
    for (int64_t i = 0; i <= end; ++i) sum += counts[i];
    return 100.0 * double(sum) / double(total);
}

int32_t CHistogram::Percentile(double p) {
    if (!counts || GetTotal() <= 0) return firstValue - 1;
    const double limit = double(total) * p / 100.0;
    int64_t sum = 0;
    for (int32_t i = 0; i < binCount; ++i) {
        sum += counts[i];
        if (double(sum) > limit) return i == 0 ? firstValue : firstValue + i - 1;
    }
    return firstValue + binCount - 1;
}

void CHistogram::ZeroLargestBin() {
    if (!counts || binCount <= 0) return;
    int32_t best = 0;
    for (int32_t i = 1; i < binCount; ++i)
        if (counts[i] > counts[best]) best = i;
    counts[best] = 0;
    total = 0;
    ResetStatistics();
}

void CHistogram::MakeCumulative() {
    if (!counts) return;
    int64_t sum = 0;
    for (int32_t i = 0; i < binCount; ++i) {
        sum += counts[i];
        counts[i] = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
    }
    // The counts no longer describe pixels: statistics would be meaningless.
    ResetStatistics();
}

void CHistogram::BuildEqualizeLut() {
    std::free(lut);
    lut = nullptr;
    if (!counts || binCount <= 0) return;
    lut = static_cast<int32_t*>(std::calloc(static_cast<std::size_t>(binCount), sizeof(int32_t)));
    if (!lut) return;
    if (ComputeTotal() <= 0) return;
    const double M = (binCount % 2 == 0) ? binCount - 1 : binCount;
    int64_t cum = 0;
    for (int32_t i = 0; i < binCount; ++i) {
        cum += counts[i];
        lut[i] = static_cast<int32_t>(M * double(cum) / double(total) + 0.5);
    }
    std::free(counts);
    counts = nullptr;
    total = 0;
    ResetStatistics();
}

int32_t CHistogram::LutLookup(int32_t value) const {
    const int64_t index = int64_t{value} - firstValue;
    if (!lut || index < 0 || index >= binCount) return -1;
    return lut[index];
}

void CHistogram::GetMeanStdAboveMin(double& m, double& s) {
    m = s = 0.0;
    EnsureStatistics();
    if (!statsValid) return;
    const int64_t n = int64_t{total} - counts[minValue - firstValue];
    if (n <= 0) return;
    double sum = 0.0;
    for (int32_t v = minValue + 1; v <= maxValue; ++v) sum += double(v) * counts[v - firstValue];
    m = sum / double(n);
    double sq = 0.0;
    for (int32_t v = minValue + 1; v <= maxValue; ++v) {
        const double d = v - m;
        sq += d * d * counts[v - firstValue];
    }
    s = std::sqrt(sq / double(n));
}

void CHistogram::GetTwoClassStats(int32_t& split, double& mean1, double& std1, double& mean2,
                                  double& std2) {
    mean1 = std1 = mean2 = std2 = 0.0;
    EnsureStatistics();
    if (!statsValid) return;
    const int64_t c0 = counts[minValue - firstValue];
    const int64_t half = (int64_t{total} - c0) / 2;
    int64_t sum = 0;
    int32_t v = minValue;
    int32_t lastAdded = minValue;
    int64_t lastCount = 0;
    while (sum < half && v < maxValue) {
        ++v;
        lastCount = counts[v - firstValue];
        sum += lastCount;
        lastAdded = v;
    }
    split = lastAdded;
    if (lastAdded > minValue + 1 && sum - half > half - (sum - lastCount)) split = lastAdded - 1;

    auto classStats = [&](int32_t from, int32_t to, double& m, double& s) {
        double weighted = 0.0;
        int64_t n = 0;
        for (int32_t x = from; x <= to; ++x) {
            weighted += double(x) * counts[x - firstValue];
            n += counts[x - firstValue];
        }
        if (n <= 0) return;
        m = weighted / double(n);
        double sq = 0.0;
        for (int32_t x = from; x <= to; ++x) {
            const double d = x - m;
            sq += d * d * counts[x - firstValue];
        }
        s = std::sqrt(sq / double(n));
    };
    classStats(minValue + 1, split, mean1, std1);
    classStats(split + 1, maxValue, mean2, std2);
}

void CHistogram::GetEnergyEntropy(double& energy, double& entropy) {
    energy = entropy = 0.0;
    EnsureStatistics();
    if (!statsValid) return;
    double e = 0.0, q = 0.0;
    for (int32_t v = minValue; v <= maxValue; ++v) {
        const int32_t c = counts[v - firstValue];
        if (!c || v == 0) continue;  // v^2 log(v^2) tends to 0 as v does
        const double v2 = double(v) * double(v);
        e += c * v2;
        q += c * v2 * std::log10(v2);
    }
    energy = e / total;
    entropy = e > 0.0 ? std::log10(e) - q / e : 0.0;
}

void CHistogram::IterativeThreshold(int32_t& t, int32_t lo, int32_t hi) {
    for (int round = 0; round < kMaxThresholdRounds; ++round) {
        const int32_t next = static_cast<int32_t>((MeanInRange(lo, t) + MeanInRange(t, hi)) / 2.0);
        if (next == t) return;
        t = next;
    }
}

void CHistogram::IterativeThreshold2(int32_t& t1, int32_t& t2, double weight, int32_t lo,
                                     int32_t hi) {
    for (int round = 0; round < kMaxThresholdRounds; ++round) {
        const double g = MeanInRange(t1, t2);
        const double l = MeanInRange(t2, hi);
        const double m = MeanInRange(lo, t1);
        const int32_t n1 = static_cast<int32_t>((m + g) / 2.0);
        const int32_t n2 = static_cast<int32_t>(g * (1.0 - weight) + weight * l);
        const bool same = n1 == t1 || n2 == t2;
        t1 = n1;
        t2 = n2;
        if (same) return;
    }
}

}  // namespace vistrel
