#pragma once
// Second-order texture of a rectangle: grey-level co-occurrence matrices in
// four directions with their Haralick-style features, and the surrounding
// region dependence matrix with its four weighted sums.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "regions/feature_vector.h"

namespace vistrel {

namespace detail {
struct GlcmBuilder;
}

// The directions of the four matrices, in output order.
inline constexpr std::array<int32_t, 4> kGlcmAngles = {0, 45, 90, 135};
// The twelve reported measures, in the order of the named list.
inline constexpr std::array<const char*, 12> kGlcmFeatureNames = {
    "Contrast",    "Entropy",           "AngularSecondMoment", "InverseDifferentMoment",
    "Correlation", "Covariance",        "SumAverage",          "SumEntropy",
    "SumVariance", "DifferenceAverage", "DifferenceEntropy",   "DifferenceVariance"};

class CGLCM {
  public:
    // Positions in `features`.
    enum Feature : int {
        kContrast = 0,
        kEntropy,
        kAngularSecondMoment,
        kInverseDifferentMoment,
        kCorrelation,
        kMeanProduct,  // E[xy]
        kCovariance,
        kMeanAbsoluteDifference,
        kMaximumProbability,
        kSumAverage,
        kSumVariance,
        kSumEntropy,
        kDifferenceEntropy,
        kDifferenceAverage,
        kDifferenceVariance,
        kFeatureCount
    };

    virtual ~CGLCM();

    // Clears and allocates an n x n table of zero counts for the levels
    // firstLevel..lastLevel; pixelCount 1.0, not computed. False when the
    // table cannot be held (the matrix is then empty).
    bool Init(int32_t firstLevel, int32_t lastLevel, int32_t n);
    // Adds one to the entry of the pair (a, b) of grey values.
    void Count(int32_t a, int32_t b);
    // The entry of row i, column j (levels firstLevel + i, firstLevel + j).
    int64_t CountAt(int32_t i, int32_t j) const;
    // Sum of all entries.
    int64_t TotalCount() const;
    bool HasMatrix() const;

    // 0, or -1 without a matrix or with pixelCount 0 or 1. Sets `computed`
    // and releases the counts; the features stay.
    int ComputeFeatures();
    // Computes when not yet computed; returns `computed`.
    bool EnsureFeatures();
    // The value of one of the twelve reported measures (index into
    // kGlcmFeatureNames).
    double Reported(int index) const;

    double features[kFeatureCount] = {};
    int32_t distance = 0;
    int32_t angle = 0;
    double pixelCount = 1.0;
    int32_t firstLevel = 0;
    int32_t lastLevel = 0;
    int32_t size = 0;
    bool computed = false;

  private:
    // Counts are kept wide enough for any rectangle an image can hold. Few
    // levels: a dense n x n table. Many levels (a 16-bit area can hold
    // 65,536): only the pairs that occur, in row-major order, so that memory
    // follows the pixel count rather than n squared. Both forms hand the
    // features the same entries in the same order, so the sums agree to the
    // last bit.
    struct Entry {
        int32_t i;
        int32_t j;
        int64_t count;
    };
    std::vector<int64_t> dense_;
    mutable std::vector<Entry> sparse_;
    // Count() calls on the sparse form not merged into sparse_ yet.
    mutable std::vector<uint64_t> pending_;
    bool useSparse_ = false;
    bool hasMatrix_ = false;
    // Built from an area (each pair counted in both orders) and not touched
    // by Count() since: the features then need only the upper triangle.
    bool symmetric_ = false;
    void MergePending() const;
    friend struct detail::GlcmBuilder;
};

// The four matrices (0, 45, 90, 135 degrees) of the rectangle clipped to the
// image at pair distance `distance`; null for an invalid image, an empty
// rectangle after clipping, or when the matrices cannot be held.
std::unique_ptr<std::array<CGLCM, 4>> BuildGLCMs(const CMImage& image, const CRect& rect,
                                                int32_t distance);

// The named co-occurrence list of a rectangle: the twelve means over the
// directions ("<name>_Mean"), then per direction the twelve features
// ("<name>_<distance>_<angle>"). False (and out left empty) when any matrix
// fails. Appends to out.
bool CoocurrenceFeatures(const CMImage& image, const CRect& rect, int32_t distance,
                         CFeatureVector& out);
// The 60 names of that list at a distance, in order.
std::vector<std::string> CoocurrenceFeatureNames(int32_t distance);

class CSRDM {
  public:
    virtual ~CSRDM();
    // The four weighted sums, computed once; all -1 when the matrix is empty.
    void GetFeatures(double& hws, double& vws, double& dws, double& gws);
    int32_t At(int32_t row, int32_t col) const { return counts[static_cast<size_t>(row) * cols + col]; }

    std::vector<int32_t> counts;  // rows x cols
    int32_t cols = 0;
    int32_t rows = 0;
    double hws = -1.0;
    double vws = -1.0;
    double dws = -1.0;
    double gws = -1.0;
};

// The surrounding region dependence matrix of the rectangle (clipped to the
// image) with the three square sides (odd, inner < middle < outer) and the
// grey-level margin; null for an invalid image, an empty rectangle or bad
// sides. Pixels whose index falls outside the matrix are skipped and
// reported through `skipped` (one "Ret= %d cR1=%d, cR2=%d" line each) when
// given.
std::unique_ptr<CSRDM> BuildSRDM(const CMImage& image, int32_t inner, int32_t middle,
                                 int32_t outer, int32_t margin, const CRect& rect,
                                 std::vector<std::string>* skipped = nullptr);
// The sides and margin the SRDM command uses.
inline constexpr int32_t kSrdmInner = 7;
inline constexpr int32_t kSrdmMiddle = 11;
inline constexpr int32_t kSrdmOuter = 15;
inline constexpr int32_t kSrdmMargin = 50;

}  // namespace vistrel
