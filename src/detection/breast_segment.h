#pragma once
// Breast segmentation: the outline of the breast found on a copy of the
// mammogram reduced twenty times, and the image operations it shares with
// other detectors (reduction by a factor, two-threshold quantisation, the
// polygon fill of an outline).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "detection/breast_sgt.h"

namespace vistrel {

// Views: where the breast lies in the image.
enum EBreastView : int32_t { kViewLeft = 0, kViewRight = 1, kViewAuto = 2 };
// Projections (0 or 1), or decided from the image.
inline constexpr int32_t kProjectionAuto = 2;

// Stages of SegmentBreast.
enum ESegmentStage : int {
    kStageBreast = 0,  // the breast (document command)
    kStageCone = 1,    // the breast with the pectoral muscle ("stozek", the cone)
    kStageBatch = 2,   // the breast for batch runs (low threshold raised at the end)
};

// Parameters of one segmentation run, as the dialog passes them.
struct CSegmentParams {
    int32_t view = kViewAuto;
    int32_t projection = kProjectionAuto;
    uint8_t automatic = 1;  // thresholds from the histogram; 0: from the percentiles
    double low = 0.0;       // low percentile (manual) / low threshold (out)
    double high = 0.0;      // high percentile (manual) / high threshold (out)
    uint8_t cone = 1;       // also outline the pectoral cone
    uint8_t log = 1;        // collect the log and the intermediate images
};

// A run decided wholly from the image (view, projection and thresholds
// automatic) without the cone pass or the log: the batch routines' record.
inline CSegmentParams AutomaticSegmentParams() {
    CSegmentParams params;
    params.cone = 0;
    params.log = 0;
    return params;
}

// What a run found besides the contour (view and projection as decided,
// the start point on the full image).
struct CSegmentReport {
    int32_t view = kViewAuto;
    int32_t projection = kProjectionAuto;
    int32_t startX = 0;
    int32_t startY = 0;
};

// Finds the outline (cleared at the start, so a failed run leaves none) on
// image. view and projection may be auto (2); low and
// high are percentiles on entry when automatic is 0 and thresholds on exit.
// startX is the column the start-point scan ends at (the document passes
// width / 2). log text is appended to `log`. Returns the intermediate images
// (smoothed, then quantised) when logImages is set, else an empty list.
std::vector<std::unique_ptr<CMImage>> SegmentBreast(CMImage& image, CBreastSgt& contour,
                                                    int32_t view, int32_t projection,
                                                    bool automatic, double& low, double& high,
                                                    int32_t startX, int stage, bool logImages,
                                                    std::string& log,
                                                    CSegmentReport* report = nullptr);

// A new image of trunc(W f) x trunc(H f) with the source's depth and value
// offset 0, sampled at every 1/f-th column of every 1/f-th row. Null for an
// invalid image, f <= 0 or a failed allocation.
std::unique_ptr<CMImage> ScaleByFactor(const CMImage& image, double factor);

// Quantises into background (0), tissue and very bright tissue: a 4-bit
// image (F = 15) or, when the corrected thresholds are equal, a 1-bit image
// (F = 1). low and high are true values, corrected in place. With
// middleHigh, samples above high give F / 2 and those in (low, high] give F;
// otherwise the reverse. Unless noCleanup, isolated F pixels are removed.
std::unique_ptr<CMImage> ThresholdBands(const CMImage& image, double& low, double& high,
                                        bool noCleanup, bool middleHigh);

// Scan-converts the closed contour into target: with fillOutside the pixels
// outside get outsideValue, with fillInside those inside get insideValue.
// Returns the number of rows filled inside; 0 when nothing was done (invalid
// target, empty contour or a contour not within the target).
int32_t FillContour(CMImageBase& target, const CBreastSgt& contour, bool fillOutside,
                    int32_t outsideValue, bool fillInside, int32_t insideValue);

// The breast mask of an outline: a 1-bit image of width x height, 1 inside.
// Empty (invalid) when the outline gives no inside pixel.
CMImageBase MakeBreastMask(const CBreastSgt& contour, int32_t width, int32_t height);

// Which side the breast lies on, from the means of two bands of bandWidth
// columns at the left and the right edge: kViewLeft (0) when the left band
// is the brighter, else kViewRight (1).
int BreastSideTest(const CMImage& image, int bandWidth);

}  // namespace vistrel
