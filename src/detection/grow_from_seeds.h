#pragma once
// One region per seed: the seed's neighbourhood in the image, its LoG
// responses or its white top-hat is cut by one of four growing rules (rays of
// steepest descent, rays down to the first rise, rings of falling mean slope,
// or a local mean + k stdDev threshold), the region is stamped with the seed's
// detector figures and a diagnosis from the truth regions, and lands in a
// region list, merged into an overlapped one or kept apart.

#include <cfloat>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "detection/point_response.h"
#include "regions/regions.h"

namespace vistrel {

enum class EGrowAlgorithm : int {
    MaxSlope = 0,
    LocalMin = 1,
    MinSlopeCircles = 2,
    LocalStatistics = 3,
};
// Texts of the algorithm choice, in EGrowAlgorithm order.
inline constexpr const char* kGrowAlgorithmNames[] = {"max slope", "local min",
                                                      "min slope circles", "local statistics"};

enum class EGrowInput : int {
    Image = 0,        // the grey levels
    LoGInScales = 1,  // the LoG response at each seed's own scale, around the seed
    WhiteTopHat = 2,  // the white top-hat with a square of the window's side
};
inline constexpr const char* kGrowInputNames[] = {"current active image", "LoG filtered in scales",
                                                  "white top-hat"};

// Ray directions / labelling connectivity: 4, 8 or 16.
inline constexpr int kGrowDirections[] = {4, 8, 16};
inline constexpr const char* kGrowDirectionNames[] = {"4 - connectivity", "8 - connectivity",
                                                      "16 - connectivity"};

// How far apart regions may lie and still be tested for overlap when a new
// region is added without joining.
inline constexpr double kOverlapDistance = 50.0;

// The smallest window, in pixels.
inline constexpr int32_t kMinGrowWindow = 3;

struct CGrowParams {
    EGrowAlgorithm algorithm = EGrowAlgorithm::LocalStatistics;
    double k = 1.5;             // mean + k * stdDev
    int32_t windowPx = 9;       // half-side w of the window around a seed; raised to 3
    int directions = 8;         // 4, 8 or 16
    EGrowInput input = EGrowInput::LoGInScales;
    bool join = true;           // merge a new region into an existing one it overlaps
    // Seeds whose response is below are skipped (-DBL_MAX: none).
    double minimumResponse = -DBL_MAX;
};

// The window in pixels: the value itself, or round(value * resolution / 2.54)
// for centimetres (resolution in dots per inch); never below kMinGrowWindow.
// Non-finite or negative values give kMinGrowWindow.
int32_t GrowWindowPixels(double value, bool centimetres, double resolution);

struct CGrowReport {
    int32_t regionsAdded = 0;   // new entries of the region list
    int32_t joined = 0;         // regions merged into an existing one
    int32_t skippedSeeds = 0;   // outside the image or below the minimum response
    int32_t withoutRegion = 0;  // the rule gave no valid region
};

// A rectangle of input values (row-major floats) and its place in the image.
struct CValueWindow {
    CRect rect;  // image coordinates, right and bottom exclusive
    std::vector<float> values;
    float At(int32_t x, int32_t y) const {
        return values[std::size_t(y - rect.top) * std::size_t(rect.Width()) +
                      std::size_t(x - rect.left)];
    }
    bool Contains(int32_t x, int32_t y) const {
        return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
    }
};

// The local-statistics region of one seed: over [x - w, x + w) x [y - w, y + w)
// clipped to the input, pixels >= mean + k * stdDev (population) of that
// window, or >= fixedThreshold when given; the connected component (4- or
// 8-connected; 16 counts as 8) holding the seed. Null when the seed is not
// foreground or its component gives no valid outline.
std::unique_ptr<CRegion> LocalStatisticsRegion(const CValueWindow& input, CPoint seed,
                                               int32_t window, double k, int directions,
                                               std::optional<double> fixedThreshold = {});

// The diagnosis of the first valid truth region containing p; 2 ("false")
// without one.
int16_t TruthDiagnosisAt(const CRegions& truth, CPoint p);

// Grows one region per seed (in order) into regions, stamped with the seed's
// scale, response, values 4 and 3 and point, type 'm', diagnosis from the
// truth region containing the seed (else 2; "local min" always 1). Seeds
// outside the image are skipped. With the LoG input the responses used come
// back as a grey image (null otherwise, or when nothing was computed).
// progress follows the seeds; when it returns false the regions grown so far
// stay and null is returned.
std::unique_ptr<CMImage> GrowFromSeeds(const CMImage& image, const CSpotList& seeds,
                                       CRegions& regions, const CRegions* truth,
                                       const CGrowParams& params, CGrowReport* report = nullptr,
                                       const ProgressFn& progress = {});

}  // namespace vistrel
