#pragma once
// Grey-level morphology with flat structuring elements: the erosion/dilation
// core, the operators built from it, the hit-or-miss transform and
// conditional thickening. Every operation returns a new image owned by the
// caller, or null (invalid image, element without cells, iterations < 1,
// mismatched sizes, failed allocation).

#include <memory>

#include "core/image.h"
#include "core/messages.h"
#include "filters/morph_se.h"

namespace vistrel {

enum class EMorphOperation { Erosion, Dilation };

// Conditional thickening never runs more passes than this.
inline constexpr int kMaxThickeningPasses = 50;

// Iterated erosion or dilation of `source` (the image itself when null; a
// given source must have the image's width, height and depth). Every cell of
// the element contributes the sample at offset (c - n/2, r - n/2) (no
// reflection for dilation); unset cells and positions outside the image
// contribute maxValue (erosion) or 0 (dilation). With pad clear, pixels where
// the element does not fit wholly inside the image become 0. The result has
// the image's size, depth and value offset.
std::unique_ptr<CMImage> MorphCore(const CMImage& image, EMorphOperation operation,
                                   const CMorphSE& se, int iterations,
                                   const CMImageBase* source, bool pad,
                                   const ProgressFn& progress = {});

// The menu operators, border mode pad. Open = Dilate(Erode), Close =
// Erode(Dilate), each step with `iterations`. The top-hats and gradients are
// Difference images (core/image_operations.h): WhiteTopHat = image -
// Open, BlackTopHat = Close - image, MorphGradient = Dilate - Erode,
// InnerGradient = image - Erode, OuterGradient = Dilate - image.
std::unique_ptr<CMImage> Erode(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> Dilate(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> Open(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> Close(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> WhiteTopHat(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> BlackTopHat(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> MorphGradient(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> InnerGradient(const CMImage& image, const CMorphSE& se, int iterations);
std::unique_ptr<CMImage> OuterGradient(const CMImage& image, const CMorphSE& se, int iterations);

// The nine operators in menu order.
enum class EMorphOperator {
    Erode,
    Dilate,
    Open,
    Close,
    WhiteTopHat,
    BlackTopHat,
    MorphGradient,
    InnerGradient,
    OuterGradient,
};
std::unique_ptr<CMImage> ApplyMorphOperator(EMorphOperator op, const CMImage& image,
                                            const CMorphSE& se, int iterations);

// min(erosion of x by a, erosion of the complement maxValue - x by b), both
// with pad clear, one iteration.
std::unique_ptr<CMImage> HitOrMiss(const CMImage& x, const CMorphSE& a, const CMorphSE& b);

// Thickens a copy of marker under condition (equal width, height and depth)
// with the eight turned thickening elements until a pass changes nothing,
// at most kMaxThickeningPasses passes. passesRun, when given, receives the
// number of passes made. progress hears after every pass; cancelling gives null.
std::unique_ptr<CMImage> ConditionalThickening(const CMImage& condition, const CMImage& marker,
                                               int* passesRun = nullptr,
                                               const ProgressFn& progress = {});

}  // namespace vistrel
