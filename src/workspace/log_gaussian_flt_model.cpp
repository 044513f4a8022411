#include "workspace/log_gaussian_flt_model.h"

#include <cmath>
#include <cstdio>

namespace vistrel {

namespace {

std::string Format(const char* format, auto... args) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::unique_ptr<CMImage> Filtered(const CMImage& image, const COutline* outline,
                                  const CFilter& filter) {
    if (!image.IsValid()) return nullptr;
    auto copy = std::make_unique<CMImage>(image);
    if (ApplyFilter(*copy, outline, filter, false) != 0) return nullptr;
    return copy;
}

}  // namespace

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
                                                        const COutline* outline) const {
    return Filtered(image, outline, MakeLoGFilter(scale_));
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplyGauss(const CMImage& image,
                                                          const COutline* outline,
                                                          std::string& coefficients) const {
    const CFilter filter = MakeGaussKernel(gaussSigma);
    coefficients = filter.width < 20 ? KernelTable(filter) : std::string();
    return Filtered(image, outline, filter);
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplyDifference(const CMImage& image) const {
    return DifferenceOfGaussians(image, dogWeight, MakeGaussKernel(dogSigma1),
                                 MakeGaussKernel(dogSigma2));
}

std::unique_ptr<CMImage> CLogGaussianFltModel::ApplySubtract(const CMImage& image) const {
    return SubtractGaussian(image, MakeGaussKernel(subtractSigma));
}

}  // namespace vistrel
