#pragma once
// The multiscale spot detector: LoG responses at increasing scales, strict
// local maxima above a per-scale threshold, paths linking them across scales,
// and one spot per path at the scale of its strongest response.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "detection/point_response.h"
#include "filters/convolution.h"
#include "filters/filter.h"

namespace vistrel {

// A LoG response image (row-major floats) with its statistics.
struct CResponseImage {
    int32_t width = 0;
    int32_t height = 0;
    CFloatBuffer values;
    double mean = 0, stdDev = 0, max = 0, min = 0;
    float At(int32_t x, int32_t y) const { return values[std::size_t(y) * width + x]; }
};

// The responses as an 8-bit image, linear between min and max (all 0 when
// they are equal); null when memory runs out.
std::unique_ptr<CMImage> GreyResponse(const CResponseImage& r);
// The grey level GreyResponse gives a response v between min and min + span.
inline uint8_t GreyLevelOf(float v, double min, double span) {
    const double g = span > 0 ? (v - min) * 255.0 / span : 0.0;
    return static_cast<uint8_t>(g < 0.0 ? 0.0 : (g > 255.0 ? 255.0 : g));
}

// The factor of the per-scale threshold T = mean + 2.7 stdDev, kept as the
// single-precision 2.7 widened to double.
inline constexpr double kScaleThresholdFactor = static_cast<double>(2.7f);

// Response of the kernel where it fits (0 elsewhere and where the skip mask is
// valid and zero). With wantStats: max and min of the written responses, and
// mean and standard deviation over the statistics mask (all pixels when it is
// not valid), both divided by W * H. useDirect forces the direct sum. False
// for an invalid image, when memory runs out or when progress (following the
// convolution's rows) returns false.
bool ConvolveWithStats(const CMImage& image, const CFilter& kernel, const CMImageBase* skipMask,
                       const CMImageBase* statsMask, bool wantStats, CResponseImage& out,
                       bool useDirect = false, const ProgressFn& progress = {});

// One search step. With previousX == previousY == -2 every strict n x n local
// maximum >= T in [xmin, xmax) x [ymin, ymax) starts a path (scale h = hMIN);
// otherwise path pathIndex is continued at scale h by the strongest candidate
// in the m x m window around the previous point.
void FindLogMaxima(int n, int m, std::vector<CLogPath>& paths, const CResponseImage& response,
                   int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax, const CMImageBase* mask,
                   double threshold, int32_t previousX, int32_t previousY, std::size_t pathIndex,
                   int h, int hMIN, int hMAX);

// The figures of one processed scale's response.
struct CScaleStatistics {
    int scale = 0;
    double mean = 0, stdDev = 0, min = 0, max = 0;
};

struct CDetectorOptions {
    bool useDirect = false;  // direct convolution (the reference of the fast one)
    // Batch form: spots at this scale are dropped (-1: none) ...
    int excludedScale = -1;
    // ... and a spot is kept only when mean(hMIN) + parN * stdDev(hMIN) <= its
    // response (0 keeps all).
    double parN = 0.0;
    // Batch form: each response as a grey image named "h=%d".
    std::vector<std::pair<std::string, std::unique_ptr<CMImage>>>* responseImages = nullptr;
    // Receives the statistics of every processed scale, in scale order.
    std::vector<CScaleStatistics>* scaleStatistics = nullptr;
};

// The detector. Scales and sizes are whole numbers 0..255. Progress lines are
// appended to log. Null for an invalid image or when no maximum is found at
// hMIN. progress follows the scales (and the rows within each), ending at 1;
// when it returns false the detector stops and returns null, the log holding
// the lines of the scales finished before.
std::unique_ptr<CSpotList> CandidateListSSS(const CMImage& image, int hMIN, int hMAX, int increment,
                                            int n, int m, const CMImageBase* mask, std::string& log,
                                            const CDetectorOptions& options = {},
                                            const ProgressFn& progress = {});

// The path-free form used to prepare seeds: no global statistics or
// thresholds. Every strict n x n local maximum of the hMIN response starts a
// path; later scales are computed only in windows of half-size (n rounded down
// to even) + m around the paths' previous points. A seed's values are [scale,
// response, energy, local mean, local stdDev, local mean, local stdDev], the
// local figures taken over the kernel-sized window around it at its own scale
// (restricted to where that kernel fits). No "Obraz LOG" lines are logged.
// progress follows the scales; when it returns false the result is null.
std::unique_ptr<CSpotList> CandidateListSeeds(const CMImage& image, int hMIN, int hMAX,
                                              int increment, int n, int m, const CMImageBase* mask,
                                              std::string& log, const ProgressFn& progress = {});

// Clears out and copies the passing spots: those not at excludedScale whose
// value k is >= threshold, or with automatic set >= values[kSpotMeanMin] +
// factor * values[kSpotStdDevMin] (factor is then the threshold argument).
void SelectSpots(const CSpotList& spots, CSpotList& out, bool automatic, double threshold, int k,
                 int excludedScale);
// The indices of the spots SelectSpots keeps, in list order (of equal spots
// the first), without copying them.
std::vector<int32_t> SelectSpotIndices(const CSpotList& spots, bool automatic, double threshold,
                                       int k, int excludedScale);
// The indices of the spots that no earlier spot of the list equals.
std::vector<int32_t> FirstOfEqualSpots(const CSpotList& spots);
// SelectSpotIndices with FirstOfEqualSpots(spots) found beforehand (distinct),
// for repeated selections from one list.
std::vector<int32_t> SelectSpotIndices(const CSpotList& spots, const std::vector<int32_t>& distinct,
                                       bool automatic, double threshold, int k, int excludedScale);

}  // namespace vistrel
