#include "workspace/log_gaussian_flt_model.h"

#include <cmath>
#include <utility>

#include "core/text.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

std::unique_ptr<CMImage> Filtered(const CMImage& image, const COutline* outline,
                                  const CFilter& filter, const ProgressFn& progress) {
    if (!image.IsValid()) return nullptr;
    auto copy = std::make_unique<CMImage>(image);
    if (ApplyFilter(*copy, outline, filter, false, false, progress) != 0) return nullptr;
    return copy;
}

}  // namespace

CLogGaussianFltModel::CLogGaussianFltModel(CVistrelApp& app) : CToolWindowModel(app) {
    FollowActiveDocument();
}

CVistrelDoc* CLogGaussianFltModel::Open(std::unique_ptr<CMImage> result) {
    // A failed operation leaves the document as it is, without a message.
    if (!result || !result->IsValid()) return nullptr;
    return OpenResult(std::move(result));
}

// Both filters work inside the document's breast outline when it has one,
// read as the command runs.
CVistrelDoc* CLogGaussianFltModel::OnApplyLoG() {
    if (!Source()) return nullptr;
    std::unique_ptr<CMImage> result;
    {
        const CWaitCursor wait(App().Ui());
        CProgressScope progress(App().Ui(), "LoG filter");
        const COutline outline = Source()->BreastOutline();
        result = ApplyLoG(Source()->image, outline.empty() ? nullptr : &outline, progress.Fn());
        if (progress.Cancelled()) return nullptr;
    }
    return Open(std::move(result));
}

CVistrelDoc* CLogGaussianFltModel::OnApplyGauss() {
    if (!Source()) return nullptr;
    std::string table;
    std::unique_ptr<CMImage> result;
    {
        const CWaitCursor wait(App().Ui());
        CProgressScope progress(App().Ui(), "Gaussian filter");
        const COutline outline = Source()->BreastOutline();
        result =
            ApplyGauss(Source()->image, outline.empty() ? nullptr : &outline, table, progress.Fn());
        if (progress.Cancelled()) return nullptr;
    }
    if (!table.empty()) messages().show(table);
    return Open(std::move(result));
}

CVistrelDoc* CLogGaussianFltModel::OnApplyDifference() {
    if (!Source()) return nullptr;
    const CWaitCursor wait(App().Ui());
    return Open(ApplyDifference(Source()->image));
}

CVistrelDoc* CLogGaussianFltModel::OnApplySubtract() {
    if (!Source()) return nullptr;
    const CWaitCursor wait(App().Ui());
    return Open(ApplySubtract(Source()->image));
}

void CLogGaussianFltModel::SetScale(int h) {
    scale_ = (h < kScaleMin || h > kScaleMax) ? 2 : h;
}

int CLogGaussianFltModel::Dimension() const {
    return scale_ % 2 ? 3 * scale_ : 3 * scale_ + 1;
}

double CLogGaussianFltModel::Sigma() const {
    return scale_ / (2.0 * std::sqrt(2.0));
}

std::string CLogGaussianFltModel::DimensionText() const {
    return std::to_string(Dimension());
}

std::string CLogGaussianFltModel::SigmaText() const {
    return Format("%.2f", Sigma());
}

std::string KernelTable(const CFilter& filter) {
    std::string text = Format("Gauss %d x %d\n", int(filter.height), int(filter.width));
    double sum = 0;
    for (int i = 0; i < filter.height; ++i) {
        for (int j = 0; j < filter.width; ++j) {
            const double v = *filter.At(i, j);
            sum += v;
            text += Format("%.5lf ", v);
        }
        text += "\n";
    }
    return text + Format("Sum= %.5lf ", sum);
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplyLoG(const CMImage& image,
                                                        const COutline* outline,
                                                        const ProgressFn& progress) const {
    return Filtered(image, outline, MakeLoGFilter(scale_), progress);
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplyGauss(const CMImage& image,
                                                          const COutline* outline,
                                                          std::string& coefficients,
                                                          const ProgressFn& progress) const {
    const CFilter filter = MakeGaussKernel(gaussSigma);
    coefficients = filter.width < 20 ? KernelTable(filter) : std::string();
    return Filtered(image, outline, filter, progress);
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplyDifference(const CMImage& image) const {
    return DifferenceOfGaussians(image, dogWeight, MakeGaussKernel(dogSigma1),
                                 MakeGaussKernel(dogSigma2));
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplySubtract(const CMImage& image) const {
    return SubtractGaussian(image, MakeGaussKernel(subtractSigma));
}

}  // namespace vistrel
