#pragma once
// Image operations that apply a CFilter: convolution (optionally inside the
// breast outline), weighted median, thresholded edge maps, difference of
// Gaussians and image minus Gaussian, plus the correlation engine they and
// the spot detector share.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "filters/filter.h"

namespace vistrel {

// An uninitialised float buffer for whole-image results. Large buffers are
// aligned to 2 MiB and advised as huge pages: the page faults of a fresh
// mammogram-sized buffer otherwise cost as much as the convolution itself.
class CFloatBuffer {
  public:
    CFloatBuffer() = default;
    CFloatBuffer(const CFloatBuffer&) = delete;
    CFloatBuffer& operator=(const CFloatBuffer&) = delete;
    CFloatBuffer(CFloatBuffer&& other) noexcept { Swap(other); }
    CFloatBuffer& operator=(CFloatBuffer&& other) noexcept {
        Swap(other);
        return *this;
    }
    ~CFloatBuffer() { Clear(); }
    // n elements with unspecified values; false (and empty) when memory runs out.
    bool Allocate(std::size_t n);
    // n elements, all value.
    bool assign(std::size_t n, float value);
    void Clear();
    std::size_t size() const { return size_; }
    float* data() { return data_; }
    const float* data() const { return data_; }
    float& operator[](std::size_t i) { return data_[i]; }
    float operator[](std::size_t i) const { return data_[i]; }
    void Swap(CFloatBuffer& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

  private:
    float* data_ = nullptr;
    std::size_t size_ = 0;
};

// A closed polygon (the breast outline) in pixel coordinates.
struct COutlinePoint {
    double x = 0;
    double y = 0;
};
using COutline = std::vector<COutlinePoint>;

// Interior spans of a polygon on scan line y by the even-odd rule: pairs
// (xa, xb) of successive sorted crossings of the edges with the line.
std::vector<std::pair<double, double>> OutlineSpans(const COutline& outline, double y);

// Correlation of every pixel where the whole kernel fits: out[y * W + x] =
// (float)(sum / divisor), divisor = scale unless it is 0 or 1. Pixels the kernel
// does not fit are left as they are. Kernels that are sums of up to three
// separable terms (Gauss, LoG, box ...) are applied term by term; others
// directly. useDirect forces the direct sum. False for an invalid image.
// progress follows the rows done (reported on the calling thread only); when
// it returns false the work stops between row batches and the result is false
// (out then holds some rows and not others).
bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, float* out,
                       bool useDirect = false, const ProgressFn& progress = {});
// Per-row figures of the written responses, gathered while each row is still
// in the cache: the sum and the sum of squares (in double, in eight
// interleaved lanes combined in a fixed order) and the extremes.
struct CRowFigures {
    double sum = 0;
    double sumOfSquares = 0;
    float min = 0, max = 0;
};
// As above, and rowFigures[y] for every row the kernel fits (others untouched).
bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, float* out, bool useDirect,
                       CRowFigures* rowFigures, const ProgressFn& progress = {});
bool CorrelateInterior(const CMImageBase& image, const CFilter& filter, double* out,
                       bool useDirect = false, const ProgressFn& progress = {});
// The whole image: interior as above, border pixels by the direct sum over the
// positions inside the image (divided, not renormalised).
bool CorrelateClipped(const CMImageBase& image, const CFilter& filter, double* out);
// The row loops in use: "avx512", "avx2" or "plain" (the widest the processor
// runs unless chosen). UseRowKernels picks one for comparisons; false when the
// processor cannot run it.
const char* ActiveRowKernels();
bool UseRowKernels(const std::string& name);
// The direct sum at (x, y) over the kernel positions inside the image (no
// division); count receives how many positions were inside.
double CorrelateAt(const CMImageBase& image, const CFilter& filter, int32_t x, int32_t y,
                   int32_t* count = nullptr);

// Separable decomposition of a kernel: sum over terms of column[i] * row[j]
// reproduces the coefficients to float rounding. Empty when more than
// maxTerms terms would be needed.
struct CSeparableTerms {
    std::vector<std::vector<double>> columns;  // height values each
    std::vector<std::vector<double>> rows;     // width values each
};
CSeparableTerms DecomposeKernel(const CFilter& filter, int maxTerms = 3);

// In place: the kernel's correlation rescaled into an image by FromRealMatrix.
// With an outline of at least one vertex only its interior is filtered (its
// bounding box must lie inside the image, else -1). normalisePartial rescales
// sums near the border by the share of the kernel inside the image; without it
// those pixels get 0. 0 on success, -1 on failure (image unchanged).
// progress reports the fraction done, ending at 1; when it returns false the
// work stops, the image is left unchanged and the result is -1.
int ApplyFilter(CMImage& image, const COutline* outline, const CFilter& filter,
                bool normalisePartial, bool useDirect = false, const ProgressFn& progress = {});
// In place: the weighted median (upper middle of the sorted products) clamped
// to 0..maxValue.
int ApplyWeightedMedian(CMImage& image, const CFilter& filter);
// maxValue where the (in-image) sum / divisor exceeds threshold, else 0.
std::unique_ptr<CMImage> EdgeMap(const CMImage& image, const CFilter& filter, double threshold);
// Pixelwise OR of the edge maps of the non-null filters.
std::unique_ptr<CMImage> EdgeMaps(const CMImage& image, const CFilter* const* filters, int count,
                                  double threshold);
// weight * s1 - s2 rescaled linearly onto 0..maxValue.
std::unique_ptr<CMImage> DifferenceOfGaussians(const CMImage& image, double weight,
                                               const CFilter& filter1, const CFilter& filter2);
// pixel - s rescaled linearly onto 0..maxValue.
std::unique_ptr<CMImage> SubtractGaussian(const CMImage& image, const CFilter& filter);

}  // namespace vistrel
