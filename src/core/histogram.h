#pragma once
// Grey-level histogram with lazily computed statistics, percentiles, range
// means, cumulative form and the equalisation table.

#include <cstdint>

namespace vistrel {

class CHistogram {
public:
    CHistogram();
    CHistogram(const CHistogram& other);
    CHistogram& operator=(const CHistogram& other);
    CHistogram(CHistogram&& other) noexcept;
    CHistogram& operator=(CHistogram&& other) noexcept;
    virtual ~CHistogram();

    // Resets, then allocates binCount zeroed counts. 0 on success, -1 for
    // binCount <= 0 or a failed allocation.
    int Allocate(int32_t binCount);
    // Frees counts and lut; bounds and total 0; extremes and statistics -1.
    void Reset();
    bool IsEmpty() const { return counts == nullptr || binCount <= 0; }

    // Increments the count of a bin index; ignored outside [0, binCount).
    void AddSample(int32_t index) {
        if (index >= 0 && index < binCount) ++counts[index];
    }
    // Count of a bin index; -1 when out of range or empty.
    int32_t GetCount(int32_t index) const;
    // Sets the count of value's bin when the value lies in [firstValue, firstValue + binCount).
    void SetCount(int32_t value, int32_t count);

    void ComputeCountExtremes();
    int32_t GetMinCount();
    int32_t GetMaxCount();
    int32_t GetMinInnerCount();
    int32_t GetMaxInnerCount();

    int32_t ComputeTotal();
    // Recomputes only when the stored total is <= 0.
    int32_t GetTotal();

    // Mean, variance, skewness, (excess) kurtosis, median and the occupied range.
    void ComputeStatistics();
    void EnsureStatistics() {
        if (!statsValid) ComputeStatistics();
    }

    // Occupied value range [lo, hi]; returns hi - lo + 1.
    int32_t GetRange(int32_t& lo, int32_t& hi);
    double GetMean();
    double GetStdDev();
    void GetMeanStd(double& mean, double& stdDev);
    void GetSkewnessKurtosis(double& skewness, double& kurtosis);
    void GetMoments(double& mean, double& stdDev, double& variance, double& skewness,
                    double& kurtosis, int32_t& minV, int32_t& maxV, int32_t& med,
                    int32_t& tot);
    void GetSummary(float& minV, float& maxV, float& med, float& meanV, float& stdDevV,
                    int32_t& tot);
    int32_t GetSumOfValues();

    // Sum of counts for values a..b inclusive; -1 when empty, b < a or a outside the bins.
    int32_t CountInRange(int32_t a, int32_t b) const;
    // Count-weighted mean of the values a .. b-1 after clamping to the occupied range.
    double MeanInRange(int32_t a, int32_t b);
    // Percentage of pixels with values firstValue..value; -1 when total <= 0.
    double PercentBelow(int32_t value);
    // The value below which p percent of the pixels lie (see the rule in the source).
    int32_t Percentile(double p);
    void ZeroLargestBin();
    void MakeCumulative();
    // Builds the equalisation table and turns the object into a lookup table.
    void BuildEqualizeLut();
    // lut[value - firstValue]; -1 without a lut or outside the bins.
    int32_t LutLookup(int32_t value) const;
    void GetMeanStdAboveMin(double& mean, double& stdDev);
    void GetTwoClassStats(int32_t& split, double& mean1, double& std1, double& mean2,
                          double& std2);
    void GetEnergyEntropy(double& energy, double& entropy);
    // Isodata threshold between two classes in [lo, hi].
    void IterativeThreshold(int32_t& t, int32_t lo, int32_t hi);
    // Two-threshold variant used by breast segmentation.
    void IterativeThreshold2(int32_t& t1, int32_t& t2, double weight, int32_t lo, int32_t hi);

    // Value represented by a bin index and the reverse.
    int32_t ValueOf(int32_t index) const { return firstValue + index; }
    int32_t IndexOf(int32_t value) const { return value - firstValue; }

    // Fields, in the documented order.
    int32_t firstValue = 0;
    int32_t lastValue = 0;
    int32_t* counts = nullptr;
    int32_t binCount = 0;
    int32_t minCount = -1;
    int32_t maxCount = -1;
    int32_t minInnerCount = -1;
    int32_t maxInnerCount = -1;
    int32_t total = 0;
    int32_t* lut = nullptr;
    bool statsValid = false;
    int32_t median = -1;
    int32_t minValue = -1;
    int32_t maxValue = -1;
    double mean = -1.0;
    double stdDev = -1.0;
    double variance = -1.0;
    double skewness = -1.0;
    double kurtosis = -1.0;

private:
    void CopyFrom(const CHistogram& other);
    void ResetStatistics();
};

}  // namespace vistrel
