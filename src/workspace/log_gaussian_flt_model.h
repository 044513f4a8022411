#pragma once
// Model of the "LoG & Gaussian filters" window: the scale spin with its
// derived dimension and sigma, the Gaussian, difference-of-Gaussians and
// image-minus-Gaussian fields, and the images each "&Apply" produces. It
// follows the active document and opens each result as a new document of it.

#include <memory>
#include <string>

#include "core/image.h"
#include "core/messages.h"
#include "filters/convolution.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

class CLogGaussianFltModel : public CToolWindowModel {
  public:
    static constexpr int kScaleMin = 2;
    static constexpr int kScaleMax = 20;

    explicit CLogGaussianFltModel(CVistrelApp& app);

    // Values outside 2..20 are reset to 2.
    void SetScale(int h);
    int Scale() const { return scale_; }
    // Read-only fields: 3h (odd h) or 3h + 1, and h / (2 sqrt 2).
    int Dimension() const;
    double Sigma() const;
    std::string DimensionText() const;
    std::string SigmaText() const;

    double gaussSigma = 1.0;
    double dogSigma1 = 1.0;
    double dogSigma2 = 1.0;
    double dogWeight = 0.8;
    double subtractSigma = 0.0;

    // The four "&Apply" buttons on the source: the result opens as a new
    // document; null (and the source as it was, without a message) when there
    // is no source or the operation failed. The Gaussian shows its
    // coefficient table first when it has one.
    CVistrelDoc* OnApplyLoG();
    CVistrelDoc* OnApplyGauss();
    CVistrelDoc* OnApplyDifference();
    CVistrelDoc* OnApplySubtract();

    // The result images of the four "&Apply" buttons (null when the image is
    // invalid); the source is not changed. outline is the document's breast
    // outline (may be null); progress reaches the convolution.
    std::unique_ptr<CMImage> ApplyLoG(const CMImage& image, const COutline* outline,
                                      const ProgressFn& progress = {}) const;
    // coefficients receives the table shown for kernels smaller than 20 x 20
    // ("Gauss %d x %d\n", rows of "%.5lf ", "Sum= %.5lf "), else stays empty.
    std::unique_ptr<CMImage> ApplyGauss(const CMImage& image, const COutline* outline,
                                        std::string& coefficients,
                                        const ProgressFn& progress = {}) const;
    std::unique_ptr<CMImage> ApplyDifference(const CMImage& image) const;
    std::unique_ptr<CMImage> ApplySubtract(const CMImage& image) const;

  private:
    // Opens result as a new document of the source unless it is missing.
    CVistrelDoc* Open(std::unique_ptr<CMImage> result);

    int scale_ = 7;
};

// The coefficient table of a kernel as the Gaussian button shows it.
std::string KernelTable(const CFilter& filter);

}  // namespace vistrel
